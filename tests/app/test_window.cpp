// The main window through the real window: construction from Effect.ini, the
// form's names, ranges and start values, slots bound by name, the online
// guard, the timers, the parameter tree view, and on every page of the four
// windows every text fitting its widget (with a screenshot of each page).
//
// The window binds the simulator's sockets, so every construction scenario
// runs in a child process of its own (this executable, started with the name
// of one child_ function and KORVEL_CHILD=1, in a fresh directory).

#include "clscurve.h"
#include "formfont.h"
#include "ui_clscurve.h"

#include "lockscreenw.h"
#include "remap.h"
#include "setconf.h"
#include "setini.h"
#include "setting.h"
#include "testsupport.h"

#include <QtTest>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyleOption>
#include <QTabBar>
#include <QTreeView>

namespace {

bool isChild()
{
    return qEnvironmentVariableIntValue("KORVEL_CHILD") == 1;
}

// Counts the connections of a timer's timeout(). QObject::receivers is
// protected: a pointer to it, taken in a subclass, applies to any object (a
// cast of the timer to the subclass would not be one).
class TimerPeek : public QObject
{
public:
    static int timeoutReceivers(const QTimer &t)
    {
        int (QObject::*receivers)(const char *) const = &TimerPeek::receivers;
        return (t.*receivers)(SIGNAL(timeout()));
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

QStringList tabTexts(const QTabWidget *tabs)
{
    QStringList texts;
    for (int i = 0; i < tabs->count(); ++i)
        texts << tabs->tabText(i);
    return texts;
}

struct Prop
{
    const char *object;
    const char *property;
    QVariant expected;
};

// Compares properties of the window's objects found by name, as text (so 35
// and 35.0 are equal); a missing object or property fails.
void expectProps(const QObject &root, const QList<Prop> &props)
{
    for (const Prop &p : props) {
        const QObject *o = root.findChild<QObject *>(QLatin1String(p.object));
        QVERIFY2(o, p.object);
        const QVariant actual = o->property(p.property);
        QVERIFY2(actual.isValid(), p.property);
        QVERIFY2(actual.toString() == p.expected.toString(),
                 qPrintable(QStringLiteral("%1.%2 is %3, expected %4")
                                .arg(QLatin1String(p.object), QLatin1String(p.property), actual.toString(),
                                     p.expected.toString())));
    }
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


// ---- texts that fit their widgets ----------------------------------------------

// The room a line edit gives its text: inside its frame, less its text margins,
// its own 2 px on each side and a pixel for the cursor.
int lineEditRoom(const QLineEdit *e)
{
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e) : 0;
    const QRect r = e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e).marginsRemoved(e->textMargins());
    return r.width() - 2 * 2 - 1;
}

// The texts a spin box shows: its value now and at both ends of its range.
QStringList spinBoxTexts(QAbstractSpinBox *box)
{
    QStringList texts{box->text()};
    const QSignalBlocker block(box);
    auto atEnds = [&texts](auto *b) {
        const auto value = b->value();
        for (const auto end : {b->minimum(), b->maximum()}) {
            b->setValue(end);
            texts << b->text();
        }
        b->setValue(value);
    };
    if (auto *d = qobject_cast<QDoubleSpinBox *>(box))
        atEnds(d);
    else if (auto *i = qobject_cast<QSpinBox *>(box))
        atEnds(i);
    return texts;
}

// "name "text" needs W x H in w x h" when the widget's text does not fit the
// room its style gives it (as the widget is now laid out), else empty.
QString clippedText(QWidget *w)
{
    const QFontMetrics fm = w->fontMetrics();
    QStyle *style = w->style();
    QString text;
    QSize need, room;
    // Text is centred in its height: a line may overhang by less than half
    // its height with no ink lost, and a wrapped text that needs a further
    // line loses it.
    auto lostLine = [&fm](int needHeight, int roomHeight) { return needHeight - roomHeight > fm.height() / 2; };
    auto single = [&](const QString &t, int roomWidth, int roomHeight) {
        // A mnemonic's '&' is not drawn; "&&" draws one.
        QString shown = t;
        shown.replace(QLatin1String("&&"), QString(QChar(1))).remove(QLatin1Char('&')).replace(QChar(1), QLatin1Char('&'));
        const QSize n(fm.horizontalAdvance(shown), fm.height());
        if (n.width() > roomWidth || lostLine(n.height(), roomHeight)) {
            text = t;
            need = n;
            room = QSize(roomWidth, roomHeight);
        }
    };
    if (auto *label = qobject_cast<QLabel *>(w)) {
        if (label->text().isEmpty())
            return QString();
        const QSize n = label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint();
        if (n.width() > label->width() || lostLine(n.height(), label->height())) {
            text = label->text();
            need = n;
            room = label->size();
        }
    } else if (auto *button = qobject_cast<QPushButton *>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(button);
        if (button->autoDefault() || button->isDefault())
            opt.features |= QStyleOptionButton::AutoDefaultButton;
        const QRect r = style->subElementRect(QStyle::SE_PushButtonContents, &opt, button);
        if (!button->text().isEmpty())
            single(button->text(), r.width(), button->height());
    } else if (qobject_cast<QCheckBox *>(w) || qobject_cast<QRadioButton *>(w)) {
        auto *button = static_cast<QAbstractButton *>(w);
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        const QRect r = style->subElementRect(
            qobject_cast<QCheckBox *>(w) ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &opt, button);
        if (!button->text().isEmpty())
            single(button->text(), r.width(), button->height());
    } else if (auto *box = qobject_cast<QGroupBox *>(w)) {
        QStyleOptionGroupBox opt;
        opt.initFrom(box);
        opt.text = box->title();
        opt.lineWidth = 1;
        opt.textAlignment = box->alignment();
        opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect r = style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, box);
        // The title is drawn from its place onwards and cut at the box's edge.
        if (!box->title().isEmpty())
            single(box->title(), box->width() - r.left(), box->height());
    } else if (auto *spin = qobject_cast<QAbstractSpinBox *>(w)) {
        const QLineEdit *edit = spin->findChild<QLineEdit *>();
        for (const QString &t : spinBoxTexts(spin))
            if (text.isEmpty())
                single(t, lineEditRoom(edit), INT_MAX);
    } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        opt.editable = combo->isEditable();
        opt.frame = combo->hasFrame();
        const QRect r = style->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count() && text.isEmpty(); ++i)
            single(combo->itemText(i), r.width() - 2, combo->height());
    } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        // Line edits inside spin boxes and combo boxes are measured with them.
        if (!qobject_cast<QAbstractSpinBox *>(w->parentWidget()) && !qobject_cast<QComboBox *>(w->parentWidget())
            && !edit->text().isEmpty())
            single(edit->text(), lineEditRoom(edit), INT_MAX);
    } else if (auto *bar = qobject_cast<QTabBar *>(w)) {
        // Tabs that need the scroll buttons hide some of their titles.
        if (bar->sizeHint().width() > bar->width()) {
            QStringList titles;
            for (int i = 0; i < bar->count(); ++i)
                titles << bar->tabText(i);
            text = titles.join(QLatin1Char('|'));
            need = bar->sizeHint();
            room = bar->size();
        }
    }
    if (text.isEmpty())
        return QString();
    return QStringLiteral("%1 \"%2\" needs %3x%4 in %5x%6")
        .arg(w->objectName(), text)
        .arg(need.width())
        .arg(need.height())
        .arg(room.width())
        .arg(room.height());
}

// Shows each page of every tab widget of a top-level window in turn and lists
// the widgets whose text does not fit, each once. Each page is saved as an
// image in shotDir: on a real display as the screen shows the window, else as
// the window paints itself.
QStringList clippedTextsOnEveryPage(QWidget *top, const QString &shotDir)
{
    QStringList clipped;
    QSet<QWidget *> seen;
    const bool realScreen = QGuiApplication::platformName() != QLatin1String("offscreen");
    auto visit = [&](const QString &page) {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        for (QWidget *c : top->findChildren<QWidget *>()) {
            if (!c->isVisible() || seen.contains(c))
                continue;
            seen.insert(c);
            const QString entry = clippedText(c);
            if (!entry.isEmpty())
                clipped << entry;
        }
        QPixmap shot;
        if (realScreen) {
            QTest::qWait(150);
            shot = top->screen()->grabWindow(top->winId());
        } else {
            shot = top->grab();
        }
        shot.save(shotDir + QStringLiteral("/%1-%2.png").arg(top->objectName(), page));
    };
    top->show();
    top->raise();
    if (!QTest::qWaitForWindowExposed(top))
        qWarning("%s not exposed", qPrintable(top->objectName()));
    visit(QStringLiteral("start"));
    for (QTabWidget *tabs : top->findChildren<QTabWidget *>()) {
        // Bring the tab widget itself into view: its page in each tab widget around it.
        for (QWidget *page = tabs; page != top; page = page->parentWidget()) {
            auto *stack = qobject_cast<QStackedWidget *>(page->parentWidget());
            if (auto *outer = stack ? qobject_cast<QTabWidget *>(stack->parentWidget()) : nullptr)
                outer->setCurrentWidget(page);
        }
        const int was = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            visit(QStringLiteral("%1-%2-%3").arg(tabs->objectName()).arg(i).arg(tabs->tabText(i)));
        }
        tabs->setCurrentIndex(was);
    }
    top->hide();
    return clipped;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    // The font the program chooses at start.
    void initTestCase() { m_formFont = useFormFont(); }

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
    void formProperties_data();
    void formProperties();
    void formNamesUniqueSpinBoxesStartAtZero();
    void formTabsMenusAndItems();
    void everyNamedSlotHasItsWidget();

    // The window in this process.
    void clickOnNamedButtonReachesItsSlot();
    void menuActionsAndSecondaryWindows();
    void onlineGuard();
    void timerStartKeepsOneConnection();
    void parameterTreeView();
    void everyTextFitsOnEveryPage();
    void cleanupTestCase();

private:
    clscurve *sharedWindow();
    clscurve *m_window = nullptr;
    QString m_formFont;
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
    // The child's test log goes to a file: under Wine a Qt test writes
    // nothing to a redirected output.
    child.start(QCoreApplication::applicationFilePath(), {function, QStringLiteral("-o"), QStringLiteral("child.txt,txt")});
    QVERIFY(child.waitForFinished(60000));
    QFile log(QDir(dir).filePath(QStringLiteral("child.txt")));
    log.open(QIODevice::ReadOnly);
    // Only the end of the child's output: its failures, not the slot-binding warnings.
    const QByteArray out = (child.readAll() + log.readAll()).right(3000);
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

    // The window writes the factory file (its values are the store's own test)
    // and loads and shows the base set.
    QCOMPARE(QSettings(QStringLiteral("Effect.ini"), QSettings::IniFormat).allKeys().size(), 57);
    QCOMPARE(w.ini->flag_state, 1);
    expectProps(w, {{"defult_conf", "checked", true}, {"user_conf", "checked", false},
                    {"Motor_spinBox_force", "value", 20}, {"yoke_spinBox_force", "value", -20},
                    {"yoke_Affect_max", "value", 2500}, {"Ground_type", "value", 100},
                    {"Ground_height", "value", 2.4}, {"Stick_speed_max", "value", 35},
                    {"dynamic_spd_3", "value", 120}, {"softTrim", "value", 5},
                    {"Turbulences_precent_Sensitivity", "value", 50}, {"Motor_checkBox", "checked", true},
                    {"Turbulences_enable_state", "checked", false}, {"Trimstate", "checked", true},
                    {"AP_enable_2", "checked", false}, {"yoke_enginetype", "checked", false},
                    {"yoke_lable_ldle_4", "text", "Engine RPM"},
                    {"serial", "currentText", "1"},   // "0" is no item
                    {"devicesComboBox_FSimSW", "currentIndex", 1}});   // the stored simulator 1 is "MSFS"
    QCOMPARE(w.mirrors.engine, 1);
    QCOMPARE(w.mirrors.turbulence, 0);
    QCOMPARE(w.mirrors.autopilot, 1);
    QCOMPARE(w.mirrors.washElevator, 1);
    QCOMPARE(w.mirrors.groundElevator, 1);
    QCOMPARE(w.mirrors.shakerElevator, 1);
    QCOMPARE(w.mirrors.dynamicForce, 1);   // set by its box's own slot as the box gets checked
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
    expectProps(w, {{"label_deviceConState", "text", "Device Offline"},
                    {"label_flightSimConState", "text", "FlightSim Not Connected"},
                    {"label_faultState", "text", "Pitch No Fault Response"},
                    {"label_faultState_2", "text", "Roll No Fault Response"},
                    {"label_faultState_3", "text", "SYS No Fault Response"},
                    {"lableAP", "text", "AutoPilot State"},
                    {"deviceGroupBox_2", "styleSheet", "QGroupBox{ font-weight: bold; }"},
                    {"yoke", "styleSheet", "QGroupBox{font-weight: bold;}"}});

    // Hidden widgets, the disabled exit button, the removed pages.
    for (const char *hidden : {"textEdit_Debug", "updatabar", "label_69", "comboBox_port", "pushButton_searchPort",
                               "label", "lineEdit_airplane_speed", "label_2", "setting", "yoke_lable_ldle_3", "LCD",
                               "Test", "serialPortGroupBox_9", "serialPortGroupBox_10"}) {
        auto *widget = w.findChild<QWidget *>(QLatin1String(hidden));
        QVERIFY2(widget && widget->isHidden(), hidden);
    }
    QVERIFY(!ui->actionConf_Setting->isVisible());
    QVERIFY(!ui->ExitBoot->isEnabled());
    // The two last pages go by index: the first four must stay.
    QCOMPARE(tabTexts(ui->tabWidget_3), (QStringList{"Physics", "Stall Warning", "Ground", "Effect"}));
    QCOMPARE(w.settingPage->windowTitle(), QStringLiteral("Factory Settings"));

    // The curve plot: ranges, axis texts, the two limit lines, the top axis following.
    QCustomPlot *plot = ui->customplot1;
    QCOMPARE(plot->graphCount(), 8);
    QCOMPARE(plot->xAxis->range(), QCPRange(-100, 100));
    QCOMPARE(plot->yAxis->range(), QCPRange(-120, 120));
    QCOMPARE(plot->xAxis->label(), QStringLiteral("Position（mm）"));
    QCOMPARE(plot->yAxis->label(), QStringLiteral("Force（N）"));
    QCOMPARE(plot->xAxis->ticker()->tickCount(), 11);
    QCOMPARE(plot->graph(4)->data()->size(), 2);
    QCOMPARE(plot->graph(5)->data()->size(), 2);
    QCOMPARE(plot->graph(0)->data()->size(), 0);
    plot->xAxis->setRange(-50, 50);
    QCOMPARE(plot->xAxis2->range().lower, -50.0);
    QVERIFY(plot->interactions().testFlag(QCP::iRangeDrag));
    QVERIFY(plot->interactions().testFlag(QCP::iSelectPlottables));
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
    expectProps(w, {{"Motor_spinBox_force", "value", 33}, {"defult_conf", "checked", true},
                    {"yoke_enginetype", "checked", true}, {"yoke_lable_ldle_4", "text", "Engine RPM/N1"},
                    {"yoke_lable_mami", "text", "Maximum engine RPM/N2"}, {"devicesComboBox_FSimSW", "currentIndex", 0}});
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
    expectProps(w, {{"user_conf", "checked", true}, {"defult_conf", "checked", false}, {"serial", "currentText", "3"},
                    {"Motor_spinBox_force", "value", 44}, {"Motor_checkBox", "checked", false},
                    {"softTrim", "value", 9}, {"Ground_height", "value", 1.5}, {"AP_enable_2", "checked", true},
                    {"AP_enable", "checked", false},      // a stored switch of 2 counts as off
                    {"yoke_Affect_max", "value", 0}});    // keys the user set does not hold load as zeros
    QCOMPARE(w.mirrors.engine, 0);
    QCOMPARE(w.mirrors.autopilot, 0);
}

void TestWindow::child_unknownStateLoadsNothing()
{
    if (!isChild())
        QSKIP("runs in a child process");
    writeIni({{"flag/state", 5}, {"serial/num", "4"}, {"flag/simulator", 0}, {"Engine/force_precent", 20},
              {"Engine/state", 1}, {"4user_Engine/force_precent", 40}});
    clscurve w;
    QCOMPARE(w.ini->flag_state, 0);
    QCOMPARE(w.ini->serial_num, 4);   // the state check reads it
    expectProps(w, {{"user_conf", "checked", false}, {"defult_conf", "checked", false}, {"serial", "currentText", "4"},
                    {"Motor_spinBox_force", "value", 0}, {"Motor_checkBox", "checked", false},
                    {"Ground_type", "value", 0}, {"softTrim", "value", 0}, {"yoke_spinBox_force", "value", 0}});
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

void TestWindow::formProperties_data()
{
    // The cases that are easy to get wrong in the form: names that differ only
    // by case (each row finds its object by name, and a label has no maximum),
    // ranges and start values, the texts the code or the user relies on.
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("expected");
    auto row = [](const char *object, const char *property, const QVariant &expected) {
        QTest::addRow("%s.%s", object, property) << QString::fromLatin1(object) << QString::fromLatin1(property)
                                                 << expected;
    };
    // Same names but for case.
    row("Ground_height", "maximum", 99.99);
    row("Ground_Height", "text", "User AGL");
    row("Ground_Height_2", "text", "Soft AGL");
    row("Stick_speed_min", "maximum", 500);
    row("Stick_speed_max", "maximum", 500);
    row("Stick_Speed_min", "text", "Onset stall warning speed");
    row("Stick_Speed_max", "text", "Max stall warning speed");
    // The group box named "setting" on the Effects tab is the AGL box.
    row("setting", "title", "AGL");
    row("Configure", "title", "Effects Profile");

    // Ranges and start values.
    for (const char *name : {"Ground_height", "Stick_AoA_min", "Stick_AoA_max"}) {
        row(name, "minimum", 0.0);
        row(name, "maximum", 99.99);
    }
    row("Ground_type", "minimum", 0);
    row("Ground_type", "maximum", 101);
    row("Ground_type", "value", 50);
    row("Ground_type", "pageStep", 10);
    row("softTrim", "minimum", 0.0);
    row("softTrim", "maximum", 200.0);
    row("softTrim", "decimals", 0);
    row("softTrim", "value", 4.0);
    row("Turbulences_precent_Sensitivity", "value", 3);
    row("Turbulences_precent_ramp", "maximum", 10);
    row("Ground_take_speed", "maximum", 150);
    row("yoke_spinBox_force", "minimum", -100);
    row("yoke_Affect_min", "maximum", 50000);
    row("RPM", "maximum", 10000);
    row("spinBox_6", "maximum", 1000);
    for (const char *name : {"spinBox_4", "spinBox_7", "spinBox_8"})
        row(name, "maximum", 99);
    const QList<QPair<const char *, double>> dynamic = {
        {"dynamic_spd", 200},   {"dynamic_spd_2", 200},   {"dynamic_spd_3", 400},  {"dynamic_spd_4", 400},
        {"dynamic_ratio", 100}, {"dynamic_ratio_2", 100}, {"dynamic_zone", 100}, {"dynamic_zone_2", 100}};
    for (const auto &d : dynamic) {
        row(d.first, "minimum", 0.0);
        row(d.first, "maximum", d.second);
        row(d.first, "decimals", 2);
    }
    for (const char *name : {"pos2", "pos3", "pos4", "pos5"})
        row(name, "minimum", -100.0);
    for (const char *name : {"foc2", "foc3", "foc4", "foc5"})
        row(name, "minimum", -200.0);
    row("lineEdit_send_value", "text", "0.0");
    row("lineEdit_speed_at_middle", "text", "30");
    row("lineEdit_speed_HW_trim", "text", "40");

    // Start states the connection flow relies on.
    for (const char *name : {"pos4", "foc4", "pushButton_closePort", "pushButton_Disconnect_Fsim", "btn_disable",
                             "btn_apply", "pushButton_startUpdate"})
        row(name, "enabled", false);
    for (const char *name : {"pos5", "btn_test"})
        row(name, "enabled", true);
    for (const char *name : {"pushButton_channel_0", "pushButton_channel_1", "pushButton_yoke_phy_change"})
        row(name, "checkable", true);
    row("pushButton_channel_0", "checked", true);
    for (const char *name : {"pushButton_channel_1", "defult_conf", "user_conf"})
        row(name, "checked", false);
    row("lineEdit_airplane_speed", "readOnly", true);
    row("lineEdit_pos_0", "readOnly", true);
    row("l1", "readOnly", false);

    // Texts: menu entries, titles, Chinese and rich text.
    row("action_1", "text", "Factory Settings");
    row("action_3", "text", "Configer Settings");
    row("menu_settings", "title", "Tools");
    row("menuMore", "title", "Help");
    row("TrimSet", "title", " Hardware Trim");
    row("pushButton", "text", QStringLiteral("输入"));
    row("label_16", "text", QStringLiteral("空速"));
    row("label_31", "text", QStringLiteral("Pitch配平"));
    row("yoke_lable_max", "text",
        QStringLiteral("<html><head/><body><p>Yoke neutral position speed<br/></p></body></html>"));
    row("label_deviceLed", "text", QString());
}

void TestWindow::formProperties()
{
    QFETCH(QString, object);
    QFETCH(QString, property);
    QFETCH(QVariant, expected);
    QMainWindow host;
    Ui::clscurve ui;
    ui.setupUi(&host);
    QObject *o = host.findChild<QObject *>(object);
    QVERIFY2(o, qPrintable(object));
    const QVariant actual = o->property(property.toLatin1().constData());
    QVERIFY2(actual.isValid(), qPrintable(o->metaObject()->className() + QStringLiteral(" has no ") + property));
    QCOMPARE(actual.toString(), expected.toString());
}

void TestWindow::formNamesUniqueSpinBoxesStartAtZero()
{
    QMainWindow host;
    Ui::clscurve ui;
    ui.setupUi(&host);
    QSet<QString> names;
    for (QObject *o : host.findChildren<QObject *>()) {
        // Skip what the widgets name inside themselves (tab bar scroll buttons and the like).
        if (o->objectName().isEmpty() || o->objectName().startsWith(QLatin1String("qt_"))
            || qobject_cast<QTabBar *>(o->parent()))
            continue;
        QVERIFY2(!names.contains(o->objectName()), qPrintable(o->objectName()));
        names.insert(o->objectName());
    }

    // Every spin box but the two with a start value of their own starts at 0.
    for (QAbstractSpinBox *box : host.findChildren<QAbstractSpinBox *>()) {
        if (box == ui.softTrim || box == ui.Turbulences_precent_Sensitivity)
            continue;
        QVERIFY2(box->property("value").toDouble() == 0.0, qPrintable(box->objectName()));
    }
}

void TestWindow::formTabsMenusAndItems()
{
    // Pages and items that the code addresses by index.
    QMainWindow host;
    Ui::clscurve ui;
    ui.setupUi(&host);
    QCOMPARE(tabTexts(ui.tabWidget), (QStringList{"General", "Effects", "Configure"}));
    QCOMPARE(tabTexts(ui.tabWidget_2), (QStringList{"General"}));
    QCOMPARE(tabTexts(ui.tabWidget_3),
             (QStringList{"Physics", "Stall Warning", "Ground", "Effect", "test", QStringLiteral("参数表")}));
    QCOMPARE(ui.tabWidget_3->currentIndex(), 0);

    QStringList menuActions;
    for (QAction *a : ui.menu_settings->actions())
        menuActions << a->objectName();
    QCOMPARE(menuActions, (QStringList{"action_1", "actionKey_Remap", "actionConf_Setting"}));
    QCOMPARE(ui.menubar->actions().size(), 2);

    QStringList items;
    for (int i = 0; i < ui.devicesComboBox_FSimSW->count(); ++i)
        items << ui.devicesComboBox_FSimSW->itemText(i);
    QCOMPARE(items, (QStringList{"X-Plane", "MSFS", "Prepar3D"}));
    QCOMPARE(ui.serial->count(), 10);
    QCOMPARE(ui.serial->itemText(0), QStringLiteral("1"));
    QCOMPARE(ui.serial->itemText(9), QStringLiteral("10"));
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
    // No device is open here: the slot refuses, and builds no frame.
    ModalCloser closer;
    QTest::mouseClick(ui->ExitBoot, Qt::LeftButton);
    QCOMPARE(closer.boxes, QStringList{QStringLiteral("WARNING|Device Offline")});
    QVERIFY(ui->ExitBoot->isEnabled());
    QCOMPARE(int(w->txFrame[3]), 0);
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

void TestWindow::everyTextFitsOnEveryPage()
{
#ifdef Q_OS_WIN
    // Windows' own dialog font, the program's default there: "MS Shell Dlg 2",
    // which Windows draws with Tahoma at 11 px (so does Wine, given Tahoma).
    QCOMPARE(m_formFont, QString());
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    const QString sample = QStringLiteral("Device Connected");
    QCOMPARE(QFontInfo(QApplication::font()).pixelSize(), 11);
    QCOMPARE(QFontMetrics(QApplication::font()).horizontalAdvance(sample), QFontMetrics(tahoma).horizontalAdvance(sample));
#else
    // Wine's Tahoma, which the setup installs, found as the program finds it.
    QCOMPARE(m_formFont, QStringLiteral("Tahoma"));
#endif
    clscurve *w = sharedWindow();
    w->resize(1026, 741);
    const QString shots = qEnvironmentVariable("KORVEL_SHOT_DIR", QDir::currentPath());
    QStringList clipped;
    for (QWidget *top : {static_cast<QWidget *>(w), static_cast<QWidget *>(w->settingPage),
                         static_cast<QWidget *>(w->setConf), static_cast<QWidget *>(w->remapWindow)}) {
        const QStringList found = clippedTextsOnEveryPage(top, shots);
        for (const QString &f : found)
            clipped << top->objectName() + QStringLiteral(": ") + f;
    }
    w->show();
    w->form()->tabWidget->setCurrentIndex(0);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
}

void TestWindow::cleanupTestCase()
{
    delete m_window;
    m_window = nullptr;
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
