// Members of the main window whose subsystems are not built yet: each does
// nothing until its own file defines it (delete the line here then).
#include "clscurve.h"

// -- profiles and dialogs
void clscurve::on_pushButton_loadProfile_clicked() {}
void clscurve::on_pushButton_saveProfile_clicked() {}
void clscurve::aboutQsak() {}
void clscurve::aboutSystem() {}
