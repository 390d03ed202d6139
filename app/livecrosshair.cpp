#include "livecrosshair.h"
#include "opaquebackdrop.h"

#include <QEvent>
#include <QPaintEvent>
#include <QRegion>
#include <QScreen>
#include <qcustomplot.h>

namespace {
// Half the width of a strip around a line: the pen, its antialiasing and the
// wider pen of a selected graph all stay inside it.
constexpr int kStripHalfWidth = 3;

// A graph that the plot's own drawing passes over; the overlay draws it, with
// the clip and antialiasing the plot's layer would give it.
class OverlayGraph : public QCPGraph
{
public:
    using QCPGraph::QCPGraph;

    void drawOnOverlay(QCPPainter *painter)
    {
        if (!realVisibility())
            return;
        m_onOverlay = true;
        painter->save();
        painter->setClipRect(clipRect().translated(0, -1));
        applyDefaultAntialiasingHint(painter);
        draw(painter);
        painter->restore();
        m_onOverlay = false;
    }

protected:
    void draw(QCPPainter *painter) override
    {
        if (m_onOverlay)
            QCPGraph::draw(painter);
    }

private:
    bool m_onOverlay = false;
};
} // namespace

QCPGraph *LiveCrosshair::addLineGraph(QCustomPlot *plot)
{
    // As QCustomPlot::addGraph makes and names its graphs.
    const int index = plot->graphCount();
    auto *g = new OverlayGraph(plot->xAxis, plot->yAxis);
    g->setName(QStringLiteral("Graph ") + QString::number(index));
    return g;
}

LiveCrosshair::LiveCrosshair(QCustomPlot *plot, QCPGraph *vertical, QCPGraph *horizontal)
    : QWidget(plot), m_plot(plot), m_vertical(vertical), m_horizontal(horizontal)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(plot->rect());
    plot->installEventFilter(this);

    // Above everything else on the plot when it comes to selecting them, as
    // on screen. Nothing else there is drawn, so the layer needs no buffer.
    QCPLayer *top = plot->layer(QStringLiteral("overlay"));
    if (!top) {
        plot->addLayer(QStringLiteral("overlay"));
        top = plot->layer(QStringLiteral("overlay"));
    }
    top->setMode(QCPLayer::lmLogical);
    vertical->setLayer(top);
    horizontal->setLayer(top);

    // The plot's look changes only with a replot, which draws its buffers
    // after this signal and repaints the plot (this widget) after them.
    OpaqueBackdrop *backdrop = OpaqueBackdrop::attach(this);
    connect(plot, &QCustomPlot::beforeReplot, backdrop, [backdrop] { backdrop->backdropChanged(); });
    // Any replot, whoever asks for it, draws the lines where their data are.
    connect(plot, &QCustomPlot::afterReplot, this, [this] {
        m_frameTimer.stop();
        m_lastFrame.start();
        currentLines(&m_shownPosition, &m_shownForce);
        m_shownValid = true;
    });

    m_frameTimer.setSingleShot(true);
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_frameTimer, &QTimer::timeout, this, &LiveCrosshair::showFrame);
    show();
}

bool LiveCrosshair::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_plot && event->type() == QEvent::Resize)
        setGeometry(m_plot->rect());
    return QWidget::eventFilter(watched, event);
}

void LiveCrosshair::paintEvent(QPaintEvent *)
{
    // The copy of the plot is down already; the lines go on top, as the
    // plot's top layer would put them.
    QCPPainter painter(this);
    for (QCPGraph *g : {m_vertical, m_horizontal})
        static_cast<OverlayGraph *>(g)->drawOnOverlay(&painter);
}

double LiveCrosshair::frameIntervalNs() const
{
    const QScreen *s = screen();
    const double hz = s && s->refreshRate() >= 1.0 ? s->refreshRate() : 60.0;
    return 1e9 / hz;
}

void LiveCrosshair::requestFrame()
{
    if (m_frameTimer.isActive())
        return;   // the frame that is due shows the latest data
    const double wait = m_lastFrame.isValid() ? frameIntervalNs() - double(m_lastFrame.nsecsElapsed()) : 0.0;
    if (wait <= 0.0)
        showFrame();
    else
        m_frameTimer.start(int(wait / 1e6) + 1);
}

void LiveCrosshair::replotAll()
{
    m_plot->replot(QCustomPlot::rpRefreshHint);   // repaints this overlay too
}

void LiveCrosshair::currentLines(double *position, double *force) const
{
    const QSharedPointer<QCPGraphDataContainer> v = m_vertical->data();
    const QSharedPointer<QCPGraphDataContainer> h = m_horizontal->data();
    *position = v->isEmpty() ? 0.0 : v->constBegin()->key;
    *force = h->isEmpty() ? 0.0 : h->constBegin()->value;
}

QRegion LiveCrosshair::linesRegion(double position, double force) const
{
    // Both lines reach past the axis rect, which clips them: a vertical strip
    // at the position and a horizontal one at the force, each across it.
    const int m = kStripHalfWidth;
    // The lines' own axis rect (the plot's lookup walks its whole layout).
    const QRect area = m_vertical->keyAxis()->axisRect()->rect().adjusted(-m, -m, m, m);
    const double x = qBound(double(area.left()), m_plot->xAxis->coordToPixel(position), double(area.right()));
    const double y = qBound(double(area.top()), m_plot->yAxis->coordToPixel(force), double(area.bottom()));
    QRegion r(QRect(int(x) - m, area.top(), 2 * m + 1, area.height()) & area);
    r += QRect(area.left(), int(y) - m, area.width(), 2 * m + 1) & area;
    return r;
}

void LiveCrosshair::showFrame()
{
    m_frameTimer.stop();
    m_lastFrame.start();
    double position, force;
    currentLines(&position, &force);
    QRegion dirty = linesRegion(position, force);
    if (m_shownValid)
        dirty += linesRegion(m_shownPosition, m_shownForce);
    update(dirty);
    m_shownPosition = position;
    m_shownForce = force;
    m_shownValid = true;
}
