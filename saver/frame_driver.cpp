#include "saver/frame_driver.h"

#include <GL/gl.h>

#include "colour/random_tovi.h"
#include "saver/start.h"
#include "world/biotope.h"
#include "world/clock.h"
#include "world/community.h"

long curr_comm_i = 0;

namespace {

int forced_community = -1;
// True until the first OnDisplay of the process has cleared the surface.
bool first_call = true;

void ClearToClearColour() {
    glClearColor(clear_clr.r / 255.f, clear_clr.g / 255.f, clear_clr.b / 255.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
}

}  // namespace

FixedStart::FixedStart(const StartRequest& request) {
    if (request.fixed_seed) FixClock(request.seed);
    forced_community = request.preset;
}

FixedStart::~FixedStart() {
    UnfixClock();
    forced_community = -1;
}

bool Init(int width, int height) {
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);
    return StartWorld(width, height);
}

// Three readings of the clock, in this order: the generator's seed, the
// community, and (inside InitCommunity) the world's own seed.
bool StartWorld(int width, int height) {
    scr_w = width;
    scr_h = height;
    rand_seed = static_cast<long>(ReadClock());
    srandom_tovi(static_cast<uint32_t>(rand_seed));
    curr_comm_i = static_cast<long>(ReadClock() % 10);
    if (forced_community >= 0) curr_comm_i = forced_community;
    return InitCommunity(static_cast<int>(curr_comm_i));
}

void OnReshape(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // An empty surface has no projection; glOrtho would only raise an error.
    if (width > 0 && height > 0) glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    ClearToClearColour();
    glFlush();
}

void OnDisplay() {
    if (first_call) {
        ClearToClearColour();
        first_call = false;
    }
    biotope.Update();
    biotope.DisplayPaths();
    biotope.Update();
    biotope.DisplayPaths();
    glFlush();
}

void ResetFrameDriverForTest() {
    first_call = true;
}
