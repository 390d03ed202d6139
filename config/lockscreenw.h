#pragma once
// The password dialog that guards the settings page.
#include <QDialog>

class lockScreenW : public QDialog
{
    Q_OBJECT
public:
    explicit lockScreenW(QWidget *parent = nullptr);

signals:
    void sendShowSetting();
};
