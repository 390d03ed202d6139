// Cost of keeping the emulated device online at the default rates: the
// process's CPU share and the frames written per second over a run (60 s by
// default, or the seconds given as the first argument), then a breakdown of
// the three periodic costs: the live-point redraw, one live-data poll tick
// and one idle tick of the 1 ms reply poll.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "hid_standin.h"
#include "rxbuffer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

static double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

static void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename F>
static double microsPerCall(int n, F f)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i)
        f();
    return double(t.nsecsElapsed()) / 1000.0 / n;
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    // No box may stop the run.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
    closer.start(50);

    HidStandin::reset();
    clscurve w;
    w.show();
    waitMs(1000);

    // Baselines: the window alone, then the port open with no device (the
    // 1 ms reply poll alone).
    const int baseSeconds = std::max(1, seconds / 6);
    QElapsedTimer t;
    double c0 = cpuSeconds();
    t.start();
    waitMs(baseSeconds * 1000);
    std::printf("port closed %.1f s: %.2f %% of one core\n", t.elapsed() / 1000.0,
                100.0 * (cpuSeconds() - c0) * 1000.0 / t.elapsed());
    HidStandin::emulator().behaviour().present = false;
    w.form()->pushButton_openPort->click();
    c0 = cpuSeconds();
    t.restart();
    waitMs(baseSeconds * 1000);
    std::printf("reply poll only %.1f s: %.2f %% of one core\n", t.elapsed() / 1000.0,
                100.0 * (cpuSeconds() - c0) * 1000.0 / t.elapsed());
    w.on_pushButton_closePort_clicked();
    HidStandin::emulator().behaviour().present = true;

    w.form()->pushButton_openPort->click();
    t.restart();
    while (!w.isOnline() && t.elapsed() < 3000)
        waitMs(10);
    if (!w.isOnline()) {
        std::printf("device did not come online\n");
        return 1;
    }
    waitMs(500);   // the online read flow settles

    DeviceEmulator &emu = HidStandin::emulator();
    emu.clearCounters();
    const double cpu0 = cpuSeconds();
    t.restart();
    waitMs(seconds * 1000);
    const double wall = double(t.elapsed()) / 1000.0;
    const double cpu = cpuSeconds() - cpu0;
    const int frames = emu.framesWrittenTotal();
    std::printf("online %.1f s: CPU %.2f s = %.2f %% of one core\n", wall, cpu, 100.0 * cpu / wall);
    std::printf("frames written %d = %.1f/s (0x30: %.1f/s, 0x43: %.1f/s)\n", frames, frames / wall,
                emu.framesWritten(0x30) / wall, emu.framesWritten(0x43) / wall);

    // The same with the window hidden: what painting costs.
    w.hide();
    c0 = cpuSeconds();
    t.restart();
    waitMs(baseSeconds * 1000);
    std::printf("online, window hidden %.1f s: %.2f %% of one core\n", t.elapsed() / 1000.0,
                100.0 * (cpuSeconds() - c0) * 1000.0 / t.elapsed());
    w.show();
    waitMs(500);   // the first paint of the shown window is not a live point's

    // Breakdown, with the periodic timers stopped so each part runs alone.
    w.stopTxTimer();
    w.stopInfoTimer();
    w.stopReplyPollTimer();
    // A live point a frame apart from the last, with the repaint it causes,
    // in CPU time (the plot shows at most one point per screen refresh).
    w.liveData[0][0] = 1.5f;
    const int points = 60;
    const double cpuBefore = cpuSeconds();
    for (int i = 0; i < points; ++i) {
        w.liveData[0][0] = -w.liveData[0][0];
        w.plotLivePoint();
        waitMs(20);
    }
    const double plotUs = (cpuSeconds() - cpuBefore) * 1e6 / points;
    const double tickUs = microsPerCall(400, [&] {
        w.slots_timeOutTx();
        while (!deviceRxBuffer.isEmpty())
            w.dealWithSerialData();
    });
    const double idleUs = microsPerCall(20000, [&] { w.dealWithSerialData(); });
    std::printf("live point shown %.1f us CPU (x20/s = %.2f %%)\n", plotUs, plotUs * 20 / 1e4);
    std::printf("live-data tick incl. its two replies dispatched and drawn %.1f us (x20/s = %.2f %%)\n", tickUs,
                tickUs * 20 / 1e4);
    std::printf("idle reply-poll tick %.2f us (x1000/s = %.2f %%)\n", idleUs, idleUs * 1000 / 1e4);
    return 0;
}
