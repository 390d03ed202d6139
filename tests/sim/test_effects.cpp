// The force effects through the real window, the emulated device and the
// X-Plane stand-in: what the effect and trim ticks compute is checked in the
// frames the device receives.
#include "windowtest.h"

#include "byteorder.h"
#include "cxpdata.h"
#include "effects.h"
#include "flightscript.h"
#include "setini.h"
#include "simbridgerecord.h"
#include "simstate.h"
#include "trimautopilot.h"
#include "xplanestandin.h"

#include <QMessageBox>
#include <QSettings>
#include <cmath>
#include <csignal>
#ifndef _WIN32
#  include <sys/resource.h>
#endif

namespace {

DeviceEmulator &emu() { return HidStandin::emulator(); }

// A frame as the device received it.
struct Sent
{
    DeviceEmulator::Frame f;
    int cmd() const { return f[3]; }
    int len() const { return f[4]; }
    int ch() const { return f[5]; }
    int mode() const { return f[6]; }        // 0x31
    int trimState() const { return f[7]; }   // 0x31
    float at(int offset) const { return readF32LE(&f[offset]); }
    float v(int i) const { return at(6 + 4 * i); }   // 0x32, 0x40, 0x42 (whose v(4) is the mode)
    float speed() const { return at(9); }            // 0x31
    float location() const { return at(13); }        // 0x31
};

QVector<Sent> sent(int cmd = -1)
{
    QVector<Sent> out;
    for (const DeviceEmulator::Frame &f : emu().writtenFrames())
        if (cmd < 0 || f[3] == cmd)
            out << Sent{f};
    return out;
}

// Vibration frames of one group (channel and mode).
QVector<Sent> group(int ch, float mode)
{
    QVector<Sent> out;
    for (const Sent &s : sent(0x42))
        if (s.ch() == ch && s.v(4) == mode)
            out << s;
    return out;
}

bool near(float a, float b, float tol = 1e-3f) { return std::fabs(a - b) <= tol; }

// 0x31 frames as "channel:mode:speed:location".
QStringList records(const QVector<Sent> &frames)
{
    QStringList out;
    for (const Sent &s : frames)
        out << QString("%1:%2:%3:%4").arg(s.ch()).arg(s.mode()).arg(s.speed()).arg(s.location());
    return out;
}

const char *const kDref[][2] = {
    {"ias", "sim/flightmodel/position/indicated_airspeed"},
    {"vs", "sim/flightmodel/position/vh_ind_fpm"},
    {"wind", "sim/cockpit2/gauges/indicators/wind_speed_kts"},
    {"dir", "sim/weather/wind_direction_degt"},
    {"psi", "sim/flightmodel/position/mag_psi"},
    {"surface", "sim/flightmodel/ground/surface_texture_type"},
    {"stall", "sim/cockpit2/annunciators/stall_warning"},
    {"agl", "sim/cockpit2/gauges/indicators/radio_altimeter_height_ft_pilot"},
    {"rollratio", "sim/cockpit2/controls/total_roll_ratio"},
    {"ap", "sim/cockpit/autopilot/autopilot_mode"},
    {"mark", "sim/flightmodel2/misc/has_crashed"},
    {"rpm", "sim/cockpit2/engine/indicators/engine_speed_rpm"},
    {"gear", "sim/flightmodel2/gear/on_ground"},
    {"etrim", "sim/flightmodel2/controls/elevator_trim"},
    {"atrim", "sim/flightmodel2/controls/aileron_trim"},
};

using Values = std::map<std::string, std::vector<float>>;

// The engine row keeps X-Plane's length: the reader's room for it follows the replies.
const Values kAirborne{{"gear", {0, 0, 0}}, {"agl", {1000}}, {"rpm", {0, 0, 0, 0}}, {"wind", {0}}};

} // namespace

class TestEffects : public WindowTest
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void testApplyAndOfflineGuards();
    void physicsAndEngineNumbers();
    void turbulenceNumbersAndSensitivity();
    void landingBumpShakerAndPlausibility();
    void sendRulesAndDisableSequence();
    void trimStepsAndAutopilot();
    void trimReleasedWhereCommandingStops();
    void bridgeAutopilotRing();
    void bridgeRumbleShakerAndTrim();
    void curveEditorSlopes();
    void profilesAndNeverSavedProfile();
    void wholeFlight();

private:
    void goOnline(bool effects = true);
    // Puts the values on the stand-in's parked aircraft and waits until the reader has them.
    void fly(const Values &values, const Values &more = {});
    void tick(int n = 1);
    void setBox(const char *name, bool on) { w->findChild<QCheckBox *>(name)->setChecked(on); }

    XPlaneStandIn xp{49009};
    int marker = 0;
};

void TestEffects::initTestCase()
{
    QVERIFY(openWindow());
    QVERIFY(xp.start());
    ui->devicesComboBox_FSimSW->setCurrentText("X-Plane");
}

void TestEffects::init()
{
    startTest();
}

void TestEffects::cleanup()
{
    if (w->portOpenFlag == 1)
        w->on_pushButton_closePort_clicked();
    xp.setAircraft(defaultAircraft());
    ui->softTrim_disable_2->click();
    ui->devicesComboBox_FSimSW->setCurrentText("X-Plane");
    // The next test starts from the factory settings.
    w->ini->loadBaseProfile();
    w->uiChange();
    endTest();
}

void TestEffects::goOnline(bool effects)
{
    ui->pushButton_openPort->click();
    QTRY_VERIFY_WITH_TIMEOUT(w->isOnline() && w->txTimer.isActive(), 2000);
    QTest::qWait(100);
    // Live polls would overwrite the device values the tests set.
    w->stopTxTimer();
    w->stopInfoTimer();
    ui->pushButton_connect_Fsim->click();
    w->stopTrimTimer();
    if (effects) {
        ui->btn_test->click();
        w->effectTimer.stop();   // the tests tick by hand
    }
    emu().clearCounters();
}

void TestEffects::fly(const Values &values, const Values &more)
{
    XPlaneAircraft a = defaultAircraft();
    Values all = values;
    for (const auto &kv : more)
        all[kv.first] = kv.second;
    all["mark"] = {float(++marker)};
    for (const auto &kv : all)
        for (const auto &d : kDref)
            if (kv.first == d[0])
                a.datarefs[d[1]] = kv.second;
    xp.setAircraft(a);
    QTRY_COMPARE(w->xpData->xplaneFields().hasCrashed, float(marker));
}

void TestEffects::tick(int n)
{
    for (int i = 0; i < n; ++i) {
        w->xpData->publishSimState();
        w->sendEffect();
    }
}

void TestEffects::testApplyAndOfflineGuards()
{
    // Stopped, Apply copies nothing (and asks the trim tick for nothing).
    ui->Motor_spinBox_force->setValue(77);
    w->trimAutopilot.trimChanged = 0;
    w->on_btn_apply_clicked();
    QVERIFY(w->effectParams.engineStrength != 77 && w->trimAutopilot.trimChanged == 0);

    // Offline: Test and the guarded mode buttons refuse and change nothing.
    ui->btn_test->click();
    ui->pushButton_yoke_coupled_enable->click();
    QCOMPARE(closer->boxes, (QStringList{"WARNING|Device Offline", "WARNING|Device Offline"}));
    QVERIFY(!w->effectTimer.isActive() && w->coupledMode == 0);

    goOnline(false);
    setBox("AP_enable", false);
    ui->btn_test->click();
    QVERIFY(w->effectTimer.isActive() && ui->btn_apply->isEnabled() && !ui->btn_test->isEnabled());
    // A box changes the effect block only at the next Apply.
    setBox("AP_enable", true);
    QCOMPARE(w->effectParams.autopilotEnable, 0);
    ui->btn_apply->click();
    QCOMPARE(w->effectParams.autopilotEnable, 1);
    QCOMPARE(w->effectParams.engineStrength, 77);
    QCOMPARE(w->mirrors.appliedAutopilot, 1);
    // A second Test (by program) only reopens the gates.
    w->effectSend.forceSwitch = 0;
    w->on_btn_test_clicked();
    QCOMPARE(w->effectSend.forceSwitch, 1);
}

void TestEffects::physicsAndEngineNumbers()
{
    goOnline();
    // On the ground below the start speed the low-speed force is 20 x the wash
    // factor: 0.8 at 1550 rpm, 0.6 at 2600 (idle 600, middle 2500); its offset 24.
    const Values ground{{"ias", {5}}, {"gear", {1, 1, 1}}};
    for (auto [rpm, amplitude] : {std::pair{1550.0f, 16.0f}, {2600.0f, 12.0f}, {500.0f, 20.0f}}) {
        fly(ground, {{"rpm", {rpm, 0, 0, 0}}});
        emu().clearCounters();
        tick();
        const QVector<Sent> f = sent(0x32);
        QVERIFY(!f.isEmpty() && f[0].ch() == 0);
        QVERIFY2(near(f[0].v(3), amplitude), qPrintable(QString::number(f[0].v(3))));
        QCOMPARE(f[0].v(4), 24.0f);
    }
    // Between start 10 and middle 30: 10 x factor at 20 knots, nothing above 30.
    fly(ground, {{"ias", {20}}, {"rpm", {1550, 0, 0, 0}}});
    emu().clearCounters();
    tick();
    QVERIFY(near(sent(0x32)[0].v(3), 8.0f));

    // The pitch spring (30..120 knots, ratio 10): -0.25 at 75, 0.5 at 130, -1.0 at 20; in the air.
    for (auto [ias, coeff] : {std::pair{75.0f, -0.25f}, {130.0f, 0.5f}, {20.0f, -1.0f}}) {
        fly(kAirborne, {{"ias", {ias}}});
        emu().clearCounters();
        tick();
        QVERIFY(near(sent(0x32)[0].v(2), coeff));
        QCOMPARE(sent(0x32)[0].v(1), 1.0f);   // the dead zone passes through
    }

    // Engine (roll force limit 60, strength 20): no vibration up to 50 rpm,
    // the start-up shudder below 400, then 6 N at the highest rpm / 70.
    const struct { std::vector<float> rpms; float out[4]; } engine[] = {
        {{300, 0, 0, 0}, {60, 5, 2, 20}},
        {{2100, 2200, 0, 0}, {6, 2200.0f / 70.0f, 10000, 0}},
        {{0, 0, 0, 45}, {0, 0, 0, 0}},
    };
    for (const auto &e : engine) {
        fly(kAirborne, {{"rpm", e.rpms}});
        emu().clearCounters();
        tick();
        const QVector<Sent> g = group(1, 0.0f);
        QCOMPARE(g.size(), 1);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(near(g[0].v(i), e.out[i]), qPrintable(QString::number(g[0].v(i))));
    }
    QVERIFY(emu().vibrationAmplitude(1, 0) == 0.0f);
}

void TestEffects::turbulenceNumbersAndSensitivity()
{
    setBox("Turbulences_enable_state", true);
    goOnline();
    w->userChanReplyImage[1].set_force_limit(40.0f);
    // 10 knots from 90 degrees off the nose, gain 5, 0..50 %: roll -9.0, pitch 0.
    const auto after = [&](float knots, float heading, float from, int ch) {
        fly(kAirborne, {{"wind", {knots}}, {"psi", {heading}}, {"dir", {from}}});
        emu().clearCounters();
        tick();
        float v = NAN;
        for (const Sent &s : sent(0x32))
            if (s.ch() == ch)
                v = s.v(0);
        return v;
    };
    QVERIFY(near(after(10, 0, 90, 1), -9.0f));
    QVERIFY(near(sent(0x32)[0].v(0), 0.0f));
    // Wind straight ahead (or a full turn off) keeps the roll of the last side
    // with the gain applied once: no new roll frame. The pitch takes it (6 x 1.5).
    QVERIFY(std::isnan(after(10, 0, 0, 1)));
    QVERIFY(near(sent(0x32)[0].v(0), 9.0f));
    QVERIFY(std::isnan(after(10, 0, 360, 1)));
    QVERIFY(near(after(10, 0, 270, 1), 9.0f));
    QVERIFY(std::isnan(after(10, 0, 180, 1)));

    // Sensitivity 100 takes a 0.6 knot change (tolerance 0.04); sensitivity 1
    // holds back 3.9 knots (tolerance 4.0) and takes 4.2.
    ui->Turbulences_precent_Sensitivity->setValue(100);
    ui->btn_apply->click();
    QVERIFY(near(after(10.6f, 0, 90, 1), -9.54f));
    ui->Turbulences_precent_Sensitivity->setValue(1);
    ui->btn_apply->click();
    QVERIFY(std::isnan(after(14.5f, 0, 90, 1)));
    QVERIFY(near(after(14.8f, 0, 90, 1), -13.32f));

    // Wind from behind pushes the pitch. A NaN heading passes the plausibility
    // test: the pitch goes out as 0.0, and the channel is not silenced afterwards.
    QVERIFY(near(after(14.8f, 0, 180, 0), -13.32f));
    QVERIFY(near(after(14.8f, NAN, 180, 0), 0.0f));
    QVERIFY(near(after(14.8f, 0, 180, 0), -13.32f));

    // 40 knots: the pitch is limited to twice the cap (20 x 1.5), the roll to
    // the cap; a floor of 20 % of half the roll limit (4 x 1.5) lifts a small roll.
    QVERIFY(near(after(40, 0, 180, 0), -30.0f));
    QVERIFY(near(after(40, 0, 90, 1), -15.0f));
    ui->Turbulences_precent_min->setValue(20);
    ui->btn_apply->click();
    QVERIFY(near(after(40, 0, 181, 1), 6.0f));
}

void TestEffects::landingBumpShakerAndPlausibility()
{
    setBox("Stick_user_state", false);
    // A damaged profile: the landing strength (which Apply takes from the
    // store) and an angle are held to their boxes' ranges, 100 % and 99.99;
    // a value in range stays as stored, finer than its box shows it.
    ui->user_conf->setChecked(true);
    ui->serial->setCurrentText("6");
    ui->conf_save->click();
    {
        QSettings file("Effect.ini", QSettings::IniFormat);
        file.setValue("6user_Ground/landmax", 1000000);
        file.setValue("6user_stick/aoa_max", 1e9);
        file.setValue("6user_stick/aoa_min", 10.125);
    }
    ui->conf_apply->click();
    QCOMPARE(w->ini->stick_aoa_max, 99.99f);
    QCOMPARE(w->ini->stick_aoa_min, 10.125f);
    goOnline();
    // A touchdown at 500 ft/min (x 2.699, the 0.125 band of 2 x 120 N x 100 %): one bump.
    const Values down{{"gear", {1, 1, 1}}, {"vs", {-500}}};
    fly(down);
    tick(3);
    QVector<Sent> bumps = group(0, 0.0f);
    QCOMPARE(bumps.size(), 2);   // the bump, then its end
    QVERIFY(near(bumps[0].v(0), float(std::log10(500.0) * 42)));
    QVERIFY(bumps[0].v(1) == 10.0f && bumps[0].v(2) == 1.0f && bumps[0].v(3) == 0.0f);
    QCOMPARE(bumps[1].v(0), 0.0f);
    ui->conf_save->click();
    QCOMPARE(QSettings("Effect.ini", QSettings::IniFormat).value("6user_Ground/landmax").toInt(), 100);
    ui->defult_conf->setChecked(true);
    // The next bump needs a climb first.
    fly(kAirborne);
    tick();
    fly(down);
    tick(2);
    QCOMPARE(group(0, 0.0f).size(), 4);

    // The stall warning shakes with half the strength (120 N x 100 %) only above 50 ft.
    emu().clearCounters();
    fly(kAirborne, {{"agl", {50}}, {"stall", {1}}});
    tick();
    QVERIFY(group(0, 2.0f).isEmpty());
    fly(kAirborne, {{"agl", {51}}, {"stall", {1}}});
    tick();
    QCOMPARE(group(0, 2.0f).size(), 1);
    QCOMPARE(group(0, 2.0f)[0].v(0), 60.0f);
    QCOMPARE(emu().vibrationAmplitude(0, 2), 60.0f);

    // Implausible data: "data error" with the last failing code, nothing sent.
    emu().clearCounters();
    LogCapture::lines().clear();
    fly(kAirborne, {{"rpm", {-1, 0, 0, 0}}, {"vs", {70000}}});
    tick();
    QCOMPARE(LogCapture::countContaining("data error 8"), 1);
    QCOMPARE(emu().framesWrittenTotal(), 0);
    SimState s;
    s.indicatedAirspeed = 2000.0f;   // a bound itself passes
    QCOMPARE(effectDataErrorCode(s), 0);
    s.groundSpeed = -5;
    QCOMPARE(effectDataErrorCode(s), 7);

    // Force limits from a corrupt record: a negative roll limit caps the
    // turbulence at 0, a pitch limit past int's range gives no shake.
    SimState air;
    air.heightAboveGround = 1000;
    air.windSpeed = 10;
    air.windDirection = 90;
    air.stallWarning = 1;
    EffectParams p;
    EffectMemory m;
    p.turbulenceEnable = p.shakerEnable = 1;
    p.turbulenceMaxPercent = 50;
    p.shakerStrength = 100;
    ForceLimits corrupt;
    corrupt.roll = -40;
    corrupt.pitch = 1e30f;
    computeTurbulence(air, SimChoice::XPlane, corrupt, p, m);
    QCOMPARE(p.turbulenceRoll, 0.0f);
    computeShaker(air, SimChoice::XPlane, corrupt, p);
    QCOMPARE(p.shakerOut[0], 0.0f);
}

void TestEffects::sendRulesAndDisableSequence()
{
    goOnline();
    // A low-speed amplitude of 0.05 is sent once; 0.2 goes on every tick.
    for (auto [ias, sends] : {std::pair{29.95f, 1}, {29.8f, 3}}) {
        fly({{"ias", {ias}}, {"gear", {1, 1, 1}}, {"rpm", {0, 0, 0, 0}}});
        tick();
        emu().clearCounters();
        tick(3);
        QCOMPARE(sent(0x32).size(), sends == 1 ? 0 : 3);
    }
    // An unchanged engine goes again on the 21st tick after its last send.
    fly(kAirborne, {{"rpm", {2400, 0, 0, 0}}});
    tick();
    emu().clearCounters();
    tick(20);
    QCOMPARE(group(1, 0.0f).size(), 0);
    tick();
    QCOMPARE(group(1, 0.0f).size(), 1);

    // The change thresholds, each side of them, on a quiet block: 0x32 (length
    // 21) value 1 by 0.5, values 2 and 3 by 0.1, either channel; the rumble
    // by 1 in its amplitude and 2 in its frequency (the middle two do not
    // count), the shaker by 1, 2, 1 and 1.
    EffectParams &p = w->effectParams;
    p = EffectParams();
    w->effectSend = EffectSendState();
    w->effectSend.forceSwitch = w->effectSend.vibrationSwitch = 1;
    // (value, its index in the packet, command, channel, 0x42 mode, threshold)
    const struct { float *value; int i, cmd, ch; float mode, limit; } rules[] = {
        {&p.turbulencePitch, 0, 0x32, 0, 0, 0.5f}, {&p.springPitchZoneOut, 1, 0x32, 0, 0, 0.1f},
        {&p.springPitchCoeff, 2, 0x32, 0, 0, 0.1f}, {&p.turbulenceRoll, 0, 0x32, 1, 0, 0.5f},
        {&p.springRollZoneOut, 1, 0x32, 1, 0, 0.1f}, {&p.springRollCoeff, 2, 0x32, 1, 0, 0.1f},
        {&p.rumbleOut[0], 0, 0x42, 0, 1, 1}, {&p.rumbleOut[1], 1, 0x42, 0, 1, INFINITY},
        {&p.rumbleOut[2], 2, 0x42, 0, 1, INFINITY}, {&p.rumbleOut[3], 3, 0x42, 0, 1, 2},
        {&p.shakerOut[0], 0, 0x42, 0, 2, 1}, {&p.shakerOut[1], 1, 0x42, 0, 2, 2},
        {&p.shakerOut[2], 2, 0x42, 0, 2, 1}, {&p.shakerOut[3], 3, 0x42, 0, 2, 1},
    };
    for (const auto &r : rules) {
        // The values this change sent, in the rule's slot.
        const auto change = [&](float v) {
            *r.value = v;
            emu().clearCounters();
            w->send0x32();
            w->send0x42();
            QVector<float> out;
            for (const Sent &s : sent(r.cmd))
                if (s.ch() == r.ch && (r.cmd == 0x32 ? s.len() == 21 : s.v(4) == r.mode))
                    out << s.v(r.i);
            return out;
        };
        const bool counts = !std::isinf(r.limit);
        QVERIFY(change(counts ? r.limit * 0.9f : 50.0f).isEmpty());
        *r.value = 0;
        if (counts) {
            QCOMPARE(change(r.limit * 1.1f), QVector<float>{r.limit * 1.1f});
            QCOMPARE(change(0), QVector<float>{0.0f});
        }
    }

    // Disable: forces released in order, then nothing more.
    emu().clearCounters();
    ui->btn_disable->click();
    QStringList order;
    for (const Sent &s : sent())
        order << QString("%1/%2/%3/%4").arg(s.cmd(), 0, 16).arg(s.len()).arg(s.ch()).arg(s.cmd() == 0x42 ? s.v(4) : s.mode());
    QCOMPARE(order, (QStringList{"32/13/0/0", "32/13/1/0", "42/24/1/0", "42/24/0/1", "42/24/0/2", "42/24/0/0",
                                 "31/20/0/4", "31/20/1/4", "31/20/0/2", "31/20/1/2"}));
    QVERIFY(!w->effectTimer.isActive() && w->xpData->active() == 0);
    emu().clearCounters();
    QTest::qWait(300);
    tick();
    QCOMPARE(emu().framesWrittenTotal(), 0);
}

void TestEffects::trimStepsAndAutopilot()
{
    QCOMPARE(w->trimStepCommand(0.5f, 0.495f, 3), 0.0f);
    QCOMPARE(w->trimStepCommand(0.5f, 0.48f, 3), -3.0f);
    QCOMPARE(w->trimStepCommand(1.2f, 1.0f, 3), 0.0f);

    goOnline();
    // X-Plane autopilot on, demand 6.0 (trim -0.24 x -25), roll demand 7.5 (sent as 4.5):
    // from the device's pitch position 3.0 the location steps 4.0, 5.0, 6.0.
    fly(kAirborne, {{"ap", {2}}, {"etrim", {-0.24f}}, {"rollratio", {-0.25f}}});
    QVector<float> pitch;
    for (float position : {3.0f, 4.0f, 5.0f}) {
        w->liveData[0][0] = position;
        emu().clearCounters();
        tick();
        for (const Sent &s : sent(0x31)) {
            QCOMPARE(s.mode(), 3);
            if (s.ch() == 0)
                pitch << s.location();
            else
                QCOMPARE(s.location(), 4.5f);
        }
    }
    QCOMPARE(pitch, (QVector<float>{4.0f, 5.0f, 6.0f}));
    QVERIFY(ui->AP_state->styleSheet().endsWith("green"));

    // The trim tick: with the option "Disable hardware trim on ground" (applied
    // at Test) a take-off sends one pair with trim state 1, a landing one with 0.
    w->liveData[0][0] = 0.0f;
    fly({{"ap", {0}}, {"gear", {1, 1, 1}}});
    tick();   // the autopilot lets go
    w->slots_timeOuttxTrimTimer();
    emu().clearCounters();
    for (const Values &v : {kAirborne, kAirborne, Values{{"gear", {1, 1, 1}}}, Values{{"gear", {1, 1, 1}}}}) {
        fly(v);
        w->slots_timeOuttxTrimTimer();
    }
    const auto pairs = [] {
        QStringList out;
        for (const Sent &s : sent(0x31))
            out << QString("%1:%2").arg(s.ch()).arg(s.trimState());
        return out;
    };
    QCOMPARE(pairs(), (QStringList{"0:1", "1:1", "0:0", "1:0"}));

    // The option stays the user's while the trim state sent is 0: an Apply on
    // the ground asks for one pair, still with 0; a Save stores the box's 1,
    // and loading that profile keeps the box checked.
    emu().clearCounters();
    ui->btn_apply->click();
    w->slots_timeOuttxTrimTimer();
    w->slots_timeOuttxTrimTimer();
    QCOMPARE(pairs(), (QStringList{"0:0", "1:0"}));
    ui->user_conf->setChecked(true);
    ui->serial->setCurrentText("5");
    ui->conf_save->click();
    QCOMPARE(QSettings("Effect.ini", QSettings::IniFormat).value("5user_Trim/state").toInt(), 1);
    ui->conf_apply->click();
    QVERIFY(ui->Trimstate->isChecked());
    ui->defult_conf->setChecked(true);

    // Software trim moving (pitch input 1.1625, roll -1.0: steps -5 and 5, the
    // device's trims running apart at 1 unit a second) when the trim tick stops
    // with the device online: Disable, Disconnect and Close Port leave each
    // channel with speed 0.0 and the rest of its record as it was. Started
    // again, the trim tick sends its steps without being asked.
    const auto moving = [] { return emu().trimPosition(0) < -0.3f && emu().trimPosition(1) > 0.3f; };
    w->startTxTimer();   // the trim tick's reference follows the device's trim
    fly(kAirborne, {{"etrim", {1.0f}}, {"atrim", {-0.8f}}});
    ui->softTrim_enable_2->click();
    w->startTrimTimer();
    QTRY_VERIFY(moving());
    // Disable centres the trims, and they stay there.
    emu().clearCounters();
    ui->btn_disable->click();
    QCOMPARE(records(sent(0x31)), (QStringList{"0:4:0:0", "1:4:0:0", "0:2:0:0", "1:2:0:0"}));
    QTest::qWait(1000);
    QVERIFY(sent(0x31).size() == 4 && !w->trimTimer.isActive());
    for (int ch = 0; ch < 2; ++ch)
        QVERIFY2(near(emu().trimPosition(ch), 0.0f, 0.01f) && near(w->liveData[ch][2], 0.0f, 0.01f),
                 qPrintable(QString::number(emu().trimPosition(ch))));
    // Connect, software trim still on: the steps go out before Enable asks for them.
    emu().clearCounters();
    ui->pushButton_connect_Fsim->click();
    QTRY_VERIFY(sent(0x31).size() >= 2);
    QCOMPARE(records(sent(0x31).mid(0, 2)), (QStringList{"0:2:-5:0", "1:2:5:0"}));
    ui->btn_test->click();
    w->effectTimer.stop();
    QTRY_VERIFY(moving());
    // Disconnect: one speed-only record per channel, and the trims hold still.
    QVector<Sent> last(2);
    for (const Sent &s : sent(0x31))
        last[s.ch()] = s;
    emu().clearCounters();
    ui->pushButton_Disconnect_Fsim->click();
    const QVector<Sent> zeros = sent(0x31);
    QCOMPARE(records(zeros), (QStringList{"0:2:0:0", "1:2:0:0"}));
    const auto butSpeed = [](Sent s) {
        std::fill(&s.f[9], &s.f[13], 0);
        return QByteArray(reinterpret_cast<const char *>(&s.f[5]), 20);
    };
    for (const Sent &z : zeros)
        QCOMPARE(butSpeed(z), butSpeed(last[z.ch()]));
    const float held[2] = {emu().trimPosition(0), emu().trimPosition(1)};
    QTest::qWait(500);
    QVERIFY(near(emu().trimPosition(0), held[0], 0.01f) && near(emu().trimPosition(1), held[1], 0.01f));
    // Coupled, the trim tick outlives Disable: it sends its steps again, the
    // device holding 0.0 now. The coupled mode's off button stops it, and so
    // does Close Port after the extra tick it runs; each leaves 0.0 last.
    const auto lastSpeeds = [&] {
        for (const Sent &s : sent(0x31))
            last[s.ch()] = s;
        return QString("%1 %2").arg(last[0].speed()).arg(last[1].speed());
    };
    emu().clearCounters();
    ui->pushButton_connect_Fsim->click();
    QTRY_VERIFY(sent(0x31).size() >= 2);
    ui->pushButton_yoke_coupled_enable->click();
    emu().clearCounters();
    ui->btn_disable->click();
    QTRY_VERIFY(sent(0x31).size() >= 6);
    QCOMPARE(records(sent(0x31).mid(4, 2)), (QStringList{"0:2:-5:0", "1:2:5:0"}));
    ui->pushButton_yoke_coupled_disable->click();
    QCOMPARE(lastSpeeds(), QStringLiteral("0 0"));
    emu().clearCounters();
    ui->pushButton_connect_Fsim->click();
    QTRY_VERIFY(sent(0x31).size() >= 2);
    w->on_pushButton_closePort_clicked();
    QCOMPARE(lastSpeeds(), QStringLiteral("0 0"));
}

void TestEffects::trimReleasedWhereCommandingStops()
{
    // Software trim moving: pitch input 1.1625 and roll -1.0 give steps -5 and 5.
    goOnline(false);
    fly(kAirborne, {{"etrim", {1.0f}}, {"atrim", {-0.8f}}});
    ui->softTrim_enable_2->click();
    const auto trimming = [] { return emu().trimSpeed(0) == -5.0f && emu().trimSpeed(1) == 5.0f; };
    const auto still = [] { return emu().trimSpeed(0) == 0.0f && emu().trimSpeed(1) == 0.0f; };
    const auto reopen = [&] {
        ui->pushButton_openPort->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->isOnline() && w->txTimer.isActive(), 2000);
        QTest::qWait(100);
    };
    // Whether every 0x31 of each channel after its first speed 0 carries 0 too.
    const auto nothingAfterRelease = [](const QVector<Sent> &frames) {
        bool released[2] = {false, false};
        for (const Sent &s : frames) {
            if (released[s.ch() & 1] && s.speed() != 0.0f)
                return false;
            released[s.ch() & 1] = released[s.ch() & 1] || s.speed() == 0.0f;
        }
        return released[0] && released[1];
    };

    // The release changes the speed alone: mode 4 and the locations an
    // autopilot left stay as they were.
    w->send0x31(0.0f, 0, 4, 3.0f, 1);
    w->send0x31(0.0f, 1, 4, -2.0f, 1);
    w->startTrimTimer();
    QTRY_VERIFY(trimming());
    emu().clearCounters();
    ui->pushButton_Disconnect_Fsim->click();
    QCOMPARE(records(sent(0x31)), (QStringList{"0:4:0:3", "1:4:0:-2"}));
    QVERIFY(still());
    w->send0x31(0.0f, 0, 2, 0.0f, 1);
    w->send0x31(0.0f, 1, 2, 0.0f, 1);

    // A record whose write failed leaves its channel's speed unknown: the
    // device trims on at the last speed that reached it, and the release
    // zeroes that channel although the table already says 0.
    ui->pushButton_connect_Fsim->click();
    QTRY_VERIFY(trimming());
    emu().behaviour().failWriteCount = 1;
    w->send0x31(0.0f, 0, 0, 0.0f, 0);   // speed only
    QVERIFY(trimming() && emu().behaviour().failWriteCount == 0);
    emu().clearCounters();
    ui->pushButton_Disconnect_Fsim->click();
    QVERIFY(still());
    QCOMPARE(records(sent(0x31)).mid(0, 1), QStringList{"0:2:0:0"});

    // The link is lost while the device trims, and the device restarts
    // meanwhile: it holds nothing. After Close Port, Open Port and Connect the
    // first trim tick sends the steps again, and Disconnect zeroes them.
    ui->pushButton_connect_Fsim->click();
    QTRY_VERIFY(trimming());
    emu().behaviour().failReadCount = -1;
    w->startTxTimer();
    QTRY_VERIFY_WITH_TIMEOUT(closer->count("WARNING|Connection Lost") == 1, 3000);
    emu().behaviour().failReadCount = 0;
    emu().restart();
    QVERIFY(still());
    ui->pushButton_closePort->click();
    reopen();
    emu().clearCounters();
    ui->pushButton_connect_Fsim->click();
    QTRY_VERIFY(trimming());
    QCOMPARE(records(sent(0x31)).mid(0, 2), (QStringList{"0:2:-5:0", "1:2:5:0"}));
    ui->pushButton_Disconnect_Fsim->click();
    QVERIFY(still());

    // Close Port with the trim running: every 0x31 it sends carries speed 0.
    ui->pushButton_connect_Fsim->click();
    QTRY_VERIFY(trimming());
    emu().clearCounters();
    ui->pushButton_closePort->click();
    QVERIFY(!sent(0x31).isEmpty());
    for (const Sent &s : sent(0x31))
        QCOMPARE(s.speed(), 0.0f);
    QVERIFY(still());
    // Coupled, the mode's last trim ticks go first; no step follows the release.
    reopen();
    ui->pushButton_connect_Fsim->click();
    ui->pushButton_yoke_coupled_enable->click();
    QTRY_VERIFY(trimming());
    emu().clearCounters();
    ui->pushButton_closePort->click();
    QVERIFY2(nothingAfterRelease(sent(0x31)), qPrintable(records(sent(0x31)).join(' ')));
    QVERIFY(still());

    // Boot-mode entry with the trim running: its 0x31 carry speed 0, and none
    // goes to the device once it restarts into its boot loader.
    reopen();
    ui->pushButton_connect_Fsim->click();
    QTRY_VERIFY(trimming());
    emu().clearCounters();
    closer->answers.insert("Please Confirm|Please Confirm", QMessageBox::Yes);
    ui->ReadyUpdata->click();
    QVERIFY(emu().bootMode() && w->portOpenFlag == 0);
    QVERIFY(!sent(0x31).isEmpty());
    bool restarted = false;
    for (const Sent &s : sent()) {
        restarted = restarted || s.cmd() == 0x18;
        QVERIFY(s.cmd() != 0x31 || (s.speed() == 0.0f && !restarted));
    }
    QVERIFY(restarted && still());
}

void TestEffects::bridgeAutopilotRing()
{
    ui->devicesComboBox_FSimSW->setCurrentText("MSFS");
    goOnline();
    // Averaged demands: a roll demand of 4.0 takes ten ticks to come through.
    const auto feed = [&](double value50) {
        // Extra values 47 (roll demand) and 50 (averaged autopilot) have no name in the bridges built here.
        const std::string d = bridgeDatagram(SimBridgeRecord::MaxValues, 1,
                                             {{SimBridgeRecord::HeightAboveGround, 1000}, {47, -0.16}, {50, value50}});
        QVERIFY(w->xpData->takeBridgeDatagram(d.data(), int(d.size())));
    };
    feed(1);
    QVector<float> roll;
    for (int i = 0; i < 12; ++i) {
        emu().clearCounters();
        tick();
        for (const Sent &s : sent(0x31))
            if (s.ch() == 1)
                roll << s.location();
    }
    QCOMPARE(roll.size(), 10);
    QVERIFY(near(roll[0], 0.4f) && near(roll[4], 2.0f) && near(roll[9], 4.0f));
    // The bridge stops reporting an autopilot: the last demands go with mode 2.
    feed(0);
    emu().clearCounters();
    tick();
    const QVector<Sent> off = sent(0x31);
    QCOMPARE(off.size(), 2);
    QCOMPARE(off[1].mode(), 2);
    QVERIFY(near(off[1].location(), 4.0f));
}

void TestEffects::bridgeRumbleShakerAndTrim()
{
    using namespace SimBridgeRecord;
    ui->devicesComboBox_FSimSW->setCurrentText("MSFS");
    goOnline();
    w->trimAutopilot = TrimAutopilotState();
    const auto feed = [&](std::map<int, double> values) {
        const std::string d = bridgeDatagram(MsfsValueCount, 1, values);
        QVERIFY(w->xpData->takeBridgeDatagram(d.data(), int(d.size())));
    };
    const auto degrees = [](double d) { return d / 57.0; };   // the bridge sends radians

    // Rumble on the ground (pitch limit 120 N, 5..15 %, 65 knots, setting 100):
    // fast above the take-off speed; below it by surface class, with the floor
    // of 6 N; a surface without rumble (type 30) sends nothing new.
    const struct { int surface; double knots; float amplitude, frequency; } rumble[] = {
        {5, 70, 9.0f, 70.0f}, {5, 20, 7.2f, 227.5f}, {20, 20, 6.0f, 162.5f}, {0, 20, 6.0f, 130.0f}, {30, 20, NAN, NAN},
    };
    for (const auto &r : rumble) {
        feed({{SurfaceType, r.surface}, {GroundVelocity, r.knots}, {GearOnGround0, 1}});
        emu().clearCounters();
        tick();
        const QVector<Sent> g = group(0, 1.0f);
        QCOMPARE(g.size(), std::isnan(r.amplitude) ? 0 : 1);
        if (!g.isEmpty())
            QVERIFY2(near(g[0].v(0), r.amplitude) && g[0].v(1) == 7.0f && g[0].v(2) == 10000.0f
                         && near(g[0].v(3), r.frequency),
                     qPrintable(QString("%1 %2").arg(g[0].v(0)).arg(g[0].v(3))));
    }

    // The shaker's own speeds and angles (k = 120 / 1.5 / 2 = 40): a share of
    // each between their bounds, all of each beyond; then the overspeed at 200 knots.
    const auto shake = [&](double knots, double aoa) {
        feed({{HeightAboveGround, 1000}, {GroundVelocity, knots}, {AngleOfAttack, degrees(aoa)}});
        emu().clearCounters();
        tick();
        const QVector<Sent> g = group(0, 2.0f);
        return g.isEmpty() ? NAN : g[0].v(0);
    };
    QVERIFY(near(shake(40, 15), 40.0f * 2 / 3 + 20.0f, 0.01f));
    QVERIFY(near(shake(30, 25), 80.0f));
    QVERIFY(near(shake(60, 5), 0.0f));
    setBox("Stick_overspeed_state", true);
    ui->Stick_overspeed->setValue(200);
    ui->btn_apply->click();
    QVERIFY(near(shake(210, 5), 60.0f));
    QVERIFY(near(shake(190, 5), 0.0f));

    // Software trim (range ratio 5) on with a steady trim: the next trim tick
    // sends the pair, with trim state 0, although the steps did not change.
    // The MSFS inputs: pitch 36 deg / 360 x 1.4476 x 5 and roll 3.6 / 360 x 7 x 5
    // against the device's trim -14.476 and -7.0 (over -20): steps 0.
    const auto trimPairs = [&](float pitchTrim, float rollTrim) {
        w->liveData[0][2] = pitchTrim;
        w->liveData[1][2] = rollTrim;
        emu().clearCounters();
        w->slots_timeOuttxTrimTimer();
        QStringList out;
        for (const Sent &s : sent(0x31))
            out << QString("%1:%2:%3").arg(s.ch()).arg(s.trimState()).arg(s.at(9));
        return out;
    };
    feed({{HeightAboveGround, 1000}, {ElevatorTrim, degrees(36)}, {AileronTrim, degrees(3.6)}});
    trimPairs(-14.476f, -7.0f);   // the take-off's pair
    QCOMPARE(trimPairs(-14.476f, -7.0f), QStringList());
    ui->softTrim_enable_2->click();
    QCOMPARE(trimPairs(-14.476f, -7.0f), (QStringList{"0:0:0", "1:0:0"}));
    QCOMPARE(trimPairs(-14.476f, -7.0f), QStringList());
    QCOMPARE(trimPairs(-14.0f, -7.5f), (QStringList{"0:0:-5", "1:0:5"}));

    // Prepar3D: pitch 9 deg / 90 x 5, roll 9 / 90 x 5 x 0.8 against -10 and -8.
    w->on_pushButton_closePort_clicked();
    ui->devicesComboBox_FSimSW->setCurrentText("Prepar3D");
    goOnline();
    feed({{HeightAboveGround, 1000}, {ElevatorTrim, degrees(9)}, {AileronTrim, degrees(9)}});
    QCOMPARE(trimPairs(-10.0f, -8.0f), (QStringList{"0:0:0", "1:0:0"}));
    QCOMPARE(trimPairs(-9.0f, -8.5f), (QStringList{"0:0:-5", "1:0:5"}));
    ui->softTrim_disable_2->click();
}

void TestEffects::curveEditorSlopes()
{
    goOnline(false);
    for (auto [box, value] : {std::pair{ui->pos2, -60}, {ui->pos3, -20}, {ui->pos5, 60}, {ui->foc2, -80},
                              {ui->foc3, -10}, {ui->foc5, 80}})
        box->setValue(value);
    ui->pushButtonFocPos->click();
    QCOMPARE(ui->pos4->value(), 20.0);
    QVector<Sent> f = sent(0x40);
    QVERIFY(f.size() >= 2);   // once directly, then until acknowledged
    const float expected[5] = {7.21875f, 2.0625f, 7.21875f, -20.0f / 4.125f, 20.0f / 4.125f};
    for (int i = 0; i < 5; ++i)
        QVERIFY2(near(f[0].v(i), expected[i], 1e-4f), qPrintable(QString::number(f[0].v(i))));
    // The device took the curve; a segment without width has slope 1.
    QVERIFY(near(w->userChanReplyImage[0].slope_2(), 2.0625f));
    ui->pos2->setValue(-60);
    ui->pos3->setValue(-60);
    emu().clearCounters();
    ui->pushButtonFocPos->click();
    QCOMPARE(sent(0x40)[0].v(0), 1.0f);
}

void TestEffects::profilesAndNeverSavedProfile()
{
    // Save to Custom 4 and load it back into the widgets.
    ui->user_conf->setChecked(true);
    QVERIFY(!ui->defult_conf->isChecked() && ui->conf_save->isEnabled());
    ui->serial->setCurrentText("4");
    ui->Motor_spinBox_force->setValue(33);
    ui->dynamic_ratio->setValue(12.5);
    ui->conf_save->click();
    QCOMPARE(closer->boxes.last(), QStringLiteral("Success|Configuration Saved"));
    QSettings file("Effect.ini", QSettings::IniFormat);
    QCOMPARE(file.value("4user_Engine/force_precent").toInt(), 33);
    QCOMPARE(file.value("flag/state").toInt(), 2);
    QCOMPARE(file.value("serial/num").toString(), QStringLiteral("4"));
    ui->Motor_spinBox_force->setValue(1);
    ui->dynamic_ratio->setValue(1);
    ui->conf_apply->click();
    QCOMPARE(ui->Motor_spinBox_force->value(), 33);
    QCOMPARE(ui->dynamic_ratio->value(), 12.5);
    QCOMPARE(closer->boxes.last(), QStringLiteral("Success|Configuration Loaded"));

    // A file that cannot be written: a warning naming it, and no success.
#ifdef _WIN32
    {
        // Another program holds it open without sharing: it cannot be replaced.
        FileHeldElsewhere held(QStringLiteral("Effect.ini"));
        QVERIFY(held.isHeld());
        ui->conf_save->click();
    }
#else
    // The disk is full after 64 bytes.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit was{};
    getrlimit(RLIMIT_FSIZE, &was);
    rlimit tiny = was;
    tiny.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &tiny);
    ui->conf_save->click();
    setrlimit(RLIMIT_FSIZE, &was);
#endif
    QVERIFY(closer->boxes.last().startsWith("WARNING|Could not write "));
    QVERIFY(closer->boxes.last().endsWith("Effect.ini"));

    // A profile never saved loads zeros; switched on, its effects send finite
    // values only (a spring without a speed range, a rumble at standstill).
    ui->serial->setCurrentText("7");
    ui->conf_apply->click();
    QCOMPARE(ui->Motor_spinBox_force->value(), 0);
    QVERIFY(!ui->Motor_checkBox->isChecked() && !ui->dynamic_state->isChecked());
    for (const char *box : {"Motor_checkBox", "dynamic_state", "Ground_enable_state", "yoke_checkBox",
                            "Turbulences_enable_state", "Stick_enable_state", "Ground_landing"})
        setBox(box, true);
    ui->Ground_take_speed->setValue(65);
    ui->Ground_precent_max->setValue(15);
    goOnline();
    fly({{"gear", {1, 1, 1}}, {"surface", {4}}, {"vs", {-300}}});
    tick();
    QCOMPARE(w->effectParams.rumbleOut[3], 0.0f);   // computed as 0, not only sent as 0
    fly(kAirborne, {{"agl", {100}}});
    tick();
    QVERIFY(!sent(0x32).isEmpty());
    for (const Sent &s : sent())
        for (int i = 0; i < 5; ++i)
            QVERIFY(std::isfinite(s.v(i)));
    QCOMPARE(sent(0x32)[0].v(2), -1.0f);
    // A standing aircraft rumbles with no frequency (not an infinite one).
    QVERIFY(!group(0, 1.0f).isEmpty() && group(0, 1.0f)[0].v(0) > 7.0f);
    QCOMPARE(group(0, 1.0f)[0].v(3), 0.0f);

    ui->defult_conf->setChecked(true);
    QVERIFY(!ui->user_conf->isChecked() && !ui->conf_save->isEnabled());
    ui->conf_apply->click();
    QCOMPARE(ui->Motor_spinBox_force->value(), 20);
}

void TestEffects::wholeFlight()
{
    setBox("Turbulences_enable_state", true);
    // Open, Test, Connect: the effects and trim run on their own timers.
    ui->pushButton_openPort->click();
    QTRY_VERIFY_WITH_TIMEOUT(w->isOnline() && w->txTimer.isActive(), 2000);
    ui->btn_test->click();
    ui->pushButton_connect_Fsim->click();

    // Plays a stretch of the scripted circuit at twice its pace.
    const auto play = [&](const char *phase, double from, double to) {
        emu().clearCounters();
        const double start = FlightScript::phaseStart(phase) + from;
        QElapsedTimer t;
        t.start();
        for (double now = start; now < start + to - from; now = start + 2.0 * t.elapsed() / 1000.0) {
            xp.setAircraft(FlightScript::at(now));
            QTest::qWait(10);
        }
    };
    play("taxi", 15, 19);
    QVector<Sent> rumble = group(0, 1.0f);
    QVERIFY(!rumble.isEmpty() && rumble.last().v(0) > 6.0f);
    QVERIFY(emu().vibrationAmplitude(0, 1) > 6.0f);

    play("take-off roll", 15, 23);
    QStringList trimStates;
    for (const Sent &s : sent(0x31))
        trimStates << QString::number(s.trimState());
    QCOMPARE(trimStates, (QStringList{"1", "1"}));

    // Software trim in the climb: the device's trim runs to where the
    // simulator's elevator trim puts it and stops there, one command to start
    // and one to stop (a reference that overshot would turn it back).
    ui->softTrim_enable_2->click();
    play("climb", 2, 14);
    QStringList speeds;
    for (const Sent &s : sent(0x31))
        if (s.ch() == 0)
            speeds << QString::number(s.speed());
    QCOMPARE(speeds, (QStringList{"-5", "0"}));
    const float climbTrim = -(0.1f - 0.07f) * 0.25f * 5.0f * 20.0f;   // the pitch input over the reference's scale
    QVERIFY2(near(emu().trimPosition(0), climbTrim, 0.25f), qPrintable(QString::number(emu().trimPosition(0))));
    QVERIFY(near(w->liveData[0][2], emu().trimPosition(0)));
    ui->softTrim_disable_2->click();

    play("cruise", 0, 8);
    float spring = NAN;
    for (const Sent &s : sent(0x32))
        if (s.ch() == 0)
            spring = s.v(2);
    QVERIFY(near(spring, float((0.5 + 1.0) * 80.0 / 90.0 - 1.0), 0.1f));

    play("turbulence", 2, 12);
    QSet<float> roll;
    for (const Sent &s : sent(0x32))
        if (s.ch() == 1)
            roll << s.v(0);
    QVERIFY2(roll.size() >= 4, qPrintable(QString::number(roll.size())));

    play("stall", 7, 13);
    QVERIFY(!group(0, 2.0f).isEmpty() && group(0, 2.0f).last().v(0) > 0.0f);

    play("landing", 2, 8);
    QVector<Sent> bumps;
    for (const Sent &s : group(0, 0.0f))
        if (s.v(0) > 0)
            bumps << s;
    QCOMPARE(bumps.size(), 1);
    QVERIFY(near(bumps[0].v(0), float(std::log10(450.0) * 21)));
}

QTEST_MAIN(TestEffects)
#include "test_effects.moc"
