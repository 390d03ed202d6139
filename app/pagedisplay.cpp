#include "pagedisplay.h"

#include <QEvent>
#include <QWidget>

PageDisplay::PageDisplay(QWidget *page, std::function<void()> write, QObject *parent)
    : QObject(parent), m_page(page), m_write(std::move(write))
{
    page->installEventFilter(this);
}

void PageDisplay::refresh()
{
    // In view even while the window itself is not shown: a page switched to
    // in a hidden window would otherwise wait for the window.
    m_pending = !m_page->isVisibleTo(m_page->window());
    if (!m_pending)
        m_write();
}

bool PageDisplay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_page && event->type() == QEvent::Show && m_pending) {
        m_pending = false;
        m_write();
    }
    return false;
}
