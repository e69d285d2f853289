#include "render/SceneViewer.h"

#include "render/Camera.h"
#include "render/GLSurfaceFormat.h"

#include <QMetaObject>
#include <QOpenGLContext>

#include <algorithm>
#include <cmath>

namespace skyglide {

/// The widget's context as the buffer sees it. Qt makes the context current
/// (with the widget's framebuffer object bound) around initializeGL,
/// resizeGL and paintGL, and composes the frame itself after paintGL; inside
/// those calls activation and release are Qt's business.
class TSceneViewer::TWidgetContext : public TRenderContext
{
public:
    explicit TWidgetContext(TSceneViewer& viewer) : m_viewer(viewer) {}

    void Activate() override
    {
        if (m_viewer.m_inGLCallback)
            return;
        m_viewer.makeCurrent();
        if (!m_viewer.context() || QOpenGLContext::currentContext() != m_viewer.context())
            throw TRenderContextError(
                "Context activation failed: 0, the viewer's OpenGL context cannot be made current");
    }
    void Deactivate() override
    {
        if (!m_viewer.m_inGLCallback)
            m_viewer.doneCurrent();
    }
    void SwapBuffers() override {}

private:
    TSceneViewer& m_viewer;
};

TSceneViewer::TSceneViewer(QWidget* parent)
    : QOpenGLWidget(parent), m_buffer(std::make_unique<TSceneBuffer>()),
      m_context(std::make_unique<TWidgetContext>(*this))
{
    setFormat(SurfaceFormat(m_vsync));
    // Every frame clears what it draws on; keeping the framebuffer between
    // paints lets a paint show a frame RenderFrame has already drawn.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    resize(100, 100);
    m_buffer->Resize(100, 100);
    m_buffer->OnChange = [this] {
        m_fresh = false;
        update();
    };
}

TSceneViewer::~TSceneViewer()
{
    cleanup();
    // The base class destroys the context after this destructor: its notice
    // must not reach a viewer that is already gone.
    disconnect(m_contextConnection);
}

QSurfaceFormat TSceneViewer::SurfaceFormat(TVSyncMode vsync)
{
    QSurfaceFormat format = GLSurfaceFormat(vsync == TVSyncMode::vsmSync ? 1 : 0);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

void TSceneViewer::SetDefaultSurfaceFormat(TVSyncMode vsync)
{
    QSurfaceFormat::setDefaultFormat(SurfaceFormat(vsync));
}

void TSceneViewer::SetVSync(TVSyncMode value)
{
    if (value == m_vsync)
        return;
    m_vsync = value;
    if (!context())
        setFormat(SurfaceFormat(m_vsync));
}

float TSceneViewer::FieldOfView() const
{
    const TCamera* camera = m_buffer->Camera();
    if (!camera)
        return 0.0f;
    return camera->ViewAngleFor(float(std::min(width(), height())));
}

void TSceneViewer::SetFieldOfView(float degrees)
{
    if (TCamera* camera = m_buffer->Camera())
        camera->SetViewAngle(degrees, float(std::min(width(), height())));
}

int TSceneViewer::devicePixels(int logical) const
{
    return int(std::lround(double(logical) * devicePixelRatioF()));
}

void TSceneViewer::initializeGL()
{
    const TScopedFlag scope(m_inGLCallback);
    // Qt destroys the context when the widget changes top-level window or
    // goes away; the lists and textures must be deleted while it still
    // exists, with it current.
    m_fresh = false;
    disconnect(m_contextConnection);
    m_contextConnection =
        connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &TSceneViewer::cleanup);
    m_buffer->Resize(devicePixels(width()), devicePixels(height()));
    try {
        m_buffer->CreateRC(*m_context);
    } catch (...) {
        reportError(std::current_exception());
    }
}

void TSceneViewer::resizeGL(int w, int h)
{
    const TScopedFlag scope(m_inGLCallback);
    m_fresh = false; // a new size has a new framebuffer
    m_buffer->Resize(devicePixels(w), devicePixels(h));
}

void TSceneViewer::paintGL()
{
    if (m_fresh) {
        m_fresh = false;
        return;
    }
    if (width() <= 0 || height() <= 0)
        return;
    const TScopedFlag scope(m_inGLCallback);
    try {
        m_buffer->RenderFrame();
    } catch (...) {
        reportError(std::current_exception());
    }
}

void TSceneViewer::RenderFrame()
{
    if (!context() || !m_buffer->RCInstantiated() || width() <= 0 || height() <= 0)
        return;
    m_fresh = false;
    m_buffer->RenderFrame();
    m_fresh = true;
    update();
}

void TSceneViewer::reportError(std::exception_ptr error)
{
    if (OnRenderError) {
        OnRenderError(error);
        return;
    }
    QMetaObject::invokeMethod(
        this, [error] { std::rethrow_exception(error); }, Qt::QueuedConnection);
}

void TSceneViewer::cleanup()
{
    if (!m_buffer || !m_buffer->RCInstantiated())
        return;
    m_buffer->DestroyRC();
}

} // namespace skyglide
