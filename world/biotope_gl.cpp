// The world's OpenGL drawing: the trails of the last update, the display copy
// and the bots' markers. Linked only by the hosts that draw through OpenGL.
#ifdef _WIN32
#include <windows.h>  // before gl.h, which needs its calling-convention macros
#endif
#include <GL/gl.h>

#include <cstdio>

#include "world/biotope.h"

void Biotope::DisplayPaths() const {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_POINT_SMOOTH);
    glPointSize(1.0f);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(0.5f, 0.5f, 0.0f);
    if (HasHabitat()) {
        for (unsigned long i = 0; i < n_bots; ++i) bots[i].DrawPath();
    }
    glPopMatrix();
}

// The display copy's rows are packed, 3 x width bytes each, which is a
// multiple of OpenGL's default unpack alignment of 4 only for some widths:
// the alignment is set to 1 for the draw and restored afterwards.
void Biotope::DrawHabitat() {
    if (rgb_habitat.data == nullptr || rgb_habitat.format.bpp != 24) {
        std::fprintf(stderr, "Biotope::DrawHabitat() failure: no habitat\n");
        return;
    }
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glRasterPos2i(0, 0);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glDrawPixels(static_cast<GLsizei>(rgb_habitat.width), static_cast<GLsizei>(rgb_habitat.height),
                 GL_RGB, GL_UNSIGNED_BYTE, rgb_habitat.data);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void Biotope::DrawInfo() {
    for (unsigned long i = 0; i < n_bots; ++i) {
        glPushMatrix();
        glTranslatef(static_cast<GLfloat>(bots[i].x), static_cast<GLfloat>(bots[i].y), 0.0f);
        bots[i].Draw();
        glPopMatrix();
    }
}
