#pragma once
// The trim tick and the autopilot effect, without widgets: both turn the
// simulator's trim and autopilot state into trim-switch (0x31) commands for
// the two channels. The 16 ms trim tick sends trim steps; the autopilot
// effect, run by the 100 ms effect tick, moves the device's trim location
// toward the autopilot's demand.
#include <cstdint>

#include "simstate.h"

// What both keep between ticks (and the mode flags the buttons and Apply set).
struct TrimAutopilotState
{
    float airborneLatch = 0;         // 1.0 while above 1.2 feet
    int32_t trimChanged = 1;         // 1: the next trim tick sends
    float lastStepPitch = 0, lastStepRoll = 0;
    float apTrimOffset = 0, apPitchTrim = 0, apTrimBase = 0;   // the autopilot's share of the pitch trim
    int32_t apTrimActive = 0;        // 1 while the autopilot holds the pitch trim
    int32_t softTrimOn = 0;
    int32_t hwTrimOnGround = 0;      // "Disable hardware trim on ground" as last applied
    // The trim state the 0x31 packets carry (1 hardware trim on, 0 off): the
    // tick's own, kept apart from the user's option so that neither overwrites the other.
    int32_t trimState = 1;

    int32_t apState = 0;             // 0 idle, 2 engaged
    double lastPitchDemand = 0, lastRollDemand = 0;   // the locations last sent
    float stepTarget = 0;
    double pitchRing[10] = {}, rollRing[10] = {};     // averaged bridge demands
    int32_t ringIndex = 0;
};

// Step command for a simulator trim input x against the device's reference r:
// 0 inside 0.01 (and at the reference's end stops), else -step or +step;
// within +-step for the bridge simulators.
float trimStep(float x, float r, int step, int choice);

struct TrimTickInputs
{
    int choice = SimChoice::XPlane;
    const SimState *chosen = nullptr;   // the record of the simulator choice
    const SimState *bridge = nullptr;   // its extra values serve every choice
    double softTrim = 0;                // the range ratio box
    float devicePitchTrim = 0, deviceRollTrim = 0;
    float groundHeightOffset = 0;
};

struct TrimTickOutcome
{
    bool send = false;
    float pitch = 0, roll = 0;          // the step commands (speeds)
};

// One trim tick: it sets and clears the trim state the packets carry.
TrimTickOutcome trimTick(const TrimTickInputs &in, TrimAutopilotState &st);

// One 0x31 call of the autopilot effect: channel, mode and location.
struct SwitchCall
{
    int channel = 0;
    int state = 0;
    float location = 0;
};

struct AutopilotOutcome
{
    bool engaged = false;
    int count = 0;
    SwitchCall calls[2];
};

AutopilotOutcome autopilotTick(const SimState &chosen, int choice, const float *bridgeExtra,
                               float devicePitchPosition, TrimAutopilotState &st);
