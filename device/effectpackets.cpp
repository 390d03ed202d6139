#include "effectpackets.h"

#include <algorithm>
#include <cmath>

const VibrationGroupInfo kVibrationGroups[GroupCount] = {
    {1, 0.0f},   // engine, on the roll channel
    {0, 1.0f},   // ground rumble
    {0, 0.0f},   // landing bump
    {0, 2.0f},   // stick shaker
};

float finiteOrZero(float v)
{
    return std::isfinite(v) ? v : 0.0f;
}

UART_set_channel_switch_t switchRecord(SwitchTables &t, float speed, int chn, int state, float location,
                                       int datasource, uint8_t trimState, uint8_t coupled, float defaultSpeed)
{
    const int i = chn == 1 ? 1 : 0;
    uint8_t mode;
    if (datasource == 0) {
        t.speed[i] = speed;
        mode = t.mode[i];
    } else {
        t.mode[i] = uint8_t(state);
        mode = uint8_t(state);
        t.location[i] = location;
    }
    // The roll trim has a narrower travel; the pitch location is not limited.
    t.location[1] = std::clamp(t.location[1], -4.5f, 4.5f);

    UART_set_channel_switch_t r;
    r.set_channel(uint8_t(chn));
    r.set_mode(mode);
    r.set_trim_state(trimState);
    r.set_coupled(coupled);
    r.set_speed(t.speed[i]);
    r.set_location(t.location[i]);
    r.setU32(UART_set_channel_switch_t::OffReserved, 0);
    r.set_default_speed(defaultSpeed);
    return r;
}

bool forceChannelDue(const float v[5], const float last[3], bool pitch)
{
    const auto moved = [&](int i, double by) { return double(std::fabs(v[i] - last[i])) > by; };
    return std::fabs(v[0] - last[0]) > 0.5f || moved(1, 0.1) || moved(2, 0.1)
           || (pitch && double(std::fabs(v[3])) > 0.1);
}

bool vibrationGroupDue(int group, const float v[4], const float last[4], float keepAlive)
{
    const auto d = [&](int i) { return std::fabs(v[i] - last[i]); };
    switch (group) {
    case GroupEngine:
        return d(0) > 1.0f || d(1) >= 1.0f || d(2) > 1.0f || d(3) > 1.0f || keepAlive > 20.0f;
    case GroupRumble:
        return d(0) > 1.0f || d(3) > 2.0f;
    case GroupLanding:
        return d(0) > 0.0f;
    case GroupShaker:
        return d(0) > 1.0f || d(1) > 2.0f || d(2) > 1.0f || d(3) > 1.0f;
    default:
        return false;
    }
}
