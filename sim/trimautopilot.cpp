#include "trimautopilot.h"

#include <algorithm>
#include <cmath>

#include "effectparams.h"
#include "simbridgerecord.h"

namespace {

bool anyGearDown(const SimState &s)
{
    return std::any_of(s.gearOnGround, s.gearOnGround + 3, [](float v) { return v != 0.0f; });
}

// Extra bridge values by their index in the datagram (43 to 51); no bridge
// built here sends those above the parking brake, a bridge that does drives these rules.
float extra(const float *values, int index) { return values[index - SimBridgeRecord::FirstExtra]; }

void addCall(AutopilotOutcome &out, int channel, int state, double location)
{
    out.calls[out.count++] = {channel, state, float(location)};
}

} // namespace

float trimStep(float x, float r, int step, int choice)
{
    if ((r == 1.0f || r == -1.0f) && (x < -1.0f || x > 1.0f))
        return 0.0f;
    const float d = x - r;
    float command = 0.0f;
    if (std::fabs(d) <= 0.001f)
        command = 0.0f;
    else if (d > 0.01f)
        command = float(-step);
    else if (d < -0.01f)
        command = float(step);
    if (choice == SimChoice::Msfs || choice == SimChoice::Prepar3d) {
        const float limit = float(std::abs(step));
        command = std::clamp(command, -limit, limit);
    }
    return command;
}

TrimTickOutcome trimTick(const TrimTickInputs &in, TrimAutopilotState &st)
{
    const SimState &r = *in.chosen;
    const float *extras = in.bridge->extraValues;
    const double s = in.softTrim;

    if (extra(extras, 44) > 0)
        st.apTrimOffset = 0;
    const float offset = st.apTrimOffset;   // what the pitch reference uses, whatever follows

    float xp = 0, xr = 0, height = 0;
    int forceSend = 0;
    bool xplaneOnGround = false;
    switch (in.choice) {
    case SimChoice::XPlane:
        xp = float((r.elevatorTrim - 0.07) * 0.25 * s);
        xr = float(0.25 * r.aileronTrim * s);
        forceSend = truncatedInt(r.autopilotMode);
        xplaneOnGround = anyGearDown(r);
        height = xplaneOnGround ? 0.0f : r.heightAboveGround;
        break;
    case SimChoice::Msfs:
        xp = float(r.elevatorTrim / 360.0 * 1.4476 * s);
        xr = float(r.aileronTrim / 360.0 * 7.0 * s);
        height = anyGearDown(r) ? 0.0f : r.heightAboveGround;
        forceSend = 1;
        if (r.autopilotMaster != 0) {
            st.apPitchTrim = xp;
            st.apTrimOffset = float(st.apTrimBase / 20.0);
        } else if (extra(extras, 44) > 0) {
            st.apPitchTrim = xp;
            st.apTrimOffset = float(-st.apTrimBase / 20.0);
        } else if (extra(extras, 50) > 0 || extra(extras, 51) > 0) {
            st.apPitchTrim = 0;
            st.apTrimOffset = float(-st.apTrimBase / 20.0);
        } else {
            xp -= st.apPitchTrim;
            forceSend = 0;
        }
        break;
    case SimChoice::Prepar3d:
        xp = float(r.elevatorTrim / 90.0 * s);
        xr = float(r.aileronTrim / 90.0 * s * 0.8);
        height = r.heightAboveGround - in.groundHeightOffset;
        break;
    default:
        break;
    }

    if (height > 1.2f && st.airborneLatch == 0.0f) {
        st.airborneLatch = 1.0f;
        st.trimChanged = 1;
    } else if ((height < 1.2f || xplaneOnGround) && st.airborneLatch == 1.0f) {
        st.airborneLatch = 0.0f;
        st.trimChanged = 1;
    }

    TrimTickOutcome out;
    if (st.softTrimOn == 1 || st.apTrimActive == 1) {
        const int step = truncatedInt(s);
        out.pitch = trimStep(xp, float(-in.devicePitchTrim / 20.0 - offset), step, in.choice);
        out.roll = trimStep(xr, float(-in.deviceRollTrim / 20.0), step, in.choice);
        // A moved command asks for a send; unchanged commands leave a send
        // already asked for (a trim button, Apply, take-off or landing) pending.
        if (std::fabs(out.pitch - st.lastStepPitch) > 0.01f || std::fabs(out.roll - st.lastStepRoll) > 0.01f) {
            st.trimChanged = 1;
            st.lastStepPitch = out.pitch;
            st.lastStepRoll = out.roll;
        }
        st.trimState = 0;
    } else if (st.hwTrimOnGround == 1) {
        // Hardware trim is off on the ground and on in the air.
        const int32_t wanted = st.airborneLatch == 1.0f ? 1 : 0;
        if (st.trimState != wanted) {
            st.trimState = wanted;
            st.trimChanged = 1;
        }
    } else {
        st.trimState = 1;
        st.trimChanged = 1;
    }

    if (forceSend != 0 || st.trimChanged == 1) {
        st.trimChanged = 0;
        out.send = true;
    }
    return out;
}

AutopilotOutcome autopilotTick(const SimState &r, int choice, const float *bridgeExtra, float devicePitchPosition,
                               TrimAutopilotState &st)
{
    AutopilotOutcome out;
    double p = 0, q = 0;
    bool engaged = false;
    bool demanded = true;
    if (choice == SimChoice::XPlane) {
        engaged = r.autopilotMode == 2.0f;
        q = -r.rollRatio * 30.0;
        p = std::clamp(r.elevatorTrim * -25.0, -10.0, 10.0);
    } else if (r.autopilotMaster != 0) {
        engaged = true;
        p = r.flightDirectorPitch * 25.0;
        q = r.flightDirectorBank * 10.0;
    } else if (extra(bridgeExtra, 45) > 0) {
        engaged = true;
        p = extra(bridgeExtra, 46) * -25.0;
        q = extra(bridgeExtra, 47) * -20.0;
    } else if (extra(bridgeExtra, 50) > 0 || extra(bridgeExtra, 51) > 0) {
        engaged = true;
        st.pitchRing[st.ringIndex] = extra(bridgeExtra, 46) * -25.0;
        st.rollRing[st.ringIndex] = extra(bridgeExtra, 47) * -25.0;
        st.ringIndex = (st.ringIndex + 1) % 10;
        for (int i = 0; i < 10; ++i) {
            p += st.pitchRing[i] / 10;
            q += st.rollRing[i] / 10;
        }
    } else {
        demanded = false;
    }

    if (!engaged) {
        st.apTrimActive = 0;
        if (!demanded) {
            // A bridge that stops reporting an autopilot gives no demand: the
            // trim stays where the autopilot last put it.
            p = st.lastPitchDemand;
            q = st.lastRollDemand;
        }
        if (st.apState == 2) {
            st.apState = 0;
            st.stepTarget = 0;
            addCall(out, 0, 2, p);
            addCall(out, 1, 2, q);
            st.apTrimBase = float(p);
        }
        return out;
    }

    out.engaged = true;
    st.apTrimActive = 1;
    if (st.apState == 0) {
        // The first engaged tick always sends.
        st.lastPitchDemand = p - 0.15;
        st.lastRollDemand = q - 0.15;
    }
    if (std::fabs(p - st.lastPitchDemand) > 0.01) {
        st.apState = 2;
        if (!(extra(bridgeExtra, 45) > 0) || extra(bridgeExtra, 44) >= 0.1f) {
            // The trim moves toward a far demand one unit per tick.
            double location = p;
            if (std::fabs(p - devicePitchPosition) > 1.0) {
                st.stepTarget = devicePitchPosition + (p < devicePitchPosition ? -1.0f : 1.0f);
                location = st.stepTarget;
            }
            addCall(out, 0, 3, location);
            st.lastPitchDemand = location;
            st.apTrimBase = float(location);
        } else {
            addCall(out, 0, 2, p);
            st.apTrimActive = 0;
            st.lastPitchDemand = p;
            st.apTrimBase = float(p);
        }
    }
    if (std::fabs(q - st.lastRollDemand) > 0.01) {
        st.apState = 2;
        addCall(out, 1, 3, q);
        st.lastRollDemand = q;
    }
    return out;
}
