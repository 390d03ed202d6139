#pragma once
// Periodic displays set the same texts and lamp styles many times a second.
// A style sheet set again re-polishes its widget and repaints it with its
// group; a line edit's text set again is laid out and repainted anew (and
// loses the user's selection); a number display is repainted. These apply
// only what changes.
#include <QLCDNumber>
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

// A number display keeps no text to compare with (its value would take "-0"
// for "0"): the caller keeps the last one given beside it.
inline void displayIfChanged(QLCDNumber *lcd, QString &shown, const QString &text)
{
    if (shown != text) {
        shown = text;
        lcd->display(text);
    }
}
