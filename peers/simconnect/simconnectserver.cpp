#include "simconnectserver.h"

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#  include <winsock2.h>
#  include <ws2tcpip.h>
#  include <windows.h>
using SockT = SOCKET;
static const SockT kBad = INVALID_SOCKET;
static void closeSock(SockT s) { ::closesocket(s); }
#else
#  include <arpa/inet.h>
#  include <netinet/in.h>
#  include <netinet/tcp.h>
#  include <sys/select.h>
#  include <sys/socket.h>
#  include <unistd.h>
using SockT = int;
static const SockT kBad = -1;
static void closeSock(SockT s) { ::close(s); }
#endif

namespace simpeer {

using Clock = std::chrono::steady_clock;

namespace {

void put32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t get32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
        | std::uint32_t(p[3]) << 24;
}
void putDouble(std::uint8_t *p, double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, 8);
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(u >> (8 * i));
}
std::string field(const std::uint8_t *p, std::size_t room)
{
    std::size_t n = 0;
    while (n < room && p[n])
        ++n;
    return std::string(reinterpret_cast<const char *>(p), n);
}

constexpr std::uint32_t kClientVersion = 30;
constexpr std::uint32_t kServerVersion = 4;

struct KnownMessage {
    std::uint32_t id, size;
    std::size_t textAt;   // 0: none
};
const KnownMessage kKnown[] = {
    {0xF0000001u, 296, 16},  // Open
    {0xF000000Cu, 544, 20},  // AddToDataDefinition
    {0xF000000Du, 20, 0},    // ClearDataDefinition
    {0xF000000Eu, 48, 0},    // RequestDataOnSimObject
    {0xF0000035u, 276, 20},  // RequestSystemState
};

} // namespace

// ------------------------------------------------------------------ channels

class Channel {
public:
    virtual ~Channel() = default;
    // >0 bytes read, 0 nothing within the time, <0 the peer is gone.
    virtual int readSome(std::uint8_t *buf, int len, int timeoutMs) = 0;
    virtual bool writeAll(const std::uint8_t *buf, std::size_t len) = 0;
    virtual void close() = 0;
};

class SocketChannel : public Channel {
public:
    explicit SocketChannel(SockT s) : s_(s) {}
    ~SocketChannel() override { close(); }
    int readSome(std::uint8_t *buf, int len, int timeoutMs) override
    {
        fd_set rd;
        FD_ZERO(&rd);
        FD_SET(s_, &rd);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        const int r = ::select(static_cast<int>(s_) + 1, &rd, nullptr, nullptr, &tv);
        if (r < 0)
            return -1;
        if (r == 0)
            return 0;
        const int n = static_cast<int>(::recv(s_, reinterpret_cast<char *>(buf), len, 0));
        return n > 0 ? n : -1;
    }
    bool writeAll(const std::uint8_t *buf, std::size_t len) override
    {
        while (len > 0) {
#ifdef _WIN32
            const int n = ::send(s_, reinterpret_cast<const char *>(buf), static_cast<int>(len), 0);
#else
            const long n = ::send(s_, buf, len, MSG_NOSIGNAL);
#endif
            if (n <= 0)
                return false;
            buf += n;
            len -= static_cast<std::size_t>(n);
        }
        return true;
    }
    void close() override
    {
        if (s_ != kBad) {
            closeSock(s_);
            s_ = kBad;
        }
    }

private:
    SockT s_;
};

#ifdef _WIN32
class PipeChannel : public Channel {
public:
    explicit PipeChannel(HANDLE h) : h_(h)
    {
        ZeroMemory(&r_, sizeof r_);
        ZeroMemory(&w_, sizeof w_);
        r_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        w_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~PipeChannel() override
    {
        close();
        ::CloseHandle(r_.hEvent);
        ::CloseHandle(w_.hEvent);
    }
    int readSome(std::uint8_t *buf, int len, int timeoutMs) override
    {
        if (h_ == INVALID_HANDLE_VALUE)
            return -1;
        if (!pending_) {
            ::ResetEvent(r_.hEvent);
            if (!::ReadFile(h_, inbox_, sizeof inbox_, nullptr, &r_)
                && ::GetLastError() != ERROR_IO_PENDING)
                return -1;
            pending_ = true;
        }
        if (::WaitForSingleObject(r_.hEvent, static_cast<DWORD>(timeoutMs)) == WAIT_TIMEOUT)
            return 0;
        pending_ = false;
        DWORD n = 0;
        if (!::GetOverlappedResult(h_, &r_, &n, FALSE) || n == 0)
            return -1;
        const int m = std::min<int>(len, static_cast<int>(n));
        std::memcpy(buf, inbox_, static_cast<std::size_t>(m));
        return m;   // the inbox is never larger than the caller's buffer
    }
    bool writeAll(const std::uint8_t *buf, std::size_t len) override
    {
        if (h_ == INVALID_HANDLE_VALUE)
            return false;
        ::ResetEvent(w_.hEvent);
        DWORD n = 0;
        if (!::WriteFile(h_, buf, static_cast<DWORD>(len), nullptr, &w_)
            && ::GetLastError() != ERROR_IO_PENDING)
            return false;
        return ::GetOverlappedResult(h_, &w_, &n, TRUE) && n == len;
    }
    void close() override
    {
        if (h_ == INVALID_HANDLE_VALUE)
            return;
        ::CancelIoEx(h_, nullptr);
        if (pending_) {
            DWORD n;
            ::GetOverlappedResult(h_, &r_, &n, TRUE);
            pending_ = false;
        }
        ::DisconnectNamedPipe(h_);
        ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
    OVERLAPPED r_, w_;
    bool pending_ = false;
    std::uint8_t inbox_[4096];
};
#endif

// ------------------------------------------------------------------- session

class Session {
public:
    Session(SimConnectServer *server, std::unique_ptr<Channel> ch)
        : server_(server), ch_(std::move(ch)) {}
    void start() { thread_ = std::thread(&Session::run, this); }
    void join()
    {
        if (thread_.joinable())
            thread_.join();
    }
    std::atomic<bool> quitPending{false};
    std::atomic<bool> quitAndClose{false};
    std::atomic<bool> silent{false};
    std::atomic<bool> done{false};

private:
    void send(const std::vector<std::uint8_t> &m)
    {
        if (!ch_->writeAll(m.data(), m.size()))
            broken_ = true;
    }
    std::vector<std::uint8_t> reply(std::uint32_t id, std::size_t size)
    {
        std::vector<std::uint8_t> m(size, 0);
        put32(m.data(), static_cast<std::uint32_t>(size));
        put32(m.data() + 4, kServerVersion);
        put32(m.data() + 8, id);
        return m;
    }
    void sendQuit() { send(reply(3, 12)); }

    void sendFrame()
    {
        const auto it = defs_.find(subDefine_);
        const std::size_t n = it == defs_.end() ? 0 : it->second.size();
        const std::uint64_t frame = server_->nextFrame(Clock::now());
        auto m = reply(8, 40 + 8 * n);
        put32(m.data() + 12, subRequest_);
        put32(m.data() + 16, 0);            // object: the user aircraft
        put32(m.data() + 20, subDefine_);
        put32(m.data() + 28, 1);            // entry 1 of 1
        put32(m.data() + 32, 1);
        put32(m.data() + 36, static_cast<std::uint32_t>(n));
        for (std::size_t i = 0; i < n; ++i)
            putDouble(m.data() + 40 + 8 * i, server_->valueFor(it->second[i], frame));
        send(m);
    }

    void handle(const std::uint8_t *msg, std::uint32_t size)
    {
        ReceivedMessage r;
        r.size = size;
        r.version = size >= 8 ? get32(msg + 4) : 0;
        r.id = size >= 12 ? get32(msg + 8) : 0;
        r.sendId = size >= 16 ? get32(msg + 12) : 0;
        r.at = Clock::now();
        r.bytes.assign(msg, msg + size);
        const KnownMessage *known = nullptr;
        for (const KnownMessage &k : kKnown)
            if (k.id == r.id)
                known = &k;
        r.rejected = size < 16 || r.version != kClientVersion || (known && known->size != size);
        if (known && known->textAt && !r.rejected)
            r.text = field(msg + known->textAt, 256);
        server_->record(r);
        if (r.rejected) {
            auto ex = reply(1, 24);   // EXCEPTION: code 1 (error), the send id, index 0
            put32(ex.data() + 12, 1);
            put32(ex.data() + 16, r.sendId);
            if (!silent.load())
                send(ex);
            return;
        }
        switch (r.id) {
        case 0xF0000001u: {
            auto m = reply(2, 308);
            const char name[] = "SimConnect stand-in";
            std::memcpy(m.data() + 12, name, sizeof name);
            if (!silent.load())
                send(m);
            break;
        }
        case 0xF000000Cu:
            defs_[get32(msg + 16)].push_back(field(msg + 20, 256));
            break;
        case 0xF000000Du:
            defs_.erase(get32(msg + 16));
            if (get32(msg + 16) == subDefine_)
                subscribed_ = false;
            break;
        case 0xF000000Eu:
            subRequest_ = get32(msg + 16);
            subDefine_ = get32(msg + 20);
            subscribed_ = get32(msg + 28) != 0;   // period "never" ends the stream
            nextFrame_ = Clock::now();
            break;
        case 0xF0000035u: {
            auto m = reply(15, 284);
            put32(m.data() + 12, get32(msg + 16));
            put32(m.data() + 16, 1);   // "Sim": running
            if (!silent.load())
                send(m);
            break;
        }
        default:
            break;
        }
    }

    void run()
    {
        std::vector<std::uint8_t> pending;
        std::uint8_t tmp[4096];
        while (!broken_) {
            if (quitAndClose.load()) {
                sendQuit();
                break;
            }
            if (quitPending.exchange(false) && !silent.load())
                sendQuit();
            const auto now = Clock::now();
            const auto interval = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(1.0 / std::max(0.1, server_->frameRate())));
            if (subscribed_ && now >= nextFrame_) {
                if (!silent.load())
                    sendFrame();
                nextFrame_ += interval;
                if (nextFrame_ < now)
                    nextFrame_ = now + interval;
            }
            int waitMs = 10;
            if (subscribed_) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    nextFrame_ - Clock::now()).count();
                waitMs = static_cast<int>(std::max<long long>(0, std::min<long long>(10, left)));
            }
            const int n = ch_->readSome(tmp, sizeof tmp, waitMs);
            if (n < 0)
                break;
            pending.insert(pending.end(), tmp, tmp + n);
            while (pending.size() >= 4) {
                const std::uint32_t size = get32(pending.data());
                if (size < 4 || size > 65536) {
                    // Cannot be framed: recorded as rejected, and the session ends.
                    ReceivedMessage r;
                    r.size = size;
                    r.rejected = true;
                    r.at = Clock::now();
                    server_->record(r);
                    broken_ = true;
                    break;
                }
                if (pending.size() < size)
                    break;
                handle(pending.data(), size);
                pending.erase(pending.begin(), pending.begin() + size);
            }
        }
        ch_->close();
        done = true;
    }

    SimConnectServer *server_;
    std::unique_ptr<Channel> ch_;
    std::thread thread_;
    bool broken_ = false;
    std::map<std::uint32_t, std::vector<std::string>> defs_;
    bool subscribed_ = false;
    std::uint32_t subRequest_ = 0, subDefine_ = 0;
    Clock::time_point nextFrame_;
};

// -------------------------------------------------------------------- server

SimConnectServer::SimConnectServer()
{
#ifdef _WIN32
    WSADATA d;
    ::WSAStartup(MAKEWORD(2, 2), &d);
    pipeStopEvent_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
#endif
}

SimConnectServer::~SimConnectServer()
{
    stop();
#ifdef _WIN32
    ::CloseHandle(pipeStopEvent_);
    ::WSACleanup();
#endif
}

bool SimConnectServer::listenTcp(std::uint16_t port4, std::uint16_t port6)
{
    SockT s4 = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    SockT s6 = ::socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    if (s4 == kBad || s6 == kBad)
        return false;
    int on = 1;
    ::setsockopt(s4, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&on), sizeof on);
    ::setsockopt(s6, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&on), sizeof on);
    ::setsockopt(s6, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char *>(&on), sizeof on);
    sockaddr_in a4{};
    a4.sin_family = AF_INET;
    a4.sin_port = htons(port4);
    a4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(port6);
    a6.sin6_addr = in6addr_loopback;
    if (::bind(s4, reinterpret_cast<sockaddr *>(&a4), sizeof a4) != 0 || ::listen(s4, 4) != 0) {
        closeSock(s4);
        closeSock(s6);
        return false;
    }
    socklen_t len = sizeof a4;
    ::getsockname(s4, reinterpret_cast<sockaddr *>(&a4), &len);
    port4_ = ntohs(a4.sin_port);
    // IPv6 loopback may be missing on a machine; IPv4 alone still serves.
    if (::bind(s6, reinterpret_cast<sockaddr *>(&a6), sizeof a6) == 0 && ::listen(s6, 4) == 0) {
        len = sizeof a6;
        ::getsockname(s6, reinterpret_cast<sockaddr *>(&a6), &len);
        port6_ = ntohs(a6.sin6_port);
    } else {
        closeSock(s6);
        s6 = kBad;
    }
    for (SockT s : {s4, s6}) {
        if (s == kBad)
            continue;
        listeners_.push_back(static_cast<std::intptr_t>(s));
        acceptThreads_.emplace_back(&SimConnectServer::acceptLoop, this, static_cast<std::intptr_t>(s));
    }
    return true;
}

void SimConnectServer::acceptLoop(std::intptr_t listener)
{
    const SockT l = static_cast<SockT>(listener);
    while (!stopping_.load()) {
        fd_set rd;
        FD_ZERO(&rd);
        FD_SET(l, &rd);
        timeval tv{0, 50000};
        if (::select(static_cast<int>(l) + 1, &rd, nullptr, nullptr, &tv) <= 0)
            continue;
        SockT c = ::accept(l, nullptr, nullptr);
        if (c == kBad)
            continue;
        int on = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
        addSession(std::unique_ptr<Channel>(new SocketChannel(c)));
    }
}

bool SimConnectServer::listenPipe(const std::string &fullName)
{
#ifdef _WIN32
    // The first instance exists before this returns, so a client may connect at once.
    void *first = createPipeInstance(fullName);
    if (!first)
        return false;
    acceptThreads_.emplace_back(&SimConnectServer::acceptPipeLoop, this, fullName, first);
    return true;
#else
    (void)fullName;
    return false;
#endif
}

void *SimConnectServer::createPipeInstance(const std::string &name)
{
#ifdef _WIN32
    HANDLE h = ::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                  PIPE_UNLIMITED_INSTANCES, 65536, 65536, 0, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
#else
    (void)name;
    return nullptr;
#endif
}

void SimConnectServer::acceptPipeLoop(std::string name, void *first)
{
#ifdef _WIN32
    HANDLE next = static_cast<HANDLE>(first);
    while (!stopping_.load()) {
        HANDLE h = next ? next : static_cast<HANDLE>(createPipeInstance(name));
        next = nullptr;
        if (!h) {
            ::Sleep(50);
            continue;
        }
        OVERLAPPED ov;
        ZeroMemory(&ov, sizeof ov);
        ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        bool connected = false;
        if (::ConnectNamedPipe(h, &ov)) {
            connected = true;
        } else if (::GetLastError() == ERROR_PIPE_CONNECTED) {
            connected = true;
        } else if (::GetLastError() == ERROR_IO_PENDING) {
            HANDLE both[2] = {ov.hEvent, static_cast<HANDLE>(pipeStopEvent_)};
            if (::WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0) {
                DWORD n;
                connected = ::GetOverlappedResult(h, &ov, &n, FALSE) != FALSE;
            } else {
                ::CancelIoEx(h, &ov);
                DWORD n;
                ::GetOverlappedResult(h, &ov, &n, TRUE);
            }
        }
        ::CloseHandle(ov.hEvent);
        if (connected)
            addSession(std::unique_ptr<Channel>(new PipeChannel(h)));
        else
            ::CloseHandle(h);
    }
#else
    (void)name;
    (void)first;
#endif
}

void SimConnectServer::addSession(std::unique_ptr<Channel> ch)
{
    auto s = std::make_shared<Session>(this, std::move(ch));
    {
        std::lock_guard<std::mutex> g(lock_);
        if (stopping_.load()) {
            return;
        }
        sessions_.push_back(s);
    }
    ++accepted_;
    s->start();
}

void SimConnectServer::stop()
{
    if (stopping_.exchange(true))
        return;
#ifdef _WIN32
    ::SetEvent(static_cast<HANDLE>(pipeStopEvent_));
#endif
    for (std::thread &t : acceptThreads_)
        t.join();
    acceptThreads_.clear();
    for (std::intptr_t l : listeners_)
        closeSock(static_cast<SockT>(l));
    listeners_.clear();
    std::vector<std::shared_ptr<Session>> sessions;
    {
        std::lock_guard<std::mutex> g(lock_);
        sessions.swap(sessions_);
    }
    for (auto &s : sessions)
        s->quitAndClose = true;
    for (auto &s : sessions)
        s->join();
}

int SimConnectServer::openSessions()
{
    std::lock_guard<std::mutex> g(lock_);
    int n = 0;
    for (auto &s : sessions_)
        n += s->done.load() ? 0 : 1;
    return n;
}

void SimConnectServer::setFrameRate(double hz)
{
    std::lock_guard<std::mutex> g(lock_);
    rate_ = hz;
}

double SimConnectServer::frameRate()
{
    std::lock_guard<std::mutex> g(lock_);
    return rate_;
}

void SimConnectServer::setValue(const std::string &variable, double value)
{
    std::lock_guard<std::mutex> g(lock_);
    state_[variable] = value;
}

void SimConnectServer::setStampVariable(const std::string &variable)
{
    std::lock_guard<std::mutex> g(lock_);
    stamp_ = variable;
}

void SimConnectServer::setSilent(bool silent)
{
    std::lock_guard<std::mutex> g(lock_);
    silent_ = silent;
    for (auto &s : sessions_)
        s->silent = silent;
}

void SimConnectServer::sendQuit()
{
    std::lock_guard<std::mutex> g(lock_);
    for (auto &s : sessions_)
        s->quitPending = true;
}

double SimConnectServer::valueFor(const std::string &variable, std::uint64_t frame)
{
    std::lock_guard<std::mutex> g(lock_);
    if (!stamp_.empty() && variable == stamp_)
        return static_cast<double>(frame);
    const auto it = state_.find(variable);
    return it == state_.end() ? 0.0 : it->second;
}

std::uint64_t SimConnectServer::nextFrame(Clock::time_point at)
{
    std::lock_guard<std::mutex> g(lock_);
    const std::uint64_t n = ++frames_;
    if (frameTimes_.size() < 200000)
        frameTimes_.push_back(at);
    return n;
}

Clock::time_point SimConnectServer::frameTime(std::uint64_t n)
{
    std::lock_guard<std::mutex> g(lock_);
    return n >= 1 && n <= frameTimes_.size() ? frameTimes_[n - 1] : Clock::time_point();
}

void SimConnectServer::record(const ReceivedMessage &m)
{
    std::lock_guard<std::mutex> g(lock_);
    received_.push_back(m);
}

std::vector<ReceivedMessage> SimConnectServer::received()
{
    std::lock_guard<std::mutex> g(lock_);
    return received_;
}

void SimConnectServer::clearReceived()
{
    std::lock_guard<std::mutex> g(lock_);
    received_.clear();
}

} // namespace simpeer
