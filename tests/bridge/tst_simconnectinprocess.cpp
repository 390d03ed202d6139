// The client inside the simulator's own process: a stand-in for the
// simulator's main window takes the registration requests, lends send blocks
// and delivers messages through the entry points the client hands it. The
// bridge's own case (the window belongs to another process, or there is none)
// must do none of it.
#include "fakesimconnectplatform.h"

#include <QtTest>

#include <memory>

using namespace simconnect;

namespace {

// The simulator's main window as the client sees it.
struct FakeHost {
    struct Request {
        std::uint32_t kind, identity;
        std::uint64_t first, second;
    };
    std::vector<Request> requests;
    std::vector<std::vector<std::uint8_t>> handedOver;   // messages sent in lent blocks
    std::vector<const std::uint8_t *> givenBack;
    HostLendEntry lend = nullptr;
    HostDeliverEntry deliver = nullptr;
    std::vector<std::unique_ptr<std::uint8_t[]>> blocks;
    std::vector<const std::uint8_t *> outstanding;   // blocks the client holds
    bool refuseLend = false;
    std::uint32_t lendShortBy = 0;

    std::uint8_t *newBlock(std::uint32_t len)
    {
        blocks.emplace_back(new std::uint8_t[len]);
        std::memset(blocks.back().get(), 0xCD, len);   // the client must zero it
        return blocks.back().get();
    }
    void takeBack(const std::uint8_t *b)
    {
        auto it = std::find(outstanding.begin(), outstanding.end(), b);
        QVERIFY2(it != outstanding.end(), "a block the simulator did not lend came back");
        outstanding.erase(it);
    }
    void onRequest(const std::uint8_t *req, std::uint32_t len)
    {
        QCOMPARE(len, kHostRequestSize);
        const Request r{readU32LE(req), readU32LE(req + 4), readU64LE(req + 8), readU64LE(req + 16)};
        requests.push_back(r);
        auto *p = reinterpret_cast<std::uint8_t *>(static_cast<std::uintptr_t>(r.first));
        switch (r.kind) {
        case kHostEntryPoints:
            lend = reinterpret_cast<HostLendEntry>(static_cast<std::uintptr_t>(r.first));
            deliver = reinterpret_cast<HostDeliverEntry>(static_cast<std::uintptr_t>(r.second));
            break;
        case kHostBorrow: {
            if (refuseLend || !lend)
                break;
            const auto want = std::uint32_t(r.second);
            std::uint8_t *b = newBlock(want);
            if (lend(r.identity, b, want - lendShortBy))
                outstanding.push_back(b);
            break;
        }
        case kHostHandOver:
            handedOver.emplace_back(p, p + r.second);
            takeBack(p);
            break;
        case kHostGiveBack:
            givenBack.push_back(p);
            takeBack(p);
            break;
        default:
            break;
        }
    }
    std::vector<std::uint32_t> kinds() const
    {
        std::vector<std::uint32_t> k;
        for (const Request &r : requests)
            k.push_back(r.kind);
        return k;
    }
    // A message the simulator delivers from its own memory.
    int send(std::uint32_t identity, const std::vector<std::uint8_t> &msg)
    {
        std::uint8_t *b = newBlock(std::uint32_t(msg.size()));
        std::memcpy(b, msg.data(), msg.size());
        const int r = deliver(identity, b, std::uint32_t(msg.size()));
        if (r)
            outstanding.push_back(b);
        return r;
    }
};

struct Seen {
    std::vector<std::uint32_t> ids;
    std::vector<const std::uint8_t *> pointers;
};

void record(const std::uint8_t *d, std::uint32_t, void *ctx)
{
    auto *s = static_cast<Seen *>(ctx);
    s->ids.push_back(readU32LE(d + 8));
    s->pointers.push_back(d);
}

std::vector<std::uint8_t> openReply(std::uint32_t size)
{
    std::vector<std::uint8_t> m(size, 0);
    writeU32LE(m.data(), size);
    writeU32LE(m.data() + 4, 4);
    writeU32LE(m.data() + 8, kRecvOpen);
    return m;
}

} // namespace

class TstSimConnectInProcess : public QObject {
    Q_OBJECT

    FakeWorld world;
    FakeHost host;
    bool inProcess = true;
    std::vector<SimConnectHandle> open;

    void install()
    {
        Platform p = world.platform();
        p.hostInProcess = [this] { return inProcess; };
        p.registerWithHost = [this](const std::uint8_t *r, std::uint32_t n) { host.onRequest(r, n); };
        setPlatform(p);
    }
    SimConnectHandle openOne()
    {
        SimConnectHandle h = nullptr;
        if (SimConnect_Open(&h, "KORVEL", nullptr, 0, nullptr, 0) != S_OK32)
            return nullptr;
        open.push_back(h);
        return h;
    }
    void closeOne(SimConnectHandle h)
    {
        open.erase(std::find(open.begin(), open.end(), h));
        QCOMPARE(SimConnect_Close(h), S_OK32);
    }
    static SimConnectConnection *conn(SimConnectHandle h) { return static_cast<SimConnectConnection *>(h); }
    // Open, then the first OPEN reply over the pipe: the connection lends from then on.
    SimConnectHandle openLent(Seen &seen)
    {
        SimConnectHandle h = openOne();
        if (!h)
            return nullptr;
        world.lastIo->deliver(openReply(kOpenReplySizeInProcess));
        if (SimConnect_CallDispatch(h, record, &seen) != S_OK32 || conn(h)->inProcessState() != 2)
            return nullptr;
        return h;
    }

private slots:
    void init()
    {
        world = FakeWorld();
        world.acceptPipes = {kDefaultPipe};
        host = FakeHost();
        inProcess = true;
        install();
    }
    void cleanup()
    {
        for (SimConnectHandle h : open)
            SimConnect_Close(h);
        open.clear();
        FakeIo::drainCancelled();
        QCOMPARE(SimConnectTransport::liveTransports(), 0);
        QCOMPARE(SimConnectConnection::liveConnections(), 0);
        QVERIFY2(host.outstanding.empty(), "a lent block was never returned to the simulator");
    }

    void registrationThenSendsInLentBlocks()
    {
        SimConnectHandle h = openOne();
        QVERIFY(h);
        FakeIo *io = world.lastIo;
        const std::uint32_t identity = conn(h)->serial();
        // Connection, then first client; the Open itself still goes over the pipe.
        QCOMPARE(host.kinds(), (std::vector<std::uint32_t>{5, 4}));
        QCOMPARE(host.requests[0].identity, identity);
        QCOMPARE(host.requests[0].first, std::uint64_t(reinterpret_cast<std::uintptr_t>(h)));
        QCOMPARE(io->writes.size(), std::size_t(1));
        QCOMPARE(conn(h)->inProcessState(), 1);

        // An OPEN of another size, and a 308-byte message that is no OPEN, change nothing.
        io->deliver(openReply(12));
        auto notOpen = openReply(kOpenReplySizeInProcess);
        writeU32LE(notOpen.data() + 8, kRecvSystemState);
        io->deliver(notOpen);
        Seen seen;
        QCOMPARE(SimConnect_CallDispatch(h, record, &seen), S_OK32);
        QCOMPARE(host.kinds().size(), std::size_t(2));

        io->deliver(openReply(kOpenReplySizeInProcess));
        io->deliver(openReply(kOpenReplySizeInProcess));   // only the first one counts
        QCOMPARE(SimConnect_CallDispatch(h, record, &seen), S_OK32);
        QCOMPARE(seen.ids, (std::vector<std::uint32_t>{2, 15, 2, 2}));
        QCOMPARE(host.kinds(), (std::vector<std::uint32_t>{5, 4, 1}));
        QCOMPARE(host.requests[2].identity, identity);
        QVERIFY(host.lend && host.deliver);
        QCOMPARE(conn(h)->inProcessState(), 2);

        // A request now borrows a block, fills it and hands it over; the pipe sees nothing.
        QCOMPARE(SimConnect_RequestSystemState(h, 1, "Sim"), S_OK32);
        QCOMPARE(SimConnect_ClearDataDefinition(h, 9), S_OK32);
        QCOMPARE(host.kinds(), (std::vector<std::uint32_t>{5, 4, 1, 2, 3, 2, 3}));
        QCOMPARE(io->writes.size(), std::size_t(1));
        QCOMPARE(host.handedOver.size(), std::size_t(2));
        const auto &state = host.handedOver[0];
        QCOMPARE(state.size(), std::size_t(kSizeRequestSystemState));
        QCOMPARE(readU32LE(state.data() + 8), std::uint32_t(kIdRequestSystemState));
        QCOMPARE(readU32LE(state.data() + 12), 2u);   // the send ids run on from the Open
        for (std::size_t i = 24; i < state.size(); ++i)
            QCOMPARE(int(state[i]), 0);   // the lent block was zeroed
        QCOMPARE(readU32LE(host.handedOver[1].data() + 12), 3u);
        QCOMPARE(conn(h)->lentBlocks(), std::size_t(0));
        QCOMPARE(conn(h)->sendBufferFill(), 0u);
    }

    void deliveredMessagesAreGivenBackAfterDispatch()
    {
        Seen seen;
        SimConnectHandle h = openLent(seen);
        QVERIFY(h);
        const std::uint32_t identity = conn(h)->serial();
        host.givenBack.clear();
        seen = Seen();

        QCOMPARE(host.send(identity, serverMessage(8, {0, 0, 0, 0, 0, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8})), 1);
        QCOMPARE(host.send(identity, {8, 0, 0, 0, 4, 0, 0, 0}), 1);   // too short: dropped, still given back
        QCOMPARE(host.send(identity, serverMessage(15, {1})), 1);
        QCOMPARE(host.send(identity + 1000, serverMessage(15, {1})), 0);   // no such connection
        QCOMPARE(conn(h)->receiveQueued(), std::size_t(3));
        const std::vector<const std::uint8_t *> lent(host.outstanding.begin(), host.outstanding.end());

        QCOMPARE(SimConnect_CallDispatch(h, record, &seen), S_OK32);
        QCOMPARE(seen.ids, (std::vector<std::uint32_t>{8, 15}));
        // Delivered in place, from the simulator's memory, then returned in order.
        QCOMPARE(seen.pointers[0], lent[0]);
        QCOMPARE(seen.pointers[1], lent[2]);
        QCOMPARE(host.givenBack, lent);
        QVERIFY(host.outstanding.empty());

        // Left undelivered at close: given back too, never freed by the client.
        QCOMPARE(host.send(identity, serverMessage(15, {1})), 1);
        closeOne(h);
        QVERIFY(host.outstanding.empty());
        QCOMPARE(host.kinds().back(), std::uint32_t(kHostGiveBack));
    }

    void failedClaimsAndFillsLeaveNothingLent()
    {
        Seen seen;
        SimConnectHandle h = openLent(seen);
        QVERIFY(h);
        const std::size_t before = host.requests.size();

        // A string that does not fit: the lent block goes back, nothing is handed over.
        const std::string n256(256, 'B');
        QCOMPARE(SimConnect_RequestSystemState(h, 1, n256.c_str()), E_TOOLONG32);
        QCOMPARE(host.handedOver.size(), std::size_t(0));
        QCOMPARE(host.kinds().back(), std::uint32_t(kHostGiveBack));

        // The simulator lends nothing, or too little: the call fails and sends nothing.
        host.refuseLend = true;
        QCOMPARE(SimConnect_ClearDataDefinition(h, 1), E_FAIL32);
        host.refuseLend = false;
        host.lendShortBy = 1;
        QCOMPARE(SimConnect_ClearDataDefinition(h, 1), E_FAIL32);
        host.lendShortBy = 0;
        QCOMPARE(host.handedOver.size(), std::size_t(0));
        QCOMPARE(world.lastIo->writes.size(), std::size_t(1));

        // A lend nobody asked for is refused.
        std::uint8_t stray[64];
        QCOMPARE(host.lend(conn(h)->serial(), stray, sizeof stray), 0);

        // With a lend, the next call goes out as usual.
        QCOMPARE(SimConnect_ClearDataDefinition(h, 1), S_OK32);
        QCOMPARE(host.handedOver.size(), std::size_t(1));
        QVERIFY(host.requests.size() > before);
        QCOMPARE(conn(h)->lentBlocks(), std::size_t(0));
    }

    void lastCloseDeregistersOnce()
    {
        Seen seen;
        SimConnectHandle a = openLent(seen);
        QVERIFY(a);
        SimConnectHandle b = openOne();
        QVERIFY(b);
        const std::uint32_t idA = conn(a)->serial();
        QCOMPARE(host.kinds(), (std::vector<std::uint32_t>{5, 4, 1, 5}));   // the second is no first client
        closeOne(a);
        auto count = [&](std::uint32_t kind) {
            const auto k = host.kinds();
            return std::count(k.begin(), k.end(), kind);
        };
        QCOMPARE(count(kHostDeregister), 0);
        // Entry points called for a closed connection are refused.
        QCOMPARE(host.send(idA, serverMessage(15, {1})), 0);
        std::uint8_t block[64];
        QCOMPARE(host.lend(idA, block, sizeof block), 0);

        closeOne(b);
        QCOMPARE(count(kHostDeregister), 1);
        QCOMPARE(host.kinds().back(), std::uint32_t(kHostDeregister));

        // The next connection is a first client again.
        host.requests.clear();
        SimConnectHandle c = openOne();
        QVERIFY(c);
        QCOMPARE(host.kinds(), (std::vector<std::uint32_t>{5, 4}));
    }

    void separateProcessDoesNoneOfIt()
    {
        // The simulator's window belongs to another process, or there is none.
        inProcess = false;
        install();
        SimConnectHandle h = openOne();
        QVERIFY(h);
        FakeIo *io = world.lastIo;
        io->deliver(openReply(kOpenReplySizeInProcess));
        Seen seen;
        QCOMPARE(SimConnect_CallDispatch(h, record, &seen), S_OK32);
        QCOMPARE(seen.ids, (std::vector<std::uint32_t>{2}));
        QCOMPARE(conn(h)->inProcessState(), 0);
        QCOMPARE(SimConnect_RequestSystemState(h, 1, "Sim"), S_OK32);
        io->drainWrites();
        QCOMPARE(io->writes.size(), std::size_t(2));   // over the pipe, as always
        closeOne(h);
        QVERIFY(host.requests.empty());
    }
};

QTEST_GUILESS_MAIN(TstSimConnectInProcess)
#include "tst_simconnectinprocess.moc"
