#include "simbridge.h"

#include "byteorder.h"

#include <chrono>
#include <cstdio>
#include <cstring>

using namespace simconnect;

namespace {
const char *const kThrottleNames[4] = {
    "GENERAL ENG THROTTLE LEVER POSITION:1", "GENERAL ENG THROTTLE LEVER POSITION:2",
    "GENERAL ENG THROTTLE LEVER POSITION:3", "GENERAL ENG THROTTLE LEVER POSITION:4"};
constexpr std::uint32_t kDatumFloat64 = 4;
constexpr std::uint32_t kUnusedDatumId = 0xFFFFFFFFu;
constexpr std::uint32_t kPeriodVisualFrame = 2;
} // namespace

SimBridge::SimBridge(std::size_t valueCount, bool startThreads)
    : valueCount_(valueCount > kBridgeMaxValues ? kBridgeMaxValues : valueCount)
{
    if (!startThreads)
        return;
    watchdogThread_ = new std::thread(&SimBridge::watchdogLoop, this);
    watchdogThread_->detach();
    dispatchThread_ = new std::thread(&SimBridge::dispatchLoop, this);
    dispatchThread_->detach();
}

SimBridge::~SimBridge()
{
    delete dispatchThread_;
    delete watchdogThread_;
}

void SimBridge::watchdogLoop()
{
    for (;;) {
        watchdogPass();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
}

void SimBridge::watchdogPass()
{
    // A reset from the dispatch thread between the read and the write must not
    // be lost, or a healthy connection would be reopened.
    int c = watchdogCounter_.load();
    int n;
    do {
        n = c < 10 ? c + 1 : c;
    } while (!watchdogCounter_.compare_exchange_weak(c, n));

    if (n > 3) {
        std::printf("simconnect close and reopen\n");
        std::fflush(stdout);
        connected_ = false;
        std::lock_guard<std::recursive_mutex> g(handleLock_);
        SimConnect_Close(handle_);
        handle_ = nullptr;
        SimConnectHandle h = nullptr;
        if (SimConnect_Open(&h, "KORVEL", nullptr, 0, nullptr, 0) == S_OK32) {
            handle_ = h;
            connected_ = true;
        } else {
            handle_ = nullptr;
        }
        watchdogCounter_ = 0;
    } else if (n > 1) {
        std::lock_guard<std::recursive_mutex> g(handleLock_);
        SimConnect_RequestSystemState(handle_, SIM_STATE_REQUEST_ID, "Sim");
    }
}

void SimBridge::dispatchLoop()
{
    for (;;) {
        dispatchPass();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void SimBridge::dispatchPass()
{
    if (!connected_.load())
        return;
    std::lock_guard<std::recursive_mutex> g(handleLock_);
    if (connected_.load() && handle_)
        SimConnect_CallDispatch(handle_, &SimBridge::dispatchProc, this);
}

void SimBridge::dispatchProc(const std::uint8_t *data, std::uint32_t size, void *context)
{
    auto *self = static_cast<SimBridge *>(context);
    if (!self || !data || size < 12)
        return;
    const std::uint32_t id = readU32LE(data + 8);
    switch (id) {
    case kRecvOpen:
        self->defineSimVariables();
        break;
    case kRecvQuit: {
        std::lock_guard<std::recursive_mutex> g(self->handleLock_);
        SimConnect_ClearDataDefinition(self->handle_, SIMVAR_DEFINE_ID);
        break;
    }
    case kRecvSimObjectData:
        if (size >= 16 && readU32LE(data + 12) == SIMVAR_REQUEST_ID && size > 40) {
            // Never past the message's end, whatever it claims to carry.
            std::size_t n = self->valueCount_ * 8;
            if (n > size - 40)
                n = size - 40;
            std::lock_guard<std::mutex> g(self->valuesLock_);
            std::memcpy(self->values_, data + 40, n);
        }
        break;
    case kRecvSystemState:
        if (size >= 16 && readU32LE(data + 12) == SIM_STATE_REQUEST_ID)
            self->watchdogCounter_ = 0;
        break;
    default:
        break;
    }
}

void SimBridge::defineSimVariables()
{
    std::lock_guard<std::recursive_mutex> g(handleLock_);
    for (std::size_t i = 0; i < valueCount_; ++i) {
        const char *name = kBridgeVariables[i].name;
        if (i >= SimBridgeRecord::Throttle1 && i <= SimBridgeRecord::Throttle4)
            name = kThrottleNames[i - SimBridgeRecord::Throttle1];
        SimConnect_AddToDataDefinition(handle_, SIMVAR_DEFINE_ID, name, kBridgeVariables[i].units,
                                       kDatumFloat64, 0.0f, kUnusedDatumId);
    }
    SimConnect_RequestDataOnSimObject(handle_, SIMVAR_REQUEST_ID, SIMVAR_DEFINE_ID, 0,
                                      kPeriodVisualFrame, 0, 0, 0, 0);
}

std::size_t SimBridge::buildDatagram(std::uint8_t *out)
{
    std::memset(out, 0, SimBridgeRecord::HeaderBytes);
    out[SimBridgeRecord::OffConnected] = connected_.load() ? 1 : 0;
    {
        std::lock_guard<std::mutex> g(valuesLock_);
        for (std::size_t i = 0; i < valueCount_; ++i)
            writeF64LE(out + SimBridgeRecord::valueOffset(int(i)), values_[i]);
    }
    return datagramSize();
}
