#pragma once
// An in-process model of the force-feedback device's firmware: it takes the
// 65-byte output reports the host writes and queues the 64-byte replies the
// host reads. It keeps a system record, two channel and two user channel
// records (with a flash copy and factory defaults), live position and force,
// channel status, and a boot mode that takes a firmware image in blocks.
// It can be told to misbehave so the host's failure paths can be exercised.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

// CRC-16/MODBUS as the firmware computes it.
uint16_t emulatorCrc16(const uint8_t *data, size_t n);

class DeviceEmulator
{
public:
    using Frame = std::array<uint8_t, 64>;

    // How the device shows itself on the bus and how it misbehaves.
    struct Behaviour {
        bool present = true;                  // listed by enumeration at all
        std::vector<int> interfaces{1};       // interface numbers listed
        bool secondDevicePresent = false;     // the 0x3138/0x3134 device
        bool silent = false;                  // take commands, answer nothing
        int channelCountOverride = -1;        // >= 0: answer 0x10 with this count
        int replyDelayReads = 0;              // a reply becomes readable only after this many later reads
        int corruptCrcCount = 0;              // corrupt the CRC of the next n replies (-1: all)
        int failReadCount = 0;                // the next n reads fail with -1 (-1: all)
        int failWriteCount = 0;               // the next n writes fail with -1 and reach nothing (-1: all)
        int systemState = 0;                  // 0x43 system state (0 ok, 1 timeout, 2 self test, 3 boot)
        int axisState[2] = {0, 0};            // 0x43 axis state per channel
        bool rejectFirmware = false;          // judge any image invalid (status 2)
        bool bootEntryFails = false;          // answer boot-mode entry and start with status 0
        bool bootLoaderSilent = false;        // the boot loader never answers 0x18
        bool readWaits = true;                // an empty read sleeps its time-out (capped)
        bool recordWrites = true;             // keep written frames for inspection
        bool pilotHand = false;               // a simulated hand moves the yoke, and trims it (the demo)
    };

    DeviceEmulator();

    // Back to power-on state: factory records, no queue, default behaviour.
    void reset();
    // Power cycle: the working records come back from flash; behaviour, counters
    // and boot mode stay.
    void restart();

    // A firmware image the boot loader accepts: a 12-byte header ("KVFW", the
    // body length u32, the body's CRC-16/MODBUS u16, two zero bytes) and a body
    // of pseudo-random bytes. The boot loader judges the bytes it received
    // (zero padding after the body is allowed).
    static std::vector<uint8_t> makeFirmwareImage(size_t bodyBytes, uint32_t seed = 1);
    static bool firmwareImageValid(const std::vector<uint8_t> &received);

    Behaviour &behaviour() { return m_behaviour; }

    // Host side (called by the hidapi stand-in).
    int writeReport(const uint8_t *data, size_t length);
    int readReport(uint8_t *data, size_t length, int timeoutMs);
    void hostClosed();   // the last handle of the device went away

    // Queue an arbitrary raw frame as the next reply (tests).
    void injectReply(const Frame &f, int holdReads = 0);
    // Number of frames written per command byte, and in all.
    int framesWritten(uint8_t command) const;
    int framesWrittenTotal() const;
    std::vector<Frame> writtenFrames() const;   // the last frames written (bounded)
    void clearCounters();
    int pendingReplies() const;
    // Called with every frame the host writes, as it arrives (benchmarks time them).
    void setWriteObserver(std::function<void(const Frame &)> observer);
    int readsServed() const { return m_reads; }

    // Device state, for tests and the demo.
    uint8_t deviceId() const { return m_deviceId; }
    void setDeviceId(uint8_t id) { m_deviceId = id; }
    bool bootMode() const { return m_bootMode; }
    void setBootMode(bool on) { m_bootMode = on; }
    int flashSaves() const { return m_flashSaves; }
    int factoryResets() const { return m_factoryResets; }
    int firmwareBlocks() const { return int(m_firmwareBlocks); }
    std::vector<uint8_t> firmwareReceived() const;   // the image as the blocks placed it
    float position(int ch) const { return m_axis[ch & 1].x; }
    // The force the device holds against the hand, signed like the deflection
    // it resists (the sign of the force curve the host plots).
    float commandedForce(int ch) const { return m_axis[ch & 1].force; }
    float trimPosition(int ch) const { return m_axis[ch & 1].trim; }
    // The trim speed the last 0x31 left, and what the host's 0x32 records
    // left of force (the magnitudes of force input, effect force, spring
    // coefficient and low-speed amplitude added up): 0 when nothing is held.
    float trimSpeed(int ch) const;
    float hostForces(int ch) const;
    // The amplitude (N) of a running vibration of a 0x42 mode (0, 1, 2), 0 when none runs.
    float vibrationAmplitude(int ch, int mode) const;
    // Record payloads as the device holds them (sys: 20 bytes, chan: 52 bytes).
    std::array<uint8_t, 20> sysRecord() const { return m_sys; }
    std::array<uint8_t, 52> chanRecord(int ch) const { return m_chan[ch & 1]; }
    std::array<uint8_t, 52> userChanRecord(int ch) const { return m_user[ch & 1]; }

    // Motion: real time by default; tests can drive the clock by hand.
    void setManualClock(bool manual) { m_manualClock = manual; }
    void advance(double seconds);

private:
    // One vibration the host has started, by its 0x42 mode: 0 a sine burst or
    // hum (engine, landing bump), 1 ground rumble, 2 stick shaker.
    struct Vibration {
        float amplitude = 0;         // N
        float frequency = 0;         // Hz
        double left = 0;             // seconds of a burst still to run; < 0 runs on
        double phase = 0;
        float level = 0;             // rumble: the current bump
        double untilNext = 0;        // rumble: time to the next bump
    };
    struct Axis {
        float x = 0, v = 0;          // position (device units), velocity
        float force = 0;             // force the motor applies (N)
        float inputForce = 0;        // constant force from the host
        // The force effect packet: a constant force (turbulence), the airspeed
        // spring's coefficient and dead zone, the low-speed force and its rest point.
        float effectForce = 0;
        float springCoeff = 0, springZone = 0;
        float lowSpeedAmplitude = 0, lowSpeedOffset = 0;
        Vibration vib[3];
        // Trim, as the 0x31 switch sets it: the mode (2 moves at the speed,
        // 3 follows the location, 4 releases to the centre), the speed, the
        // location, and whether the yoke's own trim buttons work (trim state 1).
        float trim = 0, trimTarget = 0, trimSpeed = 0;
        int trimMode = 2;
        bool hardwareTrim = false;
        double heldOffTrim = 0;      // seconds the hand has held the yoke well off its trim
        bool pilotTrimming = false;  // the hand holds a trim button down
        double handClock = 0;        // the hand's own time: stands still while it pauses
    };
    struct Pending {
        Frame f;
        int hold;
    };

    void factoryRecords();
    void factoryState();
    void handleFrame(const Frame &f);
    void reply(const Frame &req, const uint8_t *payload, int n);
    void replyByte(const Frame &req, uint8_t b) { reply(req, &b, 1); }
    void catchUpMotion();
    void step(double dt);
    float curveForce(int ch, float x) const;
    double gripAt(int ch) const;   // 0 (let go) to 1 (holding)
    float handForce(int ch, const Axis &a, float range) const;
    // How fast the trim moves now (units a second); also presses and releases the pilot's trim button.
    float trimRate(int ch, Axis &a, double dt);
    float f32At(const uint8_t *p) const;
    void startVibration(Axis &a, int mode, const uint8_t *values);
    float vibrationForce(Vibration &v, int mode, double dt);
    void maybeJudgeFirmware();

    mutable std::recursive_mutex m_mutex;
    Behaviour m_behaviour;
    uint8_t m_deviceId = 7;
    std::array<uint8_t, 20> m_sys{};
    std::array<uint8_t, 52> m_chan[2]{}, m_user[2]{};
    std::array<uint8_t, 52> m_flashChan[2]{}, m_flashUser[2]{};
    std::array<uint8_t, 20> m_flashSys{};
    std::deque<Pending> m_queue;
    std::map<uint8_t, int> m_counts;
    int m_total = 0;
    std::deque<Frame> m_written;
    std::function<void(const Frame &)> m_writeObserver;
    int m_reads = 0;
    int m_flashSaves = 0, m_factoryResets = 0;
    bool m_bootMode = false;
    long m_firmwareBlocks = 0;
    std::vector<uint8_t> m_firmware;
    bool m_firmwareGap = false;
    bool m_firmwareJudged = true;
    std::chrono::steady_clock::time_point m_lastBlock;
    Frame m_lastBlockReq{};
    Axis m_axis[2];
    bool m_manualClock = false;
    std::chrono::steady_clock::time_point m_clock;
    double m_time = 0;
    uint32_t m_noise = 12345;
};
