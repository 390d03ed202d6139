#pragma once
// The profile and firmware dialog: three tuning values per channel, CSV
// profile buttons and the firmware update buttons, all handed to the main
// window as signals; the main window drives the update controls.
#include <QWidget>

#include "device_records.h"

namespace Ui {
class SetConf;
}

class SetConf : public QWidget
{
    Q_OBJECT
public:
    explicit SetConf(QWidget *parent = nullptr);
    ~SetConf() override;

    // Channel 0 (pitch) and channel 1 (roll) records the dialog shows and
    // edits; the main window fills them and writes them to the device.
    UART_set_chan_config_t chanConfig[2];

    void showConfValues();
    void finishUpdateUi();
    void setUpdateButtons();
    void setUpdateProgress(int value);
    void setUpdateRange(int maximum);
    void setButtonsEnabled();
    // A firmware file was chosen through Load Firmware: Start is armed.
    void firmwareChosen();

    Ui::SetConf *form() const { return ui; }

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

private slots:
    void on_flash_clicked();
    void on_change_clicked();
    void on_load_clicked();
    void on_save_clicked();
    void on_reset_clicked();
    void on_ready_clicked();
    void on_loadfirm_clicked();
    void on_start_clicked();
    void on_exit_clicked();

private:
    Ui::SetConf *ui = nullptr;
};
