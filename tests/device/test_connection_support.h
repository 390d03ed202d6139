#pragma once
// Helpers shared by the window tests of the device connection, status and
// live displays: a closer for modal boxes, a log capture and a window built
// once per test executable next to a copy of the parameter tree file.
#include "clscurve.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QFile>
#include <QMessageBox>
#include <QMutex>
#include <QStringList>
#include <QTimer>
#include <QWidget>

// Accepts every modal box after holdMs and records "title|text".
class ModalCloser : public QObject
{
public:
    explicit ModalCloser(QObject *parent = nullptr) : QObject(parent)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w) {
                m_current = nullptr;
                return;
            }
            if (w != m_current) {
                m_current = w;
                m_since.start();
                if (auto *box = qobject_cast<QMessageBox *>(w))
                    boxes << (box->windowTitle() + QLatin1Char('|') + box->text());
                else
                    boxes << w->windowTitle();
            }
            if (m_since.elapsed() >= holdMs.value(boxes.last(), 0)) {
                w->close();
                // The next box may be built at the same address.
                m_current = nullptr;
            }
        });
        m_timer.start(5);
    }
    QStringList boxes;
    QHash<QString, int> holdMs;   // "title|text" -> how long to leave it open
    int count(const QString &entry) const { return boxes.count(entry); }

private:
    QTimer m_timer;
    QWidget *m_current = nullptr;
    QElapsedTimer m_since;
};

// Collects every log line of the process.
class LogCapture
{
public:
    static QStringList &lines()
    {
        static QStringList l;
        return l;
    }
    static void install()
    {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &msg) {
            static QMutex m;
            QMutexLocker lock(&m);
            lines() << msg;
        });
    }
    static int countContaining(const QString &text)
    {
        int n = 0;
        for (const QString &l : lines())
            n += l.contains(text) ? 1 : 0;
        return n;
    }
};

// The parameter tree file the window reads at construction.
inline bool provideTreeProfile()
{
    QDir().mkpath(QStringLiteral("SimConnect"));
    const QString src = qEnvironmentVariable("KORVEL_SOURCE_DIR") + QStringLiteral("/config/SimConnect/tree_profile.txt");
    QFile::remove(QStringLiteral("SimConnect/tree_profile.txt"));
    return QFile::copy(src, QStringLiteral("SimConnect/tree_profile.txt"));
}
