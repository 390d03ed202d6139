#pragma once
// Helpers for running the Windows bridge programs: from a test built for
// Windows (run under Wine) directly, from a native program under Wine (in the
// Wine session that cmake/wine-session.sh gives it); a UDP listener standing in
// for KorvelTools, and the stand-in program steered over its standard input.
#include "udpsocket.h"

#include <QDir>
#include <QProcess>
#include <QString>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using SteadyClock = std::chrono::steady_clock;

inline QString windowsProgram(const QString &relative)
{
    return QString(KORVEL_WINDOWS_BIN) + "/" + relative;
}

struct Datagram {
    SteadyClock::time_point at;
    std::vector<std::uint8_t> bytes;
    bool flag() const { return !bytes.empty() && bytes[0] == 1; }
    double value(std::size_t i) const
    {
        std::uint64_t u = 0;
        for (int b = 7; b >= 0; --b)
            u = (u << 8) | bytes[8 + 8 * i + std::size_t(b)];
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    }
    std::size_t count() const { return bytes.size() < 8 ? 0 : (bytes.size() - 8) / 8; }
};

// Receives every datagram on 127.0.0.1:port on a thread of its own.
class DatagramCollector {
public:
    // Only datagrams from senderPort count: other programs' tests may send to
    // the same port.
    bool start(std::uint16_t port, std::uint16_t senderPort)
    {
        s_ = platform::udpOpen();
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        platform::addressFromText("127.0.0.1", &a.sin_addr);
        if (s_ == platform::kInvalidSocket)
            return false;
        // The port is KorvelTools' own; another program's test may hold it a while.
        for (int i = 0; platform::socketBind(s_, a) != 0; ++i) {
            if (i == 120)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        thread_ = std::thread([this, senderPort] {
            std::vector<char> buf(2048);
            while (!stop_.load()) {
                if (platform::socketWait(s_, 50) != 1)
                    continue;
                sockaddr_in from{};
                const long n = platform::socketRecvFrom(s_, buf.data(), buf.size(),
                                                        reinterpret_cast<sockaddr *>(&from), sizeof from);
                if (n < 0 || ntohs(from.sin_port) != senderPort)
                    continue;
                Datagram d{SteadyClock::now(), std::vector<std::uint8_t>(buf.begin(), buf.begin() + n)};
                std::lock_guard<std::mutex> g(lock_);
                all_.push_back(std::move(d));
            }
        });
        return true;
    }
    ~DatagramCollector()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (s_ != platform::kInvalidSocket)
            platform::socketClose(s_);
    }
    std::vector<Datagram> since(std::size_t from)
    {
        std::lock_guard<std::mutex> g(lock_);
        if (from >= all_.size())
            return {};
        return std::vector<Datagram>(all_.begin() + long(from), all_.end());
    }
    std::size_t size()
    {
        std::lock_guard<std::mutex> g(lock_);
        return all_.size();
    }
    Datagram last()
    {
        std::lock_guard<std::mutex> g(lock_);
        return all_.empty() ? Datagram{} : all_.back();
    }
    // Waits until a datagram after index from satisfies pred; its index, or -1.
    template <typename Pred>
    long waitFor(std::size_t from, int ms, Pred pred)
    {
        const auto end = SteadyClock::now() + std::chrono::milliseconds(ms);
        while (SteadyClock::now() < end) {
            {
                std::lock_guard<std::mutex> g(lock_);
                for (std::size_t i = from; i < all_.size(); ++i)
                    if (pred(all_[i]))
                        return long(i);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    platform::SocketHandle s_ = platform::kInvalidSocket;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<Datagram> all_;
};

// A Windows program, ended with the test.
class WineProgram {
public:
    bool start(const QString &exe, const QString &workDir, QProcess::ProcessChannelMode mode = QProcess::SeparateChannels)
    {
        p_.setWorkingDirectory(workDir);
        p_.setProcessChannelMode(mode);
#ifdef _WIN32
        p_.start(exe, QStringList());
#else
        p_.start("wine", {exe});
#endif
        return p_.waitForStarted(10000);
    }
    ~WineProgram() { stop(); }
    void stop()
    {
        if (p_.state() != QProcess::NotRunning) {
            p_.kill();
            p_.waitForFinished(10000);
        }
    }
    // Stand-in: sends one command, returns its answer line.
    QString command(const QString &line, int ms = 10000)
    {
        p_.write((line + "\n").toUtf8());
        p_.waitForBytesWritten(ms);
        return readLine(ms);
    }
    QString readLine(int ms = 10000)
    {
        const auto end = SteadyClock::now() + std::chrono::milliseconds(ms);
        while (!p_.canReadLine() && SteadyClock::now() < end)
            p_.waitForReadyRead(50);
        return QString::fromUtf8(p_.readLine()).trimmed();
    }
    // Everything printed so far.
    QString output()
    {
        out_ += QString::fromUtf8(p_.readAllStandardOutput());
        return out_;
    }
    qint64 pid() const { return p_.processId(); }
    QProcess &process() { return p_; }

private:
    QProcess p_;
    QString out_;
};
