// The height-field mesh without a GL context: what the sampling produces,
// the normals, the strips and the rebuild marks.

#include "render/HeightFieldMesh.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace skyglide;

namespace {

// Records the mesh as the GL calls would receive it.
struct RecordingSink : THeightFieldSink
{
    struct Vertex
    {
        float X, Y;
        THeightSample Sample;
    };
    std::vector<std::vector<Vertex>> strips;
    bool open = false;

    void BeginStrip() override
    {
        EXPECT_FALSE(open) << "a strip began inside another";
        open = true;
        strips.emplace_back();
    }
    void Vertex(float x, float y, const THeightSample& sample) override
    {
        EXPECT_TRUE(open) << "a vertex outside a strip";
        strips.back().push_back({x, y, sample});
    }
    void EndStrip() override
    {
        EXPECT_TRUE(open);
        open = false;
    }
};

void setSampling(THeightField& field, float xMax, float xStep, float yMax, float yStep)
{
    field.XSamplingScale().SetMax(xMax);
    field.XSamplingScale().SetStep(xStep);
    field.YSamplingScale().SetMax(yMax);
    field.YSamplingScale().SetStep(yStep);
}

// ---- mesh shape -------------------------------------------------------------------

TEST(HeightFieldMesh, TakesEverySampleTheSteppingProduces)
{
    const struct
    {
        const char* name;
        float xMin, xMax, xStep, yMax, yStep;
        int rowSamples; ///< vertices per strip / 2
        int rows;       ///< rows of samples taken
        int triangles;
        float lastX; ///< last x of a row
    } rows[] = {
        // clang-format off
        // 100.5 rounds to 100, yet the accumulated x stays ≤ 1 for 101 samples.
        {"hundredths give 101 samples", 0, 1, 0.01f, 1, 0.01f, 101, 101, 20000, 0.99999934f},
        // The 31st accumulated x is 1.0000004: one step short of the end.
        {"thirtieths stop one step short", 0, 1, 10.0f / 300.0f, 1, 10.0f / 300.0f, 30, 30, 2 * 29 * 29, 0.966667056f},
        {"a power-of-two step ends exactly on Max", 0, 1, 1.0f / 512, 1.0f / 256, 1.0f / 512, 513, 3, 2 * 2 * 512, 1.0f},
        {"one row draws nothing", 0, 1, 0.25f, 0.1f, 0.25f, 5, 1, 0, 0},
        {"one column draws nothing", 0, 0.1f, 0.25f, 1, 0.25f, 1, 5, 0, 0},
        // From 1.0 on, adding 1e-8 no longer changes a single: the row ends
        // there instead of looping for ever.
        {"a step too small to move the sum", 1, 2, 1e-8f, 1, 0.5f, 1, 3, 0, 0},
        // clang-format on
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(c.name);
        THeightField field;
        setSampling(field, c.xMax, c.xStep, c.yMax, c.yStep);
        field.XSamplingScale().SetMin(c.xMin);
        int calls = 0;
        field.OnGetHeight = [&](float, float, float& z, TVector4f&, TTexPoint&) {
            ++calls;
            z = 0;
        };
        RecordingSink sink;
        field.BuildMesh(sink);
        EXPECT_EQ(field.EmittedTriangles(), c.triangles);
        EXPECT_EQ(calls, c.rowSamples * c.rows);
        ASSERT_EQ(int(sink.strips.size()), c.rows > 1 && c.rowSamples > 1 ? c.rows - 1 : 0);
        for (const auto& strip : sink.strips)
            ASSERT_EQ(int(strip.size()), 2 * c.rowSamples);
        if (!sink.strips.empty()) {
            EXPECT_EQ(sink.strips[0].back().X, c.lastX);
        }
    }
}

TEST(HeightFieldMesh, StripsCarryTheCallbacksValuesAndNormals)
{
    THeightField field;
    setSampling(field, 1, 0.5f, 1, 0.5f); // 3 × 3 samples
    // A plane rising along x by 1 per unit and along y by 2 per unit.
    field.OnGetHeight = [](float x, float y, float& z, TVector4f& color, TTexPoint& texPoint) {
        z = x + 2 * y;
        color = {x, y, 0, 1};
        texPoint.T = 1 - texPoint.T; // the callback may rewrite the preset (x, y)
    };
    RecordingSink sink;
    field.BuildMesh(sink);
    ASSERT_EQ(sink.strips.size(), 2u);
    // First strip: rows y = 0 (drawn second in each pair) and y = 0.5.
    const std::vector<std::pair<float, float>> expected = {{0, 0.5f}, {0, 0},    {0.5f, 0.5f},
                                                           {0.5f, 0}, {1, 0.5f}, {1, 0}};
    ASSERT_EQ(sink.strips[0].size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(sink.strips[0][i].X, expected[i].first) << i;
        EXPECT_EQ(sink.strips[0][i].Y, expected[i].second) << i;
    }
    EXPECT_EQ(sink.strips[1][0].Y, 1.0f);

    for (const auto& strip : sink.strips) {
        for (const auto& v : strip) {
            EXPECT_FLOAT_EQ(v.Sample.Z, v.X + 2 * v.Y);
            EXPECT_EQ(v.Sample.Color, (TVector4f{v.X, v.Y, 0, 1}));
            EXPECT_EQ(v.Sample.TexPoint, (TTexPoint{v.X, 1 - v.Y}));
            // A unit normal leaning against both slopes.
            const TAffineVector& n = v.Sample.Normal;
            EXPECT_TRUE(n.X < 0 && n.Y < 0 && n.Z > 0) << v.X << ", " << v.Y;
            EXPECT_NEAR(vectorLength(n), 1.0f, 1e-6f);
        }
    }
}

} // namespace
