// The bridge's watchdog, dispatch procedure and datagram, over the in-memory
// SimConnect platform.
#include "fakesimconnectplatform.h"
#include "simbridge.h"

#include <QtTest>
#include <atomic>
#include <thread>

using namespace simconnect;

namespace {

std::vector<std::uint8_t> dataMessage(std::uint32_t requestId, const std::vector<double> &values,
                                      std::uint32_t claimedSize = 0)
{
    std::vector<std::uint8_t> tail(24 + 8 * values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        writeF64LE(tail.data() + 24 + 8 * i, values[i]);
    auto m = serverMessage(8, {requestId}, tail);
    if (claimedSize)
        writeU32LE(m.data(), claimedSize);
    return m;
}

std::vector<double> datagramValues(const std::uint8_t *d, std::size_t n)
{
    std::vector<double> v;
    for (std::size_t i = 0; i < n; ++i)
        v.push_back(readF64LE(d + SimBridgeRecord::valueOffset(int(i))));
    return v;
}

} // namespace

class TstSimBridge : public QObject {
    Q_OBJECT

    FakeWorld world;

    std::vector<std::uint32_t> sentIds(FakeIo *io)
    {
        std::vector<std::uint32_t> ids;
        for (const auto &w : io->writes)
            ids.push_back(readU32LE(w.data() + 8));
        return ids;
    }

private slots:
    void init()
    {
        world = FakeWorld();
        world.acceptPipes = {kDefaultPipe};
        setPlatform(world.platform());
    }
    void cleanup()
    {
        FakeIo::drainCancelled();
    }

    void datagramBeforeAnySimulator_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("size");
        QTest::newRow("MSFS 2020") << 44 << 360;
        QTest::newRow("Prepar3D") << 43 << 352;
    }
    void datagramBeforeAnySimulator()
    {
        QFETCH(int, count);
        QFETCH(int, size);
        SimBridge b(std::size_t(count), false);
        std::uint8_t d[400];
        std::memset(d, 0xEE, sizeof d);
        QCOMPARE(b.buildDatagram(d), std::size_t(size));
        for (int i = 0; i < size; ++i)
            QCOMPARE(int(d[i]), 0);   // flag 0, padding 0, values 0.0
        QCOMPARE(int(d[size]), 0xEE);  // nothing written beyond
        QCOMPARE(b.watchdogCounter(), 5);
        QVERIFY(!b.connected());
    }

    void watchdogOpensAsksAndReopens()
    {
        SimBridge b(44, false);
        b.watchdogPass();   // counter 5 -> 6: opens at once
        QVERIFY(b.connected());
        QVERIFY(b.handle());
        QCOMPARE(b.watchdogCounter(), 0);
        FakeIo *io = world.lastIo;
        io->drainWrites();
        QCOMPARE(sentIds(io), std::vector<std::uint32_t>{kIdOpen});

        // Answered every time: one "Sim" request every second pass, never a reopen.
        for (int round = 0; round < 5; ++round) {
            b.watchdogPass();   // 1: nothing
            io->drainWrites();
            QCOMPARE(io->writes.size(), std::size_t(1 + round));
            b.watchdogPass();   // 2: ask
            io->drainWrites();
            QCOMPARE(io->writes.size(), std::size_t(2 + round));
            QCOMPARE(readU32LE(io->writes.back().data() + 8), std::uint32_t(kIdRequestSystemState));
            QCOMPARE(readU32LE(io->writes.back().data() + 16), 1u);
            io->deliver(serverMessage(15, {1}));
            b.dispatchPass();
            QCOMPARE(b.watchdogCounter(), 0);
        }
        QCOMPARE(world.attempts.size(), std::size_t(1));

        // A reply to some other request does not count.
        b.watchdogPass();
        b.watchdogPass();
        io->deliver(serverMessage(15, {2}));
        b.dispatchPass();
        QCOMPARE(b.watchdogCounter(), 2);
        b.watchdogPass();   // 3: asks again
        b.watchdogPass();   // 4: close and reopen
        QCOMPARE(world.attempts.size(), std::size_t(2));
        QVERIFY(io->closed);
        QVERIFY(b.connected());
        QCOMPARE(b.watchdogCounter(), 0);
        SimConnect_Close(b.handle());
    }

    void failedOpenRetriesEveryFourPasses()
    {
        world.acceptPipes.clear();
        setPlatform(world.platform());
        SimBridge b(44, false);
        b.watchdogPass();
        QVERIFY(!b.connected());
        QVERIFY(!b.handle());
        const std::size_t tries = world.attempts.size();
        b.watchdogPass();
        b.watchdogPass();
        b.watchdogPass();   // asks on a null handle: nothing happens
        QCOMPARE(world.attempts.size(), tries);
        b.watchdogPass();
        QCOMPARE(world.attempts.size(), 2 * tries);
        // The simulator comes back.
        world.acceptPipes = {kDefaultPipe};
        setPlatform(world.platform());
        for (int i = 0; i < 4; ++i)
            b.watchdogPass();
        QVERIFY(b.connected());
        SimConnect_Close(b.handle());
    }

    void openDefinesTheVariables_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("MSFS 2020") << 44;
        QTest::newRow("Prepar3D") << 43;
    }
    void openDefinesTheVariables()
    {
        QFETCH(int, count);
        SimBridge b(std::size_t(count), false);
        b.watchdogPass();
        FakeIo *io = world.lastIo;
        io->deliver(serverMessage(2, {}));
        b.dispatchPass();
        io->drainWrites();
        QCOMPARE(io->writes.size(), std::size_t(1 + count + 1));
        for (int i = 0; i < count; ++i) {
            const auto &w = io->writes[std::size_t(1 + i)];
            QCOMPARE(readU32LE(w.data() + 8), std::uint32_t(kIdAddToDataDefinition));
            QCOMPARE(readU32LE(w.data() + 16), 0u);
            QCOMPARE(std::string(reinterpret_cast<const char *>(w.data() + 20)),
                     std::string(kBridgeVariables[i].name));
            QCOMPARE(std::string(reinterpret_cast<const char *>(w.data() + 276)),
                     std::string(kBridgeVariables[i].units));
            QCOMPARE(readU32LE(w.data() + 532), 4u);
            QCOMPARE(readU32LE(w.data() + 536), 0u);
            QCOMPARE(readU32LE(w.data() + 540), 0xFFFFFFFFu);
        }
        const char *last = reinterpret_cast<const char *>(io->writes[std::size_t(count)].data() + 20);
        QCOMPARE(std::string(last), std::string(count == 44 ? "BRAKE PARKING POSITION" : "AILERON TRIM"));
        QCOMPARE(std::string(reinterpret_cast<const char *>(io->writes[23].data() + 20)),
                 std::string(reinterpret_cast<const char *>(io->writes[35].data() + 20)));
        const auto &req = io->writes.back();
        QCOMPARE(readU32LE(req.data() + 8), std::uint32_t(kIdRequestDataOnSimObject));
        const std::uint32_t expect[] = {0, 0, 0, 2, 0, 0, 0, 0};
        for (int i = 0; i < 8; ++i)
            QCOMPARE(readU32LE(req.data() + 16 + 4 * i), expect[i]);

        // QUIT clears the definition and leaves the flag up.
        io->deliver(serverMessage(3, {}));
        b.dispatchPass();
        io->drainWrites();
        QCOMPARE(readU32LE(io->writes.back().data() + 8), std::uint32_t(kIdClearDataDefinition));
        QCOMPARE(readU32LE(io->writes.back().data() + 16), 0u);
        QVERIFY(b.connected());
        SimConnect_Close(b.handle());
    }

    void dataMessagesFillTheValues()
    {
        SimBridge b(44, false);
        std::vector<double> v(44);
        for (int i = 0; i < 44; ++i)
            v[std::size_t(i)] = 1.5 * i - 7;
        SimBridge::dispatchProc(dataMessage(0, v).data(), std::uint32_t(dataMessage(0, v).size()), &b);
        std::uint8_t d[360];
        b.buildDatagram(d);
        QCOMPARE(datagramValues(d, 44), v);

        // Another request id changes nothing.
        std::vector<double> other(44, 99.0);
        SimBridge::dispatchProc(dataMessage(3, other).data(), std::uint32_t(dataMessage(3, other).size()), &b);
        b.buildDatagram(d);
        QCOMPARE(datagramValues(d, 44), v);
    }

    void shortDataMessagesAreReadOnlyAsFarAsTheyGo()
    {
        SimBridge b(44, false);
        std::vector<double> v(44, 4.0);
        auto full = dataMessage(0, v);
        SimBridge::dispatchProc(full.data(), std::uint32_t(full.size()), &b);
        // Two values only, though the bridge expects 44.
        auto two = dataMessage(0, {8.0, 9.0});
        SimBridge::dispatchProc(two.data(), std::uint32_t(two.size()), &b);
        std::uint8_t d[360];
        b.buildDatagram(d);
        std::vector<double> expect(44, 4.0);
        expect[0] = 8.0;
        expect[1] = 9.0;
        QCOMPARE(datagramValues(d, 44), expect);
        // No data area at all, and a message too short to hold a request id.
        auto empty = dataMessage(0, {});
        SimBridge::dispatchProc(empty.data(), 40, &b);
        const std::uint8_t tiny[12] = {12, 0, 0, 0, 4, 0, 0, 0, 8, 0, 0, 0};
        SimBridge::dispatchProc(tiny, 12, &b);
        const std::uint8_t tinyState[12] = {12, 0, 0, 0, 4, 0, 0, 0, 15, 0, 0, 0};
        SimBridge::dispatchProc(tinyState, 12, &b);
        QCOMPARE(b.watchdogCounter(), 5);
        b.buildDatagram(d);
        QCOMPARE(datagramValues(d, 44), expect);
    }

    void eachDatagramCarriesOneFrame()
    {
        SimBridge b(44, false);
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            std::vector<double> v(44);
            for (double k = 1; !stop.load(); k += 1) {
                std::fill(v.begin(), v.end(), k);
                auto m = dataMessage(0, v);
                SimBridge::dispatchProc(m.data(), std::uint32_t(m.size()), &b);
            }
        });
        std::uint8_t d[360];
        int mixed = 0;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 300) {
            b.buildDatagram(d);
            const auto v = datagramValues(d, 44);
            for (double x : v)
                if (x != v[0])
                    ++mixed;
        }
        stop = true;
        writer.join();
        QCOMPARE(mixed, 0);
    }
};

QTEST_GUILESS_MAIN(TstSimBridge)
#include "tst_simbridge.moc"
