// The main window's simulator slots: choice of simulator, Connect and
// Disconnect, the 16 ms simulator poll, the yoke speeds, and the simulator
// half of the live displays.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "cxpdata.h"
#include "pagedisplay.h"
#include "setini.h"
#include "simstate.h"
#include "widgetupdates.h"

#include <QMessageBox>
#include <cmath>

namespace {

QString fixed(double v, int decimals) { return QString::number(v, 'f', decimals); }

} // namespace

void clscurve::on_devicesComboBox_FSimSW_currentIndexChanged(const QString &text)
{
    if (text == QLatin1String("X-Plane")) {
        simulatorChoice = 1;
        ui->setting->hide();
    } else if (text == QLatin1String("MSFS")) {
        simulatorChoice = 2;
    } else if (text == QLatin1String("Prepar3D")) {
        simulatorChoice = 3;
        // The group holds the Prepar3D ground height.
        ui->setting->show();
    }
    xpData->setSimMode(static_cast<unsigned int>(simulatorChoice));

    int stored = 0;
    if (text == QLatin1String("MSFS"))
        stored = 1;
    else if (text == QLatin1String("Prepar3D"))
        stored = 2;
    ini->setSimulator(stored);
}

void clscurve::on_pushButton_connect_Fsim_clicked()
{
    if (!isOnline()) {
        QMessageBox::warning(this, QStringLiteral("WARNING"), QStringLiteral("Device Offline"), QMessageBox::Ok);
        return;
    }
    ui->pushButton_Disconnect_Fsim->setEnabled(true);
    ui->devicesComboBox_FSimSW->setEnabled(false);
    ui->pushButton_connect_Fsim->setEnabled(false);
    startSimPollTimer();
    if (coupledMode != 1)
        startTrimTimer();
    xpData->setActive(1);
}

void clscurve::on_pushButton_Disconnect_Fsim_clicked()
{
    ui->pushButton_Disconnect_Fsim->setEnabled(false);
    ui->pushButton_connect_Fsim->setEnabled(true);
    ui->devicesComboBox_FSimSW->setEnabled(true);
    ui->label_flightSimLed->setStyleSheet(lampYellow);
    ui->label_flightSimConState->setText(QStringLiteral("FlightSim Not Connected"));
    stopSimPollTimerIfActive();
    if (trimTimer.isActive() && coupledMode != 1)
        stopTrimTimer();
    xpData->setActive(0);
}

void clscurve::slots_timeOutxplane()
{
    xpData->publishSimState();
    // The X-Plane record in every mode.
    currentGroundSpeed = static_cast<float>(xpSimState.groundSpeed);
    simConnected = xpData->isSimConnected();
    // Every 16 ms: only what changes is applied.
    setStyleIfChanged(ui->label_flightSimLed, simConnected ? lampGreen : lampYellow);
    setTextIfChanged(ui->label_flightSimConState, simConnected ? QStringLiteral("Flight Sim Connected")
                                                               : QStringLiteral("Flight Sim Not Connected"));
    setTextIfChanged(ui->lineEdit_airplane_speed, fixed(currentGroundSpeed, 2));
    updateLiveDisplays();
}

void clscurve::on_pushButton_yoke_phy_change_clicked()
{
    // Text that is no number gives 0.
    yokeSpeedMiddle = ui->lineEdit_speed_at_middle->text().toFloat();
    yokeSpeedAeroStart = ui->lineEdit_speed_aeroforce_start->text().toFloat();
}

void clscurve::on_pushButton_yoke_HWTrim_change_clicked()
{
    yokeSpeedHwTrim = ui->lineEdit_speed_HW_trim->text().toFloat();
}

void clscurve::updateLiveDisplays()
{
    const SimState *s = nullptr;
    if (simulatorChoice == 1)
        s = &xpSimState;
    else if (simulatorChoice == 2 || simulatorChoice == 3)
        s = &bridgeSimState;

    if (s) {
        double aoa = s->angleOfAttack;
        double rpm = s->engineRpm;
        // Some aircraft carry their own angle of attack and engine speed in the
        // extra values; value 43 near 10.9728 marks them.
        if (s == &bridgeSimState && std::fabs(s->extraValues[0] - 10.9728) <= 0.001) {
            aoa = s->extraValues[5];
            rpm = s->extraValues[6];
        }
        // Number displays lay out nothing and repaint only when seen: they are
        // written at once, when their text changes.
        displayIfChanged(ui->LCD, lcdShown[0], fixed(s->engineRpm, 0));
        displayIfChanged(ui->LCD_AoA, lcdShown[1], fixed(aoa, 0));
        displayIfChanged(ui->LCD_rpm, lcdShown[2], fixed(rpm, 0));
        displayIfChanged(ui->LCD_gs, lcdShown[3], fixed(s->groundSpeed, 0));
        displayIfChanged(ui->LCD_airspeed, lcdShown[4], fixed(s->indicatedAirspeed, 0));

        parameterSim = *s;
        parameterSimSeen = true;
        if (s == &bridgeSimState) {
            groundHeight = s->heightAboveGround;
            groundHeightSeen = true;
            simulatorPage->refresh();
        }
    }
    updateDeviceLiveDisplays();
}

void clscurve::writeParameterTable()
{
    if (parameterSimSeen) {
        const SimState *s = &parameterSim;
        setTextIfChanged(ui->l1, fixed(s->indicatedAirspeed, 5));
        setTextIfChanged(ui->l2, fixed(s->angleOfAttack, 5));
        setTextIfChanged(ui->l3, fixed(s->engineRpm, 5));
        setTextIfChanged(ui->l4, fixed(s->heightAboveGround, 5));
        setTextIfChanged(ui->l5, fixed(s->stallWarning, 5));
        setTextIfChanged(ui->l6, fixed(s->surfaceType, 5));
        setTextIfChanged(ui->l7, fixed(s->magneticHeading, 5));
        setTextIfChanged(ui->l8, fixed(s->windSpeed, 5));
        setTextIfChanged(ui->l9, fixed(s->windDirection, 5));
        setTextIfChanged(ui->l10, fixed(s->groundSpeed, 5));
        setTextIfChanged(ui->l11, fixed(s->autopilotMode, 5));
        setTextIfChanged(ui->l12, fixed(s->pitchRatio, 5));
        setTextIfChanged(ui->l13, fixed(s->rollRatio, 5));
        setTextIfChanged(ui->l14, fixed(s->verticalSpeed, 5));
        setTextIfChanged(ui->l16, fixed(s->elevatorTrim, 5));
        setTextIfChanged(ui->l17, fixed(s->aileronTrim, 5));
    }
    QLineEdit *const edits[2][3] = {{ui->l21, ui->l22, ui->l23}, {ui->l24, ui->l25, ui->l26}};
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 3; ++i)
            setTextIfChanged(edits[ch][i], fixed(double(parameterDevice[ch][i]), 5));
}

void clscurve::writeGroundHeight()
{
    if (groundHeightSeen)
        setTextIfChanged(ui->SoftHeight, fixed(groundHeight, 2));
}
