#include "processcontrol.h"

#include <windows.h>
#include <tlhelp32.h>

namespace platform {

static std::string narrow(const wchar_t *w)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string s(static_cast<size_t>(n - 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

std::vector<ProcessEntry> listProcesses()
{
    std::vector<ProcessEntry> out;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    PROCESSENTRY32W pe;
    pe.dwSize = sizeof pe;
    for (BOOL ok = ::Process32FirstW(snap, &pe); ok; ok = ::Process32NextW(snap, &pe))
        out.push_back({static_cast<std::int64_t>(pe.th32ProcessID), narrow(pe.szExeFile)});
    ::CloseHandle(snap);
    return out;
}

bool terminateProcess(std::int64_t pid)
{
    HANDLE h = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return false;
    const BOOL ok = ::TerminateProcess(h, 0);
    ::CloseHandle(h);
    return ok != FALSE;
}

} // namespace platform
