// The main window's simulator slots: choice of simulator, Connect and
// Disconnect, the 16 ms simulator poll, the yoke speeds, and the simulator
// half of the live displays.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "cxpdata.h"
#include "setini.h"
#include "simstate.h"

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
    if (simConnected) {
        ui->label_flightSimLed->setStyleSheet(lampGreen);
        ui->label_flightSimConState->setText(QStringLiteral("Flight Sim Connected"));
    } else {
        ui->label_flightSimLed->setStyleSheet(lampYellow);
        ui->label_flightSimConState->setText(QStringLiteral("Flight Sim Not Connected"));
    }
    ui->lineEdit_airplane_speed->setText(QString::asprintf("%.2f", currentGroundSpeed));
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
        ui->LCD->display(fixed(s->engineRpm, 0));
        ui->LCD_AoA->display(fixed(aoa, 0));
        ui->LCD_rpm->display(fixed(rpm, 0));
        ui->LCD_gs->display(fixed(s->groundSpeed, 0));
        ui->LCD_airspeed->display(fixed(s->indicatedAirspeed, 0));

        ui->l1->setText(fixed(s->indicatedAirspeed, 5));
        ui->l2->setText(fixed(s->angleOfAttack, 5));
        ui->l3->setText(fixed(s->engineRpm, 5));
        ui->l4->setText(fixed(s->heightAboveGround, 5));
        ui->l5->setText(fixed(s->stallWarning, 5));
        ui->l6->setText(fixed(s->surfaceType, 5));
        ui->l7->setText(fixed(s->magneticHeading, 5));
        ui->l8->setText(fixed(s->windSpeed, 5));
        ui->l9->setText(fixed(s->windDirection, 5));
        ui->l10->setText(fixed(s->groundSpeed, 5));
        ui->l11->setText(fixed(s->autopilotMode, 5));
        ui->l12->setText(fixed(s->pitchRatio, 5));
        ui->l13->setText(fixed(s->rollRatio, 5));
        ui->l14->setText(fixed(s->verticalSpeed, 5));
        ui->l16->setText(fixed(s->elevatorTrim, 5));
        ui->l17->setText(fixed(s->aileronTrim, 5));
        if (s == &bridgeSimState)
            ui->SoftHeight->setText(fixed(s->heightAboveGround, 2));
    }
    updateDeviceLiveDisplays();
}
