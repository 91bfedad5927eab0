#include "bots/bot.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>

#include "bots/messages.h"
#include "colour/random_tovi.h"
#include "image/image.h"

void def_step_func(const Core_* core, long* value, long* dir, HSL_888* out) {
    *value = random_tovi() & 255;
    *dir = random_tovi() & 7;
    out->h = core->own_hsl->h;
    out->s = core->own_hsl->s;
    out->l = static_cast<uint8_t>(*value);
}

namespace {

// Without trail storage a bot cannot walk: it is left with no steps.
void DropTrail(Bot& bot) {
    delete[] bot.path_xy;
    delete[] bot.path_rgb;
    bot.path_xy = nullptr;
    bot.path_rgb = nullptr;
    bot.path_steps = 0;
}

}  // namespace

Bot::Bot() {
    own_hsl = &color;
    path_xy = new (std::nothrow) Point2i[path_steps];
    path_rgb = new (std::nothrow) RGB_888[path_steps];
    if (path_xy == nullptr || path_rgb == nullptr) DropTrail(*this);
}

Bot::~Bot() {
    delete[] path_xy;
    delete[] path_rgb;
}

bool Bot::SetPathSteps(unsigned long steps) {
    if (steps == path_steps) return true;
    path_steps = steps;
    // A count whose byte size does not fit is refused before new[] sees it.
    const bool fits = steps <= PTRDIFF_MAX / sizeof(Point2i);
    if (path_xy != nullptr) {
        delete[] path_xy;
        path_xy = fits ? new (std::nothrow) Point2i[steps] : nullptr;
    }
    if (path_rgb != nullptr) {
        delete[] path_rgb;
        path_rgb = fits ? new (std::nothrow) RGB_888[steps] : nullptr;
    }
    if (path_xy == nullptr || path_rgb == nullptr) {
        DropTrail(*this);
        std::fprintf(stderr, "Bot::SetPathSteps() failure: cannot allocate %lu steps\n", steps);
        return false;
    }
    return true;
}

namespace {

// Reads the nine cells around and under the bot (already wrapped onto the
// torus) into nbh_raw. Away from the border the cells come straight from three
// consecutive rows; on the border every neighbour coordinate is wrapped.
void ReadNeighbourhood(Bot& bot, const uint8_t* cells, int32_t w, int32_t h) {
    const int32_t x = bot.x, y = bot.y;
    if (x >= 1 && x <= w - 2 && y >= 1 && y <= h - 2) {
        const uint8_t* centre = cells + (static_cast<size_t>(y) * w + x) * 3;
        const ptrdiff_t row = static_cast<ptrdiff_t>(w) * 3;
        for (int k = 0; k < 8; ++k) {
            const uint8_t* c = centre + Bot::dir_d[k].y * row + Bot::dir_d[k].x * 3;
            bot.nbh_raw[k][0] = c[0];
            bot.nbh_raw[k][1] = c[1];
            bot.nbh_raw[k][2] = c[2];
        }
        bot.nbh_raw[8][0] = centre[0];
        bot.nbh_raw[8][1] = centre[1];
        bot.nbh_raw[8][2] = centre[2];
        return;
    }
    for (int k = 0; k < 8; ++k) {
        const int32_t nx = WrapOnce(x + Bot::dir_d[k].x, w);
        const int32_t ny = WrapOnce(y + Bot::dir_d[k].y, h);
        const uint8_t* c = cells + (static_cast<size_t>(ny) * w + nx) * 3;
        bot.nbh_raw[k][0] = c[0];
        bot.nbh_raw[k][1] = c[1];
        bot.nbh_raw[k][2] = c[2];
    }
    const uint8_t* c = cells + (static_cast<size_t>(y) * w + x) * 3;
    bot.nbh_raw[8][0] = c[0];
    bot.nbh_raw[8][1] = c[1];
    bot.nbh_raw[8][2] = c[2];
}

// Wraps the position onto the torus and stores it back.
inline void WrapPosition(Bot& bot, int32_t w, int32_t h) {
    bot.x = WrapOnce(bot.x, w);
    bot.y = WrapOnce(bot.y, h);
}

// Records the step in the trail, then moves one cell along the new heading
// and takes over the new value and heading.
inline void RecordAndMove(Bot& bot, const RGB_888& shown, long new_value, long new_dir) {
    bot.path_xy[bot.path_index] = Point2i{bot.x, bot.y};
    bot.path_rgb[bot.path_index] = shown;
    const long d = new_dir & 7;
    bot.x += Bot::dir_d[d].x;
    bot.y += Bot::dir_d[d].y;
    bot.value = new_value;
    bot.dir = d;
}

}  // namespace

void Bot::StepHSL(Image* habitat, Image* display) {
    const int32_t w = static_cast<int32_t>(habitat->width);
    const int32_t h = static_cast<int32_t>(habitat->height);
    WrapPosition(*this, w, h);
    ReadNeighbourhood(*this, habitat->data, w, h);
    for (int k = 0; k < 8; ++k) {
        const long j = (k - dir) & 7;
        nbh_h[j] = nbh_raw[k][0];
        nbh_s[j] = nbh_raw[k][1];
        nbh_l[j] = nbh_raw[k][2];
    }
    nbh_h[8] = nbh_raw[8][0];
    nbh_s[8] = nbh_raw[8][1];
    nbh_l[8] = nbh_raw[8][2];
    HSL_888 cell = {nbh_raw[8][0], nbh_raw[8][1], nbh_raw[8][2]};
    cell_hsl = &cell;

    long new_value = 0;
    long new_dir = 0;
    HSL_888 out = {0, 0, 0};
    step_func(this, &new_value, &new_dir, &out);
    cell_hsl = nullptr;  // the copy dies with this step

    const size_t at = (static_cast<size_t>(y) * w + x) * 3;
    const RGB_888 shown = PaintCell(habitat->data + at, display->data + at, out, hue_shift);
    RecordAndMove(*this, shown, new_value, new_dir);
}

void Bot::StepPathHSL(Image* habitat, Image* display) {
    for (path_index = 0; path_index < path_steps; ++path_index) StepHSL(habitat, display);
}

void Bot::StepRGB(Image* image) {
    const int32_t w = static_cast<int32_t>(image->width);
    const int32_t h = static_cast<int32_t>(image->height);
    WrapPosition(*this, w, h);
    ReadNeighbourhood(*this, image->data, w, h);
    for (int k = 0; k < 8; ++k) {
        const RGB_888 px = {nbh_raw[k][0], nbh_raw[k][1], nbh_raw[k][2]};
        HSL_888 c;
        RGBtoHSL(&px, &c);
        const long j = (k - dir) & 7;
        nbh_h[j] = c.h;
        nbh_s[j] = c.s;
        nbh_l[j] = c.l;
    }
    const RGB_888 under = {nbh_raw[8][0], nbh_raw[8][1], nbh_raw[8][2]};
    HSL_888 cell;
    RGBtoHSL(&under, &cell);
    nbh_h[8] = cell.h;
    nbh_s[8] = cell.s;
    nbh_l[8] = cell.l;
    cell_hsl = &cell;

    long new_value = 0;
    long new_dir = 0;
    HSL_888 out = {0, 0, 0};
    step_func(this, &new_value, &new_dir, &out);
    cell_hsl = nullptr;

    RGB_888 shown;
    HSLtoRGB_inline(out, shown);
    uint8_t* c = image->data + (static_cast<size_t>(y) * w + x) * 3;
    c[0] = shown.r;
    c[1] = shown.g;
    c[2] = shown.b;
    RecordAndMove(*this, shown, new_value, new_dir);
}

void Bot::StepPathRGB(Image* image) {
    for (path_index = 0; path_index < path_steps; ++path_index) StepRGB(image);
}

void Bot::Print() {
    Trace("genes [%d] %2d %2d %2d %2d  ", genes[8], genes[0], genes[1], genes[2], genes[3]);
    Trace("[%d] %2d %2d %2d %2d ", genes[9], genes[4], genes[5], genes[6], genes[7]);
    Trace("(%2d, %2d, %2d)\n", genes[10], genes[11], genes[12]);
}
