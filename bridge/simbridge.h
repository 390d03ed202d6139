#pragma once
// The bridge between a SimConnect simulator and KorvelTools: keeps one
// SimConnect session alive (watchdog), collects the user aircraft's variables
// (dispatch thread) and hands out the latest frame for the 15 ms datagram.
#include "simbridgerecord.h"
#include "simconnectclient.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

// Values of the datagram (kBridgeVariables); the Prepar3D build takes the first 43.
constexpr std::size_t kBridgeMaxValues = SimBridgeRecord::MsfsValueCount;

constexpr std::uint32_t SIMVAR_DEFINE_ID = 0;
constexpr std::uint32_t SIMVAR_REQUEST_ID = 0;
constexpr std::uint32_t SIM_STATE_REQUEST_ID = 1;

class SimBridge {
public:
    // valueCount: 44 (MSFS 2020 build) or 43 (Prepar3D build). Without
    // startThreads the passes are driven by the caller (tests).
    explicit SimBridge(std::size_t valueCount, bool startThreads = true);
    ~SimBridge();
    SimBridge(const SimBridge &) = delete;
    SimBridge &operator=(const SimBridge &) = delete;

    void watchdogLoop();
    void dispatchLoop();
    void watchdogPass();
    void dispatchPass();
    static void dispatchProc(const std::uint8_t *data, std::uint32_t size, void *context);
    void defineSimVariables();

    // The datagram: byte 0 the connected flag, bytes 1-7 zero, then the values
    // of one data message. Returns its length, 8 + 8 x N.
    std::size_t buildDatagram(std::uint8_t *out);
    std::size_t datagramSize() const { return std::size_t(SimBridgeRecord::bytesFor(int(valueCount_))); }

    bool connected() const { return connected_.load(); }
    int watchdogCounter() const { return watchdogCounter_.load(); }
    SimConnectHandle handle() const { return handle_; }
    std::size_t valueCount() const { return valueCount_; }

private:
    std::size_t valueCount_;
    double values_[kBridgeMaxValues] = {};
    std::mutex valuesLock_;                // one data message at a time in and out
    SimConnectHandle handle_ = nullptr;
    std::recursive_mutex handleLock_;      // no close while a dispatch runs on the handle
    std::atomic<int> watchdogCounter_{5};
    std::atomic<bool> connected_{false};
    std::thread *watchdogThread_ = nullptr;
    std::thread *dispatchThread_ = nullptr;
};
