#include "render/HeightFieldMesh.h"

#include "render/GLStateCache.h"
#include "render/RenderContextInfo.h"

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace skyglide {

// ---- sampling scale ---------------------------------------------------------------

void TSamplingScale::changed()
{
    if (m_changed)
        m_changed();
}

void TSamplingScale::SetMin(float value)
{
    m_min = value;
    if (m_max < m_min)
        m_max = m_min;
    changed();
}

void TSamplingScale::SetMax(float value)
{
    m_max = value;
    if (m_min > m_max)
        m_min = m_max;
    changed();
}

void TSamplingScale::SetOrigin(float value)
{
    m_origin = value;
    changed();
}

void TSamplingScale::SetStep(float value)
{
    m_step = value > 0.0f ? value : 1.0f;
    changed();
}

void TSamplingScale::Assign(const TSamplingScale& source)
{
    m_min = source.m_min;
    m_max = source.m_max;
    m_origin = source.m_origin;
    m_step = source.m_step;
    changed();
}

float TSamplingScale::FirstSample() const
{
    if (m_origin == m_min)
        return m_min;
    const float t = (m_origin - m_min) / m_step;
    const float n = t >= 0.0f ? std::trunc(t) : std::trunc(t) - 1.0f;
    return m_origin - m_step * n;
}

int TSamplingScale::StepCountLimit() const
{
    const float count = (m_max - m_min) / m_step + 0.5f;
    // Ties to even, as the default floating-point rounding mode does.
    const float rounded = std::nearbyint(count);
    if (!(rounded < float(std::numeric_limits<int>::max())))
        return std::numeric_limits<int>::max();
    if (!(rounded > float(std::numeric_limits<int>::min())))
        return std::numeric_limits<int>::min();
    return int(rounded);
}

// ---- height field -----------------------------------------------------------------

namespace {

// The positions first, first + step, … up to and including max, accumulated
// in single precision as the samples are taken. A step too small to move the
// sum any more (first + step == first) ends the run there instead of looping
// for ever.
std::vector<float> samplePositions(float first, float max, float step)
{
    std::vector<float> positions;
    float x = first;
    while (x <= max) {
        positions.push_back(x);
        const float next = x + step;
        if (!(next > x))
            break;
        x = next;
    }
    return positions;
}

void computeNormals(THeightSample* row, const THeightSample* previous, const THeightSample* next,
                    int n, float invXStep, float invYStep)
{
    for (int i = 0; i < n; ++i) {
        const float z = row[i].Z;
        float dx = i > 0 ? (row[i - 1].Z - z) * invXStep : 0.0f;
        if (i < n - 1)
            dx += (z - row[i + 1].Z) * invXStep;
        float dy = previous ? (previous[i].Z - z) * invYStep : 0.0f;
        if (next)
            dy += (z - next[i].Z) * invYStep;
        row[i].Normal = normalized({dx, dy, 1.0f});
    }
}

// Strip between an earlier row a (drawn at y2) and a later row b (at y1).
void emitStrip(THeightFieldSink& sink, const std::vector<float>& xs, const THeightSample* a,
               float y2, const THeightSample* b, float y1)
{
    const std::size_t n = xs.size();
    sink.BeginStrip();
    sink.Vertex(xs[0], y1, b[0]);
    for (std::size_t j = 0; j + 1 < n; ++j) {
        sink.Vertex(xs[j], y2, a[j]);
        sink.Vertex(xs[j + 1], y1, b[j + 1]);
    }
    sink.Vertex(xs[n - 1], y2, a[n - 1]);
    sink.EndStrip();
}

template <bool Colors, bool TexCoords> class TGLMeshSink final : public THeightFieldSink
{
public:
    explicit TGLMeshSink(TTexCoordRoutine texCoord) : m_texCoord(texCoord) {}
    void BeginStrip() override { glBegin(GL_TRIANGLE_STRIP); }
    void Vertex(float x, float y, const THeightSample& sample) override
    {
        glNormal3fv(&sample.Normal.X);
        if constexpr (Colors)
            glColor4fv(&sample.Color.X);
        if constexpr (TexCoords)
            m_texCoord(&sample.TexPoint.S);
        glVertex4f(x, y, sample.Z, 1.0f);
    }
    void EndStrip() override { glEnd(); }

private:
    TTexCoordRoutine m_texCoord;
};

void glTexCoord2fvRoutine(const float* st)
{
    glTexCoord2fv(st);
}

GLenum colorMaterialMode(THeightFieldColorMode mode)
{
    switch (mode) {
    case THeightFieldColorMode::hfcmEmission:
        return GL_EMISSION;
    case THeightFieldColorMode::hfcmAmbient:
        return GL_AMBIENT;
    case THeightFieldColorMode::hfcmDiffuse:
        return GL_DIFFUSE;
    case THeightFieldColorMode::hfcmAmbientAndDiffuse:
    case THeightFieldColorMode::hfcmNone:
        break;
    }
    return GL_AMBIENT_AND_DIFFUSE;
}

GLenum polygonMode(TPolygonMode mode)
{
    switch (mode) {
    case TPolygonMode::pmFill:
        return GL_FILL;
    case TPolygonMode::pmLines:
        return GL_LINE;
    case TPolygonMode::pmPoints:
        return GL_POINT;
    }
    return GL_FILL;
}

class PopAttribOnExit
{
public:
    explicit PopAttribOnExit(bool pushed) : m_pushed(pushed) {}
    ~PopAttribOnExit()
    {
        if (m_pushed)
            glPopAttrib();
    }
    PopAttribOnExit(const PopAttribOnExit&) = delete;
    PopAttribOnExit& operator=(const PopAttribOnExit&) = delete;

private:
    bool m_pushed;
};

} // namespace

THeightField::THeightField()
    : m_xSamplingScale([this] { samplingChanged(); }),
      m_ySamplingScale([this] { samplingChanged(); })
{
    TObjectStyle style = ObjectStyle();
    style.setFlag(TObjectStyleFlag::ofResetGLState);
    SetObjectStyle(style);
}

void THeightField::samplingChanged()
{
    MarkGeometryStale();
    SendChangeNotice();
}

void THeightField::SetOptions(THeightFieldOptions value)
{
    if (value == m_options)
        return;
    m_options = value;
    MarkGeometryStale();
}

void THeightField::SetColorMode(THeightFieldColorMode value)
{
    if (value == m_colorMode)
        return;
    m_colorMode = value;
    MarkGeometryStale();
}

void THeightField::SetOnGetHeight(THeightFieldGetHeightEvent handler)
{
    OnGetHeight = std::move(handler);
    MarkGeometryStale();
}

void THeightField::SetOnGetHeight2(THeightFieldGetHeight2Event handler)
{
    OnGetHeight2 = std::move(handler);
    MarkGeometryStale();
}

void THeightField::Assign(const TBaseSceneObject& source)
{
    if (const auto* other = dynamic_cast<const THeightField*>(&source)) {
        m_xSamplingScale.Assign(other->m_xSamplingScale);
        m_ySamplingScale.Assign(other->m_ySamplingScale);
        SetOnGetHeight(other->OnGetHeight);
        SetOnGetHeight2(other->OnGetHeight2);
        SetOptions(other->m_options);
        SetColorMode(other->m_colorMode);
    }
    TSceneObject::Assign(source);
}

void THeightField::BuildMesh(THeightFieldSink& sink)
{
    const TSamplingScale& xScale = m_xSamplingScale;
    const TSamplingScale& yScale = m_ySamplingScale;
    if (!xScale.HasRange() || !yScale.HasRange())
        return;

    THeightFieldGetHeightEvent height;
    if (OnGetHeight)
        height = OnGetHeight;
    else if (OnGetHeight2)
        height = [this](float x, float y, float& z, TVector4f& color, TTexPoint& texPoint) {
            OnGetHeight2(*this, x, y, z, color, texPoint);
        };
    else
        height = [](float, float, float& z, TVector4f&, TTexPoint&) { z = 0.0f; };

    // Every row takes exactly these x positions, so its storage is sized
    // from what the stepping really produces rather than from an estimate.
    const std::vector<float> xs =
        samplePositions(xScale.FirstSample(), xScale.Max(), xScale.Step());
    const int n = int(xs.size());
    m_emittedTriangles = 0;
    if (n == 0)
        return;

    std::array<std::vector<THeightSample>, 3> rows;
    try {
        for (auto& row : rows)
            row.assign(xs.size(), THeightSample{});
    } catch (const std::bad_alloc&) {
        throw std::length_error("THeightField::BuildMesh(): rows of " + std::to_string(n) +
                                " samples take more memory than there is");
    }

    const float invXStep = 1.0f / xScale.Step();
    const float yStep = yScale.Step();
    const float invYStep = 1.0f / yStep;

    THeightSample* top = nullptr;
    THeightSample* middle = nullptr;
    THeightSample* bottom = nullptr;
    long long k = 0;
    float y = yScale.FirstSample();
    float y1 = y;
    float y2 = y;
    while (y <= yScale.Max()) {
        top = middle;
        middle = bottom;
        bottom = rows[std::size_t(k % 3)].data();

        for (int i = 0; i < n; ++i) {
            THeightSample& sample = bottom[i];
            sample.TexPoint = {xs[std::size_t(i)], y};
            height(xs[std::size_t(i)], y, sample.Z, sample.Color, sample.TexPoint);
        }
        if (middle)
            computeNormals(middle, top, bottom, n, invXStep, invYStep);
        // Rows of a single sample make no triangle: no strip is sent for them.
        if (k > 1 && n > 1)
            emitStrip(sink, xs, top, y2, middle, y1);

        ++k;
        y2 = y1;
        y1 = y;
        const float next = y + yStep;
        if (!(next > y))
            break; // the step no longer moves y: this was the last row
        y = next;
    }

    if (bottom) {
        computeNormals(bottom, middle, nullptr, n, invXStep, invYStep);
        if (middle && n > 1)
            emitStrip(sink, xs, middle, y2, bottom, y1);
    }

    const long long triangles = k > 1 && n > 1 ? 2 * (k - 1) * (n - 1) : 0;
    m_emittedTriangles = triangles > std::numeric_limits<int>::max()
                             ? std::numeric_limits<int>::max()
                             : int(triangles);
}

void THeightField::EmitGeometry(TRenderContextInfo& rci)
{
    if (!m_xSamplingScale.HasRange() || !m_ySamplingScale.HasRange())
        return;
    const bool twoSided = m_options.testFlag(THeightFieldOption::hfoTwoSided);
    const bool colors = m_colorMode != THeightFieldColorMode::hfcmNone;
    const bool pushed = twoSided || colors;
    // The polygon mode is kept with the enables so that a mesh drawn in lines
    // does not leave the objects after it in lines too.
    if (pushed)
        glPushAttrib(twoSided ? GL_ENABLE_BIT | GL_POLYGON_BIT : GL_ENABLE_BIT);
    PopAttribOnExit pop(pushed);
    if (twoSided) {
        glDisable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, polygonMode(Material().FrontProperties().PolygonMode()));
    }
    if (colors) {
        glEnable(GL_COLOR_MATERIAL);
        glColorMaterial(GL_FRONT_AND_BACK, colorMaterialMode(m_colorMode));
        const TGLMaterialColors defaults;
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &defaults.Ambient.X);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &defaults.Diffuse.X);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &defaults.Specular.X);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &defaults.Emission.X);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, defaults.Shininess);
        if (rci.GLStates)
            rci.GLStates->ForgetMaterialColors();
    }

    const TTexCoordRoutine texCoord = rci.TexCoord2fv ? rci.TexCoord2fv : glTexCoord2fvRoutine;
    const bool texCoords = m_options.testFlag(THeightFieldOption::hfoTextureCoordinates);
    if (colors && texCoords) {
        TGLMeshSink<true, true> sink(texCoord);
        BuildMesh(sink);
    } else if (colors) {
        TGLMeshSink<true, false> sink(texCoord);
        BuildMesh(sink);
    } else if (texCoords) {
        TGLMeshSink<false, true> sink(texCoord);
        BuildMesh(sink);
    } else {
        TGLMeshSink<false, false> sink(texCoord);
        BuildMesh(sink);
    }
}

} // namespace skyglide
