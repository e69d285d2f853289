#pragma once

#include "render/Bitmap32.h"
#include "render/Flags.h"
#include "render/GLStateCache.h"
#include "render/RenderContextInfo.h"
#include "render/Scene.h"
#include "render/VectorGeometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace skyglide {

class TCamera;
class TGLResourceOwner;

/// The OpenGL context a scene buffer draws with, as the window (or the
/// off-screen surface) that owns it supplies it.
class TRenderContext
{
public:
    virtual ~TRenderContext() = default;
    /// Makes the context current, with its framebuffer as the target of
    /// drawing and reading. Throws TRenderContextError when it cannot.
    virtual void Activate() = 0;
    /// Releases the context where its owner allows it (a widget in the middle
    /// of its own paint keeps it current).
    virtual void Deactivate() = 0;
    /// Presents the frame; nothing for a widget whose window composes it.
    virtual void SwapBuffers() = 0;
};

/// A context that cannot be created, made current or released:
/// "Failed to create RenderingContext.", "Context activation failed: %X, %s",
/// "Context deactivation failed", "Need at least OpenGL version 1.1".
class TRenderContextError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class TContextOption : unsigned {
    roDoubleBuffer = 1u << 0,
    roStencilBuffer = 1u << 1,
    roRenderToWindow = 1u << 2,
    roTwoSideLighting = 1u << 3,
    roStereo = 1u << 4,
    roDestinationAlpha = 1u << 5,
    roNoColorBuffer = 1u << 6,
    roNoColorBufferClear = 1u << 7,
    roNoSwapBuffers = 1u << 8,
};
using TContextOptions = TFlags<TContextOption>;

enum class TShadeModel { smDefault, smSmooth, smFlat };

/// Nanoseconds of a steady clock: the frame-rate monitor's time.
using TFrameClock = std::function<std::int64_t()>;

/// Holds a scene's camera and a GL context and renders one frame of the
/// scene on request; keeps the frame-rate monitor; reads frames back.
///
/// Change notices of the camera's scene reach OnChange (the viewer repaints)
/// unless the buffer is rendering or frozen. Every GL resource the render
/// makes (display lists, texture names) belongs to the context it was made
/// in and is deleted in that context: by DestroyRC, or, for an object that
/// goes away earlier, at the next frame.
///
/// Main thread only. Not copyable.
class TSceneBuffer : public TSceneListener, private TFreeNotificationListener
{
public:
    TSceneBuffer();
    ~TSceneBuffer() override;

    // ---- context ------------------------------------------------------------

    /// Takes context (which must outlive the buffer's use of it, until
    /// DestroyRC): reads what it offers, sets the viewport and the rendering
    /// state and the clear colour. Throws TRenderContextError "Need at least
    /// OpenGL version 1.1" for an older context, which is then not taken.
    void CreateRC(TRenderContext& context);
    /// Deletes every GL resource made in the context (with it current) and
    /// lets the context go. Nothing when there is none.
    void DestroyRC();
    bool RCInstantiated() const { return m_context != nullptr; }
    /// What the context offers (zeros before CreateRC).
    const TGLExtensions& Extensions() const { return m_extensions; }

    /// Sets the size of the frame in pixels, each at least 1, and the
    /// viewport when there is a context.
    void Resize(int width, int height);
    /// Draws the frame `rows` pixels lower, so that a framebuffer lower than
    /// the frame holds its band of rows from `rows` up: a large frame is
    /// drawn band by band into a small framebuffer, each band exactly as
    /// the whole frame would show it there.
    void SetBandOffset(int rows) { m_bandOffset = rows; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // ---- what is rendered ---------------------------------------------------

    TCamera* Camera() const { return m_camera; }
    /// The camera whose scene is rendered; the buffer listens to the scene
    /// the camera is in at this call from now on. Cleared when the camera is
    /// destroyed.
    void SetCamera(TCamera* camera);

    /// Red, green, blue in 0 to 1 (alpha unused: see BackgroundAlpha). The
    /// default is the light grey of a button face, (240, 240, 240) / 255.
    const TVector4f& BackgroundColor() const { return m_backgroundColor; }
    /// Stores the colour and asks for a repaint, only when it differs.
    void SetBackgroundColor(const TVector4f& value);
    float BackgroundAlpha() const { return m_backgroundAlpha; }
    void SetBackgroundAlpha(float value);
    /// Global ambient light, default (0.2, 0.2, 0.2, 1).
    const TVector4f& AmbientColor() const { return m_ambientColor; }
    void SetAmbientColor(const TVector4f& value);
    bool FaceCulling() const { return m_faceCulling; }
    void SetFaceCulling(bool value);
    bool Lighting() const { return m_lighting; }
    void SetLighting(bool value);
    bool DepthTest() const { return m_depthTest; }
    void SetDepthTest(bool value);
    /// Fog with OpenGL's default fog settings (the viewer has none).
    bool FogEnable() const { return m_fogEnable; }
    void SetFogEnable(bool value);
    TShadeModel ShadeModel() const { return m_shadeModel; }
    void SetShadeModel(TShadeModel value);
    /// Default roDoubleBuffer, roRenderToWindow. The window reads the buffer
    /// options for its surface format; the render pass honours
    /// roTwoSideLighting, roStencilBuffer (cleared), roNoColorBuffer,
    /// roNoColorBufferClear and roNoSwapBuffers.
    TContextOptions ContextOptions() const { return m_contextOptions; }
    void SetContextOptions(TContextOptions value);
    /// Framebuffer pixels per pixel of the window (the screen's scale
    /// factor, 2 at QT_SCALE_FACTOR=2); Width() and Height() count
    /// framebuffer pixels. Default 1; a value that is not positive and
    /// finite is taken as 1.
    double PixelRatio() const { return m_pixelRatio; }
    void SetPixelRatio(double ratio);
    /// Dots per inch handed to the camera's projection: 96 per window pixel,
    /// so that the view shows the same at every scale factor.
    float RenderDPI() const { return m_renderDPI; }

    // ---- frames -------------------------------------------------------------

    /// Renders one frame: skipped silently without a context or while a
    /// frame is being rendered. GL errors after the clear, the scene and the
    /// swap raise TOpenGLError (the context is still released and the
    /// rendering flag cleared; AfterRender is not raised).
    void RenderFrame();
    /// True while a frame (or the context's creation) is in progress.
    bool Rendering() const { return m_rendering; }

    /// The current frame as the framebuffer holds it: Width() rounded down to
    /// a multiple of 4 by Height() pixels, rows bottom first. Renders
    /// nothing itself (render first). Without a context, a camera or a scene
    /// the pixels are all 0 at the full width.
    TBitmap32 ReadFrameImage();
    /// The same into image, reusing its storage.
    void ReadFrameImage(TBitmap32& image);

    /// Keeps showing the current frame, whatever changes, until Melt.
    void Freeze();
    /// Renders again from the next frame on (and asks for it).
    void Melt();
    bool Frozen() const { return m_frozen; }

    /// Frames per second since the last reset: frames × 1 s / (end of the
    /// last frame − start of the first).
    float FrameRate() const { return m_frameRate; }
    /// Seconds the last frame took.
    float LastFrameTime() const { return m_lastFrameTime; }
    long long FrameCount() const { return m_frameCount; }
    /// Zeros the frame count, the rate and the first-frame time.
    void ResetPerformanceMonitor();
    /// Replaces the monitor's clock (steady_clock by default).
    void SetClock(TFrameClock clock);

    const TRenderStatistics& Statistics() const { return m_statistics; }

    /// The state cache of the frames (for tests and helpers).
    TGLStateCache& GLStates() { return m_states; }
    /// The GL resources of the current context (null without one).
    const std::shared_ptr<TGLResourceOwner>& Resources() const { return m_resources; }

    // ---- events -------------------------------------------------------------

    /// A repaint is wanted (a scene change, a setting of the buffer).
    std::function<void()> OnChange;
    /// The owning viewer's routine before every frame's BeforeRender (the
    /// viewer applies its swap-interval choice there).
    std::function<void()> ViewerHook;
    /// Around every frame: after the camera is applied (BeforeRender), after
    /// the scene is drawn (PostRender; also when drawing failed, so that what
    /// BeforeRender started is always ended), after the frame is finished
    /// and the context released (AfterRender).
    std::function<void()> BeforeRender;
    std::function<void()> PostRender;
    std::function<void()> AfterRender;

    // ---- scene listener -----------------------------------------------------

    void NotifyChange(TBaseSceneObject* sender) override;

private:
    void ObjectFreed(TBaseSceneObject& object) override;
    void changed();
    void setupRenderingState();
    void renderFrozen();
    void renderScene();
    void setupLights(TScene& scene);
    void renderChildren(TBaseSceneObject& object, TObjectsSorting sorting, TRenderContextInfo& rci);
    void renderObject(TBaseSceneObject& object, TObjectsSorting sorting, TRenderContextInfo& rci);
    void readPixels(TBitmap32& image, int width);

    TRenderContext* m_context = nullptr;
    std::shared_ptr<TGLResourceOwner> m_resources;
    TGLExtensions m_extensions;
    TGLStateCache m_states;
    bool m_rendering = false;

    TMatrix4f m_baseMatrix;
    TMatrix4f m_projectionMatrix;
    TVector4f m_cameraPosition{0, 0, 0, 1};
    int m_width = 1;
    int m_height = 1;
    int m_bandOffset = 0;

    TCamera* m_camera = nullptr;
    TVector4f m_backgroundColor{240.0f / 255.0f, 240.0f / 255.0f, 240.0f / 255.0f, 1};
    float m_backgroundAlpha = 1.0f;
    TVector4f m_ambientColor{0.2f, 0.2f, 0.2f, 1};
    bool m_faceCulling = true;
    bool m_fogEnable = false;
    bool m_lighting = true;
    bool m_depthTest = true;
    TShadeModel m_shadeModel = TShadeModel::smDefault;
    TContextOptions m_contextOptions{TContextOption::roDoubleBuffer,
                                     TContextOption::roRenderToWindow};
    float m_renderDPI = 96;
    double m_pixelRatio = 1.0;

    bool m_frozen = false;
    TBitmap32 m_frozenImage;

    TFrameClock m_clock;
    long long m_frameCount = 0;
    float m_frameRate = 0.0f;
    std::int64_t m_firstFrameTime = 0;
    float m_lastFrameTime = 0.0f;

    TRenderStatistics m_statistics;
};

} // namespace skyglide
