#include "clscurve.h"

clscurve::clscurve(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(tr("Korvel Tools V") + "2.2.8 -D");
    resize(1200, 800);
}
