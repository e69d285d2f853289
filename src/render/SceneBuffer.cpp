#include "render/SceneBuffer.h"

#include "render/Axes.h"
#include "render/Camera.h"
#include "render/GLResources.h"
#include "render/LightSource.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <vector>

#ifndef GL_TEXTURE_RECTANGLE
#define GL_TEXTURE_RECTANGLE 0x84F5
#endif

namespace skyglide {

namespace {

std::int64_t steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void glTexCoord2fvRoutine(const float* st)
{
    glTexCoord2fv(st);
}

// Leaves the modelview stack as it was found, also when drawing an object
// throws: a frame that failed must not leave the next one a level deeper.
class MatrixGuard
{
public:
    MatrixGuard() { glPushMatrix(); }
    ~MatrixGuard() { glPopMatrix(); }
    MatrixGuard(const MatrixGuard&) = delete;
    MatrixGuard& operator=(const MatrixGuard&) = delete;
};

TObjectsSorting effectiveSorting(const TBaseSceneObject& object, TObjectsSorting inherited)
{
    return object.ObjectsSorting() == TObjectsSorting::osInherited ? inherited
                                                                   : object.ObjectsSorting();
}

float distance2(const TVector4f& a, const TVector4f& b)
{
    const float dx = a.X - b.X;
    const float dy = a.Y - b.Y;
    const float dz = a.Z - b.Z;
    return dx * dx + dy * dy + dz * dz;
}

} // namespace

TSceneBuffer::TSceneBuffer() : m_clock(steadyNanoseconds) {}

TSceneBuffer::~TSceneBuffer()
{
    if (m_camera)
        m_camera->RemoveFreeNotification(this);
}

// ---- context ----------------------------------------------------------------------

void TSceneBuffer::CreateRC(TRenderContext& context)
{
    DestroyRC();
    const TScopedFlag rendering(m_rendering);
    context.Activate();
    m_extensions = TGLExtensions::Detect();
    if (!m_extensions.AtLeast(1, 1)) {
        context.Deactivate();
        throw TRenderContextError("Need at least OpenGL version 1.1");
    }
    m_context = &context;
    m_resources = std::make_shared<TGLResourceOwner>();
    m_states.ResetAll();
    glViewport(0, 0, m_width, m_height);
    setupRenderingState();
    glClearColor(m_backgroundColor.X, m_backgroundColor.Y, m_backgroundColor.Z, 1.0f);
    ClearOpenGLErrors();
    context.Deactivate();
}

void TSceneBuffer::DestroyRC()
{
    if (!m_context)
        return;
    TRenderContext* context = m_context;
    const TScopedFlag rendering(m_rendering);
    try {
        context->Activate();
        m_resources->DeleteAll();
        ClearOpenGLErrors();
        context->Deactivate();
    } catch (const TRenderContextError&) {
        // The context is already gone, and its names with it.
    }
    m_resources.reset();
    m_context = nullptr;
    m_extensions = {};
}

void TSceneBuffer::SetPixelRatio(double ratio)
{
    m_pixelRatio = ratio > 0.0 && std::isfinite(ratio) ? ratio : 1.0;
}

void TSceneBuffer::Resize(int width, int height)
{
    m_width = std::max(width, 1);
    m_height = std::max(height, 1);
    if (!m_context || m_rendering)
        return;
    m_context->Activate();
    glViewport(0, 0, m_width, m_height);
    m_context->Deactivate();
}

// ---- settings ---------------------------------------------------------------------

void TSceneBuffer::changed()
{
    if (!m_rendering && !m_frozen && OnChange)
        OnChange();
}

void TSceneBuffer::SetCamera(TCamera* camera)
{
    if (camera == m_camera)
        return;
    if (m_camera)
        m_camera->RemoveFreeNotification(this);
    m_camera = camera;
    if (m_camera) {
        m_camera->AddFreeNotification(this);
        if (TScene* scene = m_camera->Scene())
            scene->AddListener(this);
    }
    changed();
}

void TSceneBuffer::ObjectFreed(TBaseSceneObject& object)
{
    if (&object == m_camera)
        m_camera = nullptr;
}

void TSceneBuffer::SetBackgroundColor(const TVector4f& value)
{
    if (value == m_backgroundColor)
        return;
    m_backgroundColor = value;
    changed();
}

void TSceneBuffer::SetBackgroundAlpha(float value)
{
    if (value == m_backgroundAlpha)
        return;
    m_backgroundAlpha = value;
    changed();
}

void TSceneBuffer::SetAmbientColor(const TVector4f& value)
{
    if (value == m_ambientColor)
        return;
    m_ambientColor = value;
    changed();
}

void TSceneBuffer::SetFaceCulling(bool value)
{
    if (value == m_faceCulling)
        return;
    m_faceCulling = value;
    changed();
}

void TSceneBuffer::SetLighting(bool value)
{
    if (value == m_lighting)
        return;
    m_lighting = value;
    changed();
}

void TSceneBuffer::SetDepthTest(bool value)
{
    if (value == m_depthTest)
        return;
    m_depthTest = value;
    changed();
}

void TSceneBuffer::SetFogEnable(bool value)
{
    if (value == m_fogEnable)
        return;
    m_fogEnable = value;
    changed();
}

void TSceneBuffer::SetShadeModel(TShadeModel value)
{
    if (value == m_shadeModel)
        return;
    m_shadeModel = value;
    changed();
}

void TSceneBuffer::SetContextOptions(TContextOptions value)
{
    if (value == m_contextOptions)
        return;
    m_contextOptions = value;
    changed();
}

// ---- scene listener ---------------------------------------------------------------

void TSceneBuffer::NotifyChange(TBaseSceneObject*)
{
    changed();
}

// ---- frames -----------------------------------------------------------------------

void TSceneBuffer::setupRenderingState()
{
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, &m_ambientColor.X);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE,
                  m_contextOptions.testFlag(TContextOption::roTwoSideLighting) ? 1 : 0);
    m_states.Enable(TGLState::stNormalize);
    m_states.SetEnabled(TGLState::stDepthTest, m_depthTest);
    m_states.SetEnabled(TGLState::stCullFace, m_faceCulling);
    m_states.SetEnabled(TGLState::stLighting, m_lighting);
    m_states.SetEnabled(TGLState::stFog, m_fogEnable);
    m_states.SetEnabled(TGLState::stDither, m_extensions.BlueBits < 8);
    glDepthFunc(GL_LESS);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glShadeModel(m_shadeModel == TShadeModel::smFlat ? GL_FLAT : GL_SMOOTH);
}

void TSceneBuffer::renderFrozen()
{
    const TScopedFlag rendering(m_rendering);
    m_context->Activate();
    glViewport(0, 0, m_width, m_height);
    glClearColor(m_backgroundColor.X, m_backgroundColor.Y, m_backgroundColor.Z, m_backgroundAlpha);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (!m_frozenImage.Empty()) {
        glPushAttrib(GL_ENABLE_BIT);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glRasterPos2f(-1, -1);
        glDrawPixels(m_frozenImage.Width(), m_frozenImage.Height(), GL_RGBA, GL_UNSIGNED_BYTE,
                     m_frozenImage.Data());
        glPopAttrib();
    }
    if (!m_contextOptions.testFlag(TContextOption::roNoSwapBuffers))
        m_context->SwapBuffers();
    m_states.ResetAll();
    m_context->Deactivate();
}

void TSceneBuffer::RenderFrame()
{
    if (m_rendering || !m_context)
        return;
    if (m_frozen) {
        renderFrozen();
        return;
    }

    const std::int64_t t0 = m_clock();
    if (m_camera)
        m_camera->AbsoluteMatrix();

    const TScopedFlag rendering(m_rendering);
    bool active = false;
    try {
        m_context->Activate();
        active = true;
        m_resources->Collect();
        if (m_frameCount == 0)
            m_firstFrameTime = m_clock();
        m_renderDPI = float(96.0 * m_pixelRatio);
        ClearOpenGLErrors();

        setupRenderingState();
        glViewport(0, -m_bandOffset, m_width, m_height);
        glClearColor(m_backgroundColor.X, m_backgroundColor.Y, m_backgroundColor.Z,
                     m_backgroundAlpha);
        GLbitfield clear = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT;
        if (m_contextOptions.testFlag(TContextOption::roNoColorBuffer) ||
            m_contextOptions.testFlag(TContextOption::roNoColorBufferClear))
            clear = GL_DEPTH_BUFFER_BIT;
        if (m_contextOptions.testFlag(TContextOption::roStencilBuffer))
            clear |= GL_STENCIL_BUFFER_BIT;
        glClear(clear);
        CheckOpenGLError();

        renderScene();
        CheckOpenGLError();

        if (!m_contextOptions.testFlag(TContextOption::roNoSwapBuffers))
            m_context->SwapBuffers();

        ++m_frameCount;
        ++m_statistics.FramesRendered;
        const std::int64_t t1 = m_clock();
        m_lastFrameTime = float(double(t1 - t0) * 1e-9);
        if (t1 - m_firstFrameTime > 0)
            m_frameRate = float(double(m_frameCount) * 1e9 / double(t1 - m_firstFrameTime));

        CheckOpenGLError();
        active = false;
        m_context->Deactivate();
    } catch (...) {
        if (active) {
            try {
                m_context->Deactivate();
            } catch (const TRenderContextError&) {
                // The first error is the one to report.
            }
        }
        throw;
    }
    // Still rendering: what AfterRender changes asks for no new frame.
    if (AfterRender)
        AfterRender();
}

void TSceneBuffer::renderScene()
{
    TCamera* camera = m_camera;
    TScene* scene = camera ? camera->Scene() : nullptr;
    if (!camera || !scene)
        return;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (const auto projection =
            camera->LoadProjection({0, 0, m_width, m_height}, m_width, m_height, m_renderDPI)) {
        if (projection->Kind == TProjectionKind::pkOrtho)
            glOrtho(projection->Left, projection->Right, projection->Bottom, projection->Top,
                    projection->Near, projection->Far);
        else
            glFrustum(projection->Left, projection->Right, projection->Bottom, projection->Top,
                      projection->Near, projection->Far);
    }
    glGetFloatv(GL_PROJECTION_MATRIX, &m_projectionMatrix.M[0][0]);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    scene->SetCurrentCamera(camera);
    const TViewTransform view = camera->ViewTransform();
    gluLookAt(view.Eye.X, view.Eye.Y, view.Eye.Z, view.Centre.X, view.Centre.Y, view.Centre.Z,
              view.Up.X, view.Up.Y, view.Up.Z);
    m_cameraPosition = camera->AbsolutePosition();
    glGetFloatv(GL_MODELVIEW_MATRIX, &m_baseMatrix.M[0][0]);

    TRenderContextInfo rci;
    rci.TexCoord2fv = glTexCoord2fvRoutine;

    if (ViewerHook)
        ViewerHook();
    if (BeforeRender)
        BeforeRender();

    // What BeforeRender started (the viewer's busy cursor) is ended by
    // PostRender whether or not the scene could be drawn.
    try {
        setupLights(*scene);

        if (m_fogEnable)
            m_states.Enable(TGLState::stFog);
        else
            m_states.Disable(TGLState::stFog);

        rci.Buffer = this;
        rci.Extensions = &m_extensions;
        rci.Resources = m_resources;
        rci.Statistics = &m_statistics;
        rci.Camera = camera;
        rci.CameraPosition = m_cameraPosition;
        rci.ViewPortWidth = m_width;
        rci.ViewPortHeight = m_height;
        rci.ObjectsSorting = scene->ObjectsSorting();
        rci.VisibilityCulling = scene->VisibilityCulling();
        rci.GLStates = &m_states;
        rci.DrawState = TDrawState::dsRendering;
        rci.BaseMatrix = m_baseMatrix;

        m_states.ResetAll();
        const GLboolean colors =
            m_contextOptions.testFlag(TContextOption::roNoColorBuffer) ? GL_FALSE : GL_TRUE;
        glColorMask(colors, colors, colors, colors);
        renderChildren(scene->Objects(), rci.ObjectsSorting, rci);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        m_states.Disable(TGLState::stBlend);
        m_states.Disable(TGLState::stTexture2D);
        if (m_extensions.TextureRectangle)
            glDisable(GL_TEXTURE_RECTANGLE);
        m_states.Enable(TGLState::stAlphaTest);
        glAlphaFunc(GL_GREATER, 0);
    } catch (...) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        if (PostRender) {
            try {
                PostRender();
            } catch (...) {
                // The render's own error is the one to report.
            }
        }
        throw;
    }
    if (PostRender)
        PostRender();
}

void TSceneBuffer::setupLights(TScene& scene)
{
    const std::vector<TLightSetup> setups = scene.LightSetups(m_extensions.MaxLights);
    for (std::size_t i = 0; i < setups.size(); ++i) {
        const TLightSetup& setup = setups[i];
        const GLenum light = GLenum(GL_LIGHT0 + i);
        if (!setup.Shining) {
            glDisable(light);
            continue;
        }
        glEnable(light);
        glPushMatrix();
        glLoadMatrixf(m_baseMatrix.Data());
        glMultMatrixf(setup.Placement.Data());
        glLightfv(light, GL_POSITION, &setup.Position.X);
        if (setup.SetSpotDirection) {
            glLightfv(light, GL_SPOT_DIRECTION, &setup.SpotDirection.X);
            glLightf(light, GL_SPOT_EXPONENT, setup.SpotExponent);
        }
        glPopMatrix();
        glLightfv(light, GL_AMBIENT, &setup.Ambient.X);
        glLightfv(light, GL_DIFFUSE, &setup.Diffuse.X);
        glLightfv(light, GL_SPECULAR, &setup.Specular.X);
        glLightf(light, GL_SPOT_CUTOFF, setup.SpotCutOff);
        glLightf(light, GL_CONSTANT_ATTENUATION, setup.ConstAttenuation);
        glLightf(light, GL_LINEAR_ATTENUATION, setup.LinearAttenuation);
        glLightf(light, GL_QUADRATIC_ATTENUATION, setup.QuadraticAttenuation);
    }
}

void TSceneBuffer::renderChildren(TBaseSceneObject& object, TObjectsSorting sorting,
                                  TRenderContextInfo& rci)
{
    const int count = object.Count();
    if (count == 0)
        return;
    if (sorting != TObjectsSorting::osRenderFarthestFirst &&
        sorting != TObjectsSorting::osRenderNearestFirst) {
        // In index order; a child that an event handler removes mid-frame is
        // not visited (the count is read again at every turn).
        for (int i = 0; i < object.Count(); ++i) {
            TBaseSceneObject& child = object.Child(i);
            if (child.Visible())
                renderObject(child, sorting, rci);
        }
        return;
    }
    struct Entry
    {
        TBaseSceneObject* Object;
        float Distance2;
    };
    std::vector<Entry> order;
    order.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        TBaseSceneObject& child = object.Child(i);
        if (child.Visible())
            order.push_back({&child, distance2(child.AbsolutePosition(), rci.CameraPosition)});
    }
    const bool farthestFirst = sorting == TObjectsSorting::osRenderFarthestFirst;
    std::stable_sort(order.begin(), order.end(), [farthestFirst](const Entry& a, const Entry& b) {
        return farthestFirst ? a.Distance2 > b.Distance2 : a.Distance2 < b.Distance2;
    });
    for (const Entry& entry : order)
        renderObject(*entry.Object, sorting, rci);
}

void TSceneBuffer::renderObject(TBaseSceneObject& object, TObjectsSorting sorting,
                                TRenderContextInfo& rci)
{
    // Visibility culling is not done: every visible object is drawn, as the
    // viewer's scene (no culling) wants.
    MatrixGuard matrix;
    const TMatrix4f savedBase = rci.BaseMatrix;
    const auto* invariant = dynamic_cast<const TCameraInvariantObject*>(&object);
    if (invariant && invariant->CamInvarianceMode() == TCameraInvarianceMode::cimPosition) {
        glLoadMatrixf(rci.BaseMatrix.Data());
        glTranslatef(rci.CameraPosition.X, rci.CameraPosition.Y, rci.CameraPosition.Z);
        glMultMatrixf(object.LocalMatrix().Data());
        glGetFloatv(GL_MODELVIEW_MATRIX, &rci.BaseMatrix.M[0][0]);
    } else {
        glMultMatrixf(object.LocalMatrix().Data());
    }

    if (object.ShowAxes() && rci.Camera)
        DrawAxes(rci, rci.Camera->DepthOfView());

    const bool noDepthTest = object.ObjectStyle().testFlag(TObjectStyleFlag::ofNoDepthTest);
    if (noDepthTest)
        m_states.Disable(TGLState::stDepthTest);
    object.DoRender(rci);
    renderChildren(object, effectiveSorting(object, sorting), rci);
    if (noDepthTest)
        m_states.SetEnabled(TGLState::stDepthTest, m_depthTest);

    if (object.ObjectStyle().testFlag(TObjectStyleFlag::ofResetGLState)) {
        m_states.ResetGLMaterialColors();
        m_states.ResetTextureBindings();
        glFrontFace(GL_CCW);
    }
    rci.BaseMatrix = savedBase;
}

// ---- snapshots, freezing, monitor -------------------------------------------------

void TSceneBuffer::readPixels(TBitmap32& image, int width)
{
    m_context->Activate();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    if (width > 0)
        glReadPixels(0, 0, width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, image.Data());
    m_context->Deactivate();
}

TBitmap32 TSceneBuffer::ReadFrameImage()
{
    TBitmap32 image;
    ReadFrameImage(image);
    return image;
}

void TSceneBuffer::ReadFrameImage(TBitmap32& image)
{
    const bool canRead = m_context && m_camera && m_camera->Scene();
    if (!canRead) {
        image.SetSize(m_width, m_height);
        return;
    }
    const int width = m_width & ~3;
    image.SetSize(width, m_height);
    readPixels(image, width);
}

void TSceneBuffer::Freeze()
{
    if (m_frozen || !m_context)
        return;
    m_frozenImage.SetSize(m_width, m_height);
    readPixels(m_frozenImage, m_width);
    m_frozen = true;
}

void TSceneBuffer::Melt()
{
    if (!m_frozen)
        return;
    m_frozen = false;
    m_frozenImage.Clear();
    changed();
}

void TSceneBuffer::ResetPerformanceMonitor()
{
    m_frameCount = 0;
    m_frameRate = 0.0f;
    m_firstFrameTime = 0;
}

void TSceneBuffer::SetClock(TFrameClock clock)
{
    m_clock = clock ? std::move(clock) : TFrameClock(steadyNanoseconds);
}

} // namespace skyglide
