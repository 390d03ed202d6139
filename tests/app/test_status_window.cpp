// The status display through the real window: fault lamps, texts and the
// one-box-per-fault latches fed by the emulated device's status replies, the
// status poll stopped by faults but not by boot mode, and the system record
// rows of the parameter tree with the device type, and the About boxes.
#include "windowtest.h"

#include <utility>

#include "remap.h"

#include <QAbstractItemModel>
#include <functional>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QtTest>

class TestStatusWindow : public WindowTest
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void oneBoxPerFaultUntilCleared();
    void bootModeKeepsPolling();
    void rollReportLeavesSystemAndPitch();
    void unknownStatesChangeNothing();
    void systemRecordRowsAndDeviceType();
    void aboutBoxes();

private:
    QStringList aboutRows(const std::function<void()> &open, const QString &title);
    void report(int channel, uint8_t temp, uint8_t sys, uint8_t axis);
    QString treeValue(int row) const;
};

void TestStatusWindow::initTestCase()
{
    QVERIFY(openWindow());
}

void TestStatusWindow::report(int channel, uint8_t temp, uint8_t sys, uint8_t axis)
{
    uint8_t *s = w->channelStatus[channel];
    std::memset(s, 0, 10);
    s[3] = 0x43;
    s[4] = 4;
    s[5] = uint8_t(channel);
    s[6] = temp;
    s[7] = sys;
    s[8] = axis;
    w->showDeviceStatus(channel);
}

void TestStatusWindow::init()
{
    startTest();
    // No-fault reports of every group clear the program-wide latches.
    report(0, 30, 0, 0);
    report(1, 30, 0, 0);
    LogCapture::lines().clear();
}

void TestStatusWindow::cleanup()
{
    if (w->portOpenFlag == 1)
        w->on_pushButton_closePort_clicked();
    endTest();
}

void TestStatusWindow::oneBoxPerFaultUntilCleared()
{
    openOnline();
    DeviceEmulator &emu = HidStandin::emulator();
    emu.behaviour().axisState[0] = 3;
    QTRY_VERIFY_WITH_TIMEOUT(closer->count("WARNING|Pitch Over Force") == 1, 2000);
    QCOMPARE(ui->label_faultState->text(), QStringLiteral("Pitch Over Force"));
    QCOMPARE(ui->label_faultLed->styleSheet(), w->lampRed);
    QVERIFY(!w->txInforTimer.isActive());   // a fault stops the status poll
    QTRY_COMPARE(LogCapture::countContaining("Pitch Over Force"), 1);

    // The poll started again: the same fault is reported again, silently.
    w->startInfoTimer();
    QTRY_VERIFY_WITH_TIMEOUT(!w->txInforTimer.isActive(), 2000);
    QTest::qWait(100);
    QCOMPARE(closer->count("WARNING|Pitch Over Force"), 1);
    QCOMPARE(LogCapture::countContaining("Pitch Over Force"), 1);
    QCOMPARE(ui->label_faultLed->styleSheet(), w->lampRed);
    // The log line carries the time.
    for (const QString &l : LogCapture::lines())
        if (l.contains("Pitch Over Force"))
            QVERIFY2(QRegularExpression("\\d\\d:\\d\\d:\\d\\d").match(l).hasMatch(), qPrintable(l));

    // Cleared, then the fault again: a second box.
    emu.behaviour().axisState[0] = 0;
    w->startInfoTimer();
    QTRY_COMPARE_WITH_TIMEOUT(ui->label_faultState->text(), QStringLiteral("Pitch No Fault"), 2000);
    QCOMPARE(ui->label_faultLed->styleSheet(), w->lampGreen);
    QVERIFY(w->txInforTimer.isActive());
    emu.behaviour().axisState[0] = 3;
    QTRY_VERIFY_WITH_TIMEOUT(closer->count("WARNING|Pitch Over Force") == 2, 2000);
    // Another group's fault has its own latch.
    emu.behaviour().axisState[1] = 2;
    w->startInfoTimer();
    QTRY_VERIFY_WITH_TIMEOUT(closer->count("WARNING|Roll Over Speed") == 1, 2000);
    QCOMPARE(closer->count("WARNING|Pitch Over Force"), 2);
}

void TestStatusWindow::bootModeKeepsPolling()
{
    openOnline();
    QVERIFY(!ui->ExitBoot->isEnabled());
    DeviceEmulator &emu = HidStandin::emulator();
    emu.behaviour().systemState = 3;
    QTRY_VERIFY_WITH_TIMEOUT(closer->count("WARNING|System In BootMode") == 1, 2000);
    QCOMPARE(ui->label_faultState_3->text(), QStringLiteral("System In BootMode"));
    QCOMPARE(ui->label_faultLed_3->styleSheet(), w->lampYellow);
    QVERIFY(ui->ExitBoot->isEnabled());
    // Two more reports arrive: the poll keeps running, no second box.
    emu.clearCounters();
    QTRY_VERIFY_WITH_TIMEOUT(emu.framesWritten(0x43) >= 4, 3000);
    QVERIFY(w->txInforTimer.isActive());
    QCOMPARE(closer->count("WARNING|System In BootMode"), 1);
    emu.behaviour().systemState = 0;
    QTRY_COMPARE_WITH_TIMEOUT(ui->label_faultState_3->text(), QStringLiteral("System No Fault"), 2000);
    QVERIFY(!ui->ExitBoot->isEnabled());
    QCOMPARE(ui->label_faultLed_3->styleSheet(), w->lampGreen);
}

void TestStatusWindow::rollReportLeavesSystemAndPitch()
{
    ui->label_faultState_3->setText("sys before");
    ui->label_faultState->setText("pitch before");
    ui->label_faultLed_3->setStyleSheet(w->lampYellow);
    ui->label_faultLed->setStyleSheet(w->lampYellow);
    report(1, 41, 1, 3);
    QCOMPARE(ui->lineEdit_Temperature->text(), QStringLiteral("41.00"));
    QCOMPARE(ui->label_faultState_2->text(), QStringLiteral("Roll Over Force"));
    QCOMPARE(ui->label_faultLed_2->styleSheet(), w->lampRed);
    QCOMPARE(ui->label_faultState_3->text(), QStringLiteral("sys before"));
    QCOMPARE(ui->label_faultState->text(), QStringLiteral("pitch before"));
    QCOMPARE(ui->label_faultLed_3->styleSheet(), w->lampYellow);
    QCOMPARE(ui->label_faultLed->styleSheet(), w->lampYellow);
    QCOMPARE(closer->boxes, QStringList{"WARNING|Roll Over Force"});
}

void TestStatusWindow::unknownStatesChangeNothing()
{
    report(0, 35, 2, 1);   // self test failed, pitch over temperature
    QCOMPARE(closer->boxes, (QStringList{"WARNING|Self Test Failed", "WARNING|Pitch Over Temptuature"}));
    report(0, 36, 7, 9);
    QCOMPARE(ui->lineEdit_Temperature->text(), QStringLiteral("36.00"));
    QCOMPARE(ui->label_faultState_3->text(), QStringLiteral("Self Test Failed"));
    QCOMPARE(ui->label_faultState->text(), QStringLiteral("Pitch Over Temptuature"));
    QCOMPARE(ui->label_faultLed_3->styleSheet(), w->lampRed);
    QCOMPARE(closer->boxes.size(), 2);
}

QString TestStatusWindow::treeValue(int row) const
{
    QAbstractItemModel *m = w->treeModel;
    return m->data(m->index(row, 1, m->index(0, 0)), Qt::DisplayRole).toString();
}

void TestStatusWindow::systemRecordRowsAndDeviceType()
{
    QVERIFY(w->treeModel);
    QVERIFY(w->treeModel->rowCount(w->treeModel->index(0, 0)) >= 4);
    UART_get_sys_config_t rec;
    rec.set_Hardware_version(0xFF0A0B0Cu);       // bytes 12, 11, 10, 255
    rec.set_Device_version(0x00030201u);
    rec.set_Serial_number(2u | (24u << 8) | (3u << 15) | (5u << 19) | (7u << 24));
    rec.set_Channels_number(2);
    emit w->sendUARTget_sys_config(&rec);
    QCOMPARE(treeValue(0), QStringLiteral("V 12.11.10"));
    QCOMPARE(treeValue(1), QStringLiteral("V 1.2.3"));
    QCOMPARE(treeValue(2), QStringLiteral("02.240305.07"));
    QCOMPARE(treeValue(3), QStringLiteral("2"));
    QCOMPARE(w->deviceType, 1);
    QCOMPARE(w->remapWindow->deviceKind, 1);
    QCOMPARE(std::memcmp(w->sysRecord.data, rec.data, 27), 0);

    rec.set_Serial_number(3u | (24u << 8));
    rec.set_Channels_number(0x0103);   // only the low byte is shown
    w->onUARTget_sys_config(&rec);
    QCOMPARE(treeValue(2), QStringLiteral("03.240000.00"));
    QCOMPARE(treeValue(3), QStringLiteral("3"));
    QCOMPARE(w->deviceType, 99);
    QCOMPARE(w->remapWindow->deviceKind, 99);
    QCOMPARE(w->versionToString(0x00030201u), QStringLiteral("V 1.2.3"));

    // Without a tree file to show the rows in, the device type is still taken.
    QAbstractItemModel *const tree = std::exchange(w->treeModel, nullptr);
    rec.set_Serial_number(1u | (24u << 8));
    w->onUARTget_sys_config(&rec);
    w->treeModel = tree;
    QCOMPARE(w->deviceType, 1);
    QCOMPARE(w->remapWindow->deviceKind, 1);
}

// Opens an About box through its slot and returns its grid's texts, row by
// row; saves a screenshot of the first box of each title.
QStringList TestStatusWindow::aboutRows(const std::function<void()> &open, const QString &title)
{
    closer->holdMs[title] = 60000;
    QStringList texts;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->windowTitle() != title)
            return;
        poll.stop();
        auto *grid = qobject_cast<QGridLayout *>(dialog->layout());
        for (int row = 0; grid && row < grid->rowCount(); ++row)
            for (int column = 0; column < 2; ++column)
                if (QLayoutItem *item = grid->itemAtPosition(row, column))
                    texts << qobject_cast<QLabel *>(item->widget())->text();
        const QString name = QString(title).replace(QLatin1Char(' '), QLatin1Char('_'));
        const QString path = QDir::current().absoluteFilePath(QStringLiteral("window_%1.png").arg(name));
        if (!QFile::exists(path) && dialog->grab().save(path))
            qInfo("screenshot: %s", qPrintable(path));
        dialog->close();
    });
    poll.start(5);
    open();
    return texts;
}

void TestStatusWindow::aboutBoxes()
{
    const auto hardware = [this] { w->aboutSystem(); };
    QCOMPARE(aboutRows([this] { w->aboutQsak(); }, "About Application").mid(0, 4),
             (QStringList{"Version", "<font color=green>2.2.8 -D</font>", "Edition", "<font color=green>factory</font>"}));

    w->on_pushButton_closePort_clicked();
    QVERIFY(aboutRows(hardware, "About Hardware").isEmpty());
    QCOMPARE(closer->boxes.filter("|"), QStringList{"WARNING|Device Offline"});

    openOnline();
    QTRY_COMPARE(w->deviceType, 1);
    // The device's own record fills the tree's rows; its status, the temperature.
    QTRY_COMPARE(treeValue(3), QStringLiteral("2"));
    QCOMPARE(treeValue(0), QStringLiteral("V 1.2.0"));
    QTRY_VERIFY_WITH_TIMEOUT(!ui->lineEdit_Temperature->text().isEmpty(), 1500);
    QTRY_COMPARE(w->chanSetImage[1].force_limit(), 60.0f);
    w->chanSetImage[0].set_force_limit(12.6f);   // rounded to a whole number
    const QStringList rows = aboutRows(hardware, "About Hardware");
    QCOMPARE(rows.size(), 24);
    QCOMPARE(rows.mid(0, 6), (QStringList{"Hardware_version", "<font color=green>V 1.2.0</font>", "Device_version",
                                          "<font color=green>V 3.1.4</font>", "Serial_number",
                                          "<font color=green>01.240305.07</font>"}));
    QCOMPARE(rows.at(13), QStringLiteral("<font color=green>13</font>"));   // pitch force limit
    QCOMPARE(rows.at(21), QStringLiteral("<font color=green>60</font>"));   // roll force limit

    w->deviceType = 99;
    QCOMPARE(aboutRows(hardware, "About Hardware"),
             (QStringList{"Warning", "<font color=red>No Device Connect</font>"}));
}

QTEST_MAIN(TestStatusWindow)
#include "test_status_window.moc"
