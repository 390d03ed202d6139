// Force-curve and live-point arithmetic, checked on known records.
#include "forcecurve.h"

#include <QtTest>

class TestLiveCurve : public QObject
{
    Q_OBJECT
private slots:
    void pitchCurveFromRecord();
    void unevenSlopesMeetAtBreakPoints();
};

void TestLiveCurve::pitchCurveFromRecord()
{
    UART_get_chan_config_t image;
    image.setF32(22, 2.0f);
    image.setF32(26, 2.0f);
    image.setF32(30, 2.0f);
    image.setF32(34, -5.0f);
    image.setF32(38, 5.0f);
    const ForceCurveParams p = forceCurveParamsFromImage(image);
    const ForceCurvePoints c = buildForceCurve(p, positionScaleForChannel(0));
    QCOMPARE(c.keys.size(), 10);
    QCOMPARE(c.values.size(), 10);
    const double xs[] = {-82.5, -20.625, 0.0, 20.625, 82.5};
    const double ys[] = {-40.0, -10.0, 0.0, 10.0, 40.0};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(c.keys[i + 1], xs[i]);
        QCOMPARE(c.values[i + 1], ys[i]);
    }
    // The unused points sit at the origin.
    for (int i : {0, 6, 7, 8, 9}) {
        QCOMPARE(c.keys[i], 0.0);
        QCOMPARE(c.values[i], 0.0);
    }
}

void TestLiveCurve::unevenSlopesMeetAtBreakPoints()
{
    // The outer segments must join the middle one at point_1 and point_2.
    ForceCurveParams p;
    p.slope1 = 3.0f;
    p.slope2 = 1.0f;
    p.slope3 = 0.5f;
    p.point1 = -4.0f;
    p.point2 = 6.0f;
    const ForceCurvePoints c = buildForceCurve(p, 1.0f);
    QCOMPARE(c.values[2], -4.0);
    QCOMPARE(c.values[4], 6.0);
    // Slope of the outer segments.
    QCOMPARE((c.values[2] - c.values[1]) / (c.keys[2] - c.keys[1]), 3.0);
    QCOMPARE((c.values[5] - c.values[4]) / (c.keys[5] - c.keys[4]), 0.5);
}

QTEST_APPLESS_MAIN(TestLiveCurve)
#include "test_live_curve.moc"
