// The frame driver: the three calls the saver view turns its host's notices into.
// Init builds the world at start, OnReshape sets up the projection and clears,
// OnDisplay runs and draws two world updates on every later tick.
#pragma once

// Index 0..9 of the community chosen at the last Init.
extern long curr_comm_i;
// True until the first OnDisplay of the process has cleared the surface. Tests
// that need a fresh process state set it back to true.
extern bool first_call;

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
// Two world updates, each drawn as it is made.
void OnDisplay();
