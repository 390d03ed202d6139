#include "deviceframe.h"

#include "byteorder.h"
#include "crc.h"

#include <cstring>

uint16_t crc16Modbus(const uint8_t *data, size_t length)
{
    return uint16_t(crcCompute(CrcAlgorithm::CRC16_MODBUS, data, length));
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
    writeU16LE(frame + DeviceFrame::CrcOffset, crc16Modbus(frame, DeviceFrame::CrcOffset));
}

bool frameCrcOk(const uint8_t *frame)
{
    return readU16LE(frame + DeviceFrame::CrcOffset) == crc16Modbus(frame, DeviceFrame::CrcOffset);
}

QByteArray frameStreamForm(const uint8_t *frame)
{
    const int n = frame[DeviceFrame::OffLength];
    if (n > DeviceFrame::MaxPayload)
        return QByteArray();
    QByteArray out(n + 7, Qt::Uninitialized);
    std::memcpy(out.data(), frame, size_t(n + 5));
    writeU16LE(reinterpret_cast<uint8_t *>(out.data()) + n + 5, crc16Modbus(frame, size_t(n + 5)));
    return out;
}
