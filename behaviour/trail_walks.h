// The marking walks of the preset bots, for runs that draw no trails: each
// takes exactly the steps of the saver's walk (habitat, position, value,
// heading and every random draw) but shows nothing. It sets the byte of
// every cell it paints in a raster of marks instead, and keeps neither a
// trail nor the bot's position step by step. Reached by step function; kept
// apart from the saver's table so that a program that never runs them, such
// as the web page, does not carry them.
#pragma once

#include <cstdint>

#include "bots/bot.h"

class Image;

namespace behaviour {

// A walk that marks the cells it paints in `marks` (a byte per cell, packed
// as the habitat's cells) and leaves the display as it was: true when it did;
// false when the bot took the general step, which paints the display as it
// goes and marks nothing. The bot's trail is not kept either way for a walk
// that marks.
using MarkingWalkFunc = bool (*)(Bot* bot, Image* habitat, Image* display, uint8_t* marks);

// The marking walk of a preset step function, or null for any other function.
MarkingWalkFunc MarkingWalkFor(StepFunc step);

}  // namespace behaviour
