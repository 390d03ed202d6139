#include "effects.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

double radians(double degrees) { return degrees * kPi / 180.0; }

void setGroup(float *out, float a, float b, float c, float d)
{
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out[3] = d;
}

// Height for the wash and low-speed force: X-Plane and MSFS report the gear
// (firmly on the ground: a gear value of exactly 1), Prepar3D only a height
// that the user's offset corrects.
struct GroundContact
{
    bool onGround = false;
    float height = 0;
};

GroundContact physicsContact(const SimState &s, int choice, const EffectParams &p)
{
    GroundContact g;
    if (choice == SimChoice::Prepar3d) {
        g.height = s.heightAboveGround - p.groundHeightOffset;
        return g;
    }
    g.onGround = std::any_of(s.gearOnGround, s.gearOnGround + 3, [](float v) { return v == 1.0f; });
    g.height = g.onGround ? 0.0f : s.heightAboveGround;
    return g;
}

} // namespace

int effectDataErrorCode(const SimState &s)
{
    // Each test is written so that NaN passes, and a later failure replaces an earlier code.
    int code = 0;
    const auto outside = [](float v, float lo, float hi) { return v > hi || v < lo; };
    if (outside(s.engineRpm, 0.0f, 60000.0f))
        code = 1;
    if (outside(s.indicatedAirspeed, 0.0f, 2000.0f))
        code = 2;
    if (outside(s.angleOfAttack, -200.0f, 200.0f))
        code = 3;
    if (outside(s.windSpeed, 0.0f, 600.0f))
        code = 4;
    if (outside(s.windDirection, 0.0f, 600.0f))
        code = 5;
    if (outside(s.heightAboveGround, 0.0f, 200000.0f))
        code = 6;
    if (static_cast<uint32_t>(s.groundSpeed) > 2000u)   // a negative speed fails as a huge one
        code = 7;
    if (outside(s.verticalSpeed, -60000.0f, 60000.0f))
        code = 8;
    return code;
}

int rumbleSurfaceClass(int choice, int32_t surfaceType)
{
    if (choice == SimChoice::XPlane)
        return surfaceType;
    switch (surfaceType) {
    case 5: case 6: case 1: case 3:
        return 4;
    case 20: case 21: case 22: case 14:
        return 5;
    case 0: case 4: case 18: case 23:
        return 2;
    default:
        return 0;
    }
}

float springCoefficient(float v, float minSpeed, float maxSpeed, float ratio, float belowMin)
{
    if (v < minSpeed)
        return belowMin;
    const double top = ratio / 100 * 5.0;
    if (v > maxSpeed)
        return float(top);
    if (maxSpeed - minSpeed <= 0.0f)
        return -1.0f;
    const double c = (top + 1.0) * double(v - minSpeed) / double(maxSpeed - minSpeed) - 1.0;
    return float(std::max(-1.0, c));
}

void computePropWash(const SimState &s, int choice, const EffectParams &p, EffectMemory &m)
{
    const GroundContact g = physicsContact(s, choice, p);
    float factor = 1.0f;
    if (p.propWashEnable == 1 && (g.onGround || g.height < 3.0f)) {
        const float rpm = s.engineRpm;
        if (rpm <= float(p.propIdleRpm))
            factor = 1.0f;
        else if (rpm <= float(p.propMiddleRpm))
            factor = float(1.0 - double(rpm - float(p.propIdleRpm)) * 0.4 / double(p.propMiddleRpm - p.propIdleRpm));
        else
            factor = 0.6f;
    }
    m.propWashFactor = factor;
}

void computeLowSpeedAndSpring(const SimState &s, int choice, float washFactor, EffectParams &p)
{
    const GroundContact g = physicsContact(s, choice, p);
    const float v = s.indicatedAirspeed;

    if (p.lowSpeedEnable == 1 && g.height <= 3.0f && v <= float(p.lowSpeedMiddle)) {
        double f = 20.0;
        if (v > float(p.lowSpeedStart))
            f = 20.0 - double(v - float(p.lowSpeedStart)) * 20.0 / double(p.lowSpeedMiddle - p.lowSpeedStart);
        p.lowSpeedAmplitude = float(washFactor * f);
        p.lowSpeedOffset = float((-120 * p.lowSpeedStrength) / 100);
    } else {
        p.lowSpeedAmplitude = 0.0f;
        p.lowSpeedOffset = 0.0f;
    }

    if (p.springEnable == 1) {
        p.springPitchCoeff = springCoefficient(v, p.springPitchMinSpeed, p.springPitchMaxSpeed, p.springPitchRatio, -1.0f);
        // A little roll stiffness stays while the wheels are on the ground.
        const float rollBelowMin = g.height < 3.0f ? -0.8f : -1.0f;
        p.springRollCoeff = springCoefficient(v, p.springRollMinSpeed, p.springRollMaxSpeed, p.springRollRatio, rollBelowMin);
        p.springPitchZoneOut = p.springPitchZone;
        p.springRollZoneOut = p.springRollZone;
    } else {
        p.springPitchCoeff = p.springRollCoeff = 0.0f;
        p.springPitchZoneOut = p.springRollZoneOut = 0.0f;
    }
}

void computeEngine(const SimState &s, const ForceLimits &f, EffectParams &p)
{
    if (p.engineEnable != 1) {
        setGroup(p.engineOut, 0, 0, 0, 0);
        return;
    }
    const float rpm = *std::max_element(s.engineRpms, s.engineRpms + 4);
    if (rpm <= 50.0f)
        setGroup(p.engineOut, 0, 0, 0, 0);
    else if (rpm < 400.0f)   // the shudder of a starting engine
        setGroup(p.engineOut, f.roll, 5.0f, 2.0f, 20.0f);
    else
        setGroup(p.engineOut, 0.5f * float(p.engineStrength) * f.roll / 100, float(rpm / 70.0), 10000.0f, 0.0f);
}

void computeTurbulence(const SimState &s, int choice, const ForceLimits &f, EffectParams &p, EffectMemory &m)
{
    float h;
    if (choice == SimChoice::Prepar3d)
        h = s.heightAboveGround - p.groundHeightOffset;
    else
        h = std::any_of(s.gearOnGround, s.gearOnGround + 3, [](float v) { return v > 0.9f; }) ? 0.0f
                                                                                            : s.heightAboveGround;

    // Small wind changes are held back, so the force follows gusts, not noise;
    // a calm wind is taken after a while so that the force can die away.
    float w = s.windSpeed;
    if (m.filterFirstRun == 1) {
        m.lastWindSpeed = w;
        m.filterFirstRun = 0;
    } else {
        const double tolerance = (101 - p.turbulenceSensitivity) * 0.04;
        if (std::fabs(double(m.lastWindSpeed - w)) >= tolerance) {
            m.lastWindSpeed = w;
        } else {
            if (w > -1.0f && w < 1.0f)
                ++m.filterCount;
            if (m.filterCount > 20) {
                m.lastWindSpeed = w;
                m.filterCount = 0;
            } else {
                w = m.lastWindSpeed;
            }
        }
    }

    if (p.turbulenceEnable != 1) {
        p.turbulenceRoll = p.turbulencePitch = 0.0f;
        return;
    }

    const double heading = s.magneticHeading;
    double direction = s.windDirection;
    if (heading > direction)
        direction += 360.0;
    const double half = 0.5 * double(f.roll);
    // A negative limit (a corrupt record) would leave the clamps below without
    // a range; it caps at 0 instead.
    const double cap = std::max(0.0, p.turbulenceMaxPercent * half / 100);
    const double k = w * cap / 100;
    const double delta = direction - heading;
    const double gain = p.turbulenceGain + 1;

    // Wind straight along the axis (or a difference of a full turn) gives no
    // side: the last side's value before gain and cap stays, so the gain is
    // applied to it once.
    double roll = m.turbulenceRollWork;
    if (delta > 0 && delta < 180)
        roll = -std::fabs(k * std::sin(radians(delta)));
    else if (delta > 180 && delta < 360)
        roll = std::fabs(k * std::sin(radians(delta - 180)));
    m.turbulenceRollWork = float(roll);
    if (std::fabs(w) < 0.2f)
        roll = 0;
    roll *= gain;

    double pitch = (delta > 90 && delta < 270) ? -std::fabs(k * std::cos(radians(delta)))
                                               : std::fabs(k * std::cos(radians(delta - 180)));
    if (std::fabs(w) < 0.2f)
        pitch = 0;
    pitch *= gain;

    const double floor = half * p.turbulenceMinPercent / 100;
    const auto atLeast = [floor](double v) { return (v != 0 && std::fabs(v) < floor) ? std::copysign(floor, v) : v; };
    roll = std::clamp(atLeast(roll), -cap, cap);
    pitch = std::clamp(atLeast(pitch), -2 * cap, 2 * cap);

    if (h < 1.0f) {
        p.turbulenceRoll = p.turbulencePitch = 0.0f;
    } else {
        p.turbulenceRoll = float(roll * 1.5);
        p.turbulencePitch = float(pitch * 1.5);
    }
}

void computeGround(const SimState &s, int choice, const ForceLimits &f, EffectParams &p, EffectMemory &m)
{
    const bool onGround = choice == SimChoice::Prepar3d
                              ? s.heightAboveGround - p.groundHeightOffset < 2.0f
                              : std::any_of(s.gearOnGround, s.gearOnGround + 3, [](float v) { return v != 0.0f; });
    if (!onGround) {
        m.landingLatch = 0;
        setGroup(p.rumbleOut, 0, 0, 0, 0);
        if (p.landingEnable == 1)
            setGroup(p.landingOut, 0, 0, 0, 0);
        return;
    }

    if (p.rumbleEnable != 1) {
        setGroup(p.rumbleOut, 0, 0, 0, 0);
    } else {
        const float gs = float(s.groundSpeed);
        const int threshold = p.rumbleSpeed;
        const float base = p.rumbleMaxPercent * f.pitch / 100;
        const float floor = f.pitch * p.rumbleMinPercent / 100;
        const int tens = p.rumbleSetting / 10;
        if (gs > float(threshold)) {
            setGroup(p.rumbleOut, base * 0.5f, 7.0f, 10000.0f, float(tens * 7));
        } else {
            double share = 0;
            int n = 0;
            switch (rumbleSurfaceClass(choice, s.surfaceType)) {
            case 4:
                share = 0.8;
                n = threshold * 70;
                break;
            case 5: case 6:
                share = 0.6;
                n = threshold * 50;
                break;
            case 2: case 3: case 11:
                share = 0.4;
                n = threshold * 40;
                break;
            default:
                break;   // a surface without rumble keeps the group as it was
            }
            if (share != 0) {
                // Standing still: no frequency rather than an infinite one.
                const float frequency = gs != 0.0f ? float(double(float(n) / gs * float(tens)) / 10.0) : 0.0f;
                const float amplitude = float(base * share * 0.5);
                setGroup(p.rumbleOut, std::max(amplitude, floor), 7.0f, 10000.0f, frequency);
            }
        }
    }

    if (p.landingEnable == 1) {
        const float vs = s.verticalSpeed;
        if (vs >= -10.0f || m.landingLatch == 1) {
            setGroup(p.landingOut, 0, 0, 0, 0);
        } else {
            const double x = std::log10(-double(vs));
            const double l = 2 * f.pitch * float(p.landingStrength);
            double share;
            if (x <= 2.0)
                share = l / 70.0 / 30.0;
            else if (x <= 2.5)
                share = l / 70.0 / 10.0;
            else if (x <= 2.8)
                share = l / 70.0 * 0.125;
            else if (x <= 3.0)
                share = l / 70.0 / 6.0;
            else
                share = l / 100.0 * ((x - 3.0) + 1.0);
            const int band = truncatedInt(share);
            setGroup(p.landingOut, float(x * band), 10.0f, 1.0f, 0.0f);
            m.landingLatch = 1;
        }
    }
}

void computeShaker(const SimState &s, int choice, const ForceLimits &f, EffectParams &p)
{
    const float h = choice == SimChoice::XPlane ? s.heightAboveGround : s.heightAboveGround - p.groundHeightOffset;
    if (p.shakerUserMode == 1)
        p.shakerStall = 0;
    else
        p.shakerStall = choice == SimChoice::XPlane ? (s.stallWarning != 0 ? 1 : 0) : s.stallWarning;

    double amplitude = 0;
    if (p.shakerEnable == 1 && h > 50.0f) {
        const float gs = float(s.groundSpeed);
        const int n = truncatedInt(p.shakerStrength * f.pitch / 100);
        int base = 0;
        if (p.shakerUserMode == 0 && p.shakerStall == 1)
            base = n / 2;
        else if (p.overspeedEnable == 1 && (gs >= float(p.overspeedSpeed) || p.shakerStall == 1))
            base = n / 2;
        amplitude = base;
        if (p.shakerUserMode == 1) {
            const double k = n / 1.5 * 0.5;
            double speedPart = k;
            if (gs >= float(p.shakerSpeedMin))
                speedPart = 0;
            else if (gs >= float(p.shakerSpeedMax))
                speedPart = (1 - (gs - float(p.shakerSpeedMax)) / float(p.shakerSpeedMin - p.shakerSpeedMax)) * k;
            const float a = s.angleOfAttack;
            double anglePart = k;
            if (a <= p.shakerAoaMin)
                anglePart = 0;
            else if (a <= p.shakerAoaMax)
                anglePart = k * (a - p.shakerAoaMin) / (p.shakerAoaMax - p.shakerAoaMin);
            amplitude += speedPart + anglePart;
        }
    }
    setGroup(p.shakerOut, float(amplitude), 10.0f, 30.0f, 0.0f);
}
