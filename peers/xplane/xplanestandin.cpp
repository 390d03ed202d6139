#include "xplanestandin.h"

#include <cstring>

namespace {

void append(std::string &out, const void *p, std::size_t n) { out.append(static_cast<const char *>(p), n); }
void appendF32(std::string &out, float v) { append(out, &v, 4); }
void appendF64(std::string &out, double v) { append(out, &v, 8); }

std::string header(const char *tag, unsigned char byte5)
{
    std::string out(tag, 4);
    out.push_back('\0');
    out.push_back(static_cast<char>(byte5));
    return out;
}

} // namespace

XPlaneAircraft defaultAircraft()
{
    XPlaneAircraft a;
    a.datarefs = {
        {"sim/flightmodel/position/indicated_airspeed", {0.0f}},
        {"sim/flightmodel/position/true_airspeed", {0.0f}},
        {"sim/flightmodel/position/groundspeed", {0.0f}},
        {"sim/flightmodel/misc/machno", {0.0f}},
        {"sim/flightmodel2/misc/AoA_angle_degrees", {0.0f}},
        {"sim/flightmodel/position/vh_ind_fpm", {0.0f}},
        {"sim/cockpit2/gauges/indicators/wind_speed_kts", {5.0f}},
        {"sim/weather/wind_direction_degt", {270.0f}},
        {"sim/flightmodel/position/mag_psi", {0.0f}},
        {"sim/flightmodel/ground/surface_texture_type", {1.0f}},
        {"sim/cockpit2/annunciators/stall_warning", {0.0f}},
        {"sim/cockpit2/gauges/indicators/radio_altimeter_height_ft_pilot", {0.0f}},
        {"sim/cockpit2/controls/total_roll_ratio", {0.0f}},
        {"sim/cockpit2/controls/total_pitch_ratio", {0.0f}},
        {"sim/cockpit/autopilot/autopilot_mode", {0.0f}},
        {"sim/flightmodel2/misc/has_crashed", {0.0f}},
        // X-Plane keeps eight engines; the client has room for four.
        {"sim/cockpit2/engine/indicators/engine_speed_rpm", {800, 0, 0, 0, 0, 0, 0, 0}},
        {"sim/flightmodel2/gear/on_ground", {1, 1, 1}},
        {"sim/flightmodel2/controls/elevator_trim", {0.0f}},
        {"sim/flightmodel2/controls/aileron_trim", {0.0f}},
    };
    return a;
}

XPlaneStandIn::XPlaneStandIn(std::uint16_t port, std::string ip)
    : m_port(port), m_ip(std::move(ip)), m_aircraft(defaultAircraft())
{
}

XPlaneStandIn::~XPlaneStandIn() { stop(); }

bool XPlaneStandIn::start()
{
    if (m_running)
        return true;
    if (platform::socketsStartup() != 0)
        return false;
    m_sock = platform::udpOpen();
    if (m_sock == platform::kInvalidSocket)
        return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(m_port);
    if (platform::addressFromText(m_ip.c_str(), &local.sin_addr) != 1
        || platform::socketBind(m_sock, local) != 0) {
        platform::socketClose(m_sock);
        m_sock = platform::kInvalidSocket;
        return false;
    }
    if (m_port == 0)
        m_port = platform::socketLocalPort(m_sock);
    m_running = true;
    m_thread = std::thread([this] { serve(); });
    return true;
}

void XPlaneStandIn::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_thread.join();
    platform::socketClose(m_sock);
    m_sock = platform::kInvalidSocket;
}

void XPlaneStandIn::serve()
{
    std::vector<char> buffer(65536);
    while (m_running) {
        // A short wait keeps stop() prompt without waking the socket.
        if (platform::socketWait(m_sock, 20) != 1)
            continue;
        sockaddr_in from{};
        const long n = platform::socketRecvFrom(m_sock, buffer.data(), buffer.size(),
                                                reinterpret_cast<sockaddr *>(&from), sizeof from);
        if (n < 0)
            continue;
        Datagram d;
        d.bytes.assign(buffer.data(), static_cast<std::size_t>(n));
        d.fromIp = platform::addressToText(reinterpret_cast<sockaddr *>(&from));
        d.fromPort = ntohs(from.sin_port);
        std::string reply;
        if (m_recording) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received.push_back(d);
        }
        if (m_silent)
            continue;
        reply = replyTo(d.bytes);
        if (!reply.empty())
            platform::socketSendTo(m_sock, reply.data(), reply.size(), reinterpret_cast<sockaddr *>(&from),
                                   sizeof from);
    }
}

std::string XPlaneStandIn::replyTo(const std::string &request) const
{
    if (request.size() < 5)
        return std::string();
    const std::string tag = request.substr(0, 4);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto raw = m_rawReplies.find(tag);
        if (raw != m_rawReplies.end())
            return raw->second;
    }
    if (tag == "GETP")
        return positionReply(m_longForm);
    if (tag == "GETT")
        return terrainReply(request);
    if (tag == "GETC")
        return controlsReply();
    if (tag == "GETD")
        return datarefReply(request);
    return std::string();
}

std::string XPlaneStandIn::positionReply(bool longForm) const
{
    const XPlaneAircraft a = aircraft();
    std::string out = header("POSI", 0);
    if (longForm) {
        appendF64(out, a.latitude);
        appendF64(out, a.longitude);
        appendF64(out, a.altitudeM);
    } else {
        appendF32(out, static_cast<float>(a.latitude));
        appendF32(out, static_cast<float>(a.longitude));
        appendF32(out, static_cast<float>(a.altitudeM));
    }
    appendF32(out, a.pitch);
    appendF32(out, a.roll);
    appendF32(out, a.trueHeading);
    appendF32(out, a.gear);
    return out;
}

std::string XPlaneStandIn::terrainReply(const std::string &request) const
{
    const XPlaneAircraft a = aircraft();
    double lat = a.latitude, lon = a.longitude;
    if (request.size() >= 30) {
        std::memcpy(&lat, request.data() + 6, 8);
        std::memcpy(&lon, request.data() + 14, 8);
    }
    std::string out = header("TERR", request.size() > 5 ? static_cast<unsigned char>(request[5]) : 0);
    appendF64(out, lat);
    appendF64(out, lon);
    appendF64(out, a.terrainElevationM);
    for (float v : a.terrainExtra)
        appendF32(out, v);
    return out;
}

std::string XPlaneStandIn::controlsReply() const
{
    const XPlaneAircraft a = aircraft();
    std::string out("CTRL", 4);
    out.push_back('\0');
    appendF32(out, a.elevator);
    appendF32(out, a.aileron);
    appendF32(out, a.rudder);
    appendF32(out, a.throttle);
    out.push_back(static_cast<char>(a.gearHandle));
    appendF32(out, a.flaps);
    out.push_back('\0'); // aircraft
    appendF32(out, a.speedBrake);
    return out;
}

std::string XPlaneStandIn::datarefReply(const std::string &request) const
{
    std::vector<std::string> names;
    if (request.size() >= 6) {
        const std::size_t n = static_cast<unsigned char>(request[5]);
        std::size_t cur = 6;
        for (std::size_t i = 0; i < n && cur < request.size(); ++i) {
            const std::size_t len = static_cast<unsigned char>(request[cur++]);
            names.push_back(request.substr(cur, len));
            cur += len;
        }
    }
    const XPlaneAircraft a = aircraft();
    std::string out = header("RESP", static_cast<unsigned char>(names.size()));
    for (const std::string &name : names) {
        const auto it = a.datarefs.find(name);
        const std::vector<float> values = it == a.datarefs.end() ? std::vector<float>() : it->second;
        const std::size_t count = values.size() > 255 ? 255 : values.size();
        out.push_back(static_cast<char>(count));
        for (std::size_t k = 0; k < count; ++k)
            appendF32(out, values[k]);
    }
    return out;
}

void XPlaneStandIn::setAircraft(const XPlaneAircraft &a)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_aircraft = a;
}

XPlaneAircraft XPlaneStandIn::aircraft() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_aircraft;
}

void XPlaneStandIn::setDataref(const std::string &name, std::vector<float> values)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_aircraft.datarefs[name] = std::move(values);
}

void XPlaneStandIn::setRawReply(const std::string &tag, const std::string &bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (bytes.empty())
        m_rawReplies.erase(tag);
    else
        m_rawReplies[tag] = bytes;
}

std::vector<XPlaneStandIn::Datagram> XPlaneStandIn::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

void XPlaneStandIn::clearReceived()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.clear();
}

int XPlaneStandIn::count(const std::string &tag) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const Datagram &d : m_received)
        if (d.bytes.compare(0, 4, tag) == 0)
            ++n;
    return n;
}
