// The display colours of a walk, painted after the walk instead of step by
// step. A walk then leaves in each trail entry the HSL colour to show (hue
// already shifted), and this pass turns the trail into RGB and writes each
// colour into the display raster, in step order, so that a cell the walk
// visited twice shows its last colour.
//
// This pays only vectorised: a scalar pass after the walk is slower than
// painting inside the walk, so walks paint after themselves only where
// PaintTrailAfterWalk() is true.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bots/bot.h"
#include "colour/hsl.h"

// True when this processor runs the vectorised pass and it is allowed.
bool PaintTrailAfterWalk();

// Allows or forbids the vectorised pass and repaint (for checking the scalar
// code on a machine that has the vector unit); they are allowed from the start.
void AllowVectorTrailPaint(bool allowed);

// Converts colours[0 .. n-1] from HSL to RGB in place and writes colour i
// into the display cell at xy[i]; `row` is the display's bytes per row.
void PaintTrail(const Point2i* xy, RGB_888* colours, unsigned long n, uint8_t* display,
                ptrdiff_t row);

// Shows the habitat cells among the sixteen at `hsl` (three bytes each,
// consecutive) whose bit is set in `marked` (bit k: cell k) in their display
// cells at `rgb`: each hue shifted by `hue_shift` and converted, as PaintCell
// shows a cell it paints. The other display cells are left as they are.
// Vectorised where the trail pass may be (AllowVectorTrailPaint).
void ShowMarkedCells(const uint8_t* hsl, uint8_t* rgb, uint32_t marked, uint8_t hue_shift);
