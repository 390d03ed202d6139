// The emulated device behind the hidapi stand-in: what it answers, how it
// misbehaves on request, and how the emulated yoke moves.
#include <QtTest>
#include <cmath>
#include <cstring>
#include <hidapi.h>
#include <vector>

#include "hid_standin.h"

namespace {
DeviceEmulator &emu() { return HidStandin::emulator(); }

uint16_t modbus(const uint8_t *d, size_t n) { return emulatorCrc16(d, n); }

float f32(const uint8_t *p)
{
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

void putF32(uint8_t *p, float f) { std::memcpy(p, &f, 4); }

struct Reply {
    int result = 0;
    uint8_t f[64] = {};
    bool crcOk() const { return uint16_t(f[62] | (f[63] << 8)) == modbus(f, 62); }
};

// What one channel did over a stretch of emulated time, sampled as the host polls.
struct Track {
    float lo = 1e9f, hi = -1e9f;
    float maxStep = 0.0f;
    int deflected = 0, forceAgrees = 0;
    float longestRestS = 0.0f;   // longest stretch spent within 0.3 of the rest position
    std::vector<float> samples;
};

Track track(int ch, double seconds, float rest = 0.0f)
{
    Track t;
    float prev = HidStandin::emulator().position(ch);
    float restRun = 0.0f;
    for (double s = 0; s < seconds; s += 0.025) {
        HidStandin::emulator().advance(0.025);
        const float x = HidStandin::emulator().position(ch);
        const float f = HidStandin::emulator().commandedForce(ch);
        t.samples.push_back(x);
        t.lo = std::min(t.lo, x);
        t.hi = std::max(t.hi, x);
        t.maxStep = std::max(t.maxStep, std::fabs(x - prev));
        prev = x;
        if (std::fabs(x - rest) > 3.0f) {
            ++t.deflected;
            if ((f > 0) == (x > rest))
                ++t.forceAgrees;
        }
        restRun = std::fabs(x - rest) < 0.3f ? restRun + 0.025f : 0.0f;
        t.longestRestS = std::max(t.longestRestS, restRun);
    }
    return t;
}

// A fresh emulator on the manual clock, the pilot's hand on or off.
void freshEmulator(bool pilotHand)
{
    HidStandin::reset();
    HidStandin::emulator().behaviour().pilotHand = pilotHand;
    HidStandin::emulator().setManualClock(true);
}
} // namespace

class TestDeviceEmulator : public QObject
{
    Q_OBJECT
    hid_device *dev = nullptr;
    uint8_t seq = 0;

    int send(uint8_t cmd, const std::vector<uint8_t> &payload = {}, uint8_t len = 0xFF)
    {
        uint8_t r[65] = {0x81, 0xAE, seq, 1, cmd, uint8_t(len == 0xFF ? payload.size() : len)};
        if (!payload.empty())
            std::memcpy(r + 6, payload.data(), payload.size());
        const uint16_t crc = modbus(r + 1, 62);
        r[63] = uint8_t(crc);
        r[64] = uint8_t(crc >> 8);
        ++seq;
        return hid_write(dev, r, 65);
    }
    Reply read()
    {
        Reply rep;
        rep.result = hid_read_timeout(dev, rep.f, 64, 3);
        return rep;
    }
    Reply ask(uint8_t cmd, const std::vector<uint8_t> &payload = {})
    {
        send(cmd, payload);
        return read();
    }
    // A constant input force on the pitch channel.
    void pushPitch(float newtons)
    {
        std::vector<uint8_t> p(13, 0);
        putF32(p.data() + 1, newtons);
        ask(0x32, p);
    }

private slots:
    void init();
    void cleanup();
    void enumeration();
    void everyCommandIsEchoed_data();
    void everyCommandIsEchoed();
    void systemRecord();
    void userAndChannelRecordsApart();
    void firmwareUpdate();
    void misbehaviour();
    void replyQueueIsBounded();
    void yokeFollowsForceAndSpringsBack();
    void pilotHandMovesTheYoke();
    void pilotHandYieldsToCommandsAndTrim();
    void trimFollowsTheSwitch();
    void closingDropsPendingReplies();
};

void TestDeviceEmulator::init()
{
    HidStandin::reset();
    emu().behaviour().readWaits = false;
    hid_device_info *list = hid_enumerate(0x0483, 0x572C);
    QVERIFY(list);
    dev = hid_open_path(list->path);
    hid_free_enumeration(list);
    QVERIFY(dev);
    seq = 0;
}

void TestDeviceEmulator::cleanup()
{
    if (dev)
        hid_close(dev);
    dev = nullptr;
    QCOMPARE(HidStandin::openHandles(), 0);
}

void TestDeviceEmulator::enumeration()
{
    // Which interfaces are listed, the host link's tests follow. What is
    // absent is neither listed nor opened by a stale path.
    QVERIFY(!hid_enumerate(0x3138, 0x3134));
    emu().behaviour().secondDevicePresent = true;
    hid_device_info *list = hid_enumerate(0x3138, 0x3134);
    QVERIFY(list);
    QCOMPARE(list->interface_number, 1);
    hid_free_enumeration(list);
    emu().behaviour().present = false;
    QVERIFY(!hid_enumerate(0x0483, 0x572C));
    QVERIFY(!hid_open_path("emu:main:1"));
}

void TestDeviceEmulator::everyCommandIsEchoed_data()
{
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("sentLength");
    QTest::addColumn<int>("replyLength");
    QTest::newRow("0x10") << 0x10 << 0 << 20;
    QTest::newRow("0x11") << 0x11 << 20 << 1;
    QTest::newRow("0x12") << 0x12 << 1 << 52;
    QTest::newRow("0x13") << 0x13 << 52 << 1;
    QTest::newRow("0x14") << 0x14 << 1 << 52;
    QTest::newRow("0x15") << 0x15 << 52 << 1;
    QTest::newRow("0x16") << 0x16 << 0 << 1;
    QTest::newRow("0x17") << 0x17 << 0 << 1;
    QTest::newRow("0x19") << 0x19 << 0 << 1;
    QTest::newRow("0x30") << 0x30 << 1 << 13;
    QTest::newRow("0x31") << 0x31 << 20 << 1;
    QTest::newRow("0x32 input") << 0x32 << 13 << 1;
    QTest::newRow("0x32 effect") << 0x32 << 21 << 1;
    QTest::newRow("0x40") << 0x40 << 21 << 1;
    QTest::newRow("0x42") << 0x42 << 24 << 1;
    QTest::newRow("0x43") << 0x43 << 1 << 5;
    QTest::newRow("0x44") << 0x44 << 6 << 0;
}

void TestDeviceEmulator::everyCommandIsEchoed()
{
    QFETCH(int, cmd);
    QFETCH(int, sentLength);
    QFETCH(int, replyLength);
    seq = 200;
    std::vector<uint8_t> payload(size_t(sentLength), 0);
    if (sentLength > 0)
        payload[0] = 1;   // channel 1 where a channel is asked for
    QCOMPARE(send(uint8_t(cmd), payload), 65);
    const Reply r = read();
    QCOMPARE(r.result, 64);
    QVERIFY(r.crcOk());
    QCOMPARE(int(r.f[0]), 0xAE);
    QCOMPARE(int(r.f[1]), 200);
    QCOMPARE(int(r.f[2]), 7);
    QCOMPARE(int(r.f[3]), cmd);
    QCOMPARE(int(r.f[4]), replyLength);
    for (int i = 5 + replyLength; i < 62; ++i)
        QCOMPARE(int(r.f[i]), 0);
    QCOMPARE(emu().framesWritten(uint8_t(cmd)), 1);
    QCOMPARE(read().result, 0);   // one frame per command
}

void TestDeviceEmulator::systemRecord()
{
    // What the record holds, and that a write changes it, the host's tests
    // read back; a write never changes the channel count.
    std::vector<uint8_t> p(20, 0);
    p[12] = 5;
    QCOMPARE(int(ask(0x11, p).f[5]), 1);
    QCOMPARE(int(ask(0x10).f[17]), 2);
}

void TestDeviceEmulator::userAndChannelRecordsApart()
{
    // Writes, saves, restarts and the factory reset: the host's configuration
    // tests. A user record written leaves the channel record as it was.
    Reply r = ask(0x14, {1});
    std::vector<uint8_t> rec(r.f + 5, r.f + 57);
    putF32(rec.data() + 45, 55.5f);   // default speed at record offset 50
    QCOMPARE(int(ask(0x15, rec).f[5]), 1);
    QCOMPARE(f32(ask(0x12, {1}).f + 50), 40.0f);
    // Channels other than 0 and 1 fail.
    QCOMPARE(int(ask(0x12, {2}).f[4]), 1);
    QCOMPARE(int(ask(0x13, std::vector<uint8_t>(52, 2)).f[5]), 0);
}

void TestDeviceEmulator::firmwareUpdate()
{
    // Entering, the status it reports there and the loader's failures: the
    // host's firmware tests.
    QCOMPARE(int(ask(0x18).f[5]), 1);   // into boot mode
    QCOMPARE(int(ask(0x18).f[5]), 1);   // start: ready for blocks
    // A valid image in three blocks, the last one zero-padded.
    const std::vector<uint8_t> image = DeviceEmulator::makeFirmwareImage(140);
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> block(57, 0);
        block[0] = uint8_t(i);
        std::copy(image.begin() + i * 55, image.begin() + std::min<int>(int(image.size()), i * 55 + 55), block.begin() + 2);
        send(0x18, block);
    }
    QCOMPARE(emu().pendingReplies(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(int(read().f[5]), 1);
    QCOMPARE(read().result, 0);   // verdict only after a pause
    QTest::qWait(120);
    const Reply verdict = read();
    QCOMPARE(int(verdict.f[3]), 0x18);
    QCOMPARE(int(verdict.f[5]), 3);
    QVERIFY(!emu().bootMode());

    // Out-of-order blocks are judged invalid.
    ask(0x18);
    ask(0x18);
    std::vector<uint8_t> block(57, 0);
    block[0] = 5;
    send(0x18, block);
    read();
    QTest::qWait(120);
    QCOMPARE(int(read().f[5]), 2);
}

void TestDeviceEmulator::misbehaviour()
{
    // The knobs the host's tests lean on (silence, delays, failed reads, bad
    // CRCs, channel counts, fault states) show there; here the device's own
    // refusal: a frame with a bad CRC is counted but not answered.
    uint8_t bad[65] = {0x81, 0xAE, 1, 1, 0x10, 0};
    QCOMPARE(hid_write(dev, bad, 65), 65);
    QCOMPARE(emu().framesWrittenTotal(), 1);
    QCOMPARE(read().result, 0);
    QVERIFY(ask(0x43, {1}).f[6] >= 35);   // a warm motor's temperature
}

void TestDeviceEmulator::replyQueueIsBounded()
{
    for (int i = 0; i < 40; ++i)
        send(0x30, {0});
    QCOMPARE(emu().pendingReplies(), 32);
    QCOMPARE(emu().framesWritten(0x30), 40);
}

void TestDeviceEmulator::yokeFollowsForceAndSpringsBack()
{
    emu().setManualClock(true);
    emu().advance(2.0);
    const float idle = emu().position(0);
    QVERIFY(std::fabs(idle) < 0.5f);
    // Idle: a little motion, never still.
    const Track idleRun = track(0, 2.0);
    QVERIFY(idleRun.hi - idleRun.lo > 0.005f);
    QVERIFY(idleRun.hi - idleRun.lo < 1.0f);

    // A constant 8 N against the 2 N/unit centre spring settles near 4 units.
    pushPitch(8.0f);
    emu().advance(3.0);
    QVERIFY2(std::fabs(emu().position(0) - 4.0f) < 0.5f, qPrintable(QString::number(emu().position(0))));
    QVERIFY(std::fabs(emu().commandedForce(0)) < 1.0f);   // spring balances the input

    Reply r = ask(0x30, {0});
    QCOMPARE(int(r.f[5]), 0);
    QVERIFY(std::fabs(f32(r.f + 6) - emu().position(0)) < 1e-6f);

    // Released, it springs back towards the centre.
    pushPitch(0.0f);
    emu().advance(3.0);
    QVERIFY(std::fabs(emu().position(0)) < 0.5f);
    // The roll axis was never pushed.
    QVERIFY(std::fabs(emu().position(1)) < 0.5f);
}

void TestDeviceEmulator::pilotHandMovesTheYoke()
{
    // Off unless asked for: the yoke only trembles.
    QVERIFY(!emu().behaviour().pilotHand);
    emu().setManualClock(true);
    Track quiet = track(0, 30.0);
    QVERIFY(quiet.hi - quiet.lo < 1.0f);

    // On: slow excursions over a good part of the 20-unit travel, both ways
    // on both channels, with the reported force on the side the curve plots.
    for (int ch = 0; ch < 2; ++ch) {
        freshEmulator(true);
        const Track t = track(ch, 60.0);
        const QString what = QString("ch %1: %2..%3").arg(ch).arg(t.lo).arg(t.hi);
        QVERIFY2(t.lo < -6.0f && t.hi > 6.0f, qPrintable(what));
        QVERIFY2(t.lo > -15.0f && t.hi < 15.0f, qPrintable(what));   // never slammed into the stop
        QVERIFY(t.deflected > 400);
        QCOMPARE(t.forceAgrees, t.deflected);
        // Smooth: no jumps between two polls (a let-go springs back fastest).
        QVERIFY2(t.maxStep < 1.5f, qPrintable(QString::number(t.maxStep)));
        // Now and then the hand lets go and the yoke rests at trim.
        QVERIFY2(t.longestRestS > 1.0f, qPrintable(QString::number(t.longestRestS)));

        // The same run again gives the same motion.
        freshEmulator(true);
        QVERIFY(track(ch, 60.0).samples == t.samples);
    }

    // A reset switches the hand off again.
    HidStandin::reset();
    QVERIFY(!emu().behaviour().pilotHand);
}

void TestDeviceEmulator::pilotHandYieldsToCommandsAndTrim()
{
    freshEmulator(true);

    // A constant 8 N on pitch: where the hand lets go the yoke rests at 4
    // units, not at the centre.
    pushPitch(8.0f);
    Track pushed = track(0, 60.0, 4.0f);
    QVERIFY2(pushed.longestRestS > 1.0f, qPrintable(QString::number(pushed.longestRestS)));
    QVERIFY(pushed.hi > 10.0f);   // the hand still moves it about

    // Roll trimmed to 5 units (mode 3 follows its target): the hand still
    // moves the yoke about and lets go to the trim.
    std::vector<uint8_t> trim(12, 0);
    trim[0] = 1;
    trim[1] = 3;
    putF32(trim.data() + 8, 5.0f);
    ask(0x31, trim);
    emu().advance(2.0);
    QVERIFY(std::fabs(emu().trimPosition(1) - 5.0f) < 1e-3f);
    Track trimmed = track(1, 60.0, 5.0f);
    QVERIFY2(trimmed.longestRestS > 1.0f, qPrintable(QString::number(trimmed.longestRestS)));
    QVERIFY(trimmed.lo < 0.0f && trimmed.hi > 10.0f);
    QCOMPARE(trimmed.forceAgrees, trimmed.deflected);
}

void TestDeviceEmulator::trimFollowsTheSwitch()
{
    freshEmulator(false);
    const auto trimSwitch = [this](int mode, int trimState, float speed, float location = 0.0f) {
        std::vector<uint8_t> p(20, 0);
        p[1] = uint8_t(mode);
        p[2] = uint8_t(trimState);
        putF32(p.data() + 4, speed);
        putF32(p.data() + 8, location);
        ask(0x31, p);
    };
    const auto trimAfter = [](double seconds) {
        emu().advance(seconds);
        return emu().trimPosition(0);
    };
    const auto near = [](float a, float b) { return std::fabs(a - b) < 0.01f; };
    // Mode 2: 0.2 units a second per unit of speed, at most 2, until speed 0
    // or the end of the travel.
    trimSwitch(2, 0, -5.0f);
    QVERIFY(near(trimAfter(1.5), -1.5f));
    trimSwitch(2, 0, 0.0f);
    QVERIFY(near(trimAfter(1.0), -1.5f));
    trimSwitch(2, 0, 40.0f);
    QVERIFY(near(trimAfter(1.0), 0.5f));
    QCOMPARE(trimAfter(20.0), 20.0f);
    // Mode 4 releases to the centre and holds it, whatever the speed; mode 3
    // runs to the location at 5 units a second.
    trimSwitch(4, 0, 40.0f);
    QCOMPARE(trimAfter(1.0), 0.0f);
    trimSwitch(3, 0, 40.0f, -3.0f);
    QVERIFY(near(trimAfter(0.3), -1.5f));
    QVERIFY(near(trimAfter(1.0), -3.0f));

    // Trim state 1 lets the yoke's own trim buttons work: the pilot's hand
    // trims away the force it holds, within the hand's reach. Trim state 0,
    // or no hand, leaves the trim where it is.
    for (const bool hand : {false, true}) {
        for (const int trimState : {0, 1}) {
            freshEmulator(hand);
            trimSwitch(2, trimState, 0.0f);
            float reach = 0.0f;
            for (int i = 0; i < 600; ++i)
                reach = std::max(reach, std::fabs(trimAfter(0.1)));
            const QString what = QString("hand %1, trim state %2: %3").arg(hand).arg(trimState).arg(reach);
            QVERIFY2((reach > 2.0f) == (hand && trimState == 1), qPrintable(what));
            QVERIFY2(reach < 13.0f, qPrintable(what));
        }
    }
}

void TestDeviceEmulator::closingDropsPendingReplies()
{
    send(0x10);
    QCOMPARE(emu().pendingReplies(), 1);
    hid_close(dev);
    dev = nullptr;
    QCOMPARE(emu().pendingReplies(), 0);
    hid_close(reinterpret_cast<hid_device *>(0x1234));
    QCOMPARE(HidStandin::badCloses(), 1);
}

QTEST_GUILESS_MAIN(TestDeviceEmulator)
#include "tst_device_emulator.moc"
