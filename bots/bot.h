// A bot: one agent of the community. Its leading part, Core_, is the read-only
// view that step functions receive; the rest is its position, its genes, its
// neighbourhood scratch arrays and the trail of its last walk.
#pragma once

#include <cstdint>

#include "colour/hsl.h"

class Image;

struct Point2i {
    int32_t x;
    int32_t y;
};
static_assert(sizeof(Point2i) == 8, "Point2i must be two packed GL_INTs");

// Channel codes of genes 8 and 9: 0 hue, 1 saturation, anything else lightness.
struct Core_ {
    long value = 128;                   // running value, stored unchanged after every step
    long dir = 0;                       // heading 0..7 between steps
    long own_a = 0;                     // own colour component in channel A (gene 8)
    long own_b = 0;                     // own colour component in channel B (gene 9)
    const uint8_t* nbh_a = nullptr;     // turned neighbourhood of channel A
    const uint8_t* nbh_b = nullptr;     // turned neighbourhood of channel B
    const HSL_888* own_hsl = nullptr;   // the bot's own colour
    const HSL_888* cell_hsl = nullptr;  // copy of the cell under the bot, valid during a step
};

// Wraps a coordinate that lies at most one cell outside 0..size-1 onto the
// torus: one comparison and one addition or subtraction.
inline int32_t WrapOnce(int32_t v, int32_t size) {
    if (v < 0) return v + size;
    if (v >= size) return v - size;
    return v;
}

// Paints one step's colour: the habitat cell gets it as chosen, the display
// cell the same colour with the hue shifted and converted to RGB, which is
// also returned for the trail.
inline RGB_888 PaintCell(uint8_t* habitat_cell, uint8_t* display_cell, HSL_888 out,
                         uint8_t hue_shift) {
    habitat_cell[0] = out.h;
    habitat_cell[1] = out.s;
    habitat_cell[2] = out.l;
    out.h = static_cast<uint8_t>(out.h + hue_shift);
    RGB_888 shown;
    HSLtoRGB_inline(out, shown);
    display_cell[0] = shown.r;
    display_cell[1] = shown.g;
    display_cell[2] = shown.b;
    return shown;
}

// A step function writes the new value, the new direction (only its low three
// bits are used) and the new colour of the cell under the bot.
using StepFunc = void (*)(const Core_* core, long* value, long* dir, HSL_888* out);

void def_step_func(const Core_* core, long* value, long* dir, HSL_888* out);

class Bot : public Core_ {
  public:
    int32_t x = 0;               // column; between steps it may lie one cell outside the habitat
    int32_t y = 0;               // row
    Point2i* path_xy = nullptr;  // positions of the last walk, path_steps entries
    HSL_888 color = {0, 0, 0};   // own colour (genes 10..12)
    uint8_t genes[13] = {};
    uint8_t nbh_h[9] = {};  // neighbourhood turned to the heading: 0 ahead, 4 behind, 8 under
    uint8_t nbh_s[9] = {};
    uint8_t nbh_l[9] = {};
    uint8_t nbh_raw[9][3] = {};   // neighbourhood as read, slot k at offset dir_d[k], 8 under
    RGB_888* path_rgb = nullptr;  // display colours of the last walk
    uint8_t hue_shift = 0;        // added to the hue of the display colour
    unsigned long path_steps = 1024;
    unsigned long path_index = 0;
    StepFunc step_func = def_step_func;

    // The eight headings as (dx, dy), a compile-time constant: the walks'
    // tables of moves and ring offsets are folded from it.
    static constexpr Point2i dir_d[8] = {
        {-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0},
    };

    Bot();
    ~Bot();
    // A bot points into itself (own_hsl, nbh_a, nbh_b): it must stay where it was made.
    Bot(const Bot&) = delete;
    Bot& operator=(const Bot&) = delete;
    Bot(Bot&&) = delete;
    Bot& operator=(Bot&&) = delete;

    // Sets the steps per walk and reallocates both trail arrays. False, with
    // the bot left at 0 steps and no arrays, when the arrays cannot be had.
    bool SetPathSteps(unsigned long steps);
    void DrawPath() const;

    void StepHSL(Image* habitat, Image* display);
    void StepPathHSL(Image* habitat, Image* display);
    void StepRGB(Image* image);
    void StepPathRGB(Image* image);

    void Draw();
    void Print();
};
