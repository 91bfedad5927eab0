#include "saver/saver.h"

#include "colour/random_tovi.h"
#include "world/community.h"
#include "world/trace.h"

long curr_comm_i = 0;

// Three readings of the clock, in this order: the generator's seed, the
// community, and (inside InitCommunity) the world's own seed.
bool StartRun(int width, int height, const RunStart& start) {
    scr_w = width;
    scr_h = height;
    rand_seed = start.clock.Read();
    srandom_tovi(static_cast<uint32_t>(rand_seed));
    curr_comm_i = static_cast<long>(start.clock.Read() % 10);
    if (start.community >= 0) curr_comm_i = start.community;
    return InitCommunity(static_cast<int>(curr_comm_i), start.clock);
}

void RunUpdates(TrailDrawing& drawing, std::FILE* trace) {
    Image* marks = drawing.Marks();
    for (int update = 0; update < 2; ++update) {
        if (trace != nullptr)
            UpdateTraced(trace);
        else if (marks != nullptr)
            biotope.UpdateHabitat(marks);
        else
            biotope.Update();
        drawing.DrawTrails(biotope);
    }
}

bool Saver::Start(int width, int height) {
    ready_ = false;
    ticks_run = 0;
    return StartRun(width, height, start);
}

void Saver::Tick(TrailDrawing& drawing) {
    ++ticks_run;
    if (!ready_) {
        drawing.Clear(clear_clr);
        ready_ = true;
        return;
    }
    RunUpdates(drawing, trace);
}

int FormatFinalState(char* out, std::size_t size) {
    std::size_t n = 0;
    auto add = [&](int written) {
        if (written < 0 || n + static_cast<std::size_t>(written) >= size) return false;
        n += static_cast<std::size_t>(written);
        return true;
    };
    if (!add(std::snprintf(out, size, "final n_updates=%lu bots=", biotope.n_updates))) return -1;
    for (unsigned long b = 0; b < biotope.n_bots; ++b) {
        const Bot& bot = biotope.bots[b];
        if (!add(std::snprintf(out + n, size - n, "%s%d,%d,%ld,%ld", b == 0 ? "" : " ", bot.x,
                               bot.y, bot.value, bot.dir)))
            return -1;
    }
    if (!add(std::snprintf(out + n, size - n, " next_random=%ld", random_tovi()))) return -1;
    return static_cast<int>(n);
}
