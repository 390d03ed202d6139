#pragma once
// A stand-in for X-Plane with its X-Plane Connect plug-in: a UDP server that
// answers GETP, GETT, GETC and GETD from a settable aircraft state, can go
// silent, and records every datagram it receives. Plain C++, one thread.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "udpsocket.h"

struct XPlaneAircraft
{
    // Position (GETP): metres for altitude, degrees for the angles.
    double latitude = 47.4647;
    double longitude = 8.5492;
    double altitudeM = 432.0;
    float pitch = 0, roll = 0, trueHeading = 0, gear = 1;
    // Terrain (GETT): elevation in metres under the asked position, then eight
    // further values (normal, velocity and so on) sent in order.
    double terrainElevationM = 432.0;
    float terrainExtra[8] = {0, 0, 1, 0, 0, 0, 0, 0};
    // Controls (GETC).
    float elevator = 0, aileron = 0, rudder = 0, throttle = 0;
    unsigned char gearHandle = 1;
    float flaps = 0, speedBrake = 0;
    // Datarefs (GETD) by name; a name not listed answers with no values.
    std::map<std::string, std::vector<float>> datarefs;
};

// The datarefs the program reads, with values of an aircraft parked on a runway.
XPlaneAircraft defaultAircraft();

class XPlaneStandIn
{
public:
    struct Datagram
    {
        std::string bytes;
        std::string fromIp;
        std::uint16_t fromPort = 0;
    };

    explicit XPlaneStandIn(std::uint16_t port = 49009, std::string ip = "127.0.0.1");
    ~XPlaneStandIn();
    XPlaneStandIn(const XPlaneStandIn &) = delete;
    XPlaneStandIn &operator=(const XPlaneStandIn &) = delete;

    bool start(); // false when the port cannot be bound
    void stop();
    std::uint16_t port() const { return m_port; }

    void setAircraft(const XPlaneAircraft &a);
    XPlaneAircraft aircraft() const;
    void setDataref(const std::string &name, std::vector<float> values);

    // GETP answers in the 46-byte form (f64 position) instead of the 34-byte one.
    void setLongPositionForm(bool on) { m_longForm = on; }
    // Receives and records, but answers nothing.
    void setSilent(bool on) { m_silent = on; }
    // Whether received datagrams are kept (a long demo run turns it off).
    void setRecording(bool on) { m_recording = on; }
    // Answers a request of this tag ("GETD", ...) with these bytes instead;
    // an empty text goes back to the built reply.
    void setRawReply(const std::string &tag, const std::string &bytes);

    std::vector<Datagram> received() const;
    void clearReceived();
    int count(const std::string &tag) const;

    // Replies as built from the state, for tests of the layouts.
    std::string positionReply(bool longForm) const;
    std::string terrainReply(const std::string &request) const;
    std::string controlsReply() const;
    std::string datarefReply(const std::string &request) const;

private:
    void serve();
    std::string replyTo(const std::string &request) const;

    std::uint16_t m_port;
    std::string m_ip;
    platform::SocketHandle m_sock = platform::kInvalidSocket;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_longForm{false};
    std::atomic<bool> m_silent{false};
    std::atomic<bool> m_recording{true};

    mutable std::mutex m_mutex;
    XPlaneAircraft m_aircraft;
    std::map<std::string, std::string> m_rawReplies;
    std::vector<Datagram> m_received;
};
