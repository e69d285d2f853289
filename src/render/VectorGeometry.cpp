#include "render/VectorGeometry.h"

#include <cmath>

namespace skyglide {

namespace {

/// Component `index` of `v` (3 and beyond give W), writable when `v` is.
template <class Vector> auto& component(Vector& v, int index)
{
    switch (index) {
    case 0:
        return v.X;
    case 1:
        return v.Y;
    case 2:
        return v.Z;
    default:
        return v.W;
    }
}

} // namespace

float TVector4f::operator[](int index) const
{
    return component(*this, index);
}

float& TVector4f::operator[](int index)
{
    return component(*this, index);
}

void TMatrix4f::SetRow(int i, const TVector4f& v)
{
    M[i][0] = v.X;
    M[i][1] = v.Y;
    M[i][2] = v.Z;
    M[i][3] = v.W;
}

TAffineVector operator+(const TAffineVector& a, const TAffineVector& b)
{
    return {a.X + b.X, a.Y + b.Y, a.Z + b.Z};
}

TAffineVector operator-(const TAffineVector& a, const TAffineVector& b)
{
    return {a.X - b.X, a.Y - b.Y, a.Z - b.Z};
}

TAffineVector operator*(const TAffineVector& v, float f)
{
    return {v.X * f, v.Y * f, v.Z * f};
}

TAffineVector operator-(const TAffineVector& v)
{
    return {-v.X, -v.Y, -v.Z};
}

float dotProduct(const TAffineVector& a, const TAffineVector& b)
{
    return a.X * b.X + a.Y * b.Y + a.Z * b.Z;
}

TAffineVector crossProduct(const TAffineVector& a, const TAffineVector& b)
{
    return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}

float vectorLength(const TAffineVector& v)
{
    return std::sqrt(dotProduct(v, v));
}

TAffineVector normalized(const TAffineVector& v)
{
    const float length = vectorLength(v);
    if (length == 0.0f || !std::isfinite(length))
        return v;
    const float inverse = 1.0f / length;
    return v * inverse;
}

TAffineVector RotateAboutAxis(const TAffineVector& v, const TAffineVector& axis, float theta)
{
    const TAffineVector a = normalized(axis);
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    return v * c + crossProduct(v, a) * s + a * (dotProduct(a, v) * (1.0f - c));
}

TMatrix4f matrixMultiply(const TMatrix4f& a, const TMatrix4f& b)
{
    TMatrix4f r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.M[i][j] = a.M[i][0] * b.M[0][j] + a.M[i][1] * b.M[1][j] + a.M[i][2] * b.M[2][j] +
                        a.M[i][3] * b.M[3][j];
        }
    }
    return r;
}

TVector4f transformVector(const TVector4f& v, const TMatrix4f& m)
{
    TVector4f r;
    for (int j = 0; j < 4; ++j)
        r[j] = v.X * m.M[0][j] + v.Y * m.M[1][j] + v.Z * m.M[2][j] + v.W * m.M[3][j];
    return r;
}

TAffineVector transformPoint(const TAffineVector& p, const TMatrix4f& m)
{
    return transformVector(pointOf(p), m).Affine();
}

TAffineVector transformDirection(const TAffineVector& d, const TMatrix4f& m)
{
    return transformVector(vectorOf(d), m).Affine();
}

TMatrix4f invertMatrix(const TMatrix4f& m)
{
    // Cofactor expansion; the matrices here are small and few, so clarity wins.
    const float* a = m.Data();
    float inv[16];
    inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] +
             a[9] * a[7] * a[14] + a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] -
             a[8] * a[7] * a[14] - a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] +
             a[8] * a[7] * a[13] + a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] -
              a[8] * a[6] * a[13] - a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] -
             a[9] * a[3] * a[14] - a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] +
             a[8] * a[3] * a[14] + a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] -
             a[8] * a[3] * a[13] - a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] +
              a[8] * a[2] * a[13] + a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
             a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] -
             a[4] * a[3] * a[14] - a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] +
              a[4] * a[3] * a[13] + a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] -
              a[4] * a[2] * a[13] - a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] -
             a[5] * a[3] * a[10] - a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
             a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
              a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
              a[8] * a[1] * a[6] - a[8] * a[2] * a[5];

    const float det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
    if (det == 0.0f || !std::isfinite(det))
        return TMatrix4f::Identity();
    const float invDet = 1.0f / det;
    TMatrix4f r;
    for (int i = 0; i < 16; ++i)
        r.M[i / 4][i % 4] = inv[i] * invDet;
    return r;
}

} // namespace skyglide
