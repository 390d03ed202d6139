#pragma once
// A simple scripted flight for the X-Plane stand-in: taxi, take-off, climb,
// cruise, a turn in gusty wind, a power-off stall, approach and landing,
// repeating; enough to feel every force effect.
#include <string>

#include "xplanestandin.h"

struct FlightScript
{
    static constexpr double kLoopSeconds = 240.0;
    // The aircraft t seconds into the loop (t is taken modulo the loop), and
    // the name of the phase.
    static XPlaneAircraft at(double t, std::string *phase = nullptr);
    // Seconds into the loop at which a phase begins (-1 for no such phase).
    static double phaseStart(const std::string &phase);
};
