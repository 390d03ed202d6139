#pragma once
// The simulator values the effects read, in their units and types. Two
// program-wide records: one filled from X-Plane, one from the bridge datagram;
// the main window's simulator choice says which one the effects use.
#include <cstdint>

struct SimState
{
    float indicatedAirspeed = 0;   // knots, never negative
    float engineRpm = 0;           // engine 1, rpm
    float angleOfAttack = 0;       // degrees
    float windSpeed = 0;           // knots
    float windDirection = 0;       // degrees
    float magneticHeading = 0;     // degrees
    std::int32_t surfaceType = 0;  // surface code of the source
    std::int32_t stallWarning = 0; // 0 or 1
    float heightAboveGround = 0;   // feet
    std::int32_t groundSpeed = 0;  // knots, truncated
    float pitchRatio = 0;
    float rollRatio = 0;
    float reserved = 0;
    float autopilotMode = 0;
    float hasCrashed = 0;
    float elevator = 0;
    float aileron = 0;
    float rudder = 0;
    float autopilotMaster = 0;
    float flightDirectorPitch = 0; // radians
    float flightDirectorBank = 0;  // radians
    float autopilotAvailable = 0;
    float verticalSpeed = 0;       // feet per minute
    float engineRpms[4] = {};
    float gearOnGround[3] = {};
    float elevatorTrim = 0;        // X-Plane: ratio; bridge: degrees
    float aileronTrim = 0;         // X-Plane: ratio; bridge: degrees
    float extraValues[9] = {};     // bridge values 43 to 51 as received
};

// Written on the GUI thread only (CXpData::publishSimState).
extern SimState xpSimState;
extern SimState bridgeSimState;

// The simulator choices of the main window (and the reader's modes).
namespace SimChoice {
constexpr int XPlane = 1;
constexpr int Msfs = 2;
constexpr int Prepar3d = 3;
}
