#include "loghandler.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QTextCodec>
#include <QTextStream>

#include <cstdio>

namespace {

QMutex logMutex;                 // not recursive: see Guard
LogHandler *instance = nullptr;
QFile *logFile = nullptr;
QTextStream *logStream = nullptr;

// Set while this thread holds logMutex. File operations under the lock may
// raise Qt warnings of their own, which come straight back into the handler on
// the same thread; those go to the console only instead of deadlocking.
thread_local bool insideLog = false;

struct Guard {
    Guard() { logMutex.lock(); insideLog = true; }
    ~Guard() { insideLog = false; logMutex.unlock(); }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
};

const char *levelText(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "DEBUG";
    case QtInfoMsg: return "INFO";
    case QtWarningMsg: return "WARN";
    case QtCriticalMsg: return "ERROR";
    case QtFatalMsg: return "FATAL";
    }
    return "DEBUG";
}

void writeConsole(const QString &msg)
{
    const QByteArray bytes = LogHandler::consoleBytes(msg);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void openStream(QFile *file)
{
    logStream = nullptr;
    if (file->isOpen()) {
        logStream = new QTextStream(file);
        logStream->setCodec("UTF-8");
    }
}

} // namespace

void LogHandler::install()
{
    Guard g;
    if (instance)
        return;
    instance = new LogHandler;
    qInstallMessageHandler(LogHandler::messageHandler);
}

void LogHandler::uninstall()
{
    Guard g;
    qInstallMessageHandler(nullptr);
    delete instance;
    instance = nullptr;
}

QByteArray LogHandler::consoleBytes(const QString &msg)
{
    // The Windows console of the target system expects GB2312; a terminal
    // elsewhere expects the locale's encoding (UTF-8, as a rule).
#ifdef Q_OS_WIN
    if (QTextCodec *gb2312 = QTextCodec::codecForName("GB2312"))
        return gb2312->fromUnicode(msg);
#endif
    return QTextCodec::codecForLocale()->fromUnicode(msg);
}

QString LogHandler::formatLine(const QDateTime &when, QtMsgType type,
                               const QMessageLogContext &context, const QString &msg)
{
    QString file = QString::fromUtf8(context.file ? context.file : "");
    file = file.mid(file.lastIndexOf(QDir::separator()) + 1);
    return QStringLiteral("%1 - [%2] (%3:%4, %5): %6\n")
        .arg(when.toString(QStringLiteral("yyyy-MM-dd hhmmss")))
        .arg(QLatin1String(levelText(type)))
        .arg(file)
        .arg(context.line)
        .arg(QString::fromUtf8(context.function ? context.function : ""))
        .arg(msg);
}

void LogHandler::messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (insideLog) {
        writeConsole(msg);
        return;
    }
    Guard g;
    writeConsole(msg);
    if (logStream)
        *logStream << formatLine(QDateTime::currentDateTime(), type, context, msg);
}

LogHandler::LogHandler()
{
    fileDate = QDate();
    logDir.setPath(QStringLiteral("log"));
    const QFileInfo today(logDir.filePath(QStringLiteral("today.log")));
    if (today.exists())
        fileDate = today.lastModified().date();
    rotateByDate();

    rotateTimer.setInterval(2000);
    rotateTimer.start();
    connect(&rotateTimer, &QTimer::timeout, this, &LogHandler::rotateTick);
    flushTimer.setInterval(1000);
    flushTimer.start();
    connect(&flushTimer, &QTimer::timeout, this, &LogHandler::flushTick);
}

LogHandler::~LogHandler()
{
    if (logFile) {
        if (logStream)
            logStream->flush();
        logFile->close();
        delete logStream;
        delete logFile;
        logStream = nullptr;
        logFile = nullptr;
    }
}

void LogHandler::rotateTick()
{
    Guard g;
    rotateByDate();
    rotateBySize();
    removeExpiredLogs();
}

void LogHandler::flushTick()
{
    Guard g;
    if (logStream)
        logStream->flush();
}

void LogHandler::rotateByDate()
{
    if (!logDir.exists())
        logDir.mkpath(QStringLiteral("."));
    const QString current = logDir.absoluteFilePath(QStringLiteral("today.log"));
    if (!logFile) {
        logFile = new QFile(current);
        logFile->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
        openStream(logFile);
        if (!fileDate.isValid())
            fileDate = QDate::currentDate();
    }
    if (fileDate != QDate::currentDate())
        moveToDatedFile();
}

void LogHandler::rotateBySize()
{
    if (logFile && logFile->size() > 5120)
        moveToDatedFile();
}

void LogHandler::moveToDatedFile()
{
    if (logStream)
        logStream->flush();
    logFile->close();
    delete logStream;
    logStream = nullptr;
    delete logFile;
    logFile = nullptr;

    const QString current = logDir.absoluteFilePath(QStringLiteral("today.log"));
    const QString dated = logDir.absoluteFilePath(fileDate.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"));

    // A dated file of the same day may exist already (a second rotation by
    // size): append to it rather than lose either file's lines.
    bool kept = false;
    if (!QFile::exists(current)) {
        kept = true;
    } else if (!QFile::exists(dated)) {
        kept = QFile::copy(current, dated);
    } else {
        QFile src(current);
        QFile dst(dated);
        if (src.open(QIODevice::ReadOnly) && dst.open(QIODevice::WriteOnly | QIODevice::Append)) {
            const QByteArray content = src.readAll();
            kept = dst.write(content) == content.size() && dst.flush();
        }
    }
    if (kept)
        QFile::remove(current);

    logFile = new QFile(current);
    // Whatever could not be kept elsewhere stays in today.log.
    logFile->open(QIODevice::WriteOnly | (kept ? QIODevice::Truncate : QIODevice::Append) | QIODevice::Text);
    openStream(logFile);
    fileDate = QDate::currentDate();
}

void LogHandler::removeExpiredLogs()
{
    const QDateTime limit = QDateTime::currentDateTime().addDays(-30);
    const QFileInfoList entries = logDir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        const QString base = entry.baseName();
        if (base.isEmpty())
            continue;
        const QDateTime day = QDateTime::fromString(base, QStringLiteral("yyyy-MM-dd"));
        if (day.isValid() && day < limit)
            QFile::remove(entry.absoluteFilePath());
    }
}

QString eventTimeText()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
}
