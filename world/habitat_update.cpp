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
    const size_t w = hsl_habitat.width;
    uint8_t* const marks = painted->data;
    for (unsigned long i = 0; i < n_bots; ++i) {
        Bot& bot = bots[i];
        const behaviour::TrailWalkFunc walk = behaviour::TrailWalkFor(bot.step_func);
        if (walk == nullptr) {
            bot.StepPathHSL(&hsl_habitat, &rgb_habitat);
        } else if (walk(&bot, &hsl_habitat, &rgb_habitat)) {
            // Locals: a byte store could otherwise alias the bot's fields.
            const Point2i* const trail = bot.path_xy;
            const unsigned long steps = bot.path_steps;
            for (unsigned long s = 0; s < steps; ++s) {
                marks[static_cast<size_t>(trail[s].y) * w + static_cast<size_t>(trail[s].x)] = 1;
            }
        }
        // A walk that did not leave its trail painted as it went, as the
        // general step does: its cells show what a repaint would give them.
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
