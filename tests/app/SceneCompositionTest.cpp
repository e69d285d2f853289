#include "app/SceneComposition.h"

#include "TestSupport.h"

#include "data/RasterFile.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"

#include <cmath>
#include <numbers>

namespace skyglide::test {
namespace {

float Degrees(double radians)
{
    return float(radians * 180.0 / std::numbers::pi);
}

struct TCountingListener : TSceneListener
{
    void NotifyChange(TBaseSceneObject*) override { ++Notices; }
    int Notices = 0;
};

// The observer beyond the surface's corner at X = 0, Z = 0 by 40 % of each
// extent, 1.5 times as high as the surface reaches without exaggeration,
// looking at the middle of the surface, tilted 2° down; the height field
// scaled to the grid and sampled every factor cells. An empty grid
// (documentation that did not read) is placed as a grid of one cell, hidden.
TEST(SceneComposition, ShowSurfacePlacesTheObserverBeyondTheCornerLookingAtTheMiddle)
{
    const struct
    {
        int Width, Height;
        float Exaggeration;
        std::uint8_t Factor;
    } rows[] = {{1200, 600, 1.0f, 20}, {111, 111, 1.5f, 10}, {0, 0, 1.0f, 10}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.Width) + " x " + std::to_string(row.Height));
        TSceneComposition scene;
        TCountingListener listener;
        scene.Scene1.AddListener(&listener);
        TRasterFile surface;
        if (row.Width > 0)
            surface.Bitmap().SetSize(row.Width, row.Height, TPixelFormat::pf16bit);
        scene.ShowSurface(&surface, nullptr, row.Exaggeration, row.Factor);
        EXPECT_EQ(listener.Notices, 1);

        const bool empty = row.Width == 0;
        const float w = empty ? 1 : float(row.Width), h = empty ? 1 : float(row.Height);
        const float m = std::max(w, h);
        EXPECT_EQ(scene.HeightField1->Visible(), !empty);
        const TAffineVector scale = scene.HeightField1->Scale().AsAffineVector();
        EXPECT_EQ(scale.X, w);
        EXPECT_EQ(scale.Y, h);
        EXPECT_FLOAT_EQ(scale.Z, m * 0.05f * row.Exaggeration);
        EXPECT_FLOAT_EQ(scene.HeightField1->XSamplingScale().Step(), row.Factor / w);
        EXPECT_FLOAT_EQ(scene.HeightField1->YSamplingScale().Step(), row.Factor / h);
        ExpectNear(scene.Observer->Position().AsAffineVector(), {0.4f * w, m * 0.075f, -0.4f * h},
                   1e-3f);
        const TAffineVector view = normalized(scene.CameraTarget->AbsolutePosition().Affine() -
                                              scene.Camera->AbsolutePosition().Affine());
        EXPECT_NEAR(Degrees(std::atan2(-view.X, view.Z)), Degrees(std::atan(double(w) / h)), 1e-3f)
            << "at the middle";
    }
}

TEST(SceneComposition, TheTextureTakesTheDrapesPictureOver)
{
    TSceneComposition scene;
    TRasterFile surface, drape;
    const TTexture& texture = scene.HeightField1->Material().Texture();
    scene.ShowSurface(&surface, &drape, 1, 10);
    EXPECT_TRUE(texture.Disabled()) << "a drape without a picture leaves the texture off";

    drape.Bitmap().SetSize(349, 111, TPixelFormat::pf8bit);
    scene.ShowSurface(&surface, &drape, 1, 10);
    EXPECT_FALSE(texture.Disabled());
    ASSERT_TRUE(texture.Image());
    EXPECT_EQ(texture.Image()->Width(), 349);
    EXPECT_TRUE(drape.Bitmap().Empty()) << "the picture is taken over, not copied";
}

} // namespace
} // namespace skyglide::test
