// The firmware update through the real window and the emulated boot loader:
// the block arithmetic, boot-mode entry, the file choice, whole transfers and
// the loader's verdicts, the time-outs, and transfers cut short or refused.
#include "windowtest.h"

#include "firmwareupdate.h"
#include "setconf.h"

#include <QFile>
#include <QMessageBox>

namespace {
DeviceEmulator &emu() { return HidStandin::emulator(); }

QString writeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    return QFileInfo(f).absoluteFilePath();
}

QByteArray validImage(size_t bodyBytes, uint32_t seed = 1)
{
    const std::vector<uint8_t> v = DeviceEmulator::makeFirmwareImage(bodyBytes, seed);
    return QByteArray(reinterpret_cast<const char *>(v.data()), int(v.size()));
}

// The data blocks written so far, in order.
std::vector<DeviceEmulator::Frame> blocks()
{
    std::vector<DeviceEmulator::Frame> out;
    for (const auto &f : emu().writtenFrames())
        if (f[3] == 0x18 && f[4] == 57)
            out.push_back(f);
    return out;
}
}

class TestFirmwareWindow : public WindowTest
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(openWindow()); }
    void init() { startTest(); LogCapture::lines().clear(); }
    void cleanup() { closeIfOpen(); endTest(); }

    void blockArithmetic();
    void bootModeEntry();
    void updateSucceedsAndRepeats();
    void verdictsInvalidAndFailed();
    void startTimesOut();
    void transfersCutShortOrRefused();

private:
    // Chooses the file through the profile dialog's signal and the file dialog.
    void load(const QString &path)
    {
        closer->files << path;
        emit w->setConf->loadFirmware();
    }
    bool polling() const { return w->txTimer.isActive() && w->txInforTimer.isActive() && w->trimTimer.isActive(); }
};

void TestFirmwareWindow::blockArithmetic()
{
    using namespace Firmware;
    QCOMPARE(blockCount(0), 0);
    QCOMPARE(blockCount(110), 2);
    QCOMPARE(blockCount(111), 3);
    QVERIFY(imageFits(65536LL * 55) && !imageFits(65536LL * 55 + 1));
    QByteArray image(111, 'x');
    image[110] = 'z';
    uint8_t p[57];
    std::memset(p, 0xCC, sizeof p);
    fillBlock(p, image, 2);
    QCOMPARE(int(p[0]), 2);
    QCOMPARE(int(p[1]), 0);
    QCOMPARE(char(p[2]), 'z');
    QCOMPARE(QByteArray(reinterpret_cast<char *>(p + 3), 54), QByteArray(54, 0));
    fillBlock(p, QByteArray(70000 * 55, 'y'), 0x1234);
    QVERIFY(p[0] == 0x34 && p[1] == 0x12 && p[56] == 'y');
}

void TestFirmwareWindow::bootModeEntry()
{
    openOnline();
    ui->ReadyUpdata->click();   // the box is closed: No
    QCOMPARE(emu().framesWritten(0x18), 0);
    QVERIFY(w->isOnline());

    closer->answers.insert("Please Confirm|Please Confirm", QMessageBox::Yes);
    ui->ReadyUpdata->click();
    QCOMPARE(emu().framesWritten(0x18), 1);
    QVERIFY(emu().bootMode());
    QCOMPARE(closer->count("Success|Please restart the device!"), 1);
    QCOMPARE(LogCapture::countContaining("Ready TO Update"), 1);
    QCOMPARE(w->portOpenFlag, 0);
    QVERIFY(!w->txTimer.isActive() && !ui->ReadyUpdata->isEnabled());

    // Reopened, the device reports its boot loader; leaving it is one frame.
    openOnline();
    QTRY_VERIFY(ui->ExitBoot->isEnabled());
    ui->ExitBoot->click();
    QCOMPARE(emu().framesWritten(0x19), 1);
    QVERIFY(!emu().bootMode() && !ui->ExitBoot->isEnabled());
}

void TestFirmwareWindow::updateSucceedsAndRepeats()
{
    const QByteArray image = validImage(99);   // 111 bytes: three blocks
    openOnline();
    load(writeFile("fw111.bin", image));
    QCOMPARE(closer->count("File Loaded Successfully|File Name: fw111.bin   File Size: 0.11KB"), 1);
    QVERIFY(ui->pushButton_startUpdate->isEnabled() && !ui->pushButton_loadFireware->isEnabled());
    for (int run = 1; run <= 2; ++run) {
        emu().clearCounters();
        w->on_pushButton_startUpdate_clicked();
        QVERIFY(!polling());
        QTRY_COMPARE_WITH_TIMEOUT(closer->count("Success|Upgrade Successful"), run, 3000);
        const auto sent = blocks();
        QCOMPARE(int(sent.size()), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY(sent[i][5] == i && sent[i][6] == 0);
        QCOMPARE(int(sent[2][7]), int(uint8_t(image[110])));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&sent[2][8]), 54), QByteArray(54, 0));
        const std::vector<uint8_t> got = emu().firmwareReceived();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.data()), 111), image);
        QCOMPARE(w->firmwareState, 0);
        QVERIFY(polling() && !w->firmwareTimer.isActive() && ui->updatabar->isHidden());
    }
    QCOMPARE(LogCapture::countContaining("Update-Device Update Success"), 2);
}

void TestFirmwareWindow::verdictsInvalidAndFailed()
{
    QByteArray spoilt = validImage(500);
    spoilt[300] = char(spoilt[300] ^ 1);
    openOnline();
    load(writeFile("spoilt.bin", spoilt));
    w->on_pushButton_startUpdate_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(closer->count("ERROR|Invalid Firmware"), 1, 3000);
    QCOMPARE(LogCapture::countContaining("Update\u2014\u2014File is invalid"), 1);
    QVERIFY(polling() && w->firmwareState == 0);

    // A loader that fails at the start: the reply closes the port.
    emu().behaviour().bootEntryFails = true;
    w->on_pushButton_startUpdate_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(closer->count("ERROR|UPgrade Failed"), 1, 3000);
    QTRY_COMPARE(w->portOpenFlag, 0);
    QVERIFY(w->firmwareState == 0 && !w->firmwareTimer.isActive() && blocks().size() == 10);
}

void TestFirmwareWindow::startTimesOut()
{
    emu().behaviour().bootLoaderSilent = true;
    openOnline();
    QElapsedTimer t;
    w->on_pushButton_startUpdate_clicked();
    t.start();
    // The count as 29 s of ticks would leave it: eleven more ticks to go.
    w->firmwareBlockCount = 290;
    QTRY_COMPARE_WITH_TIMEOUT(closer->count("ERROR|Response Timeout"), 1, 3000);
    QVERIFY2(t.elapsed() > 900 && t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(LogCapture::countContaining("Update\u2014Device Not Answer"), 1);
    QVERIFY(polling());

    // The port closed while the box is open: nothing is started behind it.
    closer->holdMs.insert("ERROR|Response Timeout", 200);
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        if (w->portOpenFlag == 1 && closer->count("ERROR|Response Timeout") == 2)
            w->on_pushButton_closePort_clicked();
    });
    watch.start(5);
    w->on_pushButton_startUpdate_clicked();
    w->firmwareBlockCount = 299;
    QTRY_COMPARE(w->portOpenFlag, 0);
    QTest::qWait(300);
    QVERIFY(!w->txTimer.isActive() && !w->trimTimer.isActive());
}

void TestFirmwareWindow::transfersCutShortOrRefused()
{
    const QByteArray first = validImage(11000);   // 201 blocks, about a second
    const QString second = writeFile("second.bin", validImage(10, 2));
    openOnline();

    // Another file chosen during the transfer: the transfer goes on with its
    // own image; the new file is the one kept.
    load(writeFile("first.bin", first));
    QTimer::singleShot(300, this, [&] { load(second); });
    w->on_pushButton_startUpdate_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(closer->count("Success|Upgrade Successful"), 1, 6000);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(emu().firmwareReceived().data()), first.size()), first);
    QCOMPARE(w->firmwareFile->fileName(), second);

    // Close Port in the middle stops the blocks.
    load(writeFile("first.bin", first));
    emu().clearCounters();
    QTimer::singleShot(400, this, [&] { w->on_pushButton_closePort_clicked(); });
    w->on_pushButton_startUpdate_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(w->portOpenFlag, 0, 3000);
    const size_t stopped = blocks().size();
    QTest::qWait(300);
    QVERIFY(stopped > 0 && stopped < 201 && blocks().size() == stopped);
    QVERIFY(w->firmwareState == 0 && !w->firmwareTimer.isActive());

    // An empty image sends no block; no file at all fails; one past the
    // index range is refused before anything is sent.
    openOnline();
    emu().clearCounters();
    load(writeFile("empty.bin", QByteArray()));
    QCOMPARE(closer->count("File Loaded Successfully|File Name: empty.bin   File Size: 0.00KB"), 1);
    w->on_pushButton_startUpdate_clicked();
    QTRY_COMPARE(w->firmwareState, 4);
    QVERIFY(blocks().empty());
    delete w->firmwareFile;
    w->firmwareFile = nullptr;
    w->on_pushButton_startUpdate_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(closer->count("ERROR|Upgrade Failed"), 1, 3000);
    QFile big("big.bin");
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(Firmware::MaxImageBytes + 1));
    big.close();
    load(QFileInfo(big).absoluteFilePath());
    emu().clearCounters();
    w->on_pushButton_startUpdate_clicked();
    QCOMPARE(emu().framesWritten(0x18), 0);
    QVERIFY(closer->boxes.last().startsWith("ERROR|Firmware file too large"));
    QVERIFY(w->firmwareState == 0 && !w->firmwareTimer.isActive());
}

QTEST_MAIN(TestFirmwareWindow)
#include "test_firmware_window.moc"
