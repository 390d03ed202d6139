// Opening and closing the device through the real window and the emulated
// device, with real timers: the handshake, the search give-up, the polls and
// their rates, the channel buttons, link loss and recovery, stale replies.
#include "windowtest.h"

#include "rxbuffer.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QtTest>

class TestConnection : public WindowTest
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void openWithNoDevice();
    void wrongChannelCountGivesUp();
    void closeBeforeAnswerStillGivesUp();
    void onlineHandshakeAndPolls();
    void sendRates();
    void channelButtons();
    void linkLossAndRecovery();
    void staleRepliesAreDropped();
    void closeDuringOpenLeavesNoHandle();
    void serialErrors();
    void generalTabScreenshot();

private:
    QStringList activeDeviceTimers() const;
};

void TestConnection::initTestCase()
{
    QVERIFY(openWindow());
}

void TestConnection::init()
{
    startTest();
    LogCapture::lines().clear();
}

void TestConnection::cleanup()
{
    closeIfOpen();
    endTest();
}

QStringList TestConnection::activeDeviceTimers() const
{
    QStringList l;
    if (w->replyPollTimer.isActive()) l << "reply";
    if (w->txTimer.isActive()) l << "tx";
    if (w->txInforTimer.isActive()) l << "info";
    if (w->searchDeviceTimer.isActive()) l << "search";
    return l;
}

void TestConnection::openWithNoDevice()
{
    HidStandin::emulator().behaviour().present = false;
    ui->pushButton_openPort->click();
    QTest::qWait(300);
    QCOMPARE(closer->boxes, QStringList{"WARNING|Device Offline"});
    QCOMPARE(w->portOpenFlag, 1);
    QCOMPARE(w->deviceAnsweredFlag, 0);
    QCOMPARE(activeDeviceTimers(), QStringList{"reply"});
    QVERIFY(ui->pushButton_openPort->isEnabled());
    QVERIFY(!ui->pushButton_closePort->isEnabled());
    QVERIFY(LogCapture::lines().contains("111"));
    QCOMPARE(HidStandin::emulator().framesWrittenTotal(), 0);
}

void TestConnection::wrongChannelCountGivesUp()
{
    HidStandin::emulator().behaviour().channelCountOverride = 3;
    int ticks = 0;
    const QMetaObject::Connection counting = connect(&w->searchDeviceTimer, &QTimer::timeout, [&ticks] { ++ticks; });
    QElapsedTimer t;
    t.start();
    ui->pushButton_openPort->click();
    // Opening ends by selecting the pitch channel, which an unanswered
    // device refuses.
    QCOMPARE(closer->boxes, QStringList{"WARNING|Device Offline"});
    QCOMPARE(activeDeviceTimers(), (QStringList{"reply", "tx", "info", "search"}));
    QTRY_VERIFY_WITH_TIMEOUT(closer->count("WARNING|Device Not Answer") == 1, 20000);
    disconnect(counting);
    // The 51st tick of 100 ms gives up: no sooner than 5 s (a loaded machine
    // may take longer for the same ticks).
    const qint64 ms = t.elapsed();
    QCOMPARE(ticks, 51);
    QVERIFY2(ms > 4600, qPrintable(QString::number(ms)));
    QVERIFY(!w->isOnline());
    QCOMPARE(w->portOpenFlag, 0);
    QCOMPARE(w->deviceAnsweredFlag, 0);
    QVERIFY(activeDeviceTimers().isEmpty());
    QCOMPARE(w->searchTickCount, 1);
    QCOMPARE(HidStandin::openHandles(), 0);
    QCOMPARE(ui->label_deviceConState->text(), QStringLiteral("Device Offline"));
    // The polls sent nothing while the device had not answered.
    QCOMPARE(HidStandin::emulator().framesWritten(0x30), 0);
    QCOMPARE(HidStandin::emulator().framesWritten(0x43), 0);
    QVERIFY(HidStandin::emulator().framesWritten(0x10) >= 4);
    QCOMPARE(closer->boxes.last(), QStringLiteral("WARNING|Device Not Answer"));
}

void TestConnection::closeBeforeAnswerStillGivesUp()
{
    HidStandin::emulator().behaviour().silent = true;
    // The give-up box is left open for longer than a search: it must not
    // let the search run out again behind it.
    closer->holdMs.insert("WARNING|Device Not Answer", 5600);
    QElapsedTimer t;
    t.start();
    ui->pushButton_openPort->click();
    QTest::qWait(800);
    ui->pushButton_closePort->click();
    QCOMPARE(w->portOpenFlag, 0);
    QVERIFY(w->searchDeviceTimer.isActive());
    const int boxesAfterClose = closer->boxes.size();
    QTRY_VERIFY_WITH_TIMEOUT(closer->count("WARNING|Device Not Answer") == 1, 8000);
    QVERIFY2(t.elapsed() > 4600, qPrintable(QString::number(t.elapsed())));
    // The second close (the give-up's) shows no release boxes of its own.
    QCOMPARE(closer->boxes.size(), boxesAfterClose + 1);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 8000);
    QCOMPARE(closer->count("WARNING|Device Not Answer"), 1);
    QVERIFY(!w->searchDeviceTimer.isActive());
    QVERIFY(ui->pushButton_openPort->isEnabled());
    QVERIFY(!ui->pushButton_closePort->isEnabled());
}

void TestConnection::onlineHandshakeAndPolls()
{
    DeviceEmulator &emu = HidStandin::emulator();
    emu.setDeviceId(9);
    openOnline();
    QVERIFY(closer->boxes.isEmpty());
    QCOMPARE(w->deviceId, uint8_t(9));
    QCOMPARE(ui->label_deviceConState->text(), QStringLiteral("Device Connected"));
    QCOMPARE(ui->label_deviceLed->styleSheet(), w->lampGreen);
    QVERIFY(!w->searchDeviceTimer.isActive());
    QCOMPARE(w->searchTickCount, 0);

    // The first frames: device information with id 1, sequence numbers in turn.
    const std::vector<DeviceEmulator::Frame> frames = emu.writtenFrames();
    QVERIFY(frames.size() >= 4);
    QCOMPARE(frames[0][3], uint8_t(0x10));
    QCOMPARE(frames[0][2], uint8_t(1));
    QCOMPARE(uint8_t(frames[1][1]), uint8_t(frames[0][1] + 1));
    // After the device answered every frame carries its id.
    bool sawUserRead = false;
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i][3] == 0x14) {
            sawUserRead = true;
            QCOMPARE(frames[i][2], uint8_t(9));
        }
    }
    QVERIFY(sawUserRead);

    QCOMPARE(activeDeviceTimers(), (QStringList{"reply", "tx", "info"}));

    emu.clearCounters();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(2000);
    // Two frames a tick; the wait may take longer than asked on a loaded machine.
    const qint64 ms = clock.elapsed();
    const int live = emu.framesWritten(0x30);
    const int status = emu.framesWritten(0x43);
    QVERIFY2(live >= 50 && live <= 2 * (ms / 50 + 1), qPrintable(QStringLiteral("%1 in %2 ms").arg(live).arg(ms)));
    QVERIFY2(status >= 5 && status <= 2 * (ms / 500 + 1), qPrintable(QStringLiteral("%1 in %2 ms").arg(status).arg(ms)));
    QCOMPARE(live % 2, 0);
    // Channel 0 then channel 1 on every tick.
    int expected = 0;
    for (const auto &f : emu.writtenFrames()) {
        if (f[3] != 0x30)
            continue;
        QCOMPARE(int(f[5]), expected);
        QCOMPARE(f[2], uint8_t(9));
        expected ^= 1;
    }
    // (live data on the displays: the live window's test)
    QCOMPARE(ui->label_faultState_3->text(), QStringLiteral("System No Fault"));
}

void TestConnection::sendRates()
{
    openOnline();
    w->doFre_Peridic(3);
    QCOMPARE(w->txTimer.interval(), 333);
    w->doFre_Peridic(1500);
    QCOMPARE(w->txTimer.interval(), 0);
    // No rate, no division: the interval and the rate in force stay.
    w->doFre_Peridic(0);
    w->doFre_Peridic(-4);
    QCOMPARE(w->txTimer.interval(), 0);
    QCOMPARE(w->sendRate, 1500);
    QVERIFY(w->txTimer.isActive());
    QCOMPARE(LogCapture::countContaining("Send rate"), 2);
    w->doFre_Peridic(20);
    QCOMPARE(w->txTimer.interval(), 50);
    // A rate set while the poll is stopped is used when it starts.
    w->doFre_Peridic(4);
    w->on_pushButton_closePort_clicked();
    closer->boxes.clear();
    openOnline();
    QCOMPARE(w->txTimer.interval(), 250);
    w->doFre_Peridic(20);
}

void TestConnection::channelButtons()
{
    // Offline: the click is undone, the selected word is kept.
    ui->pushButton_channel_1->click();
    QCOMPARE(closer->boxes, QStringList{"WARNING|Device Offline"});
    QCOMPARE(clscurve::selectedChannel, 1);
    QCOMPARE(w->currentChannel, 0);
    QVERIFY(!ui->pushButton_channel_1->isChecked());
    ui->pushButton_channel_0->click();
    QVERIFY(ui->pushButton_channel_0->isChecked());
    QCOMPARE(clscurve::selectedChannel, 0);
    closer->boxes.clear();

    openOnline();
    DeviceEmulator &emu = HidStandin::emulator();
    emu.clearCounters();
    ui->pushButton_channel_1->click();
    QCOMPARE(w->currentChannel, 1);
    QCOMPARE(clscurve::selectedChannel, 1);
    QVERIFY(ui->pushButton_channel_1->isChecked());
    QVERIFY(!ui->pushButton_channel_0->isChecked());
    // Once directly, then acknowledged (a poll may take the echo, so the
    // acknowledged send can try again): at most five requests for channel 1.
    QVERIFY(emu.framesWritten(0x14) >= 2 && emu.framesWritten(0x14) <= 5);
    for (const auto &f : emu.writtenFrames())
        if (f[3] == 0x14)
            QCOMPARE(int(f[5]), 1);
    QTRY_COMPARE(ui->customplot1->xAxis->range().upper, 90.0);
    // Pressing the checked button again keeps it checked.
    ui->pushButton_channel_1->click();
    QVERIFY(ui->pushButton_channel_1->isChecked());
    ui->pushButton_channel_0->click();
    QCOMPARE(w->currentChannel, 0);
    QVERIFY(closer->boxes.isEmpty());
}

void TestConnection::linkLossAndRecovery()
{
    openOnline();
    DeviceEmulator &emu = HidStandin::emulator();
    emu.behaviour().failReadCount = -1;
    QTRY_VERIFY_WITH_TIMEOUT(closer->count("WARNING|Connection Lost") == 1, 3000);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(w->linkMode, 0);
    QVERIFY(!w->txTimer.isActive());
    QVERIFY(!w->txInforTimer.isActive());
    QVERIFY(w->replyPollTimer.isActive());
    QCOMPARE(ui->label_deviceConState->text(), QStringLiteral("Device Offline"));
    QCOMPARE(ui->label_faultState_3->text(), QStringLiteral("Communication Lost"));
    QCOMPARE(ui->label_faultState->text(), QStringLiteral("Pitch Fault"));
    QCOMPARE(ui->label_faultState_2->text(), QStringLiteral("Roll Fault"));
    for (QLabel *l : {ui->label_deviceLed, ui->label_faultLed, ui->label_faultLed_2, ui->label_faultLed_3})
        QCOMPARE(l->styleSheet(), w->lampRed);
    QCOMPARE(LogCapture::countContaining("Lose Connection"), 1);

    // The guard still passes, yet nothing leaves.
    QVERIFY(w->isOnline());
    const int written = emu.framesWrittenTotal();
    w->slots_timeOutTx();
    w->slots_timeOuttxInforTimer();
    ui->pushButton_channel_1->click();
    QTest::qWait(300);
    QCOMPARE(emu.framesWrittenTotal(), written);
    QCOMPARE(closer->count("WARNING|Connection Lost"), 1);

    // Close and reopen recovers.
    emu.behaviour().failReadCount = 0;
    ui->pushButton_closePort->click();
    QCOMPARE(ui->label_deviceLed->styleSheet(), w->lampYellow);
    QVERIFY(activeDeviceTimers().isEmpty());
    emu.clearCounters();
    openOnline();
    QCOMPARE(w->linkMode, 1);
    QTRY_VERIFY_WITH_TIMEOUT(emu.framesWritten(0x30) >= 8, 2000);
    QCOMPARE(ui->label_deviceConState->text(), QStringLiteral("Device Connected"));
}

void TestConnection::staleRepliesAreDropped()
{
    // Bytes a closed connection left in the receive buffer: a well-formed
    // reply that would mark a three-channel answer as current.
    openOnline();
    w->on_pushButton_closePort_clicked();
    closer->boxes.clear();
    QByteArray stale;
    stale.append(char(0xAE)).append(char(0)).append(char(7)).append(char(0x17)).append(char(1)).append(char(1));
    const uint16_t crc = crc16Modbus(stale);
    stale.append(char(crc & 0xFF)).append(char(crc >> 8));
    deviceRxBuffer = stale;
    std::memset(w->rxShadow, 0x55, sizeof w->rxShadow);
    openOnline();
    QTest::qWait(100);
    // A factory-reset reply would have shown its box and closed the device.
    QVERIFY2(closer->boxes.isEmpty(), qPrintable(closer->boxes.join(", ")));
    QVERIFY(w->isOnline());
}

void TestConnection::closeDuringOpenLeavesNoHandle()
{
    // Close Port pressed while Open Port's last channel read still waits:
    // the second device must not be opened on the closed port afterwards.
    HidStandin::emulator().behaviour().secondDevicePresent = true;
    w->currentChannel = 1;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [this, &watch] {
        if (w->currentChannel == 0 && w->portOpenFlag == 1) {
            watch.stop();
            w->on_pushButton_closePort_clicked();
        }
    });
    watch.start(0);
    ui->pushButton_openPort->click();
    QVERIFY(!watch.isActive());
    QCOMPARE(w->portOpenFlag, 0);
    QCOMPARE(HidStandin::openHandles(), 0);
}

void TestConnection::serialErrors()
{
    w->slots_errorHandler(QSerialPort::DeviceNotFoundError);
    QCOMPARE(closer->boxes,
             QStringList{"Device Not Found|Check if the device has been selected or connected."});
    w->slots_errorHandler(QSerialPort::TimeoutError);
    QCOMPARE(closer->boxes.size(), 1);
    openOnline();
    closer->boxes.clear();
    w->slots_errorHandler(QSerialPort::PermissionError);
    QCOMPARE(closer->boxes.first(),
             QStringLiteral("Failed To Open Device|Check if the device is already occupied by other software."));
    // It closes the device.
    QCOMPARE(w->portOpenFlag, 0);
    QVERIFY(activeDeviceTimers().isEmpty());
    QVERIFY(ui->pushButton_openPort->isEnabled());
}

void TestConnection::generalTabScreenshot()
{
    openOnline();
    ui->tabWidget->setCurrentIndex(0);
    QTest::qWait(600);   // a few live points and one status report
    const QString path = QDir::current().absoluteFilePath("general_online.png");
    QVERIFY(w->grab().save(path));
    QVERIFY(QFileInfo(path).size() > 1000);
    qInfo("screenshot: %s", qPrintable(path));
    printf("screenshot: %s\n", qPrintable(path));
}

QTEST_MAIN(TestConnection)
#include "test_connection.moc"
