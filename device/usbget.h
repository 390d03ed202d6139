#pragma once
// Reader threads beside the GUI-thread link. They are built but never started
// in this program: all device traffic goes through the GUI thread.
#include <QByteArray>
#include <QThread>
#include <cstdint>

#include "usb_hid.h"

#pragma pack(push, 1)
// Packet for the second HID device (command 0x44).
struct devicePack_t {
    uint8_t sendRequest;   // 1: send the payload at the next loop pass
    uint8_t p[6];
};
#pragma pack(pop)
static_assert(sizeof(devicePack_t) == 7, "packed 7-byte packet");

// Process-wide state of the main-device reader thread.
extern int usbgetRunFlag;          // 1 at start; cleared by Close Port
extern uint8_t usbgetLastSequence;
extern int usbgetCount;

class USBGET : public QThread, public USB_HID
{
    Q_OBJECT
public:
    explicit USBGET(QObject *parent = nullptr);
signals:
    void transdata(QByteArray data);
protected:
    void run() override;
};

class deviceControls : public QThread, public USB_HID
{
    Q_OBJECT
public:
    explicit deviceControls(QObject *parent = nullptr);
    int active = 0;
    devicePack_t pack = {};
    void sendCommand();
    void sendIfRequested();
signals:
    void sendMsg(int);
public slots:
    void Analysis(devicePack_t *p);
protected:
    void run() override;
};
