#include "setconf.h"

SetConf::SetConf(QWidget *parent)
    : QWidget(parent)
{
}

void SetConf::showConfValues()
{
}

void SetConf::finishUpdateUi()
{
}

void SetConf::setUpdateButtons()
{
}

void SetConf::setUpdateProgress(int)
{
}

void SetConf::setUpdateRange(int)
{
}

void SetConf::setButtonsEnabled()
{
}
