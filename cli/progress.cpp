#include "cli/progress.h"

void Progress::Show(unsigned long done) {
    if (out_ == nullptr || total_ == 0) return;
    const int percent = static_cast<int>(done * 100 / total_);
    if (percent == shown_percent_) return;
    shown_percent_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(out_, "\r[");
    for (int i = 0; i < kWidth; ++i) std::fputc(i < filled ? '#' : '.', out_);
    std::fprintf(out_, "] %3d%% (%lu/%lu ticks", percent, done, total_);
    if (every_ > 0) {
        const auto frames = [this](unsigned long ticks) {
            return ticks / every_ + (ticks == total_ && ticks % every_ != 0 ? 1 : 0);
        };
        std::fprintf(out_, ", %lu/%lu frames", frames(done), frames(total_));
    }
    std::fputc(')', out_);
    // The line ends with the last tick, so that what the run prints after it
    // (a failure to save) starts a line of its own.
    if (done >= total_) Finish();
    std::fflush(out_);
}

void Progress::Finish() {
    if (out_ == nullptr || shown_percent_ < 0 || ended_) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    ended_ = true;
}
