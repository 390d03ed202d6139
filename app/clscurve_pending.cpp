// Members of the main window whose subsystems are not built yet: each does
// nothing until its own file defines it (delete the line here then).
#include "clscurve.h"


// -- configuration commands
void clscurve::doConfigureUpdate(int) {}
void clscurve::doConfigWrite_uart_u32(UART_set_sys_config_t *) {}
void clscurve::doConfigWrite_uart_chan(uint8_t, UART_set_chan_config_t *) {}
void clscurve::doConfigWrite_uart_user_chan(uint8_t, UART_set_chan_config_t *) {}
void clscurve::on_pushButton_saveConfigure_clicked() {}
void clscurve::on_pushButton_FactoryReset_clicked() {}
void clscurve::on_pushButton_loadConfigure_clicked() {}
void clscurve::on_pushButton_send_value_clicked() {}
void clscurve::confGet() {}
void clscurve::confChange(int) {}
void clscurve::keyRemap() {}
void clscurve::sendKeyRemap(uint16_t) {}
void clscurve::sendRemap(uint8_t) {}
void clscurve::on_pushButton_clicked() {}
void clscurve::on_pushButton_2_clicked() {}
void clscurve::on_Ini_rename_clicked() {}

// -- profiles and dialogs
void clscurve::on_pushButton_loadProfile_clicked() {}
void clscurve::on_pushButton_saveProfile_clicked() {}
void clscurve::aboutQsak() {}
void clscurve::aboutSystem() {}

// -- firmware
void clscurve::on_ReadyUpdata_clicked() {}
void clscurve::on_pushButton_startUpdate_clicked() {}
void clscurve::on_pushButton_loadFireware_clicked() {}
void clscurve::slots_timeOutUpdateFireware() {}
