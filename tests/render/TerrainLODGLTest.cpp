// The level-of-detail surface in the viewer's own scene on a real GL context
// (Xvfb, llvmpipe): against the mesh that samples every cell from the same
// pose, and over a flight that would show any crack between its tiles. The
// frames are written as PNGs into the test output folder.

#include "ShownViewer.h"
#include "TerrainTestSupport.h"

#include "app/SceneComposition.h"
#include "render/Bitmap32.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/TerrainLOD.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

using namespace skyglide;
using namespace skyglide::test;

namespace {

// Writes a frame as a PNG into the test output folder, to be looked at.
void SavePng(const TBitmap32& frame, const std::string& name)
{
    QImage image(frame.Width(), frame.Height(), QImage::Format_RGBA8888);
    for (int y = 0; y < frame.Height(); ++y)
        std::memcpy(image.scanLine(y), frame.ScanLine(frame.Height() - 1 - y),
                    std::size_t(frame.Width()) * 4);
    const char* root = std::getenv("SKYGLIDE_TEST_TMP");
    const std::string png = (std::filesystem::path(root ? root : "/tmp") / name).string();
    EXPECT_TRUE(image.convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(png)))
        << "cannot write " << png;
}

// The viewer's scene with a grid shown twice in the same place: by the mesh
// sampling every cell and by the level-of-detail surface, one at a time.
struct TwoSurfaces : TSceneComposition
{
    std::shared_ptr<GridHeights> Grid;
    TTerrainLOD* Lod = nullptr;

    TwoSurfaces(std::shared_ptr<GridHeights> grid, std::shared_ptr<TBitmap> drape, int tileCells)
        : Grid(std::move(grid))
    {
        const int w = Grid->W, h = Grid->H;
        const TAffineVector scale{float(w), float(h), 0.05f * float(std::max(w, h))};
        HeightField1->Scale().SetAsAffineVector(scale);
        HeightField1->XSamplingScale().SetStep(1.0f / float(w - 1));
        HeightField1->YSamplingScale().SetStep(1.0f / float(h - 1));
        HeightField1->SetOnGetHeight([this](float x, float y, float& z, TVector4f&, TTexPoint&) {
            z = Grid->at(int(std::nearbyint(double(Grid->W - 1) * x)),
                         int(std::nearbyint(double(Grid->H - 1) * (1.0 - y))));
        });

        Lod = &AfterSky->AddNewChild<TTerrainLOD>();
        Lod->Direction().SetAsAffineVector({0, 1, 0});
        Lod->Up().SetAsAffineVector({0, 0, 1});
        Lod->Scale().SetAsAffineVector(scale);
        Lod->SetTileCells(tileCells);
        Lod->SetHeightSource(Grid);
        for (TTexture* texture :
             {&HeightField1->Material().Texture(), &Lod->Material().Texture()}) {
            texture->SetMagFilter(TMagFilter::maNearest);
            texture->SetFilteringQuality(TTextureFilteringQuality::tfAnisotropic);
            texture->SetImage(std::shared_ptr<const TBitmap>(drape));
            texture->SetDisabled(!drape);
        }
        showLod(false);
    }

    void showLod(bool lod)
    {
        HeightField1->SetVisible(!lod);
        Lod->SetVisible(lod);
    }

    // The observer at eye, looking level (or as given) towards target.
    void place(const TAffineVector& eye, const TAffineVector& target)
    {
        Observer->Position().SetAsAffineVector(eye);
        Observer->Direction().SetAsAffineVector(normalized(target - eye));
        Observer->Up().SetAsAffineVector({0, 1, 0});
    }

    // The scene window's start pose for this grid.
    void startPose()
    {
        const float w = float(Grid->W), h = float(Grid->H), m = std::max(w, h);
        Observer->Position().SetAsAffineVector({0.4f * w, m * 0.05f * 1.5f, -0.4f * h});
        Observer->Turn(std::atan(w / h) / cPIdiv180);
        Camera->OrbitTarget(-2, 0);
    }
};

// Frames until the surface has drawn every tile it selected.
TBitmap32 completeFrame(TShownViewer& v, TTerrainLOD& lod)
{
    TBitmap32 frame = v.Frame();
    for (int i = 0; i < 500 && !lod.FrameComplete(); ++i) {
        lod.WaitForTiles(5000);
        frame = v.Frame();
    }
    EXPECT_TRUE(lod.FrameComplete()) << "tiles still missing";
    return frame;
}

// Pixels differing by more than `tolerance` in any channel.
int differingPixels(const TBitmap32& a, const TBitmap32& b, int tolerance)
{
    int count = 0;
    for (int row = 0; row < a.Height(); ++row)
        for (int x = 0; x < a.Width(); ++x)
            count += !Near(PixelAt(a, x, row), PixelAt(b, x, row), tolerance);
    return count;
}

// Pixels that show the surface in one frame and what lies behind it in the
// other.
int differingCover(const TBitmap32& a, const TBitmap32& b, const TBitmap32& empty)
{
    int count = 0;
    for (int row = 0; row < a.Height(); ++row)
        for (int x = 0; x < a.Width(); ++x)
            count += (PixelAt(a, x, row) == PixelAt(empty, x, row)) !=
                     (PixelAt(b, x, row) == PixelAt(empty, x, row));
    return count;
}

TEST(TerrainLOD, DrawsWhatTheFullMeshDrawsFromTheSamePose)
{
    const auto grid = RidgesAndCliffs(257, 257);
    const auto drape = RampDrape(*grid, 256, 256);
    struct Case
    {
        const char* Name;
        bool Textured;
        int Pose;
    };
    // Low: above every cell, where the faces turned away go undrawn; under:
    // beneath the surface, looking up at its underside.
    for (const Case& c : {Case{"start-draped", true, 0}, Case{"low-draped", true, 1},
                          Case{"start-lit", false, 0}, Case{"low-lit", false, 1},
                          Case{"under-draped", true, 2}}) {
        TwoSurfaces scene(grid, c.Textured ? drape : nullptr, 16);
        if (c.Pose == 0)
            scene.startPose();
        else if (c.Pose == 1)
            scene.place({-30, 16, 20}, {-200, 11, 230});
        else
            scene.place({-30, -4, 20}, {-200, 6, 230});
        TShownViewer v(scene.Camera);
        const TBitmap32 mesh = v.Frame();
        scene.showLod(true);
        const TBitmap32 lod = completeFrame(v, *scene.Lod);
        const std::string name = std::string("terrain-lod-") + c.Name;
        SavePng(mesh, name + "-mesh.png");
        SavePng(lod, name + ".png");

        const int pixels = lod.Width() * lod.Height();
        const TBitmap32 empty = v.Frame([&] { scene.Lod->SetVisible(false); });
        // From beneath, the skirts under the tiles' edges show too: there the
        // surface must cover what the mesh covers, whatever its colours.
        const int differing =
            c.Pose == 2 ? differingCover(mesh, lod, empty) : differingPixels(mesh, lod, 24);
        std::cout << c.Name << ": " << differing << " of " << pixels << " pixels differ, "
                  << scene.Lod->Statistics().DrawnTiles << " tiles\n";
        EXPECT_LE(differing, pixels / 100) << c.Name;
        // Not an empty frame that trivially matches: the surface fills much of it.
        EXPECT_GT(differingPixels(lod, empty, 0), pixels / 50) << c.Name;
    }
}

// Background pixels with surface both below and above them in the same
// column: with the camera level, every column of the view shows the
// surface from the bottom up to its horizon and nothing above, so each of
// them is a hole in the surface.
int holesInSilhouette(const TBitmap32& frame, const TColour& background)
{
    int holes = 0;
    for (int x = 0; x < frame.Width(); ++x) {
        bool surfaceBelow = false;
        int open = 0;
        for (int row = 0; row < frame.Height(); ++row) {
            if (PixelAt(frame, x, row) == background) {
                open += surfaceBelow;
            } else {
                holes += open;
                open = 0;
                surfaceBelow = true;
            }
        }
    }
    return holes;
}

TEST(TerrainLOD, ShowsNoCrackOverAFlightAlongRidgesAndCliffs)
{
    const auto grid = RidgesAndCliffs(257, 257);
    const auto drape = RampDrape(*grid, 256, 256);
    const TColour magenta{255, 0, 255};
    TwoSurfaces scene(grid, drape, 8);
    TShownViewer v(scene.Camera);
    v.Viewer.Buffer().SetBackgroundColor({1, 0, 1, 1});

    // Level flight two cell widths above the highest ridge, across the
    // cliffs, turning; every frame is looked at, those with tiles still
    // missing (stood in for by coarser ones) too.
    const float top = 0.05f * 257.0f + 2.0f;
    for (const float bound : {2.0f, 8.0f}) {
        scene.Lod->SetErrorBound(bound);
        for (int step = 0; step < 24; ++step) {
            const float t = float(step) / 23.0f;
            const TAffineVector eye{-20.0f - 200.0f * t, top, 20.0f + 150.0f * t};
            const float heading = 0.7f + 2.2f * t;
            scene.place(eye, eye + TAffineVector{-std::sin(heading), 0.0f, std::cos(heading)});
            scene.showLod(true);
            const TBitmap32 first = v.Frame();
            const TBitmap32 complete = completeFrame(v, *scene.Lod);
            for (const TBitmap32* frame : {&first, &complete}) {
                const int holes = holesInSilhouette(*frame, magenta);
                EXPECT_EQ(holes, 0) << "bound " << bound << ", step " << step;
                if (holes > 0)
                    SavePng(*frame, "terrain-lod-crack-" + std::to_string(step) + ".png");
            }
            if (step % 8 == 0) {
                // The same check finds none in the mesh either.
                scene.showLod(false);
                EXPECT_EQ(holesInSilhouette(v.Frame(), magenta), 0) << "mesh, step " << step;
            }
        }
    }
    scene.showLod(true);
    SavePng(v.Frame(), "terrain-lod-flight.png");
}

} // namespace
