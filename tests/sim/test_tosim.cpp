#include <QtTest>

#include <QMutex>

#include <atomic>
#include <thread>

#include "cudpsocket.h"
#include "stdoutcapture.h"
#include "tosim.h"

namespace {

QMutex g_logMutex;
QStringList g_log;

void collect(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    QMutexLocker lock(&g_logMutex);
    g_log << msg;
}

QStringList logged()
{
    QMutexLocker lock(&g_logMutex);
    return g_log;
}

void sendControl(const std::string &bytes)
{
    CUdpSocket s;
    s.open("127.0.0.1", 0);
    s.sendTo(bytes.data(), static_cast<std::uint32_t>(bytes.size()), CUdpSocket::makeAddress("127.0.0.1", 9998));
    s.close();
}

bool portHeld(std::uint16_t port)
{
    CUdpSocket probe;
    StdoutCapture quiet;
    probe.open("127.0.0.1", port);
    const bool held = !probe.ready;
    probe.close();
    return held;
}

} // namespace

class TestToSim : public QObject
{
    Q_OBJECT
private slots:
    void controlBytesAndStop();
    void sendWhileTheListenerComesAndGoes();
};

void TestToSim::controlBytesAndStop()
{
    qInstallMessageHandler(collect);
    StdoutCapture out;
    toSim listener;
    toSim::runFlag = 1;
    listener.start();
    // Greets until the listener answers (a probe binding the port could keep
    // the listener from binding it).
    for (int i = 0; i < 200 && !logged().contains("First Comm!"); ++i) {
        sendControl(std::string("\x01", 1));
        QTest::qWait(10);
    }
    QTest::qWait(50);
    const int greetings = logged().count("First Comm!");
    QVERIFY(greetings >= 1);

    // send() passes on exactly the bytes it is given.
    CUdpSocket rx;
    rx.open("127.0.0.1", 0);
    listener.send("abc", 3, CUdpSocket::makeAddress("127.0.0.1", platform::socketLocalPort(rx.socketHandle)));
    char buf[2048];
    QCOMPARE(rx.recvFrom(buf, sizeof buf, nullptr), 3);
    rx.close();

    // A longer datagram counts by its first byte; the socket reports the cut.
    sendControl(std::string("\x01\x02\x03", 3));
    QTRY_COMPARE(logged().count("First Comm!"), greetings + 1);
    QTRY_VERIFY(QString::fromStdString(out.text()).contains("CUdpSocket ERROR: recvFrom failed."));

    // Other bytes are ignored; 0xFF ends the loop and closes the socket.
    sendControl(std::string("\x42", 1));
    sendControl(std::string("\xFF", 1));
    QVERIFY(listener.wait(2000));
    QCOMPARE(toSim::runFlag.load(), 0);
    QCOMPARE(logged().count("Socket Close"), 1);
    QCOMPARE(logged().count("First Comm!"), greetings + 1);
    QVERIFY(!portHeld(9998));
    qInstallMessageHandler(nullptr);
}

void TestToSim::sendWhileTheListenerComesAndGoes()
{
    // Another thread sends all along while listeners create their socket and,
    // on the stop byte, delete it: a send either goes out or does nothing,
    // and never touches a socket being deleted.
    StdoutCapture out;
    toSim listener;
    std::atomic<bool> done{false};
    std::atomic<int> sends{0};
    const sockaddr_in nowhere = CUdpSocket::makeAddress("127.0.0.1", 9);
    struct Joined : std::thread {
        using std::thread::thread;
        std::atomic<bool> *done = nullptr;
        ~Joined() { *done = true; join(); }
    } sender([&] {
        while (!done) {
            listener.send("x", 1, nowhere);
            ++sends;
        }
    });
    sender.done = &done;
    for (int round = 0; round < 20; ++round) {
        toSim::runFlag = 1;
        listener.start();
        // Stop bytes until one arrives (no probe binding the port, which
        // could keep the listener from binding it).
        for (int i = 0; i < 200 && !listener.wait(10); ++i)
            sendControl(std::string("\xFF", 1));
        QVERIFY(listener.isFinished());
    }
    QVERIFY(sends.load() > 0);
    QVERIFY(!portHeld(9998));
}

QTEST_GUILESS_MAIN(TestToSim)
#include "test_tosim.moc"
