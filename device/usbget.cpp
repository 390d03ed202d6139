#include "usbget.h"

#include <QDebug>
#include <cstring>

#include "rxbuffer.h"

int usbgetRunFlag = 1;
uint8_t usbgetLastSequence = 0;
int usbgetCount = 1;

USBGET::USBGET(QObject *parent) : QThread(parent)
{
    errorCount = 0;
    linkMode = 1;
}

void USBGET::run()
{
    qDebug() << "这是第二个线程";
    txFrame[0] = DeviceFrame::Start;
    txFrame[2] = 1;
    txFrame[3] = CmdDeviceInfo;
    txFrame[4] = 0;
    for (int i = 0; i < 4; ++i) {
        buildUsbFrame(nullptr);
        if (i < 3)
            delayMs(5);
    }
    while (usbgetRunFlag == 1) {
        const QByteArray bytes = readUsbgetFrameBytes(3);
        if (rxFrameThread[1] == usbgetLastSequence) {
            qDebug() << "第二线程校验失败";
            continue;
        }
        usbgetLastSequence = rxFrameThread[1];
        if (!bytes.isEmpty()) {
            QThread::usleep(100);
            emit transdata(bytes);
            deviceRxBuffer.append(bytes);
            qDebug() << "线程运行中";
            qDebug() << "CNT" << usbgetCount;
            usbgetCount = usbgetCount >= 255 ? 1 : usbgetCount + 1;
        }
    }
    qDebug() << "关闭线程";
}

deviceControls::deviceControls(QObject *parent) : QThread(parent)
{
    active = 0;
    errorCount = 0;
    linkMode = 1;
}

void deviceControls::Analysis(devicePack_t *p)
{
    if (p)
        std::memcpy(&pack, p, sizeof pack);
}

void deviceControls::sendCommand()
{
    txFrameAux[0] = DeviceFrame::Start;
    txFrameAux[2] = 1;
    txFrameAux[3] = CmdSecondDevice;
    txFrameAux[4] = 6;
    buildAndSendSecondFrame(pack.p, 0);
    pack.sendRequest = 0;
}

void deviceControls::sendIfRequested()
{
    if (pack.sendRequest == 1)
        sendCommand();
}

void deviceControls::run()
{
    pack.sendRequest = 0;
    for (;;) {
        if (active == 1) {
            if (pack.sendRequest == 1)
                sendCommand();
            readSecondFrame(3, 0);
        }
        delayMs(1);
    }
}
