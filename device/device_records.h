#pragma once
// The device's system record and channel records, handled as byte images of
// the frame that carries them: the five frame header bytes, the payload and,
// for a received image, the two CRC bytes of the stream form. Multi-byte
// values are little-endian, floats IEEE-754 single precision.
#include <QString>

#include "byteorder.h"
#include <cstdint>
#include <cstring>

template <int N>
struct DeviceImage {
    uint8_t data[N] = {};

    static constexpr int size = N;
    void clear() { std::memset(data, 0, N); }
    uint8_t u8(int off) const { return fits(off, 1) ? data[off] : 0; }
    void setU8(int off, uint8_t v) { if (fits(off, 1)) data[off] = v; }
    // A field that does not lie wholly inside the image reads as 0 and is not written.
    uint16_t u16(int off) const { return fits(off, 2) ? readU16LE(data + off) : 0; }
    void setU16(int off, uint16_t v) { if (fits(off, 2)) writeU16LE(data + off, v); }
    uint32_t u32(int off) const { return fits(off, 4) ? readU32LE(data + off) : 0; }
    void setU32(int off, uint32_t v) { if (fits(off, 4)) writeU32LE(data + off, v); }
    float f32(int off) const { return fits(off, 4) ? readF32LE(data + off) : 0.0f; }
    void setF32(int off, float f) { if (fits(off, 4)) writeF32LE(data + off, f); }
    static constexpr bool fits(int off, int width) { return off >= 0 && off + width <= N; }
    // Header bytes.
    uint8_t sequence() const { return data[1]; }
    uint8_t deviceId() const { return data[2]; }
    uint8_t command() const { return data[3]; }
    uint8_t length() const { return data[4]; }
    // Copies up to M bytes from another image and zeroes the rest.
    template <int M>
    void copyFrom(const DeviceImage<M> &o)
    {
        clear();
        std::memcpy(data, o.data, (M < N ? M : N));
    }
    // Copies n bytes from raw memory (clamped to the image) and zeroes the rest.
    void assign(const uint8_t *src, int n)
    {
        clear();
        if (n > N)
            n = N;
        if (src && n > 0)
            std::memcpy(data, src, size_t(n));
    }
};

// System record. Offsets are frame offsets.
template <int N>
struct SysConfigImage : DeviceImage<N> {
    enum : int { OffHardwareVersion = 5, OffDeviceVersion = 9, OffSerialNumber = 13,
                 OffChannelsNumber = 17, OffReserved = 21, PayloadLength = 20 };
    uint32_t Hardware_version() const { return this->u32(OffHardwareVersion); }
    void set_Hardware_version(uint32_t v) { this->setU32(OffHardwareVersion, v); }
    uint32_t Device_version() const { return this->u32(OffDeviceVersion); }
    void set_Device_version(uint32_t v) { this->setU32(OffDeviceVersion, v); }
    uint32_t Serial_number() const { return this->u32(OffSerialNumber); }
    void set_Serial_number(uint32_t v) { this->setU32(OffSerialNumber, v); }
    uint32_t Channels_number() const { return this->u32(OffChannelsNumber); }
    void set_Channels_number(uint32_t v) { this->setU32(OffChannelsNumber, v); }
    const uint8_t *payload() const { return this->data + 5; }
    uint8_t *payload() { return this->data + 5; }
};

// Channel record (channel configuration and user channel configuration).
template <int N>
struct ChanConfigImage : DeviceImage<N> {
    enum : int { OffChannel = 5, OffParam0 = 6, OffMotorModel = 7, OffParam2 = 8, OffParam3 = 9,
                 OffVelocityLimit = 10, OffForceLimit = 14, OffRangeLimit = 18, OffSlope1 = 22,
                 OffSlope2 = 26, OffSlope3 = 30, OffPoint1 = 34, OffPoint2 = 38, OffDamping = 42,
                 OffInertia = 46, OffDefaultSpeed = 50, OffRemap1 = 54, OffRemap2 = 55,
                 OffRemap3 = 56, PayloadLength = 52, FloatCount = 11 };
    uint8_t channel() const { return this->u8(OffChannel); }
    void set_channel(uint8_t c) { this->setU8(OffChannel, c); }
    // Parameter bytes 6..9 (rows 0..3; row 1 is the motor model).
    uint8_t paramByte(int row) const { return this->u8(OffParam0 + row); }
    void set_paramByte(int row, uint8_t v) { if (row >= 0 && row < 4) this->setU8(OffParam0 + row, v); }
    uint8_t motor_model() const { return this->u8(OffMotorModel); }
    void set_motor_model(uint8_t v) { this->setU8(OffMotorModel, v); }
    // The eleven floats at 10..50 (index 0 velocity limit .. 10 default speed).
    static int floatOffset(int index) { return OffVelocityLimit + 4 * index; }
    float floatValue(int index) const { return index >= 0 && index < FloatCount ? this->f32(floatOffset(index)) : 0.0f; }
    void set_floatValue(int index, float v) { if (index >= 0 && index < FloatCount) this->setF32(floatOffset(index), v); }
    float velocity_limit() const { return this->f32(OffVelocityLimit); }
    void set_velocity_limit(float v) { this->setF32(OffVelocityLimit, v); }
    float force_limit() const { return this->f32(OffForceLimit); }
    void set_force_limit(float v) { this->setF32(OffForceLimit, v); }
    float range_limit() const { return this->f32(OffRangeLimit); }
    void set_range_limit(float v) { this->setF32(OffRangeLimit, v); }
    float slope_1() const { return this->f32(OffSlope1); }
    void set_slope_1(float v) { this->setF32(OffSlope1, v); }
    float slope_2() const { return this->f32(OffSlope2); }
    void set_slope_2(float v) { this->setF32(OffSlope2, v); }
    float slope_3() const { return this->f32(OffSlope3); }
    void set_slope_3(float v) { this->setF32(OffSlope3, v); }
    float point_1() const { return this->f32(OffPoint1); }
    void set_point_1(float v) { this->setF32(OffPoint1, v); }
    float point_2() const { return this->f32(OffPoint2); }
    void set_point_2(float v) { this->setF32(OffPoint2, v); }
    float damping_variable() const { return this->f32(OffDamping); }
    void set_damping_variable(float v) { this->setF32(OffDamping, v); }
    float inertia_variable() const { return this->f32(OffInertia); }
    void set_inertia_variable(float v) { this->setF32(OffInertia, v); }
    float HW_default_speed() const { return this->f32(OffDefaultSpeed); }
    void set_HW_default_speed(float v) { this->setF32(OffDefaultSpeed, v); }
    uint8_t remapByte(int i) const { return this->u8(OffRemap1 + i); }   // i = 0, 1, 2
    void set_remapByte(int i, uint8_t v) { if (i >= 0 && i < 3) this->setU8(OffRemap1 + i, v); }
    const uint8_t *payload() const { return this->data + 5; }
    uint8_t *payload() { return this->data + 5; }
};

struct UART_get_sys_config_t : SysConfigImage<27> {
    uint16_t crc() const { return u16(25); }
};
struct UART_set_sys_config_t : SysConfigImage<25> {};
struct UART_get_chan_config_t : ChanConfigImage<59> {
    uint16_t crc() const { return u16(57); }
};
struct UART_set_chan_config_t : ChanConfigImage<57> {};

static_assert(sizeof(UART_get_sys_config_t) == 27, "system image as received");
static_assert(sizeof(UART_set_sys_config_t) == 25, "system image as sent");
static_assert(sizeof(UART_get_chan_config_t) == 59, "channel image as received");
static_assert(sizeof(UART_set_chan_config_t) == 57, "channel image as sent");

// Trim and autopilot switch (command 0x31): 20 payload bytes.
struct UART_set_channel_switch_t : DeviceImage<25> {
    enum : int { OffChannel = 5, OffMode = 6, OffTrimState = 7, OffCoupled = 8, OffSpeed = 9, OffLocation = 13,
                 OffReserved = 17, OffDefaultSpeed = 21, PayloadLength = 20 };
    uint8_t channel() const { return u8(OffChannel); }
    void set_channel(uint8_t c) { setU8(OffChannel, c); }
    uint8_t mode() const { return u8(OffMode); }
    void set_mode(uint8_t v) { setU8(OffMode, v); }
    uint8_t trim_state() const { return u8(OffTrimState); }
    void set_trim_state(uint8_t v) { setU8(OffTrimState, v); }
    uint8_t coupled() const { return u8(OffCoupled); }
    void set_coupled(uint8_t v) { setU8(OffCoupled, v); }
    float speed() const { return f32(OffSpeed); }
    void set_speed(float v) { setF32(OffSpeed, v); }
    float location() const { return f32(OffLocation); }
    void set_location(float v) { setF32(OffLocation, v); }
    float default_speed() const { return f32(OffDefaultSpeed); }
    void set_default_speed(float v) { setF32(OffDefaultSpeed, v); }
    const uint8_t *payload() const { return data + 5; }
};

// Force input (command 0x32 with length 13): a channel byte and three floats.
// The device tells it from the effect packet of the same command by its length.
struct UART_set_channel_intForce_t : DeviceImage<26> {
    enum : int { OffChannel = 5, OffValue1 = 6, OffValue2 = 10, OffValue3 = 14, PayloadLength = 13 };
    uint8_t channel() const { return u8(OffChannel); }
    void set_channel(uint8_t c) { setU8(OffChannel, c); }
    float value(int i) const { return i >= 0 && i < 3 ? f32(OffValue1 + 4 * i) : 0.0f; }
    void set_value(int i, float v) { if (i >= 0 && i < 3) setF32(OffValue1 + 4 * i, v); }
    const uint8_t *payload() const { return data + 5; }
};

static_assert(sizeof(UART_set_channel_switch_t) == 25, "switch image");
static_assert(sizeof(UART_set_channel_intForce_t) == 26, "force input image");

// A set image is the received image without its CRC.
inline UART_set_sys_config_t toSetImage(const UART_get_sys_config_t &g)
{
    UART_set_sys_config_t s;
    s.copyFrom(g);
    return s;
}
inline UART_set_chan_config_t toSetImage(const UART_get_chan_config_t &g)
{
    UART_set_chan_config_t s;
    s.copyFrom(g);
    return s;
}

// Version word: "V a.b.c" from bytes 0, 1, 2 (byte 3 not shown).
QString versionWordToText(uint32_t word);
// "a.b.c" -> c << 16 | b << 8 | a; non-numbers count as 0.
uint32_t versionWordFromText(const QString &text);

// Packed build word, from bit 0: product code P (8 bits), year Y (7), month M (4),
// day D (5), running number N (8); shown as "PP.YYMMDD.NN".
struct BuildWord {
    unsigned product = 0, year = 0, month = 0, day = 0, number = 0;
};
BuildWord unpackBuildWord(uint32_t word);
uint32_t packBuildWord(const BuildWord &b);
QString buildWordToText(uint32_t word);
// Reads "P.YYMMDD.N" (the shape buildWordToText writes) back into a word.
uint32_t buildWordFromText(const QString &text);
// 1 for product codes 1 and 2 (the device family this program drives), else 99.
int deviceKindFromBuildWord(uint32_t word);
