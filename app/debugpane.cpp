#include "debugpane.h"

#include <QEvent>
#include <QTextDocument>
#include <QTextEdit>

DebugPane::DebugPane(QTextEdit *edit, int maxLines, QObject *parent)
    : QObject(parent), m_edit(edit), m_maxLines(maxLines)
{
    m_edit->document()->setMaximumBlockCount(maxLines);
    m_edit->installEventFilter(this);
}

void DebugPane::append(const QByteArray &bytes, HexStyle style)
{
    if (m_edit->isVisible()) {
        write(bytes, style);
        return;
    }
    // The bytes are kept as they came (usually sharing the receive buffer's
    // copy); the hex text is made only for lines that are ever written.
    m_pending.emplace_back(bytes, style);
    if (int(m_pending.size()) > m_maxLines)
        m_pending.pop_front();
}

void DebugPane::write(const QByteArray &bytes, HexStyle style)
{
    const QByteArray hex = style == Compact ? bytes.toHex() : bytes.toHex(' ').toUpper();
    m_edit->append(QString::fromLatin1(hex));
}

void DebugPane::flush()
{
    // The document drops its oldest paragraphs beyond the bound itself, as it
    // would have while the lines came one by one.
    while (!m_pending.empty()) {
        write(m_pending.front().first, m_pending.front().second);
        m_pending.pop_front();
    }
}

bool DebugPane::eventFilter(QObject *watched, QEvent *event)
{
    // Shown to its parent (the user or a test calling show()) or on screen:
    // either way it holds what was written to it.
    if (watched == m_edit && (event->type() == QEvent::Show || event->type() == QEvent::ShowToParent))
        flush();
    return QObject::eventFilter(watched, event);
}
