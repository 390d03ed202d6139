// The main window through the real window: construction from Effect.ini, the
// form's names, ranges and start values, slots bound by name, the online
// guard, the timers, the parameter tree view, and screenshots of the tabs.
//
// The window binds the simulator's sockets, so every construction scenario
// runs in a child process of its own (this executable, started with the name
// of one child_ function and KORVEL_CHILD=1, in a fresh directory).

#include "clscurve.h"
#include "ui_clscurve.h"

#include "lockscreenw.h"
#include "setconf.h"
#include "setini.h"
#include "setting.h"
#include "testsupport.h"

#include <QtTest>
#include <QCheckBox>
#include <QHeaderView>
#include <QProcess>
#include <QSettings>
#include <QTreeView>

namespace {

bool isChild()
{
    return qEnvironmentVariableIntValue("KORVEL_CHILD") == 1;
}

// Counts the connections of a timer's timeout() (QObject::receivers is protected).
class TimerPeek : public QTimer
{
public:
    static int timeoutReceivers(const QTimer &t)
    {
        return static_cast<const TimerPeek &>(t).receivers(SIGNAL(timeout()));
    }
};

void copyTreeProfile(const QString &dir)
{
    QDir().mkpath(dir + QStringLiteral("/SimConnect"));
    const QString src = qEnvironmentVariable("KORVEL_SOURCE_DIR") + QStringLiteral("/config/SimConnect/tree_profile.txt");
    QFile::remove(dir + QStringLiteral("/SimConnect/tree_profile.txt"));
    QVERIFY2(QFile::copy(src, dir + QStringLiteral("/SimConnect/tree_profile.txt")), qPrintable(src));
}

void writeIni(const QList<QPair<QString, QVariant>> &values)
{
    QSettings s(QStringLiteral("Effect.ini"), QSettings::IniFormat);
    for (const auto &kv : values)
        s.setValue(kv.first, kv.second);
    s.sync();
}

QStringList activeTimers(clscurve &w)
{
    QStringList names;
    const QList<QPair<const char *, QTimer *>> timers = {
        {"serialDisplay", &w.serialDisplayTimer}, {"tx", &w.txTimer}, {"replyPoll", &w.replyPollTimer},
        {"simPoll", &w.simPollTimer}, {"txInfor", &w.txInforTimer}, {"trim", &w.trimTimer},
        {"searchDevice", &w.searchDeviceTimer}, {"firmware", &w.firmwareTimer}, {"effect", &w.effectTimer}};
    for (const auto &t : timers)
        if (t.second->isActive())
            names << QLatin1String(t.first);
    return names;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    // Construction scenarios, each in a child process.
    void constructionScenarios_data();
    void constructionScenarios();
    void child_firstStart();
    void child_secondStartLoadsStoredBase();
    void child_userProfileThree();
    void child_unknownStateLoadsNothing();
    void child_storedSimulator();
    void child_withoutTreeFile();

    // The bare form.
    void formNamesDifferingByCaseStayDistinct();
    void formRangesAndStartValues();
    void formTextsMenusAndTabs();
    void everyNamedSlotHasItsWidget();

    // The window in this process.
    void clickOnNamedButtonReachesItsSlot();
    void menuActionsAndSecondaryWindows();
    void onlineGuard();
    void timerStartKeepsOneConnection();
    void parameterTreeView();
    void screenshotsOfTheMainTabs();
    void cleanupTestCase();

private:
    clscurve *sharedWindow();
    clscurve *m_window = nullptr;
};

// ---- child scenarios ----------------------------------------------------------

void TestWindow::constructionScenarios_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<bool>("withTree");
    QTest::addColumn<QString>("storedSimulator");
    QTest::newRow("first start") << "child_firstStart" << true << "";
    QTest::newRow("second start") << "child_secondStartLoadsStoredBase" << true << "";
    QTest::newRow("user profile 3") << "child_userProfileThree" << true << "";
    QTest::newRow("state 5") << "child_unknownStateLoadsNothing" << true << "";
    QTest::newRow("stored simulator 7") << "child_storedSimulator" << true << "7";
    QTest::newRow("stored simulator -1") << "child_storedSimulator" << true << "-1";
    QTest::newRow("stored simulator 2") << "child_storedSimulator" << true << "2";
    QTest::newRow("no tree file") << "child_withoutTreeFile" << false << "";
}

void TestWindow::constructionScenarios()
{
    if (isChild())
        QSKIP("parent only");
    QFETCH(QString, function);
    QFETCH(bool, withTree);
    QFETCH(QString, storedSimulator);
    const QString dir = QDir::current().absoluteFilePath(QStringLiteral("run_") + function + storedSimulator);
    QDir(dir).removeRecursively();
    QVERIFY(QDir().mkpath(dir));
    if (withTree)
        copyTreeProfile(dir);

    QProcess child;
    child.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KORVEL_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("KORVEL_STORED_SIMULATOR"), storedSimulator);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {function});
    QVERIFY(child.waitForFinished(60000));
    // Only the end of the child's output: its failures, not the slot-binding warnings.
    const QByteArray out = child.readAll().right(3000);
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, out.constData());
    QVERIFY2(out.contains("Totals: "), out.constData());
}

void TestWindow::child_firstStart()
{
    if (!isChild())
        QSKIP("runs in a child process");
    QVERIFY(!QFile::exists(QStringLiteral("Effect.ini")));
    ModalCloser closer;
    clscurve w;
    QCoreApplication::processEvents();
    Ui::clscurve *ui = w.form();

    // The factory defaults, exactly the 57 keys, and no user set yet.
    {
        QSettings s(QStringLiteral("Effect.ini"), QSettings::IniFormat);
        QCOMPARE(s.allKeys().size(), 57);
        QCOMPARE(s.value("flag/state").toInt(), 1);
        QCOMPARE(s.value("serial/num").toString(), QStringLiteral("0"));
        QCOMPARE(s.value("flag/simulator").toInt(), 1);
        QCOMPARE(s.value("Trim/softtrimspd").toInt(), 5);
        QCOMPARE(s.value("physics/force_precent").toInt(), -20);
        QCOMPARE(s.value("stick/speed_max").toInt(), 35);
        QCOMPARE(s.value("Ground/Height").toFloat(), 2.4f);
        QCOMPARE(s.value("softTrim/speed").toInt(), 2);
        for (const QString &g : s.childGroups())
            QVERIFY2(!g.contains(QStringLiteral("user_")), qPrintable(g));
    }

    // The base set is loaded and shown.
    QVERIFY(ui->defult_conf->isChecked());
    QVERIFY(!ui->user_conf->isChecked());
    QCOMPARE(w.ini->flag_state, 1);
    QCOMPARE(ui->Motor_spinBox_force->value(), 20);
    QCOMPARE(ui->yoke_spinBox_force->value(), -20);
    QCOMPARE(ui->yoke_Affect_max->value(), 2500);
    QCOMPARE(ui->Ground_type->value(), 100);
    QCOMPARE(ui->Ground_height->value(), 2.4);
    QCOMPARE(ui->Stick_speed_max->value(), 35);
    QCOMPARE(ui->dynamic_spd_3->value(), 120.0);
    QCOMPARE(ui->softTrim->value(), 5.0);
    QCOMPARE(ui->Turbulences_precent_Sensitivity->value(), 50);
    QVERIFY(ui->Motor_checkBox->isChecked());
    QVERIFY(!ui->Turbulences_enable_state->isChecked());
    QVERIFY(ui->Trimstate->isChecked());
    QVERIFY(!ui->AP_enable_2->isChecked());
    QVERIFY(!ui->yoke_enginetype->isChecked());
    QCOMPARE(ui->yoke_lable_ldle_4->text(), QStringLiteral("Engine RPM"));
    QCOMPARE(ui->serial->currentText(), QStringLiteral("1"));   // "0" is no item
    QCOMPARE(w.mirrors.engine, 1);
    QCOMPARE(w.mirrors.turbulence, 0);
    QCOMPARE(w.mirrors.autopilot, 1);
    QCOMPARE(w.mirrors.washElevator, 1);
    QCOMPARE(w.mirrors.groundElevator, 1);
    QCOMPARE(w.mirrors.shakerElevator, 1);
    QCOMPARE(w.mirrors.dynamicForce, 0);
    QCOMPARE(w.mirrors.appliedAutopilot, 0);

    // Only the serial display timer runs; nothing was shown.
    QCOMPARE(activeTimers(w), QStringList{QStringLiteral("serialDisplay")});
    QCOMPARE(w.serialDisplayTimer.interval(), 10);
    QVERIFY(closer.boxes.isEmpty());
    QVERIFY(!w.lockScreen->isVisible());

    // Title, lamps and texts.
    QCOMPARE(w.windowTitle(), QStringLiteral("Korvel Tools V2.2.8 -D"));
    for (QLabel *lamp : {ui->label_deviceLed, ui->label_flightSimLed, ui->label_faultLed, ui->label_faultLed_2,
                         ui->label_faultLed_3, ui->AP_state})
        QCOMPARE(lamp->styleSheet(), w.lampYellow);
    QVERIFY(w.lampYellow.endsWith(QStringLiteral("background:yellow")));
    QVERIFY(w.lampRed.startsWith(QStringLiteral("min-width: 10px;min-height:10px;")));
    QCOMPARE(ui->label_deviceConState->text(), QStringLiteral("Device Offline"));
    QCOMPARE(ui->label_flightSimConState->text(), QStringLiteral("FlightSim Not Connected"));
    QCOMPARE(ui->label_faultState->text(), QStringLiteral("Pitch No Fault Response"));
    QCOMPARE(ui->label_faultState_2->text(), QStringLiteral("Roll No Fault Response"));
    QCOMPARE(ui->label_faultState_3->text(), QStringLiteral("SYS No Fault Response"));
    QCOMPARE(ui->lableAP->text(), QStringLiteral("AutoPilot State"));

    // Hidden widgets, the disabled exit button, the removed pages.
    for (QWidget *hidden : {static_cast<QWidget *>(ui->textEdit_Debug), static_cast<QWidget *>(ui->updatabar),
                            static_cast<QWidget *>(ui->label_69), static_cast<QWidget *>(ui->comboBox_port),
                            static_cast<QWidget *>(ui->pushButton_searchPort), static_cast<QWidget *>(ui->label),
                            static_cast<QWidget *>(ui->lineEdit_airplane_speed), static_cast<QWidget *>(ui->label_2),
                            static_cast<QWidget *>(ui->setting), static_cast<QWidget *>(ui->yoke_lable_ldle_3),
                            static_cast<QWidget *>(ui->LCD), static_cast<QWidget *>(ui->Test),
                            static_cast<QWidget *>(ui->serialPortGroupBox_9),
                            static_cast<QWidget *>(ui->serialPortGroupBox_10)})
        QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
    QVERIFY(!ui->actionConf_Setting->isVisible());
    QVERIFY(!ui->ExitBoot->isEnabled());
    QCOMPARE(ui->tabWidget_3->count(), 4);
    QCOMPARE(ui->tabWidget_3->tabText(3), QStringLiteral("Effect"));
    QCOMPARE(ui->deviceGroupBox_2->styleSheet(), QStringLiteral("QGroupBox{ font-weight: bold; }"));
    QCOMPARE(ui->yoke->styleSheet(), QStringLiteral("QGroupBox{font-weight: bold;}"));
    QCOMPARE(w.settingPage->windowTitle(), QStringLiteral("Factory Settings"));

    // The curve plot.
    QCustomPlot *plot = ui->customplot1;
    QCOMPARE(plot->graphCount(), 8);
    QCOMPARE(plot->xAxis->range().lower, -100.0);
    QCOMPARE(plot->xAxis->range().upper, 100.0);
    QCOMPARE(plot->yAxis->range().lower, -120.0);
    QCOMPARE(plot->yAxis->range().upper, 120.0);
    QCOMPARE(plot->xAxis->label(), QStringLiteral("Position（mm）"));
    QCOMPARE(plot->yAxis->label(), QStringLiteral("Force（N）"));
    QCOMPARE(plot->xAxis->ticker()->tickCount(), 11);
    QCOMPARE(plot->graph(0)->pen().color(), QColor(Qt::blue));
    QCOMPARE(plot->graph(2)->pen().style(), Qt::DashLine);
    QCOMPARE(plot->graph(4)->pen().color(), QColor(Qt::red));
    QCOMPARE(plot->graph(7)->pen().color(), QColor(Qt::black));
    QCOMPARE(plot->graph(4)->data()->size(), 2);
    QCOMPARE(plot->graph(5)->data()->size(), 2);
    QCOMPARE(plot->graph(0)->data()->size(), 0);
    plot->xAxis->setRange(-50, 50);
    QCOMPARE(plot->xAxis2->range().lower, -50.0);   // the top axis follows
    QVERIFY(plot->interactions().testFlag(QCP::iRangeDrag));
    QVERIFY(plot->interactions().testFlag(QCP::iSelectPlottables));

    // The stored simulator 1 selects "MSFS".
    QCOMPARE(ui->devicesComboBox_FSimSW->currentIndex(), 1);
}

void TestWindow::child_secondStartLoadsStoredBase()
{
    if (!isChild())
        QSKIP("runs in a child process");
    {
        setini first;
        QCOMPARE(first.initDefaults(), 0);
    }
    writeIni({{"Engine/force_precent", 33}, {"Ground/type", 1}, {"flag/simulator", 0}});
    clscurve w;
    Ui::clscurve *ui = w.form();
    QCOMPARE(ui->Motor_spinBox_force->value(), 33);
    QVERIFY(ui->defult_conf->isChecked());
    QVERIFY(ui->yoke_enginetype->isChecked());
    QCOMPARE(ui->yoke_lable_ldle_4->text(), QStringLiteral("Engine RPM/N1"));
    QCOMPARE(ui->yoke_lable_mami->text(), QStringLiteral("Maximum engine RPM/N2"));
    QCOMPARE(ui->devicesComboBox_FSimSW->currentIndex(), 0);
}

void TestWindow::child_userProfileThree()
{
    if (!isChild())
        QSKIP("runs in a child process");
    writeIni({{"flag/state", 2}, {"serial/num", "3"}, {"flag/simulator", 0}, {"Engine/force_precent", 20},
              {"3user_Engine/force_precent", 44}, {"3user_Engine/state", 0}, {"3user_Trim/softtrim", 1},
              {"3user_Trim/softtrimspd", 9}, {"3user_Ground/Height", 1.5}, {"3user_ap/state", 2},
              {"7user_Engine/force_precent", 77}});
    clscurve w;
    Ui::clscurve *ui = w.form();
    QVERIFY(ui->user_conf->isChecked());
    QVERIFY(!ui->defult_conf->isChecked());
    QCOMPARE(ui->serial->currentText(), QStringLiteral("3"));
    QCOMPARE(ui->Motor_spinBox_force->value(), 44);
    QVERIFY(!ui->Motor_checkBox->isChecked());
    QCOMPARE(w.mirrors.engine, 0);
    QCOMPARE(ui->softTrim->value(), 9.0);
    QCOMPARE(ui->Ground_height->value(), 1.5);
    QVERIFY(ui->AP_enable_2->isChecked());
    // A stored switch of 2 counts as off.
    QVERIFY(!ui->AP_enable->isChecked());
    QCOMPARE(w.mirrors.autopilot, 0);
    // Keys that the user set does not hold load as zeros.
    QCOMPARE(ui->yoke_Affect_max->value(), 0);
}

void TestWindow::child_unknownStateLoadsNothing()
{
    if (!isChild())
        QSKIP("runs in a child process");
    writeIni({{"flag/state", 5}, {"serial/num", "4"}, {"flag/simulator", 0}, {"Engine/force_precent", 20},
              {"Engine/state", 1}, {"4user_Engine/force_precent", 40}});
    clscurve w;
    Ui::clscurve *ui = w.form();
    QVERIFY(!ui->user_conf->isChecked());
    QVERIFY(!ui->defult_conf->isChecked());
    QCOMPARE(w.ini->flag_state, 0);
    QCOMPARE(w.ini->serial_num, 4);   // the state check reads it
    QCOMPARE(ui->serial->currentText(), QStringLiteral("4"));
    QCOMPARE(ui->Motor_spinBox_force->value(), 0);
    QVERIFY(!ui->Motor_checkBox->isChecked());
    QCOMPARE(ui->Ground_type->value(), 0);
    QCOMPARE(ui->softTrim->value(), 0.0);
    QCOMPARE(ui->yoke_spinBox_force->value(), 0);
}

void TestWindow::child_storedSimulator()
{
    if (!isChild())
        QSKIP("runs in a child process");
    {
        setini first;
        first.initDefaults();
    }
    // A stored index outside the three items counts as X-Plane instead of
    // selecting no item at all.
    const int stored = qEnvironmentVariableIntValue("KORVEL_STORED_SIMULATOR");
    writeIni({{"flag/simulator", stored}});
    clscurve w;
    const int expected = (stored >= 0 && stored <= 2) ? stored : 0;
    QCOMPARE(w.form()->devicesComboBox_FSimSW->currentIndex(), expected);
}

void TestWindow::child_withoutTreeFile()
{
    if (!isChild())
        QSKIP("runs in a child process");
    clscurve w;
    QTreeView *view = w.form()->view;
    QVERIFY(view->model());
    QCOMPARE(view->model()->rowCount(), 0);
    QCOMPARE(view->model()->columnCount(), 6);
    QCOMPARE(view->model()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("Access"));
    // A click on the empty view changes nothing.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.form()->tabWidget->setCurrentIndex(2);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(w.treeParentRow, -1);
    QCOMPARE(w.treeRow, -1);
}

// ---- the bare form --------------------------------------------------------------

void TestWindow::formNamesDifferingByCaseStayDistinct()
{
    QMainWindow host;
    Ui::clscurve ui;
    ui.setupUi(&host);
    QVERIFY(host.findChild<QDoubleSpinBox *>(QStringLiteral("Ground_height")));
    QCOMPARE(host.findChild<QLabel *>(QStringLiteral("Ground_Height"))->text(), QStringLiteral("User AGL"));
    QCOMPARE(host.findChild<QLabel *>(QStringLiteral("Ground_Height_2"))->text(), QStringLiteral("Soft AGL"));
    QCOMPARE(host.findChild<QLabel *>(QStringLiteral("Stick_Speed_min"))->text(),
             QStringLiteral("Onset stall warning speed"));
    QCOMPARE(host.findChild<QLabel *>(QStringLiteral("Stick_Speed_max"))->text(),
             QStringLiteral("Max stall warning speed"));
    QCOMPARE(host.findChild<QSpinBox *>(QStringLiteral("Stick_speed_min"))->maximum(), 500);
    QCOMPARE(host.findChild<QSpinBox *>(QStringLiteral("Stick_speed_max"))->maximum(), 500);
    // The group box named "setting" on the Effects tab is the AGL box.
    QCOMPARE(host.findChild<QGroupBox *>(QStringLiteral("setting"))->title(), QStringLiteral("AGL"));
    QCOMPARE(host.findChild<QGroupBox *>(QStringLiteral("Configure"))->title(), QStringLiteral("Effects Profile"));

    // Every object name is unique.
    QSet<QString> names;
    for (QObject *o : host.findChildren<QObject *>()) {
        // Skip what the widgets name inside themselves (tab bar scroll buttons and the like).
        if (o->objectName().isEmpty() || o->objectName().startsWith(QLatin1String("qt_"))
            || qobject_cast<QTabBar *>(o->parent()))
            continue;
        QVERIFY2(!names.contains(o->objectName()), qPrintable(o->objectName()));
        names.insert(o->objectName());
    }
}

void TestWindow::formRangesAndStartValues()
{
    QMainWindow host;
    Ui::clscurve ui;
    ui.setupUi(&host);
    QCOMPARE(host.objectName(), QStringLiteral("clscurve"));
    QCOMPARE(host.size(), QSize(1026, 741));
    QCOMPARE(host.windowTitle(), QStringLiteral("MainWindow"));

    QCOMPARE(ui.Ground_type->minimum(), 0);
    QCOMPARE(ui.Ground_type->maximum(), 101);
    QCOMPARE(ui.Ground_type->value(), 50);
    QCOMPARE(ui.Ground_type->pageStep(), 10);
    QCOMPARE(ui.Ground_type->tickInterval(), 10);
    QCOMPARE(ui.Ground_type->tickPosition(), QSlider::TicksBelow);
    QCOMPARE(ui.softTrim->minimum(), 0.0);
    QCOMPARE(ui.softTrim->maximum(), 200.0);
    QCOMPARE(ui.softTrim->decimals(), 0);
    QCOMPARE(ui.softTrim->value(), 4.0);
    QCOMPARE(ui.Turbulences_precent_Sensitivity->value(), 3);
    QCOMPARE(ui.Turbulences_precent_ramp->maximum(), 10);
    QCOMPARE(ui.Ground_take_speed->maximum(), 150);
    QCOMPARE(ui.yoke_spinBox_force->minimum(), -100);
    QCOMPARE(ui.yoke_Affect_min->maximum(), 50000);
    QCOMPARE(ui.RPM->maximum(), 10000);
    QCOMPARE(ui.spinBox_6->maximum(), 1000);
    for (QDoubleSpinBox *box : {ui.Ground_height, ui.Stick_AoA_min, ui.Stick_AoA_max}) {
        QCOMPARE(box->minimum(), 0.0);
        QCOMPARE(box->maximum(), 99.99);
    }
    for (QSpinBox *box : {ui.spinBox_4, ui.spinBox_7, ui.spinBox_8})
        QCOMPARE(box->maximum(), 99);
    const QList<QPair<QDoubleSpinBox *, double>> dynamic = {
        {ui.dynamic_spd, 200}, {ui.dynamic_spd_2, 200}, {ui.dynamic_spd_3, 400}, {ui.dynamic_spd_4, 400},
        {ui.dynamic_ratio, 100}, {ui.dynamic_ratio_2, 100}, {ui.dynamic_zone, 100}, {ui.dynamic_zone_2, 100}};
    for (const auto &d : dynamic) {
        QCOMPARE(d.first->minimum(), 0.0);
        QCOMPARE(d.first->maximum(), d.second);
        QCOMPARE(d.first->decimals(), 2);
    }
    for (QDoubleSpinBox *pos : {ui.pos2, ui.pos3, ui.pos4, ui.pos5})
        QCOMPARE(pos->minimum(), -100.0);
    for (QDoubleSpinBox *foc : {ui.foc2, ui.foc3, ui.foc4, ui.foc5})
        QCOMPARE(foc->minimum(), -200.0);
    QVERIFY(!ui.pos4->isEnabled() && !ui.foc4->isEnabled() && ui.pos5->isEnabled());

    // Every other spin box starts at 0.
    for (QAbstractSpinBox *box : host.findChildren<QAbstractSpinBox *>()) {
        if (box == ui.softTrim || box == ui.Turbulences_precent_Sensitivity)
            continue;
        if (auto *s = qobject_cast<QSpinBox *>(box))
            QVERIFY2(s->value() == 0, qPrintable(box->objectName()));
        if (auto *d = qobject_cast<QDoubleSpinBox *>(box))
            QVERIFY2(d->value() == 0.0, qPrintable(box->objectName()));
    }

    QVERIFY(ui.pushButton_channel_0->isCheckable() && ui.pushButton_channel_0->isChecked());
    QVERIFY(ui.pushButton_channel_1->isCheckable() && !ui.pushButton_channel_1->isChecked());
    QVERIFY(!ui.pushButton_closePort->isEnabled());
    QVERIFY(!ui.pushButton_Disconnect_Fsim->isEnabled());
    QVERIFY(!ui.btn_disable->isEnabled() && !ui.btn_apply->isEnabled() && ui.btn_test->isEnabled());
    QVERIFY(!ui.pushButton_startUpdate->isEnabled());
    QVERIFY(!ui.defult_conf->isChecked() && !ui.user_conf->isChecked());
    QVERIFY(ui.pushButton_yoke_phy_change->isCheckable());
    QVERIFY(ui.lineEdit_airplane_speed->isReadOnly() && ui.lineEdit_pos_0->isReadOnly());
    QVERIFY(!ui.l1->isReadOnly());
    QCOMPARE(ui.lineEdit_send_value->text(), QStringLiteral("0.0"));
    QCOMPARE(ui.lineEdit_speed_at_middle->text(), QStringLiteral("30"));
    QCOMPARE(ui.lineEdit_speed_HW_trim->text(), QStringLiteral("40"));
    QCOMPARE(ui.LCD_AoA->intValue(), 88888);
    QCOMPARE(ui.LCD_AoA->segmentStyle(), QLCDNumber::Flat);
    QCOMPARE(ui.updatabar->value(), 0);
    QCOMPARE(ui.pushButton_FactoryReset->styleSheet(), QStringLiteral("background-color: rgb(255, 0, 0);"));
}

void TestWindow::formTextsMenusAndTabs()
{
    QMainWindow host;
    Ui::clscurve ui;
    ui.setupUi(&host);
    auto tabs = [](QTabWidget *t) {
        QStringList l;
        for (int i = 0; i < t->count(); ++i)
            l << t->tabText(i);
        return l;
    };
    QCOMPARE(tabs(ui.tabWidget), (QStringList{"General", "Effects", "Configure"}));
    QCOMPARE(tabs(ui.tabWidget_2), (QStringList{"General"}));
    QCOMPARE(tabs(ui.tabWidget_3),
             (QStringList{"Physics", "Stall Warning", "Ground", "Effect", "test", QStringLiteral("参数表")}));
    QCOMPARE(ui.tabWidget_3->currentIndex(), 0);

    QCOMPARE(ui.menu_settings->title(), QStringLiteral("Tools"));
    QCOMPARE(ui.menuMore->title(), QStringLiteral("Help"));
    QStringList menuActions;
    for (QAction *a : ui.menu_settings->actions())
        menuActions << a->objectName();
    QCOMPARE(menuActions, (QStringList{"action_1", "actionKey_Remap", "actionConf_Setting"}));
    QCOMPARE(ui.action_1->text(), QStringLiteral("Factory Settings"));
    QCOMPARE(ui.action_3->text(), QStringLiteral("Configer Settings"));
    QCOMPARE(ui.menubar->actions().size(), 2);

    QStringList items;
    for (int i = 0; i < ui.devicesComboBox_FSimSW->count(); ++i)
        items << ui.devicesComboBox_FSimSW->itemText(i);
    QCOMPARE(items, (QStringList{"X-Plane", "MSFS", "Prepar3D"}));
    QCOMPARE(ui.serial->count(), 10);
    QCOMPARE(ui.serial->itemText(9), QStringLiteral("10"));

    QCOMPARE(ui.TrimSet->title(), QStringLiteral(" Hardware Trim"));
    QCOMPARE(ui.label_deviceConState->text(), QStringLiteral("TextLabelfdgfsdgsfdgfdsgd"));
    QCOMPARE(ui.pushButton->text(), QStringLiteral("输入"));
    QCOMPARE(ui.label_16->text(), QStringLiteral("空速"));
    QCOMPARE(ui.label_31->text(), QStringLiteral("Pitch配平"));
    QCOMPARE(ui.yoke_lable_ldle_9->font().family(), QStringLiteral("仿宋"));
    QCOMPARE(ui.yoke_lable_ldle_9->font().pointSize(), 18);
    QCOMPARE(ui.yoke_lable_max->text(),
             QStringLiteral("<html><head/><body><p>Yoke neutral position speed<br/></p></body></html>"));
    QCOMPARE(ui.label_deviceLed->text(), QString());
    QCOMPARE(ui.Sys->geometry(), QRect(20, 80, 981, 71));
    QCOMPARE(ui.tabWidget_3->geometry(), QRect(13, 150, 971, 431));
    QCOMPARE(ui.tabWidget_3->tabShape(), QTabWidget::Triangular);
    QVERIFY(ui.tabWidget_3->documentMode());
    QCOMPARE(ui.customplot1->minimumSize(), QSize(520, 520));

    // Layout cells.
    auto cell = [](QWidget *w) {
        auto *grid = qobject_cast<QGridLayout *>(w->parentWidget()->layout());
        int r = -1, c = -1, rs = 0, cs = 0;
        if (grid)
            grid->getItemPosition(grid->indexOf(w), &r, &c, &rs, &cs);
        return QList<int>{r, c, rs, cs};
    };
    QCOMPARE(cell(ui.pushButton_closePort), (QList<int>{3, 0, 1, 1}));
    QCOMPARE(cell(ui.devicesComboBox_FSimSW), (QList<int>{0, 1, 1, 2}));
    QCOMPARE(cell(ui.pushButtonFocPos), (QList<int>{9, 1, 1, 2}));
    QCOMPARE(cell(ui.Ground_type), (QList<int>{5, 0, 1, 2}));
    QCOMPARE(cell(ui.view), (QList<int>{0, 1, 4, 1}));
    QCOMPARE(cell(ui.Stick_overspeed_state), (QList<int>{7, 1, 1, 1}));
}

void TestWindow::everyNamedSlotHasItsWidget()
{
    // A slot named on_<object>_<signal> only works when the form has that object.
    const QSet<QString> unbound = {"on_pushButton_2_clicked", "on_Ini_rename_clicked", "on_yoke_Rudder_stateChanged",
                                   "on_yoke_Elevator_stateChanged", "on_yoke_Aileron_stateChanged",
                                   "on_Ground_Elevator_state_stateChanged", "on_Ground_Aileron_state_stateChanged",
                                   "on_Ground_Rudder_state_stateChanged", "on_Stick_Elevator_stateChanged",
                                   "on_Stick_Rudder_stateChanged", "on_currentChanged"};
    QMainWindow host;
    Ui::clscurve ui;
    ui.setupUi(&host);
    const QMetaObject &mo = clscurve::staticMetaObject;
    int bound = 0;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        const QString name = QString::fromLatin1(mo.method(i).name());
        if (!name.startsWith(QLatin1String("on_")) || unbound.contains(name))
            continue;
        const int cut = name.lastIndexOf(QLatin1Char('_'));
        const QString object = name.mid(3, cut - 3);
        const QString signal = name.mid(cut + 1);
        QObject *child = host.findChild<QObject *>(object);
        QVERIFY2(child, qPrintable(name));
        if (signal == QLatin1String("clicked"))
            QVERIFY2(qobject_cast<QPushButton *>(child), qPrintable(name));
        else if (signal == QLatin1String("stateChanged"))
            QVERIFY2(qobject_cast<QCheckBox *>(child), qPrintable(name));
        else if (signal == QLatin1String("currentIndexChanged"))
            QVERIFY2(qobject_cast<QComboBox *>(child), qPrintable(name));
        ++bound;
    }
    QCOMPARE(bound, 33 + 16 + 1);
}

// ---- the window in this process ----------------------------------------------------

clscurve *TestWindow::sharedWindow()
{
    if (!m_window) {
        copyTreeProfile(QDir::currentPath());
        m_window = new clscurve();
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window))
            qWarning("window not exposed");
    }
    return m_window;
}

void TestWindow::clickOnNamedButtonReachesItsSlot()
{
    clscurve *w = sharedWindow();
    Ui::clscurve *ui = w->form();
    ui->tabWidget->setCurrentIndex(2);
    ui->ExitBoot->setEnabled(true);
    std::memset(w->txFrame, 0, sizeof w->txFrame);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^ExitBootMode \"\\d\\d:\\d\\d:\\d\\d\"$")));
    QTest::mouseClick(ui->ExitBoot, Qt::LeftButton);
    QVERIFY(!ui->ExitBoot->isEnabled());
    QCOMPARE(int(w->txFrame[0]), 0xAE);
    QCOMPARE(int(w->txFrame[3]), 0x19);
    QCOMPARE(int(w->txFrame[4]), 0);
}

void TestWindow::menuActionsAndSecondaryWindows()
{
    clscurve *w = sharedWindow();
    QVERIFY(!w->lockScreen->isVisible());
    w->form()->action_1->trigger();
    QVERIFY(w->lockScreen->isVisible());
    w->lockScreen->hide();
    // The lock screen's signal shows the settings page.
    emit w->lockScreen->sendShowSetting();
    QVERIFY(w->settingPage->isVisible());
    QCOMPARE(w->settingShownFlag, 1);
    w->settingPage->hide();

    // The profile dialog opens as a tool window of the main window with the
    // window's channel records.
    w->chanSetImage[0].set_damping_variable(1.5f);
    w->chanSetImage[1].set_HW_default_speed(7.25f);
    w->setConfInit();
    QCOMPARE(w->setConf->parentWidget(), static_cast<QWidget *>(w));
    QVERIFY(w->setConf->windowFlags().testFlag(Qt::Tool));
    QVERIFY(w->setConf->isVisible());
    QCOMPARE(w->setConf->chanConfig[0].damping_variable(), 1.5f);
    QCOMPARE(w->setConf->chanConfig[1].HW_default_speed(), 7.25f);
    w->setConf->hide();
}

void TestWindow::onlineGuard()
{
    clscurve *w = sharedWindow();
    const QList<QPair<int, int>> offline = {{0, 0}, {1, 0}, {0, 1}};
    for (const auto &flags : offline) {
        w->portOpenFlag = flags.first;
        w->deviceAnsweredFlag = flags.second;
        ModalCloser closer;
        QVERIFY(!w->isOnline());
        QVERIFY(!w->checkOnline());
        QCOMPARE(closer.boxes, QStringList{QStringLiteral("WARNING|Device Offline")});
        QCOMPARE(activeTimers(*w), QStringList{QStringLiteral("serialDisplay")});
    }
    // A guarded slot through its button: one box, and nothing else changes.
    {
        Ui::clscurve *ui = w->form();
        ui->tabWidget->setCurrentIndex(0);
        w->portOpenFlag = 1;
        w->deviceAnsweredFlag = 0;
        ModalCloser closer;
        QTest::mouseClick(ui->pushButton_connect_Fsim, Qt::LeftButton);
        QTest::qWait(30);
        QCOMPARE(closer.boxes, QStringList{QStringLiteral("WARNING|Device Offline")});
        QVERIFY(ui->devicesComboBox_FSimSW->isEnabled());
        QVERIFY(ui->pushButton_connect_Fsim->isEnabled());
        QVERIFY(!ui->pushButton_Disconnect_Fsim->isEnabled());
        QCOMPARE(activeTimers(*w), QStringList{QStringLiteral("serialDisplay")});
    }
    w->portOpenFlag = 1;
    w->deviceAnsweredFlag = 1;
    {
        ModalCloser closer;
        QVERIFY(w->checkOnline());
        QTest::qWait(30);
        QVERIFY(closer.boxes.isEmpty());
    }
    w->portOpenFlag = 0;
    w->deviceAnsweredFlag = 0;
}

void TestWindow::timerStartKeepsOneConnection()
{
    clscurve *w = sharedWindow();
    w->startTxTimer();
    w->startTxTimer();
    QVERIFY(w->txTimer.isActive());
    QCOMPARE(w->txTimer.interval(), 50);
    QCOMPARE(w->txTimer.timerType(), Qt::PreciseTimer);
    QCOMPARE(TimerPeek::timeoutReceivers(w->txTimer), 1);
    w->stopTxTimer();
    QVERIFY(!w->txTimer.isActive());
    QCOMPARE(TimerPeek::timeoutReceivers(w->txTimer), 0);

    // The settings page switching the polls on while they run.
    w->onChannel_num_send(1);
    w->onChannel_num_send(1);
    QCOMPARE(TimerPeek::timeoutReceivers(w->txTimer), 1);
    QCOMPARE(TimerPeek::timeoutReceivers(w->txInforTimer), 1);
    QCOMPARE(w->txInforTimer.interval(), 500);
    w->onChannel_num_send(0);
    QVERIFY(!w->txTimer.isActive() && !w->txInforTimer.isActive());
    w->onChannel_num_send(0);   // already stopped: nothing changes
    QVERIFY(!w->txTimer.isActive());

    w->startSearchDeviceTimer();
    w->searchTickCount = 7;
    w->stopSearchDeviceTimerIfActive();
    QCOMPARE(w->searchTickCount, 0);
    w->startDeviceTimers();
    w->startTrimTimer();
    QCOMPARE(TimerPeek::timeoutReceivers(w->trimTimer), 1);
    w->stopDeviceTimers();
    QCOMPARE(activeTimers(*w), QStringList{QStringLiteral("serialDisplay")});

    // A send rate that gives no interval leaves the poll stopped.
    w->sendRate = 0;
    w->startTxTimer();
    QVERIFY(!w->txTimer.isActive());
    w->sendRate = 3;
    w->startTxTimer();
    QCOMPARE(w->txTimer.interval(), 333);
    w->stopTxTimer();
    w->sendRate = 20;

    // The effect timer keeps its one connection made at construction.
    w->startEffectTimer();
    w->startEffectTimer();
    QCOMPARE(TimerPeek::timeoutReceivers(w->effectTimer), 1);
    w->stopEffectTimer();
    QCOMPARE(TimerPeek::timeoutReceivers(w->effectTimer), 1);
}

void TestWindow::parameterTreeView()
{
    clscurve *w = sharedWindow();
    Ui::clscurve *ui = w->form();
    ui->tabWidget->setCurrentIndex(2);
    QTreeView *view = ui->view;
    QAbstractItemModel *model = view->model();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->rowCount(model->index(0, 0)), 4);
    QCOMPARE(model->rowCount(model->index(1, 0)), 15);
    QCOMPARE(model->rowCount(model->index(2, 0)), 15);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QVERIFY(!view->isExpanded(model->index(0, 0)));
    QVERIFY(view->isExpanded(model->index(1, 0)));
    QVERIFY(view->isExpanded(model->index(2, 0)));
    QCOMPARE(view->header()->sectionSize(0), 200);
    QCOMPARE(view->header()->sectionSize(1), 90);
    QCOMPARE(view->header()->sectionSize(2), 140);
    QCOMPARE(view->header()->sectionSize(4), 60);
    QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);

    // A child row of the pitch group.
    const QModelIndex child = model->index(4, 1, model->index(1, 0));
    view->scrollTo(child);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(child).center());
    QCOMPARE(w->treeParentRow, 1);
    QCOMPARE(w->treeRow, 4);
    QCOMPARE(ui->statusbar->currentMessage(), QStringLiteral("Position: (4,1)"));
    QCOMPARE(ui->statusbar->styleSheet(), QStringLiteral("color:black"));

    // A top-level row.
    const QModelIndex group = model->index(2, 0);
    view->scrollTo(group);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(group).center());
    QCOMPARE(w->treeParentRow, -1);
    QCOMPARE(w->treeRow, 2);
    QCOMPARE(ui->statusbar->currentMessage(), QStringLiteral("Position: (2,0) in top level"));
}

void TestWindow::screenshotsOfTheMainTabs()
{
    clscurve *w = sharedWindow();
    Ui::clscurve *ui = w->form();
    w->resize(1026, 741);
    for (int i = 0; i < ui->tabWidget->count(); ++i) {
        ui->tabWidget->setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QPixmap shot = w->grab();
        QVERIFY(!shot.isNull());
        const QString path = QDir::current().absoluteFilePath(
            QStringLiteral("window_tab%1_%2.png").arg(i).arg(ui->tabWidget->tabText(i)));
        QVERIFY(shot.save(path));
        qInfo("screenshot: %s", qPrintable(path));
    }
    ui->tabWidget->setCurrentIndex(0);
}

void TestWindow::cleanupTestCase()
{
    delete m_window;
    m_window = nullptr;
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
