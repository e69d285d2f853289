#pragma once

#include "render/SceneBuffer.h"

#include <cstdint>
#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

namespace skyglide {

/// A GL context of its own that renders into a framebuffer object of a fixed
/// size, with nothing on screen: for rendering without a window (benchmarks,
/// tests that only need pixels). Needs a QGuiApplication (and a display);
/// asks for the viewer's surface format (8 bits per colour channel, 24 depth
/// bits, compatibility profile).
class TOffscreenRenderContext : public TRenderContext
{
public:
    /// Throws TRenderContextError "Failed to create RenderingContext." when
    /// no context or framebuffer of that size can be made.
    TOffscreenRenderContext(int width, int height);
    ~TOffscreenRenderContext() override;
    TOffscreenRenderContext(const TOffscreenRenderContext&) = delete;
    TOffscreenRenderContext& operator=(const TOffscreenRenderContext&) = delete;

    void Activate() override;
    void Deactivate() override;
    /// Waits for the frame to be finished (glFinish): there is no screen.
    void SwapBuffers() override;

    /// Reads the framebuffer back: Width() × Height() RGBA pixels, rows
    /// bottom first, into `pixels` (Width() × Height() × 4 bytes). Every
    /// column is read, whatever the width; the context is current meanwhile.
    void ReadPixels(std::uint8_t* pixels) { ReadRows(pixels, m_height); }
    /// The same for the lowest `rows` rows only (at most Height()).
    void ReadRows(std::uint8_t* pixels, int rows);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    QOpenGLContext* Context() const { return m_context.get(); }

private:
    int m_width;
    int m_height;
    std::unique_ptr<QOffscreenSurface> m_surface;
    std::unique_ptr<QOpenGLContext> m_context;
    std::unique_ptr<QOpenGLFramebufferObject> m_fbo;
};

} // namespace skyglide
