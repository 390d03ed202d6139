// The main window's senders of the commands that move forces: 0x31 trim and
// autopilot switch, 0x32 force effect and force input, 0x42 vibration, the
// 0x40 force curve of the curve editor, and the two slots that release
// forces (Disable and the coupled-yoke off button).
#include "clscurve.h"
#include "ui_clscurve.h"

#include "cxpdata.h"
#include "forcecurve.h"

#include <qcustomplot.h>

void clscurve::send0x31(float speed, int chn, int state, float location, int datasource)
{
    const UART_set_channel_switch_t record =
        switchRecord(switchTables, finiteOrZero(speed), chn, state, finiteOrZero(location), datasource,
                     uint8_t(trimAutopilot.trimState), uint8_t(coupledMode), defaultSpeed[0]);
    if (!checkOnline())
        return;
    // The table now holds this speed: it is what the device holds only where
    // the record went out and the link still stands after the reply read.
    const bool sent = sendPayload(CmdTrimSwitch, UART_set_channel_switch_t::PayloadLength, record.payload());
    trimSpeedKnown[chn == 1 ? 1 : 0] = sent && linkMode == 1;
}

void clscurve::trimMemoryFromSpeeds()
{
    // The trim tick sends again as soon as its step differs from what the device holds.
    trimAutopilot.lastStepPitch = switchTables.speed[0];
    trimAutopilot.lastStepRoll = switchTables.speed[1];
}

void clscurve::forgetTrimSpeeds()
{
    trimSpeedKnown[0] = trimSpeedKnown[1] = false;
    // The tick's memory cannot say what the device holds either: its next
    // tick sends, whatever its steps are.
    trimAutopilot.trimChanged = 1;
}

void clscurve::releaseTrimSpeeds()
{
    if (!isOnline() || linkMode != 1)
        return;
    // Speed only: mode, location, trim state and coupled mode go as before.
    for (int ch = 0; ch < 2; ++ch)
        if (trimSpeedLeft(ch))
            send0x31(0.0f, ch, 0, 0.0f, 0);
    trimMemoryFromSpeeds();
}

void clscurve::sendForceRelease()
{
    for (uint8_t ch = 0; ch < 2; ++ch) {
        UART_set_channel_intForce_t zero;
        zero.set_channel(ch);
        sendPayload(CmdForce, UART_set_channel_intForce_t::PayloadLength, zero.payload());
    }
    for (int g : {GroupEngine, GroupRumble, GroupShaker, GroupLanding}) {
        EffectVibrationPacket zero;
        zero.set_channel(kVibrationGroups[g].channel);
        zero.set_mode(kVibrationGroups[g].mode);
        sendPayload(CmdVibration, EffectVibrationPacket::PayloadLength, zero.payload());
    }
}

void clscurve::releaseDeviceAtExit()
{
    releasingAtExit = true;
    // No tick may command anything once the release has gone out (the waits
    // below run the event loop, and with it the timers). Nor may a tick open
    // a box with no window behind it, which would hold the process until a
    // click nobody can give: the polls, the search, a firmware update and the
    // reply dispatch (whose replies nobody would see) end here.
    stopEffectTimer();
    stopWindowTimer(trimTimer, &clscurve::slots_timeOuttxTrimTimer);
    stopTxTimerIfActive();
    stopInfoTimerIfActive();
    stopSimPollTimerIfActive();
    stopSearchDeviceTimerIfActive();
    stopFirmwareTimerIfActive();
    stopReplyPollTimer();
    // A link lost in a reply read sets the link mode to 0.
    const auto linkStands = [this] { return isOnline() && linkMode == 1; };
    if (!linkStands())
        return;
    if (effectsRunning == 1) {
        effectsRunning = 0;
        sendForceRelease();
    }
    for (int ch = 0; ch < 2; ++ch) {
        if (!linkStands())
            return;
        if (!trimSpeedLeft(ch))
            continue;
        send0x31(0.0f, ch, 0, 0.0f, 0);
        delayMs(10);
    }
}

void clscurve::do_TrimConteol_pitch(UART_set_channel_switch_t *record)
{
    if (!record)
        return;
    record->set_channel(uint8_t(currentChannel));
    if (!checkOnline())
        return;
    sendPayload(CmdTrimSwitch, UART_set_channel_switch_t::PayloadLength, record->payload());
    // The record's speed is not the switch table's: a release must not skip it.
    trimSpeedKnown[currentChannel == 1 ? 1 : 0] = false;
}

void clscurve::do_force_input(UART_set_channel_intForce_t *record)
{
    if (!record || !checkOnline())
        return;
    record->set_channel(uint8_t(currentChannel));
    sendPayload(CmdForce, UART_set_channel_intForce_t::PayloadLength, record->payload());
}

void clscurve::send0x32()
{
    const EffectParams &p = effectParams;
    const float values[2][EffectForcePacket::ValueCount] = {
        {p.turbulencePitch + p.pitchBias, p.springPitchZoneOut, p.springPitchCoeff, p.lowSpeedAmplitude,
         p.lowSpeedOffset},
        {p.turbulenceRoll, p.springRollZoneOut, p.springRollCoeff, 0.0f, 0.0f},
    };
    if (effectSend.forceSwitch != 1)
        return;
    for (int ch = 0; ch < 2; ++ch) {
        EffectForcePacket packet;
        packet.set_channel(uint8_t(ch));
        float v[EffectForcePacket::ValueCount];
        for (int i = 0; i < EffectForcePacket::ValueCount; ++i) {
            v[i] = finiteOrZero(values[ch][i]);
            packet.set_value(i, v[i]);
        }
        float *last = effectSend.lastForce[ch];
        if (!forceChannelDue(v, last, ch == 0))
            continue;
        std::copy(v, v + 3, last);
        if (checkOnline())
            sendPayload(CmdForce, EffectForcePacket::PayloadLength, packet.payload());
    }
}

void clscurve::send0x42()
{
    if (effectSend.vibrationSwitch != 1)
        return;
    const float *const groups[GroupCount] = {effectParams.engineOut, effectParams.rumbleOut, effectParams.landingOut,
                                             effectParams.shakerOut};
    effectSend.engineKeepAlive += 1.0f;
    for (int g = 0; g < GroupCount; ++g) {
        float v[4];
        for (int i = 0; i < 4; ++i)
            v[i] = finiteOrZero(groups[g][i]);
        float *last = effectSend.lastVibration[g];
        // Offline the group stays due: it goes once the device is back.
        if (!vibrationGroupDue(g, v, last, effectSend.engineKeepAlive) || !isOnline())
            continue;
        std::copy(v, v + 4, last);
        EffectVibrationPacket packet;
        packet.set_channel(kVibrationGroups[g].channel);
        for (int i = 0; i < 4; ++i)
            packet.set_value(i, v[i]);
        packet.set_mode(kVibrationGroups[g].mode);
        sendPayload(CmdVibration, EffectVibrationPacket::PayloadLength, packet.payload());
        if (g == GroupEngine)
            effectSend.engineKeepAlive = 0.0f;
    }
}

void clscurve::OnFocPosWrite()
{
    const int channel = currentChannel;
    const ForceCurveEdit e = forceCurveFromEditor(ui->pos2->value(), ui->pos3->value(), ui->pos5->value(),
                                                  ui->foc2->value(), ui->foc3->value(), ui->foc5->value(),
                                                  channel == 0 ? positionFactor : curveConstant);
    // Point 4 mirrors point 3.
    ui->pos4->setValue(e.keys[4]);
    ui->foc4->setValue(e.values[4]);
    applyCurveAxes(channel);
    QCustomPlot *plot = ui->customplot1;
    plot->graph(0)->setData(e.keys, e.values, false);
    plot->replot(QCustomPlot::rpRefreshHint);

    forceCurveRecord.clear();
    forceCurveRecord.setF32(ForceCurvePacket::OffSlope1, e.slope1);
    forceCurveRecord.setF32(ForceCurvePacket::OffSlope2, e.slope2);
    forceCurveRecord.setF32(ForceCurvePacket::OffSlope3, e.slope3);
    forceCurveRecord.setF32(ForceCurvePacket::OffPoint1, e.point1);
    forceCurveRecord.setF32(ForceCurvePacket::OffPoint2, e.point2);
    sendFocPos();

    // Keep the new curve, read it back, and show the channel again.
    on_pushButton_saveConfigure_clicked();
    doConfigureUpdate_chan(1);
    if (selectedChannel == 0)
        on_pushButton_channel_0_clicked();
    else if (selectedChannel == 1)
        on_pushButton_channel_1_clicked();
}

void clscurve::sendFocPos()
{
    if (!checkOnline())
        return;
    forceCurveRecord.set_channel(uint8_t(currentChannel));
    uint8_t payload[DeviceFrame::MaxPayload] = {};
    std::copy(forceCurveRecord.payload(), forceCurveRecord.payload() + ForceCurvePacket::PayloadLength, payload);
    sendAcknowledged(CmdForceCurve, ForceCurvePacket::PayloadLength, payload);
    ReciveData();
}

void clscurve::on_btn_disable_clicked()
{
    if (!checkOnline())
        return;
    if (effectsRunning == 1) {
        stopEffectTimer();
        effectsRunning = 0;
        showEffectsRunning(false);

        // The next Test sends every group that is not 0. The landing group
        // keeps its last value, so one touchdown still gives one bump.
        for (float *last : effectSend.lastForce)
            std::fill(last, last + 3, 0.0f);
        for (int g : {GroupEngine, GroupRumble, GroupShaker})
            std::fill(effectSend.lastVibration[g], effectSend.lastVibration[g] + 4, 0.0f);
        effectMemory.filterFirstRun = 1;

        sendForceRelease();
        // The closing records leave each channel in mode 2, where the device
        // trims at the speed they carry: 0.0, as no trim tick follows Disable.
        switchTables.speed[0] = switchTables.speed[1] = 0.0f;
        for (int state : {4, 2}) {
            for (int ch = 0; ch < 2; ++ch) {
                send0x31(0.0f, ch, state, 0.0f, 1);
                delayMs(10);
            }
        }
        // Taken after the waits, in which a trim tick may still have sent.
        trimMemoryFromSpeeds();
    }
    effectSend.forceSwitch = 0;
    effectSend.vibrationSwitch = 0;
    on_pushButton_Disconnect_Fsim_clicked();
}

void clscurve::on_pushButton_yoke_coupled_disable_clicked()
{
    // Its trim ticks carry the mode's end to the device while the trim runs.
    // Where the trim timer is stopped (Close Port, a lost link, boot-mode
    // entry) nothing commands the trim any more, and a tick would send steps
    // after the release.
    const bool trimRunning = trimTimer.isActive();
    if (coupledMode == 1 && trimRunning)
        slots_timeOuttxTrimTimer();
    coupledMode = 0;
    if (!xpData->active()) {
        if (trimRunning)
            slots_timeOuttxTrimTimer();
        stopTrimTimerIfActive();
    }
    // The ticks just run may have sent a speed that no later tick will correct.
    if (!trimTimer.isActive())
        releaseTrimSpeeds();
    setModeButtons(ui->pushButton_yoke_coupled_enable, ui->pushButton_yoke_coupled_disable, false);
}
