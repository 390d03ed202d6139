// Device status and identity on the main window: temperature, the system,
// pitch and roll fault lamps with their one-time warning boxes, and the first
// rows of the parameter tree from the system record.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "devicestatus.h"
#include "remap.h"
#include "setconf.h"
#include "widgetupdates.h"

#include <QAbstractItemModel>
#include <QDebug>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTime>
#include <cstring>

// One latch per fault for the whole run.
static FaultLatches faultLatches;

bool clscurve::applyStatusDecision(const StatusDecision &d, QLabel *lamp, QLabel *text)
{
    switch (d.lamp) {
    case LampColour::Red: setStyleIfChanged(lamp, lampRed); break;
    case LampColour::Green: setStyleIfChanged(lamp, lampGreen); break;
    case LampColour::Yellow: setStyleIfChanged(lamp, lampYellow); break;
    case LampColour::Unchanged: return false;   // unknown state: nothing changes
    }
    setTextIfChanged(text, d.text);
    return true;
}

void clscurve::runFaultSteps(const StatusDecision &d)
{
    if (d.stopStatusPoll && txInforTimer.isActive())
        stopInfoTimer();
    // The latch is set before the box opens: the box runs an event loop in
    // which the same fault may be reported again.
    if (!faultLatches.latch(d.latch))
        return;
    QMessageBox::warning(this, "WARNING", d.text, QMessageBox::Ok);
    qDebug() << d.text << QTime::currentTime().toString("hh:mm:ss");
}

void clscurve::showDeviceStatus(int channel)
{
    if (channel < 0 || channel > 1)
        return;
    // A copy: the boxes below run event loops in which a newer report of
    // this channel may overwrite the stored one.
    uint8_t status[10];
    std::memcpy(status, channelStatus[channel], sizeof status);

    setTextIfChanged(ui->lineEdit_Temperature, QString::asprintf("%.2f", double(status[6])));

    if (channel == 0) {
        const StatusDecision sys = systemStateDecision(status[7]);
        if (applyStatusDecision(sys, ui->label_faultLed_3, ui->label_faultState_3)) {
            if (sys.noFault) {
                ui->ExitBoot->setEnabled(false);
                faultLatches.clearSystem();
            } else {
                if (sys.bootMode) {
                    if (setConf)
                        setConf->setButtonsEnabled();
                    ui->ExitBoot->setEnabled(true);
                }
                runFaultSteps(sys);
            }
        }
        const StatusDecision pitch = axisStateDecision(0, status[8]);
        if (applyStatusDecision(pitch, ui->label_faultLed, ui->label_faultState)) {
            if (pitch.noFault)
                faultLatches.clearAxis(0);
            else
                runFaultSteps(pitch);
        }
    } else {
        const StatusDecision roll = axisStateDecision(1, status[8]);
        if (applyStatusDecision(roll, ui->label_faultLed_2, ui->label_faultState_2)) {
            if (roll.noFault)
                faultLatches.clearAxis(1);
            else
                runFaultSteps(roll);
        }
    }
}

void clscurve::onUARTget_sys_config(UART_get_sys_config_t *record)
{
    if (!record)
        return;
    // The record may be the reply image itself; copy before anything else.
    sysRecord = *record;

    // The texts are made even without a tree to show them in: making the
    // build code's text also sets the device type that the remap window and
    // About Hardware depend on.
    const QString values[4] = {
        versionToString(sysRecord.Hardware_version()),
        versionToString(sysRecord.Device_version()),
        buildCodeToString(sysRecord.Serial_number()),
        QString::number(sysRecord.u8(17)),
    };
    QAbstractItemModel *model = treeModel;
    if (!model)
        return;
    const QModelIndex top = model->index(0, 0);
    if (!top.isValid())
        return;
    for (int row = 0; row < 4; ++row)
        model->setData(model->index(row, 1, top), values[row], Qt::EditRole);
}

QString clscurve::versionToString(uint32_t word)
{
    return versionWordToText(word);
}

QString clscurve::buildCodeToString(uint32_t word)
{
    deviceType = deviceKindFromBuildWord(word);
    if (remapWindow)
        remapWindow->deviceKind = deviceType;
    return buildWordToText(word);
}
