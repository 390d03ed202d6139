#include "processcontrol.h"

#include <algorithm>
#include <cctype>

namespace platform {

static std::string lowered(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool exeNameMatches(const std::string &exeName, const std::string &target)
{
    const std::string exe = lowered(exeName);
    const std::string want = lowered(target);
    if (exe == want)
        return true;
#ifndef _WIN32
    static const std::string suffix = ".exe";
    if (want.size() > suffix.size()
        && want.compare(want.size() - suffix.size(), suffix.size(), suffix) == 0)
        return exe == want.substr(0, want.size() - suffix.size());
#endif
    return false;
}

int terminateProcessesByName(const std::string &target, bool firstOnly)
{
    int ended = 0;
    for (const ProcessEntry &p : listProcesses()) {
        if (!exeNameMatches(p.exeName, target))
            continue;
        if (terminateProcess(p.pid))
            ++ended;
        if (firstOnly)
            break;
    }
    return ended;
}

} // namespace platform
