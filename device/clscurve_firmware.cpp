// Firmware update of the main window: boot-mode entry, Start, and the 100 ms
// tick that waits for the boot loader, sends the image in numbered blocks and
// waits for the device's verdict.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "loghandler.h"
#include "setconf.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

using namespace Firmware;

void clscurve::on_ReadyUpdata_clicked()
{
    if (QMessageBox::information(this, QStringLiteral("Please Confirm"), QStringLiteral("Please Confirm"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes) {
        // Declined from the profile dialog: give its button back.
        if (sender() == setConf)
            setConf->finishUpdateUi();
        return;
    }
    stopTxTimerIfActive();
    stopInfoTimerIfActive();
    stopTrimTimerIfActive();
    delayMs(1000);
    on_btn_disable_clicked();
    // Whatever trim speed the device may hold is zeroed before it restarts:
    // after the boot command nothing more goes to it.
    releaseTrimSpeeds();
    if (!isOnline()) {
        QMessageBox::warning(this, QStringLiteral("WARNING"), QStringLiteral("Device Offline"));
        setConf->finishUpdateUi();
        return;
    }
    // The device restarts into its boot loader: no answer is read.
    uint8_t payload[DeviceFrame::MaxPayload] = {};
    sendDeviceCommand(CmdBootMode, 0, payload);
    ui->ReadyUpdata->setEnabled(false);
    QMessageBox::information(this, QStringLiteral("Success"), QStringLiteral("Please restart the device!"));
    qDebug() << "Ready TO Update" << eventTimeText();
    on_pushButton_closePort_clicked();
}

void clscurve::on_pushButton_startUpdate_clicked()
{
    if (!checkOnline())
        return;
    // Past 65536 blocks the u16 index wraps and the tail would overwrite the
    // start of the device's image: refuse before anything is sent.
    if (firmwareFile && !imageFits(firmwareFile->size())) {
        // An update under way goes on: the refusal only shows its box. An
        // idle window is set back for another choice.
        if (firmwareState == Idle)
            finishFirmwareUpdate(Outcome::TooLarge);
        else
            showFirmwareOutcome(Outcome::TooLarge);
        return;
    }
    stopDeviceTimers();
    delayMs(100);
    // A Close Port during the wait ends the start here; the port's next open
    // starts the polls again.
    if (!isOnline())
        return;
    ui->pushButton_Disconnect_Fsim->setEnabled(true);
    ui->pushButton_connect_Fsim->setEnabled(true);
    ui->devicesComboBox_FSimSW->setEnabled(true);
    updata_start();
    firmwareState = WaitReady;
    startFirmwareTimer();
    ui->pushButton_startUpdate->setEnabled(false);
    ui->pushButton_loadFireware->setEnabled(true);
    firmwareBlockCount = 0;
}

void clscurve::updata_start()
{
    if (!checkOnline())
        return;
    uint8_t payload[DeviceFrame::MaxPayload] = {};
    sendPayload(CmdBootMode, 0, payload);
}

void clscurve::slots_timeOutUpdateFireware()
{
    ReciveData();
    ReciveData();
    switch (firmwareState) {
    case WaitReady:
        ReciveData();
        dealWithSerialData();
        if (firmwareBlockCount > ReadyTimeoutTicks) {
            finishFirmwareUpdate(Outcome::StartTimeout);
            return;
        }
        ++firmwareBlockCount;
        if (firmwareStatus() == Ready) {
            clearFirmwareStatus();
            firmwareState = Sending;
            firmwareBlockCount = 0;
            ReciveData();
        }
        break;
    case Sending:
        ReciveData();
        dealWithSerialData();
        if (!firmwareFile || !firmwareFile->isOpen()) {
            finishFirmwareUpdate(Outcome::NoFile);
            return;
        }
        // Load Firmware stays enabled during an update: a file chosen after
        // Start is checked again before any of it is sent.
        if (!imageFits(firmwareFile->size())) {
            finishFirmwareUpdate(Outcome::TooLarge);
            return;
        }
        sendFirmwareImage();
        break;
    case WaitResult:
        ReciveData();
        dealWithSerialData();
        if (++firmwareBlockCount >= ResultTimeoutTicks) {
            finishFirmwareUpdate(Outcome::ResultTimeout);
            return;
        }
        ReciveData();
        dealWithSerialData();
        if (firmwareStatus() == Invalid) {
            finishFirmwareUpdate(Outcome::Invalid);
            return;
        }
        ReciveData();
        if (firmwareStatus() == Success) {
            finishFirmwareUpdate(Outcome::Success);
            return;
        }
        ReciveData();
        ReciveData();
        break;
    default:
        break;
    }
}

void clscurve::sendFirmwareImage()
{
    // The whole image from its start, whatever an earlier transfer that was
    // cut short left the file's position at.
    firmwareFile->seek(0);
    const ImageRead read = readImage(*firmwareFile);
    if (!imageFits(read.bytes.size())) {
        finishFirmwareUpdate(Outcome::TooLarge);
        return;
    }
    // Part of an image would be taken by the boot loader as the whole of it.
    if (!read.whole) {
        finishFirmwareUpdate(Outcome::Unreadable);
        return;
    }
    const QByteArray &image = read.bytes;
    const qint64 size = image.size();
    blockIndex = 0;
    uint8_t payload[BlockPayloadLength];
    QElapsedTimer written;
    for (qint64 offset = 0; offset < size; offset += BlockImageBytes) {
        fillBlock(payload, image, blockIndex);
        // Other senders may have used the frame during the last wait: every
        // block sets its own header.
        sendDeviceCommand(CmdBootMode, BlockPayloadLength, payload);
        written.start();
        waitSince(written, BlockPaceMs);
        // The wait ran the event loop: a Close Port, a failure reply or a new
        // Start may have ended this transfer.
        if (firmwareState != Sending || portOpenFlag != 1)
            return;
        ++blockIndex;
        ui->updatabar->setMaximum(int(size));
        ui->updatabar->setValue(int(offset));
        setConf->setUpdateRange(int(size));
        setConf->setUpdateProgress(int(offset));
    }
    ui->updatabar->setValue(int(size));
    showTransferEnded();
    // A file chosen during the transfer replaced the member; rewind what it is now.
    if (firmwareFile)
        firmwareFile->seek(0);
    firmwareState = WaitResult;
}

void clscurve::showFirmwareOutcome(Outcome outcome)
{
    const OutcomeReport r =
        outcomeReport(outcome, firmwareFile ? QFileInfo(firmwareFile->fileName()).fileName() : QString());
    if (r.box) {
        if (r.critical)
            QMessageBox::critical(this, r.title, r.text);
        else
            QMessageBox::information(this, r.title, r.text);
    }
    if (!r.log.isEmpty())
        qDebug() << r.log.toUtf8().constData() << eventTimeText();
}

void clscurve::finishFirmwareUpdate(Outcome outcome)
{
    firmwareState = Idle;
    firmwareBlockCount = 0;
    showFirmwareOutcome(outcome);
    // A Start pressed while the box was open began a new update: leave it be.
    if (firmwareState != Idle)
        return;
    if (outcome == Outcome::TooLarge || outcome == Outcome::Unreadable) {
        // The file cannot be sent: it must be chosen again (another, or the
        // same once it can be read), so both windows' buttons go back as
        // after a transfer.
        showTransferEnded();
        ui->pushButton_startUpdate->setEnabled(false);
        ui->pushButton_loadFireware->setEnabled(true);
    }
    endFirmwareUpdate();
    clearFirmwareStatus();
}

void clscurve::showTransferEnded()
{
    ui->updatabar->hide();
    ui->ReadyUpdata->show();
    ui->ReadyUpdata->setEnabled(true);
    setConf->setUpdateButtons();
}

void clscurve::endFirmwareUpdate()
{
    stopFirmwareTimerIfActive();
    // Started on a closed port the trim tick would raise its offline box
    // every 16 ms; the next Open Port starts the polls again anyway.
    if (portOpenFlag != 1)
        return;
    startTxTimer();
    startInfoTimer();
    startTrimTimer();
}
