#include "render/Axes.h"

#include "render/RenderContextInfo.h"

#include <GL/gl.h>

namespace skyglide {

void DrawAxes(const TRenderContextInfo& rci, float length)
{
    glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_LINE_BIT);
    glDisable(GL_LIGHTING);
    // A texture left on by the object drawn before would tint the lines.
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LINE_STIPPLE);
    if (!rci.IgnoreBlendingRequests) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    glLineWidth(1);
    glLineStipple(1, cAxesStipple);
    glBegin(GL_LINES);
    for (int i = 0; i < 6; ++i) {
        const TAxisColor& color = cAxisColors[i];
        const float end = i % 2 == 0 ? -length : length;
        const int axis = i / 2;
        glColor3f(color.Red, color.Green, color.Blue);
        glVertex3f(0, 0, 0);
        glVertex3f(axis == 0 ? end : 0, axis == 1 ? end : 0, axis == 2 ? end : 0);
    }
    glEnd();
    glPopAttrib();
}

} // namespace skyglide
