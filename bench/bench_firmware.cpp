// A 64 KiB firmware image sent to the emulated boot loader through the real
// window: the transfer's time against its pacing bound (one block per 5 ms
// wait), and how the window keeps up meanwhile: the longest gap between two
// ticks of a 1 ms probe timer (the reply poll's period; the poll itself
// sleeps while no reply waits) and between two paints of the progress bar
// (asked for every 10 ms). Run it on a real X server to see painting costs.
// Runs the update the number of times given as the first argument (3).
#include "clscurve.h"
#include "ui_clscurve.h"

#include "hid_standin.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Gaps between successive events while a transfer runs.
struct GapWatch {
    QElapsedTimer clock;
    qint64 last = -1;
    qint64 longest = 0;
    int count = 0;
    int over2ms = 0;
    void mark()
    {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0) {
            longest = std::max(longest, now - last);
            over2ms += now - last > 2000000 ? 1 : 0;
        }
        last = now;
        ++count;
    }
    void reset()
    {
        clock.start();
        last = -1;
        longest = 0;
        count = 0;
        over2ms = 0;
    }
};

class PaintWatch : public QObject
{
public:
    GapWatch gaps;
    bool on = false;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (on && e->type() == QEvent::Paint)
            gaps.mark();
        return false;
    }
};
}

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    const std::vector<uint8_t> image = DeviceEmulator::makeFirmwareImage(65536 - 12);
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("bench64k.bin"));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(reinterpret_cast<const char *>(image.data()), qint64(image.size()));
    }

    // The file dialog takes the image; every box is closed.
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        QWidget *m = QApplication::activeModalWidget();
        if (auto *d = qobject_cast<QFileDialog *>(m)) {
            d->selectFile(path);
            static_cast<QDialog *>(d)->done(QDialog::Accepted);   // as accept() would, without its checks
        } else if (m) {
            m->close();
        }
    });
    answerer.start(20);

    HidStandin::reset();
    clscurve w;
    w.show();
    waitMs(500);
    w.form()->pushButton_openPort->click();
    for (int i = 0; i < 300 && !w.isOnline(); ++i)
        waitMs(10);
    if (!w.isOnline()) {
        std::printf("device did not come online\n");
        return 1;
    }
    waitMs(500);

    // The progress bar's page in front, so that its paints happen.
    QProgressBar *bar = w.form()->updatabar;
    for (QWidget *c = bar; c->parentWidget(); c = c->parentWidget())
        if (auto *stack = qobject_cast<QStackedWidget *>(c->parentWidget()))
            stack->setCurrentWidget(c);
    // A repaint asked for every 10 ms (a bar alone repaints only when its
    // percentage changes): the gaps between paints show how soon one happens.
    GapWatch poll;
    PaintWatch paints;
    bar->installEventFilter(&paints);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, bar, QOverload<>::of(&QWidget::update));
    repaint.start(10);
    QElapsedTimer sending;
    qint64 sendNs = 0;
    bool baseline = false;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.start(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        // Timed from the first block on: the tick reads its replies first.
        if (baseline) {
            poll.mark();
        } else if (w.firmwareState == Firmware::Sending && HidStandin::emulator().firmwareBlocks() > 0) {
            if (!sending.isValid()) {
                sending.start();
                poll.reset();
                paints.gaps.reset();
                paints.on = true;
            }
            poll.mark();
        } else if (sending.isValid() && sendNs == 0) {
            sendNs = sending.nsecsElapsed();
            paints.on = false;
        }
    });
    const auto report = [&](const char *what) {
        std::printf("%s: 1 ms probe ticks %d, longest gap %.2f ms, %d gaps above 2 ms; "
                    "paints %d, longest gap %.2f ms\n",
                    what, poll.count, poll.longest / 1e6, poll.over2ms, paints.gaps.count, paints.gaps.longest / 1e6);
    };

    // The same watches over 6 s of the online window without a transfer.
    poll.reset();
    paints.gaps.reset();
    bar->show();
    baseline = paints.on = true;
    waitMs(6000);
    baseline = paints.on = false;
    bar->hide();
    report("online, no transfer, 6 s");

    // The plain event-loop wait the pacing improves on, with the same timers running.
    QElapsedTimer plain;
    double cpu = cpuSeconds();
    plain.start();
    for (int i = 0; i < 200; ++i)
        delayMs(Firmware::BlockPaceMs);
    const double plainMs = plain.nsecsElapsed() / 1e6 / 200;
    const double plainCpu = 100.0 * (cpuSeconds() - cpu) / (plainMs * 200 / 1000);
    cpu = cpuSeconds();
    plain.start();
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer since;
        since.start();
        Firmware::waitSince(since, Firmware::BlockPaceMs);
    }
    const double pacedMs = plain.nsecsElapsed() / 1e6 / 200;
    const double pacedCpu = 100.0 * (cpuSeconds() - cpu) / (pacedMs * 200 / 1000);
    std::printf("a %d ms wait with the device online: plain event-loop wait %.3f ms (%.1f %% of a core), "
                "paced wait %.3f ms (%.1f %%)\n",
                Firmware::BlockPaceMs, plainMs, plainCpu, pacedMs, pacedCpu);

    const int blocks = Firmware::blockCount(qint64(image.size()));
    const double boundS = blocks * Firmware::BlockPaceMs / 1000.0;
    std::printf("image %zu bytes = %d blocks; pacing bound %d x %d ms = %.3f s\n", image.size(), blocks, blocks,
                Firmware::BlockPaceMs, boundS);
    for (int run = 1; run <= runs; ++run) {
        w.on_pushButton_loadFireware_clicked();
        HidStandin::emulator().clearCounters();
        sending.invalidate();
        sendNs = 0;
        const double cpu0 = cpuSeconds();
        w.on_pushButton_startUpdate_clicked();
        QElapsedTimer t;
        t.start();
        while ((w.firmwareState != 0 || w.firmwareTimer.isActive()) && t.elapsed() < 30000)
            waitMs(5);
        const double s = sendNs / 1e9;
        const double runCpu = cpuSeconds() - cpu0;
        const bool ok = HidStandin::emulator().firmwareReceived().size() >= image.size() && w.txTimer.isActive();
        std::printf("run %d: transfer %.3f s = %.1f %% over the bound (%.2f ms per block), whole update %.2f s "
                    "with %.2f s CPU, %s\n",
                    run, s, 100.0 * (s - boundS) / boundS, 1000.0 * s / blocks, t.elapsed() / 1000.0, runCpu,
                    ok ? "update succeeded" : "UPDATE FAILED");
        report("       during the transfer");
        if (paints.gaps.count == 0)
            std::printf("       (no paint event reached the bar in this run: the figure is missing, not zero)\n");
    }
    return 0;
}
