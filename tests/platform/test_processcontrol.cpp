#include "processcontrol.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtTest>

#include <csignal>
#include <linux/capability.h>
#include <map>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A child that makes itself undumpable, so that a caller without the ptrace
// capability cannot read its executable link; with comm, it also renames itself.
pid_t undumpableChild(const char *comm)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::prctl(PR_SET_DUMPABLE, 0);
        if (comm)
            ::prctl(PR_SET_NAME, comm);
        (void)!::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char c;
    const bool ok = pid > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    return ok ? pid : -1;
}

// Root reads every link; without this capability (as any other user has it)
// an undumpable process's link is closed to it.
bool usePtraceCapability(bool on)
{
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    if (::syscall(SYS_capget, &head, caps) != 0)
        return false;
    const unsigned bit = 1u << CAP_SYS_PTRACE;
    caps[0].effective = on ? caps[0].effective | (caps[0].permitted & bit) : caps[0].effective & ~bit;
    return ::syscall(SYS_capset, &head, caps) == 0;
}

} // namespace

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

    // What /proc tells of a process (the executable link, empty where it cannot
    // be read; the command line; the kernel's short name) and the name it is
    // listed under: the one Windows would show.
    void namesAsWindowsShowsThem_data()
    {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QByteArray>("cmdline");
        QTest::addColumn<QString>("comm");
        QTest::addColumn<QString>("name");
        const QByteArray native("/opt/k/DrevantMSFS2020Sim\0", 26);
        const QByteArray wine("C:\\k\\DrevantMSFS2020Sim.exe\0\0\0", 30);
        const QByteArray wineUnixPath("/home/u/DrevantPrepar3dSim.exe\0-x\0", 34);
        const QByteArray posing("DrevantMSFS2020Sim.exe\0", 23);
        const QByteArray backslash("/tmp/a\\DrevantMSFS2020Sim\0", 26);
        QTest::newRow("native") << "/opt/k/DrevantMSFS2020Sim" << native << "DrevantMSFS2020" << "DrevantMSFS2020Sim";
        QTest::newRow("native, replaced on disk")
            << "/opt/k/DrevantMSFS2020Sim (deleted)" << native << "DrevantMSFS2020" << "DrevantMSFS2020Sim";
        QTest::newRow("native, link unreadable") << "" << native << "DrevantMSFS2020" << "DrevantMSFS2020Sim";
        QTest::newRow("wine") << "/usr/lib/wine/wine64" << wine << "DrevantMSFS2020" << "DrevantMSFS2020Sim.exe";
        QTest::newRow("wine, link unreadable") << "" << wine << "DrevantMSFS2020" << "DrevantMSFS2020Sim.exe";
        QTest::newRow("wine preloader, started by Unix path")
            << "/usr/lib/wine/wine64-preloader" << wineUnixPath << "DrevantPrepar3d" << "DrevantPrepar3dSim.exe";
        QTest::newRow("wine, still starting") << "/usr/bin/wine" << QByteArray() << "wine" << "wine";
        QTest::newRow("a program started under a bridge's name")
            << "/usr/bin/sleep" << posing << "sleep" << "sleep";
        QTest::newRow("posing, link unreadable") << "" << posing << "sleep" << "";
        QTest::newRow("backslash in a Linux file name")
            << "/tmp/a\\DrevantMSFS2020Sim" << backslash << "a\\DrevantMSFS20" << "a\\DrevantMSFS2020Sim";
        QTest::newRow("backslash, link unreadable") << "" << backslash << "a\\DrevantMSFS20" << "";
        QTest::newRow("kernel thread") << "" << QByteArray() << "kworker/0:1" << "";
    }
    void namesAsWindowsShowsThem()
    {
        QFETCH(QString, exe);
        QFETCH(QByteArray, cmdline);
        QFETCH(QString, comm);
        QFETCH(QString, name);
        QCOMPARE(QString::fromStdString(platform::processNameFromProc(exe.toStdString(), cmdline.toStdString(),
                                                                      comm.toStdString())),
                 name);
    }

    // Real processes whose executable link is closed to the caller.
    void listsUnreadableProcessesOnlyWhereTheKernelAgrees()
    {
        const std::string self = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
        const pid_t plain = undumpableChild(nullptr);
        const pid_t renamed = undumpableChild("DrevantMSFS2020");
        QVERIFY(plain > 0 && renamed > 0);
        QVERIFY(usePtraceCapability(false));
        char buf[256];
        const bool closed = ::readlink(qPrintable(QString("/proc/%1/exe").arg(plain)), buf, sizeof buf) < 0;
        std::map<std::int64_t, std::string> listed;
        for (const auto &p : platform::listProcesses())
            listed[p.pid] = p.exeName;
        QVERIFY(usePtraceCapability(true));
        for (pid_t pid : {plain, renamed}) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        QVERIFY(closed);
        QCOMPARE(listed[plain], self);   // as it is listed with the link readable
        QCOMPARE(listed.count(renamed), std::size_t(0));
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
