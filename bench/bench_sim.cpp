// Figures of the simulator reader (not a test):
//  - CPU share of the reader thread while disconnected, while polling the
//    X-Plane stand-in, and while taking a 15 ms bridge stream;
//  - age of the data the GUI sees: from a bridge datagram's sending to the
//    first 16 ms poll whose SimState copy contains it (p50 / p99).
// bench_sim [seconds per phase, default 10] [age run seconds, default 60]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>
#include <vector>

#include "cudpsocket.h"
#include "cxpdata.h"
#include "simstate.h"
#include "xplanestandin.h"

namespace {

// CPU seconds of the thread named name in this process.
double threadCpu(const QString &name)
{
    const long ticks = sysconf(_SC_CLK_TCK);
    for (const QString &tid : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm("/proc/self/task/" + tid + "/comm");
        if (!comm.open(QIODevice::ReadOnly) || QString::fromLatin1(comm.readAll()).trimmed() != name)
            continue;
        QFile stat("/proc/self/task/" + tid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString s = QString::fromLatin1(stat.readAll());
        const QStringList f = s.mid(s.lastIndexOf(')') + 2).split(' ');
        return (f.value(11).toDouble() + f.value(12).toDouble()) / ticks;
    }
    return -1;
}

void waitEvents(double seconds)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

double share(CXpData &, double seconds)
{
    const double c0 = threadCpu("CXpData");
    const auto w0 = std::chrono::steady_clock::now();
    waitEvents(seconds);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    return (threadCpu("CXpData") - c0) / wall * 100.0;
}

std::string bridgeDatagram(double seq)
{
    std::string d(360, '\0');
    d[0] = 1;
    std::memcpy(&d[8 + 8 * 22], &seq, 8);
    return d;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double phase = argc > 1 ? std::atof(argv[1]) : 10.0;
    const double ageRun = argc > 2 ? std::atof(argv[2]) : 60.0;

    CXpData reader;
    reader.setObjectName("CXpData");
    reader.start();
    waitEvents(0.2);

    std::printf("reader CPU, disconnected:                 %.3f %%\n", share(reader, phase));

    {
        XPlaneStandIn xp(49009);
        xp.setRecording(false);
        xp.start();
        reader.setActive(1);
        waitEvents(0.5);
        const double s = share(reader, phase);
        std::printf("reader CPU, polling the X-Plane stand-in: %.3f %% (connected %d)\n", s, reader.isSimConnected());
        reader.setActive(0);
        waitEvents(0.2);
    }
    {
        reader.setSimMode(2);
        reader.setActive(1);
        std::atomic<bool> run{true};
        std::vector<std::pair<double, std::chrono::steady_clock::time_point>> sent;
        sent.reserve(100000);
        std::mutex sentMutex;
        std::thread bridge([&] {
            CUdpSocket s;
            s.open("127.0.0.1", 0);
            const sockaddr_in to = CUdpSocket::makeAddress("127.0.0.1", 8998);
            auto next = std::chrono::steady_clock::now();
            for (double seq = 1; run; ++seq) {
                const std::string d = bridgeDatagram(seq);
                {
                    std::lock_guard<std::mutex> lock(sentMutex);
                    sent.emplace_back(seq, std::chrono::steady_clock::now());
                }
                s.sendTo(d.data(), 360, to);
                next += std::chrono::milliseconds(15);
                std::this_thread::sleep_until(next);
            }
            s.close();
        });
        waitEvents(0.5);
        std::printf("reader CPU, 15 ms bridge stream:          %.3f %%\n", share(reader, phase));

        // Age: a 16 ms poll as the main window runs it.
        std::vector<double> ages;
        float lastSeen = 0;
        QTimer poll;
        poll.setTimerType(Qt::PreciseTimer);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            reader.publishSimState();
            const float seq = bridgeSimState.engineRpm;
            if (seq == lastSeen || seq == 0)
                return;
            const auto now = std::chrono::steady_clock::now();
            std::lock_guard<std::mutex> lock(sentMutex);
            // The datagram whose values this copy holds (an older one that a
            // newer one replaced before any poll is never seen by the GUI).
            for (auto it = sent.rbegin(); it != sent.rend(); ++it)
                if (it->first == seq) {
                    ages.push_back(std::chrono::duration<double, std::milli>(now - it->second).count());
                    break;
                }
            lastSeen = seq;
        });
        reader.publishSimState();
        lastSeen = bridgeSimState.engineRpm; // the age run starts with the next datagram
        poll.start(16);
        waitEvents(ageRun);
        poll.stop();
        run = false;
        bridge.join();
        std::sort(ages.begin(), ages.end());
        if (!ages.empty()) {
            auto pct = [&](double p) { return ages[std::min(ages.size() - 1, std::size_t(p * ages.size()))]; };
            std::printf("data age, datagram sent -> SimState copy: p50 %.1f ms, p99 %.1f ms, max %.1f ms (%zu datagrams, %.0f s)\n",
                        pct(0.50), pct(0.99), ages.back(), ages.size(), ageRun);
        }
    }
    reader.stop();
    reader.wait();
    return 0;
}
