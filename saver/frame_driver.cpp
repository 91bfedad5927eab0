#include "saver/frame_driver.h"

#ifdef _WIN32
#include <windows.h>  // before gl.h, which needs its calling-convention macros
#endif
#include <GL/gl.h>

#include "world/community.h"

void GLTrails::Clear(RGB_888 colour) {
    glClearColor(colour.r / 255.f, colour.g / 255.f, colour.b / 255.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void GLTrails::DrawTrails(const Biotope& world) {
    world.DisplayPaths();
}

bool Init(int width, int height) {
    return Init(width, height, RunStart{});
}

bool Init(int width, int height, const RunStart& start) {
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);
    return StartRun(width, height, start);
}

void OnReshape(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // An empty surface has no projection; glOrtho would only raise an error.
    if (width > 0 && height > 0) glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    GLTrails().Clear(clear_clr);
    glFlush();
}

void OnDisplay() {
    static bool first_call = true;  // the first display of the process clears the surface
    GLTrails gl;
    if (first_call) {
        gl.Clear(clear_clr);
        first_call = false;
    }
    RunUpdates(gl);
    glFlush();
}
