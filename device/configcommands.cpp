#include "configcommands.h"

#include <cmath>

float typedFloat(const QString &text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok && std::isfinite(value) ? value : 0.0f;
}

bool setChannelRowFromText(UART_set_chan_config_t &record, int row, const QString &text)
{
    if (row >= 0 && row < ChannelByteRows) {
        record.set_paramByte(row, uint8_t(text.toUInt() & 0xFF));
        return true;
    }
    if (row >= ChannelByteRows && row < ChannelRowCount) {
        record.set_floatValue(row - ChannelByteRows, typedFloat(text));
        return true;
    }
    return false;
}

QString channelRowText(const UART_set_chan_config_t &record, int row)
{
    if (row < ChannelByteRows)
        return QString::number(record.paramByte(row));
    return QString::number(double(record.floatValue(row - ChannelByteRows)), 'f', 2);
}

QString keyPairConflict(uint16_t keySet, uint32_t master)
{
    const uint8_t up = trimUpOf(keySet);
    const uint8_t down = trimDownOf(keySet);
    if (up == master)
        return QStringLiteral("Trim Up conflict with button assignment");
    if (down == master)
        return QStringLiteral("Trim Down conflict with button assignment");
    if (up == down)
        return QStringLiteral("Remap button assignment");
    return QString();
}

QString masterKeyConflict(uint8_t master, uint32_t trimUp, uint32_t trimDown)
{
    if (master == trimUp)
        return QStringLiteral("Button assigned conflicts with trim up");
    if (master == trimDown)
        return QStringLiteral("Button assigned conflicts with trim down");
    return QString();
}
