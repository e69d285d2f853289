#include "render/OffscreenContext.h"

#include "render/GLSurfaceFormat.h"

#include <QOffscreenSurface>

#include <algorithm>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

namespace skyglide {

TOffscreenRenderContext::TOffscreenRenderContext(int width, int height)
    : m_width(width), m_height(height)
{
    const QSurfaceFormat format = GLSurfaceFormat(0);
    m_context = std::make_unique<QOpenGLContext>();
    m_context->setFormat(format);
    if (!m_context->create())
        throw TRenderContextError("Failed to create RenderingContext.");
    m_surface = std::make_unique<QOffscreenSurface>();
    m_surface->setFormat(m_context->format());
    m_surface->create();
    if (!m_surface->isValid() || !m_context->makeCurrent(m_surface.get()))
        throw TRenderContextError("Failed to create RenderingContext.");
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(QOpenGLFramebufferObject::Depth);
    m_fbo = std::make_unique<QOpenGLFramebufferObject>(width, height, fboFormat);
    const bool valid = m_fbo->isValid();
    m_context->doneCurrent();
    if (!valid)
        throw TRenderContextError("Failed to create RenderingContext.");
}

TOffscreenRenderContext::~TOffscreenRenderContext()
{
    // The framebuffer object is deleted in its own context.
    if (m_context && m_surface && m_context->makeCurrent(m_surface.get())) {
        m_fbo.reset();
        m_context->doneCurrent();
    }
}

void TOffscreenRenderContext::Activate()
{
    if (!m_context->makeCurrent(m_surface.get()))
        throw TRenderContextError("Context activation failed: 0, the off-screen surface cannot "
                                  "be made current");
    m_fbo->bind();
}

void TOffscreenRenderContext::Deactivate()
{
    m_context->doneCurrent();
}

void TOffscreenRenderContext::ReadRows(std::uint8_t* pixels, int rows)
{
    Activate();
    QOpenGLFunctions* gl = m_context->functions();
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl->glReadPixels(0, 0, m_width, std::min(rows, m_height), GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    Deactivate();
}

void TOffscreenRenderContext::SwapBuffers()
{
    m_context->functions()->glFinish();
}

} // namespace skyglide
