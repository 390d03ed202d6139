#include "cxpdata.h"

#include <QFileInfo>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "bridgeprograms.h"
#include "byteorder.h"
#include "cudpsocket.h"
#include "processcontrol.h"
#include "simstate.h"

SimState xpSimState;
SimState bridgeSimState;

namespace {

constexpr double kFeetPerMetre = 3.28084;
constexpr double kMetresPerFoot = 0.3048;
constexpr double kKnotsPerMetrePerSecond = 1.944012;
constexpr double kDegreesPerRadian = 57.0; // the effects are tuned to this factor
constexpr double kSecondsPerMinute = 60.0;

// Truncation toward zero, with NaN and values beyond the i32 range (whose
// conversion C++ leaves undefined) mapped to a chosen value.
std::int32_t truncated(double v, std::int32_t whenInvalid = 0)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return whenInvalid;
    return static_cast<std::int32_t>(v);
}

// A ground speed that cannot be represented fails the effects' plausibility
// test (a negative value does), so bad data is skipped rather than used.
constexpr std::int32_t kInvalidGroundSpeed = -1;

float notNegative(float v) { return v < 0.0f ? 0.0f : v; }

double bridgeValue(const unsigned char *record, int i)
{
    return readF64LE(record + SimBridgeRecord::valueOffset(i));
}

} // namespace

CXpData::CXpData()
    : QThread(nullptr)
{
    terminateBridges();
    openXPlaneSockets();
}

CXpData::~CXpData()
{
    // The thread must be out of run() before its sockets and buffers go.
    if (isRunning()) {
        stop();
        wait();
    }
    // Release the transport too, so a later reader in the same process can bind
    // the same ports again.
    if (m_transport.load() == 1)
        closeXPlaneSockets(false);
    if (m_bridgeSocket) {
        if (!m_bridgeSocketClosed)
            m_bridgeSocket->close();
        delete m_bridgeSocket;
        m_bridgeSocket = nullptr;
    }
    for (float *&values : m_drefValues) {
        delete[] values;
        values = nullptr;
    }
}

void CXpData::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_flagMutex);
        m_stop = true;
    }
    m_flagChanged.notify_all();
    // A bridge receive waits until a datagram comes, which may be never;
    // end that wait so that the thread can be joined.
    const int t = m_transport.load();
    if ((t == 2 || t == 3) && m_bridgeSocket && !m_bridgeSocketClosed && isRunning())
        m_bridgeSocketClosed = platform::socketWake(m_bridgeSocket->socketHandle);
}

void CXpData::setActive(int active)
{
    {
        std::lock_guard<std::mutex> lock(m_flagMutex);
        m_active = active;
    }
    m_flagChanged.notify_all();
}

void CXpData::terminateBridges()
{
    killProcessByName(QString::fromLatin1(BridgePrograms::Msfs2020));
    killProcessByName(QString::fromLatin1(BridgePrograms::Prepar3d));
}

bool CXpData::killProcessByName(const QString &name)
{
    const std::string target = name.toStdString();
    for (const platform::ProcessEntry &p : platform::listProcesses()) {
        if (platform::exeNameMatches(p.exeName, target)) {
            platform::terminateProcess(p.pid);
            return true;
        }
    }
    return false;
}

bool CXpData::isProcessRunning(const QString &name)
{
    const std::string target = name.toStdString();
    for (const platform::ProcessEntry &p : platform::listProcesses())
        if (platform::exeNameMatches(p.exeName, target))
            return true;
    return false;
}

bool CXpData::launchBridge(const QString &exeName)
{
    if (isProcessRunning(exeName))
        return true;
    const QString path = QStringLiteral("./SimConnect/") + exeName;
    if (!QFileInfo::exists(path))
        return false;
    const QString command = QStringLiteral("start ") + path;
    return std::system(command.toLocal8Bit().constData()) == 0;
}

void CXpData::openXPlaneSockets()
{
    m_posiSocket = OpenUDP("127.0.0.1", 49009, 49100);
    m_terrSocket = OpenUDP("127.0.0.1", 49009, 49101);
    m_ctrlSocket = OpenUDP("127.0.0.1", 49009, 49102);
    m_drefSocket = OpenUDP("127.0.0.1", 49009, 49103);
    for (int i = 0; i < kXpcDrefCount; ++i) {
        delete[] m_drefValues[i];
        const int room = i == 16 ? 5 : i == 17 ? 3 : 1;
        m_drefValues[i] = new float[room]();
    }
}

void CXpData::closeXPlaneSockets(bool alreadyClosed)
{
    if (!alreadyClosed) {
        closeUDP(m_posiSocket);
        closeUDP(m_terrSocket);
        closeUDP(m_ctrlSocket);
        closeUDP(m_drefSocket);
    }
    m_posiSocket = m_terrSocket = m_ctrlSocket = m_drefSocket = XpcSocket{};
}

void CXpData::setSimMode(unsigned int mode)
{
    const int m = static_cast<int>(mode);
    if (m < 1 || m > 3) {
        m_mode = m; // the reader then does nothing
        return;
    }
    if (m == m_transport.load()) {
        m_mode = m; // the open transport already serves this mode
        return;
    }

    // End any wait of the reader on the old transport first: it holds the
    // cycle lock while it waits.
    bool xplaneClosed = false;
    if (m_transport.load() == 1) {
        for (XpcSocket *s : {&m_posiSocket, &m_terrSocket, &m_ctrlSocket, &m_drefSocket})
            xplaneClosed = platform::socketWake(s->sock) || xplaneClosed;
    } else if (m_bridgeSocket && !m_bridgeSocketClosed) {
        m_bridgeSocketClosed = platform::socketWake(m_bridgeSocket->socketHandle);
    }

    {
        std::lock_guard<std::mutex> cycle(m_cycleMutex);
        if (m_transport.load() == 1) {
            closeXPlaneSockets(xplaneClosed);
        } else if (m_bridgeSocket) {
            if (!m_bridgeSocketClosed)
                m_bridgeSocket->close();
            delete m_bridgeSocket;
            m_bridgeSocket = nullptr;
            m_bridgeSocketClosed = false;
        }
        m_transport = m;
        terminateBridges();
        if (m == 1) {
            openXPlaneSockets();
        } else {
            m_bridgePort = m == 2 ? 8998 : 9998;
            m_bridgeSocket = new CUdpSocket;
            m_bridgeSocket->open("127.0.0.1", m_bridgePort);
        }
    }
    m_mode = m; // published last: the reader sees the mode with its transport
}

void CXpData::start(QThread::Priority priority)
{
    if (!isRunning()) {
        std::lock_guard<std::mutex> lock(m_flagMutex);
        m_stop = false;
    }
    QThread::start(priority);
}

void CXpData::run()
{
    for (;;) {
        {
            // Inactive: sleep until Connect or stop, instead of spinning.
            std::unique_lock<std::mutex> lock(m_flagMutex);
            m_flagChanged.wait(lock, [this] { return m_stop.load() || m_active.load() != 0; });
            if (m_stop)
                return;
            // The pace of the loop: 10 ms per cycle plus the cycle itself.
            if (m_flagChanged.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_stop.load(); }))
                return;
        }
        {
            std::lock_guard<std::mutex> cycle(m_cycleMutex);
            const int mode = m_mode.load();
            if (mode == 1 && m_transport.load() == 1)
                xplaneCycle();
            else if ((mode == 2 || mode == 3) && m_transport.load() == mode && m_bridgeSocket)
                bridgeCycle();
        }
        if (m_stop)
            return;
    }
}

void CXpData::xplaneCycle()
{
    XPlaneFields f = m_xp; // only this thread writes m_xp
    int connected = 0;

    double posi[7] = {};
    if (getPOSI(m_posiSocket, posi, 0) == 0) {
        f.latitude = posi[0];
        f.longitude = posi[1];
        f.altitudeFt = posi[2] * kFeetPerMetre;
        f.pitch = posi[3];
        f.roll = posi[4];
        f.trueHeading = posi[5];
        f.gear = static_cast<float>(posi[6]);

        const double where[3] = {f.latitude, f.longitude, f.altitudeFt * kMetresPerFoot};
        double terrain[11] = {};
        if (getTERR(m_terrSocket, where, terrain, 0) == 0) {
            f.terrainElevationFt = static_cast<float>(terrain[2] * kFeetPerMetre);

            XpcControls c;
            if (getCTRL(m_ctrlSocket, &c, 0) == 0) {
                f.elevator = c.elevator;
                f.aileron = c.aileron;
                f.rudder = c.rudder;
                f.throttle = c.throttle;
                f.flaps = c.flaps;
                f.speedBrake = c.speedBrake;

                if (getDREFs(m_drefSocket, xpcDrefNames, m_drefValues, kXpcDrefCount, xpcDrefSizes) == 0) {
                    float *const *v = m_drefValues;
                    f.indicatedAirspeed = v[0][0];
                    f.trueAirspeed = static_cast<float>(v[1][0] * kKnotsPerMetrePerSecond);
                    f.groundSpeed = static_cast<float>(v[2][0] * kKnotsPerMetrePerSecond);
                    f.mach = v[3][0];
                    f.angleOfAttack = v[4][0];
                    f.verticalSpeed = v[5][0];
                    f.windSpeed = v[6][0];
                    f.windDirection = v[7][0];
                    f.magneticHeading = v[8][0];
                    f.surfaceType = truncated(v[9][0]);
                    f.stallWarning = truncated(v[10][0]);
                    f.radioAltitude = v[11][0];
                    f.rollRatio = v[12][0];
                    f.pitchRatio = v[13][0];
                    f.autopilotMode = v[14][0];
                    f.hasCrashed = v[15][0];
                    for (int k = 0; k < 4; ++k)
                        f.engineRpms[k] = v[16][k];
                    f.engineRpm = v[16][0];
                    for (int k = 0; k < 3; ++k)
                        f.gearOnGround[k] = v[17][k];
                    f.elevatorTrim = v[18][0];
                    f.aileronTrim = v[19][0];
                }
            }
        }
    }
    // The connection test: the values of this request stay in the buffers only.
    connected = getDREFs(m_drefSocket, xpcDrefNames, m_drefValues, kXpcDrefCount, xpcDrefSizes) == 0 ? 1 : 0;

    std::lock_guard<std::mutex> lock(m_valuesMutex);
    m_xp = f;
    m_xpConnected = connected;
}

void CXpData::bridgeCycle()
{
    char buffer[1024];
    std::memset(buffer, 0, sizeof buffer);
    const std::int32_t n = m_bridgeSocket->recvFrom(buffer, sizeof buffer, nullptr);
    takeBridgeDatagram(buffer, n);
}

bool CXpData::takeBridgeDatagram(const char *data, int length)
{
    // The bridges send a flag byte, seven unused bytes and N doubles, N = 44
    // (MSFS 2020) or 43 (Prepar3D); up to 52 are read, the missing ones as 0.
    using namespace SimBridgeRecord;
    if (!validLength(length))
        return false;
    BridgeFields b;
    std::memcpy(b.record, data, static_cast<std::size_t>(length));
    b.indicatedAirspeed = bridgeValue(b.record, IndicatedAirspeed);
    b.groundVelocity = bridgeValue(b.record, GroundVelocity);
    for (int i = AngleOfAttack; i < MaxValues; ++i) {
        double v = bridgeValue(b.record, i);
        if (i == AngleOfAttack || i == MagneticHeading || i == ElevatorTrim || i == AileronTrim)
            v *= kDegreesPerRadian;
        else if (i == VerticalSpeed)
            v *= kSecondsPerMinute;
        b.values21to51[i - AngleOfAttack] = v;
    }
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    m_bridge = b;
    return true;
}

void CXpData::publishSimState()
{
    const int mode = m_mode.load();
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    if (mode == 1) {
        const XPlaneFields &f = m_xp;
        SimState &s = xpSimState;
        s.indicatedAirspeed = notNegative(f.indicatedAirspeed);
        s.engineRpm = f.engineRpm;
        s.angleOfAttack = f.angleOfAttack;
        s.windSpeed = f.windSpeed;
        s.windDirection = f.windDirection;
        s.magneticHeading = f.magneticHeading;
        s.surfaceType = f.surfaceType;
        s.stallWarning = f.stallWarning;
        s.heightAboveGround = f.radioAltitude;
        s.groundSpeed = truncated(f.groundSpeed, kInvalidGroundSpeed);
        s.pitchRatio = f.pitchRatio;
        s.rollRatio = f.rollRatio;
        s.autopilotMode = f.autopilotMode;
        s.hasCrashed = f.hasCrashed;
        s.elevator = f.elevator;
        s.aileron = f.aileron;
        s.rudder = f.rudder;
        s.verticalSpeed = f.verticalSpeed;
        for (int k = 0; k < 4; ++k)
            s.engineRpms[k] = f.engineRpms[k];
        for (int k = 0; k < 3; ++k)
            s.gearOnGround[k] = f.gearOnGround[k];
        s.elevatorTrim = f.elevatorTrim;
        s.aileronTrim = f.aileronTrim;
    } else if (mode == 2 || mode == 3) {
        using namespace SimBridgeRecord;
        const BridgeFields &b = m_bridge;
        auto v = [&b](int i) { return b.values21to51[i - AngleOfAttack]; };
        SimState &s = bridgeSimState;
        s.indicatedAirspeed = notNegative(static_cast<float>(b.indicatedAirspeed));
        s.engineRpm = static_cast<float>(v(EngineRpm));
        s.angleOfAttack = static_cast<float>(v(AngleOfAttack));
        s.windSpeed = static_cast<float>(v(WindVelocity));
        s.windDirection = static_cast<float>(v(WindDirection));
        s.magneticHeading = static_cast<float>(v(MagneticHeading));
        s.surfaceType = truncated(v(SurfaceType));
        s.stallWarning = truncated(v(StallWarning));
        s.heightAboveGround = static_cast<float>(v(HeightAboveGround));
        s.groundSpeed = truncated(b.groundVelocity, kInvalidGroundSpeed);
        s.autopilotMaster = static_cast<float>(v(AutopilotMaster));
        s.flightDirectorPitch = static_cast<float>(v(FlightDirectorPitch));
        s.flightDirectorBank = static_cast<float>(v(FlightDirectorBank));
        s.autopilotAvailable = static_cast<float>(v(AutopilotAvailable));
        s.verticalSpeed = static_cast<float>(v(VerticalSpeed));
        for (int k = 0; k < 4; ++k)
            s.engineRpms[k] = static_cast<float>(v(EngineRpm1 + k));
        for (int k = 0; k < 3; ++k)
            s.gearOnGround[k] = static_cast<float>(v(GearOnGround0 + k));
        s.elevatorTrim = static_cast<float>(v(ElevatorTrim));
        s.aileronTrim = static_cast<float>(v(AileronTrim));
        static_assert(sizeof s.extraValues / sizeof s.extraValues[0] == ExtraCount, "one per extra value");
        for (int k = 0; k < ExtraCount; ++k)
            s.extraValues[k] = static_cast<float>(v(FirstExtra + k));
    }
}

int CXpData::isSimConnected()
{
    const int mode = m_mode.load();
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    if (mode == 1)
        return m_xpConnected;
    if (mode == 2 || mode == 3)
        return m_bridge.record[SimBridgeRecord::OffConnected];
    return 0;
}

CXpData::XPlaneFields CXpData::xplaneFields() const
{
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    return m_xp;
}

CXpData::BridgeFields CXpData::bridgeFields() const
{
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    return m_bridge;
}

int CXpData::xplaneConnected() const
{
    std::lock_guard<std::mutex> lock(m_valuesMutex);
    return m_xpConnected;
}
