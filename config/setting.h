#pragma once
// The engineering settings page: the device records in a parameter tree and
// the configuration command buttons, all handed to the main window as signals.
#include <QWidget>
#include <cstdint>

#include "device_records.h"

class setting : public QWidget
{
    Q_OBJECT
public:
    explicit setting(QWidget *parent = nullptr);

    // Handlers the main window calls with one channel value; they do nothing.
    void doChannelConfigure(int channel);
    void doChannelConfigureAsk(int channel);

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
    void onUARTget_sys_config(UART_get_sys_config_t *UART_get_sys_config);
    void onUARTget_channel_config(uint8_t chan, UART_get_chan_config_t *UART_get_chan_config);
};
