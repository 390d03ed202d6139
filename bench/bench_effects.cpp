// Figures of the force effects (not a test), through the real window on the
// emulated device:
//   bench_effects tick [ticks]    cost of one effect tick with every effect on:
//                                 the computations alone, the whole tick with
//                                 its senders closed, and with frames going out
//   bench_effects age [seconds]   age of a changed X-Plane value when the
//                                 0x42 / 0x32 frame carrying it leaves (p50/p99)
//                                 over the scripted circuit (default 240 s)
//   bench_effects cpu [seconds]   CPU share of the whole program, online with
//                                 the demo's yoke, connected to the X-Plane
//                                 stand-in (its own process), effects running,
//                                 window shown (default 60 s; run it on a real
//                                 X server: DISPLAY=:N with a window manager)
#include "clscurve.h"
#include "ui_clscurve.h"

#include "cxpdata.h"
#include "flightscript.h"
#include "hid_standin.h"
#include "loghandler.h"
#include "rxbuffer.h"
#include "simbridgerecord.h"
#include "simstate.h"
#include "testsupport.h"
#include "xplanestandin.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

DeviceEmulator &emu() { return HidStandin::emulator(); }

// Runs the event loop (sleeping while it is idle) for ms milliseconds.
void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        waitMs(5);
    }
    return true;
}

// Open Port as the user does, then every effect switched on (the factory set
// leaves turbulence off) and Test.
bool goOnline(clscurve *w, const QString &simulator, bool connect)
{
    Ui::clscurve *ui = w->form();
    ui->pushButton_openPort->click();
    if (!waitFor([w] { return w->isOnline() && w->txTimer.isActive(); }, 3000))
        return false;
    ui->devicesComboBox_FSimSW->setCurrentText(simulator);
    for (QCheckBox *box : {ui->Motor_checkBox, ui->yoke_checkBox, ui->wash_checkBox, ui->Ground_enable_state,
                           ui->Turbulences_enable_state, ui->Stick_enable_state, ui->AP_enable, ui->dynamic_state,
                           ui->Ground_landing})
        box->setChecked(true);
    ui->btn_test->click();
    if (connect)
        ui->pushButton_connect_Fsim->click();
    return true;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

// A varied aircraft: airborne in wind, then rolling on the runway, with the
// autopilot master on (bridge values by index).
std::string variedDatagram(int i)
{
    using namespace SimBridgeRecord;
    const bool airborne = (i / 8) % 2 == 0;
    const double k = i % 8;
    const double gear = airborne ? 0 : 1;
    return bridgeDatagram(MaxValues, 1,
                          {{IndicatedAirspeed, 60 + 10 * k}, {GroundVelocity, airborne ? 90 + k : 20 + 5 * k},
                           {AngleOfAttack, 0.05 + 0.02 * k}, {EngineRpm, 1800 + 50 * k}, {MagneticHeading, 0.1 * k},
                           {SurfaceType, 5}, {HeightAboveGround, airborne ? 800 : 0}, {StallWarning, k > 6 ? 1 : 0},
                           {WindVelocity, 5 + 3 * k}, {WindDirection, 270}, {AutopilotMaster, 1},
                           {FlightDirectorPitch, 0.01 * k}, {FlightDirectorBank, -0.02 * k},
                           {VerticalSpeed, airborne ? 5 * k : -8 * k}, {EngineRpm1, 1800 + 50 * k},
                           {GearOnGround0, gear}, {GearOnGround1, gear}, {GearOnGround2, gear}});
}

int benchTick(clscurve *w, int ticks)
{
    emu().behaviour().readWaits = false;
    emu().behaviour().recordWrites = false;
    if (!goOnline(w, QStringLiteral("MSFS"), true))
        return 1;
    w->effectTimer.stop();
    w->stopTxTimer();
    w->stopInfoTimer();
    w->stopTrimTimer();
    std::vector<std::string> grams;
    for (int i = 0; i < 64; ++i)
        grams.push_back(variedDatagram(i));

    // The computations alone, on the records the tick would read.
    std::vector<SimState> states;
    for (const std::string &g : grams) {
        w->xpData->takeBridgeDatagram(g.data(), int(g.size()));
        w->xpData->publishSimState();
        states.push_back(bridgeSimState);
    }
    EffectParams p = w->effectParams;
    EffectMemory m;
    TrimAutopilotState st;
    const ForceLimits f{120.0f, 60.0f};
    const int rounds = ticks * 10;
    auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        const SimState &s = states[std::size_t(i) % states.size()];
        computePropWash(s, SimChoice::Msfs, p, m);
        computeLowSpeedAndSpring(s, SimChoice::Msfs, m.propWashFactor, p);
        computeEngine(s, f, p);
        computeTurbulence(s, SimChoice::Msfs, f, p, m);
        computeGround(s, SimChoice::Msfs, f, p, m);
        computeShaker(s, SimChoice::Msfs, f, p);
        autopilotTick(s, SimChoice::Msfs, s.extraValues, 0.0f, st);
    }
    const double computeUs = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / rounds;

    // The whole tick: senders closed, then open.
    const auto run = [&](bool open, int *frames) {
        w->effectSend.forceSwitch = w->effectSend.vibrationSwitch = open ? 1 : 0;
        const int before = emu().framesWrittenTotal();
        double us = 0;
        for (int i = 0; i < ticks; ++i) {
            const std::string &g = grams[std::size_t(i) % grams.size()];
            w->xpData->takeBridgeDatagram(g.data(), int(g.size()));
            const auto a = Clock::now();
            w->sendEffect();
            us += std::chrono::duration<double, std::micro>(Clock::now() - a).count();
            // The replies are cut between ticks (the 1 ms poll's work, not the tick's).
            while (!deviceRxBuffer.isEmpty())
                w->dealWithSerialData();
        }
        *frames = emu().framesWrittenTotal() - before;
        return us / ticks;
    };
    int quietFrames = 0, closedFrames = 0, openFrames = 0;
    w->effectParams.autopilotEnable = 0;
    const double quietUs = run(false, &quietFrames);
    w->effectParams.autopilotEnable = 1;
    const double closedUs = run(false, &closedFrames);
    const double openUs = run(true, &openFrames);
    std::printf("effect computations (all on, incl. autopilot): %.2f us per tick (%d ticks)\n", computeUs, rounds);
    std::printf("effect tick, no frame (senders closed, no autopilot): %.2f us per tick (%d frames)\n", quietUs,
                quietFrames);
    std::printf("effect tick, senders closed:  %.2f us per tick (%.2f frames per tick: autopilot trim)\n", closedUs,
                double(closedFrames) / ticks);
    std::printf("effect tick, senders open:    %.2f us per tick (%.2f frames per tick, each written and one reply read)\n",
                openUs, double(openFrames) / ticks);
    return 0;
}

int benchAge(clscurve *w, double seconds)
{
    XPlaneStandIn xp(49009);
    xp.setRecording(false);
    if (!xp.start())
        return 1;
    emu().behaviour().recordWrites = false;

    // Every value the stand-in starts to report, with the time it did; the
    // frames that carry rpm (engine group) and wind (turbulence roll in
    // steady flight) are matched against them.
    std::mutex mutex;
    std::map<int, Clock::time_point> rpmSince;        // rpm -> first reported
    std::map<int, Clock::time_point> windSince;       // wind step -> first reported
    int currentWindStep = -1;
    float lastRoll = NAN;
    std::vector<double> rpmAges, windAges;
    emu().setWriteObserver([&](const DeviceEmulator::Frame &f) {
        const auto now = Clock::now();
        float v[2];
        std::memcpy(v, &f[6], 8);
        std::lock_guard<std::mutex> lock(mutex);
        if (f[3] == 0x42 && f[5] == 1) {
            const int rpm = int(std::lround(v[1] * 70.0f));
            const auto it = rpmSince.find(rpm);
            if (it != rpmSince.end()) {
                rpmAges.push_back(std::chrono::duration<double, std::milli>(now - it->second).count());
                rpmSince.erase(it);
            }
        } else if (f[3] == 0x32 && f[4] == 21 && f[5] == 1 && v[0] != lastRoll) {
            lastRoll = v[0];
            const auto it = windSince.find(currentWindStep);
            if (it != windSince.end()) {
                windAges.push_back(std::chrono::duration<double, std::milli>(now - it->second).count());
                windSince.erase(it);
            }
        }
    });

    if (!goOnline(w, QStringLiteral("X-Plane"), true))
        return 1;
    // The player runs in a thread of its own, as X-Plane does: its changes
    // fall at any point of the program's 100 ms effect tick.
    const auto begin = Clock::now();
    std::atomic<bool> playing{true};
    std::thread player([&] {
        int lastRpm = -1;
        while (playing) {
            const double t = std::chrono::duration<double>(Clock::now() - begin).count();
            std::string phase;
            XPlaneAircraft a = FlightScript::at(t, &phase);
            // Engine speed steps every 0.937 s; in straight flight the wind steps too.
            const int step = int(t / 0.937);
            std::vector<float> &rpms = a.datarefs["sim/cockpit2/engine/indicators/engine_speed_rpm"];
            const int rpm = int(rpms[0]) + 100 * (step % 7);
            rpms[0] = float(rpm);
            // Straight flight, clear of the runway (where the turbulence is 0 whatever the wind).
            const bool steady = (phase == "climb" && t > FlightScript::phaseStart("climb") + 2) || phase == "cruise";
            if (steady)
                a.datarefs["sim/cockpit2/gauges/indicators/wind_speed_kts"] = {float(6 + 3 * (step % 4))};
            xp.setAircraft(a);
            const auto now = Clock::now();
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (rpm != lastRpm) {
                    rpmSince[rpm] = now;
                    lastRpm = rpm;
                }
                if (steady && step != currentWindStep) {
                    windSince.clear();
                    windSince[step] = now;
                }
                currentWindStep = steady ? step : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    waitMs(int(seconds * 1000));
    playing = false;
    player.join();
    emu().setWriteObserver(nullptr);
    std::printf("age of a changed X-Plane value when its frame leaves, over %.0f s of the circuit:\n", seconds);
    std::printf("  engine rpm -> 0x42: p50 %.1f ms, p99 %.1f ms, max %.1f ms (%zu changes)\n", percentile(rpmAges, 0.5),
                percentile(rpmAges, 0.99), percentile(rpmAges, 1.0), rpmAges.size());
    std::printf("  wind -> 0x32 turbulence: p50 %.1f ms, p99 %.1f ms, max %.1f ms (%zu changes)\n",
                percentile(windAges, 0.5), percentile(windAges, 0.99), percentile(windAges, 1.0), windAges.size());
    xp.stop();
    return 0;
}

// utime + stime of this process and of each of its threads, in seconds.
double cpuSeconds(const QString &statPath)
{
    QFile f(statPath);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QString s = QString::fromLatin1(f.readAll());
    const QStringList fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

std::map<QString, double> threadCpu()
{
    std::map<QString, double> out;
    for (const QString &tid : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm("/proc/self/task/" + tid + "/comm");
        comm.open(QIODevice::ReadOnly);
        const QString name = QString::fromLatin1(comm.readAll()).trimmed() + " " + tid;
        out[name] = cpuSeconds("/proc/self/task/" + tid + "/stat");
    }
    return out;
}

// CPU share of the process (and of its busy threads) over the next seconds.
void measureCpu(const char *what, double seconds)
{
    const double c0 = cpuSeconds("/proc/self/stat");
    const auto t0 = threadCpu();
    const auto w0 = Clock::now();
    const int frames0 = emu().framesWrittenTotal();
    waitMs(int(seconds * 1000));
    const double wall = std::chrono::duration<double>(Clock::now() - w0).count();
    const double cpu = cpuSeconds("/proc/self/stat") - c0;
    std::printf("%-44s %5.2f %% of one core over %.0f s, %.1f device frames per second\n", what, 100.0 * cpu / wall,
                wall, (emu().framesWrittenTotal() - frames0) / wall);
    for (const auto &kv : threadCpu()) {
        const auto it = t0.find(kv.first);
        const double d = kv.second - (it == t0.end() ? 0.0 : it->second);
        if (d / wall > 0.001)
            std::printf("    thread %-20s %5.2f %%\n", qPrintable(kv.first), 100.0 * d / wall);
    }
    std::fflush(stdout);
}

int benchCpu(clscurve *w, double seconds)
{
    // The stand-in flies the circuit in its own process, as X-Plane would.
    QProcess xplane;
    xplane.start(QCoreApplication::applicationDirPath() + "/../peers/xplane/xplane-standin",
                 {"--seconds", QString::number(seconds + 120)});
    if (!xplane.waitForStarted(3000))
        return 3;
    emu().behaviour().pilotHand = true;
    Ui::clscurve *ui = w->form();
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));

    // Online alone, then connected, then with the effects: each step's share.
    ui->pushButton_openPort->click();
    if (!waitFor([w] { return w->isOnline() && w->txTimer.isActive(); }, 3000))
        return 1;
    ui->devicesComboBox_FSimSW->setCurrentText(QStringLiteral("X-Plane"));
    waitMs(3000);
    measureCpu("online (live and status polls)", 20);
    ui->pushButton_connect_Fsim->click();
    waitMs(3000);
    measureCpu("online, connected to X-Plane", 20);
    ui->pushButton_closePort->click();
    waitMs(500);
    if (!goOnline(w, QStringLiteral("X-Plane"), true))
        return 1;
    waitMs(5000);
    measureCpu("online, connected, every effect running", seconds);
    std::printf("    simulator: %s\n", qPrintable(ui->label_flightSimConState->text()));
    xplane.kill();
    xplane.waitForFinished(2000);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("tick");
    const double arg = argc > 2 ? std::atof(argv[2]) : 0.0;
    // Runs in a scratch directory: Effect.ini and the log are written there.
    const QString dir = QDir::tempPath() + "/bench_effects_" + QString::number(getpid());
    QDir().mkpath(dir);
    QDir::setCurrent(dir);
    if (qEnvironmentVariableIsEmpty("KORVEL_SOURCE_DIR"))
        qputenv("KORVEL_SOURCE_DIR", KORVEL_SOURCE);
    provideTreeProfile();
    if (mode == QLatin1String("cpu"))
        LogHandler::install();

    auto *w = new clscurve();
    w->show();
    waitMs(200);
    int rc = 2;
    if (mode == QLatin1String("tick"))
        rc = benchTick(w, arg > 0 ? int(arg) : 20000);
    else if (mode == QLatin1String("age"))
        rc = benchAge(w, arg > 0 ? arg : FlightScript::kLoopSeconds);
    else if (mode == QLatin1String("cpu"))
        rc = benchCpu(w, arg > 0 ? arg : 60.0);
    if (rc != 0)
        std::fprintf(stderr, "bench_effects %s failed (%d)\n", qPrintable(mode), rc);
    w->on_pushButton_closePort_clicked();
    if (mode == QLatin1String("cpu"))
        LogHandler::uninstall();
    QDir(dir).removeRecursively();
    std::fflush(stdout);
    std::_Exit(rc);
}
