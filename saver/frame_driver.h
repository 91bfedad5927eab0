// The frame driver: the three calls the saver view turns its host's notices into.
// Init builds the world at start, OnReshape sets up the projection and clears,
// OnDisplay runs and draws two world updates on every later tick. A thin use
// of the saver's heart (saver.h) with OpenGL as its drawing.
#pragma once

#include "saver/saver.h"

// Stores the size, seeds the generator from the real clock and builds the
// world for the community the clock selects. Returns InitCommunity's result.
bool Init(int width, int height);
// Init for a given start: the clock reading and community that name a run.
bool Init(int width, int height, const RunStart& start);
// Viewport and one-unit-per-pixel projection with the origin at the bottom left,
// then a clear to clear_clr. Leaves the world alone.
void OnReshape(int width, int height);
// Two world updates, each drawn as it is made. The first call of the process
// clears the surface before it.
void OnDisplay();

// The trails drawn through OpenGL (the saver's own drawing), on the current context.
class GLTrails : public TrailDrawing {
  public:
    void Clear(RGB_888 colour) override;
    void DrawTrails(const Biotope& world) override;
};
