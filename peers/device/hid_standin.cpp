// A stand-in for the hidapi C library: the same functions and signatures as
// <hidapi.h>, compiled against that header, answering with the emulated
// device. Tests and the demo link it in place of the real library.
#include <hidapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "hid_standin_detail.h"

struct hid_device_ {
    bool main;          // the force-feedback device (else the second device)
    int iface;
    bool nonblocking;
};

namespace {
constexpr unsigned short MainVendor = 0x0483, MainProduct = 0x572C;
constexpr unsigned short SecondVendor = 0x3138, SecondProduct = 0x3134;

std::mutex g_mutex;
std::set<hid_device *> g_handles;
int g_opened = 0;
int g_badCloses = 0;

DeviceEmulator &emu()
{
    static DeviceEmulator e;
    return e;
}

wchar_t *wdup(const wchar_t *s)
{
    const size_t n = std::wcslen(s) + 1;
    wchar_t *d = static_cast<wchar_t *>(std::malloc(n * sizeof(wchar_t)));
    std::wmemcpy(d, s, n);
    return d;
}

char *sdup(const std::string &s)
{
    char *d = static_cast<char *>(std::malloc(s.size() + 1));
    std::memcpy(d, s.c_str(), s.size() + 1);
    return d;
}

hid_device_info *makeInfo(bool main, int iface)
{
    auto *i = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
    i->path = sdup(std::string(main ? "emu:main:" : "emu:second:") + std::to_string(iface));
    i->vendor_id = main ? MainVendor : SecondVendor;
    i->product_id = main ? MainProduct : SecondProduct;
    i->serial_number = wdup(L"0001");
    i->release_number = 0x0100;
    i->manufacturer_string = wdup(L"Korvel");
    i->product_string = wdup(main ? L"Korvel Force Yoke" : L"Korvel Panel");
    i->interface_number = iface;
    i->bus_type = HID_API_BUS_USB;
    return i;
}

bool valid(hid_device *d)
{
    return d && g_handles.count(d) != 0;
}

bool mainStillOpen()
{
    for (hid_device *h : g_handles)
        if (h->main)
            return true;
    return false;
}
}

namespace HidStandinDetail {
DeviceEmulator &emulator() { return emu(); }
void reset()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    emu().reset();
    g_opened = 0;
    g_badCloses = 0;
}
int openHandles()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return int(g_handles.size());
}
int handlesOpened()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_opened;
}
int badCloses()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_badCloses;
}
}

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void) { return 0; }
int HID_API_EXPORT HID_API_CALL hid_exit(void) { return 0; }

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const DeviceEmulator::Behaviour &b = emu().behaviour();
    hid_device_info *head = nullptr, **tail = &head;
    auto add = [&](bool main, int iface) {
        *tail = makeInfo(main, iface);
        tail = &(*tail)->next;
    };
    const bool wantMain = (vendor_id == 0 || vendor_id == MainVendor) && (product_id == 0 || product_id == MainProduct);
    const bool wantSecond = (vendor_id == 0 || vendor_id == SecondVendor) && (product_id == 0 || product_id == SecondProduct);
    if (wantMain && b.present)
        for (int iface : b.interfaces)
            add(true, iface);
    if (wantSecond && b.secondDevicePresent)
        add(false, 1);
    return head;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info *devs)
{
    while (devs) {
        hid_device_info *next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs);
        devs = next;
    }
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open_path(const char *path)
{
    if (!path)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    const DeviceEmulator::Behaviour &b = emu().behaviour();
    const std::string p(path);
    bool main;
    std::string rest;
    if (p.rfind("emu:main:", 0) == 0) {
        main = true;
        rest = p.substr(9);
    } else if (p.rfind("emu:second:", 0) == 0) {
        main = false;
        rest = p.substr(11);
    } else {
        return nullptr;
    }
    if (main ? !b.present : !b.secondDevicePresent)
        return nullptr;
    auto *d = new hid_device_{main, std::atoi(rest.c_str()), false};
    g_handles.insert(d);
    ++g_opened;
    return d;
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                                 const wchar_t *)
{
    hid_device_info *list = hid_enumerate(vendor_id, product_id);
    hid_device *d = list ? hid_open_path(list->path) : nullptr;
    hid_free_enumeration(list);
    return d;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!valid(dev))
            return -1;
        if (!dev->main)
            return int(length);
    }
    return emu().writeReport(data, length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device *dev, unsigned char *data, size_t length, int milliseconds)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!valid(dev))
            return -1;
        if (!dev->main)
            return 0;
    }
    return emu().readReport(data, length, milliseconds);
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    bool nonblocking;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!valid(dev))
            return -1;
        nonblocking = dev->nonblocking;
    }
    return hid_read_timeout(dev, data, length, nonblocking ? 0 : -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device *dev, int nonblock)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!valid(dev))
        return -1;
    dev->nonblocking = nonblock != 0;
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device *dev, const unsigned char *, size_t length)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return valid(dev) ? int(length) : -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device *, unsigned char *, size_t) { return -1; }
int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device *, unsigned char *, size_t) { return -1; }

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    bool lastMain = false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!valid(dev)) {
            // A close of a handle that is not open (double close, stray pointer).
            ++g_badCloses;
            return;
        }
        g_handles.erase(dev);
        lastMain = dev->main && !mainStillOpen();
        delete dev;
    }
    if (lastMain)
        emu().hostClosed();
}

static int copyString(const wchar_t *s, wchar_t *string, size_t maxlen)
{
    if (!string || maxlen == 0)
        return -1;
    std::wcsncpy(string, s, maxlen);
    string[maxlen - 1] = L'\0';
    return 0;
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device *, wchar_t *string, size_t maxlen)
{
    return copyString(L"Korvel", string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    return copyString(dev && !dev->main ? L"Korvel Panel" : L"Korvel Force Yoke", string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device *, wchar_t *string, size_t maxlen)
{
    return copyString(L"0001", string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device *, int, wchar_t *, size_t) { return -1; }

HID_API_EXPORT const wchar_t *HID_API_CALL hid_error(hid_device *)
{
    return L"emulated device";
}

HID_API_EXPORT const char *HID_API_CALL hid_version_str(void)
{
    return "0.0.0-emulated";
}

} // extern "C"
