#include "render/Coordinates.h"

namespace skyglide {

TCoordinates::TCoordinates(TCoordinatesOwner* owner, const TVector4f& value,
                           TCoordinatesStyle style)
    : m_owner(owner), m_value(value), m_style(style)
{
}

void TCoordinates::SetComponent(int index, float value)
{
    if (index < 0 || index > 3)
        return;
    m_value[index] = value;
    notifyOwner();
}

void TCoordinates::SetAsVector(const TVector4f& value)
{
    m_value = {value.X, value.Y, value.Z, m_style == TCoordinatesStyle::csPoint ? 1.0f : 0.0f};
    notifyOwner();
}

void TCoordinates::SetAsAffineVector(const TAffineVector& value)
{
    SetAsVector(vectorOf(value));
}

void TCoordinates::Assign(const TCoordinates& other)
{
    m_value = other.m_value;
    notifyOwner();
}

void TCoordinates::notifyOwner()
{
    if (m_owner)
        m_owner->CoordinateChanged(*this);
}

} // namespace skyglide
