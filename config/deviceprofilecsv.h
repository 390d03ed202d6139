#pragma once
// A device profile: the system record and both channel records as a CSV text
// of 139 lines "index,value\n", one byte of a record image per line (lines
// 0-24 the system image, 25-81 channel 0, 82-138 channel 1), values unsigned
// decimal. The header bytes of each image travel with it unchanged.
#include <QByteArray>
#include <QString>

#include "device_records.h"

struct DeviceProfileCsv
{
    enum : int { SysFirstLine = 0, Chan0FirstLine = 25, Chan1FirstLine = 82, LineCount = 139 };
    // A profile is about a kilobyte; a file far larger is not read at all.
    enum : qint64 { MaxFileBytes = 64 * 1024 };

    UART_set_sys_config_t sys;
    UART_set_chan_config_t chan[2];

    // Why a file was not taken.
    enum class Refusal { None, OpenFailed, TooLarge, LineCount, LineWithoutValue, NotSystemRecord, NotChannelRecord };

    struct ReadResult
    {
        Refusal refusal = Refusal::None;
        int lines = 0;        // lines counted (the whole file, however long)
        int badLine = -1;     // position (from 0) of the line that refused the file
        bool ok() const { return refusal == Refusal::None; }
        // The user's words for a refusal, naming the line (counted from 1) where one is at fault.
        QString message() const;
    };

    // The images in the received form the record slots take (no CRC).
    UART_get_sys_config_t sysAsReceived() const
    {
        UART_get_sys_config_t r;
        r.copyFrom(sys);
        return r;
    }
    UART_get_chan_config_t chanAsReceived(int c) const
    {
        UART_get_chan_config_t r;
        r.copyFrom(chan[c & 1]);
        return r;
    }

    // The file text of the three images.
    QByteArray toText() const;
    // Takes a text (LF or CR LF lines). The images change only when the whole
    // text is taken: 139 lines each with a value, holding a system record and
    // two channel records.
    ReadResult fromText(const QByteArray &text);
    ReadResult read(const QString &path);
    // Writes through a temporary file that replaces the old one only when it
    // is complete. Returns an empty text on success, else what went wrong.
    QString write(const QString &path) const;
};

// Whether an image holds a record as the device sends it: a system record
// (command 0x10, at least 20 payload bytes) or a channel record (0x12 or
// 0x14, at least 52 bytes). An image that never received a record is all zero and holds none.
bool holdsSystemRecord(const UART_set_sys_config_t &image);
bool holdsChannelRecord(const UART_set_chan_config_t &image);
// Why a value for a channel whose record was never read is not sent.
QString channelNotReadText(int chan);
