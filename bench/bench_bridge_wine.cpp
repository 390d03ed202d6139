// Runs DrevantMSFS2020Sim.exe under Wine against the in-process stand-in for a
// while (60 s, or the seconds given as argument) and prints: the interval
// between datagrams, the bridge's CPU share, and the age of the values it
// sends (stand-in frame time to datagram arrival).
#include "simconnectserver.h"
#include "winebridge.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

static double cpuSeconds(qint64 pid)
{
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QString s = QString::fromLatin1(f.readAll());
    const QStringList fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

static void report(const char *what, std::vector<double> v)
{
    if (v.empty()) {
        std::printf("%s: no samples\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("%s: n=%zu p50=%.2f ms p99=%.2f ms max=%.2f ms\n", what, v.size(), v[v.size() / 2],
                v[std::min(v.size() - 1, v.size() * 99 / 100)], v.back());
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    QTemporaryDir dir;
    simpeer::SimConnectServer server;
    if (!server.listenTcp(0, 0))
        return 1;
    server.setFrameRate(60);
    server.setStampVariable("PLANE LATITUDE");
    QFile cfg(dir.filePath("SimConnect.cfg"));
    cfg.open(QIODevice::WriteOnly);
    cfg.write(QString("[SimConnect]\r\nProtocol=IPv4\r\nAddress=127.0.0.1\r\nPort=%1\r\n")
                  .arg(server.port4()).toUtf8());
    cfg.close();

    DatagramCollector udp;
    if (!udp.start(8998, 8999))
        return 1;
    WineProgram bridge;
    if (!bridge.start(windowsProgram("DrevantMSFS2020Sim.exe"), dir.path()))
        return 1;
    if (udp.waitFor(0, 20000, [](const Datagram &d) { return d.flag() && d.value(0) > 0; }) < 0) {
        std::printf("no data from the bridge\n");
        return 1;
    }
    const std::size_t mark = udp.size();
    const double cpu0 = cpuSeconds(bridge.pid());
    const auto t0 = SteadyClock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu1 = cpuSeconds(bridge.pid());
    const double wall = std::chrono::duration<double>(SteadyClock::now() - t0).count();
    const auto all = udp.since(mark);

    std::vector<double> gaps, ages;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i > 0)
            gaps.push_back(std::chrono::duration<double, std::milli>(all[i].at - all[i - 1].at).count());
        const auto frame = static_cast<std::uint64_t>(all[i].value(0));
        const auto sent = server.frameTime(frame);
        if (sent.time_since_epoch().count() != 0)
            ages.push_back(std::chrono::duration<double, std::milli>(all[i].at - sent).count());
    }
    std::printf("bridge under Wine for %.1f s: %zu datagrams (%.1f/s), %llu stand-in frames\n", wall,
                all.size(), all.size() / wall, static_cast<unsigned long long>(server.framesSent()));
    report("interval between datagrams", gaps);
    report("age of the values (frame sent -> datagram received)", ages);
    std::printf("bridge CPU: %.2f s of %.1f s = %.2f %% of one core\n", cpu1 - cpu0, wall,
                100.0 * (cpu1 - cpu0) / wall);
    bridge.stop();
    return 0;
}
