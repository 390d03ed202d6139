#include "simconnectconfig.h"

#include <cwctype>

namespace simconnect {

static std::wstring lowered(std::wstring s)
{
    for (wchar_t &c : s)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return s;
}

static std::wstring bounded(std::wstring s)
{
    if (s.size() > kMaxSettingChars)
        s.resize(kMaxSettingChars);
    return s;
}

// Leading decimal digits, as the C library reads them; saturates at 32 bits.
static std::uint32_t decimal(const std::wstring &s)
{
    std::size_t i = 0;
    while (i < s.size() && std::iswspace(static_cast<wint_t>(s[i])))
        ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-'))
        neg = s[i++] == L'-';
    std::uint64_t v = 0;
    for (; i < s.size() && s[i] >= L'0' && s[i] <= L'9'; ++i) {
        v = v * 10 + static_cast<std::uint64_t>(s[i] - L'0');
        if (v > 0xFFFFFFFFull)
            v = 0xFFFFFFFFull;
    }
    return neg ? 0 : static_cast<std::uint32_t>(v);
}

std::wstring cfgSectionName(std::uint32_t index)
{
    if (index == 0)
        return L"SimConnect";
    return L"SimConnect." + std::to_wstring(index);
}

std::wstring readRegistryPort(const Platform &p, Family family)
{
    std::wstring port = p.registryPort ? p.registryPort(family) : std::wstring();
    // The value lives in a 20-byte field: 9 characters and the terminator.
    if (port.size() > 9)
        port.resize(9);
    return port;
}

void readSimConnectCfg(const Platform &p, const std::wstring &file, std::uint32_t index,
                       ConnectSettings &s)
{
    if (!p.profileString)
        return;
    const std::wstring section = cfgSectionName(index);
    auto key = [&](const wchar_t *k) { return p.profileString(file, section, k); };

    const std::wstring protocol = lowered(key(L"Protocol"));
    if (protocol == L"auto" || protocol == L"pipe") {
        s.protocol = Protocol::Pipe;
    } else if (protocol == L"ipv4" || protocol == L"ipv6") {
        const Family f = protocol == L"ipv4" ? Family::IPv4 : Family::IPv6;
        if (!s.port.empty())
            s.port = readRegistryPort(p, f);
        s.protocol = f == Family::IPv4 ? Protocol::IPv4 : Protocol::IPv6;
    }
    const std::wstring address = key(L"Address");
    if (!address.empty())
        s.address = bounded(address);
    const std::wstring port = key(L"Port");
    if (!port.empty())
        s.port = bounded(port);
    const std::wstring maxRecv = key(L"MaxReceiveSize");
    if (!maxRecv.empty()) {
        const std::uint32_t v = decimal(maxRecv);
        if (v > s.maxReceiveSize)
            s.maxReceiveSize = v;
    }
    const std::wstring nagle = key(L"DisableNagle");
    if (!nagle.empty())
        s.disableNagle = decimal(nagle) != 0;
}

bool hasSimConnectCfgSection(const Platform &p, const std::wstring &file, std::uint32_t index)
{
    return p.sectionPresent && p.sectionPresent(file, cfgSectionName(index));
}

std::wstring pipeNameFor(const std::wstring &address, const std::wstring &port)
{
    const std::wstring server = address.empty() ? std::wstring(L".") : address;
    std::wstring name = L"\\\\" + server + L"\\pipe\\";
    name += port.empty() ? std::wstring(L"Lockheed Martin Prepar3D v4\\SimConnect") : port;
    return bounded(name);
}

} // namespace simconnect
