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
    // Whether or not the window itself is shown yet.
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
