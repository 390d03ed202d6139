#pragma once
// Connection settings from SimConnect.cfg and the registry.
#include "simconnectplatform.h"

#include <cstdint>
#include <string>

namespace simconnect {

enum class Protocol { Pipe, IPv4, IPv6 };

constexpr std::size_t kMaxSettingChars = 1023;
constexpr std::uint32_t kDefaultMaxReceiveSize = 41088;

struct ConnectSettings {
    Protocol protocol = Protocol::Pipe;
    std::wstring address;
    std::wstring port;
    std::uint32_t maxReceiveSize = kDefaultMaxReceiveSize;
    bool disableNagle = false;
};

// "SimConnect" for index 0, "SimConnect.<index>" otherwise.
std::wstring cfgSectionName(std::uint32_t index);

// Merges one file's section into settings (keys present override, see the .cpp).
void readSimConnectCfg(const Platform &p, const std::wstring &file, std::uint32_t index,
                       ConnectSettings &settings);
bool hasSimConnectCfgSection(const Platform &p, const std::wstring &file, std::uint32_t index);
// The registry port of the family, cut to its 9-character field ("" when unreadable).
std::wstring readRegistryPort(const Platform &p, Family family);

// "\\<address>\pipe\<port>", the address "." when empty, the simulator's default
// pipe when the port is empty; cut to the 1023-character field.
std::wstring pipeNameFor(const std::wstring &address, const std::wstring &port);

} // namespace simconnect
