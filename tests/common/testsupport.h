#pragma once
// Helpers shared by the tests: a closer for modal boxes, a capture of the log,
// the parameter tree file the window reads, and bridge datagrams sent over UDP.
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <thread>

class QProcess;
class QWidget;

// Closes every modal box after holdMs and records "title<separator>text"
// (a modal widget that is not a message box: its title). A box named in
// answers gets that button pressed instead; a file dialog takes the next
// path of files (an empty path, or none left, cancels it).
class ModalCloser : public QObject
{
public:
    explicit ModalCloser(QObject *parent = nullptr, QChar separator = QLatin1Char('|'));
    QStringList boxes;
    QHash<QString, int> holdMs; // "title|text" -> how long to leave it open
    QHash<QString, int> answers; // "title|text" -> QMessageBox::StandardButton to press
    QStringList files;
    int count(const QString &entry) const { return boxes.count(entry); }

private:
    void poll();

    QChar m_separator;
    QTimer m_timer;
    QWidget *m_current = nullptr;
    QElapsedTimer m_since;
};

// Collects every log line of the process.
class LogCapture
{
public:
    static QStringList &lines();
    static void install();
    static int countContaining(const QString &text);
};

// Copies the parameter tree file the window reads at construction into the
// working directory.
bool provideTreeProfile();

// A bridge datagram: flag byte, seven unused bytes, n doubles (those not given are 0).
std::string bridgeDatagram(int n, unsigned char flag, const std::map<int, double> &values = {});

// Sends bytes from a fresh socket to 127.0.0.1:port.
void sendTo(std::uint16_t port, const std::string &bytes);

// "address:port" of every UDP socket bound on one of the ports, as the
// system lists them (sorted; on failure, one line saying why).
QStringList udpBindings(const QList<quint16> &ports);

// The processor time (user and system) this process has used, in seconds.
double processCpuSeconds();

// A program that sleeps for the seconds of its first argument, copied into dir
// under the given name (with ".exe" on Windows, where the process list names
// programs so); its path, empty when the copy failed.
QString copyOfSleeper(const QString &dir, const QString &name);

// Starts such a copy for the given seconds. On Windows it inherits none of
// this process's handles, as a program the user starts would not: an
// inherited socket could keep the reader's ports bound after the copy ended.
bool startSleeper(QProcess &process, const QString &path, int seconds);

#ifndef _WIN32
// A named pipe in the working directory that offers lines ("0,0") to the
// readers that open it, one after the other, and counts the bytes the pipe
// took, until the last reader closes it or the offer is used up. A file of
// unknown size: only the reader's limit bounds what it takes. (Windows has no
// such pipe among its files, where a file dialog could pick it; the reading
// code is the same there.)
class CountingPipe
{
public:
    CountingPipe(const QString &name, qint64 offer, int readers = 1);
    ~CountingPipe();
    CountingPipe(const CountingPipe &) = delete;
    CountingPipe &operator=(const CountingPipe &) = delete;
    QString path() const { return m_path; }
    // Once the last reader has closed the pipe.
    qint64 given();
    qint64 capacity() const { return m_capacity; }

private:
    QString m_path;
    std::thread m_writer;
    std::atomic<bool> m_stop{false};
    qint64 m_given = 0;
    std::atomic<qint64> m_capacity{0};
};
#endif

#ifdef _WIN32
// A file held open as another program would hold it, sharing nothing: it can
// be neither written nor replaced until this object goes.
class FileHeldElsewhere
{
public:
    explicit FileHeldElsewhere(const QString &path);
    ~FileHeldElsewhere();
    FileHeldElsewhere(const FileHeldElsewhere &) = delete;
    FileHeldElsewhere &operator=(const FileHeldElsewhere &) = delete;
    bool isHeld() const;

private:
    void *m_handle;
};
#endif
