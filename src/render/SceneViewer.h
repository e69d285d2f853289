#pragma once

#include "render/SceneBuffer.h"

#include <QOpenGLWidget>

#include <exception>
#include <functional>
#include <memory>

class QImage;
class QPainter;
class QSurfaceFormat;

namespace skyglide {

class TCamera;

/// Whether frames wait for the screen's vertical retrace.
enum class TVSyncMode { vsmSync, vsmNoSync };

/// The window control that shows a scene: a QOpenGLWidget whose context its
/// TSceneBuffer renders with.
///
/// Frames are drawn only when something asks: a change notice of the
/// camera's scene, a setting of the buffer, or the window system. Never on a
/// timer.
///
/// GL resources (display lists, textures) are released with the context
/// current, in cleanup(), which runs when Qt is about to destroy the context
/// (the widget moved to another top-level window, or is closing) and from
/// the destructor. A new context gets its lists and textures made again at
/// its first frame.
class TSceneViewer : public QOpenGLWidget
{
    Q_OBJECT

public:
    /// 100 × 100 pixels, no camera, the buffer's background, no vertical sync.
    explicit TSceneViewer(QWidget* parent = nullptr);
    ~TSceneViewer() override;

    TSceneBuffer& Buffer() { return *m_buffer; }
    const TSceneBuffer& Buffer() const { return *m_buffer; }

    TCamera* Camera() const { return m_buffer->Camera(); }
    void SetCamera(TCamera* camera) { m_buffer->SetCamera(camera); }
    /// The camera's view angle in degrees across the smaller of the
    /// viewer's width and height; 0 without a camera.
    float FieldOfView() const;
    /// Sets the camera's focal length for that angle; nothing without a camera.
    void SetFieldOfView(float degrees);

    /// The view's size in the pixels of its framebuffer: what a frame's
    /// read-back holds (width() × height() times the screen's scale factor).
    int PixelWidth() const { return devicePixels(width()); }
    int PixelHeight() const { return devicePixels(height()); }

    TVSyncMode VSync() const { return m_vsync; }
    /// Asks for the swap interval through the surface format: it takes
    /// effect with the next context the widget makes (set it before the
    /// widget is first shown). The window that composes the widget takes its
    /// swap interval from the application's default format, see
    /// SetDefaultSurfaceFormat.
    void SetVSync(TVSyncMode value);

    /// Renders one frame now, into the widget's framebuffer, and lets the
    /// window show it at its next paint without drawing it again. For whoever
    /// needs the current pose's picture before the event loop runs (the movie
    /// recorder: apply the pose, RenderFrame, ReadFrameImage). Nothing
    /// without a context (before the first show). Errors pass to the caller.
    void RenderFrame();
    /// Renders the current view into a picture scale times the viewer's size
    /// (in device pixels) in each direction, in a framebuffer of its own: the
    /// same view with finer pixels, not a scaled-up frame. At scale 1 the
    /// picture holds the pixels the viewer shows. The viewer's own frame is
    /// left as it is. Opaque; rows top first. A null image without a context
    /// (before the first show); throws TRenderContextError when the GL cannot
    /// make a framebuffer that large. Errors of the render pass to the caller.
    QImage RenderPicture(int scale);
    /// Restarts the frame-rate measurement.
    void ResetPerformanceMonitor() { m_buffer->ResetPerformanceMonitor(); }
    float FramesPerSecond() const { return m_buffer->FrameRate(); }
    /// The current frame as shown (see TSceneBuffer::ReadFrameImage): width
    /// rounded down to a multiple of 4, rows bottom first.
    TBitmap32 ReadFrameImage() { return m_buffer->ReadFrameImage(); }

    /// What the viewer asks of OpenGL: 8 bits per colour channel, 24 depth
    /// bits, double buffering, the swap interval of vsync (0 for vsmNoSync),
    /// the default (compatibility) profile, so that immediate mode, display
    /// lists and GLU work.
    static QSurfaceFormat SurfaceFormat(TVSyncMode vsync = TVSyncMode::vsmNoSync);
    /// Makes SurfaceFormat the application's default, so that the top-level
    /// window composing the viewer uses the same swap interval. Call it
    /// before the QApplication is made.
    static void SetDefaultSurfaceFormat(TVSyncMode vsync = TVSyncMode::vsmNoSync);

    /// Called with an error raised while a frame was rendered (a GL error, a
    /// height callback's exception). When empty, the error is raised again
    /// from the event loop right after the paint, where the application's
    /// error handling sees it: an exception must not unwind through Qt's own
    /// paint code.
    std::function<void(std::exception_ptr)> OnRenderError;

    /// Draws over the shown frame with a painter on the viewer, after the
    /// scene (and after a frame RenderFrame drew ahead). What it draws is
    /// never in RenderFrame's, ReadFrameImage's or RenderPicture's pixels
    /// unless the window painted since. Empty: nothing is drawn over.
    std::function<void(QPainter&)> OnPaintOverlay;

    /// Releases the GL resources (makes the context current first). Safe to
    /// call more than once.
    void cleanup();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    class TWidgetContext;
    void reportError(std::exception_ptr error);
    void paintOverlay();
    int devicePixels(int logical) const;

    std::unique_ptr<TSceneBuffer> m_buffer;
    std::unique_ptr<TWidgetContext> m_context;
    TVSyncMode m_vsync = TVSyncMode::vsmNoSync;
    bool m_inGLCallback = false;
    /// The framebuffer holds a frame RenderFrame drew and nothing has changed
    /// since: the next paint only shows it.
    bool m_fresh = false;
    QMetaObject::Connection m_contextConnection;
};

} // namespace skyglide
