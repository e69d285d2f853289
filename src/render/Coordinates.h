#pragma once

#include "render/VectorGeometry.h"

namespace skyglide {

class TCoordinates;

/// Whoever a TCoordinates record reports its changes to. Scene objects answer
/// with HandleCoordinateNotice; other owners send their own change notice.
class TCoordinatesOwner
{
public:
    virtual void CoordinateChanged(TCoordinates& sender) = 0;

protected:
    ~TCoordinatesOwner() = default;
};

/// Point records force W = 1 when assigned as a whole, vector records W = 0.
enum class TCoordinatesStyle { csPoint, csVector };

/// Four singles X, Y, Z, W that notify their owner whenever they are set.
///
/// Every setter sends exactly one notice, whether or not the value changed:
/// SetX, SetY and SetZ one each, a whole-vector assignment one in all. A
/// record belongs to one owner for its whole life and is neither copied nor
/// moved (Assign copies the value).
class TCoordinates
{
public:
    TCoordinates(TCoordinatesOwner* owner, const TVector4f& value, TCoordinatesStyle style);
    TCoordinates(const TCoordinates&) = delete;
    TCoordinates& operator=(const TCoordinates&) = delete;

    float X() const { return m_value.X; }
    float Y() const { return m_value.Y; }
    float Z() const { return m_value.Z; }
    float W() const { return m_value.W; }
    void SetX(float value) { SetComponent(0, value); }
    void SetY(float value) { SetComponent(1, value); }
    void SetZ(float value) { SetComponent(2, value); }
    void SetW(float value) { SetComponent(3, value); }
    /// Stores one component (0 = X … 3 = W) and notifies the owner.
    void SetComponent(int index, float value);

    TCoordinatesStyle Style() const { return m_style; }

    const TVector4f& AsVector() const { return m_value; }
    /// Stores X, Y and Z of value, W forced by the style; one notice.
    void SetAsVector(const TVector4f& value);
    TAffineVector AsAffineVector() const { return m_value.Affine(); }
    /// Stores X, Y and Z, W forced by the style; one notice.
    void SetAsAffineVector(const TAffineVector& value);
    /// Copies the other record's value as it is (W included); one notice.
    void Assign(const TCoordinates& other);

    /// Stores a value without any notice. For the owner's own re-computations
    /// (normalising Direction, re-deriving Up), which must not re-enter it.
    void SetDirect(const TVector4f& value) { m_value = value; }

private:
    void notifyOwner();

    TCoordinatesOwner* m_owner;
    TVector4f m_value;
    TCoordinatesStyle m_style;
};

} // namespace skyglide
