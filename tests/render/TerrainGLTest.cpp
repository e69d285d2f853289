// The bundled Trinidad terrain rendered as the viewer starts: its scene
// composition, its real heights through the height callback, its colour-ramp
// texture, the sky shown, from the observer's start pose beyond the surface's
// south-west corner, at 827 × 530. The frame is written as a PNG into the
// test output folder to be looked at.

#include "GLTestSupport.h"

#include "data/RasterFile.h"

#include <algorithm>
#include <cmath>
#include <iostream>

using namespace skyglide;
using namespace skyglide::test;

namespace {

// What the window does when it is shown, for a surface of w × h samples.
void showSurface(ViewerComposition& scene, TRasterFile& surface, TRasterFile& drape,
                 int samplingFactor)
{
    const int width = surface.Bitmap().Width(), height = surface.Bitmap().Height();
    const float w = float(width), h = float(height), m = std::max(w, h);
    scene.HeightField1->Scale().SetAsAffineVector({w, h, m * 0.05f});
    scene.Observer->Position().SetAsAffineVector({0.4f * w, m * 0.05f * 1.5f, -0.4f * h});
    scene.Observer->Turn(std::atan(w / h) / cPIdiv180);
    scene.Camera->OrbitTarget(-2, 0);
    scene.HeightField1->XSamplingScale().SetStep(float(samplingFactor) / w);
    scene.HeightField1->YSamplingScale().SetStep(float(samplingFactor) / h);

    const double minValue = surface.Doc().MinValue;
    const double range = surface.Doc().MaxValue - minValue;
    scene.HeightField1->SetOnGetHeight([&surface, minValue, range, width, height](
                                           float x, float y, float& z, TVector4f&, TTexPoint&) {
        const int column = int(std::nearbyint(double(width - 1) * double(x)));
        const int row = int(std::nearbyint(double(height - 1) * (1.0 - double(y))));
        double value = 0;
        surface.GetValue(column, row, value);
        z = float((value - minValue) / range);
    });
    scene.HeightField1->Material().Texture().SetImage(std::move(drape.Bitmap()));
    scene.HeightField1->Material().Texture().SetDisabled(false);
    scene.SkyDome1->SetVisible(true);
}

// The host's detail level 1: a view of at most 1024 × 768 samples, every
// 20th drawn.
TEST(Trinidad, RendersUnderTheSkyFromTheStartPose)
{
    const char* samples = std::getenv("SKYGLIDE_SAMPLES_DIR");
    const std::string surfaceFile = std::string(samples ? samples : "samples") + "/trinidad.rst";
    TRasterFile surface, drape;
    surface.SetFileName(surfaceFile);
    drape.SetFileName(surfaceFile);
    drape.SetPalletFile(std::string(samples ? samples : "samples") + "/palettes/elevation.smp");
    ASSERT_TRUE(surface.Valid());
    const std::uint16_t step =
        TRasterFile::CalcStep(surface.Doc().Columns, surface.Doc().Rows, 1024, 768);
    ASSERT_EQ(step, 2);
    surface.SetStep(step);
    drape.SetStep(step);
    drape.LoadImage(surfaceFile, true, 16);
    surface.LoadSurface(surfaceFile);

    ViewerComposition scene;
    showSurface(scene, surface, drape, 20);
    ShownViewer v(scene.Camera, 827, 530);
    const TBitmap32 frame = v.frame();
    ASSERT_EQ(frame.Width(), 824);
    ASSERT_EQ(frame.Height(), 530);

    const auto png = savePng(frame, "trinidad-detail1.png");
    ASSERT_FALSE(png.empty()) << "cannot write trinidad-detail1.png";
    std::cout << "frame written to " << png.string() << "\n";

    // The top of the view is sky: pale blue, brighter in blue than in red.
    const RGB sky = pixelAt(frame, 412, 525);
    EXPECT_GT(sky[2], sky[0]);
    EXPECT_GT(sky[0], 80);
    // Below the horizon the terrain shows the ramp's colours: greens low,
    // browns up the mountains; where there is no terrain, the background.
    int green = 0, brown = 0;
    for (int row = 0; row < frame.Height(); ++row) {
        for (int x = 0; x < frame.Width(); ++x) {
            const RGB p = pixelAt(frame, x, row);
            green += p[1] > p[0] + 20 && p[1] > p[2] + 20;
            brown += p[0] > p[1] && p[1] > p[2] + 10;
        }
    }
    const int pixels = frame.Width() * frame.Height();
    EXPECT_GT(green, pixels / 50);
    EXPECT_GT(brown, pixels / 500);
    EXPECT_EQ(pixelAt(frame, 412, 0), (RGB{0, 0, 0}));
    EXPECT_GT(scene.HeightField1->EmittedTriangles(), 0);
}

} // namespace

int main(int argc, char** argv)
{
    TSceneViewer::SetDefaultSurfaceFormat();
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
