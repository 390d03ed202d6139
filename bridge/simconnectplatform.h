#pragma once
// What the SimConnect client needs from the operating system: configuration
// files, registry ports, Winsock, the pipe and socket I/O. Windows supplies the
// real calls (simconnect_win.cpp); tests supply their own.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace simconnect {

class SimConnectTransport;

enum class Family { IPv4 = 4, IPv6 = 6 };

// One of the two overlapped records of a transport (receive or send).
struct IoRecord {
    SimConnectTransport *owner = nullptr;
    bool send = false;
};

// The open pipe or socket of one transport. start* return 0 when the I/O was
// started (its completion arrives later through onIoCompletion), else the
// system error; an I/O that is merely pending counts as started.
class TransportOs {
public:
    virtual ~TransportOs() = default;
    virtual bool isPipe() const = 0;
    virtual bool reset() { return true; }        // a pipe creates its two events here
    virtual void setNoDelay() {}
    virtual std::uint32_t startRead(std::uint8_t *buf, std::uint32_t len, IoRecord *rec) = 0;
    virtual std::uint32_t startWrite(const std::uint8_t *buf, std::uint32_t len, IoRecord *rec) = 0;
    virtual void close() = 0;                    // shut down, cancel pending I/O, close handles
};

struct Platform {
    // SimConnect.cfg paths in search order; folders that cannot be resolved are left out.
    std::function<std::vector<std::wstring>()> configFiles;
    // One key of an INI file ("" when the file, section or key is missing), at most 2047 characters.
    std::function<std::wstring(const std::wstring &file, const std::wstring &section,
                               const std::wstring &key)> profileString;
    // Whether the section exists with some content.
    std::function<bool(const std::wstring &file, const std::wstring &section)> sectionPresent;
    // The simulator's published port of that family, "" when it cannot be read.
    std::function<std::wstring(Family)> registryPort;
    std::function<bool()> startWinsock;
    std::function<void()> stopWinsock;
    // Opens and binds a pipe by full name, waiting while it is busy; null on failure.
    std::function<std::unique_ptr<TransportOs>(const std::wstring &pipeName)> openPipe;
    // Resolves, connects and binds a TCP socket; null on failure.
    std::function<std::unique_ptr<TransportOs>(Family, const std::wstring &address,
                                               const std::wstring &port)> openTcp;
    std::function<void(unsigned ms)> sleepMs;
    std::function<std::uint32_t()> lastError;
    // Posts the application's window message and sets its event (either may be absent).
    std::function<void(void *window, std::uint32_t message, void *event)> notify;
    // True when the simulator's main window belongs to this very process.
    std::function<bool()> hostInProcess;
    // Hands a 24-byte request (simconnecthost.h) to the simulator's main window;
    // used only in-process, where the window answers during the call.
    std::function<void(const std::uint8_t *request, std::uint32_t len)> registerWithHost;
};

// The operating system's own calls (a platform on which nothing connects where
// there is no SimConnect).
Platform systemPlatform();

// The platform in use; tests replace it.
Platform &currentPlatform();
void setPlatform(const Platform &p);

} // namespace simconnect
