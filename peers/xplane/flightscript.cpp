#include "flightscript.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kKnot = 0.514444;    // m/s
constexpr double kFoot = 0.3048;      // m
constexpr double kRunwayElevation = 432.0; // m
constexpr double kMetresPerDegreeLat = 111320.0;

double ramp(double t, double t0, double t1, double v0, double v1)
{
    if (t <= t0)
        return v0;
    if (t >= t1)
        return v1;
    return v0 + (v1 - v0) * (t - t0) / (t1 - t0);
}

struct Phase
{
    const char *name;
    double end;
};

// Phase ends in seconds into the loop.
const Phase kPhases[] = {
    {"taxi", 40}, {"take-off roll", 60}, {"climb", 100}, {"cruise", 120}, {"turbulence", 145},
    {"stall", 165}, {"approach", 203}, {"landing", 215}, {"roll-out", 240},
};

constexpr double kCruiseFt = 800.0 * 40.0 / 60.0;   // the climb's 40 s at 800 ft/min

// Gusts: the wind steps between speeds far enough apart that the program's
// turbulence filter takes each step.
double gustKnots(double t)
{
    static const double steps[] = {12, 22, 8, 26, 15, 30, 10, 20};
    return steps[static_cast<int>(t / 1.5) % 8];
}

} // namespace

double FlightScript::phaseStart(const std::string &phase)
{
    double begin = 0;
    for (const Phase &p : kPhases) {
        if (phase == p.name)
            return begin;
        begin = p.end;
    }
    return -1;
}

XPlaneAircraft FlightScript::at(double time, std::string *phase)
{
    const double t = std::fmod(std::max(0.0, time), kLoopSeconds);
    if (phase) {
        for (const Phase &p : kPhases)
            if (t < p.end) {
                *phase = p.name;
                break;
            }
    }

    // Indicated airspeed (knots), vertical speed (ft/min), height (ft), bank
    // (deg), pitch (deg), engine (rpm), ground speed (knots), wind (knots).
    double ias, vs = 0, heightFt = 0, bank = 0, pitch = 0, rpm, groundKnots, wind = 5;
    bool stallWarning = false;
    if (t < 40) {           // taxi at walking pace
        ias = 0;
        groundKnots = ramp(t, 0, 10, 0, 12);
        rpm = 1100;
    } else if (t < 60) {    // full power, accelerate to rotation
        ias = ramp(t, 40, 60, 12, 70);
        groundKnots = ias;
        rpm = 2550;
        pitch = ramp(t, 56, 60, 0, 8);
    } else if (t < 100) {   // climb at 800 ft/min
        ias = ramp(t, 60, 70, 70, 90);
        groundKnots = ias + 3;
        rpm = 2400;
        vs = 800;
        heightFt = (t - 60) / 60.0 * 800.0;
        pitch = 7;
    } else if (t < 120) {   // level cruise
        ias = ramp(t, 100, 105, 90, 110);
        groundKnots = ias + 3;
        rpm = 2300;
        heightFt = kCruiseFt;
        pitch = 2;
    } else if (t < 145) {   // a level 25 degree bank turn in gusts
        ias = 110;
        groundKnots = 113;
        rpm = 2300;
        heightFt = kCruiseFt;
        bank = 25 * std::sin(kPi * (t - 120) / 25.0);
        pitch = 2;
        wind = gustKnots(t - 120);
    } else if (t < 165) {   // power off, nose up until the wing stalls, then recover
        rpm = t < 160 ? 1000 : 2300;
        ias = t < 157 ? ramp(t, 145, 157, 110, 42) : ramp(t, 157, 165, 42, 80);
        groundKnots = ias + 3;
        pitch = t < 157 ? ramp(t, 145, 157, 2, 14) : ramp(t, 157, 160, 14, -5);
        stallWarning = t >= 153 && t < 159;
        if (t < 155) {
            heightFt = kCruiseFt;
        } else if (t < 160) {
            vs = -600;
            heightFt = kCruiseFt - (t - 155) / 60.0 * 600.0;
        } else {
            vs = -200;
            heightFt = kCruiseFt - 50.0 - (t - 160) / 60.0 * 200.0;
        }
    } else if (t < 203) {   // descend on the approach to 20 ft
        const double from = kCruiseFt - 50.0 - 5.0 / 60.0 * 200.0;
        ias = ramp(t, 165, 170, 80, 75);
        groundKnots = ias + 3;
        rpm = 1700;
        vs = -(from - 20.0) / 38.0 * 60.0;
        heightFt = ramp(t, 165, 203, from, 20.0);
        pitch = -2;
    } else if (t < 215) {   // flare, touch down at 207 sinking about 450 ft/min, brake
        ias = ramp(t, 203, 215, 65, 50);
        groundKnots = ias;
        rpm = 1000;
        heightFt = ramp(t, 203, 207, 20.0, 0.0);
        // The vertical speed reading lags the touchdown by a moment.
        vs = t < 207 ? -300 : (t < 208.5 ? -450 : 0);
        pitch = t < 207 ? 4 : 0;
    } else {                // brake to taxi speed
        ias = ramp(t, 215, 235, 50, 10);
        groundKnots = ias;
        rpm = 900;
    }
    if (heightFt < 0)
        heightFt = 0;
    const bool onGround = heightFt <= 0.0;

    // Heading: north on the runway, turning through the gusty turn.
    double heading = 0;
    if (t >= 120)
        heading = std::min(180.0, (t - 120) / 25.0 * 180.0);
    // Position: a plain dead reckoning north or south from the runway.
    const double along = (t < 120 ? groundKnots * kKnot * (t - 40 > 0 ? t - 40 : 0) : 0.0);
    XPlaneAircraft a = defaultAircraft();
    a.latitude = 47.4647 + along / kMetresPerDegreeLat;
    a.altitudeM = kRunwayElevation + heightFt * kFoot;
    a.terrainElevationM = kRunwayElevation;
    a.pitch = static_cast<float>(pitch);
    a.roll = static_cast<float>(bank);
    a.trueHeading = static_cast<float>(heading);
    a.gear = 1;
    a.throttle = static_cast<float>(rpm / 2700.0);
    a.elevator = static_cast<float>(pitch / 20.0);
    a.aileron = static_cast<float>(bank / 60.0);
    a.flaps = (t >= 165 || t < 60) ? 0.5f : 0.0f;

    const float g = onGround ? 1.0f : 0.0f;
    const double aoa = onGround ? 0.0 : pitch + 2.0 + (stallWarning ? 2.0 : 0.0);
    auto set = [&a](const char *name, std::vector<float> v) { a.datarefs[name] = std::move(v); };
    set("sim/flightmodel/position/indicated_airspeed", {static_cast<float>(ias)});
    set("sim/flightmodel/position/true_airspeed", {static_cast<float>(ias * 1.02 * kKnot)});
    set("sim/flightmodel/position/groundspeed", {static_cast<float>(groundKnots * kKnot)});
    set("sim/flightmodel/misc/machno", {static_cast<float>(ias / 661.5)});
    set("sim/flightmodel2/misc/AoA_angle_degrees", {static_cast<float>(aoa)});
    set("sim/flightmodel/position/vh_ind_fpm", {static_cast<float>(vs)});
    set("sim/flightmodel/position/mag_psi", {static_cast<float>(std::fmod(heading + 358.0, 360.0))});
    // On the ground: a paved runway (the rumble's firmest surface class).
    set("sim/flightmodel/ground/surface_texture_type", {onGround ? 4.0f : 0.0f});
    set("sim/cockpit2/annunciators/stall_warning", {stallWarning ? 1.0f : 0.0f});
    set("sim/cockpit2/gauges/indicators/wind_speed_kts", {static_cast<float>(wind)});
    set("sim/cockpit2/gauges/indicators/radio_altimeter_height_ft_pilot", {static_cast<float>(heightFt)});
    set("sim/cockpit2/controls/total_roll_ratio", {static_cast<float>(bank / 60.0)});
    set("sim/cockpit2/controls/total_pitch_ratio", {static_cast<float>(pitch / 20.0)});
    set("sim/cockpit2/engine/indicators/engine_speed_rpm",
        {static_cast<float>(rpm), 0, 0, 0, 0, 0, 0, 0});
    set("sim/flightmodel2/gear/on_ground", {g, g, g});
    set("sim/flightmodel2/controls/elevator_trim", {t >= 60 && t < 100 ? 0.1f : 0.0f});
    return a;
}
