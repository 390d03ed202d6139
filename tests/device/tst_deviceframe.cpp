// Frames, sequence numbers, stream form, the CRC catalogue and the record images.
#include <QtTest>

#include "crc.h"
#include "device_records.h"
#include "deviceframe.h"

class TestDeviceFrame : public QObject
{
    Q_OBJECT
private slots:
    void sequenceWrapsAfter254();
    void payloadZeroFillAndCrcPlacement();
    void streamForm_data();
    void streamForm();
    void streamFormRefusesOverlongLength();
    void modbusCheckValueAndEmptyInput();
    void catalogueCheckValues_data();
    void catalogueCheckValues();
    void serialLayerChecksums();
    void systemRecordFields();
    void channelRecordFieldsAndCopy();
    void versionAndBuildWordTexts();
};

void TestDeviceFrame::sequenceWrapsAfter254()
{
    frameSequenceCounter = 0;
    QVector<int> seen;
    for (int i = 0; i < 257; ++i)
        seen << takeFrameSequence();
    QCOMPARE(seen[0], 0);
    QCOMPARE(seen[254], 254);   // 255th frame
    QCOMPARE(seen[255], 0);     // 256th
    QCOMPARE(seen[256], 1);     // 257th
    QVERIFY(!seen.contains(255));
}

void TestDeviceFrame::payloadZeroFillAndCrcPlacement()
{
    uint8_t f[64];
    std::memset(f, 0xCC, sizeof f);   // stale bytes from an earlier frame
    f[0] = 0xAE; f[1] = 3; f[2] = 7; f[3] = 0x30; f[4] = 1;
    const uint8_t payload[1] = {1};
    placeFramePayload(f, payload);
    sealFrame(f);
    QCOMPARE(int(f[5]), 1);
    for (int i = 6; i < 62; ++i)
        QCOMPARE(int(f[i]), 0);
    const uint16_t crc = crc16Modbus(f, 62);
    QCOMPARE(int(f[62]), crc & 0xFF);
    QCOMPARE(int(f[63]), crc >> 8);
    QVERIFY(frameCrcOk(f));
    f[40] ^= 1;   // the zero fill is covered by the CRC
    QVERIFY(!frameCrcOk(f));

    // A full payload leaves no zero fill.
    uint8_t full[57];
    for (int i = 0; i < 57; ++i)
        full[i] = uint8_t(i + 1);
    f[4] = 57;
    placeFramePayload(f, full);
    QCOMPARE(int(f[61]), 57);
    // An overlong length never writes past the payload area.
    f[4] = 200;
    f[62] = 0x11; f[63] = 0x22;
    placeFramePayload(f, full);
    QCOMPARE(int(f[62]), 0x11);
    QCOMPARE(int(f[63]), 0x22);
}

void TestDeviceFrame::streamForm_data()
{
    QTest::addColumn<int>("n");
    QTest::newRow("empty") << 0;
    QTest::newRow("twenty") << 20;
    QTest::newRow("full") << 57;
}

void TestDeviceFrame::streamForm()
{
    QFETCH(int, n);
    uint8_t f[64] = {0xAE, 9, 7, 0x10, uint8_t(n)};
    for (int i = 0; i < n; ++i)
        f[5 + i] = uint8_t(0xA0 + i);
    sealFrame(f);
    const QByteArray s = frameStreamForm(f);
    QCOMPARE(s.size(), n + 7);
    QCOMPARE(s.left(n + 5), QByteArray(reinterpret_cast<const char *>(f), n + 5));
    const uint16_t crc = crc16Modbus(f, size_t(n + 5));
    QCOMPARE(uint8_t(s[n + 5]), uint8_t(crc & 0xFF));
    QCOMPARE(uint8_t(s[n + 6]), uint8_t(crc >> 8));
    if (n < 57) {
        // Not the frame's own CRC over 62 bytes.
        QVERIFY(uint8_t(s[n + 5]) != f[62] || uint8_t(s[n + 6]) != f[63]);
    }
}

void TestDeviceFrame::streamFormRefusesOverlongLength()
{
    uint8_t f[64] = {0xAE, 1, 7, 0x30, 58};
    QVERIFY(frameStreamForm(f).isEmpty());
    f[4] = 255;
    QVERIFY(frameStreamForm(f).isEmpty());
}

void TestDeviceFrame::modbusCheckValueAndEmptyInput()
{
    const QByteArray digits("123456789");
    QCOMPARE(crc16Modbus(digits), uint16_t(0x4B37));
    QCOMPARE(crc16Modbus(nullptr, 0), uint16_t(0xFFFF));
    QCOMPARE(crcCompute(CrcAlgorithm::CRC16_ARC, nullptr, 0), 0u);
    QCOMPARE(crcCompute(CrcAlgorithm::CRC16_RIELLO, nullptr, 0), 0x554Du);   // its initial value 0xB2AA reflected
}

void TestDeviceFrame::catalogueCheckValues_data()
{
    QTest::addColumn<int>("algorithm");
    for (int i = 0; i < crcAlgorithmCount; ++i)
        QTest::newRow(crcSpec(CrcAlgorithm(i)).name) << i;
}

void TestDeviceFrame::catalogueCheckValues()
{
    QFETCH(int, algorithm);
    const CrcAlgorithm a = CrcAlgorithm(algorithm);
    const CrcSpec &s = crcSpec(a);
    const auto *digits = reinterpret_cast<const uint8_t *>("123456789");
    QCOMPARE(crcCompute(a, digits, 9), s.check);
    QCOMPARE(crcBitwise(a, digits, 9), s.check);

    // The three routines agree on other inputs too, the empty one among them
    // (whose value the known answers above pin down).
    QCOMPARE(crcCompute(a, nullptr, 0), crcBitwise(a, nullptr, 0));
    QByteArray junk;
    for (int i = 0; i < 300; ++i)
        junk.append(char((i * 37 + 11) & 0xFF));
    const auto *j = reinterpret_cast<const uint8_t *>(junk.constData());
    QCOMPARE(crcCompute(a, j, size_t(junk.size())), crcBitwise(a, j, size_t(junk.size())));
    uint32_t table[256];
    crcFillTable(a, table);
    QCOMPARE(table[0], 0u);
    QVERIFY(table[1] != 0);
}

void TestDeviceFrame::serialLayerChecksums()
{
    // Covered here since they sit on the same catalogue.
    const auto *d = reinterpret_cast<const uint8_t *>("123456789");
    QCOMPARE(crc16Kermit(d, 9), uint16_t(0x2189));
    QCOMPARE(crc16Usb(d, 9), uint16_t(0xB4C8));
    QCOMPARE(crc16Ibm3740(d, 9), uint16_t(0x29B1));
    QCOMPARE(crc32IsoHdlc(d, 9), 0xCBF43926u);
    QCOMPARE(crc8MaximDow(d, 9), uint8_t(0xA1));
}

void TestDeviceFrame::systemRecordFields()
{
    UART_get_sys_config_t g;
    for (int i = 0; i < 27; ++i)
        QCOMPARE(int(g.data[i]), 0);
    g.set_Hardware_version(0x00030201);
    g.set_Channels_number(2);
    QCOMPARE(int(g.data[5]), 1);
    QCOMPARE(int(g.data[8]), 0);
    QCOMPARE(int(g.data[17]), 2);
    g.data[25] = 0x34; g.data[26] = 0x12;
    QCOMPARE(g.crc(), uint16_t(0x1234));
    const UART_set_sys_config_t s = toSetImage(g);
    QCOMPARE(std::memcmp(s.data, g.data, 25), 0);
}

void TestDeviceFrame::channelRecordFieldsAndCopy()
{
    UART_get_chan_config_t g;
    g.set_channel(1);
    g.set_motor_model(4);
    g.set_force_limit(120.5f);
    g.set_HW_default_speed(40.0f);
    g.set_remapByte(2, 9);
    QCOMPARE(int(g.data[7]), 4);
    QCOMPARE(g.floatValue(1), 120.5f);
    QCOMPARE(int(g.data[56]), 9);
    // 40.0f little-endian IEEE-754 is 00 00 20 42.
    QCOMPARE(int(g.data[50]), 0x00);
    QCOMPARE(int(g.data[53]), 0x42);
    QCOMPARE(int(g.data[52]), 0x20);
    g.data[57] = 0xAA; g.data[58] = 0xBB;
    const UART_set_chan_config_t s = toSetImage(g);
    QCOMPARE(std::memcmp(s.data, g.data, 57), 0);
    QCOMPARE(s.HW_default_speed(), 40.0f);
    // Out-of-range accessors neither read nor write outside the image.
    g.set_floatValue(11, 1.0f);
    QCOMPARE(g.floatValue(11), 0.0f);
    QCOMPARE(int(g.data[57]), 0xAA);
}

void TestDeviceFrame::versionAndBuildWordTexts()
{
    QCOMPARE(versionWordToText(0x00030201), QStringLiteral("V 1.2.3"));
    QCOMPARE(versionWordToText(0xFF0A0B0C), QStringLiteral("V 12.11.10"));
    QCOMPARE(versionWordFromText(QStringLiteral("1.2.3")), 0x00030201u);
    // Typed as the settings page takes it: three parts or nothing, no range check.
    QCOMPARE(versionWordFromText(QStringLiteral("x.2.3")), 0x00030200u);
    QCOMPARE(versionWordFromText(QStringLiteral("1..2.8")), 0x00080201u);
    QCOMPARE(versionWordFromText(QStringLiteral("1.2")), 0u);
    QCOMPARE(versionWordFromText(QStringLiteral("1.2.3.4")), 0u);
    QCOMPARE(versionWordFromText(QStringLiteral("256.0.0")), 0x00000100u);
    QCOMPARE(dottedWordFromText(dottedWordToText(0x04030201)), 0x04030201u);
    QCOMPARE(dottedWordFromText(QStringLiteral("1.2.3")), 0u);

    BuildWord b;
    b.product = 1; b.year = 24; b.month = 3; b.day = 5; b.number = 7;
    const uint32_t w = packBuildWord(b);
    QCOMPARE(buildWordToText(w), QStringLiteral("01.240305.07"));
    QCOMPARE(buildWordFromText(QStringLiteral("01.240305.07")), w);
    // A short date part leaves the fields it lacks at 0 (and reads nothing past it).
    b.day = 0;
    QCOMPARE(buildWordFromText(QStringLiteral("1.2403.7")), packBuildWord(b));
    QCOMPARE(buildWordFromText(QStringLiteral("01.240305")), 0u);
    b.product = 1; b.year = 23; b.month = 5; b.day = 9; b.number = 12;
    QCOMPARE(buildWordToText(packBuildWord(b)), QStringLiteral("01.230509.12"));
    QCOMPARE(deviceKindFromBuildWord(packBuildWord(b)), 1);
    b.product = 2;
    QCOMPARE(deviceKindFromBuildWord(packBuildWord(b)), 1);
    b.product = 3;
    QCOMPARE(deviceKindFromBuildWord(packBuildWord(b)), 99);
}

QTEST_GUILESS_MAIN(TestDeviceFrame)
#include "tst_deviceframe.moc"
