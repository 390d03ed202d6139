#include "livecrosshair.h"

#include <QRegion>
#include <QScreen>
#include <qcustomplot.h>

namespace {
// Half the width of a strip around a line: the pen, its antialiasing and the
// wider pen of a selected graph all stay inside it.
constexpr int kStripHalfWidth = 3;
const QString kLayerName = QStringLiteral("overlay");
}

LiveCrosshair::LiveCrosshair(QCustomPlot *plot, int vertical, int horizontal, QObject *parent)
    : QObject(parent), m_plot(plot), m_vertical(vertical), m_horizontal(horizontal)
{
    // The two lines live on the plot's top layer with a paint buffer of its
    // own, so drawing them leaves the curve, grid and axes untouched.
    m_layer = plot->layer(kLayerName);
    if (!m_layer) {
        plot->addLayer(kLayerName);
        m_layer = plot->layer(kLayerName);
    }
    m_layer->setMode(QCPLayer::lmBuffered);
    plot->graph(vertical)->setLayer(m_layer);
    plot->graph(horizontal)->setLayer(m_layer);

    m_frameTimer.setSingleShot(true);
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_frameTimer, &QTimer::timeout, this, &LiveCrosshair::drawFrame);
}

double LiveCrosshair::frameIntervalNs() const
{
    const QScreen *screen = m_plot->screen();
    const double hz = screen && screen->refreshRate() >= 1.0 ? screen->refreshRate() : 60.0;
    return 1e9 / hz;
}

void LiveCrosshair::requestFrame()
{
    if (m_frameTimer.isActive())
        return;   // the frame that is due draws the latest data
    const double wait = m_lastFrame.isValid() ? frameIntervalNs() - double(m_lastFrame.nsecsElapsed()) : 0.0;
    if (wait <= 0.0)
        drawFrame();
    else
        m_frameTimer.start(int(wait / 1e6) + 1);
}

void LiveCrosshair::replotAll()
{
    m_frameTimer.stop();
    m_plot->replot(QCustomPlot::rpRefreshHint);
    m_lastFrame.start();
    currentLines(&m_drawnPosition, &m_drawnForce);
    m_drawnValid = true;
}

void LiveCrosshair::currentLines(double *position, double *force) const
{
    const QSharedPointer<QCPGraphDataContainer> v = m_plot->graph(m_vertical)->data();
    const QSharedPointer<QCPGraphDataContainer> h = m_plot->graph(m_horizontal)->data();
    *position = v->isEmpty() ? 0.0 : v->constBegin()->key;
    *force = h->isEmpty() ? 0.0 : h->constBegin()->value;
}

QRegion LiveCrosshair::linesRegion(double position, double force) const
{
    // Both lines reach past the axis rect, which clips them: a vertical strip
    // at the position and a horizontal one at the force, each across it.
    const int m = kStripHalfWidth;
    const QRect area = m_plot->axisRect()->rect().adjusted(-m, -m, m, m);
    const double x = qBound(double(area.left()), m_plot->xAxis->coordToPixel(position), double(area.right()));
    const double y = qBound(double(area.top()), m_plot->yAxis->coordToPixel(force), double(area.bottom()));
    QRegion r(QRect(int(x) - m, area.top(), 2 * m + 1, area.height()) & area);
    r += QRect(area.left(), int(y) - m, area.width(), 2 * m + 1) & area;
    return r;
}

void LiveCrosshair::drawFrame()
{
    m_frameTimer.stop();
    m_lastFrame.start();
    double position, force;
    currentLines(&position, &force);
    QRegion dirty = linesRegion(position, force);
    if (m_drawnValid)
        dirty += linesRegion(m_drawnPosition, m_drawnForce);

    // The layer redraws its own buffer and then asks for the whole widget to
    // be painted again; only the strips have changed, so that request is held
    // back and the strips are asked for instead. A layer whose buffers are
    // stale replots the whole plot instead, which is then shown whole.
    bool wholePlot = false;
    const QMetaObject::Connection watch =
        connect(m_plot, &QCustomPlot::beforeReplot, this, [&wholePlot] { wholePlot = true; });
    const bool updatesWereDisabled = m_plot->testAttribute(Qt::WA_UpdatesDisabled);
    m_plot->setAttribute(Qt::WA_UpdatesDisabled, true);
    m_layer->replot();
    m_plot->setAttribute(Qt::WA_UpdatesDisabled, updatesWereDisabled);
    disconnect(watch);
    if (wholePlot)
        m_plot->update();
    else
        m_plot->update(dirty);

    m_drawnPosition = position;
    m_drawnForce = force;
    m_drawnValid = true;
}
