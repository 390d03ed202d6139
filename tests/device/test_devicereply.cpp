// The reply path's pure steps: cutting and checking one stream form, decoding
// it, and which bytes of the receive buffer count as checked by the link.
#include <QtTest>
#include <cstring>

#include "devicereply.h"
#include "deviceframe.h"
#include "rxbuffer.h"

namespace {
QByteArray streamForm(uint8_t cmd, const QByteArray &payload)
{
    uint8_t f[64] = {0xAE, 3, 7, cmd, uint8_t(payload.size())};
    std::memcpy(f + 5, payload.constData(), size_t(payload.size()));
    return frameStreamForm(f);
}
}

class TestDeviceReply : public QObject
{
    Q_OBJECT
private slots:
    void cutWaitsForWholeFramesAndChecksThem();
    void decodeFillsOnlyWhatTheFrameCarried();
    void linkCheckedBytesLastUntilTheBufferIsTouched();
};

void TestDeviceReply::cutWaitsForWholeFramesAndChecksThem()
{
    const QByteArray a = streamForm(0x30, QByteArray(13, 1));
    QCOMPARE(cutStreamFrame(a.left(4)).status, StreamCut::Incomplete);
    QCOMPARE(cutStreamFrame(a.left(a.size() - 1)).status, StreamCut::Incomplete);

    const StreamCut good = cutStreamFrame(a + streamForm(0x43, QByteArray(5, 0)));
    QCOMPARE(good.status, StreamCut::Good);
    QCOMPARE(good.consumed, 20);
    QCOMPARE(good.frame, a);
    QCOMPARE(good.receivedCrc, uint16_t(uint8_t(a[18]) | uint8_t(a[19]) << 8));

    QByteArray bad = a;
    bad[7] = char(bad[7] ^ 0x10);
    const StreamCut b = cutStreamFrame(bad);
    QCOMPARE(b.status, StreamCut::BadCrc);
    QCOMPARE(b.consumed, 20);
    QCOMPARE(b.computedCrc, crc16Modbus(bad.left(18)));
    // Within the bytes the link has checked the CRC is not computed again;
    // a frame reaching past them is.
    QCOMPARE(cutStreamFrame(bad, 20).status, StreamCut::Good);
    QCOMPARE(cutStreamFrame(bad, 19).status, StreamCut::BadCrc);
}

void TestDeviceReply::decodeFillsOnlyWhatTheFrameCarried()
{
    // A whole channel record keeps its stream CRC as the record's CRC field.
    const QByteArray record = streamForm(0x14, QByteArray(52, 9));
    const DeviceReply full = decodeReply(record);
    QCOMPARE(full.imageSize, 59);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(full.image), 59), record);

    // A status reply of three payload bytes: its CRC is no axis state.
    const DeviceReply status = decodeReply(streamForm(0x43, QByteArray("\x01\x20\x00", 3)));
    QCOMPARE(status.imageSize, 10);
    QVERIFY(status.forChannel());
    QCOMPARE(int(status.p0), 1);
    QCOMPARE(int(status.image[6]), 0x20);
    QCOMPARE(int(status.image[8]), 0);
    QCOMPARE(int(status.image[9]), 0);

    QCOMPARE(decodeReply(streamForm(0x31, QByteArray(1, 0))).imageSize, 0);
}

void TestDeviceReply::linkCheckedBytesLastUntilTheBufferIsTouched()
{
    const QByteArray a = streamForm(0x30, QByteArray(13, 1));
    const QByteArray b = streamForm(0x43, QByteArray(5, 0));
    deviceRxBuffer.clear();
    appendLinkReply(a);
    appendLinkReply(b);
    QCOMPARE(linkCheckedFront(), a.size() + b.size());
    dropRxFront(a.size());
    QCOMPARE(deviceRxBuffer, b);
    QCOMPARE(linkCheckedFront(), b.size());

    // Bytes put in by any other path make the buffer unchecked again.
    deviceRxBuffer.append(char(0));
    QCOMPARE(linkCheckedFront(), 0);
    deviceRxBuffer = b;
    QCOMPARE(linkCheckedFront(), 0);
    // A link reply after unchecked bytes does not make them checked.
    appendLinkReply(a);
    QCOMPARE(linkCheckedFront(), 0);
    deviceRxBuffer.clear();
    appendLinkReply(a);
    QCOMPARE(linkCheckedFront(), a.size());
    deviceRxBuffer.clear();
}

QTEST_APPLESS_MAIN(TestDeviceReply)
#include "test_devicereply.moc"
