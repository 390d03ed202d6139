#include "loghandler.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextCodec>
#include <QThread>
#include <QtTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content, const QDateTime &mtime = QDateTime())
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.flush();
    if (mtime.isValid())
        QVERIFY(f.setFileTime(mtime, QFileDevice::FileModificationTime));
    f.close();
}

// The handler writes in text mode: on Windows each line ends in CR LF.
#ifdef Q_OS_WIN
const QString LineEnd = QStringLiteral("\r\n");
#else
const QString LineEnd = QStringLiteral("\n");
#endif

QStringList linesOf(const QByteArray &fileBytes)
{
    return QString::fromUtf8(fileBytes).split(LineEnd, Qt::SkipEmptyParts);
}

QString dated(const QDate &d)
{
    return "log/" + d.toString("yyyy-MM-dd") + ".log";
}

// Every line of every log file, in no particular order.
QStringList allLines()
{
    QStringList lines;
    for (const QString &name : QDir("log").entryList({"*.log"}, QDir::Files))
        lines += linesOf(readAll("log/" + name));
    return lines;
}

} // namespace

class TestLogHandler : public QObject
{
    Q_OBJECT
private slots:
    void init() { QDir("log").removeRecursively(); }
    void cleanup() { LogHandler::uninstall(); }

    void lineFormatAndFlush()
    {
        LogHandler::install();
        QVERIFY(QFile::exists("log/today.log"));
        qWarning() << "first";
        qDebug() << "Start Time" << QString("12:34:56");
        QTRY_VERIFY_WITH_TIMEOUT(readAll("log/today.log").contains("Start Time"), 2500);

        const QByteArray bytes = readAll("log/today.log");
        const QStringList lines = linesOf(bytes);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(bytes.count(LineEnd.toLatin1()), 2);
        const QRegularExpression shape(R"(^\d{4}-\d\d-\d\d \d{6} - \[(\w+)\] \(:0, \): (.*)$)");
        auto m = shape.match(lines[0]);
        QVERIFY2(m.hasMatch(), qPrintable(lines[0]));
        QCOMPARE(m.captured(1), QString("WARN"));
        QCOMPARE(m.captured(2), QString("first"));
        m = shape.match(lines[1]);
        QVERIFY2(m.hasMatch(), qPrintable(lines[1]));
        QCOMPARE(m.captured(1), QString("DEBUG"));
        QCOMPARE(m.captured(2), QString("Start Time \"12:34:56\""));
    }

    void levelsAndContext()
    {
        const QDateTime when(QDate(2026, 12, 8), QTime(7, 5, 9));
        const QByteArray file = QDir::toNativeSeparators("/src/app/x.cpp").toUtf8();
        QMessageLogContext ctx(file.constData(), 42, "void f()", nullptr);
        QCOMPARE(LogHandler::formatLine(when, QtCriticalMsg, ctx, "boom"),
                 QString("2026-12-08 070509 - [ERROR] (x.cpp:42, void f()): boom\n"));
        QMessageLogContext none;
        QCOMPARE(LogHandler::formatLine(when, QtInfoMsg, none, "i"), QString("2026-12-08 070509 - [INFO] (:0, ): i\n"));
        QCOMPARE(LogHandler::formatLine(when, QtFatalMsg, none, "f"), QString("2026-12-08 070509 - [FATAL] (:0, ): f\n"));
        // A message that looks like a placeholder stays as it is.
        QCOMPARE(LogHandler::formatLine(when, QtDebugMsg, none, "100% %1"), QString("2026-12-08 070509 - [DEBUG] (:0, ): 100% %1\n"));
    }

    void startOnALaterDayMovesTheOldLog()
    {
        QDir().mkpath("log");
        const QDate yesterday = QDate::currentDate().addDays(-1);
        writeFile("log/today.log", "old line\n", QDateTime(yesterday, QTime(23, 0)));
        LogHandler::install();
        QCOMPARE(readAll(dated(yesterday)), QByteArray("old line\n"));
        QCOMPARE(readAll("log/today.log"), QByteArray());
    }

    void rotatesOnlyPastTheSizeLimit_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("rotates");
        QTest::newRow("5120 stays") << 5120 << false;
        QTest::newRow("5121 rotates") << 5121 << true;
    }
    void rotatesOnlyPastTheSizeLimit()
    {
        QFETCH(int, size);
        QFETCH(bool, rotates);
        QDir().mkpath("log");
        const QByteArray content(size, 'x');
        writeFile("log/today.log", content);
        LogHandler::install();
        QTest::qWait(2400);
        if (rotates) {
            QCOMPARE(readAll(dated(QDate::currentDate())), content);
            QCOMPARE(readAll("log/today.log").size(), 0);
        } else {
            QVERIFY(!QFile::exists(dated(QDate::currentDate())));
            QCOMPARE(readAll("log/today.log"), content);
        }
    }

    void secondRotationOnOneDayKeepsEverything()
    {
        QDir().mkpath("log");
        writeFile(dated(QDate::currentDate()), "earlier rotation\n");
        const QByteArray big = QByteArray(5200, 'y') + "\n";
        writeFile("log/today.log", big);
        LogHandler::install();
        QTRY_VERIFY_WITH_TIMEOUT(readAll("log/today.log").isEmpty(), 3000);
        QCOMPARE(readAll(dated(QDate::currentDate())), QByteArray("earlier rotation\n") + big);
    }

    void expiredLogsAreDeletedOthersKept()
    {
        QDir().mkpath("log");
        const QDate today = QDate::currentDate();
        const QString old31 = dated(today.addDays(-31));
        const QString old29 = dated(today.addDays(-29));
        for (const QString &f : {old31, old29, QString("log/notes.txt"), QString("log/2019-99-99.log"),
                                 QString("log/.hidden")})
            writeFile(f, "x\n");
        LogHandler::install();
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(old31), 3000);
        QVERIFY(QFile::exists(old29));
        QVERIFY(QFile::exists("log/notes.txt"));
        QVERIFY(QFile::exists("log/2019-99-99.log"));
        QVERIFY(QFile::exists("log/.hidden"));
        QVERIFY(QFile::exists("log/today.log"));
    }

    void missingFolderIsCreatedAgain()
    {
        LogHandler::install();
        QDir("log").removeRecursively();
        QTRY_VERIFY_WITH_TIMEOUT(QDir("log").exists(), 3000);
    }

    void consoleCopyInTheTerminalsEncoding()
    {
        // A Chinese diagnostic line must read as itself in a UTF-8 terminal
        // (GB2312 bytes there show as garbage); log files stay UTF-8 anyway.
        const QString line = QString::fromUtf8("后收到字节数：");
        QTextCodec *before = QTextCodec::codecForLocale();
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
        const QByteArray bytes = LogHandler::consoleBytes(line);
        QTextCodec::setCodecForLocale(before);
#ifdef Q_OS_WIN
        QCOMPARE(bytes, QTextCodec::codecForName("GB2312")->fromUnicode(line));
#else
        QCOMPARE(bytes, line.toUtf8());
#endif
    }

    void twoThreadsGiveWholeLines()
    {
        LogHandler::install();
        const int perThread = 400;
        auto writer = [](char tag) {
            return QThread::create([tag] {
                for (int i = 0; i < perThread; ++i)
                    qDebug("%c-%04d-%s", tag, i, QByteArray(40, tag).constData());
            });
        };
        QThread *a = writer('a');
        QThread *b = writer('b');
        a->start();
        b->start();
        QVERIFY(a->wait(10000));
        QVERIFY(b->wait(10000));
        delete a;
        delete b;
        LogHandler::uninstall();   // flushes

        const QStringList lines = allLines();
        QCOMPARE(lines.size(), 2 * perThread);
        const QRegularExpression whole(R"(^\d{4}-\d\d-\d\d \d{6} - \[DEBUG\] \(:0, \): ([ab])-\d{4}-([ab]){40}$)");
        for (const QString &l : lines) {
            const auto m = whole.match(l);
            QVERIFY2(m.hasMatch(), qPrintable(l));
            QCOMPARE(m.captured(1), m.captured(2));
        }
    }
};

QTEST_GUILESS_MAIN(TestLogHandler)
#include "test_loghandler.moc"
