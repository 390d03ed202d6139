#pragma once
// The live cross-hair of the curve plot: two of its graphs, drawn on a
// widget that lies over the plot instead of into the plot's own buffers. A
// live point then costs neither a replot nor the clearing of a plot-sized
// buffer: the screen is refreshed only in the strips the two lines leave and
// enter, at most once per screen refresh. The widget is opaque: it puts down
// a copy of the plot as last replotted (see OpaqueBackdrop) under the lines, so
// the plot does not compose its background and buffers again for every
// strip. The graphs keep their data, pens, layer and selection like the
// others; the latest point is always drawn, at most one refresh after it came.
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class QCustomPlot;
class QCPAxis;
class QCPGraph;
class QRegion;

class LiveCrosshair : public QWidget
{
public:
    // Adds to the plot a graph that only this overlay draws; use it for the
    // two lines, in the order in which the plot's graphs are made.
    static QCPGraph *addLineGraph(QCustomPlot *plot);

    LiveCrosshair(QCustomPlot *plot, QCPGraph *vertical, QCPGraph *horizontal);

    // The lines' data have changed: shown now, or with the next frame when
    // the last one was shown less than a refresh ago.
    void requestFrame();
    // The axes have changed: the whole plot is drawn again at once.
    void replotAll();
    bool framePending() const { return m_frameTimer.isActive(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showFrame();
    QRegion linesRegion(double position, double force) const;
    double frameIntervalNs() const;
    void currentLines(double *position, double *force) const;

    QCustomPlot *m_plot;
    QCPGraph *m_vertical, *m_horizontal;
    QTimer m_frameTimer;
    QElapsedTimer m_lastFrame;
    bool m_shownValid = false;
    double m_shownPosition = 0.0, m_shownForce = 0.0;   // where the lines are on screen
};
