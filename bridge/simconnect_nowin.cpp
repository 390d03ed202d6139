// Without Windows there is no SimConnect server to reach: no configuration,
// no registry, no transport connects. Only the waits are real.
#include "simconnectplatform.h"

#include <chrono>
#include <thread>

namespace simconnect {

Platform systemPlatform()
{
    Platform p;
    p.configFiles = [] { return std::vector<std::wstring>(); };
    p.profileString = [](const std::wstring &, const std::wstring &, const std::wstring &) {
        return std::wstring();
    };
    p.sectionPresent = [](const std::wstring &, const std::wstring &) { return false; };
    p.registryPort = [](Family) { return std::wstring(); };
    p.startWinsock = [] { return true; };
    p.stopWinsock = [] {};
    p.openPipe = [](const std::wstring &) { return std::unique_ptr<TransportOs>(); };
    p.openTcp = [](Family, const std::wstring &, const std::wstring &) {
        return std::unique_ptr<TransportOs>();
    };
    p.sleepMs = [](unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    p.lastError = [] { return 0u; };
    p.notify = [](void *, std::uint32_t, void *) {};
    p.hostInProcess = [] { return false; };
    p.registerWithHost = [](const std::uint8_t *, std::uint32_t) {};
    return p;
}

} // namespace simconnect
