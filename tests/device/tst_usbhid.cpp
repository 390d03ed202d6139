// The HID link against the emulated device: opening, reading, error counting,
// shadows, closing, and the event-loop wait.
#include <QElapsedTimer>
#include <cstring>
#include <QTimer>
#include <QtTest>

#include "hid_standin.h"
#include "usb_hid.h"

namespace {
void header(USB_HID &l, uint8_t cmd, uint8_t n, uint8_t id = 1)
{
    l.txFrame[0] = 0xAE;
    l.txFrame[2] = id;
    l.txFrame[3] = cmd;
    l.txFrame[4] = n;
}
DeviceEmulator &emu() { return HidStandin::emulator(); }
}

class TestUsbHid : public QObject
{
    Q_OBJECT
    USB_HID link;
private slots:
    void init();
    void cleanup();
    void opensOnlyInterfacesOneAndMinusOne_data();
    void opensOnlyInterfacesOneAndMinusOne();
    void keepsAtMostTenInterfaces();
    void secondDeviceReplacesSlotZeroWithoutLeak();
    void closeTwiceIsHarmless();
    void readResults();
    void errorCountRules();
    void shadowRules();
    void linkModeZeroBuildsWithoutWriting();
    void sendPathWritesReportIdAndFrame();
    void streamFormOfReply();
    void overlongReplyIsDropped();
    void delayZeroReturnsAfterOnePass();
    void delayWaitsWhileTimersRun();
};

void TestUsbHid::init()
{
    HidStandin::reset();
    emu().behaviour().readWaits = false;
    link = USB_HID();
    link.errorCount = 0;
    link.linkMode = 1;
}

void TestUsbHid::cleanup()
{
    link.closeHid();
    for (auto &h : handleTable)
        if (h) {
            hid_close(h);
            h = nullptr;
        }
    QCOMPARE(HidStandin::openHandles(), 0);
    QCOMPARE(HidStandin::badCloses(), 0);
}

void TestUsbHid::opensOnlyInterfacesOneAndMinusOne_data()
{
    QTest::addColumn<QVector<int>>("ifaces");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<int>("slotCount");
    QTest::newRow("one") << QVector<int>{1} << true << 1;
    QTest::newRow("minus one") << QVector<int>{-1} << true << 1;
    QTest::newRow("zero only") << QVector<int>{0} << false << 0;
    QTest::newRow("zero and one") << QVector<int>{0, 1} << true << 1;
    QTest::newRow("none") << QVector<int>{} << false << 0;
}

void TestUsbHid::opensOnlyInterfacesOneAndMinusOne()
{
    QFETCH(QVector<int>, ifaces);
    QFETCH(bool, opens);
    QFETCH(int, slotCount);
    emu().behaviour().interfaces.assign(ifaces.begin(), ifaces.end());
    QCOMPARE(link.openMainHid(), opens);
    QCOMPARE(mainDevice != nullptr, opens);
    int used = 0;
    for (auto *h : handleTable)
        used += h ? 1 : 0;
    QCOMPARE(used, slotCount);
    if (opens)
        QCOMPARE(productNames[0], QStringLiteral("Korvel Force Yoke"));
}

void TestUsbHid::keepsAtMostTenInterfaces()
{
    emu().behaviour().interfaces.assign(12, 1);
    QVERIFY(link.openMainHid());
    for (auto *h : handleTable)
        QVERIFY(h);
    // Main handle plus ten slots; no other handle left behind.
    QCOMPARE(HidStandin::openHandles(), 11);
}

void TestUsbHid::secondDeviceReplacesSlotZeroWithoutLeak()
{
    QVERIFY(!link.openG1000Hid());
    QVERIFY(link.openMainHid());
    QCOMPARE(HidStandin::openHandles(), 2);
    emu().behaviour().secondDevicePresent = true;
    QVERIFY(link.openG1000Hid());
    QCOMPARE(HidStandin::openHandles(), 2);   // the main device's second handle was closed
    QCOMPARE(productNames[0], QStringLiteral("Korvel Panel"));
}

void TestUsbHid::closeTwiceIsHarmless()
{
    QVERIFY(link.openMainHid());
    link.closeHid();   // and again in cleanup, which counts the handles and bad closes
    // A closed link writes nothing and reads "nothing arrived", not an error.
    header(link, 0x10, 0);
    QCOMPARE(link.sendMainReport(), -1);
    link.errorCount = 5;
    QCOMPARE(link.readMainFrame(3), 0);
    QCOMPARE(link.errorCount, 0);
    QCOMPARE(emu().framesWrittenTotal(), 0);
}

void TestUsbHid::readResults()
{
    QVERIFY(link.openMainHid());
    header(link, 0x10, 0);
    link.buildUsbFrame(nullptr);
    QCOMPARE(link.readMainFrame(3), 1);
    QCOMPARE(int(link.rxFrame[3]), 0x10);
    QCOMPARE(int(link.rxFrame[1]), int(link.txFrame[1]));
    QCOMPARE(link.readMainFrame(3), 0);
    emu().behaviour().corruptCrcCount = 1;
    link.buildUsbFrame(nullptr);
    QCOMPARE(link.readMainFrame(3), 170);
    for (uint8_t b : link.rxFrame)
        QCOMPARE(int(b), 0);
    emu().behaviour().failReadCount = 1;
    QCOMPARE(link.readMainFrame(3), -1);
}

void TestUsbHid::errorCountRules()
{
    QVERIFY(link.openMainHid());
    emu().behaviour().failReadCount = 21;
    for (int i = 0; i < 21; ++i)
        QCOMPARE(link.readMainFrame(3), -1);
    QCOMPARE(link.errorCount, 21);
    // A time-out resets the count.
    QCOMPARE(link.readMainFrame(3), 0);
    QCOMPARE(link.errorCount, 0);
    // So does a report with a bad CRC.
    emu().behaviour().failReadCount = 3;
    for (int i = 0; i < 3; ++i)
        link.readMainFrame(3);
    QCOMPARE(link.errorCount, 3);
    emu().behaviour().corruptCrcCount = 1;
    header(link, 0x10, 0);
    link.buildUsbFrame(nullptr);
    QCOMPARE(link.readMainFrame(3), 170);
    QCOMPARE(link.errorCount, 0);
    // With link mode 0 errors are not counted.
    link.linkMode = 0;
    emu().behaviour().failReadCount = 2;
    link.readMainFrame(3);
    link.readMainFrame(3);
    QCOMPARE(link.errorCount, 0);
}

void TestUsbHid::shadowRules()
{
    QVERIFY(link.openMainHid());
    header(link, 0x14, 1);
    const uint8_t ch = 1;
    link.buildUsbFrame(&ch);
    QCOMPARE(link.readMainFrame(3), 1);
    QCOMPARE(int(link.rxShadow[3]), 0x14);
    // A time-out and a failed read leave the shadow as it was.
    QCOMPARE(link.readMainFrame(3), 0);
    QCOMPARE(int(link.rxShadow[3]), 0x14);
    emu().behaviour().failReadCount = 1;
    QCOMPARE(link.readMainFrame(3), -1);
    QCOMPARE(int(link.rxShadow[3]), 0x14);
    // A bad-CRC report is still copied into the shadow.
    emu().behaviour().corruptCrcCount = 1;
    header(link, 0x43, 1);
    link.buildUsbFrame(&ch);
    QCOMPARE(link.readMainFrame(3), 170);
    QCOMPARE(int(link.rxShadow[3]), 0x43);
    QCOMPARE(int(link.rxShadow[1]), int(link.txFrame[1]));
}

void TestUsbHid::linkModeZeroBuildsWithoutWriting()
{
    QVERIFY(link.openMainHid());
    frameSequenceCounter = 10;
    header(link, 0x30, 1);
    const uint8_t ch = 0;
    link.buildUsbFrame(&ch);
    const uint16_t firstCrc = uint16_t(link.txFrame[62] | (link.txFrame[63] << 8));
    link.linkMode = 0;
    link.buildUsbFrame(&ch);
    QCOMPARE(emu().framesWrittenTotal(), 1);
    QCOMPARE(int(frameSequenceCounter), 12);
    QCOMPARE(int(link.txFrame[1]), 11);
    QVERIFY(frameCrcOk(link.txFrame));
    // The shadow holds the new frame's bytes 0..61 and the previous CRC.
    QCOMPARE(std::memcmp(link.txShadow, link.txFrame, 62), 0);
    QCOMPARE(uint16_t(link.txShadow[62] | (link.txShadow[63] << 8)), firstCrc);
}

void TestUsbHid::sendPathWritesReportIdAndFrame()
{
    QVERIFY(link.openMainHid());
    header(link, 0x12, 1, 7);
    const uint8_t ch = 1;
    link.buildUsbFrame(&ch);
    QCOMPARE(int(mainOutReport[0]), 0x81);
    QCOMPARE(std::memcmp(mainOutReport + 1, link.txFrame, 64), 0);
    const auto written = emu().writtenFrames();
    QCOMPARE(int(written.size()), 1);
    QCOMPARE(std::memcmp(written[0].data(), link.txFrame, 64), 0);
    QCOMPARE(emu().framesWritten(0x12), 1);
}

void TestUsbHid::streamFormOfReply()
{
    QVERIFY(link.openMainHid());
    header(link, 0x10, 0);
    link.buildUsbFrame(nullptr);
    const QByteArray s = link.readMainFrameBytes(3);
    QCOMPARE(s.size(), 27);
    QCOMPARE(crc16Modbus(s.left(25)), uint16_t(uint8_t(s[25]) | (uint8_t(s[26]) << 8)));
    for (uint8_t b : link.rxFrame)
        QCOMPARE(int(b), 0);   // cleared after use
    QVERIFY(link.readMainFrameBytes(3).isEmpty());
}

void TestUsbHid::overlongReplyIsDropped()
{
    QVERIFY(link.openMainHid());
    DeviceEmulator::Frame f{};
    f[0] = 0xAE; f[3] = 0x30; f[4] = 200;
    const uint16_t crc = crc16Modbus(f.data(), 62);
    f[62] = uint8_t(crc); f[63] = uint8_t(crc >> 8);
    emu().injectReply(f);
    QVERIFY(link.readMainFrameBytes(3).isEmpty());
}

void TestUsbHid::delayZeroReturnsAfterOnePass()
{
    int fired = 0;
    QTimer::singleShot(0, [&] { ++fired; });
    QElapsedTimer t;
    t.start();
    delayMs(0);
    QVERIFY(t.elapsed() < 500);
    QCOMPARE(fired, 1);
}

void TestUsbHid::delayWaitsWhileTimersRun()
{
    int ticks = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(1);
    QElapsedTimer t;
    t.start();
    delayMs(30);
    QVERIFY(t.elapsed() >= 29);
    QVERIFY(ticks >= 3);
}

QTEST_MAIN(TestUsbHid)
#include "tst_usbhid.moc"
