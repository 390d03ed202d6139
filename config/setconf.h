#pragma once
// The profile and firmware dialog: three tuning values per channel, CSV
// profile buttons and the firmware update buttons, all handed to the main
// window as signals.
#include <QWidget>

#include "device_records.h"

class SetConf : public QWidget
{
    Q_OBJECT
public:
    explicit SetConf(QWidget *parent = nullptr);

    // Channel 0 (pitch) and channel 1 (roll) records the dialog shows and edits.
    UART_set_chan_config_t chanConfig[2];

    void showConfValues();
    void finishUpdateUi();
    void setUpdateButtons();
    void setUpdateProgress(int value);
    void setUpdateRange(int maximum);
    void setButtonsEnabled();

signals:
    void confGet();
    void confSend(int);
    void loadProfile();
    void saveProfile();
    void factoryreset();
    void readyupdate();
    void loadFirmware();
    void startUpdate();
    void exitbootmode();
};
