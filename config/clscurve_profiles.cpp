// The "Effects Profile" row of the Effects tab: Default or Custom, the
// profile number, Save (widgets to a user set) and Apply (a set to the widgets).
#include "clscurve.h"
#include "ui_clscurve.h"

#include "setini.h"

#include <QFileInfo>
#include <QMessageBox>

void clscurve::on_user_conf_stateChanged(int state)
{
    // Each box sets the other, whose own slot then agrees.
    customProfile = state == Qt::Checked ? 1 : 0;
    ui->defult_conf->setChecked(state != Qt::Checked);
}

void clscurve::on_defult_conf_stateChanged(int state)
{
    const bool byDefault = state == Qt::Checked;
    customProfile = byDefault ? 0 : 1;
    ui->user_conf->setChecked(!byDefault);
    ui->conf_save->setEnabled(!byDefault);
}

void clscurve::on_conf_save_clicked()
{
    // The check boxes wrote their fields when they changed; the values are taken here.
    EffectSettings &e = *ini;
    e.Engine_force_precent = ui->Motor_spinBox_force->value();
    e.Turbulences_force_precent_min = ui->Turbulences_precent_min->value();
    e.Turbulences_force_precent_max = ui->Turbulences_precent_max->value();
    e.Turbulences_sensitivity = ui->Turbulences_precent_Sensitivity->value();
    e.Turbulences_ramp = ui->Turbulences_precent_ramp->value();
    e.Ground_force_precent_min = ui->Ground_precent_min->value();
    e.Ground_force_precent_max = ui->Ground_precent_max->value();
    e.Ground_speed = ui->Ground_take_speed->value();
    e.Ground_setting = ui->Ground_type->value();
    e.Ground_Height = float(ui->Ground_height->value());
    e.Ground_landmax = ui->Ground_Landing_present->value();
    e.physics_force_precent = ui->yoke_spinBox_force->value();
    e.physics_speed_start = ui->yoke_spinBox_min->value();
    e.physics_speed_middle = ui->yoke_spinBox_max->value();
    e.physics_rpm_idle = ui->yoke_Affect_min->value();
    e.physics_rpm_middle = ui->yoke_Affect_max->value();
    e.stick_force_precent = ui->Stick_precent_force->value();
    e.stick_speed_min = ui->Stick_speed_min->value();
    e.stick_speed_max = ui->Stick_speed_max->value();
    e.stick_aoa_min = float(ui->Stick_AoA_min->value());
    e.stick_aoa_max = float(ui->Stick_AoA_max->value());
    e.stick_speed_over = ui->Stick_overspeed->value();
    e.Dynamic_pitch_mid = float(ui->dynamic_spd->value());
    e.Dynamic_pitch_ratio = float(ui->dynamic_ratio->value());
    e.Dynamic_pitch_zone = float(ui->dynamic_zone->value());
    e.Dynamic_roll_mid = float(ui->dynamic_spd_2->value());
    e.Dynamic_roll_ratio = float(ui->dynamic_ratio_2->value());
    e.Dynamic_roll_zone = float(ui->dynamic_zone_2->value());
    e.Dynamic_pitch_max = float(ui->dynamic_spd_3->value());
    e.Dynamic_roll_max = float(ui->dynamic_spd_4->value());
    e.Trim_softtrimspd = static_cast<int32_t>(ui->softTrim->value());

    const QString profile = ui->serial->currentText();
    const int saved = ini->saveUserProfile(profile);
    if (saved == 0) {
        QMessageBox::warning(this, QStringLiteral("WARNING"), QStringLiteral("NO INI FILE"), QMessageBox::Ok);
        return;
    }
    // Success is claimed only once the file holds the profile.
    if (saved < 0 || !ini->saveSerial(customProfile == 1 ? 2 : 1, profile)) {
        QMessageBox::warning(this, QStringLiteral("WARNING"),
                             QStringLiteral("Could not write %1").arg(QFileInfo(ini->effectFileName()).absoluteFilePath()),
                             QMessageBox::Ok);
        return;
    }
    QMessageBox::information(this, QStringLiteral("Success"), QStringLiteral("Configuration Saved"), QMessageBox::Ok);
}

void clscurve::on_conf_apply_clicked()
{
    const QString profile = ui->serial->currentText();
    if (customProfile == 1) {
        ini->saveSerial(2, profile);
        ini->loadUserProfile(profile);
    } else {
        ini->saveSerial(1, profile);
        ini->loadBaseProfile();
    }
    uiChange();
    QMessageBox::information(this, QStringLiteral("Success"), QStringLiteral("Configuration Loaded"), QMessageBox::Ok);
}
