#pragma once
// A reply on its way from the receive buffer to the main window: one stream
// form cut from the front of the buffer and checked, then decoded into what
// the window keeps and shows. No widgets and no window state here.
#include <QByteArray>
#include <cstdint>

#include "device_records.h"

// One stream form (header, payload, CRC of both) at the front of a buffer.
struct StreamCut {
    enum Status { Incomplete, Good, BadCrc };
    Status status = Incomplete;
    int consumed = 0;           // bytes to take from the buffer; 0 while incomplete
    QByteArray frame;           // the cut stream form (n + 7 bytes)
    uint16_t receivedCrc = 0;   // its CRC field
    uint16_t computedCrc = 0;   // the CRC of its header and payload, when it was checked
};

// Cuts the stream form at the front of buffer once its last byte is there.
// Frames lying wholly within the first checkedFront bytes carry a CRC the link
// computed itself after checking the report, so they are not checked again.
StreamCut cutStreamFrame(const QByteArray &buffer, int checkedFront = 0);

// A checked reply, decoded.
struct DeviceReply {
    uint8_t command = 0;
    uint8_t deviceId = 0;   // frame byte 2
    uint8_t p0 = 0;         // payload byte 0: the channel, or the result or status byte
    // The record, result or status image the command's reply fills: the
    // frame's header and payload up to the image's size, zero beyond what the
    // frame carried. A reply that is exactly a record also fills the record's
    // CRC field with the stream CRC. imageSize is 0 for replies without one.
    uint8_t image[UART_get_chan_config_t::size] = {};
    int imageSize = 0;
    // Live data (0x30): position, commanded force, trim position; 0 when missing.
    float values[3] = {};

    bool forChannel() const { return p0 <= 1; }
};

DeviceReply decodeReply(const QByteArray &streamForm);
