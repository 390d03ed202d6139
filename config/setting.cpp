#include "setting.h"

setting::setting(QWidget *parent)
    : QWidget(parent)
{
}

void setting::doChannelConfigure(int)
{
}

void setting::doChannelConfigureAsk(int)
{
}

void setting::onUARTget_sys_config(UART_get_sys_config_t *)
{
}

void setting::onUARTget_channel_config(uint8_t, UART_get_chan_config_t *)
{
}
