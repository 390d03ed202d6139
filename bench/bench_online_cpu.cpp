// The program as a user runs it, on the emulated device with a pilot's hand on
// the yoke, held in one state for bench/run-online-cpu.sh to measure from the
// outside (/proc/PID/stat):
//   bench_online_cpu closed    window shown, port closed
//   bench_online_cpu polling   port opened with no device: the reply poll alone
//   bench_online_cpu online    port open, device online, default rates, a
//                              hand moving the yoke
//   bench_online_cpu effects   online, X-Plane connected (the stand-in must run)
//                              and the effects switched on with Test
// It prints "ready" once the state has been reached and then runs its event
// loop until it is ended (or after the seconds given as the second argument).
// With KORVEL_BENCH_EVENTS=1 in the environment it then prints, per widget
// and timer, how many paint, repaint-pass, layout and timer events it handled
// after "ready", the pixels painted and the CPU time spent in them.
// It reaches the window only by the names of its widgets, so the same source
// builds against older trees for before/after comparisons.
#include "clscurve.h"

#include "hid_standin.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMap>
#include <QMessageBox>
#include <QPaintEvent>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Counts and times the events that make up the program's steady work.
class EventTally : public QObject
{
public:
    void print() const
    {
        for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it)
            std::printf("%8d events %10lld px %9.1f ms  %s\n", it->count, it->pixels, double(it->ns) / 1e6,
                        qPrintable(it.key()));
    }

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        const char *kind = nullptr;
        switch (e->type()) {
        case QEvent::Paint: kind = "paint"; break;
        case QEvent::UpdateRequest: kind = "repaint pass"; break;
        case QEvent::LayoutRequest: kind = "layout"; break;
        case QEvent::Timer: kind = "timer"; break;
        default: return false;
        }
        Row &row = m_rows[QStringLiteral("%1 %2 %3").arg(QLatin1String(kind),
                                                         QLatin1String(o->metaObject()->className()),
                                                         o->objectName())];
        ++row.count;
        if (e->type() == QEvent::Paint)
            for (const QRect &r : static_cast<QPaintEvent *>(e)->region())
                row.pixels += qint64(r.width()) * r.height();
        // Handled here, timed in CPU time of this thread, instead of by the
        // normal delivery.
        const qint64 t0 = threadCpuNs();
        o->event(e);
        row.ns += threadCpuNs() - t0;
        return true;
    }

private:
    struct Row {
        int count = 0;
        qint64 pixels = 0;
        qint64 ns = 0;
    };
    QMap<QString, Row> m_rows;
};

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool click(clscurve &w, const char *name)
{
    auto *b = w.findChild<QAbstractButton *>(QString::fromLatin1(name));
    if (!b) {
        std::fprintf(stderr, "no button %s\n", name);
        return false;
    }
    b->click();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const char *mode = argc > 1 ? argv[1] : "online";
    const int maxSeconds = argc > 2 ? std::max(5, atoi(argv[2])) : 600;
    const auto is = [mode](const char *m) { return std::strcmp(mode, m) == 0; };
    if (!is("closed") && !is("polling") && !is("online") && !is("effects")) {
        std::fprintf(stderr, "usage: %s closed|polling|online|effects [max seconds]\n", argv[0]);
        return 2;
    }
    // The program's own log lines are not what is measured here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    // A box would mean the state was not reached: say so, and close it.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            auto *mb = qobject_cast<QMessageBox *>(box);
            std::fprintf(stderr, "box: %s\n", mb ? qPrintable(mb->text()) : "(dialog)");
            box->close();
        }
    });
    closer.start(1000);
    QTimer::singleShot(maxSeconds * 1000, &app, &QCoreApplication::quit);

    HidStandin::reset();
    HidStandin::emulator().behaviour().pilotHand = true;
    clscurve w;
    w.show();
    waitMs(500);

    if (is("polling")) {
        HidStandin::emulator().behaviour().present = false;
        QTimer::singleShot(0, [] {   // the "Device Offline" box Open Port shows
            if (QWidget *box = QApplication::activeModalWidget())
                box->close();
        });
        click(w, "pushButton_openPort");
    } else if (!is("closed")) {
        click(w, "pushButton_openPort");
        QElapsedTimer t;
        t.start();
        while (!w.isOnline() && t.elapsed() < 5000)
            waitMs(10);
        if (!w.isOnline()) {
            std::fprintf(stderr, "device did not come online\n");
            return 1;
        }
        waitMs(500);   // the read flow that follows the device coming online
    }
    if (is("effects")) {
        // The factory settings choose MSFS; the stand-in is X-Plane.
        if (auto *sim = w.findChild<QComboBox *>(QStringLiteral("devicesComboBox_FSimSW")))
            sim->setCurrentText(QStringLiteral("X-Plane"));
        if (!click(w, "pushButton_connect_Fsim"))
            return 1;
        auto *simState = w.findChild<QLabel *>(QStringLiteral("label_flightSimConState"));
        QElapsedTimer t;
        t.start();
        while (simState && simState->text() != QStringLiteral("Flight Sim Connected") && t.elapsed() < 5000)
            waitMs(50);
        if (!simState || simState->text() != QStringLiteral("Flight Sim Connected")) {
            std::fprintf(stderr, "the simulator did not connect: %s\n", simState ? qPrintable(simState->text()) : "?");
            return 1;
        }
        if (!click(w, "btn_test"))
            return 1;
        DeviceEmulator &emu = HidStandin::emulator();
        emu.clearCounters();
        waitMs(1000);
        // On the standard error: what the effects sent in their first second.
        std::fprintf(stderr, "effect frames in 1 s: 0x32 %d, 0x42 %d, 0x31 %d\n", emu.framesWritten(0x32),
                     emu.framesWritten(0x42), emu.framesWritten(0x31));
    }
    EventTally tally;
    const bool tallyEvents = qEnvironmentVariableIntValue("KORVEL_BENCH_EVENTS") == 1;
    if (tallyEvents)
        app.installEventFilter(&tally);
    std::printf("ready\n");
    std::fflush(stdout);
    const int code = app.exec();
    if (tallyEvents)
        tally.print();
    return code;
}
