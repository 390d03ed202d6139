#include "forcecurve.h"

float positionScaleForChannel(int channel)
{
    return channel == 0 ? kPitchPositionScale : kRollPositionScale;
}

bool curveAxisSetForChannel(int channel, CurveAxisSet *out)
{
    if (channel != 0 && channel != 1)
        return false;
    CurveAxisSet a;
    if (channel == 0) {
        a.xMin = -83.0; a.xMax = 83.0;
        a.yMin = -120.0; a.yMax = 120.0;
        a.xLabel = QStringLiteral("Position（mm）");
    } else {
        a.xMin = -90.0; a.xMax = 90.0;
        a.yMin = -60.0; a.yMax = 60.0;
        a.xLabel = QStringLiteral("Position（°）");
    }
    a.yLabel = QStringLiteral("Force（N）");
    *out = a;
    return true;
}

ForceCurvePoints buildForceCurve(const ForceCurveParams &p, float scale)
{
    ForceCurvePoints c;
    c.keys.fill(0.0, 10);
    c.values.fill(0.0, 10);
    double *x = c.keys.data();
    double *y = c.values.data();
    x[1] = -20.0;
    x[2] = p.point1;
    x[4] = p.point2;
    x[5] = 20.0;
    y[1] = double(p.slope1) * x[1] + double(p.point1) * (double(p.slope2) - double(p.slope1));
    y[2] = double(p.slope2) * x[2];
    y[4] = double(p.slope2) * x[4];
    y[5] = double(p.slope3) * x[5] + double(p.point2) * (double(p.slope2) - double(p.slope3));
    for (int i : {1, 2, 4, 5})
        x[i] *= double(scale);
    return c;
}

LivePointView livePointView(int channel, float position, float force, float trim)
{
    const float scale = positionScaleForChannel(channel);
    LivePointView v;
    v.position = double(position * scale);
    v.force = double(force);
    v.trim = double(trim * scale);
    v.positionText = QString::asprintf("%.2f", v.position);
    v.forceText = QString::asprintf("%.1f", v.force);
    v.trimText = QString::asprintf("%.2f", v.trim);
    return v;
}

ForceCurveEdit forceCurveFromEditor(double pos2, double pos3, double pos5, double foc2, double foc3, double foc5,
                                    float scale)
{
    ForceCurveEdit e;
    e.keys = QVector<double>(10, 0.0);
    e.values = QVector<double>(10, 0.0);
    e.keys[1] = pos2;
    e.keys[2] = pos3;
    e.keys[4] = -pos3;
    e.keys[5] = pos5;
    e.values[1] = foc2;
    e.values[2] = foc3;
    e.values[4] = -foc3;
    e.values[5] = foc5;

    double k[6];
    for (int i : {1, 2, 4, 5})
        k[i] = e.keys[i] / scale;
    const auto slope = [&](int a, int b) {
        const double dk = k[b] - k[a];
        return dk == 0.0 ? 1.0f : float((e.values[b] - e.values[a]) / dk);
    };
    e.slope1 = slope(1, 2);
    e.slope2 = slope(2, 4);
    e.slope3 = slope(4, 5);
    e.point1 = float(k[2]);
    e.point2 = float(k[4]);
    return e;
}
