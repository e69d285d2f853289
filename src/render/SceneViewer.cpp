#include "render/SceneViewer.h"

#include "render/Camera.h"
#include "render/GLSurfaceFormat.h"

#include <QImage>
#include <QMetaObject>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QPainter>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <string>

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
    m_buffer->SetPixelRatio(devicePixelRatioF());
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
    m_buffer->SetPixelRatio(devicePixelRatioF());
    m_buffer->Resize(devicePixels(w), devicePixels(h));
}

void TSceneViewer::paintGL()
{
    if (m_fresh) {
        m_fresh = false;
        paintOverlay();
        return;
    }
    if (width() <= 0 || height() <= 0)
        return;
    {
        const TScopedFlag scope(m_inGLCallback);
        try {
            m_buffer->RenderFrame();
        } catch (...) {
            reportError(std::current_exception());
        }
    }
    paintOverlay();
}

void TSceneViewer::paintOverlay()
{
    if (!OnPaintOverlay)
        return;
    // The painter sets GL state of its own; the fixed-function state the
    // frames rely on is put back, and the buffer's cache of it starts over.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // What the frame left enabled would cull or hide the painter's shapes.
    for (const GLenum capability : {GL_CULL_FACE, GL_DEPTH_TEST, GL_LIGHTING, GL_TEXTURE_2D,
                                    GL_ALPHA_TEST, GL_FOG, GL_STENCIL_TEST, GL_SCISSOR_TEST})
        glDisable(capability);
    QOpenGLFunctions* gl = context()->functions();
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        OnPaintOverlay(painter);
    }
    gl->glUseProgram(0);
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    m_buffer->GLStates().ResetAll();
}

QImage TSceneViewer::RenderPicture(int scale)
{
    if (!context() || !m_buffer->RCInstantiated() || width() <= 0 || height() <= 0)
        return {};
    scale = std::max(scale, 1);
    const int width = m_buffer->Width() * scale;
    const int height = m_buffer->Height() * scale;
    makeCurrent();
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    QOpenGLFramebufferObject framebuffer(width, height, format);
    if (!framebuffer.isValid() || !framebuffer.bind()) {
        doneCurrent();
        throw TRenderContextError(
            "Failed to create RenderingContext. (" + std::to_string(width) + " x " +
            std::to_string(height) + " pixels are more than the OpenGL driver can render)");
    }
    const int viewWidth = m_buffer->Width();
    const int viewHeight = m_buffer->Height();
    QImage picture(width, height, QImage::Format_RGBA8888);
    {
        // The buffer draws into the picture's framebuffer, which stays bound:
        // its activation is left alone as during a paint.
        const TScopedFlag scope(m_inGLCallback);
        const auto restore = [&] {
            m_buffer->SetPixelRatio(devicePixelRatioF());
            m_buffer->Resize(viewWidth, viewHeight);
            framebuffer.release();
            doneCurrent();
        };
        try {
            m_buffer->SetPixelRatio(devicePixelRatioF() * scale);
            m_buffer->Resize(width, height);
            m_buffer->RenderFrame();
            glPixelStorei(GL_PACK_ALIGNMENT, 4);
            glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, picture.bits());
        } catch (...) {
            restore();
            throw;
        }
        restore();
    }
    // The frame's alpha is whatever the blending left; the view on screen is
    // opaque, and so is its picture. GL's rows run bottom first.
    for (int y = 0; y < height; ++y) {
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < width; ++x)
            row[4 * x + 3] = 255;
    }
    return picture.convertToFormat(QImage::Format_RGB888).mirrored();
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
