// A Windows program that crashes: an access violation that nothing handles.
#include <windows.h>

#include <cstdio>

int main()
{
    std::puts("crashing now");
    std::fflush(stdout);
    ::RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    std::puts("still running after the crash");
    return 0;
}
