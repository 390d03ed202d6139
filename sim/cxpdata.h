#pragma once
// The simulator reader thread: owns the transport to the chosen simulator
// (X-Plane Connect polling, or the bridge datagram) and keeps the latest
// values; the GUI thread copies them into the SimState records.
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "simbridgerecord.h"
#include "xplaneconnect.h"

class CUdpSocket;

class CXpData : public QThread
{
public:
    CXpData();
    ~CXpData() override;

    // Starts the reader's thread. The stop flag is cleared here, on the
    // starting thread, rather than in run(): QThread counts the thread as
    // running before run() begins, and a stop given in between must hold.
    void start(QThread::Priority priority = QThread::InheritPriority);

    // Asks the loop to end; also ends a bridge receive that waits for a datagram.
    void stop();

    // Switches the transport (GUI thread): 1 X-Plane, 2 MSFS 2020, 3 Prepar3D.
    void setSimMode(unsigned int mode);
    int simMode() const { return m_mode.load(); }

    // Connect / Disconnect.
    void setActive(int active);
    int active() const { return m_active.load(); }

    // Ends the first running process of that executable name.
    bool killProcessByName(const QString &name);

    // GUI thread: copy the latest values of one reader cycle into the
    // X-Plane record (mode 1) or the bridge record (modes 2 and 3).
    void publishSimState();
    // Mode 1: X-Plane answered the last cycle; modes 2, 3: the bridge's flag.
    int isSimConnected();

    // Bridge launcher; nothing in the program calls these.
    bool isProcessRunning(const QString &name);
    bool launchBridge(const QString &exeName);

    // Sizes of what the bridges may send: 8 + 8 x N bytes, N = 1..52.
    static constexpr int kBridgeValues = SimBridgeRecord::MaxValues;
    static constexpr int kBridgeRecordBytes = SimBridgeRecord::MaxBytes;

    // The X-Plane fields of one cycle, in the reader's own units.
    struct XPlaneFields
    {
        double latitude = 0, longitude = 0, altitudeFt = 0, pitch = 0, roll = 0, trueHeading = 0;
        float indicatedAirspeed = 0, trueAirspeed = 0, groundSpeed = 0, mach = 0;
        float terrainElevationFt = 0;
        float elevator = 0, aileron = 0, rudder = 0, throttle = 0, gear = 0, flaps = 0, speedBrake = 0;
        float engineRpm = 0, angleOfAttack = 0, radioAltitude = 0, windSpeed = 0,
              windDirection = 0, magneticHeading = 0;
        std::int32_t surfaceType = 0, stallWarning = 0;
        float pitchRatio = 0, rollRatio = 0;
        float autopilotMode = 0, hasCrashed = 0, verticalSpeed = 0;
        float engineRpms[4] = {};
        float gearOnGround[3] = {};
        float elevatorTrim = 0, aileronTrim = 0;
    };

    // The last accepted bridge datagram and the values derived from it.
    struct BridgeFields
    {
        unsigned char record[kBridgeRecordBytes] = {};
        double indicatedAirspeed = 0;   // value 6
        double groundVelocity = 0;      // value 8
        // Values from the angle of attack on; 21, 23, 41, 42 in degrees, 33 in feet per minute.
        double values21to51[SimBridgeRecord::MaxValues - SimBridgeRecord::AngleOfAttack] = {};
    };

    // Snapshots for tests and tools (whole values of one cycle).
    XPlaneFields xplaneFields() const;
    BridgeFields bridgeFields() const;
    int xplaneConnected() const;

    // Accepts one bridge datagram as the reader does (length rule included);
    // true when it was taken.
    bool takeBridgeDatagram(const char *data, int length);

protected:
    void run() override;

private:
    void openXPlaneSockets();
    void closeXPlaneSockets(bool alreadyClosed);
    void xplaneCycle();
    void bridgeCycle();
    void terminateBridges();

    // Flags shared by both threads.
    std::atomic<int> m_mode{1};
    std::atomic<int> m_active{0};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_transport{1};

    // Inactive reader waits here; Connect and stop wake it.
    std::mutex m_flagMutex;
    std::condition_variable m_flagChanged;

    // Held by the reader for one whole cycle; the GUI thread takes it to
    // replace sockets and buffers.
    std::mutex m_cycleMutex;

    // Latest values; held briefly by the reader to store a finished cycle and
    // by the GUI thread to copy them.
    mutable std::mutex m_valuesMutex;
    XPlaneFields m_xp;
    BridgeFields m_bridge;
    int m_xpConnected = 0;

    // Transport (reader uses them under m_cycleMutex).
    std::uint16_t m_bridgePort = 0;
    CUdpSocket *m_bridgeSocket = nullptr;
    bool m_bridgeSocketClosed = false;
    XpcSocket m_posiSocket{};
    XpcSocket m_terrSocket{};
    XpcSocket m_ctrlSocket{};
    XpcSocket m_drefSocket{};
    float *m_drefValues[20] = {};
};
