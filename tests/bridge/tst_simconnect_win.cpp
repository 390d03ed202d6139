// The SimConnect client on Windows (run under Wine), against the stand-in in
// the same process: named pipe from SimConnect.cfg, TCP from the registry
// ports, system state, QUIT and the broken connection after it; the
// registration with a simulator window in this process, and none with one in
// another process.
#include "simconnectclient.h"
#include "simconnectserver.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace simconnect;

static int failures = 0;
#define CHECK(cond)                                                                      \
    do {                                                                                 \
        if (!(cond)) {                                                                   \
            std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #cond);                  \
            std::fflush(stdout);                                                         \
            ++failures;                                                                  \
        }                                                                                \
    } while (0)

namespace {

struct Seen {
    std::vector<std::uint32_t> ids;
    std::uint32_t stateRequest = 0;
};

void proc(const std::uint8_t *d, std::uint32_t, void *ctx)
{
    auto *s = static_cast<Seen *>(ctx);
    const std::uint32_t id = readU32LE(d + 8);
    s->ids.push_back(id);
    if (id == 15)
        s->stateRequest = readU32LE(d + 12);
}

// Dispatches until a message of that id arrived (or the time is up).
HRESULT32 waitFor(SimConnectHandle h, Seen &seen, std::uint32_t id, int ms = 3000)
{
    HRESULT32 r = 0;
    for (int t = 0; t < ms; t += 5) {
        r = SimConnect_CallDispatch(h, proc, &seen);
        for (std::uint32_t got : seen.ids)
            if (got == id)
                return r;
        if (r != 0)
            return r;
        ::Sleep(5);
    }
    return r;
}

bool has(const Seen &s, std::uint32_t id)
{
    for (std::uint32_t got : s.ids)
        if (got == id)
            return true;
    return false;
}

void writeCfg(const char *text)
{
    FILE *f = std::fopen("SimConnect.cfg", "wb");
    if (f) {
        std::fputs(text, f);
        std::fclose(f);
    }
}

const wchar_t kKey[] = L"SOFTWARE\\Lockheed Martin\\Prepar3D v4";

void setRegistryPort(const wchar_t *name, unsigned port)
{
    const std::wstring v = std::to_wstring(port);
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_SZ, v.c_str(),
                      static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
}

void clearRegistry() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

// The stand-in on the named pipe that SimConnect.cfg names, and the client opened on it.
SimConnectHandle openOnPipe(simpeer::SimConnectServer &server, const std::string &name)
{
    server.listenPipe("\\\\.\\pipe\\" + name);
    writeCfg(("[SimConnect]\r\nPort=" + name + "\r\n").c_str());
    SimConnectHandle h = nullptr;
    CHECK(SimConnect_Open(&h, "KORVEL", nullptr, 0, nullptr, 0) == 0);
    return h;
}

void sessionOverTcpFromRegistry(bool v6)
{
    simpeer::SimConnectServer server;
    CHECK(server.listenTcp(0, 0));
    clearRegistry();
    if (v6)
        setRegistryPort(L"SimConnect_Port_IPv6", server.port6());
    else
        setRegistryPort(L"SimConnect_Port_IPv4", server.port4());
    SimConnectHandle h = nullptr;
    const auto t0 = std::chrono::steady_clock::now();
    CHECK(SimConnect_Open(&h, "KORVEL", nullptr, 0, nullptr, 0) == 0);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - t0).count();
    std::printf("open over %s after %lld ms\n", v6 ? "IPv6" : "IPv4", static_cast<long long>(ms));
    if (h) {
        Seen seen;
        CHECK(waitFor(h, seen, 2) == 0 && has(seen, 2));
        CHECK(server.sessionsAccepted() == 1);
        CHECK(SimConnect_Close(h) == 0);
    }
    clearRegistry();
}

// A pipe with one instance, held by another client for a second: the open
// waits for it instead of failing.
void busyPipeIsWaitedFor()
{
    const char *name = "\\\\.\\pipe\\KorvelBusyPipe";
    HANDLE server = ::CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                       4096, 0, nullptr);
    CHECK(server != INVALID_HANDLE_VALUE);
    HANDLE first = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    CHECK(first != INVALID_HANDLE_VALUE);
    ::ConnectNamedPipe(server, nullptr);   // already connected: returns at once
    writeCfg("[SimConnect]\r\nPort=KorvelBusyPipe\r\n");
    static HANDLE handles[2];
    handles[0] = server;
    handles[1] = first;

    HANDLE freeLater = ::CreateThread(nullptr, 0, [](LPVOID arg) -> DWORD {
        HANDLE *h = static_cast<HANDLE *>(arg);
        ::Sleep(1000);
        ::CloseHandle(h[1]);
        ::DisconnectNamedPipe(h[0]);
        ::ConnectNamedPipe(h[0], nullptr);   // the waiting client gets this instance
        return 0;
    }, handles, 0, nullptr);

    SimConnectHandle h = nullptr;
    const auto t0 = std::chrono::steady_clock::now();
    CHECK(SimConnect_Open(&h, "KORVEL", nullptr, 0, nullptr, 0) == 0);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - t0).count();
    std::printf("busy pipe open after %lld ms\n", static_cast<long long>(waited));
    CHECK(waited >= 800 && waited < 5000);
    if (h) {
        std::uint8_t open[296] = {};
        DWORD n = 0;
        CHECK(::ReadFile(server, open, sizeof open, &n, nullptr) && n == 296 && readU32LE(open + 8) == 0xF0000001u);
        ::CloseHandle(server);
        CHECK(SimConnect_Close(h) == 0);
    }
    ::WaitForSingleObject(freeLater, 5000);
    ::CloseHandle(freeLater);
    std::remove("SimConnect.cfg");
}

void nothingListening()
{
    clearRegistry();
    SimConnectHandle h = nullptr;
    CHECK(SimConnect_Open(&h, "KORVEL", nullptr, 0, nullptr, 0) == E_FAIL32);
    CHECK(h == nullptr);
}

// The simulator's main window, for the client running inside the simulator.
struct HostWindow {
    std::vector<std::uint32_t> kinds;
    HostLendEntry lend = nullptr;
    std::uint8_t block[1024];
    std::vector<std::vector<std::uint8_t>> handedOver;
    int commands = 0;   // WM_COMMAND 0x2002A seen
};
HostWindow *g_host = nullptr;

LRESULT CALLBACK hostProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND && wp == kHostCommandParam && g_host) {
        ++g_host->commands;
        const auto *req = reinterpret_cast<const std::uint8_t *>(lp);
        const std::uint32_t kind = readU32LE(req);
        g_host->kinds.push_back(kind);
        if (kind == kHostEntryPoints)
            g_host->lend = reinterpret_cast<HostLendEntry>(static_cast<std::uintptr_t>(readU64LE(req + 8)));
        if (kind == kHostBorrow && g_host->lend)
            g_host->lend(readU32LE(req + 4), g_host->block, sizeof g_host->block);
        if (kind == kHostHandOver) {
            const auto *b = reinterpret_cast<const std::uint8_t *>(static_cast<std::uintptr_t>(readU64LE(req + 8)));
            g_host->handedOver.emplace_back(b, b + readU64LE(req + 16));
        }
        return 0;
    }
    if (msg == WM_CLOSE) {
        ::DestroyWindow(w);
        return 0;
    }
    if (msg == WM_DESTROY)
        ::PostQuitMessage(0);
    return ::DefWindowProcW(w, msg, wp, lp);
}

HWND createHostWindow()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = hostProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FS98MAIN";
    ::RegisterClassW(&wc);
    return ::CreateWindowW(L"FS98MAIN", L"Simulator", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                           nullptr, wc.hInstance, nullptr);
}

// The simulator's window lives in this process: the client registers with it
// through WM_COMMAND and, after the OPEN reply, sends in blocks it lends.
void inProcessWithSimulatorWindow()
{
    HostWindow host;
    g_host = &host;
    HWND w = createHostWindow();
    CHECK(w != nullptr);
    simpeer::SimConnectServer server;
    SimConnectHandle h = openOnPipe(server, "KorvelInProcessTest");
    if (h) {
        // When each request comes, the native in-process test follows.
        Seen seen;
        CHECK(waitFor(h, seen, 2) == 0 && has(seen, 2));
        CHECK(SimConnect_RequestSystemState(h, 1, "Sim") == 0);
        CHECK((host.kinds == std::vector<std::uint32_t>{5, 4, 1, 2, 3}));
        CHECK(host.handedOver.size() == 1 && host.handedOver[0].size() == 276
              && readU32LE(host.handedOver[0].data() + 8) == 0xF0000035u);
        ::Sleep(200);
        CHECK(server.received().size() == 1);   // only the Open went down the pipe
        CHECK(SimConnect_Close(h) == 0);
        CHECK(!host.kinds.empty() && host.kinds.back() == kHostDeregister);
    }
    ::DestroyWindow(w);
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    ::UnregisterClassW(L"FS98MAIN", ::GetModuleHandleW(nullptr));
    g_host = nullptr;
    server.stop();
    std::remove("SimConnect.cfg");
}

// The child process's part: a simulator window in another process. Its exit
// code is the number of registration commands it received.
int runHostWindowProcess()
{
    HostWindow host;
    g_host = &host;
    if (!createHostWindow())
        return 100;
    MSG m;
    while (::GetMessageW(&m, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&m);
    return host.commands;
}

// A session over the pipe as the bridge runs it: the simulator's window
// belongs to another process, so nothing is registered and everything goes
// down the pipe; then the simulator closes. (Data requests and their values
// over the pipe: the Prepar3D bridge's end-to-end test.)
void sessionOverPipeBesideAnotherProcessesWindow()
{
    wchar_t exe[MAX_PATH];
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(exe) + L"\" window";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    CHECK(::CreateProcessW(exe, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    HWND other = nullptr;
    for (int t = 0; t < 5000 && !other; t += 20) {
        ::Sleep(20);
        other = ::FindWindowW(L"FS98MAIN", nullptr);
    }
    CHECK(other != nullptr);
    CHECK(!currentPlatform().hostInProcess());

    simpeer::SimConnectServer server;
    SimConnectHandle h = openOnPipe(server, "KorvelStandInTest");
    if (h) {
        Seen seen;
        CHECK(waitFor(h, seen, 2) == 0 && has(seen, 2));
        CHECK(SimConnect_RequestSystemState(h, 1, "Sim") == 0);
        CHECK(waitFor(h, seen, 15) == 0 && seen.stateRequest == 1);
        CHECK(server.received().size() == 2);   // their layouts: the native client test
        CHECK(static_cast<SimConnectConnection *>(h)->inProcessState() == 0);

        // The simulator closes: QUIT arrives, then the connection reports its break.
        server.stop();
        seen.ids.clear();
        HRESULT32 r = 0;
        for (int t = 0; t < 3000 && r == 0; t += 5) {
            r = SimConnect_CallDispatch(h, proc, &seen);
            ::Sleep(5);
        }
        CHECK(has(seen, 3));
        CHECK(r < 0);
        CHECK(SimConnect_RequestSystemState(h, 1, "Sim") == r);
        CHECK(SimConnect_Close(h) == 0);
    }
    if (other)
        ::PostMessageW(other, WM_CLOSE, 0, 0);
    DWORD code = 999;
    CHECK(::WaitForSingleObject(pi.hProcess, 5000) == WAIT_OBJECT_0);
    ::GetExitCodeProcess(pi.hProcess, &code);
    CHECK(code == 0);   // the other process's window was never asked anything
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    server.stop();
    std::remove("SimConnect.cfg");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "window") == 0)
        return runHostWindowProcess();

    // Work in a folder of our own: the client reads SimConnect.cfg from here.
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    const std::wstring dir = std::wstring(tmp) + L"korvel_simconnect_test";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    ::SetCurrentDirectoryW(dir.c_str());
    std::remove("SimConnect.cfg");

    sessionOverTcpFromRegistry(false);
    sessionOverTcpFromRegistry(true);
    busyPipeIsWaitedFor();
    nothingListening();
    inProcessWithSimulatorWindow();
    sessionOverPipeBesideAnotherProcessesWindow();

    std::printf("%s (%d failures)\n", failures ? "FAILED" : "PASSED", failures);
    return failures ? 1 : 0;
}
