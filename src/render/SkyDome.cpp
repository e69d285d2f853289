#include "render/SkyDome.h"

#include "render/Camera.h"
#include "render/RenderContextInfo.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace skyglide {

namespace {

float clampAngle(float value)
{
    return std::clamp(value, -90.0f, 90.0f);
}

TVector4f lerp(const TVector4f& a, const TVector4f& b, float t)
{
    return {a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t, a.Z + (b.Z - a.Z) * t,
            a.W + (b.W - a.W) * t};
}

void skyVertex(float elevation, float azimuth)
{
    const float e = elevation * cPIdiv180;
    const float c = std::cos(e);
    glVertex3f(c * std::cos(azimuth), c * std::sin(azimuth), std::sin(e));
}

void drawStack(const TVector4f& c0, const TVector4f& c1, float a0, float a1, int slices)
{
    const float slice = 2.0f * cPI / float(slices);
    if (a0 == -90.0f) {
        glBegin(GL_TRIANGLE_FAN);
        glColor4fv(&c0.X);
        glVertex3f(0, 0, -1);
        glColor4fv(&c1.X);
        for (int j = 0; j <= slices; ++j)
            skyVertex(a1, float(j) * slice);
        glEnd();
    } else if (a1 == 90.0f) {
        glBegin(GL_TRIANGLE_FAN);
        glColor4fv(&c1.X);
        glVertex3f(0, 0, 1);
        glColor4fv(&c0.X);
        for (int j = slices; j >= 0; --j)
            skyVertex(a0, float(j) * slice);
        glEnd();
    } else {
        glBegin(GL_TRIANGLE_STRIP);
        for (int j = 0; j <= slices; ++j) {
            const float azimuth = float(j) * slice;
            glColor4fv(&c0.X);
            skyVertex(a0, azimuth);
            glColor4fv(&c1.X);
            skyVertex(a1, azimuth);
        }
        glEnd();
    }
}

void drawBand(const TSkyDomeBand& band)
{
    if (band.StartAngle() == band.StopAngle())
        return;
    const int stacks = band.Stacks();
    const float span = band.StopAngle() - band.StartAngle();
    for (int i = 0; i < stacks; ++i) {
        const float t0 = float(i) / float(stacks);
        const float t1 = float(i + 1) / float(stacks);
        drawStack(lerp(band.StartColor(), band.StopColor(), t0),
                  lerp(band.StartColor(), band.StopColor(), t1), band.StartAngle() + span * t0,
                  band.StartAngle() + span * t1, band.Slices());
    }
}

} // namespace

// ---- bands ------------------------------------------------------------------------

void TSkyDomeBand::changed()
{
    if (m_changed)
        m_changed();
}

void TSkyDomeBand::SetStartAngle(float value)
{
    m_startAngle = clampAngle(value);
    if (m_startAngle > m_stopAngle)
        m_stopAngle = m_startAngle;
    changed();
}

void TSkyDomeBand::SetStopAngle(float value)
{
    m_stopAngle = clampAngle(value);
    if (m_stopAngle < m_startAngle)
        m_startAngle = m_stopAngle;
    changed();
}

void TSkyDomeBand::SetStartColor(const TVector4f& value)
{
    m_startColor = value;
    changed();
}

void TSkyDomeBand::SetStopColor(const TVector4f& value)
{
    m_stopColor = value;
    changed();
}

void TSkyDomeBand::SetSlices(int value)
{
    m_slices = std::max(value, 3);
    changed();
}

void TSkyDomeBand::SetStacks(int value)
{
    m_stacks = std::max(value, 1);
    changed();
}

TSkyDomeBand& TSkyDomeBands::Add()
{
    m_bands.push_back(std::make_unique<TSkyDomeBand>(m_changed));
    if (m_changed)
        m_changed();
    return *m_bands.back();
}

void TSkyDomeBands::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_bands.erase(m_bands.begin() + index);
    if (m_changed)
        m_changed();
}

void TSkyDomeBands::Clear()
{
    m_bands.clear();
    if (m_changed)
        m_changed();
}

// ---- dome -------------------------------------------------------------------------

TSkyDome::TSkyDome() : m_bands([this] { MarkGeometryStale(); })
{
    SetCamInvarianceMode(TCameraInvarianceMode::cimPosition);
    TObjectStyle style = ObjectStyle();
    style.setFlag(TObjectStyleFlag::ofImmediateGeometry);
    style.setFlag(TObjectStyleFlag::ofNeverCulled);
    SetObjectStyle(style);

    TSkyDomeBand& low = m_bands.Add();
    low.SetStopAngle(15);
    low.SetStartColor({1, 1, 1, 1});
    low.SetStopColor({0, 0, 1, 1});
    TSkyDomeBand& high = m_bands.Add();
    high.SetStopAngle(90);
    high.SetStartAngle(15);
    high.SetStartColor({0, 0, 1, 1});
    high.SetStopColor({0.137255f, 0.137255f, 0.556863f, 1});
    high.SetStacks(4);
}

void TSkyDome::EmitGeometry(TRenderContextInfo& rci)
{
    glPushMatrix();
    glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    glDisable(GL_CULL_FACE);
    // Whatever texture the last object left bound must not tint the sky.
    glDisable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    glPolygonMode(GL_FRONT, GL_FILL);

    float radius = 1.0f;
    if (rci.Camera)
        radius = (rci.Camera->DepthOfView() + rci.Camera->NearPlane()) * 0.9f;
    glScalef(radius, radius, radius);
    for (int i = 0; i < m_bands.Count(); ++i)
        drawBand(m_bands[i]);

    glDepthMask(GL_TRUE);
    glPopAttrib();
    glPopMatrix();
}

} // namespace skyglide
