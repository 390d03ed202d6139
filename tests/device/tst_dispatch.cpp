// Reply reception and dispatch through the real main window, against the
// emulated device: cutting frames from the receive buffer, dispatching them,
// link-loss detection and the acknowledged sends.
#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTextEdit>
#include <QtTest>
#include <algorithm>
#include <cstring>

#include "clscurve.h"
#include "hid_standin.h"
#include "remap.h"
#include "rxbuffer.h"
#include "serialcomm.h"
#include "setconf.h"
#include "testsupport.h"
#include "ui_clscurve.h"

namespace {
DeviceEmulator &emu() { return HidStandin::emulator(); }

// Stream form of a reply frame with the given command and payload.
QByteArray streamForm(uint8_t cmd, const QByteArray &payload, uint8_t seq = 1, uint8_t id = 7)
{
    uint8_t f[64] = {0xAE, seq, id, cmd, uint8_t(payload.size())};
    std::memcpy(f + 5, payload.constData(), size_t(payload.size()));
    sealFrame(f);
    return frameStreamForm(f);
}

QByteArray floats(uint8_t ch, float a, float b, float c)
{
    QByteArray p(1, char(ch));
    for (float v : {a, b, c})
        p.append(reinterpret_cast<const char *>(&v), 4);
    return p;
}
}

class TestDispatch : public QObject
{
    Q_OBJECT
    clscurve *w = nullptr;
    ModalCloser *closer = nullptr;

    // The header fields a sender fills in before the frame is built.
    void header(uint8_t cmd, uint8_t length, uint8_t id = 7)
    {
        w->txFrame[0] = 0xAE;
        w->txFrame[2] = id;
        w->txFrame[3] = cmd;
        w->txFrame[4] = length;
    }
    void send(uint8_t cmd, const QByteArray &payload = QByteArray())
    {
        header(cmd, uint8_t(payload.size()), w->deviceId);
        w->buildUsbFrame(reinterpret_cast<const uint8_t *>(payload.constData()));
    }
    // Sends a command and reads the device's reply into the receive buffer.
    void exchange(uint8_t cmd, const QByteArray &payload = QByteArray())
    {
        send(cmd, payload);
        w->ReciveData(0);
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void cutsChecksAndDispatchesOneFrameATick();
    void handshakeReplyMakesDeviceAnswered();
    void otherChannelCountsNeverAnswer();
    void thirdChannelRepliesAreIgnored();
    void shortRepliesAreZeroFilled();
    void userChannelReplyFansOut();
    void resultReplies();
    void linkLostOnTwentyFirstError();
    void ackOnTwentiethPollComesTooLate();
    void badCrcReportAcknowledgesButIsNotQueued();
    void sequenceZeroNeedsAReport();
    void ackMatchesOwnFrameDespiteNestedSender();
    void resendsUntilAcknowledged();
    void debugPaneHistoryIsBounded();
    void serialHelpers();
};

void TestDispatch::initTestCase()
{
    w = new clscurve;
    closer = new ModalCloser(nullptr, QLatin1Char('/'));
}

void TestDispatch::cleanupTestCase()
{
    delete closer;
    delete w;
}

void TestDispatch::init()
{
    HidStandin::reset();
    emu().behaviour().readWaits = false;
    closer->boxes.clear();
    deviceRxBuffer.clear();
    w->closeHid();
    w->deviceAnsweredFlag = 0;
    w->deviceId = 1;
    w->errorCount = 0;
    w->linkMode = 1;
    w->portOpenFlag = 1;
    QVERIFY(w->openMainHid());
}

void TestDispatch::cleanup()
{
    w->replyPollTimer.stop();
    w->closeHid();
}

void TestDispatch::cutsChecksAndDispatchesOneFrameATick()
{
    // A frame with a bad CRC, a good one for the other channel, and a third
    // whose last byte has not arrived: one frame a tick, the bad one dropped.
    QByteArray bad = streamForm(0x30, floats(0, 8.0f, 0, 0));
    bad[bad.size() - 1] = char(bad[bad.size() - 1] ^ 0x40);
    const QByteArray good = streamForm(0x30, floats(1, -4.0f, 5.0f, 6.0f));
    const QByteArray last = streamForm(0x30, floats(0, 1.5f, 2.5f, 3.5f));
    deviceRxBuffer = bad + good + last.left(19);
    w->liveData[0][0] = 0.0f;
    w->liveData[1][0] = 99.0f;
    w->dealWithSerialData();
    QCOMPARE(w->liveData[0][0], 0.0f);
    QCOMPARE(w->liveData[1][0], 99.0f);
    QCOMPARE(deviceRxBuffer.size(), 39);
    w->dealWithSerialData();
    QCOMPARE(w->liveData[1][0], -4.0f);
    QCOMPARE(w->liveData[1][1], 5.0f);
    w->dealWithSerialData();
    QCOMPARE(deviceRxBuffer.size(), 19);   // waits for the last byte
    QCOMPARE(w->liveData[0][0], 0.0f);
    deviceRxBuffer.append(last.right(1));
    w->dealWithSerialData();
    QVERIFY(deviceRxBuffer.isEmpty());
    QCOMPARE(w->liveData[0][0], 1.5f);
    QCOMPARE(w->liveData[0][2], 3.5f);
    QCOMPARE(w->receivedCrc, uint16_t(uint8_t(last[18]) | (uint8_t(last[19]) << 8)));
}

void TestDispatch::handshakeReplyMakesDeviceAnswered()
{
    QSignalSpy spy(w, &clscurve::sendUARTget_sys_config);
    UART_get_sys_config_t *passed = nullptr;
    auto c = connect(w, &clscurve::sendUARTget_sys_config, this, [&](UART_get_sys_config_t *r) { passed = r; });
    exchange(0x10);
    QCOMPARE(deviceRxBuffer.size(), 27);
    w->dealWithSerialData();
    QCOMPARE(w->deviceAnsweredFlag, 1);
    QCOMPARE(int(w->deviceId), 7);
    QCOMPARE(w->sysReplyImage.Channels_number(), 2u);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(passed, &w->sysReplyImage);
    disconnect(c);

    // Once answered, a later 0x10 reply only refreshes the image.
    emu().setDeviceId(9);
    deviceRxBuffer.clear();
    exchange(0x10);
    while (!deviceRxBuffer.isEmpty())
        w->dealWithSerialData();
    QCOMPARE(int(w->deviceId), 7);
    QCOMPARE(int(w->sysReplyImage.deviceId()), 9);
    QVERIFY(spy.count() >= 2);
}

void TestDispatch::otherChannelCountsNeverAnswer()
{
    QSignalSpy spy(w, &clscurve::sendUARTget_sys_config);
    for (int count : {1, 3, 0}) {
        emu().behaviour().channelCountOverride = count;
        exchange(0x10);
        w->dealWithSerialData();
        QCOMPARE(w->deviceAnsweredFlag, 0);
        QCOMPARE(int(w->deviceId), 1);
        QCOMPARE(w->sysReplyImage.Channels_number(), uint32_t(count));
    }
    QCOMPARE(spy.count(), 3);
}

void TestDispatch::thirdChannelRepliesAreIgnored()
{
    std::memset(w->liveData, 0, sizeof w->liveData);
    std::memset(w->channelStatus, 0, sizeof w->channelStatus);
    deviceRxBuffer = streamForm(0x30, floats(2, 1.0f, 2.0f, 3.0f)) + streamForm(0x43, QByteArray("\x02\x30\x01\x01\x00", 5));
    w->dealWithSerialData();
    w->dealWithSerialData();
    QVERIFY(deviceRxBuffer.isEmpty());
    for (auto &ch : w->liveData)
        for (float v : ch)
            QCOMPARE(v, 0.0f);
    for (auto &ch : w->channelStatus)
        for (uint8_t b : ch)
            QCOMPARE(int(b), 0);
    QVERIFY(closer->boxes.isEmpty());
}

void TestDispatch::shortRepliesAreZeroFilled()
{
    std::memset(w->chanReplyImage[0].data, 0xFF, 59);
    deviceRxBuffer = streamForm(0x12, QByteArray(1, 0));   // only the channel byte
    w->dealWithSerialData();
    const uint8_t *img = w->chanReplyImage[0].data;
    QCOMPARE(int(img[3]), 0x12);
    QCOMPARE(int(img[4]), 1);
    for (int i = 6; i < 59; ++i)
        QCOMPARE(int(img[i]), 0);

    // A live-data reply without its floats reads them as 0.
    w->liveData[0][0] = w->liveData[0][1] = w->liveData[0][2] = 7.0f;
    deviceRxBuffer = streamForm(0x30, QByteArray(1, 0));
    w->dealWithSerialData();
    QCOMPARE(w->liveData[0][0], 0.0f);
    QCOMPARE(w->liveData[0][2], 0.0f);

    // A full reply keeps its stream CRC at the end of the image.
    exchange(0x12, QByteArray(1, 1));
    const QByteArray cut = deviceRxBuffer;
    w->dealWithSerialData();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(w->chanReplyImage[1].data), 59), cut);
}

void TestDispatch::userChannelReplyFansOut()
{
    QList<int> channels;
    auto c = connect(w, &clscurve::sendUARTget_config_value, this,
                     [&](uint8_t ch, UART_get_chan_config_t *r) {
                         QCOMPARE(r, &w->userChanReplyImage[ch]);
                         channels << ch;
                     });
    w->remapWindow->masterButton = w->remapWindow->trimUpButton = w->remapWindow->trimDownButton = 200;
    exchange(0x14, QByteArray(1, 1));
    w->dealWithSerialData();
    QCOMPARE(channels, QList<int>{1});
    QCOMPARE(w->userChanReplyImage[1].force_limit(), 60.0f);
    QCOMPARE(w->defaultSpeed[1], 40.0f);
    QCOMPARE(std::memcmp(w->setConf->chanConfig[1].data, w->userChanReplyImage[1].data, 57), 0);
    // The remap window's buttons are channel 0's, whose record its writes change.
    QCOMPARE(int(w->remapWindow->masterButton), 200);
    exchange(0x14, QByteArray(1, 0));
    w->dealWithSerialData();
    disconnect(c);
    QCOMPARE(int(w->remapWindow->masterButton), 1);
    QCOMPARE(int(w->remapWindow->trimUpButton), 2);
    QCOMPARE(int(w->remapWindow->trimDownButton), 3);
}

void TestDispatch::resultReplies()
{
    deviceRxBuffer = streamForm(0x16, QByteArray(1, 1)) + streamForm(0x13, QByteArray(1, 0))
                     + streamForm(0x17, QByteArray(1, 0));
    for (int i = 0; i < 3; ++i)
        w->dealWithSerialData();
    QCOMPARE(closer->boxes, (QStringList{QStringLiteral("Success/Profile Saved"),
                                         QStringLiteral("Fail/Profile Save Failed"),
                                         QStringLiteral("Fail/Factory Reset Failed")}));
    QCOMPARE(int(w->resultSaveImage[5]), 1);
    QCOMPARE(int(w->resultChanWriteImage[3]), 0x13);

    closer->boxes.clear();
    w->firmwareState = 2;
    deviceRxBuffer = streamForm(0x18, QByteArray(1, 3)) + streamForm(0x18, QByteArray(1, 0));
    w->dealWithSerialData();
    QVERIFY(closer->boxes.isEmpty());
    QCOMPARE(int(w->resultBootImage[5]), 3);
    QCOMPARE(w->firmwareState, 2);
    w->dealWithSerialData();
    // The port then closes; offline, its release steps show boxes of their own.
    QCOMPARE(closer->boxes.filter(QStringLiteral("ERROR/")), QStringList{QStringLiteral("ERROR/UPgrade Failed")});
    QCOMPARE(w->firmwareState, 0);
    w->stopTxTimer();
    w->stopInfoTimer();
}

void TestDispatch::linkLostOnTwentyFirstError()
{
    emu().behaviour().failReadCount = 20;
    for (int i = 0; i < 20; ++i)
        w->ReciveData(0);
    QCOMPARE(w->linkMode, 1);
    QCOMPARE(w->errorCount, 20);
    QVERIFY(closer->boxes.isEmpty());

    w->startTxTimer();
    emu().behaviour().failReadCount = 1;
    w->ReciveData(0);
    QCOMPARE(w->linkMode, 0);
    QCOMPARE(w->errorCount, 0);
    QVERIFY(!w->txTimer.isActive());
    QCOMPARE(closer->boxes, QStringList{QStringLiteral("WARNING/Connection Lost")});
}

void TestDispatch::ackOnTwentiethPollComesTooLate()
{
    // The reply is held back until the 21st read: the one after the send,
    // then twenty polls.
    emu().behaviour().replyDelayReads = 20;
    header(0x30, 1);
    uint8_t ch = 1;
    w->jiaoyan(&ch);
    QCOMPARE(frameAcked, 0);
    QVERIFY(!deviceRxBuffer.isEmpty());
    w->liveData[1][0] = 123.0f;
    w->dealWithSerialData();
    QVERIFY(w->liveData[1][0] != 123.0f);   // still dispatched

    emu().behaviour().replyDelayReads = 19;
    w->txFrame[3] = 0x30;
    w->txFrame[4] = 1;
    w->jiaoyan(&ch);
    QCOMPARE(frameAcked, 1);
}

void TestDispatch::badCrcReportAcknowledgesButIsNotQueued()
{
    emu().behaviour().corruptCrcCount = 1;
    header(0x16, 0);
    w->jiaoyan(nullptr);
    QCOMPARE(frameAcked, 1);
    QVERIFY(deviceRxBuffer.isEmpty());
}

void TestDispatch::sequenceZeroNeedsAReport()
{
    emu().behaviour().silent = true;
    frameSequenceCounter = 0;
    header(0x30, 1);
    uint8_t ch = 0;
    w->jiaoyan(&ch);
    QCOMPARE(int(w->txFrame[1]), 0);
    QCOMPARE(frameAcked, 0);
}

void TestDispatch::ackMatchesOwnFrameDespiteNestedSender()
{
    // While the acknowledged send waits, another sender (a poll tick) builds
    // its own frame; the reply to the acknowledged frame must still count.
    emu().behaviour().replyDelayReads = 2;
    QTimer::singleShot(0, w, [this] {
        header(0x43, 1);
        const uint8_t c = 0;
        w->buildUsbFrame(&c);
    });
    header(0x14, 1);
    uint8_t ch = 0;
    w->jiaoyan(&ch);
    QCOMPARE(emu().framesWritten(0x43), 1);
    QCOMPARE(frameAcked, 1);
    // The nested sender's reply was not taken for ours: it is still waiting.
    QCOMPARE(emu().pendingReplies(), 1);
}

void TestDispatch::resendsUntilAcknowledged()
{
    emu().behaviour().silent = true;
    header(0x40, 21);
    uint8_t curve[21] = {};
    // A nested sender changes the header during the first attempt; the
    // retries still go out as 0x40.
    QTimer::singleShot(0, w, [this] { w->txFrame[3] = 0x30; w->txFrame[4] = 1; });
    w->jiaoyanchongfa(curve);
    QCOMPARE(frameAcked, 0);
    QCOMPARE(emu().framesWritten(0x40), 4);
    QCOMPARE(emu().framesWritten(0x30), 0);

    emu().clearCounters();
    emu().behaviour().silent = false;
    emu().behaviour().replyDelayReads = 25;   // the first attempt misses its reply
    QTimer::singleShot(0, w, [] { emu().behaviour().replyDelayReads = 0; });
    w->jiaoyanchongfa(curve);
    QCOMPARE(frameAcked, 1);
    QCOMPARE(emu().framesWritten(0x40), 2);
}

void TestDispatch::debugPaneHistoryIsBounded()
{
    deviceRxBuffer = QByteArray("\xAE\x01\x07", 3);   // a partial frame: shown on every tick
    for (int i = 0; i < 2000; ++i)
        w->dealWithSerialData();
    // The pane is hidden; what it shows once shown.
    w->form()->textEdit_Debug->show();
    QVERIFY(w->form()->textEdit_Debug->document()->blockCount() <= 500);
    QCOMPARE(w->form()->textEdit_Debug->document()->lastBlock().text(), QStringLiteral("ae0107"));
    w->form()->textEdit_Debug->hide();
}

void TestDispatch::serialHelpers()
{
    // The Modbus CRC of 01 02 is 0xE181, appended low byte first.
    QByteArray a("\x01\x02", 2);
    const QByteArray two = w->appendCrc16(a);
    QCOMPARE(a, QByteArray("\x01\x02\x81\xE1", 4));
    QCOMPARE(two, QByteArray("\x81\xE1", 2));
    QCOMPARE(w->hexStringToBytes(QStringLiteral("ae10ff")), QByteArray("\xAE\x10\xFF", 3));
    QString bad;
    QCOMPARE(BaseSerialComm::hexToBytes(QStringLiteral(" ae  10 zz 01"), &bad), QByteArray("\xAE\x10", 2));
    QCOMPARE(bad, QStringLiteral("zz"));
    const SerialChoices stopBits = BaseSerialComm::stopBitsChoices();
    QCOMPARE(stopBits.current, QStringLiteral("1"));
    QVERIFY(std::any_of(stopBits.items.begin(), stopBits.items.end(),
                        [](const SerialChoices::Item &i) { return i.text == "1.5" && i.value == 3; }));
    QCOMPARE(clscurve::floatToBytesBE(1.0f), QByteArray("\x3F\x80\x00\x00", 4));
    const uint8_t le[4] = {0x00, 0x00, 0x80, 0x3F};
    QCOMPARE(clscurve::bytesToFloatLE(le), 1.0f);
    // Bytes from the serial path land in the receive buffer.
    w->readSerialData(QByteArray("xy"));
    QCOMPARE(deviceRxBuffer, QByteArray("xy"));
    // The port list: either ports are listed or the user is told there are none.
    w->on_pushButton_searchPort_clicked();
    QVERIFY(w->form()->comboBox_port->count() > 0
            || closer->boxes == QStringList{QStringLiteral("No Serial Device/No serial devices found.")});
}

QTEST_MAIN(TestDispatch)
#include "tst_dispatch.moc"
