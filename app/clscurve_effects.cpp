// The effect switches of the Effects tab, Test and Apply, and the yoke,
// hardware-trim, coupled-yoke and software-trim buttons. None of them sends
// anything: the effect tick and the trim tick act on what they set.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "cxpdata.h"
#include "setini.h"

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
        ui->btn_disable->setEnabled(true);
        ui->btn_test->setEnabled(false);
        ui->btn_apply->setEnabled(true);
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
        p.engineStrength = ui->Motor_spinBox_force->value();
        p.lowSpeedStrength = ui->yoke_spinBox_force->value();
        p.lowSpeedStart = ui->yoke_spinBox_min->value();
        p.lowSpeedMiddle = ui->yoke_spinBox_max->value();
        p.propIdleRpm = ui->yoke_Affect_min->value();
        p.propMiddleRpm = ui->yoke_Affect_max->value();
        p.rumbleMinPercent = ui->Ground_precent_min->value();
        p.rumbleMaxPercent = ui->Ground_precent_max->value();
        p.rumbleSpeed = ui->Ground_take_speed->value();
        p.rumbleSetting = ui->Ground_type->value();
        p.groundHeightOffset = float(ui->Ground_height->value());
        p.turbulenceMinPercent = ui->Turbulences_precent_min->value();
        p.turbulenceMaxPercent = ui->Turbulences_precent_max->value();
        p.turbulenceSensitivity = ui->Turbulences_precent_Sensitivity->value();
        p.turbulenceGain = ui->Turbulences_precent_ramp->value();
        p.shakerSpeedMin = ui->Stick_speed_min->value();
        p.shakerSpeedMax = ui->Stick_speed_max->value();
        p.shakerAoaMin = float(ui->Stick_AoA_min->value());
        p.shakerAoaMax = float(ui->Stick_AoA_max->value());
        p.shakerStrength = ui->Stick_precent_force->value();
        p.overspeedSpeed = ui->Stick_overspeed->value();
        p.springPitchMinSpeed = float(ui->dynamic_spd->value());
        p.springPitchRatio = float(ui->dynamic_ratio->value());
        p.springPitchZone = float(ui->dynamic_zone->value());
        p.springRollMinSpeed = float(ui->dynamic_spd_2->value());
        p.springRollRatio = float(ui->dynamic_ratio_2->value());
        p.springRollZone = float(ui->dynamic_zone_2->value());
        p.springPitchMaxSpeed = float(ui->dynamic_spd_3->value());
        p.springRollMaxSpeed = float(ui->dynamic_spd_4->value());

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
    if (!checkOnline())
        return;
    ui->pushButton_yoke_phy_enable->setEnabled(false);
    ui->pushButton_yoke_phy_disable->setEnabled(true);
}

void clscurve::on_pushButton_yoke_phy_disable_clicked()
{
    ui->pushButton_yoke_phy_enable->setEnabled(true);
    ui->pushButton_yoke_phy_disable->setEnabled(false);
}

void clscurve::on_pushButton_yoke_HWtrim_enable_clicked()
{
    if (!checkOnline())
        return;
    ui->pushButton_yoke_HWtrim_enable->setEnabled(false);
    ui->pushButton_yoke_HWtrim_disable->setEnabled(true);
}

void clscurve::on_pushButton_yoke_HWtrim_disable_clicked()
{
    ui->pushButton_yoke_HWtrim_enable->setEnabled(true);
    ui->pushButton_yoke_HWtrim_disable->setEnabled(false);
}

void clscurve::on_pushButton_yoke_coupled_enable_clicked()
{
    if (!checkOnline())
        return;
    coupledMode = 1;
    // Without a simulator the trim tick still has to carry the coupled mode.
    if (!xpData->active())
        startTrimTimer();
    ui->pushButton_yoke_coupled_enable->setEnabled(false);
    ui->pushButton_yoke_coupled_disable->setEnabled(true);
}

void clscurve::on_softTrim_enable_2_clicked()
{
    trimAutopilot.softTrimOn = 1;
    trimAutopilot.trimChanged = 1;
    ini->Trim_softtrim = 1;
    ui->softTrim_enable_2->setEnabled(false);
    ui->softTrim_disable_2->setEnabled(true);
}

void clscurve::on_softTrim_disable_2_clicked()
{
    trimAutopilot.softTrimOn = 0;
    trimAutopilot.trimChanged = 1;
    ini->Trim_softtrim = 0;
    ui->softTrim_enable_2->setEnabled(true);
    ui->softTrim_disable_2->setEnabled(false);
}
