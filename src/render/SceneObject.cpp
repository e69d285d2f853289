#include "render/SceneObject.h"

#include "render/Scene.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace skyglide {

namespace {

constexpr TVector4f cDefaultPosition{0, 0, 0, 1};
constexpr TVector4f cDefaultDirection{0, 0, 1, 0};
constexpr TVector4f cDefaultUp{0, 1, 0, 0};
constexpr TVector4f cDefaultScale{1, 1, 1, 0};
constexpr TVector4f cNullVector{0, 0, 0, 0};

// Right-hand side vector of an orientation. Direction and Up may be parallel
// (someone set one onto the other); then a fixed axis stands in for the
// direction so that the object still gets a well-defined frame.
TAffineVector rightOf(const TAffineVector& direction, const TAffineVector& up)
{
    TAffineVector right = crossProduct(direction, up);
    if (vectorLength(right) < 1e-5f) {
        right = crossProduct({0, 0, 1}, up);
        if (vectorLength(right) < 1e-5f)
            right = crossProduct({1, 0, 0}, up);
    }
    return right;
}

// A vector that can be normalised: finite and not of length zero.
bool usable(const TAffineVector& v)
{
    const float length = vectorLength(v);
    return length != 0.0f && std::isfinite(length);
}

// Heading of a direction in degrees, in the sense of Turn: 0 along +Z,
// 90 along −X.
float turnAngleOf(const TAffineVector& direction)
{
    return std::atan2(-direction.X, direction.Z) / cPIdiv180;
}

class CalculatingGuard
{
public:
    explicit CalculatingGuard(bool& flag) : m_flag(flag), m_previous(flag) { m_flag = true; }
    ~CalculatingGuard() { m_flag = m_previous; }
    CalculatingGuard(const CalculatingGuard&) = delete;
    CalculatingGuard& operator=(const CalculatingGuard&) = delete;

private:
    bool& m_flag;
    bool m_previous;
};

} // namespace

TBaseSceneObject::TBaseSceneObject()
    : m_position(this, cDefaultPosition, TCoordinatesStyle::csPoint),
      m_direction(this, cDefaultDirection, TCoordinatesStyle::csVector),
      m_up(this, cDefaultUp, TCoordinatesStyle::csVector),
      m_scale(this, cDefaultScale, TCoordinatesStyle::csVector),
      m_rotation(this, cNullVector, TCoordinatesStyle::csVector)
{
}

TBaseSceneObject::~TBaseSceneObject()
{
    // Whoever points at this object forgets it first, while the subtree is
    // still whole; a listener may unregister others, so each is checked again.
    const auto listeners = m_freeNotifies;
    for (TFreeNotificationListener* listener : listeners) {
        if (std::find(m_freeNotifies.begin(), m_freeNotifies.end(), listener) !=
            m_freeNotifies.end())
            listener->ObjectFreed(*this);
    }
    m_freeNotifies.clear();
    while (!m_children.empty()) {
        std::unique_ptr<TBaseSceneObject> child = std::move(m_children.back());
        m_children.pop_back();
        child->m_parent = nullptr;
    }
}

// ---- tree ---------------------------------------------------------------------

int TBaseSceneObject::IndexOf(const TBaseSceneObject* child) const
{
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        if (m_children[i].get() == child)
            return int(i);
    }
    return -1;
}

void TBaseSceneObject::checkNewChild(const TBaseSceneObject* child) const
{
    if (!child)
        throw std::invalid_argument("TBaseSceneObject::AddChild(): no object given");
    for (const TBaseSceneObject* node = this; node; node = node->m_parent) {
        if (node == child)
            throw std::invalid_argument(
                "TBaseSceneObject::AddChild(): an object cannot become its own descendant");
    }
}

void TBaseSceneObject::adoptChild(std::unique_ptr<TBaseSceneObject> child)
{
    TBaseSceneObject& added = *child;
    child->m_parent = this;
    m_children.push_back(std::move(child));
    added.markAbsoluteStale();
    added.setScene(m_scene);
    SendChangeNotice();
}

std::unique_ptr<TBaseSceneObject> TBaseSceneObject::TakeChild(TBaseSceneObject& child)
{
    const int index = IndexOf(&child);
    if (index < 0)
        return nullptr;
    std::unique_ptr<TBaseSceneObject> taken = std::move(m_children[std::size_t(index)]);
    m_children.erase(m_children.begin() + index);
    taken->m_parent = nullptr;
    taken->markAbsoluteStale();
    taken->setScene(nullptr);
    SendChangeNotice();
    return taken;
}

void TBaseSceneObject::DeleteChild(TBaseSceneObject& child)
{
    std::unique_ptr<TBaseSceneObject> taken = TakeChild(child);
    taken.reset();
}

void TBaseSceneObject::DeleteChildren()
{
    BeginUpdate();
    while (!m_children.empty())
        DeleteChild(*m_children.back());
    EndUpdate();
}

void TBaseSceneObject::setScene(TScene* scene)
{
    if (m_scene != scene) {
        TScene* old = m_scene;
        m_scene = scene;
        SceneChanged(old);
    }
    for (auto& child : m_children)
        child->setScene(scene);
}

void TBaseSceneObject::SceneChanged(TScene*) {}

TBaseSceneObject* TBaseSceneObject::TransformParent() const
{
    return m_parent && !m_parent->m_isSceneRoot ? m_parent : nullptr;
}

// ---- coordinates ----------------------------------------------------------------

void TBaseSceneObject::CoordinateChanged(TCoordinates& sender)
{
    HandleCoordinateNotice(sender);
}

void TBaseSceneObject::HandleCoordinateNotice(TCoordinates& sender)
{
    if (m_calculating)
        return;
    CalculatingGuard guard(m_calculating);
    if (&sender == &m_direction) {
        TAffineVector direction = m_direction.AsAffineVector();
        if (!usable(direction))
            direction = cDefaultDirection.Affine();
        direction = normalized(direction);
        m_direction.SetDirect(vectorOf(direction));
        const TAffineVector right = rightOf(direction, m_up.AsAffineVector());
        m_up.SetDirect(vectorOf(normalized(crossProduct(right, direction))));
    } else if (&sender == &m_up) {
        TAffineVector up = m_up.AsAffineVector();
        if (!usable(up))
            up = cDefaultUp.Affine();
        up = normalized(up);
        m_up.SetDirect(vectorOf(up));
        const TAffineVector right = rightOf(m_direction.AsAffineVector(), up);
        m_direction.SetDirect(vectorOf(normalized(crossProduct(up, right))));
    } else if (&sender == &m_rotation) {
        reorientFromRotation();
    }
    MarkTransformStale();
}

void TBaseSceneObject::reorientFromRotation()
{
    const TAffineVector xAxis{1, 0, 0};
    const TAffineVector yAxis{0, 1, 0};
    TAffineVector direction{0, 0, 1};
    TAffineVector up{0, 1, 0};
    up = RotateAboutAxis(up, direction, m_rotation.Z() * cPIdiv180);
    direction = RotateAboutAxis(direction, xAxis, m_rotation.X() * cPIdiv180);
    up = RotateAboutAxis(up, xAxis, m_rotation.X() * cPIdiv180);
    direction = RotateAboutAxis(direction, yAxis, m_rotation.Y() * cPIdiv180);
    up = RotateAboutAxis(up, yAxis, m_rotation.Y() * cPIdiv180);
    m_direction.SetDirect(vectorOf(normalized(direction)));
    m_up.SetDirect(vectorOf(normalized(up)));
}

// ---- movement -------------------------------------------------------------------

void TBaseSceneObject::Move(float distance)
{
    const TVector4f& p = m_position.AsVector();
    const TVector4f& d = m_direction.AsVector();
    m_position.SetDirect(
        {p.X + d.X * distance, p.Y + d.Y * distance, p.Z + d.Z * distance, p.W + d.W * distance});
    MarkTransformStale();
}

void TBaseSceneObject::Turn(float angle)
{
    {
        CalculatingGuard guard(m_calculating);
        const float theta = angle * cPIdiv180;
        const TAffineVector axis = m_up.AsAffineVector();
        const TAffineVector up = normalized(RotateAboutAxis(m_up.AsAffineVector(), axis, theta));
        const TAffineVector direction =
            normalized(RotateAboutAxis(m_direction.AsAffineVector(), axis, theta));
        m_up.SetDirect(vectorOf(up));
        m_direction.SetDirect(vectorOf(direction));
        TVector4f rotation = m_rotation.AsVector();
        rotation.Y = turnAngleOf(direction);
        m_rotation.SetDirect(rotation);
    }
    MarkTransformStale();
}

void TBaseSceneObject::OrbitAround(TBaseSceneObject* anObject, float pitchDelta, float turnDelta)
{
    if (!anObject)
        return;
    const TAffineVector position = AbsolutePosition().Affine();
    const TAffineVector t2c = position - anObject->AbsolutePosition().Affine();
    const float length = vectorLength(t2c);
    const TAffineVector n = normalized(t2c);
    const TAffineVector up = AbsoluteUp().Affine();
    TAffineVector axis = crossProduct(up, n);
    if (vectorLength(axis) < 0.001f)
        axis = {1, 0, 0};
    else
        axis = normalized(axis);
    // Rounding can push the cosine of unit vectors a hair past ±1.
    float pitch = std::acos(std::clamp(dotProduct(up, n), -1.0f, 1.0f));
    pitch = std::clamp(pitch + pitchDelta * cPIdiv180, 0.025f, 3.1165926f);
    TAffineVector v = up;
    v = RotateAboutAxis(v, axis, -pitch);
    v = RotateAboutAxis(v, up, -turnDelta * cPIdiv180);
    v = v * length;
    SetAbsolutePosition(position + (v - t2c));
}

// ---- matrices -------------------------------------------------------------------

const TMatrix4f& TBaseSceneObject::LocalMatrix()
{
    if (m_transformStale) {
        const TAffineVector up = m_up.AsAffineVector();
        const TAffineVector direction = m_direction.AsAffineVector();
        const TVector4f& scale = m_scale.AsVector();
        const TVector4f& position = m_position.AsVector();
        m_localMatrix.SetRow(0, vectorOf(crossProduct(up, direction) * scale.X));
        m_localMatrix.SetRow(1, vectorOf(up * scale.Y));
        m_localMatrix.SetRow(2, vectorOf(direction * scale.Z));
        m_localMatrix.SetRow(3, {position.X, position.Y, position.Z, 1.0f});
        m_transformStale = false;
        m_absoluteStale = true;
        m_invAbsoluteStale = true;
    }
    return m_localMatrix;
}

const TMatrix4f& TBaseSceneObject::AbsoluteMatrix()
{
    const TMatrix4f& local = LocalMatrix();
    if (m_absoluteStale) {
        if (TBaseSceneObject* parent = TransformParent())
            m_absoluteMatrix = matrixMultiply(local, parent->AbsoluteMatrix());
        else
            m_absoluteMatrix = local;
        m_absoluteStale = false;
    }
    return m_absoluteMatrix;
}

const TMatrix4f& TBaseSceneObject::InvAbsoluteMatrix()
{
    const TMatrix4f& absolute = AbsoluteMatrix();
    if (m_invAbsoluteStale) {
        m_invAbsoluteMatrix = invertMatrix(absolute);
        m_invAbsoluteStale = false;
    }
    return m_invAbsoluteMatrix;
}

TVector4f TBaseSceneObject::AbsolutePosition()
{
    return AbsoluteMatrix().Row(3);
}

void TBaseSceneObject::SetAbsolutePosition(const TAffineVector& point)
{
    if (TBaseSceneObject* parent = TransformParent())
        m_position.SetAsAffineVector(transformPoint(point, parent->InvAbsoluteMatrix()));
    else
        m_position.SetAsAffineVector(point);
}

TVector4f TBaseSceneObject::AbsoluteUp()
{
    return vectorOf(normalized(AbsoluteMatrix().Row(1).Affine()));
}

TVector4f TBaseSceneObject::AbsoluteDirection()
{
    return vectorOf(normalized(AbsoluteMatrix().Row(2).Affine()));
}

void TBaseSceneObject::markAbsoluteStale()
{
    m_absoluteStale = true;
    m_invAbsoluteStale = true;
    for (auto& child : m_children)
        child->markAbsoluteStale();
}

// ---- change notices ---------------------------------------------------------------

void TBaseSceneObject::MarkTransformStale()
{
    if (m_transformStale)
        return;
    m_transformStale = true;
    markAbsoluteStale();
    if (!IsLoading())
        SendChangeNotice();
}

void TBaseSceneObject::MarkGeometryStale()
{
    // Immediate geometry is emitted afresh every frame, so no list compile ever
    // clears the mark: each change of such an object must get its repaint.
    if (m_structureStale && !m_objectStyle.testFlag(TObjectStyleFlag::ofImmediateGeometry))
        return;
    m_structureStale = true;
    if (!IsLoading())
        SendChangeNotice();
}

void TBaseSceneObject::SendChangeNotice()
{
    if (m_updateCount > 0)
        return;
    if (m_scene)
        m_scene->NotifyChange(this);
}

void TBaseSceneObject::BeginUpdate()
{
    ++m_updateCount;
}

void TBaseSceneObject::EndUpdate()
{
    // An unbalanced end is ignored rather than leaving the count negative,
    // which would let notices through inside a later bracket.
    if (m_updateCount == 0)
        return;
    if (--m_updateCount == 0)
        SendChangeNotice();
}

bool TBaseSceneObject::IsLoading() const
{
    return m_scene && m_scene->IsLoading();
}

// ---- appearance -------------------------------------------------------------------

void TBaseSceneObject::SetVisible(bool value)
{
    if (value == m_visible)
        return;
    m_visible = value;
    SendChangeNotice();
}

void TBaseSceneObject::SetShowAxes(bool value)
{
    if (value == m_showAxes)
        return;
    m_showAxes = value;
    SendChangeNotice();
}

void TBaseSceneObject::SetObjectsSorting(TObjectsSorting value)
{
    if (value == m_objectsSorting)
        return;
    m_objectsSorting = value;
    SendChangeNotice();
}

void TBaseSceneObject::SetVisibilityCulling(TVisibilityCulling value)
{
    if (value == m_visibilityCulling)
        return;
    m_visibilityCulling = value;
    SendChangeNotice();
}

void TBaseSceneObject::BuildList(TRenderContextInfo&) {}

// ---- progress ---------------------------------------------------------------------

void TBaseSceneObject::DoProgress(double deltaTime, double newTime)
{
    // A handler may delete children while the step runs: the index is checked
    // against the current count at every turn.
    for (int i = Count() - 1; i >= 0; --i) {
        if (i < Count())
            m_children[std::size_t(i)]->DoProgress(deltaTime, newTime);
    }
    if (OnProgress)
        OnProgress(*this, deltaTime, newTime);
}

// ---- destruction notices ------------------------------------------------------------

void TBaseSceneObject::AddFreeNotification(TFreeNotificationListener* listener)
{
    if (listener &&
        std::find(m_freeNotifies.begin(), m_freeNotifies.end(), listener) == m_freeNotifies.end())
        m_freeNotifies.push_back(listener);
}

void TBaseSceneObject::RemoveFreeNotification(TFreeNotificationListener* listener)
{
    std::erase(m_freeNotifies, listener);
}

void TBaseSceneObject::Assign(const TBaseSceneObject& source)
{
    if (&source == this)
        return;
    BeginUpdate();
    m_position.SetDirect(source.m_position.AsVector());
    m_direction.SetDirect(source.m_direction.AsVector());
    m_up.SetDirect(source.m_up.AsVector());
    m_scale.SetDirect(source.m_scale.AsVector());
    m_rotation.SetDirect(source.m_rotation.AsVector());
    m_visible = source.m_visible;
    m_showAxes = source.m_showAxes;
    m_objectsSorting = source.m_objectsSorting;
    m_visibilityCulling = source.m_visibilityCulling;
    OnProgress = source.OnProgress;
    MarkTransformStale();
    EndUpdate();
}

// ---- descendants ----------------------------------------------------------------------

TCustomSceneObject::TCustomSceneObject() : m_material([this] { SendChangeNotice(); }) {}

void TCameraInvariantObject::SetCamInvarianceMode(TCameraInvarianceMode value)
{
    if (value == m_camInvarianceMode)
        return;
    m_camInvarianceMode = value;
    SendChangeNotice();
}

} // namespace skyglide
