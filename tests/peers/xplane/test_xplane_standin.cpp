#include <QtTest>

#include "flightscript.h"
#include "xplaneconnect.h"
#include "xplanestandin.h"

namespace {

float dref(const XPlaneAircraft &a, const char *name, int i = 0) { return a.datarefs.at(name).at(i); }

const char *const kIas = "sim/flightmodel/position/indicated_airspeed";
const char *const kHeight = "sim/cockpit2/gauges/indicators/radio_altimeter_height_ft_pilot";
const char *const kGear = "sim/flightmodel2/gear/on_ground";

} // namespace

class TestXPlaneStandIn : public QObject
{
    Q_OBJECT
private slots:
    void scriptFliesACircuit();
    void executablePlaysTheFlight();
};

void TestXPlaneStandIn::scriptFliesACircuit()
{
    std::string phase;
    QStringList seen;
    double lastHeight = 0;
    for (double t = 0; t < FlightScript::kLoopSeconds; t += 0.5) {
        const XPlaneAircraft a = FlightScript::at(t, &phase);
        if (seen.isEmpty() || seen.last() != QString::fromStdString(phase))
            seen << QString::fromStdString(phase);
        const double h = dref(a, kHeight);
        // No jumps in height (a smooth script) and never below the runway.
        QVERIFY2(std::abs(h - lastHeight) < 20.0, qPrintable(QString("t=%1").arg(t)));
        QVERIFY(h >= 0.0);
        QCOMPARE(dref(a, kGear), h <= 0.0 ? 1.0f : 0.0f);
        QVERIFY(std::abs(a.altitudeM - (a.terrainElevationM + h * 0.3048)) < 1e-3);
        lastHeight = h;
    }
    QCOMPARE(seen, (QStringList{"taxi", "take-off roll", "climb", "cruise", "turbulence", "stall", "approach",
                                "landing", "roll-out"}));
    // Parked, airborne in the turn, and back on the ground.
    QCOMPARE(dref(FlightScript::at(0), kIas), 0.0f);
    QVERIFY(dref(FlightScript::at(130), kHeight) > 500.0f);
    QVERIFY(std::abs(FlightScript::at(130).roll) > 10.0f);
    QCOMPARE(dref(FlightScript::at(230), kGear), 1.0f);
    // It loops.
    QCOMPARE(dref(FlightScript::at(130 + FlightScript::kLoopSeconds), kHeight), dref(FlightScript::at(130), kHeight));
}

void TestXPlaneStandIn::executablePlaysTheFlight()
{
    // A free port for the server.
    XpcSocket probe = OpenUDP("127.0.0.1", 1, 0);
    const std::uint16_t port = platform::socketLocalPort(probe.sock);
    closeUDP(probe);

    QProcess server;
    server.start(QString::fromUtf8(STANDIN_PATH), {"--port", QString::number(port), "--seconds", "30"});
    QVERIFY(server.waitForStarted(5000));
    QVERIFY(server.waitForReadyRead(5000));
    QVERIFY(server.readLine().contains(QByteArray("127.0.0.1:") + QByteArray::number(port)));

    XpcSocket s = OpenUDP("127.0.0.1", port, 0);
    double posi[7] = {};
    QTRY_COMPARE(getPOSI(s, posi, 0), 0);
    QVERIFY(std::abs(posi[0] - 47.4647) < 0.01);
    float values[kXpcDrefCount][5] = {};
    float *buffers[kXpcDrefCount];
    int sizes[kXpcDrefCount];
    for (int i = 0; i < kXpcDrefCount; ++i) {
        buffers[i] = values[i];
        sizes[i] = xpcDrefSizes[i];
    }
    QCOMPARE(getDREFs(s, xpcDrefNames, buffers, kXpcDrefCount, sizes), 0);
    QVERIFY(values[16][0] > 500.0f);   // the engine turns while taxiing
    closeUDP(s);
    server.kill();
    server.waitForFinished(3000);
}

QTEST_GUILESS_MAIN(TestXPlaneStandIn)
#include "test_xplane_standin.moc"
