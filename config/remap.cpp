#include "remap.h"

Remap::Remap(QWidget *parent)
    : QWidget(parent)
{
}

void Remap::showKeyPair()
{
}

void Remap::showMasterKey()
{
}
