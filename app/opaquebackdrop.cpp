#include "opaquebackdrop.h"

#include <QEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QVector>
#include <QWidget>

OpaqueBackdrop *OpaqueBackdrop::attach(QWidget *widget)
{
    return new OpaqueBackdrop(widget);
}

OpaqueBackdrop::OpaqueBackdrop(QWidget *widget)
    : QObject(widget), m_widget(widget)
{
    widget->setAttribute(Qt::WA_OpaquePaintEvent);
    widget->installEventFilter(this);
}

void OpaqueBackdrop::backdropChanged()
{
    m_backdrop = QPixmap();
    m_widget->update();
}

bool OpaqueBackdrop::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_widget)
        return false;
    switch (event->type()) {
    case QEvent::Paint:
        paintBackdrop(static_cast<QPaintEvent *>(event)->region());
        break;   // the widget paints itself on top
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
    case QEvent::ParentChange:
        backdropChanged();
        break;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        // The ancestors repaint for it only where the two palettes differ.
        if (!m_widget->palette().isEqual(QPalette::Active, QPalette::Inactive))
            backdropChanged();
        break;
    default:
        break;
    }
    return false;
}

void OpaqueBackdrop::paintBackdrop(const QRegion &region)
{
    const QPoint at = m_widget->mapTo(m_widget->window(), QPoint());
    const qreal dpr = m_widget->devicePixelRatioF();
    if (m_backdrop.isNull() || at != m_at || m_backdrop.devicePixelRatio() != dpr
        || m_backdrop.size() != m_widget->size() * dpr) {
        m_at = at;
        renderBackdrop();
    }
    QPainter p(m_widget);
    p.setClipRegion(region);
    p.drawPixmap(0, 0, m_backdrop);
}

void OpaqueBackdrop::renderBackdrop()
{
    const qreal dpr = m_widget->devicePixelRatioF();
    // Without alpha, as the window's own buffer: put down by a plain copy. The
    // window's background covers it first.
    m_backdrop = QPixmap(m_widget->size() * dpr);
    m_backdrop.setDevicePixelRatio(dpr);
    m_backdrop.fill(m_widget->window()->palette().color(QPalette::Window));

    // Each ancestor paints itself alone (no children), from the window down,
    // as the screen's repaint would paint them under a widget that is not
    // opaque. Ancestors leave out what an opaque child covers, hence the
    // attribute is off meanwhile; changing it schedules no repaint.
    QVector<QWidget *> ancestors;
    for (QWidget *a = m_widget->parentWidget(); a; a = a->isWindow() ? nullptr : a->parentWidget())
        ancestors.prepend(a);
    m_widget->setAttribute(Qt::WA_OpaquePaintEvent, false);
    QPainter p(&m_backdrop);
    for (QWidget *a : ancestors) {
        // The region's corner lands at the pixmap's.
        a->render(&p, QPoint(), QRegion(QRect(m_widget->mapTo(a, QPoint()), m_widget->size())),
                  a->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
    }
    m_widget->setAttribute(Qt::WA_OpaquePaintEvent, true);
}
