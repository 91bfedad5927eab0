#include "host/shared/fps_meter.h"

FpsMeter::FpsMeter(bool on, std::FILE* out) : on_(on), out_(out) {
    Reset(NowNs());
}

void FpsMeter::Report(long long now, bool final) {
    if (!on_ || (!final && now - start_ < 1000000000LL)) return;
    const double wall = static_cast<double>(now - start_);
    const double cpu = static_cast<double>(ProcessCpuNs() - cpu_start_);
    if (wall > 0)
        std::fprintf(out_,
                     "lumivor: %.1f ticks/s, CPU %.0f%% of a core (world ticks %.0f%%, "
                     "presenting %.0f%% of the time); %.1f presents/s of %.0f%% of the "
                     "window%s\n",
                     1e9 * static_cast<double>(ticks_) / wall, 100.0 * cpu / wall,
                     100.0 * static_cast<double>(tick_ns_) / wall,
                     100.0 * static_cast<double>(present_ns_) / wall,
                     1e9 * static_cast<double>(presents_) / wall,
                     presents_ ? 100.0 * shown_ / static_cast<double>(presents_) : 0.0,
                     final ? ", at exit" : "");
    if (final) std::fprintf(out_, "lumivor: %lu ticks in all\n", all_ticks_);
    Reset(now);
}

void FpsMeter::Reset(long long now) {
    start_ = now;
    cpu_start_ = ProcessCpuNs();
    tick_ns_ = present_ns_ = 0;
    ticks_ = presents_ = 0;
    shown_ = 0;
}
