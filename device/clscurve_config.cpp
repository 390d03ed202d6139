// Configuration commands of the main window: reading and writing the system
// and channel records, saving to flash, the factory reset, the parameter-table
// edit, the profile dialog's read and write, and the button remap. The replies
// are judged and shown by the reply dispatcher; these slots only send.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "configcommands.h"
#include "deviceprofilecsv.h"
#include "loghandler.h"
#include "remap.h"
#include "setconf.h"

#include <QDebug>
#include <QMessageBox>

void clscurve::doConfigureUpdate(int command)
{
    // Only the port is required: the settings page may ask before the device
    // has answered. A failed open leaves the port flag set without a device
    // handle, and there is nothing to ask then.
    if (portOpenFlag != 1 || !mainDevice) {
        QMessageBox::warning(this, QStringLiteral("WARNING"), QStringLiteral("Device Offline"));
        return;
    }
    stopTxTimerIfActive();
    stopInfoTimerIfActive();
    uint8_t payload[DeviceFrame::MaxPayload] = {};
    if (command == 3) {
        sendPayload(CmdFactoryReset, 0, payload);
    } else {
        // Load and save both re-read the records the settings page shows.
        sendPayload(CmdDeviceInfo, 0, payload);
        delayMs(5);
        payload[0] = 0;
        sendPayload(CmdReadChanConfig, 1, payload);
        delayMs(5);
        payload[0] = 1;
        sendPayload(CmdReadChanConfig, 1, payload);
    }
    startTxTimer();
    startInfoTimer();
}

void clscurve::doConfigWrite_uart_u32(UART_set_sys_config_t *record)
{
    if (!record || !checkOnline())
        return;
    sendPayload(CmdWriteSysConfig, UART_set_sys_config_t::PayloadLength, record->payload());
}

void clscurve::doConfigWrite_uart_chan(uint8_t chan, UART_set_chan_config_t *record)
{
    if (!record || !checkOnline())
        return;
    record->set_channel(chan);
    sendPayload(CmdWriteChanConfig, UART_set_chan_config_t::PayloadLength, record->payload());
}

void clscurve::doConfigWrite_uart_user_chan(uint8_t chan, UART_set_chan_config_t *record)
{
    if (!record || !checkOnline())
        return;
    record->set_channel(chan);
    sendAcknowledged(CmdWriteUserChanConfig, UART_set_chan_config_t::PayloadLength, record->payload());
    ReciveData();
}

void clscurve::on_pushButton_saveConfigure_clicked()
{
    if (!checkOnline())
        return;
    uint8_t payload[DeviceFrame::MaxPayload] = {};
    sendPayload(CmdSaveFlash, 0, payload);
}

void clscurve::on_pushButton_FactoryReset_clicked()
{
    if (!checkOnline())
        return;
    if (QMessageBox::information(this, QStringLiteral("Please Confirm"), QStringLiteral("Confirm Factory Restore?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    // The box ran the event loop: the device may have gone meanwhile.
    if (isOnline()) {
        uint8_t payload[DeviceFrame::MaxPayload] = {};
        sendAcknowledged(CmdFactoryReset, 0, payload);
        ReciveData();
        on_pushButton_closePort_clicked();
    }
    qDebug() << "FactoryReset" << eventTimeText();
}

void clscurve::on_pushButton_loadConfigure_clicked()
{
    doConfigureUpdate_chan(1);
}

void clscurve::on_pushButton_send_value_clicked()
{
    if (treeParentRow == -1)
        return;
    const QString text = ui->lineEdit_send_value->text();
    // Parent row 1 is the pitch group, 2 the roll group. The system group
    // (row 0) has its own record, which the settings page writes: a system
    // row typed here must not land in a channel record.
    const int channel = treeParentRow - 1;
    if (channel == 0 || channel == 1) {
        if (!holdsChannelRecord(chanSetImage[channel])) {
            // Never read: its zeros would replace the device's limits.
            ui->statusbar->setStyleSheet(QStringLiteral("color:red"));
            ui->statusbar->showMessage(channelNotReadText(channel));
            return;
        }
        UART_set_chan_config_t copy = chanSetImage[channel];
        if (setChannelRowFromText(copy, treeRow, text) && treeRow == DefaultSpeedRow)
            defaultSpeed[channel] = copy.HW_default_speed();
        emit send_uart_Config_chan(uint8_t(channel), &copy);
    }
    doConfigureUpdate_chan(1);
}

void clscurve::confGet()
{
    doConfigureUpdate_chan(1);
    for (int i = 0; i < 3; ++i)
        ReciveData();
    setConf->showConfValues();
}

void clscurve::confChange(int)
{
    // One refusal for the whole change, not one per command of it.
    if (!checkOnline())
        return;
    UART_set_chan_config_t roll = setConf->chanConfig[1];
    doConfigWrite_uart_user_chan(1, &roll);
    ReciveData();
    ReciveData();
    UART_set_chan_config_t pitch = setConf->chanConfig[0];
    doConfigWrite_uart_user_chan(0, &pitch);
    on_pushButton_saveConfigure_clicked();
    for (int i = 0; i < 3; ++i)
        ReciveData();
    confGet();
    qDebug() << "ChangeForceConf" << eventTimeText();
}

void clscurve::keyRemap()
{
    if (!checkOnline())
        return;
    remapWindow->setParent(this, Qt::Tool);
    remapWindow->show();
    uint8_t payload[DeviceFrame::MaxPayload] = {};
    sendAcknowledged(CmdReadUserChanConfig, 1, payload);
    ReciveData();
    remapWindow->showKeyPair();
    remapWindow->showMasterKey();
}

void clscurve::writePitchRemap(UART_set_chan_config_t &copy)
{
    emit send_uart_Config_chan(0, &copy);
    on_pushButton_saveConfigure_clicked();
    doConfigureUpdate_chan(1);
    uint8_t payload[DeviceFrame::MaxPayload] = {};
    sendAcknowledged(CmdReadUserChanConfig, 1, payload);
    ReciveData();
}

bool clscurve::pitchRecordRead()
{
    if (holdsChannelRecord(chanSetImage[0]))
        return true;
    QMessageBox::warning(this, QStringLiteral("WARNING"), channelNotReadText(0));
    return false;
}

void clscurve::sendKeyRemap(uint16_t keySet)
{
    if (!checkOnline() || !pitchRecordRead())
        return;
    const QString conflict = keyPairConflict(keySet, remapWindow->masterInUse());
    if (!conflict.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("WARNING"), conflict);
        return;
    }
    UART_set_chan_config_t copy = chanSetImage[0];
    copy.set_remapByte(1, trimUpOf(keySet));
    copy.set_remapByte(2, trimDownOf(keySet));
    writePitchRemap(copy);
    remapWindow->showKeyPair();
}

void clscurve::sendRemap(uint8_t master)
{
    if (!checkOnline() || !pitchRecordRead())
        return;
    const QString conflict = masterKeyConflict(master, remapWindow->trimUpInUse(), remapWindow->trimDownInUse());
    if (!conflict.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("WARNING"), conflict);
        return;
    }
    UART_set_chan_config_t copy = chanSetImage[0];
    copy.set_remapByte(0, master);
    writePitchRemap(copy);
    remapWindow->showMasterKey();
}

void clscurve::on_pushButton_clicked()
{
    qDebug() << "wdadadad";
}

void clscurve::on_pushButton_2_clicked()
{
    // A spare button of the form: pressing it does nothing.
}

void clscurve::on_Ini_rename_clicked()
{
    // The rename button of the form has no action; pressing it does nothing.
}

void clscurve::scanDeviceIds()
{
    if (!checkOnline())
        return;
    uint8_t payload[DeviceFrame::MaxPayload] = {};
    for (int id = 1; id <= 254; ++id) {
        setTxHeader(uint8_t(id), CmdDeviceInfo, 0);
        buildUsbFrame(payload);
        ReciveData();
    }
}
