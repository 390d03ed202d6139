#include "simconnectclient.h"

#include <cstring>
#include <new>

namespace simconnect {

namespace {

CriticalLock &clientLock()
{
    static CriticalLock lock;   // guards every connection's send buffer
    return lock;
}
// Constructed before main so the first connection never races its creation.
struct ClientLockInit { ClientLockInit() { clientLock(); } } clientLockInit;

std::atomic<int> g_liveTransports{0};
std::atomic<int> g_liveConnections{0};
std::atomic<std::uint32_t> g_transportSerial{0};
std::atomic<std::uint32_t> g_generation{0};
std::atomic<bool> g_winsockStarted{false};
std::atomic<bool> g_connectionFailed{false};
std::atomic<bool> g_hostRegistered{false};   // the first-client registration is in force

std::uint32_t nextGeneration()
{
    std::uint32_t cur = g_generation.load();
    std::uint32_t next;
    do {
        next = cur == 0xFFFFFFFFu ? 1 : cur + 1;
    } while (!g_generation.compare_exchange_weak(cur, next));
    return next;
}

void sleepMs(unsigned ms)
{
    if (currentPlatform().sleepMs)
        currentPlatform().sleepMs(ms);
}

bool ensureWinsock()
{
    if (g_winsockStarted.load())
        return true;
    const Platform &p = currentPlatform();
    if (p.startWinsock && p.startWinsock()) {
        g_winsockStarted = true;
        return true;
    }
    return false;
}

} // namespace

struct ConnectionList {
    static CriticalLock &lock()
    {
        static CriticalLock l;
        return l;
    }
    static SimConnectConnection *head, *tail;

    static void link(SimConnectConnection *c)
    {
        LockGuard g(lock());
        c->prev_ = tail;
        c->next_ = nullptr;
        if (tail)
            tail->next_ = c;
        else
            head = c;
        tail = c;
        g_liveConnections.fetch_add(1);
    }
    static void unlink(SimConnectConnection *c)
    {
        LockGuard g(lock());
        if (c->prev_)
            c->prev_->next_ = c->next_;
        else if (head == c)
            head = c->next_;
        if (c->next_)
            c->next_->prev_ = c->prev_;
        else if (tail == c)
            tail = c->prev_;
        c->prev_ = c->next_ = nullptr;
        g_liveConnections.fetch_sub(1);
    }
    // Call with the lock held: the connection stays alive while it is listed.
    static SimConnectConnection *find(std::uint32_t identity)
    {
        for (SimConnectConnection *c = head; c; c = c->next_)
            if (c->serial_ == identity)
                return c;
        return nullptr;
    }
};
SimConnectConnection *ConnectionList::head = nullptr;
SimConnectConnection *ConnectionList::tail = nullptr;

// ---------------------------------------------------------------- transport

SimConnectTransport::SimConnectTransport(Kind kind)
    : kind_(kind), serial_(g_transportSerial.fetch_add(1) + 1)
{
    recvRecord_.owner = this;
    recvRecord_.send = false;
    sendRecord_.owner = this;
    sendRecord_.send = true;
    g_liveTransports.fetch_add(1);
}

SimConnectTransport::~SimConnectTransport()
{
    clearSendQueue();
    if (current_)
        current_->release();
    g_liveTransports.fetch_sub(1);
}

int SimConnectTransport::liveTransports() { return g_liveTransports.load(); }
bool SimConnectTransport::anyConnectionFailed() { return g_connectionFailed.load(); }

void SimConnectTransport::release()
{
    if (refs_.fetch_sub(1) == 1)
        delete this;
}

bool SimConnectTransport::initialise(std::unique_ptr<TransportOs> os, Family family,
                                     std::uint32_t maxReceiveSize, bool disableNagle)
{
    if (!os || !framer_.valid())
        return false;
    os_ = std::move(os);
    family_ = family;
    maxReceiveSize_ = maxReceiveSize;
    framer_.setMaxReceiveSize(maxReceiveSize);
    disableNagle_ = disableNagle;
    {
        LockGuard g(ioLock_);
        reset();
        if (!os_->reset())
            return false;
        if (kind_ == Socket && disableNagle_)
            os_->setNoDelay();
        state_ = Open;
    }
    postReceive();
    return true;
}

void SimConnectTransport::clearSendQueue()
{
    LockGuard g(sendQueueLock_);
    for (SimConnectMessage *m : sendQueue_)
        m->release();
    sendQueue_.clear();
}

void SimConnectTransport::clearReceive()
{
    framer_.clear();
}

std::size_t SimConnectTransport::queuedSends()
{
    LockGuard g(sendQueueLock_);
    return sendQueue_.size();
}

void SimConnectTransport::reset()
{
    LockGuard g(ioLock_);
    clearSendQueue();
    sending_ = false;
    generation_ = nextGeneration();
    clearReceive();
}

void SimConnectTransport::postReceive()
{
    if (state_.load() != Open)
        return;
    addRef();
    const std::uint32_t err = os_->startRead(framer_.freeSpace(), framer_.freeBytes(), &recvRecord_);
    if (err != 0) {
        release();
        // Without a read outstanding nothing would ever notice the break (a
        // pipe whose server just went away fails the read at once).
        disconnect(true, static_cast<HRESULT32>(0x80070000u | (err & 0xFFFFu)));
    }
}

HRESULT32 SimConnectTransport::queueSend(SimConnectMessage *msg)
{
    LockGuard g(ioLock_);
    if (state_.load() != Open) {
        msg->release();
        return E_FAIL32;
    }
    {
        LockGuard q(sendQueueLock_);
        sendQueue_.push_back(msg);
    }
    sendNext(false);
    return S_OK32;
}

void SimConnectTransport::sendNext(bool forced)
{
    LockGuard g(ioLock_);
    if (!forced && sending_)
        return;
    if (current_) {
        current_->release();
        current_ = nullptr;
    }
    SimConnectMessage *m = nullptr;
    {
        LockGuard q(sendQueueLock_);
        if (!sendQueue_.empty()) {
            m = sendQueue_.front();
            sendQueue_.pop_front();
        }
    }
    if (!m || state_.load() != Open) {
        if (m)
            m->release();
        sending_ = false;
        return;
    }
    current_ = m;
    sending_ = true;
    addRef();
    const std::uint32_t err = os_->startWrite(m->data, m->length, &sendRecord_);
    if (err != 0) {
        // No completion will come: without this the queue would stall for good.
        release();
        sending_ = false;
        disconnect(true, static_cast<HRESULT32>(0x80070000u | (err & 0xFFFFu)));
    }
}

void SimConnectTransport::onIoCompletion(std::uint32_t status, std::uint32_t bytes, IoRecord *rec)
{
    {
        LockGuard g(ioLock_);
        if (state_.load() != Open) {
            // nothing: the transport is closed, only the reference goes
        } else if (status == kStatusSuccess || (status == kStatusBufferOverflow && kind_ == Pipe)) {
            if (bytes == 0) {
                disconnect(true, static_cast<HRESULT32>(kStatusGracefulDisconnect));
            } else if (rec->send) {
                sendNext(true);
            } else {
                framer_.commit(bytes);
                for (;;) {
                    const ReceiveFramer::Result r = framer_.next();
                    if (r == ReceiveFramer::Message) {
                        onMessage(framer_.message(), framer_.messageSize());
                        continue;
                    }
                    if (r == ReceiveFramer::Abort)
                        disconnect(true, E_ABORT32);
                    else if (r == ReceiveFramer::OutOfMemory)
                        disconnect(true, E_OUTOFMEMORY32);
                    else
                        postReceive();
                    break;
                }
            }
        } else {
            // Cancelled, remote disconnect, broken pipe, reset or anything else.
            disconnect(true, static_cast<HRESULT32>(status));
        }
    }
    release();
}

void SimConnectTransport::disconnect(bool error, HRESULT32 failureCode)
{
    LockGuard g(ioLock_);
    const bool wasOpen = state_.exchange(Closed) == Open;
    generation_ = 0;
    if (!wasOpen)
        return;
    if (error) {
        lastError_ = currentPlatform().lastError ? currentPlatform().lastError() : 0;
        failureCode_ = failureCode;
        errorDisconnect_ = true;
        g_connectionFailed = true;
    }
    if (os_)
        os_->close();
}

// --------------------------------------------------------------- connection

SimConnectConnection::SimConnectConnection(Kind kind) : SimConnectTransport(kind)
{
    std::memset(sendBuffer_, 0, sizeof sendBuffer_);
    ConnectionList::link(this);
}

SimConnectConnection::~SimConnectConnection()
{
    discardReceiveQueue();
    lent_.clear();   // the simulator's memory: close has given it back
}

int SimConnectConnection::liveConnections() { return g_liveConnections.load(); }

void SimConnectConnection::reset()
{
    SimConnectTransport::reset();
}

void SimConnectConnection::disconnect(bool error, HRESULT32 failureCode)
{
    const bool wasOpen = isOpen();
    SimConnectTransport::disconnect(error, failureCode);
    if (wasOpen && error && currentPlatform().notify && (window_ || event_))
        currentPlatform().notify(window_, windowMessage_, event_);
}

void SimConnectConnection::onMessage(const std::uint8_t *data, std::uint32_t size)
{
    auto *copy = new (std::nothrow) std::uint8_t[size];
    if (!copy)
        return;
    std::memcpy(copy, data, size);
    auto *m = new (std::nothrow) SimConnectMessage(copy, size, generation());
    if (!m) {
        delete[] copy;
        return;
    }
    queueReceived(m);
}

void SimConnectConnection::queueReceived(SimConnectMessage *m)
{
    {
        LockGuard g(recvLock_);
        recvQueue_.push_back(m);
    }
    if (currentPlatform().notify && (window_ || event_))
        currentPlatform().notify(window_, windowMessage_, event_);
}

// A message leaves the queue: one the simulator lent goes back to it.
void SimConnectConnection::finishMessage(SimConnectMessage *m)
{
    if (m->lentByHost && m->data) {
        hostRequest(kHostGiveBack, reinterpret_cast<std::uintptr_t>(m->data), m->length);
        m->data = nullptr;
    }
    m->release();
}

std::size_t SimConnectConnection::receiveQueued()
{
    LockGuard g(recvLock_);
    return recvQueue_.size();
}

void SimConnectConnection::discardReceiveQueue()
{
    std::deque<SimConnectMessage *> left;
    {
        LockGuard g(recvLock_);
        left.swap(recvQueue_);
    }
    for (SimConnectMessage *m : left)
        finishMessage(m);
}

std::size_t SimConnectConnection::lentBlocks()
{
    LockGuard g(clientLock());
    return lent_.size();
}

void SimConnectConnection::setNotification(void *window, std::uint32_t message, void *event)
{
    window_ = window;
    windowMessage_ = message;
    event_ = event;
}

bool SimConnectConnection::connectTransport(Family family, const std::wstring &address,
                                            const std::wstring &port, std::uint32_t maxReceiveSize,
                                            bool disableNagle)
{
    const Platform &p = currentPlatform();
    if (kind_ != Socket || !p.openTcp)
        return false;
    std::unique_ptr<TransportOs> os = p.openTcp(family, address, port);
    return initialise(std::move(os), family, maxReceiveSize, disableNagle);
}

bool SimConnectConnection::connectPipe(const std::wstring &address, const std::wstring &port,
                                       std::uint32_t maxReceiveSize)
{
    const Platform &p = currentPlatform();
    if (kind_ != Pipe || !p.openPipe)
        return false;
    std::unique_ptr<TransportOs> os = p.openPipe(pipeNameFor(address, port));
    return initialise(std::move(os), Family::IPv4, maxReceiveSize, false);
}

int SimConnectConnection::openCore(SimConnectConnection **out, std::uint32_t index)
{
    const Platform &p = currentPlatform();
    const std::vector<std::wstring> files = p.configFiles ? p.configFiles() : std::vector<std::wstring>();
    if (index != 0 && index != 0xFFFFFFFFu) {
        bool present = false;
        for (const std::wstring &f : files)
            present = present || hasSimConnectCfgSection(p, f, index);
        if (!present)
            return 3;
    }
    ConnectSettings s;
    if (index != 0xFFFFFFFFu)
        for (const std::wstring &f : files)
            readSimConnectCfg(p, f, index, s);

    auto tryPipe = [&]() -> SimConnectConnection * {
        auto *c = new SimConnectConnection(Pipe);
        if (c->connectPipe(s.address, s.port, s.maxReceiveSize))
            return c;
        close(c);
        return nullptr;
    };
    auto tryTcp = [&](Family f) -> SimConnectConnection * {
        auto *c = new SimConnectConnection(Socket);
        if (c->connectTransport(f, s.address, s.port, s.maxReceiveSize, s.disableNagle))
            return c;
        close(c);
        return nullptr;
    };

    SimConnectConnection *conn = nullptr;
    Protocol step = s.protocol;
    for (;;) {
        if (step == Protocol::Pipe) {
            conn = tryPipe();
            if (conn)
                break;
            if (!(s.address.empty() || s.address == L"."))
                return 1;
            s.address = L"::1";
            s.port = readRegistryPort(p, Family::IPv6);
            step = Protocol::IPv6;
        } else if (step == Protocol::IPv6) {
            if (!ensureWinsock())
                return 1;
            if (!s.port.empty() && (conn = tryTcp(Family::IPv6)) != nullptr)
                break;
            if (s.address != L"::1")
                return 1;
            s.address = L"127.0.0.1";
            s.port = readRegistryPort(p, Family::IPv4);
            step = Protocol::IPv4;
        } else {
            if (!ensureWinsock())
                return 1;
            if (!s.port.empty() && (conn = tryTcp(Family::IPv4)) != nullptr)
                break;
            if (s.address != L"127.0.0.1")
                return 1;
            s.address = L".";
            s.port.clear();
            conn = tryPipe();   // the pipe once more, then give up
            if (!conn)
                return 1;
            break;
        }
    }
    *out = conn;
    conn->inProcessRegister();
    return 0;
}

// Registration with a simulator whose main window lives in this very process;
// a separate program such as the bridge never gets past the first check.
void SimConnectConnection::inProcessRegister()
{
    const Platform &p = currentPlatform();
    if (!p.hostInProcess || !p.hostInProcess() || !p.registerWithHost)
        return;
    const std::uintptr_t me = reinterpret_cast<std::uintptr_t>(this);
    hostRequest(kHostConnection, me, 0);
    if (liveConnections() == 1) {
        hostRequest(kHostFirstClient, me, 0);
        g_hostRegistered = true;
    }
    inProcessState_ = 1;
}

void SimConnectConnection::hostRequest(std::uint32_t kind, std::uint64_t first, std::uint64_t second)
{
    const Platform &p = currentPlatform();
    if (!p.registerWithHost)
        return;
    std::uint8_t request[kHostRequestSize];
    makeHostRequest(request, kind, serial_, first, second);
    p.registerWithHost(request, kHostRequestSize);
}

int SimConnectConnection::lendEntry(std::uint32_t identity, std::uint8_t *block, std::uint32_t length)
{
    LockGuard list(ConnectionList::lock());
    SimConnectConnection *c = ConnectionList::find(identity);
    if (!c || !block)
        return 0;
    LockGuard g(c->lendLock_);
    // Only an answer to a borrow in progress, and only a block that is big enough.
    if (c->borrowWanted_ == 0 || c->borrowed_ || length < c->borrowWanted_)
        return 0;
    c->borrowed_ = block;
    return 1;
}

int SimConnectConnection::deliverEntry(std::uint32_t identity, std::uint8_t *data, std::uint32_t length)
{
    LockGuard list(ConnectionList::lock());
    SimConnectConnection *c = ConnectionList::find(identity);
    if (!c || !data || length == 0 || c->inProcessState_.load() != 2)
        return 0;
    auto *m = new (std::nothrow) SimConnectMessage(data, length, c->generation());
    if (!m)
        return 0;
    m->lentByHost = true;
    c->queueReceived(m);
    return 1;
}

void SimConnectConnection::giveBackLentBlocks()
{
    LockGuard g(clientLock());
    for (auto &b : lent_)
        hostRequest(kHostGiveBack, reinterpret_cast<std::uintptr_t>(b.first), b.second);
    lent_.clear();
}

int SimConnectConnection::close(SimConnectConnection *conn)
{
    if (!conn)
        return 1;
    sleepMs(100);
    if (liveConnections() == 1 && g_hostRegistered.exchange(false))
        conn->hostRequest(kHostDeregister, 0, 0);
    conn->discardReceiveQueue();
    conn->giveBackLentBlocks();
    ConnectionList::unlink(conn);
    conn->disconnect(false, 0);
    {
        LockGuard g(conn->ioLock_);
        conn->clearSendQueue();
        conn->clearReceive();
    }
    conn->release();
    sleepMs(250);
    if (liveConnections() == 0) {
        for (int i = 0; i < 20 && liveTransports() > 0; ++i)
            sleepMs(250);
        if (g_winsockStarted.exchange(false) && currentPlatform().stopWinsock)
            currentPlatform().stopWinsock();
    }
    return 0;
}

HRESULT32 SimConnectConnection::claimMessage(std::uint32_t length, std::uint8_t **block)
{
    LockGuard g(clientLock());
    if (broken())
        return failureCode();
    std::uint8_t *b = nullptr;
    if (inProcessState_.load() == 2) {
        // The simulator answers the borrow through the lend entry, during the request.
        {
            LockGuard l(lendLock_);
            borrowWanted_ = length;
            borrowed_ = nullptr;
        }
        hostRequest(kHostBorrow, 0, length);
        {
            LockGuard l(lendLock_);
            b = borrowed_;
            borrowWanted_ = 0;
            borrowed_ = nullptr;
        }
        if (!b)
            return E_FAIL32;
        std::memset(b, 0, length);
        lent_.emplace_back(b, length);
    } else {
        if (kSendBufferSize - fill_ < length)
            return E_FAIL32;
        b = sendBuffer_ + fill_;
        fill_ += length;
    }
    sendId_ = sendId_ == 0xFFFFFFFFu ? 1 : sendId_ + 1;
    writeU32LE(b + 12, sendId_);
    *block = b;
    return S_OK32;
}

// Decided by where the block lives, not by the mode: the mode may change
// between a claim and its release.
void SimConnectConnection::releaseMessage(std::uint8_t *block, std::uint32_t length)
{
    LockGuard g(clientLock());
    for (auto it = lent_.begin(); it != lent_.end(); ++it)
        if (it->first == block) {
            hostRequest(kHostGiveBack, reinterpret_cast<std::uintptr_t>(block), it->second);
            lent_.erase(it);
            return;
        }
    if (block >= sendBuffer_ && block + length <= sendBuffer_ + fill_) {
        fill_ = static_cast<std::uint32_t>(block - sendBuffer_);
        std::memset(block, 0, length);
    }
}

void SimConnectConnection::commit()
{
    if (autoSend_)
        flushSendBuffer();
}

HRESULT32 SimConnectConnection::flushSendBuffer()
{
    LockGuard g(clientLock());
    for (auto &b : lent_)
        hostRequest(kHostHandOver, reinterpret_cast<std::uintptr_t>(b.first), b.second);
    lent_.clear();
    // Bytes claimed before the switch to lent blocks still go out on the transport.
    if (fill_ == 0)
        return S_OK32;
    auto *copy = new (std::nothrow) std::uint8_t[fill_];
    if (!copy)
        return E_OUTOFMEMORY32;   // the bytes stay in the buffer
    std::memcpy(copy, sendBuffer_, fill_);
    auto *m = new (std::nothrow) SimConnectMessage(copy, fill_, generation());
    if (!m) {
        delete[] copy;
        return E_OUTOFMEMORY32;
    }
    std::memset(sendBuffer_, 0, fill_);
    fill_ = 0;
    return queueSend(m);
}

HRESULT32 SimConnectConnection::dispatch(DispatchProc proc, void *context)
{
    if (!proc)
        return E_FAIL32;
    proc_ = proc;
    context_ = context;
    for (;;) {
        SimConnectMessage *m = nullptr;
        {
            LockGuard g(recvLock_);
            if (recvQueue_.empty())
                break;
            m = recvQueue_.front();
            recvQueue_.pop_front();
        }
        // The first OPEN reply of an in-process connection hands the simulator
        // our entry points. Done here, on the application's thread, rather than on
        // an I/O thread: the window's answer must never wait for a lock that
        // thread holds.
        if (inProcessState_.load() == 1 && !m->lentByHost && m->data
            && m->length == kOpenReplySizeInProcess && readU32LE(m->data + 8) == kRecvOpen) {
            hostRequest(kHostEntryPoints, reinterpret_cast<std::uintptr_t>(&lendEntry),
                        reinterpret_cast<std::uintptr_t>(&deliverEntry));
            inProcessState_ = 2;
        }
        if (m->data && m->length > 11)
            proc(m->data, m->length, context);
        finishMessage(m);
    }
    return broken() ? failureCode() : S_OK32;
}

} // namespace simconnect

// ----------------------------------------------------------- public functions

using namespace simconnect;

namespace {

SimConnectConnection *conn(SimConnectHandle h) { return static_cast<SimConnectConnection *>(h); }

// Claim, fill, send: the common path of every request.
template <typename Fill>
HRESULT32 sendMessage(SimConnectHandle h, std::uint32_t size, Fill fill)
{
    SimConnectConnection *c = conn(h);
    if (!c)
        return E_FAIL32;
    std::uint8_t *block = nullptr;
    const HRESULT32 r = c->claimMessage(size, &block);
    if (r != S_OK32)
        return r;
    if (!fill(block)) {
        c->releaseMessage(block, size);
        return E_TOOLONG32;
    }
    c->commit();
    return S_OK32;
}

} // namespace

HRESULT32 SimConnect_Open(SimConnectHandle *phSimConnect, const char *name, void *hWnd,
                          std::uint32_t userEventWin32, void *hEventHandle, std::uint32_t configIndex)
{
    if (!phSimConnect || !name)
        return E_INVALIDARG32;
    SimConnectConnection *c = nullptr;
    const int core = SimConnectConnection::openCore(&c, configIndex);
    if (core == 3)
        return E_INVALIDARG32;
    if (core != 0 || !c)
        return E_FAIL32;
    c->setNotification(hWnd, userEventWin32, hEventHandle);
    const HRESULT32 r = sendMessage(c, kSizeOpen, [&](std::uint8_t *b) { return fillOpen(b, name); });
    if (r != S_OK32) {
        SimConnectConnection::close(c);
        return r;
    }
    *phSimConnect = c;
    return S_OK32;
}

HRESULT32 SimConnect_Close(SimConnectHandle hSimConnect)
{
    SimConnectConnection *c = conn(hSimConnect);
    if (!c)
        return E_FAIL32;
    c->flushSendBuffer();
    SimConnectConnection::close(c);
    return S_OK32;
}

HRESULT32 SimConnect_CallDispatch(SimConnectHandle hSimConnect, DispatchProc proc, void *context)
{
    SimConnectConnection *c = conn(hSimConnect);
    if (!c)
        return E_FAIL32;
    return c->dispatch(proc, context);
}

HRESULT32 SimConnect_AddToDataDefinition(SimConnectHandle h, std::uint32_t defineId,
                                         const char *datumName, const char *unitsName,
                                         std::uint32_t datumType, float epsilon,
                                         std::uint32_t datumId)
{
    return sendMessage(h, kSizeAddToDataDefinition, [&](std::uint8_t *b) {
        return fillAddToDataDefinition(b, defineId, datumName, unitsName, datumType, epsilon,
                                       datumId);
    });
}

HRESULT32 SimConnect_ClearDataDefinition(SimConnectHandle h, std::uint32_t defineId)
{
    return sendMessage(h, kSizeClearDataDefinition, [&](std::uint8_t *b) {
        fillClearDataDefinition(b, defineId);
        return true;
    });
}

HRESULT32 SimConnect_RequestDataOnSimObject(SimConnectHandle h, std::uint32_t requestId,
                                            std::uint32_t defineId, std::uint32_t objectId,
                                            std::uint32_t period, std::uint32_t flags,
                                            std::uint32_t origin, std::uint32_t interval,
                                            std::uint32_t limit)
{
    return sendMessage(h, kSizeRequestDataOnSimObject, [&](std::uint8_t *b) {
        fillRequestDataOnSimObject(b, requestId, defineId, objectId, period, flags, origin,
                                   interval, limit);
        return true;
    });
}

HRESULT32 SimConnect_RequestSystemState(SimConnectHandle h, std::uint32_t requestId,
                                        const char *stateName)
{
    return sendMessage(h, kSizeRequestSystemState, [&](std::uint8_t *b) {
        return fillRequestSystemState(b, requestId, stateName);
    });
}
