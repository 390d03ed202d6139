#include "testsupport.h"

#include <QApplication>
#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMutex>
#include <QProcess>
#include <QWidget>

#include <cstring>

#include <chrono>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <csignal>
#  include <fcntl.h>
#  include <sys/resource.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

#include "byteorder.h"
#include "cudpsocket.h"
#include "simbridgerecord.h"

#ifdef _WIN32
#  include <iphlpapi.h>
#endif

ModalCloser::ModalCloser(QObject *parent, QChar separator)
    : QObject(parent)
    , m_separator(separator)
{
    // A native file dialog (Windows has one) is no widget that can be answered.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    connect(&m_timer, &QTimer::timeout, this, &ModalCloser::poll);
    m_timer.start(5);
}

void ModalCloser::poll()
{
    QWidget *w = QApplication::activeModalWidget();
    if (!w) {
        m_current = nullptr;
        return;
    }
    if (w != m_current) {
        m_current = w;
        m_since.start();
        if (auto *box = qobject_cast<QMessageBox *>(w))
            boxes << (box->windowTitle() + m_separator + box->text());
        else
            boxes << w->windowTitle();
    }
    if (m_since.elapsed() >= holdMs.value(boxes.last(), 0)) {
        auto *box = qobject_cast<QMessageBox *>(w);
        auto *dialog = qobject_cast<QFileDialog *>(w);
        QAbstractButton *answer =
            box && answers.contains(boxes.last()) ? box->button(QMessageBox::StandardButton(answers.value(boxes.last())))
                                                  : nullptr;
        const QString file = dialog && !files.isEmpty() ? files.takeFirst() : QString();
        if (answer) {
            answer->click();
        } else if (!file.isEmpty()) {
            // The dialog leaves a focused name field as it is.
            if (QWidget *focused = QApplication::focusWidget())
                focused->clearFocus();
            dialog->selectFile(file);
            static_cast<QDialog *>(dialog)->done(QDialog::Accepted);   // accept() itself can stall on the dialog's own checks
        } else {
            w->close();
        }
        // The next box may be built at the same address.
        m_current = nullptr;
    }
}

QStringList &LogCapture::lines()
{
    static QStringList l;
    return l;
}

void LogCapture::install()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &msg) {
        static QMutex m;
        QMutexLocker lock(&m);
        lines() << msg;
    });
}

int LogCapture::countContaining(const QString &text)
{
    int n = 0;
    for (const QString &l : lines())
        n += l.contains(text) ? 1 : 0;
    return n;
}

bool provideTreeProfile()
{
    QDir().mkpath(QStringLiteral("SimConnect"));
    const QString src = qEnvironmentVariable("KORVEL_SOURCE_DIR") + QStringLiteral("/config/SimConnect/tree_profile.txt");
    QFile::remove(QStringLiteral("SimConnect/tree_profile.txt"));
    return QFile::copy(src, QStringLiteral("SimConnect/tree_profile.txt"));
}

std::string bridgeDatagram(int n, unsigned char flag, const std::map<int, double> &values)
{
    std::string d(SimBridgeRecord::bytesFor(n), '\0');
    d[SimBridgeRecord::OffConnected] = static_cast<char>(flag);
    for (const auto &kv : values)
        if (kv.first < n)
            writeF64LE(reinterpret_cast<std::uint8_t *>(&d[SimBridgeRecord::valueOffset(kv.first)]), kv.second);
    return d;
}

void sendTo(std::uint16_t port, const std::string &bytes)
{
    CUdpSocket s;
    s.open("127.0.0.1", 0);
    s.sendTo(bytes.data(), static_cast<std::uint32_t>(bytes.size()), CUdpSocket::makeAddress("127.0.0.1", port));
    s.close();
}

QStringList udpBindings(const QList<quint16> &ports)
{
    QStringList out;
    const auto add = [&](in_addr address, quint16 port) {
        if (!ports.contains(port))
            return;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr = address;
        out << QStringLiteral("%1:%2")
                   .arg(QString::fromStdString(platform::addressToText(reinterpret_cast<const sockaddr *>(&a))))
                   .arg(port);
    };
#ifdef _WIN32
    // The system's table, as netstat shows it.
    ULONG size = 0;
    QByteArray table;
    DWORD rc = ERROR_INSUFFICIENT_BUFFER;
    for (int i = 0; i < 4 && rc == ERROR_INSUFFICIENT_BUFFER; ++i) {
        table.resize(int(size));
        rc = ::GetUdpTable(size ? reinterpret_cast<MIB_UDPTABLE *>(table.data()) : nullptr, &size, FALSE);
    }
    if (rc != NO_ERROR)
        return {QStringLiteral("GetUdpTable failed: %1").arg(rc)};
    const auto *t = reinterpret_cast<const MIB_UDPTABLE *>(table.constData());
    for (DWORD i = 0; i < t->dwNumEntries; ++i) {
        in_addr a{};
        a.s_addr = t->table[i].dwLocalAddr;
        add(a, ntohs(quint16(t->table[i].dwLocalPort)));
    }
#else
    // The kernel's table of this network namespace, as ss shows it: the
    // address as the raw network-order word in hex, the port in hex.
    QFile f(QStringLiteral("/proc/net/udp"));
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("/proc/net/udp unreadable")};
    f.readLine();
    while (!f.atEnd()) {
        const QList<QByteArray> fields = f.readLine().simplified().split(' ');
        const QList<QByteArray> local = fields.value(1).split(':');
        if (local.size() != 2)
            continue;
        in_addr a{};
        a.s_addr = quint32(local[0].toULong(nullptr, 16));
        add(a, quint16(local[1].toUInt(nullptr, 16)));
    }
#endif
    out.sort();
    return out;
}

double processCpuSeconds()
{
#ifdef _WIN32
    FILETIME created, ended, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user))
        return 0;
    auto seconds = [](const FILETIME &t) {
        return double((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7; // 100 ns units
    };
    return seconds(kernel) + seconds(user);
#else
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
#endif
}

QString copyOfSleeper(const QString &dir, const QString &name)
{
#ifdef _WIN32
    const QString path = QDir(dir).filePath(name + QStringLiteral(".exe"));
#else
    const QString path = QDir(dir).filePath(name);
#endif
    if (!QFile::exists(path) && !QFile::copy(QStringLiteral(KORVEL_SLEEPER), path))
        return QString();
    QFile::setPermissions(path, QFile::ExeOwner | QFile::ReadOwner);
    return path;
}

bool startSleeper(QProcess &process, const QString &path, int seconds)
{
#ifdef _WIN32
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *args) {
        args->inheritHandles = false;
        args->startupInfo->dwFlags &= ~DWORD(STARTF_USESTDHANDLES);
    });
#endif
    process.start(path, {QString::number(seconds)});
    return process.waitForStarted(5000);
}

#ifndef _WIN32
CountingPipe::CountingPipe(const QString &name, qint64 offer, int readers)
    : m_path(QDir::current().absoluteFilePath(name))
{
    const QByteArray path = QFile::encodeName(m_path);
    ::unlink(path.constData());
    if (::mkfifo(path.constData(), 0600) != 0)
        return;
    m_writer = std::thread([this, path, offer, readers] {
        // A closed reader fails the write (EPIPE) instead of ending the process.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        const QByteArray lines = QByteArray("0,0\n").repeated(1024);
        for (int reader = 0; reader < readers && m_given < offer; ++reader) {
            int fd = -1;
            for (int tries = 0; fd < 0 && tries < 10000 && !m_stop; ++tries) {
                fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd < 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));   // no reader yet
            }
            if (fd < 0)
                return;
            ::fcntl(fd, F_SETFL, 0);
            m_capacity = ::fcntl(fd, F_GETPIPE_SZ);
            while (m_given < offer) {
                const ssize_t n = ::write(fd, lines.constData(), size_t(qMin<qint64>(lines.size(), offer - m_given)));
                if (n <= 0)
                    break;
                m_given += n;
            }
            ::close(fd);
        }
    });
}

CountingPipe::~CountingPipe()
{
    m_stop = true;
    if (m_writer.joinable())
        m_writer.join();
    ::unlink(QFile::encodeName(m_path).constData());
}

qint64 CountingPipe::given()
{
    if (m_writer.joinable())
        m_writer.join();
    return m_given;
}
#endif

#ifdef _WIN32
FileHeldElsewhere::FileHeldElsewhere(const QString &path)
    : m_handle(::CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), GENERIC_READ, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr))
{
}

FileHeldElsewhere::~FileHeldElsewhere()
{
    if (isHeld())
        ::CloseHandle(m_handle);
}

bool FileHeldElsewhere::isHeld() const
{
    return m_handle != INVALID_HANDLE_VALUE;
}
#endif
