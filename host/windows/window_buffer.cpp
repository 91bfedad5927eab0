#include "host/windows/window_buffer.h"

#include <windows.h>
// windows.h first: gl.h needs its calling-convention macros.
#include <GL/gl.h>

#include "world/biotope.h"

// Rows go bottom first, like OpenGL's; the raster position is set under a
// projection of one unit per pixel, so the picture lands on whole pixels.
void RepaintFromHabitat(int width, int height) {
    const Image& rgb = biotope.rgb_habitat;
    glClearColor(0.f, 0.f, 0.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (biotope.HasHabitat() && rgb.format.bpp == 24) {
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, width, 0, height, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glViewport(0, 0, width, height);
        glRasterPos2i(0, 0);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        const int w = static_cast<int>(rgb.width) < width ? static_cast<int>(rgb.width) : width;
        const int h = static_cast<int>(rgb.height) < height ? static_cast<int>(rgb.height) : height;
        glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rgb.width));
        glDrawPixels(w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    glFlush();
}
