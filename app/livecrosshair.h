#pragma once
// Draws the live cross-hair of the curve plot (two graphs on the plot's
// buffered top layer) at most once per screen refresh, and refreshes on
// screen only the strips the two lines leave and enter. Live points can come
// faster than the screen shows them and each would otherwise redraw and
// re-blend the whole plot; the latest point is always drawn, at most one
// refresh after it came.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QCustomPlot;
class QCPLayer;
class QRegion;

class LiveCrosshair : public QObject
{
public:
    // vertical and horizontal: the plot's graphs that carry the two lines.
    LiveCrosshair(QCustomPlot *plot, int vertical, int horizontal, QObject *parent = nullptr);

    // The lines' data have changed: draw them now, or with the next frame
    // when the last one was drawn less than a refresh ago.
    void requestFrame();
    // The axes have changed: the whole plot is drawn again at once.
    void replotAll();
    // True while a drawn frame waits for its turn.
    bool framePending() const { return m_frameTimer.isActive(); }

private:
    void drawFrame();
    QRegion linesRegion(double position, double force) const;
    double frameIntervalNs() const;
    void currentLines(double *position, double *force) const;

    QCustomPlot *m_plot;
    int m_vertical, m_horizontal;
    QCPLayer *m_layer = nullptr;
    QTimer m_frameTimer;
    QElapsedTimer m_lastFrame;
    bool m_drawnValid = false;
    double m_drawnPosition = 0.0, m_drawnForce = 0.0;   // where the lines are on screen
};
