#pragma once
// A field whose text changes many times a second repaints, as Qt does for any
// widget that is not opaque, every widget behind it first: the tab panes and
// the styled group boxes around it, which cost far more than the field. Made
// opaque, it is painted alone. What lies behind it is drawn once into a
// pixmap and put down under the field's own painting, so the field looks
// exactly as before: its rounded, antialiased frame still blends with the
// group box beneath.
//
// The field must lie over its ancestors alone (no sibling beneath it), as a
// widget in a layout does. The pixmap is drawn again when the field moves in
// its window, changes size or scale, when something that changes its
// ancestors' look reaches it (palette, style, font, enabled state, window
// activation), and when its owner says that they have changed.
#include <QObject>
#include <QPixmap>
#include <QPoint>

class QRegion;
class QWidget;

class OpaqueField : public QObject
{
public:
    // Makes field opaque; the helper lives as long as the field.
    static OpaqueField *attach(QWidget *field);
    // What lies behind the field looks different: drawn anew, and the field
    // with it (an ancestor's repaint leaves an opaque child alone).
    void backdropChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit OpaqueField(QWidget *field);
    void paintBackdrop(const QRegion &region);
    void renderBackdrop();

    QWidget *m_field;
    QPixmap m_backdrop;
    QPoint m_at;   // the field's place in its window when the backdrop was drawn
};
