// The effect switches of the Effects tab, Test and Apply, and the yoke,
// hardware-trim, coupled-yoke and software-trim buttons. None of them sends
// anything: the effect tick and the trim tick act on what they set.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "cxpdata.h"
#include "setini.h"

#include <QPushButton>

#include <algorithm>
#include <cmath>

std::vector<clscurve::EffectWidgetField> clscurve::effectWidgetFields() const
{
    using S = EffectSettings;
    using P = EffectParams;
    const auto i = [](QWidget *w, int32_t S::*s, int32_t P::*p) { return EffectWidgetField{w, s, nullptr, p, nullptr}; };
    const auto f = [](QWidget *w, float S::*s, float P::*p) { return EffectWidgetField{w, nullptr, s, nullptr, p}; };
    return {
        i(ui->Motor_spinBox_force, &S::Engine_force_precent, &P::engineStrength),
        i(ui->Turbulences_precent_ramp, &S::Turbulences_ramp, &P::turbulenceGain),
        i(ui->Turbulences_precent_min, &S::Turbulences_force_precent_min, &P::turbulenceMinPercent),
        i(ui->Turbulences_precent_max, &S::Turbulences_force_precent_max, &P::turbulenceMaxPercent),
        i(ui->Turbulences_precent_Sensitivity, &S::Turbulences_sensitivity, &P::turbulenceSensitivity),
        i(ui->Ground_precent_min, &S::Ground_force_precent_min, &P::rumbleMinPercent),
        i(ui->Ground_precent_max, &S::Ground_force_precent_max, &P::rumbleMaxPercent),
        i(ui->Ground_take_speed, &S::Ground_speed, &P::rumbleSpeed),
        i(ui->Ground_type, &S::Ground_setting, &P::rumbleSetting),
        f(ui->Ground_height, &S::Ground_Height, &P::groundHeightOffset),
        // Apply takes the landing strength from the store, which only Save fills.
        i(ui->Ground_Landing_present, &S::Ground_landmax, nullptr),
        i(ui->yoke_spinBox_force, &S::physics_force_precent, &P::lowSpeedStrength),
        i(ui->yoke_spinBox_min, &S::physics_speed_start, &P::lowSpeedStart),
        i(ui->yoke_spinBox_max, &S::physics_speed_middle, &P::lowSpeedMiddle),
        i(ui->yoke_Affect_min, &S::physics_rpm_idle, &P::propIdleRpm),
        i(ui->yoke_Affect_max, &S::physics_rpm_middle, &P::propMiddleRpm),
        i(ui->Stick_precent_force, &S::stick_force_precent, &P::shakerStrength),
        i(ui->Stick_speed_min, &S::stick_speed_min, &P::shakerSpeedMin),
        i(ui->Stick_speed_max, &S::stick_speed_max, &P::shakerSpeedMax),
        f(ui->Stick_AoA_min, &S::stick_aoa_min, &P::shakerAoaMin),
        f(ui->Stick_AoA_max, &S::stick_aoa_max, &P::shakerAoaMax),
        i(ui->Stick_overspeed, &S::stick_speed_over, &P::overspeedSpeed),
        f(ui->dynamic_spd, &S::Dynamic_pitch_mid, &P::springPitchMinSpeed),
        f(ui->dynamic_ratio, &S::Dynamic_pitch_ratio, &P::springPitchRatio),
        f(ui->dynamic_zone, &S::Dynamic_pitch_zone, &P::springPitchZone),
        f(ui->dynamic_spd_2, &S::Dynamic_roll_mid, &P::springRollMinSpeed),
        f(ui->dynamic_ratio_2, &S::Dynamic_roll_ratio, &P::springRollRatio),
        f(ui->dynamic_zone_2, &S::Dynamic_roll_zone, &P::springRollZone),
        f(ui->dynamic_spd_3, &S::Dynamic_pitch_max, &P::springPitchMaxSpeed),
        f(ui->dynamic_spd_4, &S::Dynamic_roll_max, &P::springRollMaxSpeed),
        // A whole-number box on a float widget: its value is truncated.
        i(ui->softTrim, &S::Trim_softtrimspd, nullptr),
    };
}

double clscurve::EffectWidgetField::value() const
{
    return widget->property("value").toDouble();
}

double clscurve::EffectWidgetField::held(double v) const
{
    // The form's range, read from the box itself; a whole-number field takes
    // the whole numbers inside it. Not a number counts as 0.
    double lo = widget->property("minimum").toDouble();
    double hi = widget->property("maximum").toDouble();
    if (settingsInt) {
        lo = std::ceil(lo);
        hi = std::floor(hi);
    }
    return std::isnan(v) ? std::clamp(0.0, lo, hi) : std::clamp(v, lo, hi);
}

void clscurve::setModeButtons(QPushButton *enable, QPushButton *disable, bool on)
{
    enable->setEnabled(!on);
    disable->setEnabled(on);
}

void clscurve::showEffectsRunning(bool running)
{
    ui->btn_disable->setEnabled(running);
    ui->btn_test->setEnabled(!running);
    ui->btn_apply->setEnabled(running);
}

void clscurve::storeSwitch(int state, int32_t *mirror, int32_t *field)
{
    const int32_t on = state == Qt::Checked ? 1 : 0;
    if (mirror)
        *mirror = on;
    if (field)
        *field = on;
}

void clscurve::on_Motor_checkBox_stateChanged(int state) { storeSwitch(state, &mirrors.engine, &ini->Engine_state); }
void clscurve::on_yoke_checkBox_stateChanged(int state) { storeSwitch(state, &mirrors.lowSpeedSpring, &ini->physics_state); }
void clscurve::on_wash_checkBox_stateChanged(int state) { storeSwitch(state, &mirrors.propWash, &ini->physics_prop); }
void clscurve::on_Ground_enable_state_stateChanged(int state) { storeSwitch(state, &mirrors.groundVibration, &ini->Ground_state); }
void clscurve::on_Turbulences_enable_state_stateChanged(int state) { storeSwitch(state, &mirrors.turbulence, &ini->Turbulences_state); }
void clscurve::on_Stick_enable_state_stateChanged(int state) { storeSwitch(state, &mirrors.stallWarning, &ini->stick_state); }
void clscurve::on_Stick_user_state_stateChanged(int state) { storeSwitch(state, &mirrors.customStall, &ini->stick_user); }
void clscurve::on_Stick_overspeed_state_stateChanged(int state) { storeSwitch(state, &mirrors.overspeed, &ini->stick_over); }
void clscurve::on_AP_enable_stateChanged(int state) { storeSwitch(state, &mirrors.autopilot, &ini->ap_state); }
void clscurve::on_dynamic_state_stateChanged(int state) { storeSwitch(state, &mirrors.dynamicForce, &ini->Dynamic_state); }
void clscurve::on_Trimstate_stateChanged(int state) { storeSwitch(state, nullptr, &ini->Trim_state); }
void clscurve::on_Ground_landing_stateChanged(int state) { storeSwitch(state, nullptr, &ini->Ground_Landing); }
void clscurve::on_yoke_enginetype_stateChanged(int state) { storeSwitch(state, nullptr, &ini->Ground_type); }
void clscurve::on_AP_enable_2_stateChanged(int state) { storeSwitch(state, &trimAutopilot.softTrimOn, &ini->Trim_softtrim); }

void clscurve::on_btn_test_clicked()
{
    if (!checkOnline())
        return;
    if (effectsRunning == 0) {
        startEffectTimer();
        effectsRunning = 1;
        showEffectsRunning(true);
        on_btn_apply_clicked();
    }
    // A Test while the effects run only reopens the gates.
    effectSend.forceSwitch = 1;
    effectSend.vibrationSwitch = 1;
}

void clscurve::showEngineType(bool jet)
{
    ui->yoke_enginetype->setChecked(jet);
    ui->yoke_lable_ldle_4->setText(jet ? QStringLiteral("Engine RPM/N1") : QStringLiteral("Engine RPM"));
    ui->yoke_lable_ldle->setText(jet ? QStringLiteral("Idle engine RPM/N1") : QStringLiteral("Idle engine RPM"));
    ui->yoke_lable_mami->setText(jet ? QStringLiteral("Maximum engine RPM/N2") : QStringLiteral("Maximum engine RPM"));
}

void clscurve::on_btn_apply_clicked()
{
    ui->btn_apply->setEnabled(false);
    if (effectsRunning == 1) {
        // All copies happen before the event loop runs again, so no effect
        // tick sees a half-applied block.
        EffectParams &p = effectParams;
        for (const EffectWidgetField &f : effectWidgetFields()) {
            if (f.paramsInt)
                p.*f.paramsInt = static_cast<int32_t>(f.value());
            else if (f.paramsFloat)
                p.*f.paramsFloat = float(f.value());
        }

        trimAutopilot.trimChanged = 1;
        trimAutopilot.hwTrimOnGround = ini->Trim_state;
        showEngineType(ini->Ground_type == 1);

        // The elevator axes are always on; the others follow their mirrors.
        p.propWashElevator = 1;
        p.rumbleElevator = 1;
        p.shakerElevator = 1;
        p.lowSpeedEnable = mirrors.lowSpeedSpring;
        p.propWashEnable = mirrors.propWash;
        p.propWashRudder = mirrors.washRudder;
        p.propWashAileron = mirrors.washAileron;
        p.rumbleEnable = mirrors.groundVibration;
        p.rumbleAileron = mirrors.groundAileron;
        p.rumbleRudder = mirrors.groundRudder;
        p.turbulenceEnable = mirrors.turbulence;
        p.engineEnable = mirrors.engine;
        p.autopilotEnable = mirrors.autopilot;
        p.shakerEnable = mirrors.stallWarning;
        p.shakerUserMode = mirrors.customStall;
        p.overspeedEnable = mirrors.overspeed;
        p.shakerRudder = mirrors.shakerRudder;
        p.springEnable = mirrors.dynamicForce;
        // The landing strength comes from the store: a profile Save puts the box there.
        p.landingEnable = ini->Ground_Landing;
        p.landingStrength = ini->Ground_landmax;
        if (mirrors.autopilot != mirrors.appliedAutopilot)
            mirrors.appliedAutopilot = mirrors.autopilot;
    }
    delayMs(10);
    ui->btn_apply->setEnabled(true);
}

void clscurve::on_pushButton_yoke_phy_enable_clicked()
{
    if (checkOnline())
        setModeButtons(ui->pushButton_yoke_phy_enable, ui->pushButton_yoke_phy_disable, true);
}

void clscurve::on_pushButton_yoke_phy_disable_clicked()
{
    setModeButtons(ui->pushButton_yoke_phy_enable, ui->pushButton_yoke_phy_disable, false);
}

void clscurve::on_pushButton_yoke_HWtrim_enable_clicked()
{
    if (checkOnline())
        setModeButtons(ui->pushButton_yoke_HWtrim_enable, ui->pushButton_yoke_HWtrim_disable, true);
}

void clscurve::on_pushButton_yoke_HWtrim_disable_clicked()
{
    setModeButtons(ui->pushButton_yoke_HWtrim_enable, ui->pushButton_yoke_HWtrim_disable, false);
}

void clscurve::on_pushButton_yoke_coupled_enable_clicked()
{
    if (!checkOnline())
        return;
    coupledMode = 1;
    // Without a simulator the trim tick still has to carry the coupled mode.
    if (!xpData->active())
        startTrimTimer();
    setModeButtons(ui->pushButton_yoke_coupled_enable, ui->pushButton_yoke_coupled_disable, true);
}

void clscurve::on_softTrim_enable_2_clicked()
{
    trimAutopilot.softTrimOn = 1;
    trimAutopilot.trimChanged = 1;
    ini->Trim_softtrim = 1;
    setModeButtons(ui->softTrim_enable_2, ui->softTrim_disable_2, true);
}

void clscurve::on_softTrim_disable_2_clicked()
{
    trimAutopilot.softTrimOn = 0;
    trimAutopilot.trimChanged = 1;
    ini->Trim_softtrim = 0;
    setModeButtons(ui->softTrim_enable_2, ui->softTrim_disable_2, false);
}
