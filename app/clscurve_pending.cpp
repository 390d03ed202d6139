// Members of the main window whose subsystems are not built yet: each does
// nothing until its own file defines it (delete the line here then).
#include "clscurve.h"


// -- effects
void clscurve::on_Motor_checkBox_stateChanged(int) {}
void clscurve::on_yoke_checkBox_stateChanged(int) {}
void clscurve::on_wash_checkBox_stateChanged(int) {}
void clscurve::on_Ground_enable_state_stateChanged(int) {}
void clscurve::on_Turbulences_enable_state_stateChanged(int) {}
void clscurve::on_Stick_enable_state_stateChanged(int) {}
void clscurve::on_Stick_user_state_stateChanged(int) {}
void clscurve::on_Stick_overspeed_state_stateChanged(int) {}
void clscurve::on_AP_enable_stateChanged(int) {}
void clscurve::on_dynamic_state_stateChanged(int) {}
void clscurve::on_Trimstate_stateChanged(int) {}
void clscurve::on_Ground_landing_stateChanged(int) {}
void clscurve::on_yoke_enginetype_stateChanged(int) {}
void clscurve::on_AP_enable_2_stateChanged(int) {}
void clscurve::on_yoke_Rudder_stateChanged(int) {}
void clscurve::on_yoke_Elevator_stateChanged(int) {}
void clscurve::on_yoke_Aileron_stateChanged(int) {}
void clscurve::on_Ground_Elevator_state_stateChanged(int) {}
void clscurve::on_Ground_Aileron_state_stateChanged(int) {}
void clscurve::on_Ground_Rudder_state_stateChanged(int) {}
void clscurve::on_Stick_Elevator_stateChanged(int) {}
void clscurve::on_Stick_Rudder_stateChanged(int) {}
void clscurve::on_btn_test_clicked() {}
void clscurve::on_btn_apply_clicked() {}
void clscurve::on_btn_disable_clicked() {}
void clscurve::on_pushButton_yoke_phy_enable_clicked() {}
void clscurve::on_pushButton_yoke_phy_disable_clicked() {}
void clscurve::on_pushButton_yoke_HWtrim_enable_clicked() {}
void clscurve::on_pushButton_yoke_HWtrim_disable_clicked() {}
void clscurve::on_pushButton_yoke_coupled_enable_clicked() {}
void clscurve::on_pushButton_yoke_coupled_disable_clicked() {}
void clscurve::on_softTrim_enable_2_clicked() {}
void clscurve::on_softTrim_disable_2_clicked() {}
void clscurve::sendEffect() {}
void clscurve::slots_timeOuttxTrimTimer() {}
void clscurve::do_TrimConteol_pitch(UART_set_channel_switch_t *) {}
void clscurve::do_force_input(UART_set_channel_intForce_t *) {}
void clscurve::OnFocPosWrite() {}

// -- profiles and dialogs
void clscurve::on_user_conf_stateChanged(int) {}
void clscurve::on_defult_conf_stateChanged(int) {}
void clscurve::on_conf_save_clicked() {}
void clscurve::on_conf_apply_clicked() {}
void clscurve::on_pushButton_loadProfile_clicked() {}
void clscurve::on_pushButton_saveProfile_clicked() {}
void clscurve::aboutQsak() {}
void clscurve::aboutSystem() {}
