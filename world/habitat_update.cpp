// The world's update for runs that draw no trails, and the repaint of its
// display afterwards. Apart from biotope.cpp so that a program that never
// calls them does not link the trail walks they need.

#include <cstddef>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "behaviour/trail_walks.h"
#include "bots/trail_colours.h"
#include "world/biotope.h"

namespace {

// True when `painted` holds a byte for every cell of the world's habitat.
bool MarksFit(const Image* painted, const Biotope& world) {
    return painted != nullptr && painted->data != nullptr &&
           painted->width == world.hsl_habitat.width &&
           painted->height == world.hsl_habitat.height && painted->format.bpp == 8;
}

// Bit k set where marks[k] is not zero, k = 0..15.
inline uint32_t MarkedOf16(const uint8_t* marks) {
#ifdef __SSE2__
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(marks));
    const int clear = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128()));
    return ~static_cast<uint32_t>(clear) & 0xFFFFu;
#else
    uint64_t words[2];
    std::memcpy(words, marks, sizeof words);
    if ((words[0] | words[1]) == 0) return 0;
    uint32_t marked = 0;
    for (int k = 0; k < 16; ++k) marked |= static_cast<uint32_t>(marks[k] != 0) << k;
    return marked;
#endif
}

}  // namespace

bool Biotope::UpdateHabitat(Image* painted) {
    // Without marks to set, the bots paint as they go: the same picture.
    if (!MarksFit(painted, *this)) return Update();
    ++n_updates;
    if (!HasHabitat()) return true;
    uint8_t* const marks = painted->data;
    for (unsigned long i = 0; i < n_bots; ++i) {
        Bot& bot = bots[i];
        const behaviour::MarkingWalkFunc walk = behaviour::MarkingWalkFor(bot.step_func);
        // A bot without a marking walk, or one that falls back to the general
        // step, paints the display as it goes: its cells show what a repaint
        // would give them.
        if (walk == nullptr)
            bot.StepPathHSL(&hsl_habitat, &rgb_habitat);
        else
            walk(&bot, &hsl_habitat, &rgb_habitat, marks);
    }
    return true;
}

bool Biotope::RepaintDisplay(const Image& painted) {
    if (!HasHabitat() || !MarksFit(&painted, *this)) return false;
    const size_t n = static_cast<size_t>(hsl_habitat.width) * hsl_habitat.height;
    const uint8_t* const marks = painted.data;
    // The cell painted again with its own colour: the display gets what the
    // cell's last paint showed.
    const auto repaint = [this](size_t i) {
        uint8_t* cell = hsl_habitat.data + 3 * i;
        PaintCell(cell, rgb_habitat.data + 3 * i, HSL_888{cell[0], cell[1], cell[2]}, hue_shift);
    };
    // Sixteen marks at a time, as one mask of the marked ones: a stretch
    // never painted costs one test, and within it the marked cells are shown
    // together (ShowMarkedCells). A test per cell would be a branch that the
    // processor guesses wrong wherever painted and unpainted cells mix.
    constexpr size_t kWide = 16;
    size_t i = 0;
    for (; i + kWide <= n; i += kWide) {
        const uint32_t marked = MarkedOf16(marks + i);
        if (marked != 0)
            ShowMarkedCells(hsl_habitat.data + 3 * i, rgb_habitat.data + 3 * i, marked, hue_shift);
    }
    for (; i < n; ++i) {
        if (marks[i] != 0) repaint(i);
    }
    return true;
}
