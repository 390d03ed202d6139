#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include "testsupport.h"

#include <memory>
#include <vector>

// Starts and stops the real program and looks at what it leaves behind.
class TestMain : public QObject
{
    Q_OBJECT

    QTemporaryDir bin;
    std::vector<std::unique_ptr<QProcess>> fakes;

    QProcess *startFake(const QString &name)
    {
        const QString path = copyOfSleeper(bin.path(), name);
        auto p = std::make_unique<QProcess>();
        startSleeper(*p, path, 300);
        fakes.push_back(std::move(p));
        return fakes.back().get();
    }

    QByteArray console; // the last run's standard output

    int runProgram(const QString &dir, const QString &program = QStringLiteral(HARNESS_PATH),
                   const QStringList &flags = {})
    {
        QProcess prog;
        prog.setWorkingDirectory(dir);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KORVEL_HARNESS_MS", "400");
        for (const QString &flag : flags)
            env.insert(flag, "1");
#ifndef Q_OS_WIN
        env.insert("QT_QPA_PLATFORM", "offscreen");   // (Windows: Wine's null display)
#endif
        prog.setProcessEnvironment(env);
        prog.start(program, QStringList());
        if (!prog.waitForFinished(60000)) {
            prog.kill();
            return -1;
        }
        console = prog.readAllStandardOutput();
        return prog.exitStatus() == QProcess::NormalExit ? prog.exitCode() : -2;
    }

private slots:
    void cleanup()
    {
        for (auto &p : fakes) {
            p->kill();
            p->waitForFinished(2000);
        }
        fakes.clear();
    }

    void startAndStopInAnEmptyDirectory()
    {
        QDir().mkpath("run1");
        QCOMPARE(runProgram("run1"), 0);

        QFile log("run1/log/today.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray bytes = log.readAll();
#ifdef Q_OS_WIN
        // Written in text mode: Windows line ends.
        QVERIFY(bytes.count("\r\n") >= 3);
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        const QStringList lines = QString::fromUtf8(bytes).split("\r\n", Qt::SkipEmptyParts);
#else
        const QStringList lines = QString::fromUtf8(bytes).split('\n', Qt::SkipEmptyParts);
#endif
        QVERIFY(lines.size() >= 3);
        QVERIFY2(lines.first().endsWith("(:0, ): Halvern Link"), qPrintable(lines.first()));
        QVERIFY2(QRegularExpression(R"(\[DEBUG\] \(:0, \): Start Time "\d\d:\d\d:\d\d"$)").match(lines[1]).hasMatch(),
                 qPrintable(lines[1]));
        QVERIFY2(QRegularExpression(R"(\[DEBUG\] \(:0, \): End Time "\d\d:\d\d:\d\d"$)").match(lines.last()).hasMatch(),
                 qPrintable(lines.last()));
        // The log file holds the harness's Chinese line in UTF-8; the console
        // copy is the message alone, on Windows in GB2312.
        const QString chinese = QString::fromUtf8("后收到字节数：");
        QVERIFY(lines.filter(chinese).size() == 1);
#ifdef Q_OS_WIN
        const QByteArray expected = QTextCodec::codecForName("GB2312")->fromUnicode(chinese);
#else
        const QByteArray expected = QTextCodec::codecForLocale()->fromUnicode(chinese);
#endif
        QVERIFY2(console.contains("Halvern Link"), console.constData());
        QVERIFY2(console.contains(expected), console.toHex().constData());
    }

    void stopEndsEveryBridgeProgramAndNothingElse()
    {
        QVERIFY(bin.isValid());
        QProcess *first = startFake("DrevantMSFS2020Sim");
        QProcess *second = startFake("DrevantMSFS2020Sim");
        QProcess *upper = startFake("DREVANTMSFS2020SIM");
        QProcess *p3d = startFake("DrevantPrepar3dSim");
        QProcess *similar = startFake("DrevantMSFS2020SimX");
        QProcess *other = startFake("sleep");
        for (QProcess *p : {first, second, upper, p3d, similar, other})
            QCOMPARE(p->state(), QProcess::Running);

        QDir().mkpath("run2");
        QCOMPARE(runProgram("run2"), 0);

        for (QProcess *p : {first, second, upper, p3d})
            QVERIFY(p->waitForFinished(5000));
        QCOMPARE(similar->state(), QProcess::Running);
        QCOMPARE(other->state(), QProcess::Running);
    }

    void quittingReleasesTheDevice()
    {
        // Closed while the effects and the software trim run on the emulated
        // device: the program ends as usual, and the device is left holding
        // no trim speed, force or vibration.
        QDir().mkpath("run3");
        QCOMPARE(runProgram("run3", QStringLiteral(QUIT_HARNESS_PATH)), 0);
        QFile report("run3/device.txt");
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromLatin1(report.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith("before: trim -5 5 forces ") && !lines[0].endsWith("vibration 0"),
                 qPrintable(lines[0]));
        QCOMPARE(lines[1], QStringLiteral("after: trim 0 0 forces 0 0 vibration 0"));
        QFile log("run3/log/today.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("End Time"));
    }

    void quittingWithTheLinkFailingOpensNoBox()
    {
        // The yoke stops answering as the window closes, a few failed reads
        // short of a lost link: the exit release loses the link, sends nothing
        // after that (no trim record), logs the loss and opens no box, which
        // nobody could answer; the program ends at once with code 0.
        QDir().mkpath("run4");
        QCOMPARE(runProgram("run4", QStringLiteral(QUIT_HARNESS_PATH), {"KORVEL_QUIT_LINK_FAILING"}), 0);
        QFile report("run4/device.txt");
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromLatin1(report.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        const QRegularExpressionMatch m = QRegularExpression(R"(^exit (\d+) ms written (\d+) trim (\d+)$)").match(lines[2]);
        QVERIFY2(m.hasMatch(), qPrintable(lines[2]));
        QVERIFY2(m.captured(1).toInt() < 5000, qPrintable(lines[2]));
        // The force and vibration releases, the sixth read failing among them.
        QVERIFY2(m.captured(2).toInt() == 6 && m.captured(3).toInt() == 0, qPrintable(lines[2]));
        QFile log("run4/log/today.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        const int lost = text.indexOf("Lose Connection");
        QVERIFY2(lost >= 0 && text.indexOf("End Time", lost) > lost, text.right(600).constData());
    }
};

QTEST_GUILESS_MAIN(TestMain)
#include "test_main.moc"
