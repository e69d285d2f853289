// The bundled Trinidad terrain rendered as the viewer starts: its scene
// composition laid out for the surface, its real heights through the height
// callback, its colour-ramp texture, the sky shown, at 827 × 530. The frame
// is written as a PNG into the test output folder to be looked at.

#include "SceneViews.h"

#include "app/SceneComposition.h"
#include "app/SceneLoader.h"
#include "app/SurfaceReadout.h"
#include "data/RasterFile.h"
#include "render/HeightFieldMesh.h"
#include "render/SkyDome.h"

#include <QImage>

#include <cstring>
#include <iostream>

using namespace skyglide;
using namespace skyglide::test;

namespace {

QImage ToImage(const TBitmap32& frame)
{
    QImage image(frame.Width(), frame.Height(), QImage::Format_RGBA8888);
    for (int y = 0; y < frame.Height(); ++y)
        std::memcpy(image.scanLine(y), frame.ScanLine(frame.Height() - 1 - y),
                    std::size_t(frame.Width()) * 4);
    return image.convertToFormat(QImage::Format_RGB888);
}

// The host's detail level 1: a grid of at most 1024 × 768 cells, a mesh
// vertex every 20th.
TEST(Trinidad, RendersUnderTheSkyFromTheStartPose)
{
    const std::string file = Sample("trinidad.rst");
    TRasterFile surface, drape;
    surface.SetFileName(file);
    drape.SetFileName(file);
    drape.SetPalletFile(Sample("palettes/elevation.smp"));
    const std::uint16_t step = DecimationStep(1, surface.Doc().Columns, surface.Doc().Rows);
    surface.SetStep(step);
    drape.SetStep(step);
    drape.LoadImage(file, true, 16);
    surface.LoadSurface(file);

    TSceneComposition scene;
    scene.ShowSurface(&surface, &drape, 1.0f, ResolutionBoxFor(1).MeshSamplingFactor);
    scene.HeightField1->SetOnGetHeight([&surface](float x, float y, float& z, TVector4f&,
                                                  TTexPoint&) { z = SurfaceHeight(&surface, x, y); });
    scene.SkyDome1->SetVisible(true);
    TShownViewer v(scene.Camera, 827, 530);
    const TBitmap32 frame = v.Frame();
    ASSERT_EQ(frame.Width(), 824);
    ASSERT_EQ(frame.Height(), 530);
    const std::string png = (TestFolder() / "trinidad-detail1.png").string();
    ASSERT_TRUE(ToImage(frame).save(QString::fromStdString(png), "PNG")) << "cannot write " << png;
    std::cout << "frame written to " << png << "\n";

    // The top of the view is sky: pale blue, brighter in blue than in red.
    const TColour sky = PixelAt(frame, 412, 525);
    EXPECT_GT(sky.B, sky.R);
    EXPECT_GT(sky.R, 80);
    // Below the horizon the terrain shows the ramp's colours: greens low,
    // browns up the mountains; where there is no terrain, the background.
    int green = 0, brown = 0;
    for (int row = 0; row < frame.Height(); ++row) {
        for (int x = 0; x < frame.Width(); ++x) {
            const TColour p = PixelAt(frame, x, row);
            green += p.G > p.R + 20 && p.G > p.B + 20;
            brown += p.R > p.G && p.G > p.B + 10;
        }
    }
    const int pixels = frame.Width() * frame.Height();
    EXPECT_GT(green, pixels / 50);
    EXPECT_GT(brown, pixels / 500);
    EXPECT_TRUE(Near(PixelAt(frame, 412, 0), {0, 0, 0}, 0));
    EXPECT_GT(scene.HeightField1->EmittedTriangles(), 0);
}

} // namespace
