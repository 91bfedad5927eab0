// The world's update for runs that draw no trails, and the repaint of its
// display afterwards. Apart from biotope.cpp so that a program that never
// calls them does not link the trail walks they need.

#include <cstddef>
#include <cstdint>

#include "behaviour/trail_walks.h"
#include "world/biotope.h"

namespace {

// True when `painted` holds a byte for every cell of the world's habitat.
bool MarksFit(const Image* painted, const Biotope& world) {
    return painted != nullptr && painted->data != nullptr &&
           painted->width == world.hsl_habitat.width &&
           painted->height == world.hsl_habitat.height && painted->format.bpp == 8;
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
    const unsigned long n = static_cast<unsigned long>(hsl_habitat.width) * hsl_habitat.height;
    for (unsigned long i = 0; i < n; ++i) {
        if (painted.data[i] == 0) continue;
        // The cell painted again with its own colour: the display gets what
        // the cell's last paint showed.
        uint8_t* cell = hsl_habitat.data + 3 * i;
        PaintCell(cell, rgb_habitat.data + 3 * i, HSL_888{cell[0], cell[1], cell[2]}, hue_shift);
    }
    return true;
}
