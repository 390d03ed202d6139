// The SimConnect client on Windows (run under Wine), against the stand-in in
// the same process: named pipe from SimConnect.cfg, TCP from the registry
// ports, data, system state, QUIT and the broken connection after it.
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
    std::vector<double> values;
    std::uint32_t stateRequest = 0;
};

void proc(const std::uint8_t *d, std::uint32_t n, void *ctx)
{
    auto *s = static_cast<Seen *>(ctx);
    const std::uint32_t id = getU32(d + 8);
    s->ids.push_back(id);
    if (id == 8 && n >= 40) {
        s->values.clear();
        for (std::uint32_t at = 40; at + 8 <= n; at += 8)
            s->values.push_back(getF64(d + at));
    }
    if (id == 15)
        s->stateRequest = getU32(d + 12);
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

void sessionOverPipe()
{
    simpeer::SimConnectServer server;
    server.listenPipe("\\\\.\\pipe\\KorvelStandInTest");
    server.setValue("PLANE ALTITUDE", 1234.5);
    server.setValue("AILERON TRIM", -0.25);
    writeCfg("[SimConnect]\r\nProtocol=Pipe\r\nPort=KorvelStandInTest\r\n");

    SimConnectHandle h = nullptr;
    CHECK(SimConnect_Open(&h, "KORVEL", nullptr, 0, nullptr, 0) == 0);
    CHECK(h != nullptr);
    if (!h)
        return;
    Seen seen;
    CHECK(waitFor(h, seen, 2) == 0 && has(seen, 2));
    CHECK(SimConnect_AddToDataDefinition(h, 0, "PLANE ALTITUDE", "Feet", 4, 0, 0xFFFFFFFFu) == 0);
    CHECK(SimConnect_AddToDataDefinition(h, 0, "AILERON TRIM", "Radians", 4, 0, 0xFFFFFFFFu) == 0);
    CHECK(SimConnect_RequestDataOnSimObject(h, 0, 0, 0, 2, 0, 0, 0, 0) == 0);
    CHECK(waitFor(h, seen, 8) == 0 && has(seen, 8));
    CHECK(seen.values.size() == 2 && seen.values[0] == 1234.5 && seen.values[1] == -0.25);
    CHECK(SimConnect_RequestSystemState(h, 1, "Sim") == 0);
    CHECK(waitFor(h, seen, 15) == 0 && seen.stateRequest == 1);

    const auto got = server.received();
    CHECK(got.size() == 5);
    if (!got.empty()) {
        CHECK(got[0].id == 0xF0000001u && got[0].sendId == 1 && got[0].version == 30);
        CHECK(got[0].text == "KORVEL" && !got[0].rejected);
        CHECK(got.back().id == 0xF0000035u && got.back().sendId == 5 && got.back().text == "Sim");
    }

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
    std::remove("SimConnect.cfg");
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
        CHECK(::ReadFile(server, open, sizeof open, &n, nullptr) && n == 296 && getU32(open + 8) == 0xF0000001u);
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
    CHECK(SimConnect_Close(nullptr) == E_FAIL32);
}

} // namespace

int main()
{
    // Work in a folder of our own: the client reads SimConnect.cfg from here.
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    const std::wstring dir = std::wstring(tmp) + L"korvel_simconnect_test";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    ::SetCurrentDirectoryW(dir.c_str());
    std::remove("SimConnect.cfg");

    sessionOverPipe();
    sessionOverTcpFromRegistry(false);
    sessionOverTcpFromRegistry(true);
    busyPipeIsWaitedFor();
    nothingListening();

    std::printf("%s (%d failures)\n", failures ? "FAILED" : "PASSED", failures);
    return failures ? 1 : 0;
}
