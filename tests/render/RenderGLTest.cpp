// The render pass and the viewer on a real GL context (Xvfb, llvmpipe):
// frames rendered by the viewer widget and read back as a person would see
// them.

#include "GLTestSupport.h"

#include "data/Bitmap.h"
#include "render/HeightFieldMesh.h"

#include <QApplication>
#include <QWidget>

#include <GL/gl.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

using namespace skyglide;
using namespace skyglide::test;

namespace {

// A flat square mesh in the viewer's orientation (object x along world −X,
// object y along world +Z, heights along world +Y), `size` units across and
// centred on the world's origin.
THeightField& addFlatMesh(TScene& scene, float size, float step, int* calls = nullptr)
{
    auto& field = scene.Objects().AddNewChild<THeightField>();
    field.Direction().SetAsAffineVector({0, 1, 0});
    field.Up().SetAsAffineVector({0, 0, 1});
    field.Scale().SetAsAffineVector({size, size, 1});
    field.Position().SetAsAffineVector({size / 2, 0, -size / 2});
    field.XSamplingScale().SetMax(1);
    field.XSamplingScale().SetStep(step);
    field.YSamplingScale().SetMax(1);
    field.YSamplingScale().SetStep(step);
    field.SetOnGetHeight([calls](float, float, float& z, TVector4f&, TTexPoint&) {
        if (calls)
            ++*calls;
        z = 0;
    });
    return field;
}

// Lit by the sun straight above: global ambient 0.2 × 0.2 plus diffuse 0.8.
const RGB cLitGrey{214, 214, 214};

TEST(RenderGL, ALitFlatMeshFillsTheLowerHalfOfALevelView)
{
    CameraScene s({0, 1, 0}, {0, 1, 1});
    s.AddSun();
    addFlatMesh(s.Scene, 10000, 0.1f);
    ShownViewer v(s.Camera, 400, 300);
    const TBitmap32 image = v.frame();
    ASSERT_EQ(image.Width(), 400);
    ASSERT_EQ(image.Height(), 300);

    // Rows are bottom first: the ground is row 0, the empty sky the last row.
    EXPECT_TRUE(near(pixelAt(image, 200, 0), cLitGrey, 3));
    EXPECT_EQ(pixelAt(image, 200, 299), (RGB{0, 0, 0}));
    for (int x : {2, 200, 397}) {
        for (int row = 0; row < 148; ++row)
            ASSERT_TRUE(near(pixelAt(image, x, row), cLitGrey, 3))
                << "column " << x << " row " << row << " from the bottom";
        for (int row = 152; row < 300; ++row)
            ASSERT_EQ(pixelAt(image, x, row), (RGB{0, 0, 0}))
                << "column " << x << " row " << row << " from the bottom";
    }
}

// A 64 × 64 palette picture, its north quarter red and the rest green.
TBitmap northRedPicture()
{
    TBitmap picture;
    picture.SetSize(64, 64, TPixelFormat::pf8bit);
    TPalette palette = GreyscalePalette();
    palette[1] = {255, 0, 0, PaletteNoCollapse};
    palette[2] = {0, 255, 0, PaletteNoCollapse};
    picture.SetPalette(palette);
    for (int row = 0; row < 64; ++row)
        for (int x = 0; x < 64; ++x)
            picture.ScanLine(row)[x] = row < 16 ? 1 : 2;
    return picture;
}

// The first row (counted from the top or the bottom) of column x that is
// not background black; −1 when the column is all background.
int firstLitRow(const TBitmap32& image, int x, bool fromTop)
{
    for (int i = 0; i < image.Height(); ++i) {
        const int row = fromTop ? image.Height() - 1 - i : i;
        if (pixelAt(image, x, row) != RGB{0, 0, 0})
            return row;
    }
    return -1;
}

struct TexturedScene
{
    CameraScene S{{0, 150, -250}, {0, 0, 0}};
    THeightField* Field = nullptr;

    TexturedScene()
    {
        S.AddSun();
        Field = &addFlatMesh(S.Scene, 100, 0.05f);
        Field->SetOptions(
            {THeightFieldOption::hfoTwoSided, THeightFieldOption::hfoTextureCoordinates});
        TTexture& texture = Field->Material().Texture();
        texture.SetMagFilter(TMagFilter::maNearest);
        texture.SetFilteringQuality(TTextureFilteringQuality::tfAnisotropic);
        texture.SetImage(northRedPicture());
        texture.SetDisabled(false);
    }
};

TEST(RenderGL, TheNorthRowOfTheTextureLiesAtTheFarEdgeAndSmoothingOnlySetsParameters)
{
    TexturedScene t;
    ShownViewer v(t.S.Camera, 400, 300);
    const TBitmap32 image = v.frame();
    const int far = firstLitRow(image, 200, true);
    const int nearEdge = firstLitRow(image, 200, false);
    ASSERT_GT(far, nearEdge + 40) << "the mesh is not in view";
    EXPECT_TRUE(near(pixelAt(image, 200, far - 3), {255, 0, 0}, 10)) << "far edge";
    EXPECT_TRUE(near(pixelAt(image, 200, nearEdge + 3), {0, 255, 0}, 10)) << "near edge";

    const TRenderStatistics before = v.Viewer.Buffer().Statistics();
    ASSERT_EQ(before.TexturesUploaded, 1);
    const long long frames = v.frames();
    t.Field->Material().Texture().SetMagFilter(TMagFilter::maLinear);
    ASSERT_TRUE(waitForFrame(v.Viewer, frames)) << "the filter change did not repaint";
    const TRenderStatistics after = v.Viewer.Buffer().Statistics();
    EXPECT_EQ(after.TexturesUploaded, before.TexturesUploaded);
    EXPECT_EQ(after.ListsCompiled, before.ListsCompiled);
    EXPECT_EQ(after.TextureParameterSets, before.TextureParameterSets + 1);
}

TEST(RenderGL, ANewContextGetsItsListsAndTexturesMadeAgain)
{
    QWidget window;
    TexturedScene t;
    ShownViewer v(t.S.Camera, 400, 300);
    v.frame();
    const TRenderStatistics before = v.Viewer.Buffer().Statistics();
    const auto* oldResources = v.Viewer.Buffer().Resources().get();

    // Moving to another top-level window makes Qt replace the context.
    const long long frames = v.frames();
    v.Viewer.setParent(&window);
    window.resize(400, 300);
    window.show();
    v.Viewer.show();
    ASSERT_TRUE(waitForFrame(v.Viewer, frames));
    const TBitmap32 image = v.Viewer.ReadFrameImage();

    const TRenderStatistics after = v.Viewer.Buffer().Statistics();
    EXPECT_NE(v.Viewer.Buffer().Resources().get(), oldResources);
    EXPECT_EQ(after.TexturesUploaded, before.TexturesUploaded + 1);
    EXPECT_GT(after.ListsCompiled, before.ListsCompiled);
    const int far = firstLitRow(image, 200, true);
    ASSERT_GT(far, 0);
    EXPECT_TRUE(near(pixelAt(image, 200, far - 3), {255, 0, 0}, 10));
}

TEST(RenderGL, TheSkyStartsAtTheHorizonAndTheBackgroundShowsBelowIt)
{
    CameraScene s({0, 0, 0}, {0, 0, 1});
    addViewerSky(s.Scene.Objects());
    const TVector4f horizon{230.0f / 255, 230.0f / 255, 1, 1};
    ShownViewer v(s.Camera, 400, 300);
    const TVector4f background{20.0f / 255, 40.0f / 255, 60.0f / 255, 1};
    v.Viewer.Buffer().SetBackgroundColor(background);
    const TBitmap32 image = v.frame();
    for (int x : {1, 100, 200, 398}) {
        SCOPED_TRACE(x);
        EXPECT_TRUE(near(pixelAt(image, x, 153), toRGB(horizon), 3));
        EXPECT_TRUE(near(pixelAt(image, x, 146), toRGB(background), 1));
        EXPECT_TRUE(near(pixelAt(image, x, 0), toRGB(background), 1));
    }
}

TEST(RenderGL, TheAxesShowTheirSixColoursFlatInALitScene)
{
    CameraScene s({3, 4, -10}, {0, 0, 0});
    s.AddSun();
    auto& marker = s.Scene.Objects().AddNewChild<TDummyCube>();
    marker.SetShowAxes(true);
    ShownViewer v(s.Camera, 300, 300);
    const TBitmap32 image = v.frame();

    const RGB colours[6] = {{128, 0, 0}, {255, 0, 0}, {0, 128, 0},
                            {0, 255, 0}, {0, 0, 128}, {0, 0, 255}};
    int counts[6] = {};
    for (int row = 0; row < image.Height(); ++row)
        for (int x = 0; x < image.Width(); ++x)
            for (int i = 0; i < 6; ++i)
                if (near(pixelAt(image, x, row), colours[i], 1))
                    ++counts[i];
    for (int i = 0; i < 6; ++i)
        EXPECT_GT(counts[i], 20) << "axis colour " << i;
}

TEST(RenderGL, ABackgroundChangeRepaintsWithTheNewColourAndTheSameColourDoesNot)
{
    CameraScene s({0, 0, 0}, {0, 0, 1});
    ShownViewer v(s.Camera, 200, 150);
    settle(100);
    long long frames = v.frames();
    v.Viewer.Buffer().SetBackgroundColor({0, 0, 0, 1});
    settle(200);
    EXPECT_EQ(v.frames(), frames) << "an unchanged colour repainted";

    v.Viewer.Buffer().SetBackgroundColor({0.2f, 0.4f, 0.6f, 1});
    ASSERT_TRUE(waitForFrame(v.Viewer, frames)) << "the new colour did not repaint";
    const TBitmap32 image = v.Viewer.ReadFrameImage();
    EXPECT_TRUE(near(pixelAt(image, 100, 75), {51, 102, 153}, 1));
}

TEST(RenderGL, ASnapshotOfAn801PixelWideViewIs800Wide)
{
    CameraScene s({0, 1, 0}, {0, 1, 1});
    s.AddSun();
    addFlatMesh(s.Scene, 10000, 0.1f);
    ShownViewer v(s.Camera, 801, 120);
    const TBitmap32 image = v.frame();
    EXPECT_EQ(v.Viewer.Buffer().Width(), 801);
    EXPECT_EQ(image.Width(), 800);
    EXPECT_EQ(image.Height(), 120);
    EXPECT_EQ(image.DataSize(), std::size_t(800 * 120 * 4));
    EXPECT_TRUE(near(pixelAt(image, 799, 0), cLitGrey, 3));

    // A recorder renders, then reads, before the event loop runs; the
    // window then shows that frame without drawing it again.
    const long long frames = v.frames();
    v.Viewer.Buffer().SetBackgroundColor({1, 1, 1, 1});
    v.Viewer.RenderFrame();
    EXPECT_EQ(v.frames(), frames + 1);
    EXPECT_EQ(pixelAt(v.Viewer.ReadFrameImage(), 400, 119), (RGB{255, 255, 255}));
    settle(200);
    EXPECT_EQ(v.frames(), frames + 1);
    EXPECT_EQ(pixelAt(v.Viewer.ReadFrameImage(), 400, 119), (RGB{255, 255, 255}));
}

TEST(RenderGL, TheMeshIsCompiledOnceOverManyFramesAndAgainAfterASamplingChange)
{
    CameraScene s({0, 1, 0}, {0, 1, 1});
    s.AddSun();
    int calls = 0;
    THeightField& field = addFlatMesh(s.Scene, 10000, 0.125f, &calls); // 9 × 9 samples
    ShownViewer v(s.Camera, 200, 150);
    v.frame();
    ASSERT_EQ(calls, 9 * 9);
    const long long compiled = v.Viewer.Buffer().Statistics().ListsCompiled;

    for (int i = 1; i <= 10; ++i) {
        const long long frames = v.frames();
        s.Camera->Position().SetY(1.0f + 0.01f * float(i)); // flying: a change notice
        ASSERT_TRUE(waitForFrame(v.Viewer, frames)) << "move " << i << " did not repaint";
    }
    EXPECT_EQ(calls, 9 * 9);
    EXPECT_EQ(v.Viewer.Buffer().Statistics().ListsCompiled, compiled);

    const long long frames = v.frames();
    field.XSamplingScale().SetStep(0.0625f);
    ASSERT_TRUE(waitForFrame(v.Viewer, frames));
    EXPECT_EQ(calls, 9 * 9 + 17 * 9);
    EXPECT_EQ(v.Viewer.Buffer().Statistics().ListsCompiled, compiled + 1);
    EXPECT_EQ(field.EmittedTriangles(), 2 * 8 * 16);
}

TEST(RenderGL, AFailedBuildIsReportedEndsTheFrameAndIsRetriedAtTheNext)
{
    CameraScene s({0, 1, 0}, {0, 1, 1});
    s.AddSun();
    THeightField& field = addFlatMesh(s.Scene, 10000, 0.125f);
    bool fail = false;
    field.SetOnGetHeight([&fail](float, float, float& z, TVector4f&, TTexPoint&) {
        if (fail)
            throw std::runtime_error("no surface");
        z = 0;
    });
    ShownViewer v(s.Camera, 200, 150);
    int before = 0;
    int post = 0;
    v.Viewer.Buffer().BeforeRender = [&] { ++before; };
    v.Viewer.Buffer().PostRender = [&] { ++post; };
    std::string reported;
    v.Viewer.OnRenderError = [&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            reported = e.what();
        }
    };

    fail = true;
    field.XSamplingScale().SetStep(0.25f);
    settle(300);
    EXPECT_EQ(reported, "no surface");
    EXPECT_FALSE(v.Viewer.Buffer().Rendering());
    EXPECT_EQ(before, post) << "the busy cursor would stay on";

    fail = false;
    const TBitmap32 image = v.frame();
    EXPECT_EQ(field.EmittedTriangles(), 2 * 4 * 8);
    EXPECT_TRUE(near(pixelAt(image, 100, 10), cLitGrey, 3));
    EXPECT_EQ(pixelAt(image, 100, 140), (RGB{0, 0, 0}));
}

TEST(RenderGL, AGLErrorEndsTheFrameWithGLUsText)
{
    CameraScene s({0, 0, 0}, {0, 0, 1});
    ShownViewer v(s.Camera, 200, 150);
    std::string reported;
    v.Viewer.OnRenderError = [&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const TOpenGLError& e) {
            reported = e.what();
        }
    };
    v.Viewer.Buffer().InitiateRendering = [](TSceneBuffer&, TRenderContextInfo&) {
        glEnable(0x1234); // no such capability
    };
    v.Viewer.update();
    settle(300);
    EXPECT_EQ(reported, "invalid enumerant");
    EXPECT_FALSE(v.Viewer.Buffer().Rendering());
}

TEST(RenderGL, TheFrameRateCountsOnlyFramesSinceTheReset)
{
    CameraScene s({0, 0, 0}, {0, 0, 1});
    ShownViewer v(s.Camera, 200, 150);
    settle(100);
    std::int64_t now = 1'000'000'000;
    TSceneBuffer& buffer = v.Viewer.Buffer();
    buffer.SetClock([&now] { return now; });

    auto frameAt = [&](std::int64_t t) {
        now = t;
        const long long frames = v.frames();
        v.Viewer.update();
        ASSERT_TRUE(waitForFrame(v.Viewer, frames));
    };
    const std::int64_t start = now;
    buffer.ResetPerformanceMonitor();
    frameAt(start);
    frameAt(start + 10'000'000);
    EXPECT_FLOAT_EQ(buffer.FrameRate(), float(buffer.FrameCount()) / 0.010f);

    buffer.ResetPerformanceMonitor();
    EXPECT_EQ(buffer.FrameRate(), 0.0f);
    EXPECT_EQ(buffer.FrameCount(), 0);
    frameAt(start + 1'000'000'000); // the first frame after the reset starts the count
    EXPECT_EQ(buffer.FrameRate(), 0.0f);
    frameAt(start + 1'010'000'000);
    // Frames since the reset over 10 ms: the ones a second earlier do not count.
    EXPECT_FLOAT_EQ(buffer.FrameRate(), float(buffer.FrameCount()) / 0.010f);
    EXPECT_GT(buffer.FrameRate(), 150.0f);
}

} // namespace

int main(int argc, char** argv)
{
    TSceneViewer::SetDefaultSurfaceFormat();
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
