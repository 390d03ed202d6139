#pragma once
// Periodic displays set the same texts and lamp styles many times a second.
// A style sheet set again re-polishes its widget and repaints it with its
// group; a line edit's text set again is laid out and repainted anew (and
// loses the user's selection). These apply only what changes.
#include <QString>
#include <QWidget>

template <typename W>
inline void setTextIfChanged(W *w, const QString &text)
{
    if (w->text() != text)
        w->setText(text);
}

inline void setStyleIfChanged(QWidget *w, const QString &style)
{
    if (w->styleSheet() != style)
        w->setStyleSheet(style);
}
