#pragma once
// Receives every Qt diagnostic message of the program: a console copy and a
// line in log/today.log, which is flushed every second, moved to a dated file
// on a new day or past 5120 bytes, and whose dated files expire after 30 days.
#include <QDate>
#include <QDir>
#include <QObject>
#include <QString>
#include <QTimer>

// The time that follows a device or fault event in its log line ("hh:mm:ss").
QString eventTimeText();

class LogHandler : public QObject
{
    Q_OBJECT
public:
    static void install();
    static void uninstall();
    static void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg);

    // The console copy of a message: GB2312 on Windows, the locale's encoding elsewhere.
    static QByteArray consoleBytes(const QString &msg);

    // One formatted line of today.log (without taking the log's lock).
    static QString formatLine(const QDateTime &when, QtMsgType type,
                              const QMessageLogContext &context, const QString &msg);

private:
    LogHandler();
    ~LogHandler() override;

    void rotateByDate();
    void rotateBySize();
    void removeExpiredLogs();
    void moveToDatedFile();

private slots:
    void rotateTick();
    void flushTick();

private:
    QDir logDir;
    QTimer rotateTimer;
    QTimer flushTimer;
    QDate fileDate;
};
