#include "render/Camera.h"

#include "render/Scene.h"

#include <cmath>

namespace skyglide {

namespace {

bool positiveNumber(float value)
{
    return value > 0.0f && std::isfinite(value);
}

} // namespace

TCamera::TCamera()
{
    Direction().SetDirect({0, 0, -1, 0});
}

TCamera::~TCamera()
{
    if (m_targetObject)
        m_targetObject->RemoveFreeNotification(this);
    if (Scene() && Scene()->CurrentCamera() == this)
        Scene()->SetCurrentCamera(nullptr);
}

void TCamera::SetFocalLength(float value)
{
    if (!positiveNumber(value))
        value = 1.0f;
    if (value == m_focalLength)
        return;
    m_focalLength = value;
    if (!IsLoading())
        MarkTransformStale();
}

void TCamera::SetDepthOfView(float value)
{
    if (!positiveNumber(value) || value == m_depthOfView)
        return;
    m_depthOfView = value;
    if (!IsLoading())
        MarkTransformStale();
}

void TCamera::SetNearPlaneBias(float value)
{
    if (!positiveNumber(value))
        value = 1.0f;
    if (value == m_nearPlaneBias)
        return;
    m_nearPlaneBias = value;
    if (!IsLoading())
        MarkTransformStale();
}

void TCamera::SetSceneScale(float value)
{
    if (!positiveNumber(value) || value == m_sceneScale)
        return;
    m_sceneScale = value;
    if (!IsLoading())
        MarkTransformStale();
}

void TCamera::SetCameraStyle(TCameraStyle value)
{
    if (value == m_cameraStyle)
        return;
    m_cameraStyle = value;
    SendChangeNotice();
}

void TCamera::SetTargetObject(TBaseSceneObject* target)
{
    if (target == m_targetObject || target == this)
        return;
    if (m_targetObject)
        m_targetObject->RemoveFreeNotification(this);
    m_targetObject = target;
    if (m_targetObject)
        m_targetObject->AddFreeNotification(this);
    if (!IsLoading())
        MarkTransformStale();
}

void TCamera::ObjectFreed(TBaseSceneObject& object)
{
    if (&object != m_targetObject)
        return;
    m_targetObject = nullptr;
    if (!IsLoading())
        MarkTransformStale();
}

void TCamera::SceneChanged(TScene* oldScene)
{
    if (oldScene && oldScene->CurrentCamera() == this)
        oldScene->SetCurrentCamera(nullptr);
}

float TCamera::ViewAngleFor(float dimension) const
{
    if (m_focalLength == 0.0f)
        return 0.0f;
    return 2.0f * std::atan2(dimension * 0.5f, m_focalLength) / cPIdiv180;
}

void TCamera::SetViewAngle(float fov, float dimension)
{
    if (!(fov > 0.0f && fov < 180.0f))
        return;
    SetFocalLength(dimension / (2.0f * std::tan(fov * 0.5f * cPIdiv180)));
}

std::optional<TProjection> TCamera::LoadProjection(const TRectangle& viewport, int width,
                                                   int height, float dpi)
{
    if (width <= 0 || height <= 0)
        return std::nullopt;
    TProjection projection;
    if (m_cameraStyle == TCameraStyle::csOrtho2D) {
        projection.Kind = TProjectionKind::pkOrtho;
        projection.Right = width;
        projection.Top = height;
        projection.Near = -1.0;
        projection.Far = 1.0;
        m_nearPlane = -1.0f;
        return projection;
    }

    const float w = float(width);
    const float h = float(height);
    const float maxDim = height > width ? h : w;
    float fx = m_nearPlaneBias / (w * m_sceneScale);
    float fy = m_nearPlaneBias / (h * m_sceneScale);
    if (m_cameraStyle == TCameraStyle::csOrthogonal) {
        fx *= 100.0f / m_focalLength;
        fy *= 100.0f / m_focalLength;
        projection.Kind = TProjectionKind::pkOrtho;
    }
    const float right = w *
                        ((2.0f * float(viewport.Width) + 2.0f * float(viewport.Left) - w) * fx) /
                        (2.0f * maxDim);
    const float left = -((w - 2.0f * float(viewport.Left)) * fx) * w / (2.0f * maxDim);
    const float top = h * ((2.0f * float(viewport.Height) + 2.0f * float(viewport.Top) - h) * fy) /
                      (2.0f * maxDim);
    const float bottom = -((h - 2.0f * float(viewport.Top)) * fy) * h / (2.0f * maxDim);
    m_nearPlane = m_focalLength * 2.0f * dpi / (25.4f * maxDim) * m_nearPlaneBias;
    const float far = m_nearPlane + m_depthOfView;

    projection.Left = left;
    projection.Right = right;
    projection.Bottom = bottom;
    projection.Top = top;
    projection.Near = m_nearPlane;
    projection.Far = far;
    m_viewPortRadius = std::sqrt(top * top + right * right) / m_nearPlane;
    return projection;
}

TViewTransform TCamera::ViewTransform()
{
    TViewTransform view;
    view.Eye = AbsolutePosition().Affine();
    if (m_targetObject) {
        view.Centre = m_targetObject->AbsolutePosition().Affine();
        view.Up = Up().AsAffineVector();
        m_lastViewDirection = vectorOf(normalized(view.Centre - view.Eye));
        return view;
    }
    TAffineVector direction = Direction().AsAffineVector();
    TAffineVector up = Up().AsAffineVector();
    if (TBaseSceneObject* parent = TransformParent()) {
        direction = transformDirection(direction, parent->AbsoluteMatrix());
        up = transformDirection(up, parent->AbsoluteMatrix());
    }
    view.Centre = view.Eye + direction;
    view.Up = up;
    m_lastViewDirection = vectorOf(normalized(direction));
    return view;
}

void TCamera::OrbitTarget(float pitchDelta, float turnDelta)
{
    OrbitAround(m_targetObject, pitchDelta, turnDelta);
}

} // namespace skyglide
