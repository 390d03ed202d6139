#pragma once
// The operating system's process list, as far as the program needs it: find
// running executables by file name and end them. Plain C++ so that the
// Windows build of the bridges and of the tools shares it.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
    std::int64_t pid = 0;
    std::string exeName;   // file name of the executable, without folders (for a
                           // program that Wine runs, the Windows program's)
};

// Every running process that the caller may see.
std::vector<ProcessEntry> listProcesses();

#ifndef _WIN32
// The name Windows would show for a process, from what /proc gives: the
// executable link (empty when it cannot be read), the raw command line and the
// kernel's short name. Empty when the name cannot be told.
std::string processNameFromProc(const std::string &exeLink, const std::string &cmdline, const std::string &comm);
#endif

// Ends the process at once (exit code 0 where the system allows choosing one);
// never the calling process. On Windows, which reuses process ids at once,
// only a process of the calling thread's last listProcesses(), and only while
// its executable still has the name listed.
bool terminateProcess(std::int64_t pid);

// Case-insensitive and exact on the file name. Programs built for POSIX carry
// no ".exe", so there a target "X.exe" also matches an executable named "X".
bool exeNameMatches(const std::string &exeName, const std::string &target);

// Ends every process (or only the first, with firstOnly) whose executable
// matches target; failures to end one are skipped. Returns how many ended.
int terminateProcessesByName(const std::string &target, bool firstOnly = false);

} // namespace platform
