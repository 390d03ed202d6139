// Effect settings record to the effect widgets.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "setini.h"

void clscurve::uiChange()
{
    // An item that does not exist (such as "0") leaves the box as it is.
    ui->serial->setCurrentText(QString::number(ini->serial_num));

    ui->Motor_spinBox_force->setValue(ini->Engine_force_precent);
    ui->Turbulences_precent_ramp->setValue(ini->Turbulences_ramp);
    ui->Turbulences_precent_min->setValue(ini->Turbulences_force_precent_min);
    ui->Turbulences_precent_max->setValue(ini->Turbulences_force_precent_max);
    ui->Turbulences_precent_Sensitivity->setValue(ini->Turbulences_sensitivity);
    ui->Ground_precent_min->setValue(ini->Ground_force_precent_min);
    ui->Ground_precent_max->setValue(ini->Ground_force_precent_max);
    ui->Ground_take_speed->setValue(ini->Ground_speed);
    ui->Ground_type->setValue(ini->Ground_setting);
    ui->Ground_height->setValue(double(ini->Ground_Height));
    ui->Ground_Landing_present->setValue(ini->Ground_landmax);
    ui->yoke_spinBox_force->setValue(ini->physics_force_precent);
    ui->yoke_spinBox_min->setValue(ini->physics_speed_start);
    ui->yoke_spinBox_max->setValue(ini->physics_speed_middle);
    ui->yoke_Affect_min->setValue(ini->physics_rpm_idle);
    ui->yoke_Affect_max->setValue(ini->physics_rpm_middle);
    ui->Stick_precent_force->setValue(ini->stick_force_precent);
    ui->Stick_speed_min->setValue(ini->stick_speed_min);
    ui->Stick_speed_max->setValue(ini->stick_speed_max);
    ui->Stick_AoA_min->setValue(double(ini->stick_aoa_min));
    ui->Stick_AoA_max->setValue(double(ini->stick_aoa_max));
    ui->Stick_overspeed->setValue(ini->stick_speed_over);
    ui->dynamic_spd->setValue(double(ini->Dynamic_pitch_mid));
    ui->dynamic_ratio->setValue(double(ini->Dynamic_pitch_ratio));
    ui->dynamic_zone->setValue(double(ini->Dynamic_pitch_zone));
    ui->dynamic_spd_2->setValue(double(ini->Dynamic_roll_mid));
    ui->dynamic_ratio_2->setValue(double(ini->Dynamic_roll_ratio));
    ui->dynamic_zone_2->setValue(double(ini->Dynamic_roll_zone));
    ui->dynamic_spd_3->setValue(double(ini->Dynamic_pitch_max));
    ui->dynamic_spd_4->setValue(double(ini->Dynamic_roll_max));
    ui->softTrim->setValue(double(ini->Trim_softtrimspd));

    // A switch counts as on only when its field is exactly 1. A box whose state
    // changes here runs its own slot too, which stores the same value again.
    struct Switch { QCheckBox *box; int32_t value; int32_t *mirror; };
    const Switch switches[] = {
        {ui->Motor_checkBox, ini->Engine_state, &mirrors.engine},
        {ui->Turbulences_enable_state, ini->Turbulences_state, &mirrors.turbulence},
        {ui->Ground_enable_state, ini->Ground_state, &mirrors.groundVibration},
        {ui->yoke_checkBox, ini->physics_state, &mirrors.lowSpeedSpring},
        {ui->wash_checkBox, ini->physics_prop, &mirrors.propWash},
        {ui->Stick_enable_state, ini->stick_state, &mirrors.stallWarning},
        {ui->Stick_user_state, ini->stick_user, &mirrors.customStall},
        {ui->Stick_overspeed_state, ini->stick_over, &mirrors.overspeed},
        {ui->AP_enable, ini->ap_state, &mirrors.autopilot},
        {ui->Trimstate, ini->Trim_state, nullptr},
        {ui->Ground_landing, ini->Ground_Landing, nullptr},
        {ui->dynamic_state, ini->Dynamic_state, nullptr},
        {ui->AP_enable_2, ini->Trim_softtrim, nullptr},
    };
    for (const Switch &s : switches) {
        const bool on = s.value == 1;
        if (s.mirror)
            *s.mirror = on ? 1 : 0;
        s.box->setChecked(on);
    }

    if (ini->Trim_softtrim == 1)
        on_softTrim_enable_2_clicked();
    else
        on_softTrim_disable_2_clicked();

    showEngineType(ini->Ground_type == 1);
}
