#pragma once
// The bridge's own SimConnect client: transport (pipe or TCP, overlapped I/O
// with a completion routine), connection (send buffer, receive queue, dispatch)
// and the public functions the bridge calls.
#include "simconnectconfig.h"
#include "simconnectframer.h"
#include "simconnecthost.h"
#include "simconnectlock.h"
#include "simconnectmessages.h"
#include "simconnectplatform.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

namespace simconnect {

// Completion statuses as the system's completion threads report them.
constexpr std::uint32_t kStatusSuccess = 0;
constexpr std::uint32_t kStatusBufferOverflow = 0x80000005u;   // partial read of a pipe message
constexpr std::uint32_t kStatusCancelled = 0xC0000120u;
constexpr std::uint32_t kStatusRemoteDisconnect = 0xC000013Cu;
constexpr std::uint32_t kStatusGracefulDisconnect = 0xC000013Eu;
constexpr std::uint32_t kStatusPipeBroken = 0xC000014Bu;
constexpr std::uint32_t kStatusConnectionReset = 0xC000020Du;

// A received or sent message, shared by reference count.
class SimConnectMessage {
public:
    SimConnectMessage(std::uint8_t *data, std::uint32_t length, std::uint32_t generation)
        : data(data), length(length), generation(generation) {}
    virtual ~SimConnectMessage() { delete[] data; }
    void addRef() { refs.fetch_add(1); }
    void release()
    {
        if (refs.fetch_sub(1) == 1)
            delete this;
    }

    std::atomic<int> refs{1};
    std::uint8_t *data;
    std::uint32_t length;
    std::uint32_t generation;
    bool lentByHost = false;   // data belongs to the simulator: given back, never freed here
};

class SimConnectTransport {
public:
    enum Kind { Socket = 0, Pipe = 1 };
    enum State { Closed = 0, Open = 2 };

    explicit SimConnectTransport(Kind kind);
    virtual ~SimConnectTransport();
    SimConnectTransport(const SimConnectTransport &) = delete;
    SimConnectTransport &operator=(const SimConnectTransport &) = delete;

    virtual void reset();
    virtual void disconnect(bool error, HRESULT32 failureCode);
    virtual void onMessage(const std::uint8_t *, std::uint32_t) {}
    virtual void hook() {}

    void addRef() { refs_.fetch_add(1); }
    void release();

    // Takes over an open pipe or socket and starts reading it.
    bool initialise(std::unique_ptr<TransportOs> os, Family family, std::uint32_t maxReceiveSize,
                    bool disableNagle);
    void postReceive();
    void onIoCompletion(std::uint32_t status, std::uint32_t bytes, IoRecord *rec);
    ReceiveFramer::Result extractMessage() { return framer_.next(); }
    HRESULT32 queueSend(SimConnectMessage *msg);
    void sendNext(bool forced);

    bool isOpen() const { return state_.load() == Open; }
    bool broken() const { return errorDisconnect_.load(); }
    HRESULT32 failureCode() const { return failureCode_; }
    std::uint32_t lastError() const { return lastError_; }
    std::uint32_t generation() const { return generation_.load(); }
    std::uint32_t serial() const { return serial_; }
    Kind kind() const { return kind_; }
    std::uint32_t maxReceiveSize() const { return maxReceiveSize_; }
    std::size_t queuedSends();

    static int liveTransports();
    static bool anyConnectionFailed();

protected:
    void clearSendQueue();
    void clearReceive();

    Kind kind_;
    std::uint32_t serial_;
    std::unique_ptr<TransportOs> os_;
    std::uint32_t lastError_ = 0;
    HRESULT32 failureCode_ = 0;
    std::deque<SimConnectMessage *> sendQueue_;
    CriticalLock sendQueueLock_;
    bool sending_ = false;
    ReceiveFramer framer_;
    std::atomic<int> state_{Closed};
    Family family_ = Family::IPv4;
    std::uint32_t maxReceiveSize_ = kDefaultMaxReceiveSize;
    bool disableNagle_ = false;
    IoRecord recvRecord_;
    IoRecord sendRecord_;
    SimConnectMessage *current_ = nullptr;
    std::atomic<std::uint32_t> generation_{0};
    CriticalLock ioLock_;
    std::atomic<bool> errorDisconnect_{false};
    std::atomic<int> refs_{1};
};

using DispatchProc = void (*)(const std::uint8_t *data, std::uint32_t size, void *context);

class SimConnectConnection : public SimConnectTransport {
public:
    explicit SimConnectConnection(Kind kind);
    ~SimConnectConnection() override;

    void reset() override;
    void disconnect(bool error, HRESULT32 failureCode) override;
    void onMessage(const std::uint8_t *data, std::uint32_t size) override;

    // 0 connected; 3 the index's section is in no configuration file; 1 any other failure.
    static int openCore(SimConnectConnection **out, std::uint32_t configIndex);
    static int close(SimConnectConnection *conn);
    bool connectTransport(Family family, const std::wstring &address, const std::wstring &port,
                          std::uint32_t maxReceiveSize, bool disableNagle);
    bool connectPipe(const std::wstring &address, const std::wstring &port,
                     std::uint32_t maxReceiveSize);

    HRESULT32 claimMessage(std::uint32_t length, std::uint8_t **block);
    void releaseMessage(std::uint8_t *block, std::uint32_t length);
    void commit();
    HRESULT32 flushSendBuffer();
    HRESULT32 dispatch(DispatchProc proc, void *context);

    void setNotification(void *window, std::uint32_t message, void *event);
    std::uint32_t sendIdCounter() const { return sendId_; }
    std::uint32_t sendBufferFill() const { return fill_; }
    std::size_t receiveQueued();
    // 0 not in-process; 1 registered with the simulator's window; 2 its entry points
    // handed over, so sends go out in lent blocks.
    int inProcessState() const { return inProcessState_.load(); }
    std::size_t lentBlocks();

    // For tests: the counter is otherwise only advanced by claims.
    void setSendIdCounter(std::uint32_t v) { sendId_ = v; }

    static int liveConnections();

private:
    friend struct ConnectionList;
    void inProcessRegister();
    void discardReceiveQueue();
    void queueReceived(SimConnectMessage *m);
    void finishMessage(SimConnectMessage *m);
    void hostRequest(std::uint32_t kind, std::uint64_t first, std::uint64_t second);
    void giveBackLentBlocks();
    static int lendEntry(std::uint32_t identity, std::uint8_t *block, std::uint32_t length);
    static int deliverEntry(std::uint32_t identity, std::uint8_t *data, std::uint32_t length);

    bool autoSend_ = true;
    std::deque<SimConnectMessage *> recvQueue_;
    CriticalLock recvLock_;
    void *window_ = nullptr;
    std::uint32_t windowMessage_ = 0;
    void *event_ = nullptr;
    DispatchProc proc_ = nullptr;
    void *context_ = nullptr;
    std::uint8_t sendBuffer_[kSendBufferSize];
    std::uint32_t fill_ = 0;
    std::uint32_t sendId_ = 0;
    SimConnectConnection *prev_ = nullptr;
    SimConnectConnection *next_ = nullptr;
    std::atomic<int> inProcessState_{0};
    std::vector<std::pair<std::uint8_t *, std::uint32_t>> lent_;   // claimed, not yet handed over
    // One borrow at a time (claims hold clientLock); the lend entry may run on
    // the simulator's window thread, so the hand-off has its own lock.
    CriticalLock lendLock_;
    std::uint32_t borrowWanted_ = 0;
    std::uint8_t *borrowed_ = nullptr;
};

} // namespace simconnect

using SimConnectHandle = void *;

simconnect::HRESULT32 SimConnect_Open(SimConnectHandle *phSimConnect, const char *name, void *hWnd,
                                      std::uint32_t userEventWin32, void *hEventHandle,
                                      std::uint32_t configIndex);
simconnect::HRESULT32 SimConnect_Close(SimConnectHandle hSimConnect);
simconnect::HRESULT32 SimConnect_CallDispatch(SimConnectHandle hSimConnect,
                                              simconnect::DispatchProc proc, void *context);
simconnect::HRESULT32 SimConnect_AddToDataDefinition(SimConnectHandle hSimConnect,
                                                     std::uint32_t defineId, const char *datumName,
                                                     const char *unitsName, std::uint32_t datumType,
                                                     float epsilon, std::uint32_t datumId);
simconnect::HRESULT32 SimConnect_ClearDataDefinition(SimConnectHandle hSimConnect,
                                                     std::uint32_t defineId);
simconnect::HRESULT32 SimConnect_RequestDataOnSimObject(
    SimConnectHandle hSimConnect, std::uint32_t requestId, std::uint32_t defineId,
    std::uint32_t objectId, std::uint32_t period, std::uint32_t flags, std::uint32_t origin,
    std::uint32_t interval, std::uint32_t limit);
simconnect::HRESULT32 SimConnect_RequestSystemState(SimConnectHandle hSimConnect,
                                                    std::uint32_t requestId, const char *stateName);
