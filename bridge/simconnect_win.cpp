// The Windows side of the SimConnect client: configuration files in the known
// folders, the simulator's registry ports, Winsock, and overlapped I/O on the
// pipe or socket, completed on the system's I/O threads.
#include "simconnectclient.h"
#include "simconnectplatform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdio>

namespace simconnect {

namespace {

struct WinOverlapped {
    OVERLAPPED ov;
    IoRecord *rec;
};

// Maps the completion's error to the status the transport reasons about.
std::uint32_t completionStatus(DWORD err)
{
    if (err == 0 || err >= 0x80000000u)
        return err;
    switch (err) {
    case ERROR_MORE_DATA:
        return kStatusBufferOverflow;
    case ERROR_OPERATION_ABORTED:
        return kStatusCancelled;
    case ERROR_NETNAME_DELETED:
        return kStatusRemoteDisconnect;
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_NOT_CONNECTED:
        return kStatusPipeBroken;
    case ERROR_CONNECTION_ABORTED:
    case WSAECONNRESET:
        return kStatusConnectionReset;
    default:
        return 0xC0000000u | (err & 0xFFFFu);
    }
}

VOID CALLBACK onCompletion(DWORD err, DWORD bytes, LPOVERLAPPED ov)
{
    WinOverlapped *w = CONTAINING_RECORD(ov, WinOverlapped, ov);
    IoRecord *rec = w->rec;
    rec->owner->onIoCompletion(completionStatus(err), bytes, rec);
}

class WinIo : public TransportOs {
public:
    WinIo()
    {
        ZeroMemory(&recv_, sizeof recv_);
        ZeroMemory(&send_, sizeof send_);
    }

protected:
    WinOverlapped &record(IoRecord *rec)
    {
        WinOverlapped &w = rec->send ? send_ : recv_;
        const HANDLE ev = w.ov.hEvent;
        ZeroMemory(&w.ov, sizeof w.ov);
        w.ov.hEvent = ev;
        w.rec = rec;
        return w;
    }
    WinOverlapped recv_;
    WinOverlapped send_;
};

class PipeIo : public WinIo {
public:
    explicit PipeIo(HANDLE h) : h_(h) {}
    ~PipeIo() override { close(); }
    bool isPipe() const override { return true; }
    bool reset() override
    {
        for (WinOverlapped *w : {&recv_, &send_}) {
            if (w->ov.hEvent)
                continue;
            w->ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (!w->ov.hEvent) {
                std::printf("CreateEvent failed with %d.\n", static_cast<int>(::GetLastError()));
                return false;
            }
        }
        return true;
    }
    std::uint32_t startRead(std::uint8_t *buf, std::uint32_t len, IoRecord *rec) override
    {
        WinOverlapped &w = record(rec);
        if (::ReadFile(h_, buf, len, nullptr, &w.ov))
            return 0;
        const DWORD e = ::GetLastError();
        return e == ERROR_IO_PENDING || e == ERROR_MORE_DATA ? 0 : e;
    }
    std::uint32_t startWrite(const std::uint8_t *buf, std::uint32_t len, IoRecord *rec) override
    {
        WinOverlapped &w = record(rec);
        if (::WriteFile(h_, buf, len, nullptr, &w.ov))
            return 0;
        const DWORD e = ::GetLastError();
        return e == ERROR_IO_PENDING ? 0 : e;
    }
    void close() override
    {
        if (h_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(h_);
            h_ = INVALID_HANDLE_VALUE;
        }
        for (WinOverlapped *w : {&recv_, &send_})
            if (w->ov.hEvent) {
                ::CloseHandle(w->ov.hEvent);
                w->ov.hEvent = nullptr;
            }
    }

private:
    HANDLE h_;
};

class SocketIo : public WinIo {
public:
    explicit SocketIo(SOCKET s) : s_(s) {}
    ~SocketIo() override { close(); }
    bool isPipe() const override { return false; }
    void setNoDelay() override
    {
        BOOL on = TRUE;
        ::setsockopt(s_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
    }
    std::uint32_t startRead(std::uint8_t *buf, std::uint32_t len, IoRecord *rec) override
    {
        WinOverlapped &w = record(rec);
        WSABUF b{len, reinterpret_cast<char *>(buf)};
        DWORD flags = 0;
        if (::WSARecv(s_, &b, 1, nullptr, &flags, &w.ov, nullptr) == 0)
            return 0;
        const int e = ::WSAGetLastError();
        return e == WSA_IO_PENDING ? 0 : static_cast<std::uint32_t>(e);
    }
    std::uint32_t startWrite(const std::uint8_t *buf, std::uint32_t len, IoRecord *rec) override
    {
        WinOverlapped &w = record(rec);
        WSABUF b{len, reinterpret_cast<char *>(const_cast<std::uint8_t *>(buf))};
        if (::WSASend(s_, &b, 1, nullptr, 0, &w.ov, nullptr) == 0)
            return 0;
        const int e = ::WSAGetLastError();
        return e == WSA_IO_PENDING ? 0 : static_cast<std::uint32_t>(e);
    }
    void close() override
    {
        if (s_ == INVALID_SOCKET)
            return;
        ::shutdown(s_, SD_BOTH);
        ::CancelIoEx(reinterpret_cast<HANDLE>(s_), nullptr);
        ::closesocket(s_);
        s_ = INVALID_SOCKET;
    }

private:
    SOCKET s_;
};

std::wstring knownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::wstring out;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path)
        out = path;
    ::CoTaskMemFree(path);
    return out;
}

std::vector<std::wstring> configFiles()
{
    std::vector<std::wstring> files;
    for (const std::wstring &folder : {knownFolder(FOLDERID_PublicDocuments),
                                       knownFolder(FOLDERID_Documents)})
        if (!folder.empty())
            files.push_back(folder + L"\\SimConnect.cfg");
    // The private-profile functions look for a bare name in the Windows
    // folder, so the current directory is spelled out.
    wchar_t cwd[MAX_PATH + 1];
    const DWORD n = ::GetCurrentDirectoryW(MAX_PATH + 1, cwd);
    if (n > 0 && n <= MAX_PATH)
        files.push_back(std::wstring(cwd, n) + L"\\SimConnect.cfg");
    return files;
}

std::wstring registryPort(Family family)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Lockheed Martin\\Prepar3D v4", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return {};
    wchar_t buf[10] = {};   // 20 bytes: 9 characters and the terminator
    DWORD bytes = sizeof buf - sizeof(wchar_t);
    DWORD type = 0;
    const LONG r = ::RegQueryValueExW(key,
                                      family == Family::IPv4 ? L"SimConnect_Port_IPv4"
                                                             : L"SimConnect_Port_IPv6",
                                      nullptr, &type, reinterpret_cast<BYTE *>(buf), &bytes);
    ::RegCloseKey(key);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    buf[bytes / sizeof(wchar_t) < 9 ? bytes / sizeof(wchar_t) : 9] = L'\0';
    return buf;
}

std::unique_ptr<TransportOs> openPipe(const std::wstring &name)
{
    HANDLE h;
    for (;;) {
        h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            break;
        if (::GetLastError() != ERROR_PIPE_BUSY || !::WaitNamedPipeW(name.c_str(), 5000))
            return nullptr;
    }
    if (!::BindIoCompletionCallback(h, onCompletion, 0)) {
        ::CloseHandle(h);
        return nullptr;
    }
    return std::unique_ptr<TransportOs>(new PipeIo(h));
}

std::unique_ptr<TransportOs> openTcp(Family family, const std::wstring &address,
                                     const std::wstring &port)
{
    ADDRINFOW hints;
    ZeroMemory(&hints, sizeof hints);
    hints.ai_family = family == Family::IPv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW *res = nullptr;
    if (::GetAddrInfoW(address.empty() ? nullptr : address.c_str(), port.c_str(), &hints, &res) != 0
        || !res)
        return nullptr;
    SOCKET s = ::WSASocketW(res->ai_family, res->ai_socktype, res->ai_protocol, nullptr, 0,
                            WSA_FLAG_OVERLAPPED);
    bool ok = s != INVALID_SOCKET
        && ::connect(s, res->ai_addr, static_cast<int>(res->ai_addrlen)) == 0;
    ::FreeAddrInfoW(res);
    ok = ok && ::BindIoCompletionCallback(reinterpret_cast<HANDLE>(s), onCompletion, 0);
    if (!ok) {
        if (s != INVALID_SOCKET)
            ::closesocket(s);
        return nullptr;
    }
    return std::unique_ptr<TransportOs>(new SocketIo(s));
}

} // namespace

Platform systemPlatform()
{
    Platform p;
    p.configFiles = configFiles;
    p.profileString = [](const std::wstring &file, const std::wstring &section,
                         const std::wstring &key) {
        wchar_t buf[2048];
        const DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buf, 2048,
                                                   file.c_str());
        return std::wstring(buf, n < 2048 ? n : 2047);
    };
    p.sectionPresent = [](const std::wstring &file, const std::wstring &section) {
        wchar_t probe[30];
        return ::GetPrivateProfileSectionW(section.c_str(), probe, 30, file.c_str()) > 0;
    };
    p.registryPort = registryPort;
    p.startWinsock = [] {
        WSADATA d;
        return ::WSAStartup(MAKEWORD(2, 0), &d) == 0;
    };
    p.stopWinsock = [] { ::WSACleanup(); };
    p.openPipe = openPipe;
    p.openTcp = openTcp;
    p.sleepMs = [](unsigned ms) { ::Sleep(ms); };
    p.lastError = [] { return static_cast<std::uint32_t>(::GetLastError()); };
    p.notify = [](void *window, std::uint32_t message, void *event) {
        if (window && message)
            ::PostMessageW(static_cast<HWND>(window), message, 0, 0);
        if (event)
            ::SetEvent(static_cast<HANDLE>(event));
    };
    p.hostInProcess = [] {
        HWND w = ::FindWindowW(L"FS98MAIN", nullptr);
        DWORD pid = 0;
        if (w)
            ::GetWindowThreadProcessId(w, &pid);
        return w && pid == ::GetCurrentProcessId();
    };
    p.registerWithHost = [](const std::uint8_t *request, std::uint32_t) {
        HWND w = ::FindWindowW(L"FS98MAIN", nullptr);
        if (w)
            ::SendMessageW(w, WM_COMMAND, 0x2002A, reinterpret_cast<LPARAM>(request));
    };
    return p;
}

} // namespace simconnect
