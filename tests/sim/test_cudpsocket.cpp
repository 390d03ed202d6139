#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>

#include "cudpsocket.h"
#include "stdoutcapture.h"

namespace {

std::uint16_t boundPort(const CUdpSocket &s) { return platform::socketLocalPort(s.socketHandle); }

// A receiving and a sending socket on loopback, closed with the pair.
struct SocketPair {
    CUdpSocket rx, tx;
    SocketPair()
    {
        rx.open("127.0.0.1", 0);
        tx.open("127.0.0.1", 0);
    }
    ~SocketPair()
    {
        rx.close();
        tx.close();
    }
    void send(const char *data, std::uint32_t n) { tx.sendTo(data, n, CUdpSocket::makeAddress("127.0.0.1", boundPort(rx))); }
};

} // namespace

class TestCUdpSocket : public QObject
{
    Q_OBJECT
private slots:
    void openFailuresAreReportedOnStdout();
    void roundTripGivesDataAndSender();
    void receiveWaitsUntilADatagramComes();
    void oversizedDatagramFailsTheReceive();
    void addressTexts();
    void failedSendNamesTheTarget();
};

void TestCUdpSocket::openFailuresAreReportedOnStdout()
{
    // A text that is no IPv4 address: reported, and no socket is made.
    {
        StdoutCapture out;
        CUdpSocket s;
        s.open("not-an-address", 0);
        QCOMPARE(QString::fromStdString(out.text()), QStringLiteral("CUdpSocket ERROR: Fail to inet_pton:0.\n"));
        QCOMPARE(s.socketHandle, platform::kInvalidSocket);
        QVERIFY(!s.ready);
    }
    // A port another socket holds: the bind line, ready false, the socket kept open.
    CUdpSocket first;
    first.open("127.0.0.1", 0);
    QVERIFY(first.ready);
    const std::uint16_t port = boundPort(first);
    QVERIFY(port != 0);
    {
        StdoutCapture out;
        CUdpSocket second;
        second.open(port);
        const QString text = QString::fromStdString(out.text());
        QVERIFY2(text.startsWith(QStringLiteral("CUdpSocket ERROR: Failed to bind socket.(Error code ")), qPrintable(text));
        QVERIFY(text.endsWith(QStringLiteral(")\n")));
        QVERIFY(!second.ready);
        QVERIFY(second.socketHandle != platform::kInvalidSocket);
        QCOMPARE(second.close(), 0);
    }
    QCOMPARE(first.close(), 0);
}

void TestCUdpSocket::roundTripGivesDataAndSender()
{
    SocketPair p;
    CUdpSocket &rx = p.rx;
    QVERIFY(rx.ready && p.tx.ready);
    const char msg[] = "hello\0world";
    p.send(msg, sizeof msg);
    char buf[1024] = {};
    sockaddr_in from{};
    const std::int32_t n = rx.recvFrom(buf, sizeof buf, reinterpret_cast<sockaddr *>(&from));
    QCOMPARE(n, std::int32_t(sizeof msg));
    QCOMPARE(std::memcmp(buf, msg, sizeof msg), 0);
    QCOMPARE(CUdpSocket::addressToString(from),
             QStringLiteral("127.0.0.1:%1").arg(boundPort(p.tx)).toStdString());
    // A null sender address is allowed.
    p.send("x", 1);
    QCOMPARE(rx.recvFrom(buf, sizeof buf, nullptr), 1);
}

void TestCUdpSocket::receiveWaitsUntilADatagramComes()
{
    SocketPair p;
    std::atomic<int> result{-100};
    std::thread reader([&] {
        char buf[64];
        result = p.rx.recvFrom(buf, sizeof buf, nullptr);
    });
    // The 1 ms receive time-out option must not end the wait.
    QTest::qWait(150);
    QCOMPARE(result.load(), -100);
    p.send("abc", 3);
    reader.join();
    QCOMPARE(result.load(), 3);
}

void TestCUdpSocket::oversizedDatagramFailsTheReceive()
{
    SocketPair p;
    p.send(std::string(100, 'z').data(), 100);
    StdoutCapture out;
    char buf[16];
    QCOMPARE(p.rx.recvFrom(buf, sizeof buf, nullptr), -3);
    QVERIFY(QString::fromStdString(out.text()).startsWith(QStringLiteral("CUdpSocket ERROR: recvFrom failed.(Error code ")));
}

void TestCUdpSocket::addressTexts()
{
    QCOMPARE(CUdpSocket::addressToString(CUdpSocket::makeAddress("127.0.0.1", 8998)), std::string("127.0.0.1:8998"));
    // A text that does not convert leaves 0.0.0.0.
    QCOMPARE(CUdpSocket::addressToString(CUdpSocket::makeAddress("nonsense", 1)), std::string("0.0.0.0:1"));
    const sockaddr_in a = CUdpSocket::makeAddress("10.1.2.3", 65535);
    QCOMPARE(int(a.sin_family), int(AF_INET));
    QCOMPARE(ntohs(a.sin_port), std::uint16_t(65535));

    sockaddr_in6 six{};
    six.sin6_family = AF_INET6;
    six.sin6_port = htons(49009);
    six.sin6_addr = in6addr_loopback;
    QCOMPARE(CUdpSocket::addressToString(reinterpret_cast<sockaddr *>(&six)), std::string("::1:49009"));

    sockaddr_storage local{};
    local.ss_family = AF_UNIX;
    QCOMPARE(CUdpSocket::addressToString(reinterpret_cast<sockaddr *>(&local)), std::string("UNKNOWN"));
}

void TestCUdpSocket::failedSendNamesTheTarget()
{
    CUdpSocket s;
    s.open("127.0.0.1", 0);
    s.close(); // sending on a closed socket fails
    StdoutCapture out;
    s.sendTo("x", 1, CUdpSocket::makeAddress("127.0.0.1", 8998));
    QCOMPARE(QString::fromStdString(out.text()),
             QStringLiteral("CUdpSocket ERROR: SendTo failed.(remote:127.0.0.1:8998)\n"));
}

QTEST_GUILESS_MAIN(TestCUdpSocket)
#include "test_cudpsocket.moc"
