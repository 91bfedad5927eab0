// What the benchmarks share: the system's messages silenced while a world is
// built, and the calling thread's CPU time.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <ctime>

// Runs build() with standard output and error sent to /dev/null.
template <typename F>
void Silenced(F build) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int out = dup(1), err = dup(2);
    std::FILE* null = std::fopen("/dev/null", "w");
    if (null != nullptr) {
        dup2(fileno(null), 1);
        dup2(fileno(null), 2);
    }
    build();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    if (null != nullptr) std::fclose(null);
}

// CPU seconds of this thread: on a shared machine, time spent waiting for a
// core does not count against what is measured.
inline double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}
