#include "processcontrol.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtTest>

#include <unistd.h>

class TestProcessControl : public QObject
{
    Q_OBJECT
private slots:
    void namesCompareCaseInsensitivelyAndExactly_data()
    {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("matches");
        QTest::newRow("same") << "DrevantMSFS2020Sim.exe" << "DrevantMSFS2020Sim.exe" << true;
        QTest::newRow("case") << "DREVANTMSFS2020SIM.EXE" << "DrevantMSFS2020Sim.exe" << true;
        QTest::newRow("posix build without suffix") << "DrevantMSFS2020Sim" << "DrevantMSFS2020Sim.exe" << true;
        QTest::newRow("posix build, other case") << "drevantprepar3dsim" << "DrevantPrepar3dSim.exe" << true;
        QTest::newRow("longer name") << "DrevantMSFS2020SimX" << "DrevantMSFS2020Sim.exe" << false;
        QTest::newRow("longer with suffix") << "DrevantMSFS2020SimX.exe" << "DrevantMSFS2020Sim.exe" << false;
        QTest::newRow("shorter") << "DrevantMSFS2020" << "DrevantMSFS2020Sim.exe" << false;
        QTest::newRow("bare suffix") << "" << ".exe" << false;
        QTest::newRow("no suffix on target") << "DrevantMSFS2020Sim.exe" << "DrevantMSFS2020Sim" << false;
    }
    void namesCompareCaseInsensitivelyAndExactly()
    {
        QFETCH(QString, exe);
        QFETCH(QString, target);
        QFETCH(bool, matches);
        QCOMPARE(platform::exeNameMatches(exe.toStdString(), target.toStdString()), matches);
    }

    void listsThisProcessUnderItsWholeName()
    {
        const std::string self = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
        bool found = false;
        for (const auto &p : platform::listProcesses())
            found = found || (p.pid == ::getpid() && p.exeName == self);
        QVERIFY(found);
        // Never ends itself.
        QVERIFY(!platform::terminateProcess(::getpid()));
    }
};

QTEST_GUILESS_MAIN(TestProcessControl)
#include "test_processcontrol.moc"
