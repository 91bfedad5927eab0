// The saver's heart, shared by every host: how a run starts and how it ticks.
// A host supplies a surface (a drawing of its own kind, below) and the time;
// the rhythm, the seeding order and every message of a run live here alone.
#pragma once

#include <cstddef>
#include <cstdio>

#include "colour/hsl.h"
#include "image/image.h"
#include "world/biotope.h"
#include "world/clock.h"

// Index 0..9 of the community chosen at the last start.
extern long curr_comm_i;

// A run's start, as a value: the clock it is seeded from and its community.
struct RunStart {
    StartClock clock;    // the real clock, or the one reading that names the run
    int community = -1;  // 0..9; -1: the clock's reading mod 10, as the saver chooses
};

// Starts a run at width x height on the world `biotope`: the size, the
// generator seeded from one reading of the clock, the community from a second
// (unless the start names one), the world from a third inside InitCommunity.
// Returns InitCommunity's result.
bool StartRun(int width, int height, const RunStart& start);

// What a tick's work is shown on: OpenGL, a pixel buffer, or only marks of the
// cells painted. One seam, so that every host shows the same picture.
class TrailDrawing {
  public:
    virtual ~TrailDrawing() = default;
    // The whole surface in one colour, as glClear leaves it.
    virtual void Clear(RGB_888 colour) = 0;
    // The trails of the update just made: bot after bot, point after point,
    // so that the last point on a pixel wins. Row 0 of the world is the bottom.
    virtual void DrawTrails(const Biotope& world) = 0;
    // A drawing that only needs to know which cells were painted returns a
    // raster of a byte per cell here; the world then marks them instead of
    // recording the trails' colours (the cheaper walk), and DrawTrails sees
    // trails without colours.
    virtual Image* Marks() { return nullptr; }
};

// The two world updates of a tick, each drawn on `drawing` as it is made. With
// `trace`, every bot step is also written there, one line a step.
void RunUpdates(TrailDrawing& drawing, std::FILE* trace = nullptr);

// The saver's cadence for a host that keeps a surface of its own: the first
// tick after a start or a surface change only clears, every later one runs
// two updates. (The saver view keeps the same cadence with OpenGL.)
class Saver {
  public:
    RunStart start;               // what every Start uses
    std::FILE* trace = nullptr;   // the step lines, when a run is traced
    unsigned long ticks_run = 0;  // ticks since the last Start

    // Builds the world at width x height; the next tick clears.
    bool Start(int width, int height);
    // The surface has a new size or lost its picture: the next tick clears
    // it. The world keeps the size it was built with.
    void SurfaceChanged() { ready_ = false; }
    void Tick(TrailDrawing& drawing);

  private:
    bool ready_ = false;  // the surface was cleared since the last start or change
};

// The line that ends a reproducible run: "final n_updates=N bots=x,y,value,dir
// ... next_random=R", without a newline. Draws the next random number, so it
// ends a run. Returns the line's length, or -1 when `size` is too small.
int FormatFinalState(char* out, std::size_t size);
