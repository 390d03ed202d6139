#pragma once
// The effect computations of the 100 ms effect tick, without widgets: each
// reads the simulator record the user chose, the effect block's settings and
// the channels' force limits, and writes the block's outputs (and its own
// small state that lives from tick to tick).
#include <cstdint>

#include "effectparams.h"
#include "simstate.h"

// The force limits (N) of the channel records the device last reported.
struct ForceLimits
{
    float pitch = 0;
    float roll = 0;
};

// What the computations keep between ticks.
struct EffectMemory
{
    float propWashFactor = 1.0f;     // written by the wash step, read by the low-speed force
    // Turbulence: the wind reading in use and the filter that holds back small changes.
    float lastWindSpeed = 0;
    int32_t filterCount = 0;
    int32_t filterFirstRun = 1;      // Disable sets it again
    float turbulenceRollWork = 0;    // roll before gain and cap, kept for a wind from straight ahead or behind
    // 1 after a landing bump until the aircraft is airborne again: one bump per touchdown.
    int32_t landingLatch = 0;
};

// Plausibility of a record: 0, or the code of the last failing test
// (1 engine speed ... 8 vertical speed). Bounds pass; NaN passes.
int effectDataErrorCode(const SimState &s);

// Surface class of the rumble, from the record's surface code.
int rumbleSurfaceClass(int choice, int32_t surfaceType);

// Spring coefficient at airspeed v: belowMin under minSpeed, rising to
// ratio / 100 x 5 at maxSpeed (never below -1.0). A range without width
// (max <= min, as an unsaved profile of zeros has) gives belowMin's -1.0 up
// to max instead of dividing 0 by 0.
float springCoefficient(float v, float minSpeed, float maxSpeed, float ratio, float belowMin);

// The steps of one tick, in the tick's order.
void computePropWash(const SimState &s, int choice, const EffectParams &p, EffectMemory &m);
void computeLowSpeedAndSpring(const SimState &s, int choice, float washFactor, EffectParams &p);
void computeEngine(const SimState &s, const ForceLimits &f, EffectParams &p);
void computeTurbulence(const SimState &s, int choice, const ForceLimits &f, EffectParams &p, EffectMemory &m);
void computeGround(const SimState &s, int choice, const ForceLimits &f, EffectParams &p, EffectMemory &m);
void computeShaker(const SimState &s, int choice, const ForceLimits &f, EffectParams &p);
