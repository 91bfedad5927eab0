#include "behaviour/trail_walks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "behaviour/draw_batch.h"
#include "behaviour/fast_walk.h"
#include "behaviour/presets.h"

namespace behaviour {

namespace {

// The draws a step of the bot whose genes are G takes, every step: the value
// modifier's, the random turn's and the direction blend's.
template <const uint8_t* G>
constexpr size_t kDrawsPerStep = (G[2] >= 13 && G[2] <= 15) + (G[5] != 0) +
                                 (G[7] == 1 || G[7] == 2);

// Reads a walk's draws from a batch made ahead.
struct BatchedDraw {
    const int32_t** next;
    LUMIVOR_INLINE long operator()() const { return *(*next)++; }
};

// The walk of the bot whose genes are G, marking the cells it paints. It
// differs from FastWalk in what it keeps: away from the border a bot runs
// straight stretches (as long as its distance to the border allows) in which
// it holds only a pointer to its cell and one to its mark, so that the loop
// keeps every value it carries in registers; its column and row are worked out
// from how far the mark pointer moved when the stretch ends. Its draws are
// made ahead in batches (DrawBatch), up to kBatchSteps steps' worth.
template <const uint8_t* G>
[[gnu::noinline]] bool MarkingWalk(Bot* bot, Image* habitat, Image* display, uint8_t* marks) {
    using Reads = StepReads<G>;
    constexpr size_t kDraws = kDrawsPerStep<G>;
    constexpr unsigned long kBatchSteps = kDraws == 0 ? ~0ul : DrawBatch::kMaxDraws / kDraws;
    DrawBatch batch;
    if (!Reads::Matches(*bot) || (kDraws > 0 && !batch.Start(&unsafe_state_tovi))) {
        GeneralWalk(bot, habitat, display, NoObserver{});
        return false;
    }
    using Ring = typename Reads::Ring;

    const int32_t w = static_cast<int32_t>(habitat->width);
    const int32_t h = static_cast<int32_t>(habitat->height);
    uint8_t* const cells = habitat->data;
    const ptrdiff_t row = static_cast<ptrdiff_t>(w) * 3;
    Core_ view = Reads::FixedView();

    int32_t x = WrapOnce(bot->x, w), y = WrapOnce(bot->y, h);
    long value = bot->value, dir = bot->dir;
    unsigned long left = bot->path_steps;

    // The moves of a heading in habitat bytes and in marks.
    ptrdiff_t move[8], mark_move[8];
    for (int d = 0; d < 8; ++d) {
        move[d] = Bot::dir_d[d].y * row + Bot::dir_d[d].x * 3;
        mark_move[d] = static_cast<ptrdiff_t>(Bot::dir_d[d].y) * w + Bot::dir_d[d].x;
    }
    const TurnedOffsets turned(row);

    const int32_t* next_draw = nullptr;
    const BatchedDraw draw{&next_draw};
    unsigned long batch_left = 0;  // steps the draws made ahead still serve
    // One step on the cell at `centre`, whose ring lies at `ring` from it: the
    // cell painted, the value and heading taken over.
    const auto step = [&](uint8_t * centre, const ptrdiff_t* ring) __attribute__((always_inline)) {
        const HSL_888 cell = {centre[0], centre[1], centre[2]};
        view.value = value;
        view.dir = dir;
        long new_value, new_dir;
        HSL_888 out;
        Decide<G>(Ring{centre, ring}, view, cell, &new_value, &new_dir, &out, draw);
        Reads::Store(centre, out);
        value = new_value;
        dir = new_dir & 7;
    };

    while (left > 0) {
        // Only a step on the border can take the bot off the habitat.
        if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(w) ||
            static_cast<uint32_t>(y) >= static_cast<uint32_t>(h)) {
            x = WrapOnce(x, w);
            y = WrapOnce(y, h);
        }
        if (kDraws > 0 && batch_left == 0) {
            batch_left = std::min(left, kBatchSteps);
            next_draw = batch.Next(batch_left * kDraws);
        }
        const ptrdiff_t at = static_cast<ptrdiff_t>(y) * w + x;
        uint8_t* centre = cells + at * 3;
        uint8_t* mark = marks + at;
        const int32_t margin = std::min(std::min(x - 1, w - 2 - x), std::min(y - 1, h - 2 - y));
        if (margin < 0) {
            // On the border: one step, its ring's offsets wrapped onto the torus.
            ptrdiff_t wrapped[8];
            for (int j = 0; j < 8; ++j) {
                const Point2i o = Bot::dir_d[(dir + j) & 7];
                const int32_t nx = WrapOnce(x + o.x, w), ny = WrapOnce(y + o.y, h);
                wrapped[j] = (static_cast<ptrdiff_t>(ny) * w + nx - at) * 3;
            }
            step(centre, wrapped);
            *mark = 1;
            x += Bot::dir_d[dir].x;
            y += Bot::dir_d[dir].y;
            --left;
            --batch_left;
            continue;
        }
        // A bot `margin` cells from the border takes its next margin + 1 steps
        // with no test of its position at all, and ends them on the habitat.
        unsigned long run = std::min(left, static_cast<unsigned long>(margin) + 1);
        if (kDraws > 0) {
            run = std::min(run, batch_left);
            batch_left -= run;
        }
        left -= run;
        const auto stretch_step = [&]() __attribute__((always_inline)) {
            // The habitat is far larger than the caches: fetch the rows that
            // the step after next may read (three above, three below) while
            // this step computes; the next step's rows were fetched a step
            // ago, which leaves each fetch two steps to arrive. Addresses as
            // integers: a prefetch never faults, and near the border these
            // may lie outside. The marks need no fetching: a store waits for
            // its line without holding up the walk.
            const uintptr_t c = reinterpret_cast<uintptr_t>(centre);
            const uintptr_t r = static_cast<uintptr_t>(row);
            __builtin_prefetch(reinterpret_cast<const void*>(c - 3 * r - 6));
            __builtin_prefetch(reinterpret_cast<const void*>(c - 3 * r + 8));
            __builtin_prefetch(reinterpret_cast<const void*>(c + 3 * r - 6));
            __builtin_prefetch(reinterpret_cast<const void*>(c + 3 * r + 8));
            step(centre, turned.offsets[dir]);
            *mark = 1;
            centre += move[dir];
            mark += mark_move[dir];
        };
        if constexpr (kDraws > 0) {
            // The draws count the steps: one register fewer in the loop.
            const int32_t* const stop = next_draw + run * kDraws;
            while (next_draw != stop) stretch_step();
        } else {
            for (unsigned long n = run; n > 0; --n) stretch_step();
        }
        // The stretch moved the bot dy rows and dx columns, each at most `run`
        // and `run` at most (w - 1) / 2: dx + (w - 1) / 2 lies in 0..w - 1, so
        // a division by w (of a number made positive) separates the two.
        const ptrdiff_t moved = mark - (marks + at);
        const ptrdiff_t half = (w - 1) / 2, lift = static_cast<ptrdiff_t>(run) * w;
        const ptrdiff_t dy = static_cast<ptrdiff_t>(static_cast<size_t>(moved + half + lift) /
                                                    static_cast<size_t>(w)) -
                             static_cast<ptrdiff_t>(run);
        x += static_cast<int32_t>(moved - dy * w);
        y += static_cast<int32_t>(dy);
    }
    if (kDraws > 0) batch.Finish();
    bot->x = x;
    bot->y = y;
    bot->value = value;
    bot->dir = dir;
    bot->path_index = bot->path_steps;
    bot->cell_hsl = nullptr;
    return true;
}

// In the order of the preset list, as PresetIndex counts.
#define LUMIVOR_MARKING_WALK(bot, suffix, ...) MarkingWalk<bot_genes_##bot##suffix>,
const MarkingWalkFunc kMarkingWalks[] = {LUMIVOR_PRESETS(LUMIVOR_IGNORE, LUMIVOR_MARKING_WALK)};
#undef LUMIVOR_MARKING_WALK

}  // namespace

MarkingWalkFunc MarkingWalkFor(StepFunc step) {
    const PresetWalks* preset = WalksFor(step);
    return preset == nullptr ? nullptr : kMarkingWalks[PresetIndex(preset)];
}

}  // namespace behaviour
