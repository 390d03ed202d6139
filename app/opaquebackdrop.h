#pragma once
// A widget repainted many times a second (a live number field, the live
// cross-hair over the plot) repaints, as Qt does for any widget that is not
// opaque, every widget behind it first: tab panes, styled group boxes, the
// plot's background and buffers, which cost far more than the widget itself.
// Made opaque, it is painted alone. What lies behind it is drawn once into a
// pixmap and put down under the widget's own painting, so it looks exactly as
// before: a field's rounded, antialiased frame still blends with the group
// box beneath.
//
// The widget must lie over its ancestors alone (no sibling beneath it), as a
// widget in a layout does. The pixmap is drawn again when the widget moves in
// its window, changes size or scale, when something that changes its
// ancestors' look reaches it (palette, style, font, enabled state, window
// activation), and when its owner says that they have changed.
#include <QObject>
#include <QPixmap>
#include <QPoint>

class QRegion;
class QWidget;

class OpaqueBackdrop : public QObject
{
public:
    // Makes widget opaque; the helper lives as long as the widget.
    static OpaqueBackdrop *attach(QWidget *widget);
    // What lies behind the widget looks different: drawn anew, and the widget
    // with it (an ancestor's repaint leaves an opaque child alone).
    void backdropChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit OpaqueBackdrop(QWidget *widget);
    void paintBackdrop(const QRegion &region);
    void renderBackdrop();

    QWidget *m_widget;
    QPixmap m_backdrop;
    QPoint m_at;   // the widget's place in its window when the backdrop was drawn
};
