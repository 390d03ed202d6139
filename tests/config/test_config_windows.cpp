// The lock screen, the settings page, the profile and remap windows and the
// CSV profiles through the real windows on the emulated device. The test
// functions run in order on one window: the first finds nothing read yet.
#include "windowtest.h"

#include "deviceprofilecsv.h"
#include "lockscreenw.h"
#include "remap.h"
#include "setconf.h"
#include "setting.h"
#include "treemodel.h"
#include "ui_remap.h"
#include "ui_setconf.h"
#include "ui_setting.h"


namespace {
QByteArray bytes(const uint8_t *data, int n)
{
    return QByteArray(reinterpret_cast<const char *>(data), n);
}
template <size_t N>
QByteArray bytes(const std::array<uint8_t, N> &a)
{
    return bytes(a.data(), int(N));
}
QByteArray f32(float v)
{
    uint8_t b[4];
    writeF32LE(b, v);
    return bytes(b, 4);
}

}

class TestConfigWindows : public WindowTest
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void recordsNeverReadAreNotSent();
    void lockScreenOutcomes();
    void settingsPageRowsReachTheDevice();
    void settingsPageButtons();
    void csvOnTheSettingsPage();
    void csvOnTheMainWindow();
    void profileDialog();
    void profileDialogFollowsAFirmwareUpdate();
    void remapChoices();
    void remapAssignmentOnTheDevice();
    void screenshots();

private:
    void sendOnRow(int group, int row, const QString &text);
    QString rowText(int group, int row) const;
    QString profileFile(const QString &name, const DeviceProfileCsv &p);

    setting *page = nullptr;
    DeviceEmulator *emu = nullptr;
    QList<QByteArray> sysSent;
    QList<QPair<int, QByteArray>> chanSent;
};

void TestConfigWindows::initTestCase()
{
    QVERIFY(openWindow());
    page = w->settingPage;
    emu = &HidStandin::emulator();
    connect(page, &setting::send_uart_Config_u32, this,
            [this](UART_set_sys_config_t *r) { sysSent << bytes(r->data, r->size); });
    connect(page, &setting::send_uart_Config_chan, this,
            [this](uint8_t c, UART_set_chan_config_t *r) { chanSent << qMakePair(int(c), bytes(r->data, r->size)); });
}

void TestConfigWindows::init()
{
    startTest();
    sysSent.clear();
    chanSent.clear();
}

void TestConfigWindows::cleanup()
{
    closeIfOpen();
    endTest();
}

// Clicks a row of the page's tree (group -1: a top-level row) and sends a text for it.
void TestConfigWindows::sendOnRow(int group, int row, const QString &text)
{
    QTreeView *view = page->form()->view;
    TreeModel *m = page->treeModel();
    const QModelIndex index = group < 0 ? m->index(row, 0) : m->index(row, 0, m->index(group, 0));
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    page->form()->lineEdit_send_value->setText(text);
    page->form()->pushButton_send_value->click();
}

QString TestConfigWindows::rowText(int group, int row) const
{
    TreeModel *m = page->treeModel();
    return m->data(m->index(row, 1, m->index(group, 0))).toString();
}

QString TestConfigWindows::profileFile(const QString &name, const DeviceProfileCsv &p)
{
    const QString path = QDir::current().absoluteFilePath(name);
    return p.write(path).isEmpty() ? path : QString();
}

void TestConfigWindows::recordsNeverReadAreNotSent()
{
    // An image that never got a record must not reach the device as zeros.
    page->show();
    page->form()->pushButton_send_value->click();   // nothing selected
    sendOnRow(0, 0, "1.2.8");
    sendOnRow(1, 4, "5");
    QVERIFY(sysSent.isEmpty() && chanSent.isEmpty());
    QCOMPARE(page->form()->statusbar->styleSheet(), QStringLiteral("color:red"));

    closer->files << QDir::current().absoluteFilePath("never.csv");
    page->form()->pushButton_saveProfile->click();
    ui->pushButton_saveProfile->click();
    w->setConf->form()->change->click();
    QTest::qWait(50);
    QCOMPARE(closer->boxes.filter("WARNING|").size(), 3);
    QVERIFY(!closer->boxes.contains("Save File") && !QFile::exists("never.csv"));
    page->hide();
}

void TestConfigWindows::lockScreenOutcomes()
{
    lockScreenW *lock = w->lockScreen;
    const lockScreenW::Widgets &lw = lock->widgets();
    ui->action_1->trigger();
    QVERIFY(lock->isVisible());

    // Never focused: the hint itself is compared (and cleared).
    lw.loginButton->click();
    QCOMPARE(lw.infoLabel->text(), QStringLiteral("Password error,please re-enter."));
    lw.loginButton->click();
    QCOMPARE(lw.infoLabel->text(), QStringLiteral("Password cannot be empty!"));

    QFocusEvent focusIn(QEvent::FocusIn);
    QCoreApplication::sendEvent(lw.lineEdit, &focusIn);
    QCOMPARE(lw.lineEdit->echoMode(), QLineEdit::Password);
    QTest::keyClicks(lw.lineEdit, "12a345");
    lw.loginButton->click();
    QCOMPARE(lw.infoLabel->text(), QStringLiteral("Password is less than 6-digit!"));
    QVERIFY(lw.lineEdit->text().isEmpty());

    // config.ini only reaches the log; a seventh digit is refused.
    QFile config("config.ini");
    QVERIFY(config.open(QIODevice::WriteOnly) && config.write("[user]\npasswd= 123456 \n") > 0);
    config.close();
    QTest::keyClicks(lw.lineEdit, "1234567");
    QCOMPARE(lw.lineEdit->text(), QStringLiteral("123456"));
    lw.loginButton->click();
    QCOMPARE(lw.infoLabel->text(), QStringLiteral("Password error,please re-enter."));
    QCOMPARE(LogCapture::countContaining("strOldPasswd:  \"123456\""), 1);
    QVERIFY(!page->isVisible());

    QTest::keyClicks(lw.lineEdit, "407215");
    lw.loginButton->click();
    QVERIFY(!lock->isVisible() && page->isVisible());
    QCOMPARE(w->settingShownFlag, 1);
    // Shown again, the page needs the password again.
    ui->action_1->trigger();
    lw.loginButton->click();
    QCOMPARE(lw.infoLabel->text(), QStringLiteral("Password cannot be empty!"));
    QVERIFY(lw.loginButton->styleSheet().contains("widget_lockimag/ok1.png);"));
    QCOMPARE(LogCapture::countContaining("Could not parse stylesheet"), 0);
    lock->close();
}

void TestConfigWindows::settingsPageRowsReachTheDevice()
{
    openOnline();
    QTRY_COMPARE(rowText(0, 0), QStringLiteral("V 1.2.0"));
    QCOMPARE(rowText(0, 2), QStringLiteral("01.240305.07"));
    // The channel rows follow the device's channel records, read on request.
    page->form()->pushButton_loadConfigure->click();
    QTRY_COMPARE(rowText(2, 5), QStringLiteral("60.00"));
    sendOnRow(-1, 1, "1");
    QVERIFY(sysSent.isEmpty() && chanSent.isEmpty());

    // Each kind of row: the text as the device receives it, the rest of the
    // record as last read.
    struct Case { int group, row; const char *text; int offset; QByteArray expected; };
    const QList<Case> cases = {
        {0, 0, "1.2.8", 5, QByteArray("\x01\x02\x08\x00", 4)},
        {0, 0, "256.0.0", 5, QByteArray("\x00\x01\x00\x00", 4)},
        {0, 2, "01.240517.02", 13, QByteArray("\x01\x98\x8a\x02", 4)},
        {1, 1, "300", 7, QByteArray("\x2c", 1)},
        {1, 2, "12.5", 8, QByteArray(1, '\0')},
        {2, 13, "1.5", 46, f32(1.5f)},
    };
    for (const Case &c : cases) {
        sysSent.clear();
        chanSent.clear();
        sendOnRow(c.group, c.row, QLatin1String(c.text));
        const int n = c.expected.size();
        QByteArray sent, image;
        if (c.group == 0) {
            QCOMPARE(sysSent.size(), 1);
            sent = sysSent.first();
            image = bytes(page->sysImage.data, 25);
            QTRY_COMPARE(bytes(emu->sysRecord()).mid(c.offset - 5, n), c.expected);
        } else {
            QCOMPARE(chanSent.size(), 1);
            QCOMPARE(chanSent.first().first, c.group - 1);
            sent = chanSent.first().second;
            image = bytes(page->chanImage[c.group - 1].data, 57);
            QTRY_COMPARE(bytes(emu->chanRecord(c.group - 1)).mid(c.offset - 5, n), c.expected);
        }
        QCOMPARE(sent.mid(c.offset, n), c.expected);
        QCOMPARE(sent.replace(c.offset, n, image.mid(c.offset, n)), image);
    }
    // Two edits without a read-back: the second carries the first field's old value.
    chanSent.clear();
    sendOnRow(1, 4, "111");
    sendOnRow(1, 5, "99.5");
    QCOMPARE(chanSent.size(), 2);
    QCOMPARE(chanSent.at(1).second.mid(10, 8), bytes(page->chanImage[0].data + 10, 4) + f32(99.5f));

    // The row sent to is the one shown: clicked on row 4, moved down by key.
    chanSent.clear();
    sendOnRow(1, 4, "");
    QTest::keyClick(page->form()->view, Qt::Key_Down);
    QCOMPARE(page->form()->statusbar->currentMessage(), QStringLiteral("Position: (5,0)"));
    page->form()->lineEdit_send_value->setText("7");
    page->form()->pushButton_send_value->click();
    QCOMPARE(chanSent.last().second.mid(10, 8), bytes(page->chanImage[0].data + 10, 4) + f32(7.0f));

    // A device information reply longer than the record still holds one.
    DeviceEmulator::Frame reply{};
    const uint8_t header[5] = {0xAE, 0, emu->deviceId(), 0x10, 24};
    std::memcpy(reply.data(), header, 5);
    std::memcpy(reply.data() + 5, emu->sysRecord().data(), 20);
    const uint16_t crc = crc16Modbus(reply.data(), 62);
    reply[62] = uint8_t(crc);
    reply[63] = uint8_t(crc >> 8);
    emu->injectReply(reply);
    QTRY_COMPARE(page->sysImage.length(), uint8_t(24));
    sysSent.clear();
    sendOnRow(0, 1, "4.5.6");
    QCOMPARE(sysSent.size(), 1);
}

void TestConfigWindows::settingsPageButtons()
{
    Ui::setting *f = page->form();
    QByteArray trim;
    auto c = connect(page, &setting::send_uart_trimAP_switch, this,
                     [&](UART_set_channel_switch_t *r) { trim = bytes(r->data, r->size); });
    f->lineEdit_switch_0->setText("258");
    f->lineEdit_Trim_init->setText("7");
    f->lineEdit_ap_vel_0->setText("1e39");   // no finite f32: 0
    f->pushButton_Trim_Control_0->click();
    disconnect(c);
    // From the form's start texts: switch 258 -> 2, hardware trim 1, coupled 0,
    // then trim speed, autopilot speed, trim start and hardware trim speed.
    QCOMPARE(trim.mid(6), QByteArray("\x02\x01\x00", 3) + f32(0) + f32(0) + f32(7) + f32(4));
}

void TestConfigWindows::csvOnTheSettingsPage()
{
    openOnline();
    // A profile holds the records read from the device: read them here, so
    // that this case stands alone.
    page->form()->pushButton_loadConfigure->click();
    uint8_t lastRead = 0;
    for (const DeviceEmulator::Frame &f : emu->writtenFrames())
        if (f[3] == 0x12 && f[5] == 1)
            lastRead = f[1];
    QTRY_COMPARE(page->chanImage[1].data[1], lastRead);   // the reply to the last read is in
    QCOMPARE(rowText(2, 5), QStringLiteral("60.00"));
    const QString path = QDir::current().absoluteFilePath("page.csv");
    closer->files << path;
    page->form()->pushButton_saveProfile->click();
    QTRY_COMPARE(page->form()->statusbar->currentMessage(), "creat profile success:" + path);
    DeviceProfileCsv saved;
    QVERIFY(saved.read(path).ok());
    QCOMPARE(bytes(saved.sys.data, 25), bytes(page->sysImage.data, 25));
    QCOMPARE(bytes(saved.chan[1].data, 57), bytes(page->chanImage[1].data, 57));

    // A changed profile loaded back is shown, kept and written to the device:
    // the system record (0x11) and both channel records (0x13).
    DeviceProfileCsv changed = saved;
    changed.chan[1].set_force_limit(77.0f);
    changed.sys.set_Hardware_version(0x00050403);
    closer->files << profileFile("changed.csv", changed);
    page->form()->pushButton_loadProfile->click();
    QTRY_COMPARE(chanSent.size(), 2);
    QCOMPARE(sysSent, QList<QByteArray>{bytes(changed.sys.data, 25)});
    QCOMPARE(chanSent.at(1), qMakePair(1, bytes(changed.chan[1].data, 57)));
    QCOMPARE(rowText(2, 5), QStringLiteral("77.00"));
    QCOMPARE(rowText(0, 0), QStringLiteral("V 3.4.5"));
    QTRY_COMPARE(bytes(emu->chanRecord(1)).mid(9, 4), f32(77.0f));
    QCOMPARE(bytes(emu->sysRecord()).left(4), QByteArray("\x03\x04\x05\x00", 4));

    // A refused file: its line named, nothing shown, kept or sent.
    changed.sys.setU8(3, 0x12);
    closer->files << profileFile("foreign.csv", changed);
    chanSent.clear();
    sysSent.clear();
    page->form()->pushButton_loadProfile->click();
    QTRY_COMPARE(closer->count("WARNING|Line 4: the profile holds no system record"), 1);
    QVERIFY(sysSent.isEmpty() && chanSent.isEmpty());
    // So is a file larger than a profile can be, before it is read.
    QFile large("large.csv");
    QVERIFY(large.open(QIODevice::WriteOnly) && large.write(saved.toText() + QByteArray(65536, '\n')) > 65536);
    large.close();
    closer->files << QFileInfo(large).absoluteFilePath();
    page->form()->pushButton_loadProfile->click();
    const QString tooLarge = QStringLiteral("WARNING|The file is too large for a profile (more than 65536 bytes)");
    QTRY_COMPARE(closer->count(tooLarge), 1);
    QVERIFY(sysSent.isEmpty() && chanSent.isEmpty() && rowText(2, 5) == QStringLiteral("77.00"));
#ifndef _WIN32
    // A file whose size is not known (a pipe offering 64 MiB) is read no
    // further than a profile can go: what the pipe took is that, its own
    // buffer and one read chunk of the file object at most.
    CountingPipe pipe("pipe.csv", 1024 * DeviceProfileCsv::MaxFileBytes);
    closer->files << pipe.path();
    page->form()->pushButton_loadProfile->click();
    QTRY_COMPARE(closer->count(tooLarge), 2);
    const qint64 given = pipe.given();
    QVERIFY2(given > DeviceProfileCsv::MaxFileBytes
                 && given <= DeviceProfileCsv::MaxFileBytes + 1 + pipe.capacity() + 16384,
             qPrintable(QString::number(given)));
    QVERIFY(sysSent.isEmpty() && chanSent.isEmpty());
#endif
}

void TestConfigWindows::csvOnTheMainWindow()
{
    openOnline();
    // A failed write says so and never reports success.
    const QString tooLong = QDir::current().absoluteFilePath(QString(300, QLatin1Char('x')) + ".csv");
    QFile refused(tooLong);
    QVERIFY(!refused.open(QIODevice::WriteOnly));   // the system's own words for it
    closer->files << tooLong;
    ui->pushButton_saveProfile->click();
    QTRY_COMPARE(closer->boxes.filter("WARNING|"), QStringList{"WARNING|Profile not saved: " + refused.errorString()});
    QVERIFY(!ui->statusbar->currentMessage().startsWith("creat profile success"));

    const QString path = QDir::current().absoluteFilePath("main.csv");
    closer->files << path;
    ui->pushButton_saveProfile->click();
    QTRY_COMPARE(ui->statusbar->currentMessage(), "creat profile success:" + path);
    DeviceProfileCsv saved;
    QVERIFY(saved.read(path).ok());
    QCOMPARE(bytes(saved.sys.data, 25), bytes(toSetImage(w->sysRecord).data, 25));
    QCOMPARE(bytes(saved.chan[0].data, 57), bytes(w->chanSetImage[0].data, 57));

    // Loaded through the profile dialog: both channels go to the device as
    // user records (0x15), then the working channel is read back; the system
    // record is only shown.
    DeviceProfileCsv changed = saved;
    changed.chan[0].set_damping_variable(0.75f);
    changed.sys.set_Hardware_version(0x00090909);
    closer->files << profileFile("main_changed.csv", changed);
    emu->clearCounters();
    w->setConf->form()->load->click();
    QTRY_COMPARE(closer->count("Success|Profile Loaded"), 1);
    QTRY_VERIFY(emu->framesWritten(0x14) >= 1);
    QCOMPARE(emu->framesWritten(0x11), 0);
    QCOMPARE(bytes(emu->userChanRecord(0)).mid(37, 4), f32(0.75f));
    QCOMPARE(bytes(emu->userChanRecord(1)), bytes(changed.chan[1].data + 5, 52));
    QCOMPARE(w->sysRecord.Hardware_version(), 0x00090909u);
}

void TestConfigWindows::profileDialog()
{
    openOnline();
    SetConf *dlg = w->setConf;
    Ui::SetConf *f = dlg->form();
    w->setConfInit();
    QCOMPARE(f->pitch_spd->text(), QStringLiteral("40.00"));
    QCOMPARE(f->roll_ine->text(), QStringLiteral("0.20"));

    // Change writes what the fields show, both channels, saved and read back.
    const int saves = emu->flashSaves();
    f->pitch_dam->setText("abc");
    f->pitch_ine->setText("1e39");   // no finite f32: 0
    f->roll_spd->setText("12.345");
    f->change->click();
    QTRY_COMPARE(emu->flashSaves(), saves + 1);
    QCOMPARE(LogCapture::countContaining("ChangeForceConf"), 1);
    QCOMPARE(bytes(emu->userChanRecord(0)).mid(37, 8), f32(0.0f) + f32(0.0f));
    QCOMPARE(bytes(emu->userChanRecord(1)).mid(45, 4), f32(12.345f));
    QTRY_COMPARE(f->roll_spd->text(), QStringLiteral("12.35"));
    f->roll_ine->setText("9");
    f->flash->click();   // Read Configure shows the device's values again
    QTRY_COMPARE(f->roll_ine->text(), QStringLiteral("0.20"));

    // Boot mode reported, then left.
    QVERIFY(!f->exit->isEnabled() && f->bar->isHidden());
    dlg->setButtonsEnabled();
    QVERIFY(f->exit->isEnabled() && !f->ready->isEnabled());
    f->exit->click();
    QVERIFY(!f->exit->isEnabled() && f->ready->isEnabled());

    // Enter Boot Mode declined, or met with the device offline: the button comes back.
    closer->answers["Please Confirm|Please Confirm"] = QMessageBox::No;
    f->ready->click();
    QVERIFY(f->ready->isEnabled() && f->bar->isHidden());
    QVERIFY(w->isOnline());
    w->on_pushButton_closePort_clicked();
    closer->answers["Please Confirm|Please Confirm"] = QMessageBox::Yes;
    f->ready->click();
    QVERIFY(closer->count("WARNING|Device Offline") >= 1);
    QVERIFY(f->ready->isEnabled() && f->bar->isHidden());
    dlg->hide();
}

void TestConfigWindows::profileDialogFollowsAFirmwareUpdate()
{
    openOnline();
    Ui::SetConf *f = w->setConf->form();
    w->setConfInit();
    closer->answers["Please Confirm|Please Confirm"] = QMessageBox::Yes;
    f->ready->click();
    QVERIFY(!f->ready->isEnabled() && !f->bar->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(w->portOpenFlag == 0, 3000);   // the device restarts in boot mode

    // Reopened in boot mode, the dialog may leave it; a chosen image arms Start.
    openOnline();
    QTRY_VERIFY_WITH_TIMEOUT(f->exit->isEnabled() && !f->ready->isEnabled(), 2000);
    f->loadfirm->click();   // cancelled: the buttons stay as they were
    QVERIFY(f->loadfirm->isEnabled() && f->start->isEnabled());
    const std::vector<uint8_t> image = DeviceEmulator::makeFirmwareImage(600);
    QFile bin("update.bin");
    QVERIFY(bin.open(QIODevice::WriteOnly));
    QVERIFY(bin.write(reinterpret_cast<const char *>(image.data()), qint64(image.size())) > 0);
    bin.close();
    closer->files << QFileInfo(bin).absoluteFilePath();
    f->loadfirm->click();
    QVERIFY(f->start->isEnabled() && !f->loadfirm->isEnabled() && !f->bar->isHidden());

    f->start->click();
    QTRY_COMPARE_WITH_TIMEOUT(closer->count("Success|Upgrade Successful"), 1, 10000);
    QCOMPARE(f->bar->maximum(), int(image.size()));
    QVERIFY(f->bar->isHidden() && f->ready->isEnabled() && f->loadfirm->isEnabled() && !f->start->isEnabled());
    w->setConf->hide();
}

void TestConfigWindows::remapChoices()
{
    Remap *r = w->remapWindow;
    Ui::Remap *f = r->form();
    QList<int> sent;
    auto c1 = connect(r, &Remap::saveKeySet, this, [&](uint16_t k) { sent << k; });
    auto c2 = connect(r, &Remap::masterkey, this, [&](uint8_t k) { sent << k; });
    r->masterButton = r->trimUpButton = r->trimDownButton = 255;
    r->showKeyPair();
    r->showMasterKey();
    QCOMPARE(f->sys_up->text() + f->sys_down->text() + f->sys_oh->text(), QStringLiteral("341"));

    // Buttons that do not exist, and any button of another device family.
    f->user_down->setText("8");
    for (const char *bad : {"5", "6", "0", "17", "", "7"}) {
        r->deviceKind = QByteArray(bad) == "7" ? 99 : 1;
        f->user_up->setText(bad);
        f->user_oh->setText(bad);
        f->save->click();
        f->send->click();
    }
    QCOMPARE(closer->count("WARNING|Button assigned is out of range"), 12);
    r->deviceKind = 1;
    f->user_up->setText("257");   // low 8 bits: 1
    f->save->click();
    disconnect(c1);
    disconnect(c2);
    QCOMPARE(sent, QList<int>{0x0108});
}

void TestConfigWindows::remapAssignmentOnTheDevice()
{
    openOnline();
    Ui::Remap *f = w->remapWindow->form();
    ui->actionKey_Remap->trigger();
    QTRY_COMPARE(f->sys_up->text() + f->sys_down->text() + f->sys_oh->text(), QStringLiteral("231"));

    // A valid pair and master reach channel 0's user record, saved each, and
    // are read back (the conflicts the main window refuses: its own test).
    f->user_up->setText("7");
    f->user_down->setText("8");
    f->save->click();
    QTRY_COMPARE(f->sys_up->text(), QStringLiteral("7"));
    f->user_oh->setText("9");
    f->send->click();
    QTRY_COMPARE(f->sys_oh->text(), QStringLiteral("9"));
    QCOMPARE(f->sys_down->text(), QStringLiteral("8"));
    QCOMPARE(bytes(emu->userChanRecord(0)).mid(49, 3), QByteArray("\x09\x07\x08", 3));
    QCOMPARE(emu->flashSaves(), 2);
}

void TestConfigWindows::screenshots()
{
    page->form()->view->scrollToTop();
    for (QWidget *win : {static_cast<QWidget *>(page), static_cast<QWidget *>(w->setConf),
                         static_cast<QWidget *>(w->remapWindow)}) {
        win->show();
        QCoreApplication::processEvents();
        const QString path = QDir::current().absoluteFilePath(QStringLiteral("window_%1.png").arg(win->objectName()));
        QVERIFY(win->grab().save(path));
        qInfo("screenshot: %s", qPrintable(path));
        win->hide();
    }
    QCOMPARE(LogCapture::countContaining("Could not parse stylesheet"), 0);
}

QTEST_MAIN(TestConfigWindows)
#include "test_config_windows.moc"
