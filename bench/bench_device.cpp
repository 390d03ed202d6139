// Figures of the device link's hot paths: allocations on the send path,
// frames built and CRC-checked per second, and the cost of the 1 ms reply
// poll while the receive buffer is empty.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sys/resource.h>

#include "clscurve.h"
#include "hid_standin.h"
#include "rxbuffer.h"
#include "usb_hid.h"

static std::atomic<long> g_allocs{0};

void *operator new(std::size_t n)
{
    ++g_allocs;
    if (void *p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

static double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

static double runLoopCpu(int ms)
{
    const double c0 = cpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return cpuSeconds() - c0;
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    DeviceEmulator &emu = HidStandin::emulator();
    emu.behaviour().silent = true;
    emu.behaviour().recordWrites = false;
    emu.behaviour().readWaits = false;

    USB_HID link;
    link.errorCount = 0;
    link.linkMode = 1;
    link.openMainHid();
    const uint8_t payload[57] = {1};
    link.txFrame[0] = 0xAE;
    link.txFrame[2] = 7;
    link.txFrame[3] = 0x32;
    link.txFrame[4] = 21;
    for (int i = 0; i < 1000; ++i)   // warm-up (first use of per-command counters)
        link.buildUsbFrame(payload);
    const long a0 = g_allocs;
    for (int i = 0; i < 100000; ++i)
        link.buildUsbFrame(payload);
    std::printf("send path (build + write through the stand-in): %ld allocations in 100000 frames\n",
                g_allocs - a0);

    link.linkMode = 0;
    QElapsedTimer t;
    long ok = 0;
    const long frames = 2000000;
    t.start();
    for (long i = 0; i < frames; ++i) {
        link.buildUsbFrame(payload);
        ok += frameCrcOk(link.txFrame) ? 1 : 0;
    }
    const double s = double(t.nsecsElapsed()) / 1e9;
    std::printf("frames built and CRC-checked: %.2f million per second (%ld ok)\n", double(frames) / s / 1e6, ok);
    link.closeHid();

    clscurve w;
    deviceRxBuffer.clear();
    const long calls = 5000000;
    t.restart();
    for (long i = 0; i < calls; ++i)
        w.dealWithSerialData();
    std::printf("empty reply-poll tick, direct call: %.1f ns\n", double(t.nsecsElapsed()) / double(calls));

    const double base = runLoopCpu(3000);
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    long ticks = 0;
    QObject::connect(&poll, &QTimer::timeout, &w, &clscurve::dealWithSerialData);
    QObject::connect(&poll, &QTimer::timeout, [&ticks] { ++ticks; });
    poll.start(1);
    const double with = runLoopCpu(3000);
    poll.stop();
    std::printf("1 ms reply poll with an empty buffer: %ld ticks in 3 s, %.3f %% of a core "
                "(event loop alone %.3f %%, with poll %.3f %%)\n",
                ticks, (with - base) / 3.0 * 100.0, base / 3.0 * 100.0, with / 3.0 * 100.0);
    return 0;
}
