// Device connection: Open Port with its handshake, the device search, the
// live-data and status polls, the send rate, the channel buttons, Close Port
// and the serial error handler, plus the read flow that follows the device
// coming online.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "rxbuffer.h"
#include "serialcomm.h"
#include "usbget.h"

#include <QDebug>
#include <QMessageBox>
#include <QTime>
#include <cstring>

int32_t clscurve::selectedChannel = 0;

void clscurve::setTxHeader(uint8_t id, uint8_t command, uint8_t length)
{
    txFrame[DeviceFrame::OffStart] = DeviceFrame::Start;
    txFrame[DeviceFrame::OffDeviceId] = id;
    txFrame[DeviceFrame::OffCommand] = command;
    txFrame[DeviceFrame::OffLength] = length;
}

bool clscurve::sendDeviceCommand(uint8_t command, uint8_t length, const uint8_t *payload)
{
    setTxHeader(deviceId, command, length);
    return buildUsbFrame(payload);
}

bool clscurve::sendPayload(uint8_t command, uint8_t length, const uint8_t *payload)
{
    const bool sent = sendDeviceCommand(command, length, payload);
    ReciveData();
    return sent;
}

void clscurve::sendAcknowledged(uint8_t command, uint8_t length, uint8_t *payload)
{
    sendDeviceCommand(command, length, payload);
    jiaoyanchongfa(payload);
}

void clscurve::on_pushButton_openPort_clicked()
{
    errorCount = 1;
    linkMode = 1;
    coupledMode = 0;

    ui->comboBox_port->setEnabled(false);
    ui->pushButton_searchPort->setEnabled(false);
    ui->pushButton_openPort->setEnabled(false);
    ui->pushButton_closePort->setEnabled(true);
    ui->updatabar->hide();
    ui->ReadyUpdata->show();
    ui->ReadyUpdata->setEnabled(true);

    portOpenFlag = 1;
    // Whatever the device holds was set before this connection.
    forgetTrimSpeeds();
    // Replies a previous connection left behind (a resend's late answer after
    // a factory reset, say) must not be dispatched into this one.
    deviceRxBuffer.clear();
    std::memset(rxFrame, 0, sizeof rxFrame);
    std::memset(rxShadow, 0, sizeof rxShadow);
    std::memset(txShadow, 0, sizeof txShadow);
    startReplyPollTimer();

    if (!openMainHid()) {
        qDebug() << "111";
        QMessageBox::warning(this, "WARNING", "Device Offline", QMessageBox::Ok);
        ui->pushButton_openPort->setEnabled(true);
        ui->pushButton_closePort->setEnabled(false);
        return;
    }

    startTxTimer();
    startInfoTimer();
    startSearchDeviceTimer();

    // Handshake: four device-information requests. Until the device has
    // answered they carry id 1; once it is online (the reply poll runs during
    // the waits) they carry the device's own id.
    uint8_t payload[DeviceFrame::MaxPayload] = {};
    auto sendInfo = [&]() {
        setTxHeader(deviceAnsweredFlag == 1 ? deviceId : uint8_t(1), CmdDeviceInfo, 0);
        buildUsbFrame(payload);
    };
    // The waits run the event loop: the user may close the port meanwhile,
    // and then the rest of the opening has nothing left to talk to.
    const auto closedMeanwhile = [this]() { return portOpenFlag == 0; };
    sendInfo();
    delayMs(10);
    ReciveData();
    for (int i = 0; i < 3; ++i) {
        if (closedMeanwhile())
            return;
        sendInfo();
        delayMs(5);
        ReciveData();
        delayMs(i < 2 ? 5 : 20);
    }
    if (closedMeanwhile())
        return;

    // The pitch channel's user record, twice.
    for (int i = 0; i < 2; ++i) {
        payload[0] = 0;
        sendPayload(CmdReadUserChanConfig, 1, payload);
    }

    on_pushButton_channel_0_clicked();

    // The second HID device is opened with the main one; nothing talks to it.
    // The channel read above waits too: a port closed meanwhile must not be
    // left holding the second device.
    if (closedMeanwhile())
        return;
    openG1000Hid();
}

void clscurve::onDeviceAnswered()
{
    ui->label_deviceLed->setStyleSheet(lampGreen);
    ui->label_deviceConState->setText(QStringLiteral("Device Connected"));
    stopSearchDeviceTimerIfActive();
    doConfigureUpdate_chan(1);
}

void clscurve::onLinkLost()
{
    // The port stays open and the device answered: the guard passes, while
    // the link mode keeps every frame off the wire until Close and Open Port.
    stopDeviceTimers();
    // The release above could send nothing.
    forgetTrimSpeeds();
    ui->label_deviceConState->setText(QStringLiteral("Device Offline"));
    ui->label_deviceLed->setStyleSheet(lampRed);
    ui->label_faultLed_3->setStyleSheet(lampRed);
    ui->label_faultState_3->setText(QStringLiteral("Communication Lost"));
    ui->label_faultLed->setStyleSheet(lampRed);
    ui->label_faultState->setText(QStringLiteral("Pitch Fault"));
    ui->label_faultLed_2->setStyleSheet(lampRed);
    ui->label_faultState_2->setText(QStringLiteral("Roll Fault"));
    // Lost during the exit release, the window has gone: the log says it.
    if (!releasingAtExit)
        QMessageBox::warning(this, QStringLiteral("WARNING"), QStringLiteral("Connection Lost"), QMessageBox::Ok);
    qDebug() << QStringLiteral("Lose Connection") << QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
}

void clscurve::on_pushButton_closePort_clicked()
{
    // The release steps can open boxes, during which timers and replies may
    // ask for another close (a search giving up, a factory-reset reply):
    // the close in progress does it.
    static bool closing = false;
    if (closing)
        return;
    struct Guard {
        bool &flag;
        explicit Guard(bool &f) : flag(f) { flag = true; }
        ~Guard() { flag = false; }
    } guard(closing);

    // A firmware transfer in progress ends with the port: its tick and its
    // block loop find state 0 and stop.
    stopFirmwareTimerIfActive();
    firmwareState = 0;
    firmwareBlockCount = 0;

    if (portOpenFlag == 0 && !replyPollTimer.isActive()) {
        // Already closed (the search giving up after a manual close): nothing
        // to release, and no second round of release boxes.
        ui->pushButton_closePort->setEnabled(false);
        ui->pushButton_openPort->setEnabled(true);
        return;
    }

    ui->pushButton_closePort->setEnabled(false);

    on_btn_disable_clicked();
    on_pushButton_Disconnect_Fsim_clicked();
    on_pushButton_yoke_phy_disable_clicked();
    on_pushButton_yoke_HWtrim_disable_clicked();
    on_pushButton_yoke_coupled_disable_clicked();

    usbgetRunFlag = 0;
    if (baseSerial && baseSerial->isOpen())
        baseSerial->close();

    portOpenFlag = 0;
    deviceAnsweredFlag = 0;

    ui->comboBox_port->setEnabled(true);
    ui->pushButton_searchPort->setEnabled(true);

    stopTxTimerIfActive();
    stopInfoTimerIfActive();
    stopTrimTimerIfActive();

    ui->label_deviceLed->setStyleSheet(lampYellow);
    ui->label_faultLed->setStyleSheet(lampYellow);
    ui->label_faultLed_2->setStyleSheet(lampYellow);
    ui->label_faultLed_3->setStyleSheet(lampYellow);
    ui->label_deviceConState->setText("Device Offline");

    if (replyPollTimer.isActive())
        stopReplyPollTimer();

    if (secondLink)
        secondLink->closeHid();
    else
        closeHid();
    // The device may go on without the program (or restart): what it holds
    // from here on is not known.
    forgetTrimSpeeds();

    ui->pushButton_openPort->setEnabled(true);
}

void clscurve::slots_timeOutSearchDvTimer()
{
    if (searchTickCount <= 49) {
        ++searchTickCount;
        return;
    }
    searchTickCount = 0;
    // Stopped before Close Port and the box: either may leave a box open,
    // behind which the search would otherwise give up again every 5 s.
    stopSearchDeviceTimerIfActive();
    on_pushButton_closePort_clicked();
    QMessageBox::warning(this, "WARNING", "Device Not Answer", QMessageBox::Ok);
    ++searchTickCount;
}

void clscurve::pollBothChannels(uint8_t command)
{
    uint8_t payload[DeviceFrame::MaxPayload] = {};
    for (uint8_t ch = 0; ch < 2; ++ch) {
        payload[0] = ch;
        sendPayload(command, 1, payload);
    }
}

void clscurve::slots_timeOutTx()
{
    if (!isOnline())
        return;
    pollBothChannels(CmdLiveData);
}

void clscurve::slots_timeOuttxInforTimer()
{
    if (!isOnline())
        return;
    pollBothChannels(CmdChannelStatus);
}

void clscurve::doFre_Peridic(int rate)
{
    if (rate < 1) {
        // 1000 / rate has no meaning here: keep the rate and interval in force.
        qDebug() << "Send rate" << rate << "refused, keeping" << sendRate
                 << QTime::currentTime().toString("hh:mm:ss");
        return;
    }
    sendRate = rate;
    if (txTimer.isActive())
        txTimer.setInterval(txIntervalMs());
}

void clscurve::selectChannel(int n)
{
    selectedChannel = n;
    if (!isOnline()) {
        if (n == 0)
            ui->pushButton_channel_0->setChecked(true);
        else
            ui->pushButton_channel_1->setChecked(false);
        QMessageBox::warning(this, "WARNING", "Device Offline", QMessageBox::Ok);
        return;
    }
    currentChannel = n;
    // Keep the two buttons in step: the pressed one stays checked.
    ui->pushButton_channel_0->setChecked(n == 0);
    ui->pushButton_channel_1->setChecked(n == 1);

    uint8_t payload[DeviceFrame::MaxPayload] = {};
    payload[0] = uint8_t(n);
    sendAcknowledged(CmdReadUserChanConfig, 1, payload);
    ReciveData();
}

void clscurve::on_pushButton_channel_0_clicked()
{
    selectChannel(0);
}

void clscurve::on_pushButton_channel_1_clicked()
{
    selectChannel(1);
}

void clscurve::slots_errorHandler(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::DeviceNotFoundError) {
        QMessageBox::information(this, tr("Device Not Found"),
                                 tr("Check if the device has been selected or connected."));
    } else if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError) {
        QMessageBox::information(this, tr("Failed To Open Device"),
                                 tr("Check if the device is already occupied by other software."));
        on_pushButton_closePort_clicked();
    }
}

void clscurve::doConfigureUpdate_chan(int)
{
    if (!checkOnline())
        return;
    stopTxTimerIfActive();
    stopInfoTimerIfActive();

    uint8_t payload[DeviceFrame::MaxPayload] = {};
    for (uint8_t ch = 0; ch < 2; ++ch) {
        payload[0] = ch;
        sendAcknowledged(CmdReadUserChanConfig, 1, payload);
        ReciveData();
    }
    payload[0] = 0;
    sendAcknowledged(CmdDeviceInfo, 0, payload);
    ReciveData();

    startTxTimer();
    startInfoTimer();
}
