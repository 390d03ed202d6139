// xplane-standin: plays a scripted flight on the X-Plane Connect port so that
// the program can be connected to something that moves.
//   xplane-standin [--port N] [--long-form] [--seconds S]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "flightscript.h"
#include "xplanestandin.h"

int main(int argc, char **argv)
{
    unsigned port = 49009;
    bool longForm = false;
    double seconds = -1; // run until killed
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--port") && i + 1 < argc)
            port = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--long-form"))
            longForm = true;
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--port N] [--long-form] [--seconds S]\n", argv[0]);
            return 2;
        }
    }

    XPlaneStandIn server(static_cast<std::uint16_t>(port));
    server.setRecording(false);
    server.setLongPositionForm(longForm);
    server.setAircraft(FlightScript::at(0));
    if (!server.start()) {
        std::fprintf(stderr, "xplane-standin: cannot bind UDP 127.0.0.1:%u\n", port);
        return 1;
    }
    std::printf("xplane-standin: X-Plane Connect on 127.0.0.1:%u, a %.0f s flight loop\n", port,
                FlightScript::kLoopSeconds);
    std::fflush(stdout);

    const auto begin = std::chrono::steady_clock::now();
    std::string lastPhase;
    for (;;) {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (seconds >= 0 && t >= seconds)
            break;
        std::string phase;
        server.setAircraft(FlightScript::at(t, &phase));
        if (phase != lastPhase) {
            std::printf("%7.1f s  %s\n", t, phase.c_str());
            std::fflush(stdout);
            lastPhase = phase;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    server.stop();
    return 0;
}
