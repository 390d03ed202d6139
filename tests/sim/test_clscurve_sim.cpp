// The simulator choice, Connect/Disconnect, the 16 ms poll and the simulator
// live displays, through the real main window.
#include <QtTest>

#include <QComboBox>
#include <QGroupBox>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>

#include <map>

#include "clscurve.h"
#include "cxpdata.h"
#include "simstate.h"
#include "testsupport.h"
#include "xplanestandin.h"

using namespace SimBridgeRecord;

namespace {

int storedSimulator()
{
    return QSettings("Effect.ini", QSettings::IniFormat).value("flag/simulator").toInt();
}

} // namespace

class TestClscurveSim : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void choiceSwitchesReaderGroupAndStore();
    void connectOfflineRefuses();
    void bridgeRecordDrivesLampAndDisplays();
    void alternativeAngleAndRpmSwitch();
    void xplaneGroundSpeedInKnots();
    void hiddenPageShowsTheLatestValues();
    void yokeSpeeds();

private:
    template <typename T> T *w(const char *name)
    {
        T *p = m_win->findChild<T *>(QString::fromLatin1(name));
        if (!p)
            qFatal("no widget %s", name);
        return p;
    }
    // The page's numbers are written while in view; its parameter table is
    // no tab (a development aid): shown by hand.
    void viewParameterTable()
    {
        w<QTabWidget>("tabWidget")->setCurrentWidget(w<QWidget>("tab_6"));
        w<QWidget>("tab")->show();
    }
    void goOnlineAndConnect()
    {
        m_win->portOpenFlag = 1;
        m_win->deviceAnsweredFlag = 1;
        w<QPushButton>("pushButton_connect_Fsim")->click();
        QCOMPARE(m_win->xpData->active(), 1);
    }
    // Feeds datagrams until a poll tick shows the wanted label text.
    bool feedUntil(const std::string &d, const std::function<bool()> &done)
    {
        for (int i = 0; i < 100; ++i) {
            sendTo(m_win->simulatorChoice == 2 ? 8998 : 9998, d);
            QTest::qWait(20);
            if (done())
                return true;
        }
        return false;
    }

    clscurve *m_win = nullptr;
};

void TestClscurveSim::init()
{
    QFile::remove("Effect.ini");
    xpSimState = SimState();
    bridgeSimState = SimState();
    m_win = new clscurve;
    viewParameterTable();
}

void TestClscurveSim::cleanup()
{
    delete m_win;
    m_win = nullptr;
}

void TestClscurveSim::choiceSwitchesReaderGroupAndStore()
{
    auto *combo = w<QComboBox>("devicesComboBox_FSimSW");
    auto *group = w<QGroupBox>("setting");
    // A first start stores MSFS as the factory choice and switches to it.
    QCOMPARE(combo->currentText(), QStringLiteral("MSFS"));
    QCOMPARE(m_win->xpData->simMode(), 2);

    combo->setCurrentText("Prepar3D");
    QCOMPARE(m_win->simulatorChoice, 3);
    QCOMPARE(m_win->xpData->simMode(), 3);
    QVERIFY(!group->isHidden());
    QCOMPARE(storedSimulator(), 2);

    combo->setCurrentText("MSFS");
    QCOMPARE(m_win->xpData->simMode(), 2);
    QVERIFY(!group->isHidden());
    QCOMPARE(storedSimulator(), 1);

    combo->setCurrentText("X-Plane");
    QCOMPARE(m_win->simulatorChoice, 1);
    QCOMPARE(m_win->xpData->simMode(), 1);
    QVERIFY(group->isHidden());
    QCOMPARE(storedSimulator(), 0);

    // The stored choice comes back with the next window.
    combo->setCurrentText("Prepar3D");
    delete m_win;
    m_win = new clscurve;
    QCOMPARE(m_win->simulatorChoice, 3);
    QCOMPARE(m_win->xpData->simMode(), 3);
}

void TestClscurveSim::connectOfflineRefuses()
{
    ModalCloser closer(nullptr, QLatin1Char('/'));
    w<QPushButton>("pushButton_connect_Fsim")->click();
    // (the buttons and timers a refusal leaves alone: the window's guard test)
    QTRY_COMPARE(closer.boxes, QStringList{"WARNING/Device Offline"});
    QCOMPARE(m_win->xpData->active(), 0);

    // Online: the buttons swap and both 16 ms timers run; Disconnect undoes it.
    goOnlineAndConnect();
    QVERIFY(!w<QComboBox>("devicesComboBox_FSimSW")->isEnabled());
    QVERIFY(!w<QPushButton>("pushButton_connect_Fsim")->isEnabled());
    QVERIFY(w<QPushButton>("pushButton_Disconnect_Fsim")->isEnabled());
    QVERIFY(m_win->simPollTimer.isActive());
    QVERIFY(m_win->trimTimer.isActive());
    w<QPushButton>("pushButton_Disconnect_Fsim")->click();
    QCOMPARE(m_win->xpData->active(), 0);
    QVERIFY(!m_win->simPollTimer.isActive());
    QVERIFY(!m_win->trimTimer.isActive());
    QVERIFY(w<QComboBox>("devicesComboBox_FSimSW")->isEnabled());
    QCOMPARE(w<QLabel>("label_flightSimConState")->text(), QStringLiteral("FlightSim Not Connected"));
    QCOMPARE(closer.boxes.size(), 1);
}

void TestClscurveSim::bridgeRecordDrivesLampAndDisplays()
{
    QCOMPARE(m_win->simulatorChoice, 2);
    goOnlineAndConnect();
    auto *state = w<QLabel>("label_flightSimConState");
    auto *l1 = w<QLineEdit>("l1");
    auto *l3 = w<QLineEdit>("l3");

    // The bridge says its simulator is not connected: the values still move,
    // the lamp stays yellow.
    QVERIFY(feedUntil(bridgeDatagram(44, 0, {{IndicatedAirspeed, -3.5}, {EngineRpm, 1234.0}, {HeightAboveGround, 12.345}}),
                      [&] { return l3->text() == QStringLiteral("1234.00000"); }));
    QCOMPARE(state->text(), QStringLiteral("Flight Sim Not Connected"));
    QVERIFY(w<QLabel>("label_flightSimLed")->styleSheet().endsWith("background:yellow"));
    QCOMPARE(l1->text(), QStringLiteral("0.00000")); // -3.5 kn is stored as 0
    QCOMPARE(w<QLineEdit>("SoftHeight")->text(), QStringLiteral("12.35"));
    // The ground speed field shows the X-Plane record's, never read here.
    QCOMPARE(w<QLineEdit>("lineEdit_airplane_speed")->text(), QStringLiteral("0.00"));

    QVERIFY(feedUntil(bridgeDatagram(44, 1, {{IndicatedAirspeed, 95.5}, {EngineRpm, 2000.0}, {GroundVelocity, 101.9}}),
                      [&] { return state->text() == QStringLiteral("Flight Sim Connected"); }));
    QVERIFY(w<QLabel>("label_flightSimLed")->styleSheet().endsWith("background:green"));
    QTRY_COMPARE(l1->text(), QStringLiteral("95.50000"));
    QCOMPARE(w<QLineEdit>("l10")->text(), QStringLiteral("101.00000"));
    QCOMPARE(w<QLCDNumber>("LCD_gs")->value(), 101.0);
    QCOMPARE(w<QLCDNumber>("LCD_airspeed")->value(), 96.0); // no decimals, rounded
    w<QPushButton>("pushButton_Disconnect_Fsim")->click();
}

void TestClscurveSim::alternativeAngleAndRpmSwitch()
{
    goOnlineAndConnect();
    auto *aoa = w<QLCDNumber>("LCD_AoA");
    auto *rpm = w<QLCDNumber>("LCD_rpm");
    const std::map<int, double> base{{AngleOfAttack, 0.1}, {EngineRpm, 2400.0}, {FirstExtra + 5, 7.0}, {FirstExtra + 6, 1800.0}};
    std::map<int, double> marked = base;
    marked[FirstExtra] = 10.9725; // within 0.001 of 10.9728
    QVERIFY(feedUntil(bridgeDatagram(52, 1, marked), [&] { return rpm->value() == 1800.0; }));
    QCOMPARE(aoa->value(), 7.0);
    std::map<int, double> unmarked = base;
    unmarked[FirstExtra] = 10.97;
    QVERIFY(feedUntil(bridgeDatagram(52, 1, unmarked), [&] { return rpm->value() == 2400.0; }));
    QCOMPARE(aoa->value(), 6.0); // 0.1 rad x 57 = 5.7, shown without decimals
    w<QPushButton>("pushButton_Disconnect_Fsim")->click();
}

void TestClscurveSim::hiddenPageShowsTheLatestValues()
{
    m_win->show();
    w<QTabWidget>("tabWidget")->setCurrentIndex(0);
    goOnlineAndConnect();
    auto *l1 = w<QLineEdit>("l1");
    QVERIFY(feedUntil(bridgeDatagram(44, 1, {{IndicatedAirspeed, 120.25}, {HeightAboveGround, 8.5}}),
                      [&] { return w<QLCDNumber>("LCD_airspeed")->value() == 120.0; }));
    QVERIFY(l1->text().isEmpty());   // not written while the page is hidden
    // Shown after the poll has stopped: the values of its last tick.
    m_win->liveData[0][0] = 3.0f;
    QTest::qWait(50);
    w<QPushButton>("pushButton_Disconnect_Fsim")->click();
    m_win->liveData[0][0] = 4.0f;
    viewParameterTable();
    QCOMPARE(l1->text(), QStringLiteral("120.25000"));
    QCOMPARE(w<QLineEdit>("l21")->text(), QStringLiteral("3.00000"));
    QCOMPARE(w<QLineEdit>("SoftHeight")->text(), QStringLiteral("8.50"));
}

void TestClscurveSim::xplaneGroundSpeedInKnots()
{
    XPlaneStandIn xp(49009);
    QVERIFY(xp.start());
    xp.setDataref("sim/flightmodel/position/groundspeed", {10.0f});
    xp.setDataref("sim/flightmodel/position/indicated_airspeed", {-2.0f});
    w<QComboBox>("devicesComboBox_FSimSW")->setCurrentText("X-Plane");
    goOnlineAndConnect();
    QTRY_COMPARE_WITH_TIMEOUT(w<QLabel>("label_flightSimConState")->text(), QStringLiteral("Flight Sim Connected"), 3000);
    QTRY_COMPARE(w<QLineEdit>("lineEdit_airplane_speed")->text(), QStringLiteral("19.00"));
    QCOMPARE(w<QLineEdit>("l10")->text(), QStringLiteral("19.00000"));
    QCOMPARE(w<QLineEdit>("l1")->text(), QStringLiteral("0.00000"));

    // X-Plane stops answering: the lamp goes yellow, the values stay.
    xp.setSilent(true);
    QTRY_COMPARE_WITH_TIMEOUT(w<QLabel>("label_flightSimConState")->text(), QStringLiteral("Flight Sim Not Connected"), 3000);
    QCOMPARE(w<QLineEdit>("lineEdit_airplane_speed")->text(), QStringLiteral("19.00"));
    w<QPushButton>("pushButton_Disconnect_Fsim")->click();
}

void TestClscurveSim::yokeSpeeds()
{
    QCOMPARE(m_win->yokeSpeedMiddle, 30.0f);
    QCOMPARE(m_win->yokeSpeedHwTrim, 40.0f);
    w<QLineEdit>("lineEdit_speed_at_middle")->setText("55.5");
    w<QLineEdit>("lineEdit_speed_aeroforce_start")->setText("fast");
    w<QLineEdit>("lineEdit_speed_HW_trim")->setText("62");
    w<QPushButton>("pushButton_yoke_phy_change")->click();
    QCOMPARE(m_win->yokeSpeedMiddle, 55.5f);
    QCOMPARE(m_win->yokeSpeedAeroStart, 0.0f);
    QCOMPARE(m_win->yokeSpeedHwTrim, 40.0f);
    w<QPushButton>("pushButton_yoke_HWTrim_change")->click();
    QCOMPARE(m_win->yokeSpeedHwTrim, 62.0f);
}

QTEST_MAIN(TestClscurveSim)
#include "test_clscurve_sim.moc"
