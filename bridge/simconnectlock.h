#pragma once
// The client's locks. On Windows these are critical sections (spin count 100,
// re-entrant on the owning thread); elsewhere a recursive mutex behaves the same
// way, so the protocol code and its tests run natively too.
#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

namespace simconnect {

class CriticalLock {
public:
#ifdef _WIN32
    CriticalLock() { ::InitializeCriticalSectionAndSpinCount(&cs_, 100); }
    ~CriticalLock() { ::DeleteCriticalSection(&cs_); }
    void lock() { ::EnterCriticalSection(&cs_); }
    void unlock() { ::LeaveCriticalSection(&cs_); }
#else
    CriticalLock() = default;
    void lock() { m_.lock(); }
    void unlock() { m_.unlock(); }
#endif
    CriticalLock(const CriticalLock &) = delete;
    CriticalLock &operator=(const CriticalLock &) = delete;

private:
#ifdef _WIN32
    CRITICAL_SECTION cs_;
#else
    std::recursive_mutex m_;
#endif
};

class LockGuard {
public:
    explicit LockGuard(CriticalLock &l) : l_(l) { l_.lock(); }
    ~LockGuard() { l_.unlock(); }
    LockGuard(const LockGuard &) = delete;
    LockGuard &operator=(const LockGuard &) = delete;

private:
    CriticalLock &l_;
};

} // namespace simconnect
