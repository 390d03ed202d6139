#pragma once
// Decisions of the configuration commands, without widgets: one typed value
// placed in a row of a channel record, and the conflicts of a button remap.
#include <QString>
#include <cstdint>

#include "device_records.h"

// A float typed by the user for a device record. Text that does not give a
// finite f32 is unreadable and gives 0: QString::toFloat turns "1e39" into
// infinity and accepts "nan" and "inf", which the device would take as limits.
float typedFloat(const QString &text);

// The parameter rows of a channel record: rows 0..3 are the bytes at 6..9
// (the text read as an unsigned decimal, low 8 bits kept), rows 4..14 the
// eleven floats at 10..50 (typedFloat). Row 14 is the default speed. Other
// rows leave the record unchanged (false).
constexpr int ChannelByteRows = 4;
constexpr int ChannelRowCount = 15;
constexpr int DefaultSpeedRow = 14;
bool setChannelRowFromText(UART_set_chan_config_t &record, int row, const QString &text);
// The text a parameter row shows: the byte in decimal, a float with two decimals.
QString channelRowText(const UART_set_chan_config_t &record, int row);

// The warning a remap choice meets, or an empty text when it can be sent.
// A key set carries the trim-up button in its high byte, trim-down in its low.
QString keyPairConflict(uint16_t keySet, uint32_t master);
QString masterKeyConflict(uint8_t master, uint32_t trimUp, uint32_t trimDown);
inline uint8_t trimUpOf(uint16_t keySet) { return uint8_t(keySet >> 8); }
inline uint8_t trimDownOf(uint16_t keySet) { return uint8_t(keySet & 0xFF); }
