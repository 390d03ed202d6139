#pragma once
// The host end of the device transport over USB HID (hidapi): find and open
// the device, write one 65-byte output report per command, read one 64-byte
// input report with a time-out, check its CRC and count failed reads.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <hidapi.h>

#include "deviceframe.h"

namespace HidIds {
constexpr unsigned short MainVendor = 0x0483;
constexpr unsigned short MainProduct = 0x572C;
constexpr unsigned short SecondVendor = 0x3138;
constexpr unsigned short SecondProduct = 0x3134;
}

// Process-wide link state, shared by every link record.
constexpr int HidSlotCount = 10;
extern hid_device *mainDevice;                     // the main device (null when closed)
extern hid_device *handleTable[HidSlotCount];      // opened interfaces; slot 0 also the second device
extern QString productNames[HidSlotCount];
extern uint8_t mainOutReport[DeviceFrame::ReportSize];
extern uint8_t secondOutReport[DeviceFrame::ReportSize];
extern uint8_t mainInBuffer[DeviceFrame::Size];
extern uint8_t secondInBuffer[DeviceFrame::Size];
// Reports that arrived from the main device (any CRC); lets a waiting sender
// tell "a report was read" from "the shadow is still cleared".
extern uint32_t mainReportsRead;

// Waits ms milliseconds in a local event loop: timers, painting and user slots
// keep running meanwhile. 0 returns after one pass of the event loop.
void delayMs(uint16_t ms);

// The link record. Every owner sets errorCount and linkMode when it creates one.
struct USB_HID {
    int32_t errorCount = 0;   // consecutive failed reads (counted while linkMode is 1)
    int32_t linkMode = 1;     // 1: built frames are written; 0: built only (after link loss)
    uint8_t txFrame[DeviceFrame::Size] = {};
    uint8_t txShadow[DeviceFrame::Size] = {};
    uint8_t txFrameAux[DeviceFrame::Size] = {};
    uint8_t rxFrame[DeviceFrame::Size] = {};
    uint8_t rxShadow[DeviceFrame::Size] = {};
    uint8_t rxFrameThread[DeviceFrame::Size] = {};
    uint8_t rxFrameAux[DeviceFrame::Size] = {};

    // Read results.
    enum : int { ReadGood = 1, ReadTimeout = 0, ReadBadCrc = 170, ReadFailed = -1 };

    bool openMainHid();
    bool openG1000Hid();
    // Closes the main device and slot 0 when they are open, and forgets them.
    void closeHid();
    int sendMainReport();
    // Completes txFrame (sequence, payload, zero fill, txShadow, CRC) and writes
    // it when linkMode is 1. The caller has set bytes 0, 2, 3 and 4. True when
    // the report went out (written, and the write did not fail).
    bool buildUsbFrame(const uint8_t *payload);
    int buildAndSendSecondFrame(const uint8_t *payload, int slot);
    int readMainFrame(int timeoutMs);
    QByteArray readMainFrameBytes(int timeoutMs);
    int readSecondFrame(int timeoutMs, int slot);
    int readUsbgetFrame(int timeoutMs);
    QByteArray readUsbgetFrameBytes(int timeoutMs);
    void hidReadMain(hid_device *handle);
    void hidWriteMain(hid_device *handle);
    void dumpFirstFrame();
};
