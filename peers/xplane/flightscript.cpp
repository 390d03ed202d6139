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
    {"taxi", 40}, {"take-off roll", 60}, {"climb", 110}, {"turn", 150},
    {"approach", 200}, {"landing", 215}, {"roll-out", 240},
};

} // namespace

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

    // Indicated airspeed (knots), vertical speed (ft/min), height (ft), bank (deg).
    double ias, vs, heightFt, bank = 0, pitch = 0, rpm, groundKnots;
    if (t < 40) {           // taxi at walking pace
        ias = 0;
        groundKnots = ramp(t, 0, 10, 0, 12);
        rpm = 1100;
        vs = 0;
        heightFt = 0;
    } else if (t < 60) {    // full power, accelerate to rotation
        ias = ramp(t, 40, 60, 12, 70);
        groundKnots = ias;
        rpm = 2550;
        vs = 0;
        heightFt = 0;
        pitch = ramp(t, 56, 60, 0, 8);
    } else if (t < 110) {   // climb at 800 ft/min
        ias = ramp(t, 60, 70, 70, 90);
        groundKnots = ias + 3;
        rpm = 2400;
        vs = 800;
        heightFt = (t - 60) / 60.0 * 800.0;
        pitch = 7;
    } else if (t < 150) {   // level 25 degree bank turn
        ias = 100;
        groundKnots = 103;
        rpm = 2300;
        vs = 0;
        heightFt = 50.0 / 60.0 * 800.0;
        bank = 25 * std::sin(kPi * (t - 110) / 40.0);
        pitch = 2;
    } else if (t < 200) {   // descend on the approach
        ias = ramp(t, 150, 160, 100, 75);
        groundKnots = ias + 3;
        rpm = 1700;
        vs = -700;
        heightFt = 50.0 / 60.0 * 800.0 - (t - 150) / 60.0 * 700.0;
        pitch = -2;
    } else if (t < 215) {   // flare and touch down
        ias = ramp(t, 200, 215, 70, 55);
        groundKnots = ias;
        rpm = 1000;
        heightFt = ramp(t, 200, 208, 50.0 / 60.0 * 800.0 - 50.0 / 60.0 * 700.0, 0.0);
        vs = t < 208 ? -625 : 0;
        pitch = t < 208 ? 4 : 0;
    } else {                // brake to taxi speed
        ias = ramp(t, 215, 235, 55, 10);
        groundKnots = ias;
        rpm = 900;
        vs = 0;
        heightFt = 0;
    }
    if (heightFt < 0)
        heightFt = 0;
    const bool onGround = heightFt <= 0.0;

    // Heading: north on the runway, turning through the turn phase.
    double heading = 0;
    if (t >= 110)
        heading = std::min(180.0, (t - 110) / 40.0 * 180.0);
    // Position: a plain dead reckoning north or south from the runway.
    const double along = (t < 110 ? groundKnots * kKnot * (t - 40 > 0 ? t - 40 : 0) : 0.0);
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
    a.flaps = (t >= 150 || t < 60) ? 0.5f : 0.0f;

    const float g = onGround ? 1.0f : 0.0f;
    const double aoa = onGround ? 0.0 : pitch + 2.0;
    auto set = [&a](const char *name, std::vector<float> v) { a.datarefs[name] = std::move(v); };
    set("sim/flightmodel/position/indicated_airspeed", {static_cast<float>(ias)});
    set("sim/flightmodel/position/true_airspeed", {static_cast<float>(ias * 1.02 * kKnot)});
    set("sim/flightmodel/position/groundspeed", {static_cast<float>(groundKnots * kKnot)});
    set("sim/flightmodel/misc/machno", {static_cast<float>(ias / 661.5)});
    set("sim/flightmodel2/misc/AoA_angle_degrees", {static_cast<float>(aoa)});
    set("sim/flightmodel/position/vh_ind_fpm", {static_cast<float>(vs)});
    set("sim/flightmodel/position/mag_psi", {static_cast<float>(std::fmod(heading + 358.0, 360.0))});
    set("sim/flightmodel/ground/surface_texture_type", {onGround ? 1.0f : 0.0f});
    set("sim/cockpit2/annunciators/stall_warning", {0.0f});
    set("sim/cockpit2/gauges/indicators/radio_altimeter_height_ft_pilot", {static_cast<float>(heightFt)});
    set("sim/cockpit2/controls/total_roll_ratio", {static_cast<float>(bank / 60.0)});
    set("sim/cockpit2/controls/total_pitch_ratio", {static_cast<float>(pitch / 20.0)});
    set("sim/cockpit2/engine/indicators/engine_speed_rpm",
        {static_cast<float>(rpm), 0, 0, 0, 0, 0, 0, 0});
    set("sim/flightmodel2/gear/on_ground", {g, g, g});
    set("sim/flightmodel2/controls/elevator_trim", {t >= 60 && t < 110 ? 0.1f : 0.0f});
    return a;
}
