#include <QtTest>

#include <chrono>
#include <cstring>

#include "testsupport.h"
#include "xplaneconnect.h"
#include "xplanestandin.h"

namespace {

std::string bytes(const char *p, std::size_t n) { return std::string(p, n); }

template <typename T> void put(std::string &s, T v) { s.append(reinterpret_cast<const char *>(&v), sizeof v); }

// A local client socket aimed at the stand-in.
XpcSocket clientFor(const XPlaneStandIn &server, const char *ip = "127.0.0.1")
{
    return OpenUDP(ip, server.port(), 0);
}

const char *const kEngine = "sim/cockpit2/engine/indicators/engine_speed_rpm";

} // namespace

class TestXPlaneConnect : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void requestsAreByteExact();
    void bothPositionFormsGiveTheSameValues();
    void terrainAndControlsReplies();
    void datarefCapacityOnlyShrinks();
    void wrongRowCountCopiesNothing();
    void silenceFailsAfterTheReplyWait();
    void localhostSendsToLoopbackAndRepliesComeToTheSender();
    void tooLongNameSendsNothing();
    void bindingAHeldPortEndsTheProcess();

private:
    XPlaneStandIn *m_server = nullptr;
    XpcSocket m_sock;
};

void TestXPlaneConnect::init()
{
    m_server = new XPlaneStandIn(0);
    QVERIFY(m_server->start());
    m_sock = clientFor(*m_server);
}

void TestXPlaneConnect::cleanup()
{
    closeUDP(m_sock);
    delete m_server;
    m_server = nullptr;
}

void TestXPlaneConnect::requestsAreByteExact()
{
    double posi[7];
    QCOMPARE(getPOSI(m_sock, posi, 0), 0);
    const double where[3] = {47.25, 8.5, 500.0};
    double terr[11];
    QCOMPARE(getTERR(m_sock, where, terr, 0), 0);
    XpcControls c;
    QCOMPARE(getCTRL(m_sock, &c, 3), 0);
    const char *names[2] = {"a/b", "sim/x"};
    float v0[1], v1[1];
    float *vals[2] = {v0, v1};
    int sizes[2] = {1, 1};
    QCOMPARE(getDREFs(m_sock, names, vals, 2, sizes), 0);

    const auto got = m_server->received();
    QCOMPARE(int(got.size()), 4);
    QCOMPARE(got[0].bytes, bytes("GETP\0\0", 6));
    std::string gett("GETT\0\0", 6);
    put(gett, 47.25);
    put(gett, 8.5);
    put(gett, 500.0);
    QCOMPARE(got[1].bytes, gett);
    QCOMPARE(got[2].bytes, bytes("GETC\0\3", 6));
    QCOMPARE(got[3].bytes, bytes("GETD\0\2\3a/b\5sim/x", 16));
}

void TestXPlaneConnect::bothPositionFormsGiveTheSameValues()
{
    XPlaneAircraft a = defaultAircraft();
    // Values that a float holds exactly, so both forms must agree to the bit.
    a.latitude = 47.5;
    a.longitude = -8.25;
    a.altitudeM = 432.75;
    a.pitch = 2.5f;
    a.roll = -10.0f;
    a.trueHeading = 271.5f;
    a.gear = 1.0f;
    m_server->setAircraft(a);

    double shortForm[7] = {}, longForm[7] = {};
    m_server->setLongPositionForm(false);
    QCOMPARE(getPOSI(m_sock, shortForm, 0), 0);
    m_server->setLongPositionForm(true);
    QCOMPARE(getPOSI(m_sock, longForm, 0), 0);
    const double want[7] = {47.5, -8.25, 432.75, 2.5, -10.0, 271.5, 1.0};
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(shortForm[i], want[i]);
        QCOMPARE(longForm[i], want[i]);
    }
    QCOMPARE(m_server->positionReply(false).size(), std::size_t(34));
    QCOMPARE(m_server->positionReply(true).size(), std::size_t(46));

    // The long form keeps the position's double precision.
    a.latitude = 47.123456789012;
    m_server->setAircraft(a);
    QCOMPARE(getPOSI(m_sock, longForm, 0), 0);
    QCOMPARE(longForm[0], 47.123456789012);

    // Any other length is -3 and leaves nothing half-read.
    m_server->setRawReply("GETP", std::string(40, 'x'));
    QCOMPARE(getPOSI(m_sock, longForm, 0), -3);
}

void TestXPlaneConnect::terrainAndControlsReplies()
{
    XPlaneAircraft a = defaultAircraft();
    a.terrainElevationM = 1234.5;
    a.elevator = -0.25f;
    a.aileron = 0.5f;
    a.rudder = 0.125f;
    a.throttle = 0.75f;
    a.gearHandle = 1;
    a.flaps = 0.5f;
    a.speedBrake = 0.25f;
    m_server->setAircraft(a);

    const double where[3] = {47.0, 8.0, 1500.0};
    double terr[11] = {};
    QCOMPARE(getTERR(m_sock, where, terr, 0), 0);
    QCOMPARE(terr[0], 47.0);
    QCOMPARE(terr[1], 8.0);
    QCOMPARE(terr[2], 1234.5);
    QCOMPARE(terr[5], 1.0); // the third of the eight further values

    XpcControls c;
    QCOMPARE(getCTRL(m_sock, &c, 0), 0);
    QCOMPARE(c.elevator, -0.25f);
    QCOMPARE(c.aileron, 0.5f);
    QCOMPARE(c.rudder, 0.125f);
    QCOMPARE(c.throttle, 0.75f);
    QCOMPARE(c.gear, 1.0f);
    QCOMPARE(c.flaps, 0.5f);
    QCOMPARE(c.speedBrake, 0.25f);

    m_server->setRawReply("GETT", std::string(61, 'x'));
    QCOMPARE(getTERR(m_sock, where, terr, 0), -3);
    m_server->setRawReply("GETC", std::string(30, 'x'));
    QCOMPARE(getCTRL(m_sock, &c, 0), -3);
}

void TestXPlaneConnect::datarefCapacityOnlyShrinks()
{
    const char *names[2] = {kEngine, "sim/flightmodel/position/indicated_airspeed"};
    float engines[5] = {-1, -1, -1, -1, -1};
    float ias[1] = {-1};
    float *vals[2] = {engines, ias};
    int sizes[2] = {4, 1};

    m_server->setDataref(kEngine, {2500, 2510, 2520, 2530, 2540, 2550, 2560, 2570});
    m_server->setDataref(names[1], {88.5f});
    QCOMPARE(getDREFs(m_sock, names, vals, 2, sizes), 0);
    QCOMPARE(engines[0], 2500.0f);
    QCOMPARE(engines[3], 2530.0f);
    QCOMPARE(engines[4], -1.0f); // room beyond the capacity stays untouched
    QCOMPARE(sizes[0], 4);
    QCOMPARE(ias[0], 88.5f);
    QVERIFY(QString::fromStdString(xpcLastError()).contains("values is too small. Row had 8 values, only room for 4."));

    m_server->setDataref(kEngine, {1000, 1001});
    QCOMPARE(getDREFs(m_sock, names, vals, 2, sizes), 0);
    QCOMPARE(engines[0], 1000.0f);
    QCOMPARE(engines[1], 1001.0f);
    QCOMPARE(engines[2], 2520.0f);
    QCOMPARE(sizes[0], 2);

    // Four values again: only the two places the capacity now allows.
    m_server->setDataref(kEngine, {3000, 3001, 3002, 3003});
    QCOMPARE(getDREFs(m_sock, names, vals, 2, sizes), 0);
    QCOMPARE(engines[1], 3001.0f);
    QCOMPARE(engines[2], 2520.0f);
    QCOMPARE(sizes[0], 2);
    // A row after the oversized one is still read in place.
    QCOMPARE(ias[0], 88.5f);

    // The program-wide table starts with room for four engines and three gears.
    QCOMPARE(xpcDrefSizes[16], 4);
    QCOMPARE(xpcDrefSizes[17], 3);
    QCOMPARE(QString(xpcDrefNames[16]), QString(kEngine));
}

void TestXPlaneConnect::wrongRowCountCopiesNothing()
{
    float store[kXpcDrefCount][5];
    float *vals[kXpcDrefCount];
    int sizes[kXpcDrefCount];
    for (int i = 0; i < kXpcDrefCount; ++i) {
        vals[i] = store[i];
        sizes[i] = xpcDrefSizes[i];
        for (float &f : store[i])
            f = -7.0f;
    }
    // 19 rows answer 20 names.
    std::string reply("RESP\0", 5);
    reply.push_back(19);
    for (int r = 0; r < 19; ++r) {
        reply.push_back(1);
        put(reply, 42.0f);
    }
    m_server->setRawReply("GETD", reply);
    QCOMPARE(getDREFs(m_sock, xpcDrefNames, vals, kXpcDrefCount, sizes), -2);
    for (int i = 0; i < kXpcDrefCount; ++i)
        QCOMPARE(store[i][0], -7.0f);
    QVERIFY(QString::fromStdString(xpcLastError()).contains("Expected 20 rows, got 19 instead."));

    m_server->setRawReply("GETD", std::string("RESP", 4));
    QCOMPARE(getDREFs(m_sock, xpcDrefNames, vals, kXpcDrefCount, sizes), -2);
    QVERIFY(QString::fromStdString(xpcLastError()).contains("Expected at least 6 bytes, but only got 4."));
}

void TestXPlaneConnect::silenceFailsAfterTheReplyWait()
{
    m_server->setSilent(true);
    double posi[7];
    auto t0 = std::chrono::steady_clock::now();
    QCOMPARE(getPOSI(m_sock, posi, 0), -3);
    auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    QVERIFY2(ms >= 45 && ms < 400, qPrintable(QString::number(ms)));

    float v[1];
    float *vals[1] = {v};
    int sizes[1] = {1};
    const char *names[1] = {"sim/flightmodel/position/indicated_airspeed"};
    t0 = std::chrono::steady_clock::now();
    QCOMPARE(getDREFs(m_sock, names, vals, 1, sizes), -2);
    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    QVERIFY2(ms >= 45 && ms < 400, qPrintable(QString::number(ms)));

    // Once the server answers again, so does the next request.
    m_server->setSilent(false);
    QCOMPARE(getPOSI(m_sock, posi, 0), 0);
}

void TestXPlaneConnect::localhostSendsToLoopbackAndRepliesComeToTheSender()
{
    XpcSocket s = OpenUDP("localhost", m_server->port(), 0);
    QCOMPARE(QString(s.xpIP), QStringLiteral("127.0.0.1"));
    double posi[7];
    QCOMPARE(getPOSI(s, posi, 0), 0);
    const auto got = m_server->received();
    QCOMPARE(int(got.size()), 1);
    QCOMPARE(got[0].fromIp, std::string("127.0.0.1"));
    QCOMPARE(got[0].fromPort, platform::socketLocalPort(s.sock));
    // A server on this machine: the socket listens on the loopback address
    // only. Any other server: on every local address, to hear its answers.
    const quint16 local = platform::socketLocalPort(s.sock);
    QCOMPARE(udpBindings({local}), QStringList{QStringLiteral("127.0.0.1:%1").arg(local)});
    closeUDP(s);
    XpcSocket other = OpenUDP("127.0.0.2", m_server->port(), 0);
    const quint16 otherPort = platform::socketLocalPort(other.sock);
    QCOMPARE(udpBindings({otherPort}), QStringList{QStringLiteral("127.0.0.1:%1").arg(otherPort)});
    closeUDP(other);

    // Port 0 means the plug-in's default port.
    XpcSocket d = OpenUDP("127.0.0.1", 0, 0);
    QCOMPARE(d.xpPort, std::uint16_t(49009));
    closeUDP(d);
    XpcSocket shortForm = OpenUDP("10.0.0.1");
    QCOMPARE(shortForm.xpPort, std::uint16_t(49009));
    const quint16 remotePort = platform::socketLocalPort(shortForm.sock);
    QCOMPARE(udpBindings({remotePort}), QStringList{QStringLiteral("0.0.0.0:%1").arg(remotePort)});
    closeUDP(shortForm);
}

void TestXPlaneConnect::tooLongNameSendsNothing()
{
    const std::string longName(256, 'n');
    const char *names[1] = {longName.c_str()};
    float v[1];
    float *vals[1] = {v};
    int sizes[1] = {1};
    QCOMPARE(getDREFs(m_sock, names, vals, 1, sizes), -1);
    QTest::qWait(30);
    QCOMPARE(int(m_server->received().size()), 0);
    QCOMPARE(sendUDP(m_sock, "x", 0), -1);
}

void TestXPlaneConnect::bindingAHeldPortEndsTheProcess()
{
    XpcSocket holder = OpenUDP("127.0.0.1", 49009, 0);
    const std::uint16_t held = platform::socketLocalPort(holder.sock);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--open-port", QString::number(held)});
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1);
    const QString why = QString::fromLocal8Bit(child.readAllStandardError());
    QVERIFY2(why.contains(QString::number(held)) && why.contains("bind"), qPrintable(why));
    closeUDP(holder);
}

int main(int argc, char **argv)
{
    // Child mode for the exit test: open a client on the given local port.
    if (argc == 3 && std::strcmp(argv[1], "--open-port") == 0) {
        OpenUDP("127.0.0.1", 49009, static_cast<unsigned short>(std::atoi(argv[2])));
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestXPlaneConnect t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_xplaneconnect.moc"
