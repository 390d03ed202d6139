#pragma once
// The engineering settings page: the device records in a parameter tree and
// the configuration command buttons, all handed to the main window as signals.
// The page never touches the device link itself.
#include <QWidget>
#include <cstdint>

#include "device_records.h"

namespace Ui {
class setting;
}
class TreeModel;

class setting : public QWidget
{
    Q_OBJECT
public:
    explicit setting(QWidget *parent = nullptr);
    ~setting() override;

    // Handlers the main window calls with one channel value; they do nothing.
    void doChannelConfigure(int channel);
    void doChannelConfigureAsk(int channel);

    // The form, for tests.
    Ui::setting *form() const { return ui; }
    TreeModel *treeModel() const { return model; }

    // The tree position the next send applies to (-1 before any click; the
    // group is -1 for a top-level row).
    int32_t selectedGroup = -1;
    int32_t selectedRow = -1;

    // The records as they last reached the page (from the device or a
    // profile); a send edits a copy and leaves them as they are.
    UART_set_sys_config_t sysImage;
    UART_set_chan_config_t chanImage[2];

signals:
    void send_Configure(int type, int index, float value);
    void send_Configure_u32(int type, int index, uint32_t value);
    void send_uart_Config_u32(UART_set_sys_config_t *UART_set_sys_config);
    void send_uart_Config_chan(uint8_t chan, UART_set_chan_config_t *UART_set_chan_config);
    void send_Configure_COM(int command);
    void send_Fre_Peridic(int Fre);
    void send_Peridic_switch(int enable);
    void send_uart_force_input(UART_set_channel_intForce_t *UART_set_channel_intForce);
    void send_uart_trimAP_switch(UART_set_channel_switch_t *UART_set_channel_switch);

public slots:
    void updateActions();
    void on_currentChanged();
    void onUARTget_sys_config(UART_get_sys_config_t *UART_get_sys_config);
    void onUARTget_channel_config(uint8_t chan, UART_get_chan_config_t *UART_get_chan_config);

private slots:
    void onLoadConfigure();
    void onSaveConfigure();
    void onEraseConfigure();
    void onSendConfigure();
    void onset_config_ask(int ask);
    void on_pushButton_loadProfile_clicked();
    void on_pushButton_saveProfile_clicked();
    void on_pushButton_SendFre_clicked();
    void on_pushButton_channel_num_clicked();
    void on_pushButton_force_input_clicked();
    void on_pushButton_Trim_Control_0_clicked();

private:
    void setupTree();
    void showSysImage();
    void showChanImage(int chan);
    void showStatus(const QString &text, const char *style);

    Ui::setting *ui = nullptr;
    TreeModel *model = nullptr;
};
