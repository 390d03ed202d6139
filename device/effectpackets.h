#pragma once
// Payloads and send rules of the commands that move forces on the device:
// 0x31 trim and autopilot switch, 0x32 force effect, 0x42 vibration effect.
// The images follow device_records.h: five header bytes, then the payload.
#include <cstdint>

#include "device_records.h"

// 0x32, effect form (length 21): a channel byte and five floats. The device
// tells it from the force input of the same command by its length.
struct EffectForcePacket : DeviceImage<26> {
    enum : int { OffChannel = 5, OffValue1 = 6, ValueCount = 5, PayloadLength = 21 };
    void set_channel(uint8_t c) { setU8(OffChannel, c); }
    float value(int i) const { return i >= 0 && i < ValueCount ? f32(OffValue1 + 4 * i) : 0.0f; }
    void set_value(int i, float v) { if (i >= 0 && i < ValueCount) setF32(OffValue1 + 4 * i, v); }
    const uint8_t *payload() const { return data + 5; }
};

// 0x42 (length 24): a channel byte, one group's four values, the group's mode
// and three zero bytes; the image holds all 24 payload bytes it sends.
struct EffectVibrationPacket : DeviceImage<29> {
    enum : int { OffChannel = 5, OffValue1 = 6, OffMode = 22, PayloadLength = 24 };
    void set_channel(uint8_t c) { setU8(OffChannel, c); }
    float value(int i) const { return i >= 0 && i < 4 ? f32(OffValue1 + 4 * i) : 0.0f; }
    void set_value(int i, float v) { if (i >= 0 && i < 4) setF32(OffValue1 + 4 * i, v); }
    float mode() const { return f32(OffMode); }
    void set_mode(float v) { setF32(OffMode, v); }
    const uint8_t *payload() const { return data + 5; }
};

// 0x40 (length 21): the channel and the five values of its force curve.
struct ForceCurvePacket : DeviceImage<26> {
    enum : int { OffChannel = 5, OffSlope1 = 6, OffSlope2 = 10, OffSlope3 = 14, OffPoint1 = 18, OffPoint2 = 22,
                 PayloadLength = 21 };
    void set_channel(uint8_t c) { setU8(OffChannel, c); }
    const uint8_t *payload() const { return data + 5; }
};

// A value that cannot be represented on the device is sent as 0.0: a NaN kept
// as last sent would make every later change test false and silence the channel.
float finiteOrZero(float v);

// The 0x31 sender keeps each channel's last mode, speed and location, so that
// trim calls (speed only) and autopilot calls (mode and location) combine.
struct SwitchTables
{
    uint8_t mode[2] = {2, 2};
    float speed[2] = {};
    float location[2] = {};
};

// Applies one call to the tables (datasource 0: a trim speed; otherwise a mode
// and location) and builds the record it sends.
UART_set_channel_switch_t switchRecord(SwitchTables &t, float speed, int chn, int state, float location,
                                       int datasource, uint8_t trimState, uint8_t coupled, float defaultSpeed);

// The vibration groups in their send order, with their channel and mode.
enum VibrationGroup : int { GroupEngine = 0, GroupRumble, GroupLanding, GroupShaker, GroupCount };
struct VibrationGroupInfo
{
    uint8_t channel;
    float mode;
};
extern const VibrationGroupInfo kVibrationGroups[GroupCount];

// What the effect senders last sent, and their gates (Test opens, Disable closes).
struct EffectSendState
{
    int32_t forceSwitch = 0;
    int32_t vibrationSwitch = 0;
    float lastForce[2][3] = {};
    float lastVibration[GroupCount][4] = {};
    float engineKeepAlive = 0;
};

// A 0x32 channel is due when its first three values moved enough; the pitch
// channel also while its low-speed amplitude (value 4) is above 0.1.
bool forceChannelDue(const float values[5], const float last[3], bool pitch);
// A vibration group is due when its values moved enough for that group; the
// engine group also every 21st tick (keepAlive is the count after this tick's increment).
bool vibrationGroupDue(int group, const float values[4], const float last[4], float keepAlive);
