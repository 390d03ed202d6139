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
