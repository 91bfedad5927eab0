// The bot's OpenGL drawing: its trail as points and its marker. Linked only by
// the hosts that draw through OpenGL; the simulation itself needs none of it.
#include <GL/gl.h>

#include "bots/bot.h"

void Bot::DrawPath() const {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_INT, 0, path_xy);
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, path_rgb);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(path_steps));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
}

void Bot::Draw() {
    RGB_888 rgb;
    HSLtoRGB(&color, &rgb);
    const GLubyte c[3] = {rgb.r, rgb.g, rgb.b};
    glColor3ubv(c);
    glBegin(GL_LINES);
    // A square outline from -2 to 2 with a one-unit gap at one corner of each side.
    glVertex2i(-1, -2);
    glVertex2i(2, -2);
    glVertex2i(2, -1);
    glVertex2i(2, 2);
    glVertex2i(1, 2);
    glVertex2i(-2, 2);
    glVertex2i(-2, 1);
    glVertex2i(-2, -2);
    // Heading tick from the centre of the cell three steps ahead to this cell's centre.
    const Point2i d = dir_d[dir & 7];
    glVertex2f(3.0f * static_cast<float>(d.x) + 0.5f, 3.0f * static_cast<float>(d.y) + 0.5f);
    glVertex2f(0.5f, 0.5f);
    glEnd();
}
