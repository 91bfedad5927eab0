// Specialised walks for the preset bots. A walk of a preset bot takes exactly
// the steps of Bot::StepPathHSL (habitat, display, trail, position, value,
// heading and every random draw, step by step) but with the bot's step
// function inlined into the loop, the neighbourhood read only for the
// channels that function looks at, and the ring turned by indexing instead of
// being copied. It leaves the bot's scratch arrays (nbh_raw, nbh_h, nbh_s,
// nbh_l) as they were before the walk; nothing outside a step reads them.
//
// Every walk reports each step to an observer given at compile time: the
// saver's walks have NoObserver, which compiles to nothing, and a traced
// update runs the same walks with an observer that writes the trace.
//
// Where a walk shows its steps (Shown): step by step in the display and the
// trail, or in the trail only, as the HSL colours to show, left to a pass
// after the walk that converts and paints them (bots/trail_colours.h). A run
// that draws no trails takes the marking walks instead (trail_walks.h,
// Biotope::UpdateHabitat), which keep no trail and mark the cells they paint;
// their display colours are rebuilt from the habitat when a picture is
// wanted. Nothing in a walk reads the display raster or the trail colours,
// and a later bot's walk reads only the habitat, so the picture is the same
// every way.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "behaviour/pipeline.h"
#include "behaviour/step_observer.h"
#include "bots/bot.h"
#include "colour/random_tovi.h"
#include "image/image.h"

namespace behaviour {

// The general walk, Bot::StepPathHSL, with each step reported to the observer.
template <class Observer>
void GeneralWalk(Bot* bot, Image* habitat, Image* display, const Observer& observer) {
    if constexpr (std::is_same_v<Observer, NoObserver>) {
        bot->StepPathHSL(habitat, display);
    } else {
        for (bot->path_index = 0; bot->path_index < bot->path_steps; ++bot->path_index) {
            bot->StepHSL(habitat, display);
            const unsigned long i = bot->path_index;
            const Point2i at = bot->path_xy[i];
            const uint8_t* cell =
                habitat->data + (static_cast<size_t>(at.y) * habitat->width + at.x) * 3;
            observer(StepRecord{bot, i, at.x, at.y, bot->value, bot->dir,
                                HSL_888{cell[0], cell[1], cell[2]}, bot->path_rgb[i]});
        }
    }
}

// Which of the bot's own turned arrays a neighbourhood pointer names:
// 0 hue, 1 saturation, 2 lightness, -1 none.
inline int ChannelOf(const Bot& bot, const uint8_t* nbh) {
    if (nbh == bot.nbh_h) return 0;
    if (nbh == bot.nbh_s) return 1;
    if (nbh == bot.nbh_l) return 2;
    return -1;
}

// Draws from a walk's own copy of the global generator's record: the
// positions stay in registers through the walk instead of being reloaded
// after every byte the walk writes. The walk hands them back before anything
// else can draw.
struct LocalDraw {
    random_state_tovi* generator;
    LUMIVOR_INLINE long operator()() const { return random_step_tovi(generator); }
};

// The bot's view for one step, its rings filled by `gather`, given to the
// step function.
template <const uint8_t* G, class Draw, class Gather>
LUMIVOR_INLINE void Decide(const Gather& gather, Core_ view, const HSL_888& cell, long* value,
                           long* dir, HSL_888* out, Draw draw) {
    uint8_t ring_a[9] = {};
    uint8_t ring_b[9] = {};
    gather(ring_a, ring_b);
    view.nbh_a = ring_a;
    view.nbh_b = ring_b;
    view.cell_hsl = &cell;
    StepFromGenes<G, Draw>(&view, value, dir, out, draw);
}

// The ring of a bot: `turned` holds the byte offsets of neighbours 0..7 from
// the bot's cell for its heading.
template <int kChA, int kChB, bool kRingA, bool kRingB>
struct TableRing {
    const uint8_t* centre;
    const ptrdiff_t* turned;
    LUMIVOR_INLINE void operator()(uint8_t* a, uint8_t* b) const {
        for (int j = 0; j < 8; ++j) {
            if constexpr (kRingA) a[j] = centre[turned[j] + kChA];
            if constexpr (kRingB) b[j] = centre[turned[j] + kChB];
        }
        a[8] = centre[kChA];
        b[8] = centre[kChB];
    }
};

// The byte offsets of the ring from a bot's cell for every heading, turned:
// offsets[d][j] is neighbour (d + j) & 7. (A second table for channel B, so
// that the two reads of a neighbour do not share an offset kept in a
// register, took fewer instructions but more time: measured, left out.)
struct TurnedOffsets {
    ptrdiff_t offsets[8][8];

    explicit TurnedOffsets(ptrdiff_t row) {
        for (int d = 0; d < 8; ++d) {
            for (int j = 0; j < 8; ++j) {
                const Point2i o = Bot::dir_d[(d + j) & 7];
                offsets[d][j] = o.y * row + o.x * 3;
            }
        }
    }
};

// What the step function of the bot whose genes are G reads and writes,
// settled at compile time.
template <const uint8_t* G>
struct StepReads {
    // The channels of genes 8 and 9 (0 hue, 1 saturation, anything else
    // lightness); a bot set up otherwise takes the general walk.
    static constexpr int kChA = G[8] == 0 ? 0 : (G[8] == 1 ? 1 : 2);
    static constexpr int kChB = G[9] == 0 ? 0 : (G[9] == 1 ? 1 : 2);
    // The ring of channel A unless the value source and guard look only at
    // the centre; the ring of channel B only for the scanning direction sources.
    static constexpr bool kRingA =
        !(G[0] == 0 || G[0] == 31 || (G[0] >= 5 && G[0] <= 9)) || (G[1] >= 5 && G[1] <= 8);
    static constexpr bool kRingB = G[4] >= 6;
    // The value writers 1-3 leave the other two channels as the cell had them.
    static constexpr bool kWritesChannelAOnly = G[3] >= 1 && G[3] <= 3 && G[8] <= 2;
    using Ring = TableRing<kChA, kChB, kRingA, kRingB>;

    // The bot's own colour, genes 10-12, and its components on the two
    // channels: constants in the walk, which frees the registers that would
    // hold them and folds them into the arithmetic.
    static constexpr HSL_888 kOwn = {G[10], G[11], G[12]};
    static constexpr long kOwnA = kChA == 0 ? G[10] : (kChA == 1 ? G[11] : G[12]);
    static constexpr long kOwnB = kChB == 0 ? G[10] : (kChB == 1 ? G[11] : G[12]);

    // True when the bot is set up as its preset: its channels and own colour
    // those of its genes.
    static bool Matches(const Bot& bot) {
        return ChannelOf(bot, bot.nbh_a) == kChA && ChannelOf(bot, bot.nbh_b) == kChB &&
               bot.own_hsl->h == kOwn.h && bot.own_hsl->s == kOwn.s && bot.own_hsl->l == kOwn.l &&
               bot.own_a == kOwnA && bot.own_b == kOwnB;
    }
    // The part of a step's view that stays through the walk.
    static LUMIVOR_INLINE Core_ FixedView() {
        Core_ view;
        view.own_a = kOwnA;
        view.own_b = kOwnB;
        view.own_hsl = &kOwn;
        return view;
    }
    // Writes the step's colour into the habitat cell: only the channel that
    // changed where the others are the cell's own.
    static LUMIVOR_INLINE void Store(uint8_t* centre, const HSL_888& out) {
        if constexpr (kWritesChannelAOnly) {
            centre[kChA] = kChA == 0 ? out.h : (kChA == 1 ? out.s : out.l);
        } else {
            centre[0] = out.h;
            centre[1] = out.s;
            centre[2] = out.l;
        }
    }
};

enum class Shown { kInWalk, kAfterWalk };

// The walk of the bot whose genes are G. True when it left its trail to a
// pass after it; false when it painted as it went, as a walk with
// Shown::kInWalk does and a bot set up unlike its preset (which takes the
// general step) does.
//
// Never inlined: the saver's walk, which takes either way of showing, keeps
// one copy of each.
template <const uint8_t* G, class Observer, Shown kShown = Shown::kInWalk>
[[gnu::noinline]] bool FastWalk(Bot* bot, Image* habitat, Image* display,
                                const Observer& observer) {
    // An observer is told the shown colour of every step as it is taken.
    static_assert(kShown == Shown::kInWalk || std::is_same_v<Observer, NoObserver>);
    using Reads = StepReads<G>;
    // A walk told nothing draws from its own copy of the generator (of the
    // kind the system seeds; any other kind keeps the general walk).
    constexpr bool kOwnDraws = std::is_same_v<Observer, NoObserver>;
    if (!Reads::Matches(*bot) || (kOwnDraws && unsafe_state_tovi.type == 0)) {
        GeneralWalk(bot, habitat, display, observer);
        return false;
    }
    constexpr bool kRingA = Reads::kRingA, kRingB = Reads::kRingB;

    const int32_t w = static_cast<int32_t>(habitat->width);
    const int32_t h = static_cast<int32_t>(habitat->height);
    uint8_t* const cells = habitat->data;
    uint8_t* const shown_cells = display->data;
    const ptrdiff_t row = static_cast<ptrdiff_t>(w) * 3;
    Core_ view = Reads::FixedView();

    int32_t x = bot->x, y = bot->y;
    long value = bot->value, dir = bot->dir;
    const uint8_t hue_shift = bot->hue_shift;
    Point2i* const path_xy = bot->path_xy;
    RGB_888* const path_rgb = bot->path_rgb;
    const unsigned long steps = bot->path_steps;

    // Byte offset of the bot's cell, moved along with the bot; recomputed only
    // when the position wraps, which keeps a multiplication off the chain
    // that runs from one step's heading to the next step's reads.
    ptrdiff_t move[8];
    for (int d = 0; d < 8; ++d) move[d] = Bot::dir_d[d].y * row + Bot::dir_d[d].x * 3;
    x = WrapOnce(x, w);
    y = WrapOnce(y, h);
    ptrdiff_t at = (static_cast<ptrdiff_t>(y) * w + x) * 3;

    random_state_tovi generator = unsafe_state_tovi;
    using Draw = std::conditional_t<kOwnDraws, LocalDraw, GlobalDraw>;
    Draw draw{};
    if constexpr (kOwnDraws) draw.generator = &generator;

    unsigned long i = 0;
    const TurnedOffsets turned(row);
    // The offsets of a ring on the border, wrapped onto the torus (filled for
    // the heading of the step at hand only).
    ptrdiff_t wrapped[8][8];
    while (i < steps) {
        // Only a step on the border can take the bot off the habitat.
        if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(w) ||
            static_cast<uint32_t>(y) >= static_cast<uint32_t>(h)) {
            x = WrapOnce(x, w);
            y = WrapOnce(y, h);
            at = (static_cast<ptrdiff_t>(y) * w + x) * 3;
        }
        // A bot `margin` cells from the border takes its next margin + 1 steps
        // away from it: those run with no test of the position at all. A step
        // on the border runs alone, with its ring's offsets wrapped.
        const int32_t margin = std::min(std::min(x - 1, w - 2 - x), std::min(y - 1, h - 2 - y));
        const ptrdiff_t(*offsets)[8] = turned.offsets;
        unsigned long run_end = i + 1;
        if (margin >= 0) {
            run_end = std::min(steps, i + static_cast<unsigned long>(margin) + 1);
        } else if constexpr (kRingA || kRingB) {
            for (int j = 0; j < 8; ++j) {
                const Point2i o = Bot::dir_d[(dir + j) & 7];
                const int32_t nx = WrapOnce(x + o.x, w), ny = WrapOnce(y + o.y, h);
                wrapped[dir][j] = (static_cast<ptrdiff_t>(ny) * w + nx) * 3 - at;
            }
            offsets = wrapped;
        }
        for (; i < run_end; ++i) {
            uint8_t* const centre = cells + at;
            // The habitat is far larger than the caches and a bot enters a new
            // row of it at most steps: fetch the rows that the next step may
            // read (two above, two below) and the display rows it may write,
            // while this step computes. Addresses as integers: a prefetch never
            // faults, and near the border these may lie outside the rasters.
            const uintptr_t c = reinterpret_cast<uintptr_t>(centre);
            const uintptr_t s = reinterpret_cast<uintptr_t>(shown_cells + at);
            const uintptr_t r = static_cast<uintptr_t>(row);
            __builtin_prefetch(reinterpret_cast<const void*>(c - 2 * r - 6));
            __builtin_prefetch(reinterpret_cast<const void*>(c - 2 * r + 8));
            __builtin_prefetch(reinterpret_cast<const void*>(c + 2 * r - 6));
            __builtin_prefetch(reinterpret_cast<const void*>(c + 2 * r + 8));
            if constexpr (kShown == Shown::kInWalk) {
                __builtin_prefetch(reinterpret_cast<const void*>(s - r - 3), 1);
                __builtin_prefetch(reinterpret_cast<const void*>(s + r + 5), 1);
            }
            const HSL_888 cell = {centre[0], centre[1], centre[2]};
            view.value = value;
            view.dir = dir;
            long new_value, new_dir;
            HSL_888 out;
            const typename Reads::Ring ring{centre, offsets[dir]};
            Decide<G>(ring, view, cell, &new_value, &new_dir, &out, draw);
            const long nd = new_dir & 7;
            if constexpr (kShown == Shown::kInWalk) {
                path_xy[i] = Point2i{x, y};
                const RGB_888 shown = PaintCell(centre, shown_cells + at, out, hue_shift);
                path_rgb[i] = shown;
                observer(StepRecord{bot, i, x, y, new_value, nd, out, shown});
            } else {
                Reads::Store(centre, out);
                path_xy[i] = Point2i{x, y};
                path_rgb[i] = RGB_888{static_cast<uint8_t>(out.h + hue_shift), out.s, out.l};
            }
            x += Bot::dir_d[nd].x;
            y += Bot::dir_d[nd].y;
            at += move[nd];
            value = new_value;
            dir = nd;
        }
    }
    if constexpr (kOwnDraws) {
        unsafe_state_tovi.front = generator.front;
        unsafe_state_tovi.rear = generator.rear;
    }
    bot->x = x;
    bot->y = y;
    bot->value = value;
    bot->dir = dir;
    bot->path_index = steps;
    bot->cell_hsl = nullptr;
    return kShown == Shown::kAfterWalk;
}

}  // namespace behaviour
