#pragma once
// A simple scripted flight for the X-Plane stand-in: taxi, take-off, climb,
// turn, approach and landing, repeating.
#include <string>

#include "xplanestandin.h"

struct FlightScript
{
    static constexpr double kLoopSeconds = 240.0;
    // The aircraft t seconds into the loop (t is taken modulo the loop), and
    // the name of the phase.
    static XPlaneAircraft at(double t, std::string *phase = nullptr);
};
