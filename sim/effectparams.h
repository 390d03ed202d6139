#pragma once
// The effect block of the main window: the switches, strengths and bounds that
// Apply copies from the Effects tab, and the outputs that each effect tick
// computes from them and hands to the 0x32 and 0x42 senders. Integers are
// percentages of a channel's force limit, knots or rpm as named; the
// four-value groups travel as one vibration packet each.
#include <cstdint>

// C-style truncation toward zero; a value beyond int's range (a corrupt device
// record or profile) or NaN gives 0 rather than undefined behaviour.
inline int truncatedInt(double v)
{
    return (v > -2147483649.0 && v < 2147483648.0) ? static_cast<int>(v) : 0;
}

struct EffectParams
{
    // Engine vibration (roll channel).
    int32_t engineEnable = 0;
    int32_t engineStrength = 0;          // % of the roll force limit
    float engineOut[4] = {};             // amplitude, frequency, third and fourth value

    // Low-speed force and airspeed spring.
    int32_t lowSpeedEnable = 0;
    int32_t lowSpeedStrength = 0;        // % (signed)
    int32_t lowSpeedStart = 0;           // knots: full low-speed force at and below
    int32_t lowSpeedMiddle = 0;          // knots: faded to 0 here
    float pitchBias = 0;                 // added to the pitch turbulence value; nothing sets it
    int32_t springEnable = 0;
    float springPitchMinSpeed = 0, springRollMinSpeed = 0;   // knots
    float springPitchMaxSpeed = 0, springRollMaxSpeed = 0;   // knots
    float springPitchRatio = 0, springRollRatio = 0;         // top coefficient, % scaled by 5/100
    float springPitchZone = 0, springRollZone = 0;           // dead zone, passed through
    float springPitchCoeff = 0, springRollCoeff = 0;         // output
    float springPitchZoneOut = 0, springRollZoneOut = 0;     // output
    float lowSpeedOffset = 0;            // output
    float lowSpeedAmplitude = 0;         // output

    // Propeller wash.
    int32_t propWashEnable = 0;
    int32_t propWashElevator = 0, propWashAileron = 0, propWashRudder = 0;
    int32_t propIdleRpm = 0;             // factor 1.0 at and below
    int32_t propMiddleRpm = 0;           // factor 0.6 above

    // Ground rumble and landing bump (pitch channel).
    int32_t rumbleEnable = 0;
    int32_t rumbleMinPercent = 0;        // floor, % of the pitch force limit
    int32_t rumbleMaxPercent = 0;        // base, % of the pitch force limit
    int32_t rumbleElevator = 0, rumbleAileron = 0, rumbleRudder = 0;
    int32_t rumbleSpeed = 0;             // knots: slow and fast rumble meet here
    int32_t rumbleSetting = 0;           // frequency setting; its tens are used
    float rumbleOut[4] = {};             // amplitude, 7.0, 10000.0, frequency
    float landingOut[4] = {};            // amplitude, 10.0, 1.0, 0.0
    float groundHeightOffset = 0;        // feet taken off the bridge height
    int32_t landingEnable = 0;
    int32_t landingStrength = 0;         // % for the bump amplitude

    // Turbulence.
    int32_t turbulenceEnable = 0;
    int32_t turbulenceMinPercent = 0;    // floor, % of half the roll force limit
    int32_t turbulenceMaxPercent = 0;    // cap, % of half the roll force limit
    int32_t turbulenceSensitivity = 0;   // larger follows smaller wind changes
    int32_t turbulenceGain = 0;          // multiplier minus 1
    float turbulenceRoll = 0, turbulencePitch = 0;   // outputs

    // Stick shaker (pitch channel).
    int32_t shakerEnable = 0;
    int32_t shakerStall = 0;             // the stall warning the last shaker run took
    int32_t shakerUserMode = 0;          // 1: by speed and angle of attack
    int32_t shakerSpeedMin = 0, shakerSpeedMax = 0;   // knots
    float shakerAoaMin = 0, shakerAoaMax = 0;         // degrees
    int32_t overspeedEnable = 0;
    int32_t overspeedSpeed = 0;          // knots of ground speed
    int32_t shakerElevator = 0, shakerRudder = 0;
    int32_t shakerStrength = 0;          // % of the pitch force limit
    float shakerOut[4] = {};             // amplitude, 10.0, 30.0, 0.0

    // Autopilot.
    int32_t autopilotEnable = 0;
};
