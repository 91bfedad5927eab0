// A traced world update: the update the saver runs, with one line of text per
// bot step.
#pragma once

#include <cstdio>

// One update of the world `biotope`, through the same walks as
// Biotope::Update, writing for every bot step the line
// "update bot step x y value dir h s l r g b\n": the update's number counted
// from 0, the bot's index, the step's index, the cell the bot stood on, the
// value and heading it left with, the colour written into the habitat cell and
// the colour shown for it.
void UpdateTraced(std::FILE* trace);
