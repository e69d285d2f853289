#pragma once

#include "render/Flags.h"
#include "render/SceneObject.h"
#include "render/VectorGeometry.h"

#include <functional>

namespace skyglide {

class THeightField;

/// The sampling of one axis of a height field's (x, y) domain: samples from
/// FirstSample() every Step up to Max. Every setter notifies the owner, also
/// when the value does not change.
class TSamplingScale
{
public:
    explicit TSamplingScale(std::function<void()> changed) : m_changed(std::move(changed)) {}
    TSamplingScale(const TSamplingScale&) = delete;
    TSamplingScale& operator=(const TSamplingScale&) = delete;

    float Min() const { return m_min; }
    /// Stores value; Max follows it up when it was below.
    void SetMin(float value);
    float Max() const { return m_max; }
    /// Stores value; Min follows it down when it was above.
    void SetMax(float value);
    float Origin() const { return m_origin; }
    void SetOrigin(float value);
    float Step() const { return m_step; }
    /// Stores value when it is above 0, else 1.0 (a step of 0 would never
    /// leave the first sample).
    void SetStep(float value);
    /// Copies Min, Max, Origin and Step of source; one notice.
    void Assign(const TSamplingScale& source);

    /// Max ≠ Min: there is something to sample.
    bool HasRange() const { return m_max != m_min; }
    /// The first sample position: Min when Origin is Min, else the grid point
    /// Origin − Step × n, n = Trunc((Origin − Min) / Step) (one less when
    /// that quotient is negative), in single precision.
    float FirstSample() const;
    /// (Max − Min) / Step + 0.5 rounded to the nearest integer, ties to even
    /// (100.5 gives 100, 101.5 gives 102).
    int StepCountLimit() const;

private:
    void changed();

    std::function<void()> m_changed;
    float m_min = 0.0f;
    float m_max = 0.0f;
    float m_origin = 0.0f;
    float m_step = 0.1f;
};

enum class THeightFieldOption : unsigned {
    /// Each vertex carries the texture coordinate the height callback left.
    hfoTextureCoordinates = 1u << 0,
    /// Both faces are drawn (culling off for the mesh).
    hfoTwoSided = 1u << 1,
};
using THeightFieldOptions = TFlags<THeightFieldOption>;

/// Which material colour the vertex colours of the callback drive (none: the
/// colours are not sent).
enum class THeightFieldColorMode {
    hfcmNone,
    hfcmEmission,
    hfcmAmbient,
    hfcmDiffuse,
    hfcmAmbientAndDiffuse
};

/// One sample of a row: what the height callback gave and the normal
/// computed from the neighbours.
struct THeightSample
{
    TVector4f Color;
    float Z = 0.0f;
    TTexPoint TexPoint;
    TAffineVector Normal;
};

/// (x, y, z, color, texPoint): the height at (x, y) in z; color and texPoint
/// arrive as the mesh preset them (texPoint = (x, y)) and may be changed.
using THeightFieldGetHeightEvent =
    std::function<void(float x, float y, float& z, TVector4f& color, TTexPoint& texPoint)>;
/// The same, with the height field that asks.
using THeightFieldGetHeight2Event = std::function<void(
    THeightField& sender, float x, float y, float& z, TVector4f& color, TTexPoint& texPoint)>;

/// Receives the mesh of THeightField::BuildMesh: one triangle strip per pair
/// of sampled rows, vertices in strip order at (x, y, sample.Z) of the
/// object's own frame.
class THeightFieldSink
{
public:
    virtual void BeginStrip() = 0;
    virtual void Vertex(float x, float y, const THeightSample& sample) = 0;
    virtual void EndStrip() = 0;

protected:
    ~THeightFieldSink() = default;
};

/// A lit, optionally textured mesh sampled from a height callback over a
/// rectangle of the (x, y) plane, heights along the object's z axis.
///
/// The mesh is built once into the object's display list by the render pass
/// and replayed every frame; a change of the sampling, the options, the
/// colour mode or the callback marks it for a rebuild. Changes of Position,
/// Direction, Up and Scale only move it.
///
/// Only three rows of samples are held while building, whatever the mesh
/// size, and each row takes exactly the samples the single-precision
/// stepping produces.
class THeightField : public TSceneObject
{
public:
    THeightField();

    TSamplingScale& XSamplingScale() { return m_xSamplingScale; }
    const TSamplingScale& XSamplingScale() const { return m_xSamplingScale; }
    void SetXSamplingScale(const TSamplingScale& value) { m_xSamplingScale.Assign(value); }
    TSamplingScale& YSamplingScale() { return m_ySamplingScale; }
    const TSamplingScale& YSamplingScale() const { return m_ySamplingScale; }
    void SetYSamplingScale(const TSamplingScale& value) { m_ySamplingScale.Assign(value); }

    THeightFieldOptions Options() const { return m_options; }
    /// Rebuilds the mesh only when the value differs.
    void SetOptions(THeightFieldOptions value);
    THeightFieldColorMode ColorMode() const { return m_colorMode; }
    void SetColorMode(THeightFieldColorMode value);

    /// Triangles of the last build (unchanged by a build that had no range).
    int EmittedTriangles() const { return m_emittedTriangles; }

    /// The height callback. Assigning the member directly takes effect at the
    /// next rebuild; SetOnGetHeight also asks for one.
    THeightFieldGetHeightEvent OnGetHeight;
    /// Used when OnGetHeight is empty.
    THeightFieldGetHeight2Event OnGetHeight2;
    /// Stores the callback and marks the mesh for a rebuild, always.
    void SetOnGetHeight(THeightFieldGetHeightEvent handler);
    void SetOnGetHeight2(THeightFieldGetHeight2Event handler);

    /// Samples the callback and hands the mesh to sink, without any GL call.
    /// Nothing happens (EmittedTriangles unchanged) when either axis has no
    /// range. An exception of the callback ends the build and passes on.
    void BuildMesh(THeightFieldSink& sink);

    /// Builds the mesh with immediate-mode GL calls (the render pass calls it
    /// while it compiles the display list): two-sided faces in the material's
    /// polygon mode, the colour material of ColorMode, then BuildMesh.
    void EmitGeometry(TRenderContextInfo& rci);
    void BuildList(TRenderContextInfo& rci) override { EmitGeometry(rci); }

    /// From another height field: both samplings, both callbacks, Options and
    /// ColorMode, then what every scene object copies.
    void Assign(const TBaseSceneObject& source) override;

private:
    void samplingChanged();

    TSamplingScale m_xSamplingScale;
    TSamplingScale m_ySamplingScale;
    THeightFieldOptions m_options = THeightFieldOption::hfoTwoSided;
    int m_emittedTriangles = 0;
    THeightFieldColorMode m_colorMode = THeightFieldColorMode::hfcmNone;
};

} // namespace skyglide
