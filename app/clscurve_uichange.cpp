// Effect settings record to the effect widgets.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "setini.h"

void clscurve::uiChange()
{
    // An item that does not exist (such as "0") leaves the box as it is.
    ui->serial->setCurrentText(QString::number(ini->serial_num));

    // A stored value is held to the range of the box that edits it, in the
    // store too: Apply takes the landing strength from there, and a damaged
    // or hand-edited file must not reach the effects. Values in range stay as they are.
    for (const EffectWidgetField &f : effectWidgetFields()) {
        if (f.settingsInt) {
            int32_t &v = ini->*f.settingsInt;
            v = int32_t(f.held(v));
            f.widget->setProperty("value", v);
        } else {
            float &v = ini->*f.settingsFloat;
            v = float(f.held(double(v)));
            f.widget->setProperty("value", double(v));
        }
    }

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
