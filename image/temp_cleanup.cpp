#include "image/temp_cleanup.h"

#ifndef _WIN32
#include <unistd.h>

#include <atomic>

namespace {

// Temporaries that exist right now, for the signal handler to unlink. The
// pointers are set and cleared with the three signals blocked.
constexpr int kSlots = 8;
std::atomic<const char*> live_temps[kSlots];
static_assert(std::atomic<const char*>::is_always_lock_free, "read in a signal handler");
int live_count = 0;
constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[3];

// While a temporary exists: a signal whose action would end the process
// first removes the temporaries, then ends it as it would have; a signal the
// program handles goes to its handler; an ignored one stays ignored.
void OnSignal(int sig, siginfo_t* info, void* context) {
    int i = 0;
    while (i < 2 && kSignals[i] != sig) ++i;
    const struct sigaction& old = previous[i];
    if ((old.sa_flags & SA_SIGINFO) != 0) {
        if (old.sa_sigaction != nullptr) old.sa_sigaction(sig, info, context);
        return;
    }
    if (old.sa_handler == SIG_IGN) return;
    if (old.sa_handler != SIG_DFL) {
        old.sa_handler(sig);
        return;
    }
    for (auto& slot : live_temps) {
        const char* temp = slot.exchange(nullptr);
        if (temp != nullptr) unlink(temp);
    }
    sigaction(sig, &old, nullptr);
    raise(sig);  // held until this handler returns, then it ends the process
}

}  // namespace

SignalHold::SignalHold() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals) sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
}

SignalHold::~SignalHold() {
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

void HoldTemp(const char* temp) {
    if (live_count++ == 0) {
        struct sigaction action {};
        action.sa_sigaction = OnSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &previous[i]);
    }
    for (auto& slot : live_temps) {
        const char* none = nullptr;
        if (slot.compare_exchange_strong(none, temp)) return;
    }
    // More temporaries at once than slots: this one is not removed on a signal.
}

void ReleaseTemp(const char* temp) {
    for (auto& slot : live_temps) {
        const char* mine = temp;
        if (slot.compare_exchange_strong(mine, nullptr)) break;
    }
    if (--live_count == 0) {
        for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous[i], nullptr);
    }
}
#endif
