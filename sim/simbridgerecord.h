#pragma once
// The bridge datagram as both ends see it: byte 0 the bridge's connected
// flag, bytes 1 to 7 without meaning, then one little-endian double per
// simulation variable, in the order of the variable table below. The bridge
// programs build it and the simulator reader takes it; neither uses Qt.
#include <cstddef>

struct BridgeVariable {
    const char *name;
    const char *units;
};

// The variables in record order, as the bridge registers them with SimConnect.
inline constexpr BridgeVariable kBridgeVariables[] = {
    {"PLANE LATITUDE", "Degrees"},
    {"PLANE LONGITUDE", "Degrees"},
    {"PLANE ALTITUDE", "Feet"},
    {"PLANE PITCH DEGREES", "Degrees"},
    {"PLANE BANK DEGREES", "Degrees"},
    {"PLANE HEADING DEGREES TRUE", "Degrees"},
    {"AIRSPEED INDICATED", "Knots"},
    {"AIRSPEED TRUE", "Knots"},
    {"GROUND VELOCITY", "Knots"},
    {"AIRSPEED MACH", "Mach"},
    {"GROUND ALTITUDE", "Feet"},
    {"ELEVATOR POSITION", "Position"},
    {"AILERON POSITION", "Position"},
    {"RUDDER POSITION", "Position"},
    {"GENERAL ENG THROTTLE LEVER POSITION:1", "Percent over 100"},
    {"GENERAL ENG THROTTLE LEVER POSITION:2", "Percent over 100"},
    {"GENERAL ENG THROTTLE LEVER POSITION:3", "Percent over 100"},
    {"GENERAL ENG THROTTLE LEVER POSITION:4", "Percent over 100"},
    {"GEAR HANDLE POSITION", "Bool"},
    {"FLAPS HANDLE PERCENT", "Percent over 100"},
    {"SPOILERS HANDLE POSITION", "Position"},
    {"INCIDENCE ALPHA", "Radians"},
    {"GENERAL ENG RPM:1", "Rpm"},
    {"PLANE HEADING DEGREES MAGNETIC", "Radians"},
    {"SURFACE TYPE", "Enum"},
    {"PLANE ALT ABOVE GROUND", "Feet"},
    {"STALL WARNING", "Bool"},
    {"AMBIENT WIND VELOCITY", "Knots"},
    {"AMBIENT WIND DIRECTION", "Degrees"},
    {"AUTOPILOT MASTER", "Bool"},
    {"AUTOPILOT FLIGHT DIRECTOR PITCH", "Radians"},
    {"AUTOPILOT FLIGHT DIRECTOR BANK", "Radians"},
    {"AUTOPILOT AVAILABLE", "Bool"},
    {"VERTICAL SPEED", "Feet per second"},
    {"GENERAL ENG RPM:1", "Rpm"},
    {"GENERAL ENG RPM:2", "Rpm"},
    {"GENERAL ENG RPM:3", "Rpm"},
    {"GENERAL ENG RPM:4", "Rpm"},
    {"GEAR IS ON GROUND:0", "Bool"},
    {"GEAR IS ON GROUND:1", "Bool"},
    {"GEAR IS ON GROUND:2", "Bool"},
    {"ELEVATOR TRIM POSITION", "Radians"},
    {"AILERON TRIM", "Radians"},
    {"BRAKE PARKING POSITION", "Bool"},
};

namespace SimBridgeRecord {
// Value indices, in table order.
enum Value : int {
    Latitude, Longitude, Altitude, Pitch, Bank, TrueHeading, IndicatedAirspeed, TrueAirspeed, GroundVelocity,
    Mach, GroundAltitude, Elevator, Aileron, Rudder, Throttle1, Throttle2, Throttle3, Throttle4, GearHandle,
    FlapsHandle, SpoilersHandle, AngleOfAttack, EngineRpm, MagneticHeading, SurfaceType, HeightAboveGround,
    StallWarning, WindVelocity, WindDirection, AutopilotMaster, FlightDirectorPitch, FlightDirectorBank,
    AutopilotAvailable, VerticalSpeed, EngineRpm1, EngineRpm2, EngineRpm3, EngineRpm4, GearOnGround0,
    GearOnGround1, GearOnGround2, ElevatorTrim, AileronTrim, ParkingBrake,
    // The reader passes the values from here on to the effects as received.
    FirstExtra = ParkingBrake,
};

constexpr int OffConnected = 0;
constexpr int HeaderBytes = 8;
constexpr int MsfsValueCount = 44;                       // DrevantMSFS2020Sim
constexpr int Prepar3dValueCount = MsfsValueCount - 1;   // DrevantPrepar3dSim: no parking brake
// The reader takes up to this many values; those a bridge does not send read as 0.
constexpr int MaxValues = 52;
constexpr int ExtraCount = MaxValues - FirstExtra;

constexpr int valueOffset(int i) { return HeaderBytes + 8 * i; }
constexpr int bytesFor(int values) { return valueOffset(values); }
constexpr int MaxBytes = bytesFor(MaxValues);
// A datagram of this length carries a whole number of values, 1 to MaxValues.
constexpr bool validLength(int bytes)
{
    return bytes >= bytesFor(1) && bytes <= MaxBytes && (bytes - HeaderBytes) % 8 == 0;
}

namespace check {
constexpr bool sameText(const char *a, const char *b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}
constexpr bool is(Value v, const char *name, const char *units)
{
    return sameText(kBridgeVariables[v].name, name) && sameText(kBridgeVariables[v].units, units);
}
} // namespace check

// The reader's conversions rest on these rows: a table reordered or changed
// under them must not build.
static_assert(sizeof kBridgeVariables / sizeof kBridgeVariables[0] == MsfsValueCount, "one row per value");
static_assert(check::is(IndicatedAirspeed, "AIRSPEED INDICATED", "Knots"), "");
static_assert(check::is(GroundVelocity, "GROUND VELOCITY", "Knots"), "");
static_assert(check::is(AngleOfAttack, "INCIDENCE ALPHA", "Radians"), "converted to degrees");
static_assert(check::is(EngineRpm, "GENERAL ENG RPM:1", "Rpm"), "");
static_assert(check::is(MagneticHeading, "PLANE HEADING DEGREES MAGNETIC", "Radians"), "converted to degrees");
static_assert(check::is(SurfaceType, "SURFACE TYPE", "Enum"), "");
static_assert(check::is(HeightAboveGround, "PLANE ALT ABOVE GROUND", "Feet"), "");
static_assert(check::is(StallWarning, "STALL WARNING", "Bool"), "");
static_assert(check::is(WindVelocity, "AMBIENT WIND VELOCITY", "Knots"), "");
static_assert(check::is(WindDirection, "AMBIENT WIND DIRECTION", "Degrees"), "");
static_assert(check::is(AutopilotMaster, "AUTOPILOT MASTER", "Bool"), "");
static_assert(check::is(FlightDirectorPitch, "AUTOPILOT FLIGHT DIRECTOR PITCH", "Radians"), "");
static_assert(check::is(FlightDirectorBank, "AUTOPILOT FLIGHT DIRECTOR BANK", "Radians"), "");
static_assert(check::is(AutopilotAvailable, "AUTOPILOT AVAILABLE", "Bool"), "");
static_assert(check::is(VerticalSpeed, "VERTICAL SPEED", "Feet per second"), "converted to feet per minute");
static_assert(check::is(EngineRpm1, "GENERAL ENG RPM:1", "Rpm") && check::is(EngineRpm4, "GENERAL ENG RPM:4", "Rpm"), "");
static_assert(check::is(GearOnGround0, "GEAR IS ON GROUND:0", "Bool") && check::is(GearOnGround2, "GEAR IS ON GROUND:2", "Bool"), "");
static_assert(check::is(ElevatorTrim, "ELEVATOR TRIM POSITION", "Radians"), "converted to degrees");
static_assert(check::is(AileronTrim, "AILERON TRIM", "Radians"), "converted to degrees");
static_assert(check::is(ParkingBrake, "BRAKE PARKING POSITION", "Bool"), "the row the Prepar3D build leaves out");
} // namespace SimBridgeRecord
