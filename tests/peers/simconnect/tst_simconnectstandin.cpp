// The SimConnect stand-in, spoken to over raw TCP: what it accepts, rejects,
// answers and streams.
#include "simconnectmessages.h"
#include "simconnectserver.h"

#include <QtTest>
#ifdef _WIN32
#  include <winsock2.h>
#  include <ws2tcpip.h>
using SocketFd = SOCKET;
const SocketFd NoSocket = INVALID_SOCKET;
inline int pollSocket(pollfd *p, int ms) { return ::WSAPoll(p, 1, ms); }
inline void closeSocket(SocketFd s) { ::closesocket(s); }
#else
#  include <arpa/inet.h>
#  include <netinet/in.h>
#  include <poll.h>
#  include <sys/socket.h>
#  include <unistd.h>
using SocketFd = int;
const SocketFd NoSocket = -1;
inline int pollSocket(pollfd *p, int ms) { return ::poll(p, 1, ms); }
inline void closeSocket(SocketFd s) { ::close(s); }
#endif

using namespace simconnect;

namespace {

class Client {
public:
    bool connectTo(std::uint16_t port)
    {
#ifdef _WIN32
        WSADATA wsa;
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    }
    ~Client()
    {
        if (fd_ != NoSocket)
            closeSocket(fd_);
    }
    void send(std::vector<std::uint8_t> m)
    {
        writeU32LE(m.data() + 12, ++sendId_);
        QCOMPARE(long(::send(fd_, reinterpret_cast<const char *>(m.data()), int(m.size()), 0)), long(m.size()));
    }
    // One whole message, empty on time-out; eof set when the server closed.
    std::vector<std::uint8_t> next(int ms = 1000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            if (buf_.size() >= 4 && buf_.size() >= readU32LE(buf_.data())) {
                const std::uint32_t n = readU32LE(buf_.data());
                std::vector<std::uint8_t> m(buf_.begin(), buf_.begin() + n);
                buf_.erase(buf_.begin(), buf_.begin() + n);
                return m;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                return {};
            pollfd p{fd_, POLLIN, 0};
            if (pollSocket(&p, int(left)) <= 0)
                continue;
            std::uint8_t tmp[4096];
            const long n = ::recv(fd_, reinterpret_cast<char *>(tmp), sizeof tmp, 0);
            if (n <= 0) {
                eof = true;
                return {};
            }
            buf_.insert(buf_.end(), tmp, tmp + n);
        }
    }
    // Skips messages until one of that id arrives.
    std::vector<std::uint8_t> nextOf(std::uint32_t id, int ms = 1000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            auto m = next(50);
            if (!m.empty() && readU32LE(m.data() + 8) == id)
                return m;
            if (eof)
                break;
        }
        return {};
    }
    bool eof = false;

private:
    SocketFd fd_ = NoSocket;
    std::uint32_t sendId_ = 0;
    std::vector<std::uint8_t> buf_;
};

std::vector<std::uint8_t> openMsg(const char *name = "KORVEL")
{
    std::vector<std::uint8_t> m(kSizeOpen, 0);
    fillOpen(m.data(), name);
    return m;
}
std::vector<std::uint8_t> defineMsg(const char *name)
{
    std::vector<std::uint8_t> m(kSizeAddToDataDefinition, 0);
    fillAddToDataDefinition(m.data(), 0, name, "Feet", 4, 0, 0xFFFFFFFFu);
    return m;
}
std::vector<std::uint8_t> requestMsg(std::uint32_t period = 2)
{
    std::vector<std::uint8_t> m(kSizeRequestDataOnSimObject, 0);
    fillRequestDataOnSimObject(m.data(), 0, 0, 0, period, 0, 0, 0, 0);
    return m;
}
std::vector<std::uint8_t> stateMsg(std::uint32_t req)
{
    std::vector<std::uint8_t> m(kSizeRequestSystemState, 0);
    fillRequestSystemState(m.data(), req, "Sim");
    return m;
}

} // namespace

class TstSimConnectStandIn : public QObject {
    Q_OBJECT
private slots:
    void opensStreamsAndAnswers()
    {
        simpeer::SimConnectServer server;
        QVERIFY(server.listenTcp(0, 0));
        server.setValue("PLANE ALTITUDE", 1500.0);
        server.setValue("AILERON TRIM", -0.5);
        server.setFrameRate(100);
        Client c;
        QVERIFY(c.connectTo(server.port4()));
        c.send(openMsg());
        auto open = c.next();
        QCOMPARE(open.size(), std::size_t(308));
        QCOMPARE(readU32LE(open.data() + 8), 2u);
        c.send(defineMsg("PLANE ALTITUDE"));
        c.send(defineMsg("UNKNOWN THING"));
        c.send(defineMsg("AILERON TRIM"));
        c.send(requestMsg());
        auto data = c.nextOf(8);
        QCOMPARE(data.size(), std::size_t(40 + 24));
        QCOMPARE(readU32LE(data.data() + 12), 0u);   // request id
        QCOMPARE(readF64LE(data.data() + 40), 1500.0);
        QCOMPARE(readF64LE(data.data() + 48), 0.0);
        QCOMPARE(readF64LE(data.data() + 56), -0.5);

        // The frame rate holds: about 100 frames a second (of the time the
        // wait really took, on a loaded machine longer than asked).
        const std::uint64_t before = server.framesSent();
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(500);
        const double perSecond = double(server.framesSent() - before) * 1000.0 / double(clock.elapsed());
        QVERIFY2(perSecond >= 70 && perSecond <= 120, qPrintable(QString::number(perSecond)));

        c.send(stateMsg(1));
        auto state = c.nextOf(15);
        QVERIFY(!state.empty());
        QCOMPARE(readU32LE(state.data() + 12), 1u);

        const auto got = server.received();
        QCOMPARE(got.size(), std::size_t(6));
        for (std::size_t i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].sendId, std::uint32_t(i + 1));
            QVERIFY(!got[i].rejected);
        }
        QCOMPARE(got[0].text, std::string("KORVEL"));
        QCOMPARE(got[2].text, std::string("UNKNOWN THING"));
        QCOMPARE(got[5].text, std::string("Sim"));
        // Its IPv6 listener answers the client's registry session under Wine.
    }

    void rejectsWrongVersionAndSize()
    {
        simpeer::SimConnectServer server;
        QVERIFY(server.listenTcp(0, 0));
        Client c;
        QVERIFY(c.connectTo(server.port4()));
        auto bad = openMsg();
        writeU32LE(bad.data() + 4, 29);
        c.send(bad);
        auto ex = c.next();
        QCOMPARE(readU32LE(ex.data() + 8), 1u);   // EXCEPTION, no OPEN
        std::vector<std::uint8_t> wrongSize(24, 0);
        fillClearDataDefinition(wrongSize.data(), 0);
        writeU32LE(wrongSize.data(), 24);
        c.send(wrongSize);
        QCOMPARE(readU32LE(c.next().data() + 8), 1u);
        const auto got = server.received();
        QCOMPARE(got.size(), std::size_t(2));
        QVERIFY(got[0].rejected && got[1].rejected);
        QCOMPARE(got[0].version, 29u);
    }

    void silentQuitAndStop()
    {
        simpeer::SimConnectServer server;
        QVERIFY(server.listenTcp(0, 0));
        Client c;
        QVERIFY(c.connectTo(server.port4()));
        c.send(openMsg());
        c.send(defineMsg("PLANE ALTITUDE"));
        c.send(requestMsg());
        QVERIFY(!c.nextOf(8).empty());

        server.setSilent(true);
        c.next(100);   // at most a frame in flight
        c.send(stateMsg(1));
        QVERIFY(c.next(400).empty());
        QVERIFY(!c.eof);   // quiet, not closed
        // A connection made now is answered.
        Client d;
        QVERIFY(d.connectTo(server.port4()));
        d.send(openMsg());
        QCOMPARE(readU32LE(d.next().data() + 8), 2u);

        server.sendQuit();
        QVERIFY(!d.nextOf(3).empty());
        QVERIFY(!d.eof);
        server.stop();
        // Stopping: QUIT, then the connections close (silent ones too).
        for (Client *x : {&c, &d}) {
            bool quit = false;
            for (int i = 0; i < 100 && !x->eof; ++i) {
                auto m = x->next(50);
                quit = quit || (!m.empty() && readU32LE(m.data() + 8) == 3);
            }
            QVERIFY(x->eof);
            QVERIFY(quit || x == &d);
        }
    }
};

QTEST_GUILESS_MAIN(TstSimConnectStandIn)
#include "tst_simconnectstandin.moc"
