#include "host/shared/clocks.h"

#ifdef _WIN32
#include <windows.h>

namespace {
long long FileTimeNs(FILETIME t) {
    return ((static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 100;
}
}  // namespace

long long NowNs() {
    static const long long frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart / frequency * 1000000000LL +
           t.QuadPart % frequency * 1000000000LL / frequency;
}

long long ProcessCpuNs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    return FileTimeNs(kernel) + FileTimeNs(user);
}
#else
#include <time.h>

namespace {
long long ClockNs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}
}  // namespace

long long NowNs() {
    return ClockNs(CLOCK_MONOTONIC);
}
long long ProcessCpuNs() {
    return ClockNs(CLOCK_PROCESS_CPUTIME_ID);
}
#endif
