#pragma once

#include "render/SceneObject.h"

#include <optional>

namespace skyglide {

enum class TCameraStyle { csPerspective, csOrthogonal, csOrtho2D, csCustom, csInfinitePerspective };

/// A rectangle of pixels: Left and Top of its corner, Width and Height.
struct TRectangle
{
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

enum class TProjectionKind {
    pkFrustum, ///< glFrustum(Left, Right, Bottom, Top, Near, Far)
    pkOrtho,   ///< glOrtho(Left, Right, Bottom, Top, Near, Far)
};

/// The projection of one frame, as the numbers of the GL call that sets it
/// (after glMatrixMode(GL_PROJECTION) and glLoadIdentity).
struct TProjection
{
    TProjectionKind Kind = TProjectionKind::pkFrustum;
    double Left = 0;
    double Right = 0;
    double Bottom = 0;
    double Top = 0;
    double Near = 0;
    double Far = 0;
};

/// The arguments of gluLookAt for one frame.
struct TViewTransform
{
    TAffineVector Eye;
    TAffineVector Centre;
    TAffineVector Up;
};

/// The camera: projection from FocalLength, DepthOfView and the viewport,
/// view transform towards its TargetObject (or along its own direction).
///
/// Its default Direction is (0, 0, −1). TargetObject is cleared when the
/// target is destroyed.
class TCamera : public TBaseSceneObject, private TFreeNotificationListener
{
public:
    TCamera();
    ~TCamera() override;

    /// A camera only places the view: nothing to draw.
    void DoRender(TRenderContextInfo&) override {}

    float FocalLength() const { return m_focalLength; }
    /// A value ≤ 0, infinite or not a number is stored as 1.0.
    void SetFocalLength(float value);
    float DepthOfView() const { return m_depthOfView; }
    /// A value ≤ 0 or not a number is refused (the far plane would not lie
    /// beyond the near plane).
    void SetDepthOfView(float value);
    /// Distance of the near clipping plane, computed by LoadProjection.
    float NearPlane() const { return m_nearPlane; }
    float NearPlaneBias() const { return m_nearPlaneBias; }
    /// A value ≤ 0 or not a number is stored as 1.0.
    void SetNearPlaneBias(float value);
    /// √(top² + right²) / near of the last projection.
    float ViewPortRadius() const { return m_viewPortRadius; }
    TBaseSceneObject* TargetObject() const { return m_targetObject; }
    /// The camera itself cannot be its own target (the view would have no
    /// direction); such a call is ignored.
    void SetTargetObject(TBaseSceneObject* target);
    /// Normalised centre − eye of the last view transform.
    const TVector4f& LastViewDirection() const { return m_lastViewDirection; }
    TCameraStyle CameraStyle() const { return m_cameraStyle; }
    void SetCameraStyle(TCameraStyle value);
    float SceneScale() const { return m_sceneScale; }
    /// A value ≤ 0 or not a number is refused.
    void SetSceneScale(float value);

    /// Field of view in degrees across dimension pixels: 2 × atan2(dimension / 2,
    /// FocalLength).
    float ViewAngleFor(float dimension) const;
    /// Sets FocalLength so that the field of view across dimension pixels is
    /// fov degrees. fov outside (0, 180) is ignored.
    void SetViewAngle(float fov, float dimension);

    /// The projection for a width × height window at dpi dots per inch and the
    /// given viewport; also stores NearPlane and ViewPortRadius. Nothing (no
    /// value) when width or height is not positive. csCustom and
    /// csInfinitePerspective give the perspective projection. The field of
    /// view depends on width ÷ dpi: a window twice as many pixels wide at
    /// twice the dpi sees the same.
    std::optional<TProjection> LoadProjection(const TRectangle& viewport, int width, int height,
                                              float dpi);
    /// The view transform of this frame; records LastViewDirection. With a
    /// target: from the camera's absolute position to the target's, with the
    /// camera's own Up as stored. Without one: along Direction, with Up, both
    /// carried through the parent's absolute matrix.
    TViewTransform ViewTransform();

    /// OrbitAround(TargetObject, pitchDelta, turnDelta).
    void OrbitTarget(float pitchDelta, float turnDelta);

protected:
    void SceneChanged(TScene* oldScene) override;

private:
    void ObjectFreed(TBaseSceneObject& object) override;

    float m_focalLength = 50.0f;
    float m_depthOfView = 100.0f;
    float m_nearPlane = 0.0f;
    float m_nearPlaneBias = 1.0f;
    float m_viewPortRadius = 0.0f;
    TBaseSceneObject* m_targetObject = nullptr;
    TVector4f m_lastViewDirection{0, 0, -1, 0};
    TCameraStyle m_cameraStyle = TCameraStyle::csPerspective;
    float m_sceneScale = 1.0f;
};

} // namespace skyglide
