// The render pass and the viewer on a real GL context (Xvfb, llvmpipe):
// frames rendered by the viewer widget and read back as a person would see
// them.

#include "ShownViewer.h"

#include "data/Bitmap.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/LightSource.h"
#include "render/Scene.h"

#include <QWidget>

#include <GL/gl.h>

#include <stdexcept>

using namespace skyglide;
using namespace skyglide::test;

namespace {

// A scene with a camera at eye looking at target (the viewer's focal length
// and depth of view), and no light yet.
struct TCameraScene
{
    TScene& Scene;
    TCamera* Camera = nullptr;

    TCameraScene(TScene& scene, const TAffineVector& eye, const TAffineVector& target)
        : Scene(scene)
    {
        Scene.SetObjectsSorting(TObjectsSorting::osNone);
        auto& targetCube = Scene.Objects().AddNewChild<TDummyCube>();
        targetCube.Position().SetAsAffineVector(target);
        Camera = &Scene.Objects().AddNewChild<TCamera>();
        Camera->Position().SetAsAffineVector(eye);
        Camera->Up().SetAsAffineVector({0, 1, 0});
        Camera->SetFocalLength(100);
        Camera->SetDepthOfView(100000);
        Camera->SetTargetObject(&targetCube);
    }
    // A light shining straight down, like a sun at the zenith.
    void AddSun()
    {
        auto& sun = Scene.Objects().AddNewChild<TLightSource>();
        sun.SetLightStyle(TLightStyle::lsParallel);
        sun.SpotDirection().SetAsAffineVector({0, 1, 0});
    }
};

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
    for (TSamplingScale* axis : {&field.XSamplingScale(), &field.YSamplingScale()}) {
        axis->SetMax(1);
        axis->SetStep(step);
    }
    field.SetOnGetHeight([calls](float, float, float& z, TVector4f&, TTexPoint&) {
        if (calls)
            ++*calls;
        z = 0;
    });
    return field;
}

// Lit by the sun straight above: global ambient 0.2 × 0.2 plus diffuse 0.8.
const TColour cLitGrey{214, 214, 214};
const TColour cBlack{0, 0, 0};

// A level view over a flat lit mesh: ground below the horizon, sky above.
struct LevelView
{
    TScene Scene;
    TCameraScene S{Scene, {0, 1, 0}, {0, 1, 1}};
    int Calls = 0;
    THeightField& Field;
    LevelView(float step = 0.1f) : Field((S.AddSun(), addFlatMesh(Scene, 10000, step, &Calls))) {}
};

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
        if (!Near(PixelAt(image, x, row), cBlack, 0))
            return row;
    }
    return -1;
}

struct TexturedScene
{
    TScene Scene;
    TCameraScene S{Scene, {0, 150, -250}, {0, 0, 0}};
    THeightField* Field = nullptr;

    TexturedScene()
    {
        S.AddSun();
        Field = &addFlatMesh(Scene, 100, 0.05f);
        Field->SetOptions(
            {THeightFieldOption::hfoTwoSided, THeightFieldOption::hfoTextureCoordinates});
        TTexture& texture = Field->Material().Texture();
        texture.SetMagFilter(TMagFilter::maNearest);
        texture.SetFilteringQuality(TTextureFilteringQuality::tfAnisotropic);
        texture.SetImage(northRedPicture());
        texture.SetDisabled(false);
    }
};

// The north row of the picture lies at the far edge; a new filter costs a
// parameter set, no upload and no compile; a new context (the viewer moved
// to another top-level window) gets its lists and textures made again.
TEST(RenderGL, TheTextureLiesNorthUpAndIsMadeAgainOnlyInANewContext)
{
    QWidget window;
    TexturedScene t;
    TShownViewer v(t.S.Camera, 400, 300);
    for (const bool moved : {false, true}) {
        SCOPED_TRACE(moved ? "in a new context" : "in the first context");
        const TRenderStatistics before = v.Statistics();
        const auto* oldResources = v.Viewer.Buffer().Resources().get();
        const TBitmap32 image = v.Frame([&] {
            if (!moved)
                return v.Viewer.update();
            v.Viewer.setParent(&window);
            window.resize(400, 300);
            window.show();
            v.Viewer.show();
        });
        EXPECT_EQ(v.Viewer.Buffer().Resources().get() != oldResources, moved);
        EXPECT_EQ(v.Statistics().TexturesUploaded, before.TexturesUploaded + (moved ? 1 : 0));
        const int far = firstLitRow(image, 200, true);
        const int nearEdge = firstLitRow(image, 200, false);
        ASSERT_GT(far, nearEdge + 40) << "the mesh is not in view";
        EXPECT_TRUE(Near(PixelAt(image, 200, far - 3), {255, 0, 0}, 10)) << "far edge";
        EXPECT_TRUE(Near(PixelAt(image, 200, nearEdge + 3), {0, 255, 0}, 10)) << "near edge";
    }
    const TRenderStatistics before = v.Statistics();
    v.Frame([&] { t.Field->Material().Texture().SetMagFilter(TMagFilter::maLinear); });
    EXPECT_EQ(v.Statistics().TexturesUploaded, before.TexturesUploaded);
    EXPECT_EQ(v.Statistics().ListsCompiled, before.ListsCompiled);
    EXPECT_EQ(v.Statistics().TextureParameterSets, before.TextureParameterSets + 1);
}

// The axes keep their six colours, flat, in a lit scene.
TEST(RenderGL, TheAxesShowTheirSixColoursFlatInALitScene)
{
    TScene scene;
    TCameraScene s(scene, {3, 4, -10}, {0, 0, 0});
    s.AddSun();
    scene.Objects().AddNewChild<TDummyCube>().SetShowAxes(true);
    TShownViewer v(s.Camera, 300, 300);
    const TBitmap32 image = v.Frame();
    for (const TColour colour :
         {TColour{128, 0, 0}, {255, 0, 0}, {0, 128, 0}, {0, 255, 0}, {0, 0, 128}, {0, 0, 255}}) {
        int count = 0;
        for (int row = 0; row < image.Height(); ++row)
            for (int x = 0; x < image.Width(); ++x)
                count += Near(PixelAt(image, x, row), colour, 1);
        EXPECT_GT(count, 20) << colour.R << "," << colour.G << "," << colour.B;
    }
}

// A lit flat mesh fills the lower half of a level view; a snapshot of an
// 801-pixel-wide view is 800 wide.
TEST(RenderGL, ALitFlatMeshFillsTheLowerHalfAndTheSnapshotIsCutToFours)
{
    LevelView s;
    TShownViewer v(s.S.Camera, 801, 300);
    const TBitmap32 image = v.Frame();
    EXPECT_EQ(v.Viewer.Buffer().Width(), 801);
    ASSERT_EQ(image.Width(), 800);
    ASSERT_EQ(image.Height(), 300);
    // Rows are bottom first: the ground is row 0, the empty sky the last row.
    for (int x : {2, 400, 799}) {
        for (int row = 0; row < 148; ++row)
            ASSERT_TRUE(Near(PixelAt(image, x, row), cLitGrey, 3)) << x << ", " << row;
        for (int row = 152; row < 300; ++row)
            ASSERT_TRUE(Near(PixelAt(image, x, row), cBlack, 0)) << x << ", " << row;
    }

    // A recorder renders, then reads, before the event loop runs; the
    // window then shows that frame without drawing it again.
    const long long frames = v.Frames();
    bool shown = false;
    QObject::connect(&v.Viewer, &QOpenGLWidget::frameSwapped, [&] { shown = true; });
    v.Viewer.Buffer().SetBackgroundColor({1, 1, 1, 1});
    v.Viewer.RenderFrame();
    EXPECT_EQ(v.Frames(), frames + 1);
    EXPECT_TRUE(Near(PixelAt(v.Viewer.ReadFrameImage(), 400, 299), {255, 255, 255}, 0));
    ASSERT_TRUE(WaitUntil([&] { return shown; })) << "the window never showed the frame";
    EXPECT_EQ(v.Frames(), frames + 1);
    EXPECT_TRUE(Near(PixelAt(v.Viewer.ReadFrameImage(), 400, 299), {255, 255, 255}, 0));
}

// The mesh is sampled again only when its sampling changes, not for every
// move of the camera.
TEST(RenderGL, TheMeshIsCompiledOnceOverManyFramesAndAgainAfterASamplingChange)
{
    LevelView s(0.125f);
    TShownViewer v(s.S.Camera, 200, 150);
    v.Frame();
    const int sampled = s.Calls;
    const long long compiled = v.Statistics().ListsCompiled;
    for (int i = 1; i <= 10; ++i) // flying: each move a change notice
        v.Frame([&] { s.S.Camera->Position().SetY(1.0f + 0.01f * float(i)); });
    EXPECT_EQ(s.Calls, sampled);
    EXPECT_EQ(v.Statistics().ListsCompiled, compiled);
    v.Frame([&] { s.Field.XSamplingScale().SetStep(0.0625f); });
    EXPECT_EQ(v.Statistics().ListsCompiled, compiled + 1);
}

TEST(RenderGL, AFailedBuildIsReportedEndsTheFrameAndIsRetriedAtTheNext)
{
    LevelView s(0.125f);
    bool fail = false;
    s.Field.SetOnGetHeight([&fail](float, float, float& z, TVector4f&, TTexPoint&) {
        if (fail)
            throw std::runtime_error("no surface");
        z = 0;
    });
    TShownViewer v(s.S.Camera, 200, 150);
    int before = 0, post = 0;
    v.Viewer.Buffer().BeforeRender = [&] { ++before; };
    v.Viewer.Buffer().PostRender = [&] { ++post; };

    fail = true;
    s.Field.XSamplingScale().SetStep(0.25f);
    ASSERT_TRUE(WaitUntil([&] { return !v.Errors.empty(); }));
    EXPECT_EQ(v.Errors, "no surface");
    v.Errors.clear();
    EXPECT_FALSE(v.Viewer.Buffer().Rendering());
    EXPECT_EQ(before, post) << "the busy cursor would stay on";

    fail = false;
    const TBitmap32 image = v.Frame();
    EXPECT_EQ(s.Field.EmittedTriangles(), 2 * 4 * 8);
    EXPECT_TRUE(Near(PixelAt(image, 100, 10), cLitGrey, 3));
    EXPECT_TRUE(Near(PixelAt(image, 100, 140), cBlack, 0));
}

// A node of a kind the render pass does not know draws itself: here, badly.
struct TBrokenNode : TBaseSceneObject
{
    void DoRender(TRenderContextInfo&) override { glEnable(0x1234); } // no such capability
};

TEST(RenderGL, AGLErrorEndsTheFrameWithGLUsText)
{
    TScene scene;
    TCameraScene s(scene, {0, 0, 0}, {0, 0, 1});
    TShownViewer v(s.Camera, 200, 150);
    scene.Objects().AddNewChild<TBrokenNode>();
    ASSERT_TRUE(WaitUntil([&] { return !v.Errors.empty(); }));
    EXPECT_EQ(v.Errors, "invalid enumerant");
    v.Errors.clear();
    EXPECT_FALSE(v.Viewer.Buffer().Rendering());
}

} // namespace
