// Main window: reading replies after each send, cutting them from the receive
// buffer one per tick, checking and dispatching them by command byte, the
// acknowledged sends, and the serial-port slots.
#include <QDebug>
#include <QMessageBox>
#include <QTextDocument>
#include <QTime>
#include <cstring>

#include "clscurve.h"
#include "remap.h"
#include "setconf.h"
#include "setini.h"
#include "deviceframe.h"
#include "rxbuffer.h"
#include "serialcomm.h"
#include "ui_clscurve.h"

namespace {
// The debug pane gets a paragraph on every poll tick that finds bytes; keep
// only the latest ones so a session of hours stays bounded in memory.
constexpr int kDebugHistoryBlocks = 500;

QString nowText()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
}

// Copies a handler's fixed span from a cut frame (stream form of n + 7 bytes).
// A reply long enough supplies the whole span; a shorter one supplies only its
// header and payload, and the rest of the image is zero.
void copySpan(uint8_t *dst, int span, const QByteArray &cut, int n)
{
    std::memset(dst, 0, size_t(span));
    const int have = (n + 7 >= span) ? span : qMin(span, n + 5);
    std::memcpy(dst, cut.constData(), size_t(qMin(have, cut.size())));
}
}

QByteArray clscurve::appendCrc16(QByteArray &data)
{
    const uint16_t crc = Serial::crc16Modbus(data);
    QByteArray two;
    two.append(char(crc & 0xFF));
    two.append(char(crc >> 8));
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
        stopDeviceTimers();
        ui->label_deviceConState->setText(QStringLiteral("Device Offline"));
        ui->label_deviceLed->setStyleSheet(lampRed);
        ui->label_faultLed_3->setStyleSheet(lampRed);
        ui->label_faultState_3->setText(QStringLiteral("Communication Lost"));
        ui->label_faultLed->setStyleSheet(lampRed);
        ui->label_faultState->setText(QStringLiteral("Pitch Fault"));
        ui->label_faultLed_2->setStyleSheet(lampRed);
        ui->label_faultState_2->setText(QStringLiteral("Roll Fault"));
        QMessageBox::warning(this, QStringLiteral("WARNING"), QStringLiteral("Connection Lost"), QMessageBox::Ok);
        qDebug() << QStringLiteral("Lose Connection") << nowText();
    }
    if (!bytes.isEmpty())
        deviceRxBuffer.append(bytes);
}

void clscurve::dealWithSerialData()
{
    if (deviceRxBuffer.isEmpty())
        return;
    const QByteArray buf = deviceRxBuffer;

    QTextDocument *doc = ui->textEdit_Debug->document();
    if (doc->maximumBlockCount() != kDebugHistoryBlocks)
        doc->setMaximumBlockCount(kDebugHistoryBlocks);
    ui->textEdit_Debug->append(QString::fromLatin1(buf.toHex()));

    if (buf.size() < 5)
        return;
    const int n = uint8_t(buf[4]);
    if (buf.size() <= n + 6)
        return;   // the frame's last byte has not arrived yet

    deviceRxBuffer = buf.mid(n + 7);

    receivedCrc = uint16_t(uint8_t(buf[n + 5]) | (uint8_t(buf[n + 6]) << 8));
    QByteArray body = buf.left(n + 5);
    const QByteArray crc = appendCrc16(body);
    const uint16_t computed = uint16_t(uint8_t(crc[0]) | (uint8_t(crc[1]) << 8));
    if (computed != receivedCrc) {
        qDebug("CRC ERR");
        qDebug("dataLength %d", n);
        qDebug("cRC16_data 0x%x", unsigned(receivedCrc));
        qDebug("cRC16 0x%x", unsigned(uint8_t(buf[n + 5])));
        qDebug("cRC16 0x%x", unsigned(uint8_t(buf[n + 6])));
        qDebug("sss 0x%x", unsigned(computed));
        qDebug() << "后收到：" << buf.toHex();
        qDebug() << "后收到字节数：" << buf.size();
        return;
    }
    dispatchReply(buf.left(n + 7));
    serial->clearBuffer();
}

void clscurve::dispatchReply(const QByteArray &cut)
{
    const int n = uint8_t(cut[4]);
    // Header and payload, zero beyond what the reply carried.
    uint8_t f[64] = {};
    std::memcpy(f, cut.constData(), size_t(qMin(n + 5, 64)));
    const uint8_t cmd = f[3];
    const uint8_t p0 = f[5];

    switch (cmd) {
    case CmdDeviceInfo:
        copySpan(sysReplyImage.data, UART_get_sys_config_t::size, cut, n);
        if (sysReplyImage.Channels_number() == 2 && deviceAnsweredFlag == 0) {
            deviceAnsweredFlag = 1;
            deviceId = f[2];
            ui->label_deviceLed->setStyleSheet(lampGreen);
            ui->label_deviceConState->setText(QStringLiteral("Device Connected"));
            if (searchDeviceTimer.isActive())
                stopSearchDeviceTimer();
            doConfigureUpdate_chan(1);
        }
        emit sendUARTget_sys_config(&sysReplyImage);
        break;
    case CmdWriteSysConfig:
    case CmdSaveFlash:
    case CmdWriteChanConfig: {
        copySpan(cmd == CmdWriteChanConfig ? resultChanWriteImage : resultSaveImage, 8, cut, n);
        if (p0 == 1)
            QMessageBox::information(this, QStringLiteral("Success"), QStringLiteral("Profile Saved"));
        else
            QMessageBox::information(this, QStringLiteral("Fail"), QStringLiteral("Profile Save Failed"));
        break;
    }
    case CmdReadChanConfig:
        if (p0 <= 1) {
            copySpan(chanReplyImage[p0].data, UART_get_chan_config_t::size, cut, n);
            emit sendUARTget_config_config(p0, &chanReplyImage[p0]);
        }
        break;
    case CmdReadUserChanConfig:
        if (p0 <= 1) {
            UART_get_chan_config_t &img = userChanReplyImage[p0];
            copySpan(img.data, UART_get_chan_config_t::size, cut, n);
            if (ini)
                (p0 == 0 ? ini->pitchChannelImage : ini->rollChannelImage) = img;
            if (setConf)
                setConf->chanConfig[p0].copyFrom(img);
            // The remap writes go to channel 0's record, so its conflict
            // checks compare with channel 0's buttons only.
            if (remapWindow && p0 == 0) {
                remapWindow->masterButton = img.remapByte(0);
                remapWindow->trimUpButton = img.remapByte(1);
                remapWindow->trimDownButton = img.remapByte(2);
            }
            defaultSpeed[p0] = img.HW_default_speed();
            emit sendUARTget_config_value(p0, &img);
        }
        break;
    case CmdFactoryReset:
        copySpan(resultFactoryImage, 8, cut, n);
        if (p0 == 1) {
            QMessageBox::information(this, QStringLiteral("Success"), QStringLiteral("Factory Reset Successful"));
            on_pushButton_closePort_clicked();
        } else {
            QMessageBox::information(this, QStringLiteral("Fail"), QStringLiteral("Factory Reset Failed"));
        }
        break;
    case CmdBootMode:
        copySpan(resultBootImage, 8, cut, n);
        if (p0 == 0) {
            firmwareState = 0;
            firmwareBlockCount = 0;
            QMessageBox::critical(this, QStringLiteral("ERROR"), QStringLiteral("UPgrade Failed"));
            if (firmwareTimer.isActive())
                stopFirmwareTimer();
            startTxTimer();
            startInfoTimer();
            on_pushButton_closePort_clicked();
        }
        break;
    case CmdLiveData:
        if (p0 <= 1) {
            for (int i = 0; i < 3; ++i) {
                float v;
                std::memcpy(&v, f + 6 + 4 * i, 4);   // little-endian, as the host
                liveData[p0][i] = v;
            }
            plotLivePoint();
        }
        break;
    case CmdChannelStatus:
        if (p0 <= 1) {
            copySpan(channelStatus[p0], 10, cut, n);
            showDeviceStatus(p0);
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
    const uint32_t w = uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16)
                       | (uint32_t(bytes[3]) << 24);
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}

// ---------------------------------------------------------------------------
// Serial port slots. No port is opened in this program; the list of ports is
// the only part a user can reach.

void clscurve::on_pushButton_searchPort_clicked()
{
    if (baseSerial->isOpen())
        return;
    ui->comboBox_port->clear();
    baseSerial->fillPortCombo(ui->comboBox_port);
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
}

void clscurve::slots_rxDisplayTxt()
{
    if (!serialRxPending)
        return;
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
        const QString hex = QString::fromLatin1(serialBurst.toHex(' ').toUpper());
        if (settingShownFlag == 1)
            ui->textEdit_Debug->append(hex);
        if (serialTextStream)
            *serialTextStream << hex;
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
}

QByteArray clscurve::hexStringToBytes(const QString &text)
{
    if (text.size() % 2 != 0)
        qDebug() << "string fail!";
    QByteArray out;
    for (int i = 0; i + 1 < text.size(); i += 2) {
        bool ok = false;
        const uint v = text.mid(i, 2).toUInt(&ok, 16);
        out.append(char(ok ? v : 0));
    }
    return out;
}
