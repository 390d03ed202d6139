#pragma once
// The main window's hex log of received device bytes (`textEdit_Debug`). The
// pane is hidden in normal use, yet a QTextEdit lays out every paragraph
// appended to it, hidden or not, and the reply poll appends one for every
// reply. So lines wait in a bounded queue while the pane cannot be seen and
// are written when it is shown: it then holds exactly what it would have held
// had every line been written at once, bounded the same way.
#include <QByteArray>
#include <QObject>
#include <deque>

class QTextEdit;

class DebugPane : public QObject
{
public:
    enum HexStyle {
        Compact,       // "ae0107": the reply poll
        SpacedUpper,   // "AE 01 07": the serial display
    };

    // Keeps at most maxLines paragraphs in the pane.
    DebugPane(QTextEdit *edit, int maxLines, QObject *parent = nullptr);

    // One paragraph: the bytes as hex text.
    void append(const QByteArray &bytes, HexStyle style);
    // Lines waiting for the pane to be shown.
    int pendingLines() const { return int(m_pending.size()); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void write(const QByteArray &bytes, HexStyle style);
    void flush();

    QTextEdit *m_edit;
    int m_maxLines;
    std::deque<std::pair<QByteArray, HexStyle>> m_pending;
};
