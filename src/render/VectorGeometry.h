#pragma once

// Small single-precision vector and matrix types of the scene graph.
//
// Matrices hold basis vectors in their rows and points are row vectors
// multiplied from the left (p' = p × M), so a child's absolute matrix is
// local × parent absolute. Stored row by row, a TMatrix4f is exactly the
// column-major array that glLoadMatrixf and glMultMatrixf expect: pass Data().

namespace skyglide {

/// Degrees to radians in single precision (the single nearest to π/180).
inline constexpr float cPIdiv180 = 0.0174532924f;
/// π in single precision.
inline constexpr float cPI = 3.14159265f;

/// Three singles: a direction or a point without its homogeneous W.
struct TAffineVector
{
    float X = 0.0f;
    float Y = 0.0f;
    float Z = 0.0f;

    friend bool operator==(const TAffineVector&, const TAffineVector&) = default;
};

/// Four singles: a homogeneous point or vector (W = 1 or 0), or a colour as
/// red, green, blue and alpha in 0 to 1.
struct TVector4f
{
    float X = 0.0f;
    float Y = 0.0f;
    float Z = 0.0f;
    float W = 0.0f;

    float operator[](int index) const;
    float& operator[](int index);
    TAffineVector Affine() const { return {X, Y, Z}; }

    friend bool operator==(const TVector4f&, const TVector4f&) = default;
};

/// A texture coordinate pair: S across the image, T up it (T = 1 at the
/// image's top row).
struct TTexPoint
{
    float S = 0.0f;
    float T = 0.0f;

    friend bool operator==(const TTexPoint&, const TTexPoint&) = default;
};

/// A point (W = 1) from an affine vector.
constexpr TVector4f pointOf(const TAffineVector& v)
{
    return {v.X, v.Y, v.Z, 1.0f};
}

/// A vector (W = 0) from an affine vector.
constexpr TVector4f vectorOf(const TAffineVector& v)
{
    return {v.X, v.Y, v.Z, 0.0f};
}

/// A 4 × 4 matrix of singles, rows first.
struct TMatrix4f
{
    float M[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    TVector4f Row(int i) const { return {M[i][0], M[i][1], M[i][2], M[i][3]}; }
    void SetRow(int i, const TVector4f& v);
    /// The 16 singles in the order OpenGL's matrix calls read them.
    const float* Data() const { return &M[0][0]; }

    static TMatrix4f Identity() { return {}; }

    friend bool operator==(const TMatrix4f&, const TMatrix4f&) = default;
};

TAffineVector operator+(const TAffineVector& a, const TAffineVector& b);
TAffineVector operator-(const TAffineVector& a, const TAffineVector& b);
TAffineVector operator*(const TAffineVector& v, float f);
TAffineVector operator-(const TAffineVector& v);

float dotProduct(const TAffineVector& a, const TAffineVector& b);
/// Right-handed: a × b = (a.y b.z − a.z b.y, a.z b.x − a.x b.z, a.x b.y − a.y b.x).
TAffineVector crossProduct(const TAffineVector& a, const TAffineVector& b);
float vectorLength(const TAffineVector& v);
/// v scaled to unit length. A zero vector (or one whose length is not finite)
/// is returned unchanged rather than turned into NaNs.
TAffineVector normalized(const TAffineVector& v);

/// v rotated about axis by θ radians: v·c + (v × a)·s + a·(a · v)·(1 − c)
/// with a = axis normalised. That is a rotation by −θ in the right-handed
/// sense: about (0, 1, 0), θ = 90° takes (0, 0, 1) to (−1, 0, 0).
TAffineVector RotateAboutAxis(const TAffineVector& v, const TAffineVector& axis, float theta);

/// a × b (apply a first, then b).
TMatrix4f matrixMultiply(const TMatrix4f& a, const TMatrix4f& b);
/// The point p (W = 1) carried through m.
TAffineVector transformPoint(const TAffineVector& p, const TMatrix4f& m);
/// The homogeneous vector v carried through m (the translation row counts with v.W).
TVector4f transformVector(const TVector4f& v, const TMatrix4f& m);
/// The direction d (W = 0) carried through m: translation does not apply.
TAffineVector transformDirection(const TAffineVector& d, const TMatrix4f& m);
/// The inverse of m, or the identity when m is singular (a zero scale).
TMatrix4f invertMatrix(const TMatrix4f& m);

} // namespace skyglide
