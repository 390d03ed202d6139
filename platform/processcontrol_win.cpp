#include "processcontrol.h"

#include <windows.h>
#include <tlhelp32.h>

#include <unordered_map>

namespace platform {

// Windows hands an ended process's id to the next new process, also between a
// listing and the end of a process found in it: each thread keeps the names
// of its own last listing, so that it ends a process only while that process
// still runs the program it was listed under.
static thread_local std::unordered_map<DWORD, std::wstring> listedNames;

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
    listedNames.clear();
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    PROCESSENTRY32W pe;
    pe.dwSize = sizeof pe;
    for (BOOL ok = ::Process32FirstW(snap, &pe); ok; ok = ::Process32NextW(snap, &pe)) {
        out.push_back({static_cast<std::int64_t>(pe.th32ProcessID), narrow(pe.szExeFile)});
        listedNames[pe.th32ProcessID] = pe.szExeFile;
    }
    ::CloseHandle(snap);
    return out;
}

// Whether the opened process's executable file carries this name (case aside).
static bool imageNamed(HANDLE process, const std::wstring &name)
{
    wchar_t path[MAX_PATH * 4];
    DWORD size = sizeof path / sizeof path[0];
    if (!::QueryFullProcessImageNameW(process, 0, path, &size))
        return false;
    const std::wstring image(path, size);
    const auto slash = image.find_last_of(L"\\/");
    const std::wstring file = slash == std::wstring::npos ? image : image.substr(slash + 1);
    return ::CompareStringOrdinal(file.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool terminateProcess(std::int64_t pid)
{
    if (pid <= 0 || pid > MAXDWORD || static_cast<DWORD>(pid) == ::GetCurrentProcessId())
        return false;
    const auto listed = listedNames.find(static_cast<DWORD>(pid));
    if (listed == listedNames.end())
        return false;
    HANDLE h = ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return false;
    const bool ok = imageNamed(h, listed->second) && ::TerminateProcess(h, 0);
    ::CloseHandle(h);
    return ok;
}

} // namespace platform
