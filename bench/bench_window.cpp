// Figures of the main window: construction time, CPU share of the idle window
// (only the 10 ms serial display timer runs), the cost of the Effect.ini
// operations and of building the parameter tree. Run in an empty directory:
//   bench_window [idle seconds]
#include "clscurve.h"
#include "ui_clscurve.h"

#include "setini.h"
#include "treemodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    QFile::remove(QStringLiteral("Effect.ini"));
    QElapsedTimer t;
    t.start();
    auto *w = new clscurve();
    const double constructMs = double(t.nsecsElapsed()) / 1e6;
    w->show();
    QCoreApplication::processEvents();

    // Idle: let the event loop run with the window shown.
    const double cpu0 = cpuSeconds();
    t.restart();
    QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double wall = double(t.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpu0;

    // Effect.ini operations.
    setini ini;
    const int rounds = 200;
    t.restart();
    for (int i = 0; i < rounds; ++i)
        ini.saveUserProfile(QString::number(1 + i % 10));
    const double saveMs = double(t.nsecsElapsed()) / 1e6 / rounds;
    t.restart();
    for (int i = 0; i < rounds; ++i)
        ini.loadUserProfile(QString::number(1 + i % 10));
    const double loadMs = double(t.nsecsElapsed()) / 1e6 / rounds;
    t.restart();
    for (int i = 0; i < rounds; ++i)
        w->uiChange();
    const double uiChangeMs = double(t.nsecsElapsed()) / 1e6 / rounds;

    // Parameter tree from the shipped text.
    const QString text = readTreeProfileText(qEnvironmentVariable("KORVEL_SOURCE_DIR")
                                             + QStringLiteral("/config/SimConnect/tree_profile.txt"));
    t.restart();
    for (int i = 0; i < rounds; ++i)
        TreeModel model(treeHeaders("clscurve"), text);
    const double treeMs = double(t.nsecsElapsed()) / 1e6 / rounds;

    std::printf("window construction: %.1f ms\n", constructMs);
    std::printf("idle window: %.2f %% of one core over %.1f s (%.3f ms CPU per second)\n", 100.0 * cpu / wall, wall,
                1000.0 * cpu / wall);
    std::printf("saveUserProfile: %.3f ms, loadUserProfile: %.3f ms, uiChange: %.3f ms\n", saveMs, loadMs,
                uiChangeMs);
    std::printf("tree model from the shipped file: %.3f ms\n", treeMs);
    delete w;
    return 0;
}
