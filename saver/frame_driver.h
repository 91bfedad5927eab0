// The frame driver: the three calls the saver view turns its host's notices into.
// Init builds the world at start, OnReshape sets up the projection and clears,
// OnDisplay runs and draws two world updates on every later tick.
#pragma once

// Index 0..9 of the community chosen at the last Init.
extern long curr_comm_i;

// Stores the size, seeds the generator from the clock and builds the world for the
// community the clock selects (or the one a FixedStart names). Returns
// InitCommunity's result.
bool Init(int width, int height);
// The half of Init that touches no OpenGL: size, generator, community, world.
// Hosts that show the display habitat themselves start with it alone.
bool StartWorld(int width, int height);
// Viewport and one-unit-per-pixel projection with the origin at the bottom left,
// then a clear to clear_clr. Leaves the world alone.
void OnReshape(int width, int height);
// Two world updates, each drawn as it is made. The first call of the process
// clears the surface before it.
void OnDisplay();

// For tests only: the frame driver as a fresh process has it, so that the next
// OnDisplay clears again.
void ResetFrameDriverForTest();
