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
    for (const EffectWidgetField &f : effectWidgetFields()) {
        if (f.settingsInt)
            e.*f.settingsInt = static_cast<int32_t>(f.value());
        else
            e.*f.settingsFloat = float(f.value());
    }

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
