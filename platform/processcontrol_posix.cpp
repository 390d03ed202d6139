#include "processcontrol.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <unistd.h>

namespace platform {

static std::string baseName(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kernel's short name (comm) is cut at 15 characters, too short for the
// bridge names; the executable link gives the whole file name.
static std::string exeOf(const std::string &pidDir)
{
    char buf[4096];
    const ssize_t n = ::readlink((pidDir + "/exe").c_str(), buf, sizeof buf - 1);
    if (n > 0) {
        std::string path(buf, static_cast<size_t>(n));
        static const std::string deleted = " (deleted)";
        if (path.size() > deleted.size()
            && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        return baseName(path);
    }
    // Not ours to inspect, or a kernel thread: fall back to the first argument.
    std::ifstream cmd(pidDir + "/cmdline", std::ios::binary);
    std::string argv0;
    std::getline(cmd, argv0, '\0');
    return baseName(argv0);
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
