// The bundled Trinidad terrain rendered as the viewer starts: its scene
// composition, its real heights through the height callback, its colour-ramp
// texture, the sky shown, from the observer's start pose beyond the surface's
// south-west corner, at 827 × 530. Each frame is written as a PNG into the
// test output folder to be looked at.

#include "GLTestSupport.h"

#include "data/RasterFile.h"
#include "render/HeightFieldMesh.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include <gtest/gtest.h>

using namespace skyglide;
using namespace skyglide::test;

namespace {

std::string samplesDir()
{
    const char* dir = std::getenv("SKYGLIDE_SAMPLES_DIR");
    return dir ? dir : "samples";
}

std::filesystem::path outputDir()
{
    const char* dir = std::getenv("SKYGLIDE_TEST_TMP");
    std::filesystem::path path = dir ? dir : std::filesystem::current_path();
    std::filesystem::create_directories(path);
    return path;
}

// The scene window's composition, built as its form builds it.
struct ViewerScene
{
    TScene Scene;
    TSkyDome* SkyDome1 = nullptr;
    TDummyCube* AfterSky = nullptr;
    THeightField* HeightField1 = nullptr;
    TDummyCube* Observer = nullptr;
    TCamera* Camera = nullptr;

    ViewerScene()
    {
        Scene.BeginLoading();
        Scene.SetObjectsSorting(TObjectsSorting::osNone);

        SkyDome1 = &addViewerSky(Scene.Objects());
        SkyDome1->SetVisible(false);

        AfterSky = &Scene.Objects().AddNewChild<TDummyCube>();
        auto& lightCube = AfterSky->AddNewChild<TDummyCube>();
        lightCube.Position().SetAsAffineVector({-50, 6, 50});
        lightCube.Up().SetAsAffineVector({0, 1, 0});
        auto& light = lightCube.AddNewChild<TLightSource>();
        light.Position().SetAsAffineVector({-1, 0, 0});
        light.SetConstAttenuation(1);
        light.SetSpotCutOff(180);
        light.SpotDirection().SetAsAffineVector({1, 0, -1});

        HeightField1 = &AfterSky->AddNewChild<THeightField>();
        HeightField1->Direction().SetAsAffineVector({0, 1, 0});
        HeightField1->Up().SetAsAffineVector({0, 0, 1});
        HeightField1->Scale().SetAsAffineVector({100, 100, 1});
        for (TSamplingScale* axis :
             {&HeightField1->XSamplingScale(), &HeightField1->YSamplingScale()}) {
            axis->SetMax(1);
            axis->SetStep(0.01f);
        }
        HeightField1->SetOptions(
            {THeightFieldOption::hfoTextureCoordinates, THeightFieldOption::hfoTwoSided});
        TTexture& texture = HeightField1->Material().Texture();
        texture.SetMagFilter(TMagFilter::maNearest);
        texture.SetFilteringQuality(TTextureFilteringQuality::tfAnisotropic);

        Observer = &AfterSky->AddNewChild<TDummyCube>();
        Observer->Up().SetAsAffineVector({0, 1, 0});
        Observer->SetVisible(false);
        Observer->SetVisibleAtRunTime(true);
        Camera = &Observer->AddNewChild<TCamera>();
        Camera->Direction().SetAsAffineVector({0, 0, 1});
        Camera->Up().SetAsAffineVector({0, 1, 0});
        Camera->SetFocalLength(100);
        Camera->SetDepthOfView(100000);
        auto& target = Observer->AddNewChild<TDummyCube>();
        target.Position().SetAsAffineVector({0, 0, 1});
        Camera->SetTargetObject(&target);
        Scene.EndLoading();
    }

    // What the window does when it is shown, for a surface of w × h cells.
    void show(TRasterFile& surface, TRasterFile& drape, int samplingFactor, float exaggeration)
    {
        const float w = float(surface.Bitmap().Width());
        const float h = float(surface.Bitmap().Height());
        HeightField1->Scale().SetX(w);
        HeightField1->Scale().SetY(h);
        const float m = std::max(w, h);
        HeightField1->Scale().SetZ(m * 0.05f * exaggeration);
        Observer->Position().SetX(0.4f * w);
        Observer->Position().SetZ(-0.4f * h);
        Observer->Position().SetY(m * 0.05f * 1.5f);
        Observer->Turn(std::atan(w / h) / cPIdiv180);
        Camera->OrbitTarget(-2, 0);
        HeightField1->XSamplingScale().SetStep(float(samplingFactor) / w);
        HeightField1->YSamplingScale().SetStep(float(samplingFactor) / h);

        const double minValue = surface.Doc().MinValue;
        const double range = surface.Doc().MaxValue - minValue;
        const int width = surface.Bitmap().Width();
        const int height = surface.Bitmap().Height();
        HeightField1->SetOnGetHeight([&surface, minValue, range, width,
                                      height](float x, float y, float& z, TVector4f&, TTexPoint&) {
            const int column = int(std::nearbyint(double(width - 1) * double(x)));
            const int row = int(std::nearbyint(double(height - 1) * (1.0 - double(y))));
            double value = 0;
            surface.GetValue(column, row, value);
            z = float((value - minValue) / range);
        });
        HeightField1->Material().Texture().SetImage(std::move(drape.Bitmap()));
        HeightField1->Material().Texture().SetDisabled(false);
    }
};

QImage toImage(const TBitmap32& frame)
{
    QImage image(frame.Width(), frame.Height(), QImage::Format_RGBA8888);
    for (int y = 0; y < frame.Height(); ++y)
        std::memcpy(image.scanLine(y), frame.ScanLine(frame.Height() - 1 - y),
                    std::size_t(frame.Width()) * 4);
    return image.convertToFormat(QImage::Format_RGB888);
}

struct DetailCase
{
    std::string name;
    int maxWidth;
    int maxHeight;
    int samplingFactor;
    std::uint16_t expectedStep;
};

class SampleTerrain : public testing::TestWithParam<DetailCase>
{
};

TEST_P(SampleTerrain, RendersUnderTheSkyFromTheStartPose)
{
    const DetailCase& c = GetParam();
    const std::string surfaceFile = samplesDir() + "/trinidad.rst";
    TRasterFile surface;
    TRasterFile drape;
    surface.SetFileName(surfaceFile);
    drape.SetFileName(surfaceFile);
    drape.SetPalletFile(samplesDir() + "/palettes/elevation.smp");
    ASSERT_TRUE(surface.Valid());
    const std::uint16_t step =
        TRasterFile::CalcStep(surface.Doc().Columns, surface.Doc().Rows, c.maxWidth, c.maxHeight);
    ASSERT_EQ(step, c.expectedStep);
    surface.SetStep(step);
    drape.SetStep(step);
    drape.LoadImage(surfaceFile, true, 16);
    surface.LoadSurface(surfaceFile);
    drape.CloseStream();
    surface.CloseStream();

    ViewerScene scene;
    scene.show(surface, drape, c.samplingFactor, 1.0f);
    scene.SkyDome1->SetVisible(true);

    ShownViewer v(scene.Camera, 827, 530);
    const TBitmap32 frame = v.frame();
    ASSERT_EQ(frame.Width(), 824);
    ASSERT_EQ(frame.Height(), 530);

    const std::filesystem::path png = outputDir() / ("trinidad-" + c.name + ".png");
    ASSERT_TRUE(toImage(frame).save(QString::fromStdString(png.string()), "PNG"))
        << "cannot write " << png;
    std::cout << "frame written to " << png.string() << "\n";

    // The top of the view is sky: pale blue, brighter in blue than in red.
    const RGB sky = pixelAt(frame, 412, 525);
    EXPECT_GT(sky[2], sky[0]);
    EXPECT_GT(sky[0], 80);
    // Below the horizon the terrain shows the ramp's colours: greens low,
    // browns up the mountains; where there is no terrain, the background.
    int green = 0;
    int brown = 0;
    for (int row = 0; row < frame.Height(); ++row) {
        for (int x = 0; x < frame.Width(); ++x) {
            const RGB p = pixelAt(frame, x, row);
            if (p[1] > p[0] + 20 && p[1] > p[2] + 20)
                ++green;
            else if (p[0] > p[1] && p[1] > p[2] + 10)
                ++brown;
        }
    }
    const int pixels = frame.Width() * frame.Height();
    EXPECT_GT(green, pixels / 50);
    EXPECT_GT(brown, pixels / 500);
    EXPECT_EQ(pixelAt(frame, 412, 0), (RGB{0, 0, 0}));
    EXPECT_GT(scene.HeightField1->EmittedTriangles(), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Trinidad, SampleTerrain, testing::Values(
    DetailCase{"detail1", 1024, 768, 20, 2},
    DetailCase{"detail3", 2800, 2400, 5, 1}),
    [](const auto& info) { return info.param.name; });
// clang-format on

} // namespace

int main(int argc, char** argv)
{
    TSceneViewer::SetDefaultSurfaceFormat();
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
