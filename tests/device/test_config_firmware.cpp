// Configuration commands and the firmware update through the real window and
// the emulated device: saved writes across a power cycle, the factory reset's
// confirmation, the parameter-table edit, the remap, offline refusals, and
// whole transfers with the boot loader's verdicts, time-outs and cut-offs.
#include "windowtest.h"

#include <utility>

#include "configcommands.h"
#include "firmwareupdate.h"
#include "remap.h"
#include "setconf.h"
#include "ui_setconf.h"

#include <QMessageBox>
#include <functional>

namespace {
DeviceEmulator &emu() { return HidStandin::emulator(); }
// A byte or float of a user record as the device holds it, by image offset.
int userByte(int ch, int offset) { return emu().userChanRecord(ch)[size_t(offset - 5)]; }
float userF32(int ch, int offset)
{
    float f;
    std::memcpy(&f, emu().userChanRecord(ch).data() + offset - 5, 4);
    return f;
}
QByteArray bytesOf(const std::vector<uint8_t> &v) { return QByteArray(reinterpret_cast<const char *>(v.data()), int(v.size())); }
QByteArray image(size_t body, uint32_t seed = 1) { return bytesOf(DeviceEmulator::makeFirmwareImage(body, seed)); }
QString writeFile(const QString &name, const QByteArray &content)
{
    QFile f(name);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content);
    return QFileInfo(f).absoluteFilePath();
}
// A firmware file whose reads stop after `failAt` bytes, as on a stick pulled
// or a share dropped mid-read: the next read fails, or (`endsThere`) the file
// seems to end there, with no error kept either way.
class FailingFile : public QFile
{
public:
    FailingFile(const QString &path, qint64 failAt, bool endsThere, QObject *parent)
        : QFile(path, parent), m_failAt(failAt), m_endsThere(endsThere) {}
    bool seek(qint64 pos) override
    {
        m_at = pos;
        return QFile::seek(pos);
    }

protected:
    qint64 readData(char *data, qint64 len) override
    {
        if (m_at >= m_failAt)
            return m_endsThere ? 0 : -1;
        const qint64 n = QFile::readData(data, qMin(len, m_failAt - m_at));
        if (n > 0)
            m_at += n;
        return n;
    }

private:
    qint64 m_failAt, m_at = 0;
    bool m_endsThere;
};

// The firmware blocks written since the counters were cleared.
std::vector<DeviceEmulator::Frame> blocks()
{
    std::vector<DeviceEmulator::Frame> out;
    for (const auto &f : emu().writtenFrames())
        if (f[3] == 0x18 && f[4] == 57)
            out.push_back(f);
    return out;
}
}

class TestConfigFirmware : public WindowTest
{
    Q_OBJECT
    // Chooses the file through the profile dialog's signal and the file dialog.
    void load(const QString &path)
    {
        closer->files << path;
        emit w->setConf->loadFirmware();
    }
    bool polling() const { return w->txTimer.isActive() && w->txInforTimer.isActive() && w->trimTimer.isActive(); }
    // Set back after an update, as a refused Start leaves it: another file can be chosen.
    bool readyForAnotherFile() const
    {
        const auto *d = w->setConf->form();
        return polling() && ui->pushButton_loadFireware->isEnabled() && !ui->pushButton_startUpdate->isEnabled()
               && d->loadfirm->isEnabled() && !d->start->isEnabled();
    }
    // Runs act once, as soon as the transfer is under way (a block has arrived).
    void onceSending(QTimer &watch, const std::function<void()> &act)
    {
        connect(&watch, &QTimer::timeout, this, [this, &watch, act] {
            if (w->firmwareState != Firmware::Sending || emu().firmwareBlocks() == 0)
                return;
            watch.stop();
            act();
        });
        watch.start(1);
    }

private slots:
    void initTestCase() { QVERIFY(openWindow()); }
    void init() { startTest(); LogCapture::lines().clear(); }
    void cleanup() { closeIfOpen(); endTest(); }

    void savedWritesSurviveRestartAndFactoryReset()
    {
        openOnline();
        UART_set_chan_config_t rec = w->chanSetImage[1];
        rec.set_damping_variable(1.25f);
        w->doConfigWrite_uart_user_chan(1, &rec);
        ui->pushButton_saveConfigure->click();
        rec.set_damping_variable(9.0f);   // written, not saved
        w->doConfigWrite_uart_user_chan(1, &rec);
        QCOMPARE(userF32(1, 42), 9.0f);
        emu().restart();
        ui->pushButton_loadConfigure->click();
        QTRY_COMPARE(w->userChanReplyImage[1].damping_variable(), 1.25f);
        QCOMPARE(closer->count("Success|Profile Saved"), 1);
        // The settings page's channel write takes the channel from its argument.
        UART_set_chan_config_t chan = w->chanSetImage[0];
        chan.set_force_limit(77.0f);
        w->doConfigWrite_uart_chan(1, &chan);
        w->doConfigureUpdate(1);
        QTRY_COMPARE(w->chanReplyImage[1].force_limit(), 77.0f);
        // (the profile dialog's change of both channels: the windows' test)

        // The factory reset asks first: No sends nothing, Yes restores and closes.
        ui->pushButton_FactoryReset->click();
        QCOMPARE(closer->boxes.last(), QStringLiteral("Please Confirm|Confirm Factory Restore?"));
        QCOMPARE(emu().framesWritten(0x17), 0);
        closer->answers.insert("Please Confirm|Confirm Factory Restore?", QMessageBox::Yes);
        ui->pushButton_FactoryReset->click();
        QTRY_COMPARE(closer->count("Success|Factory Reset Successful"), 1);
        QVERIFY(w->portOpenFlag == 0 && userF32(1, 42) == 0.5f);
        QCOMPARE(LogCapture::countContaining("FactoryReset"), 1);
        // The settings page's erase goes out before the device has answered.
        emu().behaviour().channelCountOverride = 3;
        ui->pushButton_openPort->click();
        const int resets = emu().framesWritten(0x17);
        w->doConfigureUpdate(3);
        QCOMPARE(emu().framesWritten(0x17), resets + 1);
    }

    void parameterTableEdits()
    {
        openOnline();
        const auto edit = [&](int group, int row, const QString &text) {
            w->treeParentRow = group;
            w->treeRow = row;
            ui->lineEdit_send_value->setText(text);
            ui->pushButton_send_value->click();
        };
        // Records never read (their replies lost): no zero record from the
        // table nor from the remap, and nothing else sent for them either.
        w->chanSetImage[0] = w->chanSetImage[1] = UART_set_chan_config_t();
        emu().clearCounters();
        edit(1, 4, "10");
        QVERIFY(ui->statusbar->currentMessage() == "No channel 0 record read yet: nothing sent"
                && ui->statusbar->styleSheet() == "color:red");
        w->sendKeyRemap(0x0708);
        w->sendRemap(9);
        const QString notRead = QStringLiteral("WARNING|No channel 0 record read yet: nothing sent");
        QCOMPARE(closer->boxes, QStringList({notRead, notRead}));
        QVERIFY(emu().framesWritten(0x15) + emu().framesWritten(0x16) + emu().framesWritten(0x14) == 0);
        closer->boxes.clear();
        ui->pushButton_loadConfigure->click();
        // Text that gives no finite f32 is unreadable: 0, never inf or nan.
        for (const char *bad : {"1e39", "nan"}) {
            edit(1, 5, "7");
            edit(1, 5, bad);
            QCOMPARE(userF32(0, 14), 0.0f);
        }
        QVERIFY(typedFloat("-inf") == 0 && typedFloat("-1e39") == 0 && typedFloat(" 2.5 ") == 2.5f);

        // The row sent to is the one shown, however the current row moved:
        // clicked on velocity (row 4), moved down to force (row 5) by key.
        QTreeView *view = ui->view;
        const QModelIndex velocity = view->model()->index(4, 0, view->model()->index(1, 0));
        view->scrollTo(velocity);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(velocity).center());
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(ui->statusbar->currentMessage(), QStringLiteral("Position: (5,0)"));
        const float velocityBefore = userF32(0, 10);
        ui->lineEdit_send_value->setText("33");
        ui->pushButton_send_value->click();
        QVERIFY(userF32(0, 14) == 33.0f && userF32(0, 10) == velocityBefore);
        edit(1, 2, "12.5");
        QCOMPARE(userByte(0, 8), 0);
        edit(1, 2, "300");
        QCOMPARE(userByte(0, 8), 44);
        edit(1, 14, "55.5");
        QVERIFY(userF32(0, 50) == 55.5f && w->defaultSpeed[0] == 55.5f && userByte(0, 8) == 44);
        w->send0x31(0.0f, 1, 0, 0.0f, 0);   // the pitch default speed, whatever the channel
        float sent;
        std::memcpy(&sent, emu().writtenFrames().back().data() + 21, 4);
        QCOMPARE(sent, 55.5f);
        // A row of the system group writes no channel record, and still re-reads.
        const auto before = emu().userChanRecord(0);
        const int writes = emu().framesWritten(0x15), reads = emu().framesWritten(0x14);
        edit(0, 0, "9");
        QCOMPARE(emu().framesWritten(0x15), writes);
        QVERIFY(emu().framesWritten(0x14) > reads && emu().userChanRecord(0) == before && closer->boxes.isEmpty());
    }

    void remapConflictsRefused()
    {
        openOnline();   // the device's buttons: master 1, trim up 2, trim down 3
        w->keyRemap();
        QVERIFY(w->remapWindow->isVisible() && w->remapWindow->parentWidget() == w);
        using Conflicts = QList<QPair<std::function<void()>, QString>>;
        const auto refused = [&](const Conflicts &conflicts) {
            for (const auto &c : conflicts) {
                closer->boxes.clear();
                c.first();
                QCOMPARE(closer->boxes, QStringList{"WARNING|" + c.second});
            }
        };
        refused({
            {[&] { w->sendKeyRemap(0x0707); }, "Remap button assignment"},
            {[&] { w->sendKeyRemap(0x0104); }, "Trim Up conflict with button assignment"},
            {[&] { w->sendKeyRemap(0x0401); }, "Trim Down conflict with button assignment"},
            {[&] { w->sendRemap(2); }, "Button assigned conflicts with trim up"},
            {[&] { w->sendRemap(3); }, "Button assigned conflicts with trim down"},
        });
        // Unassigned buttons (255, put back by every re-read) act as the
        // defaults the window shows: master 1, trim up 3, trim down 4.
        UART_set_chan_config_t unassigned = w->chanSetImage[0];
        for (int i = 0; i < 3; ++i)
            unassigned.set_remapByte(i, 255);
        w->doConfigWrite_uart_user_chan(0, &unassigned);
        ui->pushButton_loadConfigure->click();
        QTRY_COMPARE(w->remapWindow->masterButton, 255u);
        const int writes = emu().framesWritten(0x15);
        refused({
            {[&] { w->sendKeyRemap(0x0107); }, "Trim Up conflict with button assignment"},
            {[&] { w->sendRemap(3); }, "Button assigned conflicts with trim up"},
            {[&] { w->sendRemap(4); }, "Button assigned conflicts with trim down"},
        });
        // A valid assignment through the remap window: the windows' test.
        QCOMPARE(emu().framesWritten(0x15), writes);
        w->remapWindow->hide();
    }

    void offlinePressesOneBoxNothingSent()
    {
        UART_set_sys_config_t sys;
        UART_set_chan_config_t chan;
        const QList<std::function<void()>> presses = {
            [&] { ui->pushButton_saveConfigure->click(); }, [&] { ui->pushButton_FactoryReset->click(); },
            [&] { ui->pushButton_loadConfigure->click(); }, [&] { w->doConfigWrite_uart_u32(&sys); },
            [&] { w->doConfigWrite_uart_chan(0, &chan); }, [&] { w->doConfigWrite_uart_user_chan(0, &chan); },
            [&] { w->confGet(); }, [&] { w->confChange(1); }, [&] { w->keyRemap(); },
            [&] { w->sendKeyRemap(0x0708); }, [&] { w->sendRemap(9); }, [&] { w->doConfigureUpdate(1); },
            [&] { w->ExitMode(); }, [&] { w->on_pushButton_startUpdate_clicked(); },
        };
        // Closed, then opened on no device (the port flag set, no handle).
        for (bool openFailed : {false, true}) {
            emu().behaviour().present = !openFailed;
            if (openFailed)
                ui->pushButton_openPort->click();
            for (int i = 0; i < presses.size(); ++i) {
                closer->boxes.clear();
                presses[i]();
                QVERIFY2(closer->boxes == QStringList{"WARNING|Device Offline"}, qPrintable(QString::number(i)));
            }
            QVERIFY(emu().framesWrittenTotal() == 0 && !w->txTimer.isActive());
        }
    }

    void bootModeEntryAndExit()
    {
        openOnline();
        ui->ReadyUpdata->click();   // the box is closed: No
        QVERIFY(emu().framesWritten(0x18) == 0 && w->isOnline());
        closer->answers.insert("Please Confirm|Please Confirm", QMessageBox::Yes);
        ui->ReadyUpdata->click();
        QVERIFY(emu().framesWritten(0x18) == 1 && emu().bootMode() && w->portOpenFlag == 0);
        QCOMPARE(closer->count("Success|Please restart the device!"), 1);
        QCOMPARE(LogCapture::countContaining("Ready TO Update"), 1);
        // Reopened, the device reports its boot loader; leaving it is one frame.
        openOnline();
        QTRY_VERIFY(ui->ExitBoot->isEnabled());
        ui->ExitBoot->click();
        QVERIFY(emu().framesWritten(0x19) == 1 && !emu().bootMode() && !ui->ExitBoot->isEnabled());
    }

    void updateVerdicts()
    {
        QVERIFY(Firmware::blockCount(110) == 2 && Firmware::imageFits(65536LL * 55));
        const QByteArray fw = image(99);   // 111 bytes: three blocks, the last one byte and 54 zeros
        openOnline();
        load(writeFile("fw111.bin", fw));
        QCOMPARE(closer->count("File Loaded Successfully|File Name: fw111.bin   File Size: 0.11KB"), 1);
        // A second Start after a finished update sends the file again from its start.
        for (int run = 1; run <= 2; ++run) {
            emu().clearCounters();
            w->on_pushButton_startUpdate_clicked();
            QVERIFY(!polling());
            QTRY_COMPARE_WITH_TIMEOUT(closer->count("Success|Upgrade Successful"), run, 3000);
            const auto sent = blocks();
            QVERIFY(sent.size() == 3 && sent[0][5] == 0 && sent[1][5] == 1 && sent[2][5] == 2 && sent[2][6] == 0);
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(&sent[2][8]), 54), QByteArray(54, 0));
            QCOMPARE(bytesOf(emu().firmwareReceived()).left(111), fw);
            QVERIFY(w->firmwareState == 0 && polling() && ui->updatabar->isHidden());
        }
        QCOMPARE(LogCapture::countContaining("Update-Device Update Success"), 2);

        QByteArray spoilt = fw;
        spoilt[100] = char(spoilt[100] ^ 1);
        load(writeFile("spoilt.bin", spoilt));
        w->on_pushButton_startUpdate_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(closer->count("ERROR|Invalid Firmware"), 1, 3000);
        QCOMPARE(LogCapture::countContaining("Update\u2014\u2014File is invalid"), 1);

        emu().behaviour().bootEntryFails = true;   // the loader answers the start with 0
        w->on_pushButton_startUpdate_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(closer->count("ERROR|UPgrade Failed"), 1, 3000);
        QTRY_COMPARE(w->portOpenFlag, 0);
        QVERIFY(w->firmwareState == 0 && !w->firmwareTimer.isActive());
    }

    void imageSentOnlyWhenReadWhole()
    {
        // Read straight: the largest image is read whole and fits; one byte
        // more is read no further than that byte.
        for (qint64 size : {Firmware::MaxImageBytes, Firmware::MaxImageBytes + 1}) {
            QFile f(writeFile("limit.bin", QByteArray(int(size), 'k')));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const Firmware::ImageRead r = Firmware::readImage(f);
            QVERIFY(r.whole && r.bytes.size() == size && Firmware::imageFits(r.bytes.size()) == (size == Firmware::MaxImageBytes));
        }
#ifndef _WIN32
        {
            // A pipe has no size to compare and cannot be rewound (the
            // transfer's rewind fails and leaves an error): what it offers is whole.
            CountingPipe pipe("small.pipe", 5000);
            QFile f(pipe.path());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(!f.seek(0));
            const Firmware::ImageRead r = Firmware::readImage(f);
            QVERIFY(r.whole && r.bytes.size() == 5000);
        }
#endif

        // A 5000-byte image whose reads stop after 1000 bytes (the next read
        // failing, or the file seeming to end) or fail at once: refused before
        // any block, with a box and a log line naming the file, the window as
        // after a refused Start. Chosen again once it reads, it is sent whole.
        const QByteArray fw = image(4988);
        const QString path = writeFile("cut.bin", fw);
        const QString refusal = QStringLiteral("ERROR|Firmware file could not be read: cut.bin");
        openOnline();
        const struct { qint64 failAt; bool endsThere; } roads[] = {{1000, false}, {1000, true}, {0, false}};
        int refusals = 0;
        for (const auto &road : roads) {
            load(path);
            auto *failing = new FailingFile(path, road.failAt, road.endsThere, w);
            QVERIFY(failing->open(QIODevice::ReadOnly) && failing->size() == 5000);
            delete std::exchange(w->firmwareFile, failing);
            emu().clearCounters();
            w->on_pushButton_startUpdate_clicked();
            ++refusals;
            QTRY_COMPARE_WITH_TIMEOUT(closer->count(refusal), refusals, 3000);
            QVERIFY(blocks().empty() && emu().firmwareBlocks() == 0);
            QVERIFY(w->firmwareState == 0 && !w->firmwareTimer.isActive() && readyForAnotherFile());
        }
        QCOMPARE(LogCapture::countContaining("Update\u2014File could not be read: cut.bin"), refusals);
        load(path);
        emu().clearCounters();
        w->on_pushButton_startUpdate_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(closer->count("Success|Upgrade Successful"), 1, 6000);
        QVERIFY(blocks().size() == 91 && bytesOf(emu().firmwareReceived()).left(fw.size()) == fw);
    }

    void startTimesOut()
    {
        emu().behaviour().bootLoaderSilent = true;
        openOnline();
        QElapsedTimer t;
        w->on_pushButton_startUpdate_clicked();
        t.start();
        w->firmwareBlockCount = 290;   // as after 29 s of ticks: eleven to go
        QTRY_COMPARE_WITH_TIMEOUT(closer->count("ERROR|Response Timeout"), 1, 3000);
        QVERIFY2(t.elapsed() > 900 && t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(LogCapture::countContaining("Update\u2014Device Not Answer"), 1);
        QVERIFY(polling());
        // The port closed while that box is open: nothing is started behind it.
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

    void transfersCutShortOrRefused()
    {
        const QByteArray first = image(11000);   // 201 blocks
        const QString second = writeFile("second.bin", image(10, 2));
        openOnline();
        // A file chosen during the transfer: the transfer goes on with its image.
        load(writeFile("first.bin", first));
        emu().clearCounters();
        QTimer chooser;
        onceSending(chooser, [&] { load(second); });
        w->on_pushButton_startUpdate_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(closer->count("Success|Upgrade Successful"), 1, 6000);
        QVERIFY(bytesOf(emu().firmwareReceived()).left(first.size()) == first && w->firmwareFile->fileName() == second);
        // Close Port in the middle stops the blocks.
        load(writeFile("first.bin", first));
        emu().clearCounters();
        QTimer portCloser;
        onceSending(portCloser, [&] { w->on_pushButton_closePort_clicked(); });
        w->on_pushButton_startUpdate_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(w->portOpenFlag, 0, 3000);
        QVERIFY(w->firmwareState == 0 && !w->firmwareTimer.isActive());
        const size_t stopped = blocks().size();
        QTest::qWait(300);
        QVERIFY(stopped > 0 && stopped < 201 && blocks().size() == stopped);
        // Started again, the transfer sends the file from its first byte.
        openOnline();
        emu().clearCounters();
        w->on_pushButton_startUpdate_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(closer->count("Success|Upgrade Successful"), 2, 6000);
        QVERIFY(blocks().size() == 201 && blocks()[0][5] == 0 && blocks()[0][6] == 0);
        QVERIFY(bytesOf(emu().firmwareReceived()).left(first.size()) == first);
        // A Close Port during Start's 100 ms wait ends the start there.
        emu().clearCounters();
        QTimer::singleShot(30, this, [&] { w->on_pushButton_closePort_clicked(); });
        w->on_pushButton_startUpdate_clicked();
        QVERIFY(w->firmwareState == 0 && !w->firmwareTimer.isActive() && emu().framesWritten(0x18) == 0);
        QVERIFY(!closer->boxes.contains("WARNING|Device Offline"));

        // An empty image sends no block; no file fails; one past the index range
        // is refused before anything is sent.
        openOnline();
        emu().clearCounters();
        load(writeFile("empty.bin", QByteArray()));
        QCOMPARE(closer->count("File Loaded Successfully|File Name: empty.bin   File Size: 0.00KB"), 1);
        w->on_pushButton_startUpdate_clicked();
        QTRY_COMPARE(w->firmwareState, 4);
        QVERIFY(blocks().empty());
        // No verdict comes for it: 300 ticks in state 4 end the update
        // without a box or a log line, and the polls run again.
        const QStringList boxesBefore = closer->boxes;
        const int logLines = LogCapture::lines().size();
        w->firmwareBlockCount = 290;
        QTest::qWait(600);   // about six ticks: still waiting
        QCOMPARE(w->firmwareState, 4);
        QTRY_COMPARE_WITH_TIMEOUT(w->firmwareState, 0, 1500);
        QVERIFY(!w->firmwareTimer.isActive() && polling() && w->firmwareStatus() == 0);
        QVERIFY(closer->boxes == boxesBefore && LogCapture::lines().size() == logLines);
        delete w->firmwareFile;
        w->firmwareFile = nullptr;
        w->on_pushButton_startUpdate_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(closer->count("ERROR|Upgrade Failed"), 1, 3000);
        load(writeFile("big.bin", QByteArray(int(Firmware::MaxImageBytes) + 1, 0)));
        emu().clearCounters();
        w->on_pushButton_startUpdate_clicked();
        QVERIFY(emu().framesWritten(0x18) == 0 && closer->boxes.last().startsWith("ERROR|Firmware file too large"));
        QVERIFY(w->firmwareState == 0 && !w->firmwareTimer.isActive());
        // Refused, the window is as after an update: another file can be chosen.
        QVERIFY(readyForAnotherFile());
        // So is one chosen after Start, while the loader gets ready.
        load(writeFile("small.bin", image(10)));
        w->on_pushButton_startUpdate_clicked();
        auto *big = new QFile("big.bin", w);
        QVERIFY(big->open(QIODevice::ReadOnly));
        delete std::exchange(w->firmwareFile, big);
        const QString tooLarge = QStringLiteral("ERROR|Firmware file too large: at most 3604480 bytes can be sent");
        QTRY_COMPARE_WITH_TIMEOUT(closer->count(tooLarge), 2, 3000);
        QVERIFY(blocks().empty() && w->firmwareState == 0 && !w->firmwareTimer.isActive() && readyForAnotherFile());
        emit w->setConf->loadFirmware();   // cancelled
        QVERIFY(ui->statusbar->currentMessage() == "Load Failed" && ui->statusbar->styleSheet() == "color:red");

        // A Start refused while an update runs only shows its box. In the
        // transfer (the oversize file chosen in the main window) the blocks of
        // the image under way go on to the last; in the verdict wait (chosen
        // in the profile dialog, the verdict held back meanwhile) the verdict
        // still comes.
        const QByteArray longer = image(33000);   // 601 blocks
        const QString longerPath = writeFile("longer.bin", longer);
        for (int during : {Firmware::Sending, Firmware::WaitResult}) {
            load(longerPath);
            emu().clearCounters();
            const int refusals = closer->count(tooLarge), successes = closer->count("Success|Upgrade Successful");
            int stateAfter = -1;
            // The window as the update has it: its progress, Boot Mode, Load
            // Firmware and Start in both windows.
            const auto shown = [&] {
                const auto *d = w->setConf->form();
                return QString("%1%2%3%4%5%6%7").arg(!ui->updatabar->isHidden()).arg(!ui->ReadyUpdata->isHidden())
                    .arg(ui->ReadyUpdata->isEnabled()).arg(ui->pushButton_loadFireware->isEnabled())
                    .arg(ui->pushButton_startUpdate->isEnabled()).arg(d->loadfirm->isEnabled()).arg(d->start->isEnabled());
            };
            QString beforeRefusal, afterRefusal;
            QTimer watch;
            connect(&watch, &QTimer::timeout, this, [&] {
                // (state 2 is set a tick before its transfer begins)
                if (w->firmwareState != during || emu().firmwareBlocks() == 0)
                    return;
                watch.stop();
                closer->files << QFileInfo("big.bin").absoluteFilePath();
                if (during == Firmware::Sending) {
                    ui->pushButton_loadFireware->click();
                    beforeRefusal = shown();
                    ui->pushButton_startUpdate->click();
                } else {
                    emu().behaviour().replyDelayReads = 200;
                    w->setConf->form()->loadfirm->click();
                    beforeRefusal = shown();
                    w->setConf->form()->start->click();
                    emu().behaviour().replyDelayReads = 0;
                }
                afterRefusal = shown();
                stateAfter = w->firmwareState;
            });
            watch.start(1);
            ui->pushButton_startUpdate->click();
            QTRY_COMPARE_WITH_TIMEOUT(closer->count("Success|Upgrade Successful"), successes + 1, 10000);
            QVERIFY(stateAfter == during && closer->count(tooLarge) == refusals + 1);
            // The transfer's progress stays in view.
            QVERIFY2(during != Firmware::Sending || afterRefusal.startsWith(QLatin1Char('1')), qPrintable(afterRefusal));
            QCOMPARE(afterRefusal, beforeRefusal);
            QVERIFY(blocks().size() == 601 && bytesOf(emu().firmwareReceived()).left(longer.size()) == longer);
            QVERIFY(w->firmwareState == 0 && polling());
        }
    }

#ifndef _WIN32
    void firmwareOfUnknownSizeIsReadNoFurtherThanAnImage()
    {
        // A "file" whose size is not known beforehand (a pipe offering four
        // times the largest image) passes the size check at Start; the
        // transfer reads no more than the largest image and one byte, refuses
        // it and sends nothing. The choice opens the file twice.
        openOnline();
        CountingPipe pipe("pipe.bin", 4 * Firmware::MaxImageBytes, 2);
        load(pipe.path());
        emu().clearCounters();
        w->on_pushButton_startUpdate_clicked();
        const QString tooLarge = QStringLiteral("ERROR|Firmware file too large: at most 3604480 bytes can be sent");
        QTRY_COMPARE_WITH_TIMEOUT(closer->count(tooLarge), 1, 5000);
        QVERIFY(blocks().empty() && w->firmwareState == 0 && !w->firmwareTimer.isActive());
        delete std::exchange(w->firmwareFile, nullptr);   // the pipe's last reader goes
        const qint64 given = pipe.given();
        QVERIFY2(given > Firmware::MaxImageBytes
                     && given <= Firmware::MaxImageBytes + 1 + 2 * pipe.capacity() + 16384,
                 qPrintable(QString::number(given)));
    }
#endif
};

QTEST_MAIN(TestConfigFirmware)
#include "test_config_firmware.moc"
