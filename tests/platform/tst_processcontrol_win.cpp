// Windows process control, run under Wine: a running DrevantMSFS2020Sim.exe is
// found by name whatever the case, and ended; other names are left alone; no
// process ends itself, not even one named like a bridge. The UDP layer's
// Windows half gets a round trip on loopback.
#include "cudpsocket.h"
#include "processcontrol.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

static int failures = 0;
#define CHECK(cond)                                                                      \
    do {                                                                                 \
        if (!(cond)) {                                                                   \
            std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #cond);                  \
            ++failures;                                                                  \
        }                                                                                \
    } while (0)

static HANDLE startCopyNamed(const std::wstring &dir, const std::wstring &name, const std::wstring &mode = L"sleep")
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring target = dir + L"\\" + name;
    if (!::CopyFileW(self, target.c_str(), FALSE))
        return nullptr;
    std::wstring cmd = L"\"" + target + L"\" " + mode;
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!::CreateProcessW(target.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    ::CloseHandle(pi.hThread);
    return pi.hProcess;
}

static int countNamed(const std::string &name)
{
    int n = 0;
    for (const auto &p : platform::listProcesses())
        n += platform::exeNameMatches(p.exeName, name) ? 1 : 0;
    return n;
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "sleep") == 0) {
        ::Sleep(60000);
        return 3;
    }
    if (argc > 1 && std::strcmp(argv[1], "endself") == 0) {
        // A copy named like a bridge, ending the bridges: it is not among
        // them, so its own exit code (not 0 from an end) reports what it did.
        const int ended = platform::terminateProcessesByName("DrevantPrepar3dSim.exe");
        const bool self = platform::terminateProcess(static_cast<std::int64_t>(::GetCurrentProcessId()));
        return 40 + ended + (self ? 10 : 0);
    }
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    const std::wstring dir = std::wstring(tmp) + L"korvel_proc_test";
    ::CreateDirectoryW(dir.c_str(), nullptr);

    // Listed under its whole file name, and never ends itself.
    char selfPath[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, selfPath, MAX_PATH);
    const std::string selfFile = std::string(selfPath).substr(std::string(selfPath).find_last_of("\\/") + 1);
    bool listedSelf = false;
    for (const auto &p : platform::listProcesses())
        listedSelf = listedSelf || (p.pid == std::int64_t(::GetCurrentProcessId()) && p.exeName == selfFile);
    CHECK(listedSelf);
    CHECK(!platform::terminateProcess(static_cast<std::int64_t>(::GetCurrentProcessId())));

    // A program named like a bridge that ends the bridges runs on to its own end.
    if (HANDLE selfEnder = startCopyNamed(dir, L"DrevantPrepar3dSim.exe", L"endself")) {
        CHECK(::WaitForSingleObject(selfEnder, 10000) == WAIT_OBJECT_0);
        DWORD code = 99;
        ::GetExitCodeProcess(selfEnder, &code);
        CHECK(code == 40);
        ::CloseHandle(selfEnder);
    } else {
        CHECK(!"the copy named DrevantPrepar3dSim.exe started");
    }

    HANDLE bridge = startCopyNamed(dir, L"DrevantMSFS2020Sim.exe");
    HANDLE other = startCopyNamed(dir, L"DrevantMSFS2020SimX.exe");
    CHECK(bridge && other);
    for (int i = 0; i < 50 && countNamed("DrevantMSFS2020Sim.exe") == 0; ++i)
        ::Sleep(100);
    // A process id that the calling thread has not listed is not ended: it may
    // belong to another program by now.
    if (bridge) {
        bool refused = false;
        std::thread([&] { refused = !platform::terminateProcess(std::int64_t(::GetProcessId(bridge))); }).join();
        CHECK(refused);
        CHECK(::WaitForSingleObject(bridge, 0) == WAIT_TIMEOUT);
    }
    CHECK(countNamed("drevantmsfs2020sim.EXE") == 1);
    CHECK(!platform::exeNameMatches("DrevantMSFS2020Sim.exe", "DrevantMSFS2020Sim"));
    CHECK(platform::terminateProcessesByName("dREVANTmsfs2020SIM.exe") == 1);
    if (bridge) {
        CHECK(::WaitForSingleObject(bridge, 5000) == WAIT_OBJECT_0);
        DWORD code = 99;
        ::GetExitCodeProcess(bridge, &code);
        CHECK(code == 0);
    }
    CHECK(countNamed("DrevantMSFS2020Sim.exe") == 0);
    CHECK(platform::terminateProcessesByName("DrevantMSFS2020Sim.exe") == 0);
    if (other) {
        CHECK(::WaitForSingleObject(other, 0) == WAIT_TIMEOUT);   // a longer name is another program
        ::TerminateProcess(other, 0);
        ::WaitForSingleObject(other, 5000);
    }

    // Datagram round trip through the Windows sockets layer.
    CUdpSocket rx, tx;
    rx.open("127.0.0.1", 47815);
    tx.open(0);
    CHECK(rx.ready && tx.ready);
    const char payload[] = "korvel";
    tx.sendTo(payload, sizeof payload, CUdpSocket::makeAddress("127.0.0.1", 47815));
    char buf[64] = {};
    sockaddr_in from{};
    CHECK(rx.recvFrom(buf, sizeof buf, reinterpret_cast<sockaddr *>(&from)) == int(sizeof payload));
    CHECK(std::strcmp(buf, payload) == 0);
    CHECK(CUdpSocket::addressToString(CUdpSocket::makeAddress("127.0.0.1", 8998)) == "127.0.0.1:8998");
    rx.close();
    tx.close();

    std::printf("%s (%d failures)\n", failures ? "FAILED" : "PASSED", failures);
    return failures ? 1 : 0;
}
