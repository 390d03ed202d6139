#include "deviceframe.h"

#include <cstring>

namespace {
struct ModbusTable {
    uint16_t t[256];
    constexpr ModbusTable() : t()
    {
        for (int i = 0; i < 256; ++i) {
            uint16_t c = uint16_t(i);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? uint16_t((c >> 1) ^ 0xA001) : uint16_t(c >> 1);
            t[i] = c;
        }
    }
};
constexpr ModbusTable kModbus;
}

uint16_t crc16Modbus(const uint8_t *data, size_t length)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i)
        crc = uint16_t((crc >> 8) ^ kModbus.t[(crc ^ data[i]) & 0xFF]);
    return crc;
}

uint8_t frameSequenceCounter = 0;

uint8_t takeFrameSequence()
{
    uint8_t c = frameSequenceCounter;
    if (c == 255) {
        c = 0;
        frameSequenceCounter = 1;
    } else {
        frameSequenceCounter = uint8_t(c + 1);
    }
    return c;
}

void placeFramePayload(uint8_t *frame, const uint8_t *payload)
{
    int n = frame[DeviceFrame::OffLength];
    if (n > DeviceFrame::MaxPayload)
        n = DeviceFrame::MaxPayload;
    if (n > 0 && payload)
        std::memmove(frame + DeviceFrame::OffPayload, payload, size_t(n));
    else
        n = 0;
    std::memset(frame + DeviceFrame::OffPayload + n, 0, size_t(DeviceFrame::MaxPayload - n));
}

void sealFrame(uint8_t *frame)
{
    const uint16_t crc = crc16Modbus(frame, DeviceFrame::CrcOffset);
    frame[62] = uint8_t(crc & 0xFF);
    frame[63] = uint8_t(crc >> 8);
}

bool frameCrcOk(const uint8_t *frame)
{
    const uint16_t crc = crc16Modbus(frame, DeviceFrame::CrcOffset);
    return frame[62] == uint8_t(crc & 0xFF) && frame[63] == uint8_t(crc >> 8);
}

QByteArray frameStreamForm(const uint8_t *frame)
{
    const int n = frame[DeviceFrame::OffLength];
    if (n > DeviceFrame::MaxPayload)
        return QByteArray();
    QByteArray out(n + 7, Qt::Uninitialized);
    std::memcpy(out.data(), frame, size_t(n + 5));
    const uint16_t crc = crc16Modbus(frame, size_t(n + 5));
    out[n + 5] = char(crc & 0xFF);
    out[n + 6] = char(crc >> 8);
    return out;
}
