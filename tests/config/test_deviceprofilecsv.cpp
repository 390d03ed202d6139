// The CSV device profile: the file text of the three record images, what a
// read takes and what it refuses, and the write through a temporary file.
#include "deviceprofilecsv.h"

#include <QtTest>

namespace {

DeviceProfileCsv sample()
{
    DeviceProfileCsv p;
    const uint8_t sysHeader[5] = {0xAE, 9, 7, 0x10, 20};
    p.sys.assign(sysHeader, 5);
    p.sys.set_Hardware_version(0x00080201);
    for (int c = 0; c < 2; ++c) {
        const uint8_t header[5] = {0xAE, uint8_t(10 + c), 7, uint8_t(c == 0 ? 0x14 : 0x12), 52};
        p.chan[c].assign(header, 5);
        p.chan[c].set_force_limit(c == 0 ? 120.5f : 60.0f);
        p.chan[c].setU8(56, 255);
    }
    return p;
}

QList<QByteArray> lines(const DeviceProfileCsv &p)
{
    QList<QByteArray> l = p.toText().split('\n');
    l.removeLast();
    return l;
}

QByteArray joined(const QList<QByteArray> &l, const QByteArray &end = "\n")
{
    return l.join(end) + end;
}

bool sameImages(const DeviceProfileCsv &a, const DeviceProfileCsv &b)
{
    return a.toText() == b.toText();
}

} // namespace

class TestDeviceProfileCsv : public QObject
{
    Q_OBJECT
private slots:
    void textAndReadBack();
    void refusedTexts_data();
    void refusedTexts();
    void writeReplacesOnlyWhenComplete();
};

void TestDeviceProfileCsv::textAndReadBack()
{
    const DeviceProfileCsv original = sample();
    QList<QByteArray> l = lines(original);
    QCOMPARE(l.size(), 139);
    QCOMPARE(l.at(5), QByteArray("5,1"));          // low byte of the version first
    QCOMPARE(l.at(25 + 3), QByteArray("28,20"));   // channel 0's command byte
    QCOMPARE(l.at(138), QByteArray("138,255"));
    DeviceProfileCsv read;
    QVERIFY(read.fromText(original.toText()).ok());
    QVERIFY(sameImages(read, original));

    // CR LF lines; the index field is not read (line order gives the place);
    // values are decimal: hexadecimal reads as 0, 300 keeps its low 8 bits.
    l[0] = "5,17";
    l[6] = "6,0x10";
    l[7] = "7,300";
    l[8] = "8,,9";
    QVERIFY(read.fromText(joined(l, "\r\n")).ok());
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(read.sys.data), 9).toHex(), QByteArray("110907101401002c09"));
    QCOMPARE(read.chan[0].force_limit(), 120.5f);
    // Records from replies longer than the record's payload are records too.
    l[4] = "4,24";
    l[82 + 4] = "86,57";
    QVERIFY(read.fromText(joined(l)).ok());
}

void TestDeviceProfileCsv::refusedTexts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    const QList<QByteArray> l = lines(sample());
    QTest::newRow("140 lines") << joined(l) + "139,0\n" << "Line 140: a profile has only 139 lines";
    QTest::newRow("many lines") << joined(l) + QByteArray(5000, '\n').replace("\n", "1,2\n")
                                << "Line 140: a profile has only 139 lines";
    QTest::newRow("138 lines") << joined(l.mid(0, 138)) << "Line 139 is missing: a profile has 139 lines";
    QList<QByteArray> changed = l;
    changed.insert(40, QByteArray());
    QTest::newRow("empty line") << joined(changed.mid(0, 139)) << "Line 41 holds no value";
    changed = l;
    changed[100] = "100";
    QTest::newRow("no value") << joined(changed) << "Line 101 holds no value";
    changed = l;
    changed[3] = "3,17";
    QTest::newRow("system command") << joined(changed) << "Line 4: the profile holds no system record";
    changed = l;
    changed[82 + 4] = "86,20";
    QTest::newRow("channel length") << joined(changed) << "Line 87: the profile holds no channel 1 record";
    changed = l;
    changed[25 + 4] = "29,58";
    QTest::newRow("beyond a frame") << joined(changed) << "Line 30: the profile holds no channel 0 record";
    changed = l;
    changed[25 + 3] = "28,21";
    QTest::newRow("channel command") << joined(changed) << "Line 29: the profile holds no channel 0 record";
}

void TestDeviceProfileCsv::refusedTexts()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    DeviceProfileCsv p;
    p.sys.set_Device_version(0x55);
    const DeviceProfileCsv before = p;
    const DeviceProfileCsv::ReadResult r = p.fromText(text);
    QVERIFY(!r.ok());
    QCOMPARE(r.message(), message);
    QVERIFY(sameImages(p, before));   // nothing of a refused text is taken
}

void TestDeviceProfileCsv::writeReplacesOnlyWhenComplete()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.csv");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(4000, 'x')) == 4000);
    old.close();
    QVERIFY(sample().write(path).isEmpty());
    DeviceProfileCsv read;
    QVERIFY(read.read(path).ok());
    QVERIFY(sameImages(read, sample()));
    QCOMPARE(QFileInfo(path).size(), qint64(sample().toText().size()));

    QVERIFY(!sample().write(dir.filePath("missing/p.csv")).isEmpty());
    QCOMPARE(read.read(dir.filePath("none.csv")).refusal, DeviceProfileCsv::Refusal::OpenFailed);
#ifdef Q_OS_LINUX
    // A file without a size is read no further than a profile can go.
    QCOMPARE(read.read("/dev/zero").refusal, DeviceProfileCsv::Refusal::TooLarge);
#endif
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"p.csv"});   // no temporary left
}

QTEST_GUILESS_MAIN(TestDeviceProfileCsv)
#include "test_deviceprofilecsv.moc"
