#include "usb_hid.h"

#include "byteorder.h"

#include <QDebug>
#include <QEventLoop>
#include <QTimer>
#include <cstring>

hid_device *mainDevice = nullptr;
hid_device *handleTable[HidSlotCount] = {};
QString productNames[HidSlotCount];
uint8_t mainOutReport[DeviceFrame::ReportSize] = {};
uint8_t secondOutReport[DeviceFrame::ReportSize] = {};
uint8_t mainInBuffer[DeviceFrame::Size] = {};
uint8_t secondInBuffer[DeviceFrame::Size] = {};
uint32_t mainReportsRead = 0;

namespace {
QString hexSpaced(const uint8_t *p, int n)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(p), n).toHex(' '));
}

// One report read into inBuffer (a short one zero-filled) and copied to frame
// when its CRC holds; otherwise frame is cleared.
int readCheckedFrame(hid_device *dev, uint8_t *inBuffer, uint8_t *frame, int timeoutMs, int badCrcResult)
{
    const int n = dev ? hid_read_timeout(dev, inBuffer, DeviceFrame::Size, timeoutMs) : 0;
    if (n == 0) {
        std::memset(frame, 0, DeviceFrame::Size);
        return USB_HID::ReadTimeout;
    }
    if (n < 0) {
        std::memset(frame, 0, DeviceFrame::Size);
        return USB_HID::ReadFailed;
    }
    if (n < DeviceFrame::Size)
        std::memset(inBuffer + n, 0, size_t(DeviceFrame::Size - n));
    std::memcpy(frame, inBuffer, DeviceFrame::Size);
    if (frameCrcOk(frame))
        return USB_HID::ReadGood;
    qDebug() << "USBRecive校验失败!";
    std::memset(frame, 0, DeviceFrame::Size);
    return badCrcResult;
}
} // namespace

void delayMs(uint16_t ms)
{
    QEventLoop loop;
    QTimer::singleShot(int(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

bool USB_HID::openMainHid()
{
    hid_device_info *list = hid_enumerate(HidIds::MainVendor, HidIds::MainProduct);
    if (!list) {
        qDebug() << "no hid ";
        return false;
    }
    bool opened = false;
    int slot = 0;
    for (hid_device_info *e = list; e; e = e->next) {
        qDebug() << "hid_number " << e->interface_number;
        if (e->interface_number != 1 && e->interface_number != -1)
            continue;
        // Only ten interfaces fit the table; further ones are not opened.
        if (slot >= HidSlotCount)
            break;
        hid_device *dev = hid_open_path(e->path);
        if (!dev)
            continue;
        // Several matching interfaces: the last one opened becomes the main
        // device; an earlier main handle is not leaked.
        if (mainDevice && mainDevice != dev)
            hid_close(mainDevice);
        mainDevice = dev;
        qDebug() << "hid interface_number " << e->interface_number;
        if (handleTable[slot])
            hid_close(handleTable[slot]);
        handleTable[slot] = hid_open_path(e->path);
        productNames[slot] = e->product_string ? QString::fromWCharArray(e->product_string) : QString();
        ++slot;
        qDebug() << "接口号" << e->interface_number;
        opened = true;
    }
    hid_free_enumeration(list);
    if (opened)
        hid_set_nonblocking(mainDevice, 0);
    return opened;
}

bool USB_HID::openG1000Hid()
{
    hid_device_info *list = hid_enumerate(HidIds::SecondVendor, HidIds::SecondProduct);
    if (!list)
        return false;
    bool opened = false;
    for (hid_device_info *e = list; e; e = e->next) {
        if (e->interface_number != 1)
            continue;
        hid_device *dev = hid_open_path(e->path);
        if (!dev)
            continue;
        // Slot 0 held the main device's second handle: close it before it is replaced.
        if (handleTable[0] && handleTable[0] != dev)
            hid_close(handleTable[0]);
        handleTable[0] = dev;
        productNames[0] = e->product_string ? QString::fromWCharArray(e->product_string) : QString();
        qDebug() << "G1000 port: " << e->interface_number;
        opened = true;
    }
    hid_free_enumeration(list);
    if (opened)
        hid_set_nonblocking(handleTable[0], 0);
    return opened;
}

void USB_HID::closeHid()
{
    // Forget each handle once closed, so a second close (a factory reset's
    // reply closes the port while its sender still waits) is harmless.
    if (mainDevice) {
        hid_close(mainDevice);
        mainDevice = nullptr;
    }
    if (handleTable[0]) {
        hid_close(handleTable[0]);
        handleTable[0] = nullptr;
    }
}

int USB_HID::sendMainReport()
{
    if (!mainDevice)
        return -1;
    mainOutReport[0] = DeviceFrame::ReportId;
    std::memcpy(mainOutReport + 1, txFrame, DeviceFrame::Size);
    return hid_write(mainDevice, mainOutReport, DeviceFrame::ReportSize);
}

bool USB_HID::buildUsbFrame(const uint8_t *payload)
{
    if (txFrame[DeviceFrame::OffLength] > DeviceFrame::MaxPayload)
        txFrame[DeviceFrame::OffLength] = DeviceFrame::MaxPayload;
    txFrame[DeviceFrame::OffSequence] = takeFrameSequence();
    placeFramePayload(txFrame, payload);
    std::memcpy(txShadow, txFrame, DeviceFrame::Size);
    sealFrame(txFrame);
    return linkMode == 1 && sendMainReport() > 0;
}

int USB_HID::buildAndSendSecondFrame(const uint8_t *payload, int slot)
{
    if (txFrameAux[DeviceFrame::OffLength] > DeviceFrame::MaxPayload)
        txFrameAux[DeviceFrame::OffLength] = DeviceFrame::MaxPayload;
    txFrameAux[DeviceFrame::OffSequence] = takeFrameSequence();
    placeFramePayload(txFrameAux, payload);
    sealFrame(txFrameAux);
    if (slot < 0 || slot >= HidSlotCount || !handleTable[slot])
        return -1;
    secondOutReport[0] = DeviceFrame::ReportId;
    std::memcpy(secondOutReport + 1, txFrameAux, DeviceFrame::Size);
    return hid_write(handleTable[slot], secondOutReport, DeviceFrame::ReportSize);
}

int USB_HID::readMainFrame(int timeoutMs)
{
    // A closed device delivers nothing; that is no read error.
    const int n = mainDevice ? hid_read_timeout(mainDevice, mainInBuffer, DeviceFrame::Size, timeoutMs) : 0;
    if (n == 0) {
        std::memset(rxFrame, 0, sizeof rxFrame);
        errorCount = 0;
        return ReadTimeout;
    }
    if (n < 0) {
        if (linkMode == 1)
            ++errorCount;
        std::memset(rxFrame, 0, sizeof rxFrame);
        return ReadFailed;
    }
    if (linkMode == 1)
        errorCount = 0;
    ++mainReportsRead;
    // A short report leaves the rest of the frame zero rather than stale.
    if (n < DeviceFrame::Size)
        std::memset(mainInBuffer + n, 0, size_t(DeviceFrame::Size - n));
    std::memcpy(rxFrame, mainInBuffer, DeviceFrame::Size);
    std::memcpy(rxShadow, mainInBuffer, DeviceFrame::Size);
    if (frameCrcOk(rxFrame))
        return ReadGood;
    qDebug() << "USBRecive fail!";
    std::memset(rxFrame, 0, sizeof rxFrame);
    return ReadBadCrc;
}

QByteArray USB_HID::readMainFrameBytes(int timeoutMs)
{
    if (readMainFrame(timeoutMs) != ReadGood)
        return QByteArray();
    // A length byte above 57 cannot be valid: frameStreamForm drops it.
    QByteArray out = frameStreamForm(rxFrame);
    std::memset(rxFrame, 0, sizeof rxFrame);
    return out;
}

int USB_HID::readSecondFrame(int timeoutMs, int slot)
{
    hid_device *dev = (slot >= 0 && slot < HidSlotCount) ? handleTable[slot] : nullptr;
    return readCheckedFrame(dev, secondInBuffer, rxFrameAux, timeoutMs, ReadBadCrc);
}

int USB_HID::readUsbgetFrame(int timeoutMs)
{
    // A bad CRC counts as a time-out for this reader.
    return readCheckedFrame(mainDevice, mainInBuffer, rxFrameThread, timeoutMs, ReadTimeout);
}

QByteArray USB_HID::readUsbgetFrameBytes(int timeoutMs)
{
    QByteArray out;
    if (readUsbgetFrame(timeoutMs) == ReadGood)
        out = frameStreamForm(rxFrameThread);
    qDebug() << "第二线程接收函数接收到的字符" << out.toHex();
    return out;
}

void USB_HID::hidReadMain(hid_device *handle)
{
    if (handle)
        hid_read(handle, mainInBuffer, DeviceFrame::Size);
}

void USB_HID::hidWriteMain(hid_device *handle)
{
    if (handle)
        hid_write(handle, mainOutReport, DeviceFrame::ReportSize);
}

void USB_HID::dumpFirstFrame()
{
    if (!mainDevice)
        return;
    hid_read(mainDevice, rxFrame, DeviceFrame::Size);
    qDebug() << "first date" << hexSpaced(rxFrame, DeviceFrame::Size)
             << readU16LE(rxFrame + DeviceFrame::CrcOffset) << rxFrame[DeviceFrame::OffLength];
}
