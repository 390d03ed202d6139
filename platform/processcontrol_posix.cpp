#include "processcontrol.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace platform {

// The kernel keeps a process's short name (comm) in 15 characters.
static const std::size_t kCommLength = 15;

static std::string baseName(const std::string &path, const char *separators)
{
    const auto slash = path.find_last_of(separators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Wine runs a Windows program inside its own loader, so the executable link
// names the loader; Wine puts the program's path in the first argument.
static bool isWineLoader(const std::string &exeName)
{
    for (const char *loader : {"wine", "wine64", "wine-preloader", "wine64-preloader"})
        if (exeName == loader)
            return true;
    return false;
}

// File name of the executable link's target; a program replaced on disk while
// it runs keeps its name.
static std::string exeFileName(std::string link)
{
    static const std::string deleted = " (deleted)";
    if (link.size() > deleted.size()
        && link.compare(link.size() - deleted.size(), deleted.size(), deleted) == 0)
        link.resize(link.size() - deleted.size());
    return baseName(link, "/");
}

std::string processNameFromProc(const std::string &exeLink, const std::string &cmdline, const std::string &comm)
{
    // Wine's first argument is a Windows path (C:\...\X.exe) or the Unix path
    // the program was started by.
    const std::string program = baseName(cmdline.substr(0, cmdline.find('\0')), "/\\");
    if (!exeLink.empty()) {
        const std::string exe = exeFileName(exeLink);
        return isWineLoader(exe) && !program.empty() ? program : exe;
    }
    // The link is not ours to read (another user, a user namespace, a process
    // that made itself undumpable). Anyone may start a program under any first
    // argument, so it counts only where the kernel's own name agrees with it:
    // the kernel takes that name from the file it executed, and Wine sets it
    // to the Windows program's.
    if (program.empty() || comm != program.substr(0, kCommLength))
        return {};
    return program;
}

static std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The name Windows would show: the executable's file name, or for a program
// that Wine runs, the program's. The kernel's short name alone is cut too short
// for the bridge names.
static std::string exeOf(const std::string &pidDir)
{
    char buf[4096];
    const ssize_t n = ::readlink((pidDir + "/exe").c_str(), buf, sizeof buf - 1);
    const std::string link = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    // Another process's arguments are read only when needed: that read can
    // wait on the process's memory.
    if (!link.empty()) {
        const std::string exe = exeFileName(link);
        if (!isWineLoader(exe))
            return exe;
    }
    std::string comm = link.empty() ? readAll(pidDir + "/comm") : std::string();
    if (!comm.empty() && comm.back() == '\n')
        comm.pop_back();
    return processNameFromProc(link, readAll(pidDir + "/cmdline"), comm);
}

std::vector<ProcessEntry> listProcesses()
{
    std::vector<ProcessEntry> out;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return out;
    while (dirent *e = ::readdir(proc)) {
        char *end = nullptr;
        const long long pid = std::strtoll(e->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        std::string name = exeOf(std::string("/proc/") + e->d_name);
        if (!name.empty())
            out.push_back({pid, std::move(name)});
    }
    ::closedir(proc);
    return out;
}

bool terminateProcess(std::int64_t pid)
{
    if (pid <= 0 || pid == ::getpid())
        return false;
    return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

} // namespace platform
