// The main window's 100 ms effect tick with its effect computations, the
// autopilot effect and the 16 ms trim tick. The arithmetic lives in
// effects.cpp and trimautopilot.cpp; these slots pick the inputs and send.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "cxpdata.h"
#include "simstate.h"
#include "widgetupdates.h"

#include <QDebug>

const SimState &clscurve::chosenSimState() const
{
    return simulatorChoice == SimChoice::XPlane ? xpSimState : bridgeSimState;
}

ForceLimits clscurve::forceLimits() const
{
    return {userChanReplyImage[0].force_limit(), userChanReplyImage[1].force_limit()};
}

void clscurve::sendEffect()
{
    if (simulatorChoice >= SimChoice::XPlane && simulatorChoice <= SimChoice::Prepar3d) {
        const int code = effectDataErrorCode(chosenSimState());
        if (code != 0) {
            // Implausible data costs one tick; the device keeps what it has.
            qDebug() << "data error" << code;
            return;
        }
    }
    slots_EffectAffect();
    slots_EffectPhysics();
    slots_EffectEngine();
    slots_Effect_Turbulences();
    slots_Effect_Ground();
    slots_Effect_shaker();
    if (effectParams.autopilotEnable == 1)
        slots_Effect_AP();
    send0x32();
    send0x42();
}

void clscurve::slots_EffectAffect()
{
    computePropWash(chosenSimState(), simulatorChoice, effectParams, effectMemory);
}

void clscurve::slots_EffectPhysics()
{
    computeLowSpeedAndSpring(chosenSimState(), simulatorChoice, effectMemory.propWashFactor, effectParams);
}

void clscurve::slots_EffectEngine()
{
    // The steps before this one saw the values of the last 16 ms tick.
    xpData->publishSimState();
    simConnected = xpData->isSimConnected();
    computeEngine(chosenSimState(), forceLimits(), effectParams);
}

void clscurve::slots_Effect_Turbulences()
{
    computeTurbulence(chosenSimState(), simulatorChoice, forceLimits(), effectParams, effectMemory);
}

void clscurve::slots_Effect_Ground()
{
    computeGround(chosenSimState(), simulatorChoice, forceLimits(), effectParams, effectMemory);
}

void clscurve::slots_Effect_shaker()
{
    computeShaker(chosenSimState(), simulatorChoice, forceLimits(), effectParams);
}

void clscurve::slots_Effect_AP()
{
    const AutopilotOutcome out = autopilotTick(chosenSimState(), simulatorChoice, bridgeSimState.extraValues,
                                               liveData[0][0], trimAutopilot);
    setStyleIfChanged(ui->AP_state, out.engaged ? lampGreen : lampYellow);
    for (int i = 0; i < out.count; ++i)
        send0x31(0.0f, out.calls[i].channel, out.calls[i].state, out.calls[i].location, 1);
}

float clscurve::trimStepCommand(float x, float r, int step) const
{
    return trimStep(x, r, step, simulatorChoice);
}

void clscurve::slots_timeOuttxTrimTimer()
{
    TrimTickInputs in;
    in.softTrim = ui->softTrim->value();
    xpData->publishSimState();
    simConnected = xpData->isSimConnected();
    in.choice = simulatorChoice;
    in.chosen = &chosenSimState();
    in.bridge = &bridgeSimState;
    in.devicePitchTrim = liveData[0][2];
    in.deviceRollTrim = liveData[1][2];
    in.groundHeightOffset = effectParams.groundHeightOffset;
    const TrimTickOutcome out = trimTick(in, trimAutopilot);
    if (out.send) {
        send0x31(out.pitch, 0, 0, 0.0f, 0);
        send0x31(out.roll, 1, 0, 0.0f, 0);
    }
}
