#pragma once
// Numbers on a page the user may not be looking at. A line edit lays out (and
// a shown one repaints) every text it is given, seen or not, and the
// simulator poll gives new ones 62 times a second. So the page's widgets are
// written while the page is in view, and when it comes into view; meanwhile
// only the values are kept (by the caller), and the page then shows the
// latest of them.
#include <QObject>
#include <functional>

class QWidget;

class PageDisplay : public QObject
{
public:
    // write sets the page's widgets from the caller's latest values.
    PageDisplay(QWidget *page, std::function<void()> write, QObject *parent = nullptr);

    // The values have changed: written now if the page is in view (the
    // current tab of its tab widgets, and not hidden), else when it is shown.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_page;
    std::function<void()> m_write;
    bool m_pending = false;
};
