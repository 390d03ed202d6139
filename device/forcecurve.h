#pragma once
// Arithmetic of the force-curve plot and the live cross-hair, without widgets.

#include <QString>
#include <QVector>
#include <cstdint>

#include "device_records.h"

// Device position units are multiplied by these factors for display:
// millimetres on the pitch channel, degrees on the roll channel.
constexpr float kPitchPositionScale = 4.125f;
constexpr float kRollPositionScale = 4.5f;

// Channel 0 uses the pitch factor; every other channel number the roll one.
float positionScaleForChannel(int channel);

// Axis ranges and labels of the curve plot for one channel.
struct CurveAxisSet
{
    double xMin = 0.0, xMax = 0.0;
    double yMin = 0.0, yMax = 0.0;
    QString xLabel;
    QString yLabel;
    int tickCount = 11;
};

// False for a channel without an axis set (the axes are then left alone).
bool curveAxisSetForChannel(int channel, CurveAxisSet *out);

// The five curve values of a channel record, in device units.
struct ForceCurveParams
{
    float slope1 = 0.0f, slope2 = 0.0f, slope3 = 0.0f;
    float point1 = 0.0f, point2 = 0.0f;
};

// The curve values of a channel record (received or to be sent).
template <int N>
ForceCurveParams forceCurveParamsFromImage(const ChanConfigImage<N> &record)
{
    ForceCurveParams p;
    p.slope1 = record.slope_1();
    p.slope2 = record.slope_2();
    p.slope3 = record.slope_3();
    p.point1 = record.point_1();
    p.point2 = record.point_2();
    return p;
}

// Ten-point polyline of a channel's force curve: slope_2 through the origin
// between point_1 and point_2, slope_1 out to -20 and slope_3 out to +20
// device units; the keys of points 1, 2, 4 and 5 are scaled for display.
// Unused points stay at (0, 0), as the plot has always drawn them.
struct ForceCurvePoints
{
    QVector<double> keys;
    QVector<double> values;
};
ForceCurvePoints buildForceCurve(const ForceCurveParams &p, float scale);

// The scaled numbers the live display shows for one channel's live data.
struct LivePointView
{
    double position = 0.0;  // display units
    double force = 0.0;     // N, unscaled
    double trim = 0.0;      // display units
    QString positionText;   // "%.2f"
    QString forceText;      // "%.1f"
    QString trimText;       // "%.2f"
};
LivePointView livePointView(int channel, float position, float force, float trim);

// The curve editor's five points (display units; point 4 mirrors point 3 and
// point 3 is the origin) and the curve they give in device units. A segment
// without width has slope 1.0 rather than a division by zero.
struct ForceCurveEdit
{
    QVector<double> keys;     // ten points as shown
    QVector<double> values;
    float slope1 = 1.0f, slope2 = 1.0f, slope3 = 1.0f;
    float point1 = 0.0f, point2 = 0.0f;   // device units
};
ForceCurveEdit forceCurveFromEditor(double pos2, double pos3, double pos5, double foc2, double foc3, double foc5,
                                    float scale);
