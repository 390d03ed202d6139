#include "lockscreenw.h"

lockScreenW::lockScreenW(QWidget *parent)
    : QDialog(parent)
{
}
