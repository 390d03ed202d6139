#pragma once
// The 64-byte command/reply frame of the device, its sequence rule, its
// checksum and the shorter "stream form" in which received frames are queued.
#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace DeviceFrame {
constexpr int Size = 64;          // frame bytes in each direction
constexpr int ReportSize = 65;    // report id + frame, as written
constexpr uint8_t ReportId = 0x81;
constexpr uint8_t Start = 0xAE;
constexpr int HeaderSize = 5;     // start, sequence, device id, command, length
constexpr int MaxPayload = 57;
constexpr int CrcOffset = 62;     // CRC over bytes 0..61, low byte first

constexpr int OffStart = 0;
constexpr int OffSequence = 1;
constexpr int OffDeviceId = 2;
constexpr int OffCommand = 3;
constexpr int OffLength = 4;
constexpr int OffPayload = 5;
}

// Command byte (frame byte 3).
enum DeviceCommand : uint8_t {
    CmdDeviceInfo = 0x10,
    CmdWriteSysConfig = 0x11,
    CmdReadChanConfig = 0x12,
    CmdWriteChanConfig = 0x13,
    CmdReadUserChanConfig = 0x14,
    CmdWriteUserChanConfig = 0x15,
    CmdSaveFlash = 0x16,
    CmdFactoryReset = 0x17,
    CmdBootMode = 0x18,
    CmdLeaveBoot = 0x19,
    CmdLiveData = 0x30,
    CmdTrimSwitch = 0x31,
    CmdForce = 0x32,
    CmdForceCurve = 0x40,
    CmdVibration = 0x42,
    CmdChannelStatus = 0x43,
    CmdSecondDevice = 0x44,
};

// CRC-16/MODBUS (table-driven); zero length gives 0xFFFF.
uint16_t crc16Modbus(const uint8_t *data, size_t length);
inline uint16_t crc16Modbus(const QByteArray &a)
{
    return crc16Modbus(reinterpret_cast<const uint8_t *>(a.constData()), size_t(a.size()));
}

// The process-wide frame sequence counter shared by every frame builder.
extern uint8_t frameSequenceCounter;
// Takes the next sequence number: 0, 1, ..., 254, 0, 1, ... (255 is never used).
uint8_t takeFrameSequence();

// Fills bytes 5..61 of a frame from its length byte: copies the payload and
// zero-fills the rest. A length above 57 is clamped so the frame never overflows.
void placeFramePayload(uint8_t *frame, const uint8_t *payload);
// Stores CRC-16/MODBUS of bytes 0..61 at 62/63, low byte first.
void sealFrame(uint8_t *frame);
// True when bytes 62/63 hold the CRC of bytes 0..61.
bool frameCrcOk(const uint8_t *frame);

// Stream form of a received frame: bytes 0..4+n, then the CRC of those n + 5
// bytes, low byte first (n + 7 bytes). Empty when the length byte exceeds 57
// (such a frame cannot be valid and would read past the 64 bytes).
QByteArray frameStreamForm(const uint8_t *frame);
