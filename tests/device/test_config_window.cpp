// Configuration commands through the real window and the emulated device:
// writes that a flash save keeps across a power cycle, the factory reset's
// confirmation, the parameter-table edit, the button remap and its conflicts,
// and the offline refusals.
#include "windowtest.h"

#include "remap.h"
#include "setconf.h"

#include <QMessageBox>
#include <functional>

namespace {
DeviceEmulator &emu() { return HidStandin::emulator(); }
float payloadF32(const std::array<uint8_t, 52> &r, int imageOffset)
{
    float f;
    std::memcpy(&f, r.data() + imageOffset - 5, 4);
    return f;
}
const QString Offline = QStringLiteral("WARNING|Device Offline");
}

class TestConfigWindow : public WindowTest
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(openWindow()); }
    void init() { startTest(); LogCapture::lines().clear(); }
    void cleanup() { closeIfOpen(); endTest(); }

    void savedWritesSurviveRestart();
    void factoryResetAsksFirst();
    void parameterTableEdits();
    void remapConflictsAndWrites();
    void offlinePressesOneBoxNothingSent();
};

void TestConfigWindow::savedWritesSurviveRestart()
{
    openOnline();
    // A user record written and saved, then a second write left unsaved.
    UART_set_chan_config_t rec = w->chanSetImage[1];
    rec.set_damping_variable(1.25f);
    w->doConfigWrite_uart_user_chan(1, &rec);
    ui->pushButton_saveConfigure->click();
    QTRY_COMPARE(closer->count("Success|Profile Saved"), 1);
    rec.set_damping_variable(9.0f);
    w->doConfigWrite_uart_user_chan(1, &rec);
    QCOMPARE(payloadF32(emu().userChanRecord(1), 42), 9.0f);
    emu().restart();
    ui->pushButton_loadConfigure->click();
    QTRY_COMPARE(w->userChanReplyImage[1].damping_variable(), 1.25f);

    // The settings page's writes: the channel byte comes from the argument;
    // its load request re-reads what they changed.
    UART_set_chan_config_t chan = w->chanSetImage[0];
    chan.set_force_limit(77.0f);
    w->doConfigWrite_uart_chan(1, &chan);
    UART_set_sys_config_t sys = toSetImage(w->sysReplyImage);
    sys.set_Hardware_version(0x030201);
    w->doConfigWrite_uart_u32(&sys);
    w->doConfigureUpdate(1);
    QTRY_COMPARE(w->chanReplyImage[1].force_limit(), 77.0f);
    QTRY_COMPARE(w->sysReplyImage.Hardware_version(), 0x030201u);
    QCOMPARE(closer->count("Success|Profile Saved"), 3);

    // The profile dialog's change writes both channels and saves them.
    w->setConf->chanConfig[0].set_inertia_variable(0.75f);
    w->setConf->chanConfig[1].set_HW_default_speed(33.0f);
    emit w->setConf->confSend(1);
    QCOMPARE(payloadF32(emu().userChanRecord(0), 46), 0.75f);
    QCOMPARE(payloadF32(emu().userChanRecord(1), 50), 33.0f);
    QCOMPARE(emu().flashSaves(), 2);
    QCOMPARE(LogCapture::countContaining("ChangeForceConf"), 1);
}

void TestConfigWindow::factoryResetAsksFirst()
{
    openOnline();
    UART_set_chan_config_t rec = w->chanSetImage[0];
    rec.set_force_limit(50.0f);
    w->doConfigWrite_uart_user_chan(0, &rec);
    ui->pushButton_FactoryReset->click();   // the box is closed: No
    QCOMPARE(closer->boxes, QStringList{"Please Confirm|Confirm Factory Restore?"});
    QCOMPARE(emu().framesWritten(0x17), 0);
    QCOMPARE(LogCapture::countContaining("FactoryReset"), 0);

    closer->answers.insert("Please Confirm|Confirm Factory Restore?", QMessageBox::Yes);
    ui->pushButton_FactoryReset->click();
    QTRY_COMPARE(closer->count("Success|Factory Reset Successful"), 1);
    QCOMPARE(w->portOpenFlag, 0);
    QCOMPARE(payloadF32(emu().userChanRecord(0), 14), 120.0f);
    QCOMPARE(LogCapture::countContaining("FactoryReset"), 1);

    // The settings page's erase needs no answer from the device, nor a box.
    emu().behaviour().channelCountOverride = 3;
    ui->pushButton_openPort->click();
    closer->boxes.clear();
    const int resets = emu().framesWritten(0x17);
    w->doConfigureUpdate(3);
    QCOMPARE(emu().framesWritten(0x17), resets + 1);
    QTRY_COMPARE(closer->count("Success|Factory Reset Successful"), 1);
}

void TestConfigWindow::parameterTableEdits()
{
    openOnline();
    const int userWrites = emu().framesWritten(0x15);
    const auto edit = [&](int group, int row, const QString &text) {
        w->treeParentRow = group;
        w->treeRow = row;
        ui->lineEdit_send_value->setText(text);
        ui->pushButton_send_value->click();
        QTest::qWait(30);
    };
    edit(1, 2, "12.5");
    QCOMPARE(int(emu().userChanRecord(0)[3]), 0);
    edit(1, 2, "300");
    QCOMPARE(int(emu().userChanRecord(0)[3]), 44);
    edit(2, 14, "55.5");
    QCOMPARE(payloadF32(emu().userChanRecord(1), 50), 55.5f);
    QCOMPARE(w->defaultSpeed[1], 55.5f);
    QCOMPARE(int(emu().userChanRecord(0)[3]), 44);   // the re-read kept the set image current
    QVERIFY(emu().framesWritten(0x15) >= userWrites + 3);

    // A system row writes no channel record, and still re-reads.
    const auto before = emu().userChanRecord(0);
    const int writes = emu().framesWritten(0x15), reads = emu().framesWritten(0x14);
    edit(0, 0, "9");
    QCOMPARE(emu().framesWritten(0x15), writes);
    QVERIFY(emu().framesWritten(0x14) > reads);
    QVERIFY(emu().userChanRecord(0) == before);
    QVERIFY(closer->boxes.isEmpty());
}

void TestConfigWindow::remapConflictsAndWrites()
{
    openOnline();   // the device's buttons: master 1, trim up 2, trim down 3
    w->keyRemap();
    QVERIFY(w->remapWindow->isVisible());
    QVERIFY(w->remapWindow->parentWidget() == w);
    const QList<QPair<std::function<void()>, QString>> conflicts = {
        {[&] { w->sendKeyRemap(0x0707); }, "Remap button assignment"},
        {[&] { w->sendKeyRemap(0x0104); }, "Trim Up conflict with button assignment"},
        {[&] { w->sendKeyRemap(0x0401); }, "Trim Down conflict with button assignment"},
        {[&] { w->sendRemap(2); }, "Button assigned conflicts with trim up"},
        {[&] { w->sendRemap(3); }, "Button assigned conflicts with trim down"},
    };
    for (const auto &c : conflicts) {
        closer->boxes.clear();
        c.first();
        QCOMPARE(closer->boxes, QStringList{"WARNING|" + c.second});
    }
    QCOMPARE(emu().framesWritten(0x15), 0);

    emit w->remapWindow->masterkey(9);
    emit w->remapWindow->saveKeySet(0x0708);
    const auto rec = emu().userChanRecord(0);
    QCOMPARE(int(rec[49]), 9);
    QCOMPARE(int(rec[50]), 7);
    QCOMPARE(int(rec[51]), 8);
    QCOMPARE(emu().flashSaves(), 2);
    QTRY_COMPARE(w->remapWindow->trimUpButton, 7u);
    QCOMPARE(w->remapWindow->masterButton, 9u);
    w->remapWindow->hide();
}

void TestConfigWindow::offlinePressesOneBoxNothingSent()
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
        if (openFailed) {
            emu().behaviour().present = false;
            ui->pushButton_openPort->click();
        }
        for (int i = 0; i < presses.size(); ++i) {
            closer->boxes.clear();
            presses[i]();
            QVERIFY2(closer->boxes == QStringList{Offline}, qPrintable(QString::number(i) + closer->boxes.join(",")));
        }
        QCOMPARE(emu().framesWrittenTotal(), 0);
        QVERIFY(!w->txTimer.isActive());
    }
}

QTEST_MAIN(TestConfigWindow)
#include "test_config_window.moc"
