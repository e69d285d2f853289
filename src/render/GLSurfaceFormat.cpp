#include "render/GLSurfaceFormat.h"

namespace skyglide {

QSurfaceFormat GLSurfaceFormat(int swapInterval)
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::NoProfile);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setDepthBufferSize(24);
    format.setSwapInterval(swapInterval);
    return format;
}

} // namespace skyglide
