#pragma once

#include "render/SceneObject.h"
#include "render/VectorGeometry.h"

#include <functional>
#include <memory>
#include <vector>

namespace skyglide {

/// One latitude band of the sky: colours fading from StartColor at
/// StartAngle to StopColor at StopAngle (degrees of elevation), drawn as
/// Stacks rings of Slices quads each.
class TSkyDomeBand
{
public:
    explicit TSkyDomeBand(std::function<void()> changed) : m_changed(std::move(changed)) {}
    TSkyDomeBand(const TSkyDomeBand&) = delete;
    TSkyDomeBand& operator=(const TSkyDomeBand&) = delete;

    float StartAngle() const { return m_startAngle; }
    /// Clamped to [−90, 90]; StopAngle follows it up when it was below.
    void SetStartAngle(float value);
    float StopAngle() const { return m_stopAngle; }
    /// Clamped to [−90, 90]; StartAngle follows it down when it was above.
    void SetStopAngle(float value);
    const TVector4f& StartColor() const { return m_startColor; }
    void SetStartColor(const TVector4f& value);
    const TVector4f& StopColor() const { return m_stopColor; }
    void SetStopColor(const TVector4f& value);
    int Slices() const { return m_slices; }
    /// At least 3.
    void SetSlices(int value);
    int Stacks() const { return m_stacks; }
    /// At least 1.
    void SetStacks(int value);

private:
    void changed();

    std::function<void()> m_changed;
    float m_startAngle = 0.0f;
    float m_stopAngle = 0.0f;
    TVector4f m_startColor{0, 0, 1, 1};
    TVector4f m_stopColor{0, 0, 1, 1};
    int m_slices = 12;
    int m_stacks = 1;
};

/// The bands of a sky dome, drawn in this order.
class TSkyDomeBands
{
public:
    explicit TSkyDomeBands(std::function<void()> changed) : m_changed(std::move(changed)) {}
    TSkyDomeBands(const TSkyDomeBands&) = delete;
    TSkyDomeBands& operator=(const TSkyDomeBands&) = delete;

    int Count() const { return int(m_bands.size()); }
    TSkyDomeBand& operator[](int index) { return *m_bands.at(std::size_t(index)); }
    const TSkyDomeBand& operator[](int index) const { return *m_bands.at(std::size_t(index)); }
    /// Appends a band with the default settings.
    TSkyDomeBand& Add();
    void Delete(int index);
    void Clear();

private:
    std::function<void()> m_changed;
    std::vector<std::unique_ptr<TSkyDomeBand>> m_bands;
};

/// A sky of coloured latitude bands on a sphere centred on the camera,
/// drawn first, without depth test or depth writes, just inside the far
/// clipping plane: everything else in the scene is seen in front of it, and
/// moving the camera never brings it nearer. Its own +Z axis is the zenith.
///
/// Nothing is drawn below the lowest band; the background shows there.
/// A new dome has two bands: 0° to 15° from white to blue, and 15° to 90° in
/// 4 stacks from blue to (0.137255, 0.137255, 0.556863).
///
/// Stars are not drawn: the viewer's sky has none.
class TSkyDome : public TCameraInvariantObject
{
public:
    TSkyDome();

    TSkyDomeBands& Bands() { return m_bands; }
    const TSkyDomeBands& Bands() const { return m_bands; }

    /// Draws the bands (every frame: the dome has no display list).
    void EmitGeometry(TRenderContextInfo& rci);
    void BuildList(TRenderContextInfo& rci) override { EmitGeometry(rci); }

private:
    TSkyDomeBands m_bands;
};

} // namespace skyglide
