#include "opaquefield.h"

#include <QEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QVector>
#include <QWidget>

OpaqueField *OpaqueField::attach(QWidget *field)
{
    return new OpaqueField(field);
}

OpaqueField::OpaqueField(QWidget *field)
    : QObject(field), m_field(field)
{
    field->setAttribute(Qt::WA_OpaquePaintEvent);
    field->installEventFilter(this);
}

void OpaqueField::backdropChanged()
{
    m_backdrop = QPixmap();
    m_field->update();
}

bool OpaqueField::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field)
        return false;
    switch (event->type()) {
    case QEvent::Paint:
        paintBackdrop(static_cast<QPaintEvent *>(event)->region());
        break;   // the field paints itself on top
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
        if (!m_field->palette().isEqual(QPalette::Active, QPalette::Inactive))
            backdropChanged();
        break;
    default:
        break;
    }
    return false;
}

void OpaqueField::paintBackdrop(const QRegion &region)
{
    const QPoint at = m_field->mapTo(m_field->window(), QPoint());
    const qreal dpr = m_field->devicePixelRatioF();
    if (m_backdrop.isNull() || at != m_at || m_backdrop.devicePixelRatio() != dpr
        || m_backdrop.size() != m_field->size() * dpr) {
        m_at = at;
        renderBackdrop();
    }
    QPainter p(m_field);
    p.setClipRegion(region);
    p.drawPixmap(0, 0, m_backdrop);
}

void OpaqueField::renderBackdrop()
{
    const qreal dpr = m_field->devicePixelRatioF();
    // Without alpha, as the window's own buffer: put down by a plain copy. The
    // window's background covers it first.
    m_backdrop = QPixmap(m_field->size() * dpr);
    m_backdrop.setDevicePixelRatio(dpr);
    m_backdrop.fill(m_field->window()->palette().color(QPalette::Window));

    // Each ancestor paints itself alone (no children), from the window down,
    // as the screen's repaint would paint them under a field that is not
    // opaque. Ancestors leave out what an opaque child covers, hence the
    // attribute is off meanwhile; changing it schedules no repaint.
    QVector<QWidget *> ancestors;
    for (QWidget *a = m_field->parentWidget(); a; a = a->isWindow() ? nullptr : a->parentWidget())
        ancestors.prepend(a);
    m_field->setAttribute(Qt::WA_OpaquePaintEvent, false);
    QPainter p(&m_backdrop);
    for (QWidget *a : ancestors) {
        // The region's corner lands at the pixmap's.
        a->render(&p, QPoint(), QRegion(QRect(m_field->mapTo(a, QPoint()), m_field->size())),
                  a->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
    }
    m_field->setAttribute(Qt::WA_OpaquePaintEvent, true);
}
