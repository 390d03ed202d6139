// Main window: reading replies after each send, cutting them from the receive
// buffer one per tick, checking and dispatching them by command byte, the
// acknowledged sends, and the serial-port slots.
#include <QAbstractItemView>
#include <QDebug>
#include <QMessageBox>
#include <cstring>

#include "clscurve.h"
#include "debugpane.h"
#include "remap.h"
#include "setconf.h"
#include "setini.h"
#include "byteorder.h"
#include "deviceframe.h"
#include "devicereply.h"
#include "rxbuffer.h"
#include "serialcomm.h"
#include "ui_clscurve.h"

QByteArray clscurve::appendCrc16(QByteArray &data)
{
    QByteArray two(2, Qt::Uninitialized);
    writeU16LE(reinterpret_cast<uint8_t *>(two.data()), crc16Modbus(data));
    data.append(two);
    return two;
}

void clscurve::ReciveData(int delaytime)
{
    Q_UNUSED(delaytime);
    const QByteArray bytes = readMainFrameBytes(3);
    if (linkMode == 1 && errorCount > 20) {
        // More than twenty reads in a row failed: the device is gone.
        errorCount = 0;
        linkMode = 0;
        emit linkLost();
    }
    appendLinkReply(bytes);
    if (!deviceRxBuffer.isEmpty())
        replyPollTimer.resume();
}

void clscurve::dealWithSerialData()
{
    if (deviceRxBuffer.isEmpty()) {
        // Nothing to cut until a read appends bytes, which resumes the ticks.
        replyPollTimer.holdTicks();
        return;
    }
    const QByteArray buf = deviceRxBuffer;
    debugPane->append(buf, DebugPane::Compact);

    const StreamCut cut = cutStreamFrame(buf, linkCheckedFront());
    if (cut.status == StreamCut::Incomplete)
        return;
    dropRxFront(cut.consumed);
    if (deviceRxBuffer.isEmpty())
        replyPollTimer.holdTicks();   // the last frame waiting: no empty tick needed to notice
    receivedCrc = cut.receivedCrc;
    if (cut.status == StreamCut::BadCrc) {
        qDebug("CRC ERR");
        qDebug("dataLength %d", cut.consumed - 7);
        qDebug("cRC16_data 0x%x", unsigned(receivedCrc));
        qDebug("cRC16 0x%x", unsigned(receivedCrc & 0xFF));
        qDebug("cRC16 0x%x", unsigned(receivedCrc >> 8));
        qDebug("sss 0x%x", unsigned(cut.computedCrc));
        qDebug() << "后收到：" << buf.toHex();
        qDebug() << "后收到字节数：" << buf.size();
        return;
    }
    dispatchReply(decodeReply(cut.frame));
    serial->clearBuffer();
}

void clscurve::dispatchReply(const DeviceReply &r)
{
    switch (r.command) {
    case CmdDeviceInfo:
        sysReplyImage.assign(r.image, r.imageSize);
        if (sysReplyImage.Channels_number() == 2 && deviceAnsweredFlag == 0) {
            deviceAnsweredFlag = 1;
            deviceId = r.deviceId;
            emit deviceAnswered();
        }
        emit sendUARTget_sys_config(&sysReplyImage);
        break;
    case CmdWriteSysConfig:
    case CmdSaveFlash:
    case CmdWriteChanConfig:
        std::memcpy(r.command == CmdWriteChanConfig ? resultChanWriteImage : resultSaveImage, r.image,
                    sizeof resultSaveImage);
        if (r.p0 == 1)
            QMessageBox::information(this, QStringLiteral("Success"), QStringLiteral("Profile Saved"));
        else
            QMessageBox::information(this, QStringLiteral("Fail"), QStringLiteral("Profile Save Failed"));
        break;
    case CmdReadChanConfig:
        if (r.forChannel()) {
            chanReplyImage[r.p0].assign(r.image, r.imageSize);
            emit sendUARTget_config_config(r.p0, &chanReplyImage[r.p0]);
        }
        break;
    case CmdReadUserChanConfig:
        if (r.forChannel()) {
            UART_get_chan_config_t &img = userChanReplyImage[r.p0];
            img.assign(r.image, r.imageSize);
            if (ini)
                (r.p0 == 0 ? ini->pitchChannelImage : ini->rollChannelImage) = img;
            if (setConf)
                setConf->chanConfig[r.p0].copyFrom(img);
            if (remapWindow) {
                remapWindow->masterButton = img.remapByte(0);
                remapWindow->trimUpButton = img.remapByte(1);
                remapWindow->trimDownButton = img.remapByte(2);
            }
            defaultSpeed[r.p0] = img.HW_default_speed();
            emit sendUARTget_config_value(r.p0, &img);
        }
        break;
    case CmdFactoryReset:
        std::memcpy(resultFactoryImage, r.image, sizeof resultFactoryImage);
        if (r.p0 == 1) {
            QMessageBox::information(this, QStringLiteral("Success"), QStringLiteral("Factory Reset Successful"));
            emit closePortRequested();
        } else {
            QMessageBox::information(this, QStringLiteral("Fail"), QStringLiteral("Factory Reset Failed"));
        }
        break;
    case CmdBootMode:
        std::memcpy(resultBootImage, r.image, sizeof resultBootImage);
        if (r.p0 == 0) {
            firmwareState = 0;
            firmwareBlockCount = 0;
            QMessageBox::critical(this, QStringLiteral("ERROR"), QStringLiteral("UPgrade Failed"));
            stopFirmwareTimerIfActive();
            startTxTimer();
            startInfoTimer();
            emit closePortRequested();
        }
        break;
    case CmdLiveData:
        if (r.forChannel()) {
            for (int i = 0; i < 3; ++i)
                liveData[r.p0][i] = r.values[i];
            plotLivePoint();
        }
        break;
    case CmdChannelStatus:
        if (r.forChannel()) {
            std::memcpy(channelStatus[r.p0], r.image, sizeof channelStatus[r.p0]);
            showDeviceStatus(r.p0);
        }
        break;
    default:
        break;   // other replies serve only as acknowledgements
    }
}

void clscurve::jiaoyan(uint8_t *payload)
{
    frameAcked = 0;
    std::memset(txShadow, 0, sizeof txShadow);
    std::memset(rxShadow, 0, sizeof rxShadow);
    const uint32_t readsAtStart = mainReportsRead;
    buildUsbFrame(payload);
    // Other senders rebuild txFrame/txShadow during the waits below: match
    // the reply against this frame's own sequence number and command.
    const uint8_t mySequence = txFrame[DeviceFrame::OffSequence];
    const uint8_t myCommand = txFrame[DeviceFrame::OffCommand];

    delayMs(3);
    ReciveData(0);
    int polls = 0;
    while (!(mainReportsRead != readsAtStart && rxShadow[DeviceFrame::OffSequence] == mySequence)) {
        frameAcked = 0;
        ReciveData(0);
        delayMs(1);
        if (++polls >= 20) {
            std::memset(rxShadow, 0, sizeof rxShadow);
            return;
        }
    }
    if (rxShadow[DeviceFrame::OffCommand] == myCommand)
        frameAcked = 1;
    std::memset(rxShadow, 0, sizeof rxShadow);
}

void clscurve::jiaoyanchongfa(uint8_t *payload)
{
    // The header as the caller set it; a nested sender may overwrite txFrame
    // while an attempt waits, so every retry restores it.
    const uint8_t header[4] = {txFrame[0], txFrame[2], txFrame[3], txFrame[4]};
    jiaoyan(payload);
    for (int retry = 0; retry < 3 && frameAcked == 0; ++retry) {
        txFrame[0] = header[0];
        txFrame[2] = header[1];
        txFrame[3] = header[2];
        txFrame[4] = header[3];
        jiaoyan(payload);
    }
}

QByteArray clscurve::floatToBytesBE(float value)
{
    uint32_t w;
    std::memcpy(&w, &value, 4);
    QByteArray out(4, Qt::Uninitialized);
    for (int i = 0; i < 4; ++i)
        out[i] = char(w >> (24 - 8 * i));
    return out;
}

float clscurve::bytesToFloatLE(const uint8_t *bytes)
{
    return readF32LE(bytes);
}

// ---------------------------------------------------------------------------
// Serial port slots. No port is opened in this program; the list of ports is
// the only part a user can reach.

void clscurve::on_pushButton_searchPort_clicked()
{
    if (baseSerial->isOpen())
        return;
    ui->comboBox_port->clear();
    const QStringList ports = BaseSerialComm::listPorts();
    if (ports.isEmpty()) {
        QMessageBox::information(nullptr, QStringLiteral("No Serial Device"), QStringLiteral("No serial devices found."));
        return;
    }
    ui->comboBox_port->addItems(ports);
    ui->comboBox_port->view()->setFixedWidth(
        BaseSerialComm::portListWidth(ports, ui->comboBox_port->font().pointSize()));
}

void clscurve::initSerialPort()
{
    baseSerial->setBaudRate(115200, QSerialPort::AllDirections);
    baseSerial->setDataBits(QSerialPort::Data8);
    baseSerial->setParity(QSerialPort::NoParity);
    baseSerial->setStopBits(QSerialPort::OneStop);
    baseSerial->setDataTerminalReady(false);
    baseSerial->setRequestToSend(false);
    connect(baseSerial, &QSerialPort::readyRead, this, &clscurve::slots_serialRxCallback, Qt::UniqueConnection);
}

void clscurve::slots_serialRxCallback()
{
    serialRxPending = true;
    serialLastRx = QTime::currentTime();
    serialDisplayTimer.resume();
}

void clscurve::slots_rxDisplayTxt()
{
    if (!serialRxPending) {
        serialDisplayTimer.holdTicks();   // until the port announces bytes
        return;
    }
    disconnect(baseSerial, &QSerialPort::readyRead, this, &clscurve::slots_serialRxCallback);
    QByteArray bytes;
    baseSerial->readAllInto(bytes);
    if (!bytes.isEmpty()) {
        serialBurst.append(bytes);
        serialBurstLength += bytes.size();
        if (serialBurstLength > serialReadBufferSize) {
            serialBurst.clear();
            serialBurstLength = 0;
        }
        return;   // the burst goes on; wait for a quiet tick
    }
    if (!serialBurst.isEmpty()) {
        deviceRxBuffer = serialBurst;
        replyPollTimer.resume();
        if (settingShownFlag == 1)
            debugPane->append(serialBurst, DebugPane::SpacedUpper);
        if (serialTextStream)
            *serialTextStream << QString::fromLatin1(serialBurst.toHex(' ').toUpper());
    }
    // A quiet tick ends the burst (an empty one too, so the port is listened to again).
    serialBurst.clear();
    serialBurstLength = 0;
    serialRxPending = false;
    connect(baseSerial, &QSerialPort::readyRead, this, &clscurve::slots_serialRxCallback, Qt::UniqueConnection);
}

void clscurve::readSerialData(QByteArray data)
{
    deviceRxBuffer.append(data);
    replyPollTimer.resume();
}

QByteArray clscurve::hexStringToBytes(const QString &text)
{
    if (text.size() % 2 != 0)
        qDebug() << "string fail!";
    QStringList pairs;
    for (int i = 0; i + 1 < text.size(); i += 2)
        pairs << text.mid(i, 2);
    return BaseSerialComm::hexTokensToBytes(pairs, nullptr, true);
}
