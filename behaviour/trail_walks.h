// The trail walks of the preset bots, for runs that draw no trails: the
// saver's walks that leave the trail to a pass after them (FastWalk with
// Shown::kAfterWalk), reached by step function. Kept apart from the saver's
// table so that a program that never runs them, such as the web page, does
// not carry them.
#pragma once

#include "bots/bot.h"

class Image;

namespace behaviour {

// A walk that leaves its trail to a pass after it: true when it did, and the
// bot's trail then holds its cells and the HSL colours to show, hue shifted;
// false when the bot took the general step, which paints as it goes.
using TrailWalkFunc = bool (*)(Bot* bot, Image* habitat, Image* display);

// The trail walk of a preset step function, or null for any other function.
TrailWalkFunc TrailWalkFor(StepFunc step);

}  // namespace behaviour
