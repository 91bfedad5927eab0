// The walks of the preset bots for runs that draw no trails: the same steps
// as the saver's walks, writing the habitat alone and marking the cells they
// paint (FastWalk with Shown::kNot). They sit apart from the saver's walks so
// that a program that never runs them, such as the web page, does not carry
// them.
#pragma once

#include "behaviour/presets.h"
#include "bots/bot.h"

namespace behaviour {

// The habitat-only walk of a preset step function, or null for any other
// function. The walk's third argument is the raster of marks.
WalkFunc HabitatWalkFor(StepFunc step);

}  // namespace behaviour
