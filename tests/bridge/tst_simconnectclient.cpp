// The client's messages as they leave it, its send queue and its receive side,
// over a pipe whose I/O the test completes by hand.
#include "fakesimconnectplatform.h"

#include <QtTest>

using namespace simconnect;

class TstSimConnectClient : public QObject {
    Q_OBJECT

    FakeWorld world;
    SimConnectHandle h = nullptr;
    FakeIo *io = nullptr;

    static std::uint32_t u32(const std::vector<std::uint8_t> &m, std::size_t at)
    {
        return readU32LE(m.data() + at);
    }
    static std::string str(const std::vector<std::uint8_t> &m, std::size_t at)
    {
        return std::string(reinterpret_cast<const char *>(m.data() + at));
    }
    static void countOne(const std::uint8_t *, std::uint32_t, void *ctx) { ++*static_cast<int *>(ctx); }

private slots:
    void init()
    {
        world = FakeWorld();
        world.acceptPipes = {kDefaultPipe};
        setPlatform(world.platform());
        h = nullptr;
        QCOMPARE(SimConnect_Open(&h, "KORVEL", nullptr, 0, nullptr, 0), S_OK32);
        QVERIFY(h);
        io = world.lastIo;
        QVERIFY(io);
    }
    void cleanup()
    {
        if (h)
            SimConnect_Close(h);
        FakeIo::drainCancelled();
        QCOMPARE(SimConnectTransport::liveTransports(), 0);
        QCOMPARE(SimConnectConnection::liveConnections(), 0);
    }

    void openMessageLayout()
    {
        QCOMPARE(io->writes.size(), std::size_t(1));
        const auto &m = io->writes[0];
        QCOMPARE(m.size(), std::size_t(296));
        QCOMPARE(u32(m, 0), 296u);
        QCOMPARE(u32(m, 4), 30u);
        QCOMPARE(u32(m, 8), 0xF0000001u);
        QCOMPARE(u32(m, 12), 1u);   // first message of the connection
        QCOMPARE(str(m, 16), std::string("KORVEL"));
        for (std::size_t i = 16 + 6; i < 272; ++i)
            QCOMPARE(int(m[i]), 0);
        QCOMPARE(u32(m, 272), 0u);
        QCOMPARE(u32(m, 276), 0x50334400u);   // bytes 00 44 33 50
        QCOMPARE(u32(m, 280), 4u);
        QCOMPARE(u32(m, 284), 4u);
        QCOMPARE(u32(m, 288), 0u);
        QCOMPARE(u32(m, 292), 0u);
    }

    void requestLayoutsAndSendIds()
    {
        QCOMPARE(SimConnect_AddToDataDefinition(h, 7, "PLANE ALTITUDE", "Feet", 4, 0.5f, 0xFFFFFFFFu), S_OK32);
        QCOMPARE(SimConnect_ClearDataDefinition(h, 9), S_OK32);
        QCOMPARE(SimConnect_RequestDataOnSimObject(h, 1, 2, 3, 4, 5, 6, 7, 8), S_OK32);
        QCOMPARE(SimConnect_RequestSystemState(h, 1, "Sim"), S_OK32);
        io->drainWrites();
        QCOMPARE(io->writes.size(), std::size_t(5));

        // Size, version, id and send id (numbered on from the Open's 1).
        const std::uint32_t heads[4][3] = {{544, 0xF000000Cu, 2}, {20, 0xF000000Du, 3}, {48, 0xF000000Eu, 4},
                                           {276, 0xF0000035u, 5}};
        for (std::size_t i = 0; i < 4; ++i) {
            const auto &m = io->writes[i + 1];
            QCOMPARE(m.size(), std::size_t(heads[i][0]));
            QCOMPARE(u32(m, 0), heads[i][0]);
            QCOMPARE(u32(m, 4), 30u);
            QCOMPARE(u32(m, 8), heads[i][1]);
            QCOMPARE(u32(m, 12), heads[i][2]);
        }
        const auto &add = io->writes[1];
        QCOMPARE(u32(add, 16), 7u);
        QCOMPARE(str(add, 20), std::string("PLANE ALTITUDE"));
        QCOMPARE(str(add, 276), std::string("Feet"));
        QCOMPARE(u32(add, 532), 4u);
        float eps;
        std::memcpy(&eps, add.data() + 536, 4);
        QCOMPARE(eps, 0.5f);
        QCOMPARE(u32(add, 540), 0xFFFFFFFFu);
        QCOMPARE(u32(io->writes[2], 16), 9u);
        for (std::uint32_t i = 0; i < 8; ++i)
            QCOMPARE(u32(io->writes[3], 16 + 4 * i), i + 1);
        QCOMPARE(u32(io->writes[4], 16), 1u);
        QCOMPARE(str(io->writes[4], 20), std::string("Sim"));
    }

    void sendIdWrapsToOne()
    {
        auto *c = static_cast<SimConnectConnection *>(h);
        c->setSendIdCounter(0xFFFFFFFEu);
        QCOMPARE(SimConnect_ClearDataDefinition(h, 0), S_OK32);
        QCOMPARE(SimConnect_ClearDataDefinition(h, 0), S_OK32);
        QCOMPARE(SimConnect_ClearDataDefinition(h, 0), S_OK32);
        io->drainWrites();
        QCOMPARE(u32(io->writes[1], 12), 0xFFFFFFFFu);
        QCOMPARE(u32(io->writes[2], 12), 1u);   // never 0
        QCOMPARE(u32(io->writes[3], 12), 2u);
    }

    void stringLimits()
    {
        const std::string n255(255, 'A'), n256(256, 'B');
        QCOMPARE(SimConnect_AddToDataDefinition(h, 0, n255.c_str(), "Feet", 4, 0, 0), S_OK32);
        QCOMPARE(SimConnect_AddToDataDefinition(h, 0, n256.c_str(), "Feet", 4, 0, 0), E_TOOLONG32);
        QCOMPARE(SimConnect_AddToDataDefinition(h, 0, "X", n256.c_str(), 4, 0, 0), E_TOOLONG32);
        QCOMPARE(SimConnect_RequestSystemState(h, 1, n256.c_str()), E_TOOLONG32);
        auto *c = static_cast<SimConnectConnection *>(h);
        QCOMPARE(c->sendBufferFill(), 0u);   // the claimed space was given back
        // A null string goes out empty.
        QCOMPARE(SimConnect_RequestSystemState(h, 1, nullptr), S_OK32);
        io->drainWrites();
        QCOMPARE(io->writes.size(), std::size_t(3));
        QCOMPARE(str(io->writes[1], 20), n255);
        QCOMPARE(int(io->writes[1][20 + 255]), 0);
        QCOMPARE(str(io->writes[2], 20), std::string());
    }

    void tooLongClientNameOpensNothing()
    {
        SimConnectHandle other = nullptr;
        const std::string n256(256, 'K');
        const int before = SimConnectConnection::liveConnections();
        const int writesBefore = FakeIo::writesEver;
        QCOMPARE(SimConnect_Open(&other, n256.c_str(), nullptr, 0, nullptr, 0), E_TOOLONG32);
        QVERIFY(!other);
        FakeIo::drainCancelled();
        QCOMPARE(SimConnectConnection::liveConnections(), before);
        QCOMPARE(FakeIo::writesEver, writesBefore);
        QCOMPARE(SimConnect_Open(nullptr, "K", nullptr, 0, nullptr, 0), E_INVALIDARG32);
        QCOMPARE(SimConnect_Open(&other, nullptr, nullptr, 0, nullptr, 0), E_INVALIDARG32);
    }

    void nullHandleIsRefused()
    {
        QCOMPARE(SimConnect_Close(nullptr), E_FAIL32);
        QCOMPARE(SimConnect_RequestSystemState(nullptr, 1, "Sim"), E_FAIL32);
        QCOMPARE(SimConnect_ClearDataDefinition(nullptr, 0), E_FAIL32);
        QCOMPARE(SimConnect_CallDispatch(nullptr, [](const std::uint8_t *, std::uint32_t, void *) {}, nullptr),
                 E_FAIL32);
    }

    void oneOutstandingWriteInQueueOrder()
    {
        // The Open write has not completed: later messages wait behind it.
        for (std::uint32_t i = 0; i < 5; ++i)
            QCOMPARE(SimConnect_ClearDataDefinition(h, 100 + i), S_OK32);
        QCOMPARE(io->writes.size(), std::size_t(1));
        QCOMPARE(io->writesOutstanding, 1);
        auto *c = static_cast<SimConnectConnection *>(h);
        QCOMPARE(c->queuedSends(), std::size_t(5));
        for (std::uint32_t i = 0; i < 5; ++i) {
            QVERIFY(io->completeWrite());
            QCOMPARE(io->writesOutstanding, 1);
            QCOMPARE(u32(io->writes.back(), 16), 100 + i);
        }
        QVERIFY(io->completeWrite());
        QCOMPARE(io->writesOutstanding, 0);
        QCOMPARE(c->queuedSends(), std::size_t(0));
    }

    void sendBufferClaimReleaseFlush()
    {
        auto *c = static_cast<SimConnectConnection *>(h);
        std::uint8_t *a = nullptr, *b = nullptr, *big = nullptr;
        QCOMPARE(c->claimMessage(20, &a), S_OK32);
        QCOMPARE(c->claimMessage(48, &b), S_OK32);
        QCOMPARE(b - a, 20);
        QCOMPARE(c->sendBufferFill(), 68u);
        QCOMPARE(c->claimMessage(kSendBufferSize - 67, &big), E_FAIL32);   // no room: nothing claimed
        QCOMPARE(c->sendBufferFill(), 68u);
        b[20] = 0x55;
        c->releaseMessage(b, 48);
        QCOMPARE(c->sendBufferFill(), 20u);
        QCOMPARE(int(b[20]), 0);   // given back zeroed
        fillClearDataDefinition(a, 77);
        QCOMPARE(c->flushSendBuffer(), S_OK32);
        QCOMPARE(c->sendBufferFill(), 0u);
        QCOMPARE(int(a[16]), 0);   // used bytes zeroed after the copy
        io->drainWrites();
        QCOMPARE(io->writes.size(), std::size_t(2));
        QCOMPARE(io->writes[1].size(), std::size_t(20));
        QCOMPARE(u32(io->writes[1], 16), 77u);
    }

    void dispatchDeliversInOrderAndDropsShortOnes()
    {
        std::vector<std::uint8_t> stream;
        auto add = [&](const std::vector<std::uint8_t> &m) { for (std::uint8_t b : m) stream.push_back(b); };
        add(serverMessage(2, {}));                  // 12 bytes: delivered
        add({11, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7});   // 11 bytes: dropped
        add(serverMessage(15, {1}));
        add(serverMessage(8, {0, 0, 0, 0, 0, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8}));
        io->deliver(stream);
        struct Seen { std::vector<std::uint32_t> ids, sizes; void *ctx = nullptr; } seen;
        auto proc = [](const std::uint8_t *d, std::uint32_t n, void *ctx) {
            auto *s = static_cast<Seen *>(ctx);
            s->ids.push_back(readU32LE(d + 8));
            s->sizes.push_back(n);
            s->ctx = ctx;
        };
        QCOMPARE(SimConnect_CallDispatch(h, nullptr, &seen), E_FAIL32);   // no procedure: nothing taken
        QCOMPARE(static_cast<SimConnectConnection *>(h)->receiveQueued(), std::size_t(4));
        QCOMPARE(SimConnect_CallDispatch(h, proc, &seen), S_OK32);
        QCOMPARE(seen.ids, (std::vector<std::uint32_t>{2, 15, 8}));
        QCOMPARE(seen.sizes, (std::vector<std::uint32_t>{12, 16, 48}));
        QCOMPARE(seen.ctx, static_cast<void *>(&seen));
        QCOMPARE(static_cast<SimConnectConnection *>(h)->receiveQueued(), std::size_t(0));
    }

    void brokenConnectionReportsItsFailure_data()
    {
        QTest::addColumn<bool>("pipe");
        QTest::addColumn<quint32>("status");
        QTest::addColumn<quint32>("bytes");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("zero bytes") << true << 0u << 0u << 0xC000013Eu;
        QTest::newRow("cancelled") << true << 0xC0000120u << 0u << 0xC0000120u;
        QTest::newRow("remote disconnect") << true << 0xC000013Cu << 0u << 0xC000013Cu;
        QTest::newRow("pipe broken") << true << 0xC000014Bu << 0u << 0xC000014Bu;
        QTest::newRow("reset") << true << 0xC000020Du << 0u << 0xC000020Du;
        QTest::newRow("other") << true << 0xC0000001u << 0u << 0xC0000001u;
        QTest::newRow("overflow on a socket") << false << 0x80000005u << 12u << 0x80000005u;
    }
    void brokenConnectionReportsItsFailure()
    {
        QFETCH(bool, pipe);
        QFETCH(quint32, status);
        QFETCH(quint32, bytes);
        QFETCH(quint32, expected);
        if (!pipe) {
            SimConnect_Close(h);
            FakeIo::drainCancelled();
            world.acceptPipes.clear();
            world.regV4 = L"500";
            world.acceptTcp = {L"127.0.0.1:500"};
            setPlatform(world.platform());
            h = nullptr;
            QCOMPARE(SimConnect_Open(&h, "KORVEL", nullptr, 0, nullptr, 0), S_OK32);
            io = world.lastIo;
            QVERIFY(!io->isPipe());
        }
        // A message that arrived before the break is still delivered.
        io->deliver(serverMessage(2, {}));
        std::memcpy(io->readBuf, serverMessage(3, {}).data(), 12);
        io->completeRead(status, bytes);
        QVERIFY(io->closed);
        int delivered = 0;
        QCOMPARE(SimConnect_CallDispatch(h, countOne, &delivered), HRESULT32(expected));
        QCOMPARE(delivered, 1);
        QCOMPARE(SimConnect_RequestSystemState(h, 1, "Sim"), HRESULT32(expected));
        QCOMPARE(io->writes.size(), std::size_t(1));
        QVERIFY(SimConnectTransport::anyConnectionFailed());
    }

    void readThatFailsAtOnceBreaksTheConnection()
    {
        io->failReads = true;   // the server end is gone: the next read fails at once
        io->deliver(serverMessage(3, {}));
        QVERIFY(io->closed);
        int delivered = 0;
        const HRESULT32 r = SimConnect_CallDispatch(h, countOne, &delivered);
        QCOMPARE(delivered, 1);
        QVERIFY(r < 0);
        QCOMPARE(SimConnect_RequestSystemState(h, 1, "Sim"), r);
    }

    void partialPipeMessageCountsAsData()
    {
        const auto m = serverMessage(15, {1});
        std::memcpy(io->readBuf, m.data(), m.size());
        io->completeRead(kStatusBufferOverflow, std::uint32_t(m.size()));
        QVERIFY(!io->closed);
        int delivered = 0;
        QCOMPARE(SimConnect_CallDispatch(h, countOne, &delivered), S_OK32);
        QCOMPARE(delivered, 1);
    }

    void framingErrorDropsTheConnection()
    {
        std::vector<std::uint8_t> huge(8, 0);
        writeU32LE(huge.data(), 41089);   // above the largest message accepted
        io->deliver(huge);
        QVERIFY(io->closed);
        int delivered = 0;
        QCOMPARE(SimConnect_CallDispatch(h, countOne, &delivered), E_ABORT32);
    }

    void closeWaitsAndReleasesEverything()
    {
        io->deliver(serverMessage(2, {}));   // left undelivered in the queue
        world.sleeps.clear();
        QCOMPARE(SimConnect_Close(h), S_OK32);
        h = nullptr;
        QVERIFY(io->closed);
        // 100 ms before, 250 ms after, then 250 ms steps while the cancelled read is pending.
        QVERIFY(world.sleeps.size() >= 2);
        QCOMPARE(world.sleeps[0], 100u);
        QCOMPARE(world.sleeps[1], 250u);
        QCOMPARE(SimConnectTransport::liveTransports(), 1);   // the pending read still holds it
        FakeIo::drainCancelled();
        QCOMPARE(SimConnectTransport::liveTransports(), 0);
    }
};

QTEST_GUILESS_MAIN(TstSimConnectClient)
#include "tst_simconnectclient.moc"
