// Both bridge programs end to end under Wine: the SimConnect stand-in over TCP
// (in this process) and over the named pipe (its Windows build), a UDP
// listener in place of KorvelTools.
#include "processcontrol.h"
#include "simconnectserver.h"
#include "winebridge.h"

#include <QtTest>
#include <QTemporaryDir>
#include <algorithm>

namespace {

// The bridge reopens its session 4 s after the last answered request and
// retries a failed open every 4 s, so a reconnect may take a whole cycle, and a
// loaded machine (or the sanitizer build) stretches Wine's part of it. The
// waits allow three cycles; the timing checks keep to the design's figures.
constexpr int kReopenCycleMs = 4000;
constexpr int kReconnectWaitMs = 3 * kReopenCycleMs;

double msBetween(SteadyClock::time_point a, SteadyClock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The aircraft state: each variable gets 100 + the row of its first appearance.
void fillState(simpeer::SimConnectServer &s, const std::vector<std::string> &names, double base)
{
    for (std::size_t i = 0; i < names.size(); ++i)
        if (std::find(names.begin(), names.begin() + long(i), names[i]) == names.begin() + long(i))
            s.setValue(names[i], base + double(i));
}

std::vector<std::string> definitions(const std::vector<simpeer::ReceivedMessage> &got)
{
    std::vector<std::string> names;
    for (const auto &m : got)
        if (m.id == 0xF000000Cu)
            names.push_back(m.text);
    return names;
}

std::vector<double> stateRequestTimes(const std::vector<simpeer::ReceivedMessage> &got,
                                      SteadyClock::time_point after)
{
    std::vector<double> t;
    for (const auto &m : got)
        if (m.id == 0xF0000035u && m.text == "Sim" && m.at > after)
            t.push_back(std::chrono::duration<double>(m.at - after).count());
    return t;
}

} // namespace

class TstBridgeWine : public QObject {
    Q_OBJECT

private slots:
    void msfsOverTcp()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // A free port for the simulator, written to SimConnect.cfg.
        std::uint16_t port = 0;
        {
            simpeer::SimConnectServer probe;
            QVERIFY(probe.listenTcp(0, 0));
            port = probe.port4();
        }
        QFile cfg(dir.filePath("SimConnect.cfg"));
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(QString("[SimConnect]\r\nProtocol=IPv4\r\nAddress=127.0.0.1\r\nPort=%1\r\n").arg(port).toUtf8());
        cfg.close();

        DatagramCollector udp;
        QVERIFY(udp.start(8998, 8999));
        WineProgram bridge;
        QVERIFY(bridge.start(windowsProgram("DrevantMSFS2020Sim.exe"), dir.path()));

        // No simulator yet: flag 0 and zeros, every 15 ms.
        QVERIFY(udp.waitFor(0, 15000, [](const Datagram &) { return true; }) >= 0);
        // Listed under the name that ends it.
        {
            bool listed = false;
            for (const auto &p : platform::listProcesses())
                listed = listed
                         || (p.pid == bridge.pid() && platform::exeNameMatches(p.exeName, "DREVANTMSFS2020SIM.EXE"));
            QVERIFY(listed);
        }
        QTest::qWait(1500);
        {
            const auto early = udp.since(0);
            QVERIFY(early.size() > 50);
            for (const auto &d : early) {
                QCOMPARE(d.bytes.size(), std::size_t(360));
                QVERIFY(std::all_of(d.bytes.begin(), d.bytes.end(), [](std::uint8_t b) { return b == 0; }));
            }
            std::vector<double> gaps;
            for (std::size_t i = 1; i < early.size(); ++i)
                gaps.push_back(msBetween(early[i - 1].at, early[i].at));
            std::sort(gaps.begin(), gaps.end());
            const double p50 = gaps[gaps.size() / 2];
            QVERIFY2(p50 >= 13 && p50 <= 22, qPrintable(QString("median gap %1 ms").arg(p50)));
        }

        // The simulator appears: within one reopen the values flow.
        auto server = std::make_unique<simpeer::SimConnectServer>();
        QVERIFY(server->listenTcp(port, 0));
        server->setFrameRate(60);
        std::size_t mark = udp.size();
        long first = udp.waitFor(mark, kReconnectWaitMs, [](const Datagram &d) { return d.flag(); });
        QVERIFY(first >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(definitions(server->received()).size(), std::size_t(44), 3000);
        // Which variables, in which order: the native bridge test.
        const auto names = definitions(server->received());
        fillState(*server, names, 100);
        mark = udp.size();
        first = udp.waitFor(mark, 3000, [](const Datagram &d) { return d.flag() && d.value(43) == 143; });
        QVERIFY(first >= 0);
        {
            const Datagram d = udp.since(std::size_t(first)).front();
            QCOMPARE(d.bytes.size(), std::size_t(360));
            for (int b = 1; b < 8; ++b)
                QCOMPARE(int(d.bytes[std::size_t(b)]), 0);
            for (std::size_t i = 0; i < 44; ++i) {
                const auto firstRow = std::find(names.begin(), names.end(), names[i]) - names.begin();
                QCOMPARE(d.value(i), 100.0 + double(firstRow));
            }
            QCOMPARE(d.value(22), d.value(34));
        }

        // Answered: "Sim" every 2 s, no reopen.
        const auto watchFrom = SteadyClock::now();
        QTest::qWait(6500);
        const auto times = stateRequestTimes(server->received(), watchFrom);
        QVERIFY2(times.size() >= 3 && times.size() <= 4, qPrintable(QString::number(times.size())));
        for (std::size_t i = 1; i < times.size(); ++i)
            QVERIFY(times[i] - times[i - 1] > 1.7 && times[i] - times[i - 1] < 3.0);
        QCOMPARE(server->sessionsAccepted(), 1);

        // Silence: values freeze with the flag up, then a reopen about 4 s later brings them back.
        server->setSilent(true);
        const auto silentAt = SteadyClock::now();
        QTest::qWait(300);
        fillState(*server, names, 200);
        mark = udp.size();
        QTest::qWait(1000);
        for (const auto &d : udp.since(mark))
            QVERIFY(d.flag() && d.value(43) == 143);
        first = udp.waitFor(mark, kReconnectWaitMs, [](const Datagram &d) { return d.value(43) == 243; });
        QVERIFY(first >= 0);
        const double resumed = msBetween(silentAt, udp.since(std::size_t(first)).front().at) / 1000;
        QVERIFY2(resumed > 1.5 && resumed < 6.0, qPrintable(QString::number(resumed)));
        QCOMPARE(server->sessionsAccepted(), 2);

        // The simulator quits: frozen values with the flag up, then flag 0 while the open fails.
        server->stop();
        const auto stoppedAt = SteadyClock::now();
        mark = udp.size();
        first = udp.waitFor(mark, kReconnectWaitMs, [](const Datagram &d) { return !d.flag(); });
        QVERIFY(first >= 0);
        {
            const auto seq = udp.since(mark);
            const Datagram down = seq[std::size_t(first) - mark];
            const double after = msBetween(stoppedAt, down.at) / 1000;
            QVERIFY2(after > 1.0 && after < 6.0, qPrintable(QString::number(after)));
            for (std::size_t i = 0; i + mark < std::size_t(first); ++i)
                QVERIFY(seq[i].flag() && seq[i].value(43) == 243);
            QCOMPARE(down.value(43), 243.0);   // kept while down
        }
        server.reset();

        // It comes back.
        server = std::make_unique<simpeer::SimConnectServer>();
        QVERIFY(server->listenTcp(port, 0));
        fillState(*server, names, 300);
        mark = udp.size();
        QVERIFY(udp.waitFor(mark, kReconnectWaitMs, [](const Datagram &d) { return d.flag() && d.value(43) == 343; }) >= 0);
        bridge.stop();
        QVERIFY(bridge.output().count("simconnect close and reopen") >= 4);
    }

    void prepar3dOverThePipe()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        WineProgram standin;
        QVERIFY(standin.start(windowsProgram("simconnect_standin.exe"), dir.path()));
        QCOMPARE(standin.readLine(20000), QString("ready"));
        QCOMPARE(standin.command("pipe \\\\.\\pipe\\Lockheed Martin Prepar3D v4\\SimConnect"), QString("ok pipe"));
        QCOMPARE(standin.command("set 1.25 AILERON TRIM"), QString("ok set"));
        QCOMPARE(standin.command("set 2500 GENERAL ENG RPM:1"), QString("ok set"));
        QCOMPARE(standin.command("set 47.5 PLANE LATITUDE"), QString("ok set"));

        DatagramCollector udp;
        QVERIFY(udp.start(9998, 9999));
        WineProgram bridge;
        QVERIFY(bridge.start(windowsProgram("DrevantPrepar3dSim.exe"), dir.path()));
        long first = udp.waitFor(0, 15000, [](const Datagram &d) { return d.flag() && d.value(42) == 1.25; });
        QVERIFY(first >= 0);
        const Datagram d = udp.since(std::size_t(first)).front();
        QCOMPARE(d.bytes.size(), std::size_t(352));
        QCOMPARE(d.value(0), 47.5);
        QCOMPARE(d.value(22), 2500.0);
        QCOMPARE(d.value(34), 2500.0);

        QTest::qWait(4500);
        QStringList lines;
        for (QString l = standin.command("dump"); !l.startsWith("ok dump") && !l.isEmpty(); l = standin.readLine())
            lines << l;
        int opens = 0, sims = 0;
        for (const QString &l : lines) {
            if (l.startsWith("msg F0000001"))
                ++opens;
            if (l.startsWith("msg F0000035") && l.endsWith(" Sim"))
                ++sims;
            if (l.startsWith("msg"))
                QVERIFY2(l.section(' ', 5, 5) == "0", qPrintable(l));   // nothing rejected
        }
        QCOMPARE(opens, 1);
        QVERIFY2(sims >= 2, qPrintable(QString::number(sims)));

        // QUIT and gone: frozen, then flag 0 about 4 s later.
        QCOMPARE(standin.command("stop"), QString("ok stop"));
        const auto stoppedAt = SteadyClock::now();
        const std::size_t mark = udp.size();
        first = udp.waitFor(mark, kReconnectWaitMs, [](const Datagram &x) { return !x.flag(); });
        QVERIFY(first >= 0);
        const Datagram down = udp.since(std::size_t(first)).front();
        QCOMPARE(down.value(42), 1.25);
        const double after = msBetween(stoppedAt, down.at) / 1000;
        QVERIFY2(after > 1.0 && after < 6.0, qPrintable(QString::number(after)));
        standin.stop();
        bridge.stop();
    }
};

QTEST_GUILESS_MAIN(TstBridgeWine)
#include "tst_bridge_wine.moc"
