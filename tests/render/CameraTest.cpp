#include "render/Camera.h"

#include "TestSupport.h"

#include "app/SceneComposition.h"
#include "render/DummyCube.h"

#include <limits>

using namespace skyglide;
using skyglide::test::ExpectNear;

namespace {

// ---- settings ---------------------------------------------------------------

TEST(Camera, SettingsThatWouldBreakTheFrameAreReplacedOrRefused)
{
    TCamera camera; // FocalLength 50, DepthOfView 100, SceneScale 1
    camera.SetFocalLength(0);
    EXPECT_EQ(camera.FocalLength(), 1.0f);
    camera.SetFocalLength(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(camera.FocalLength(), 1.0f);
    camera.SetViewAngle(138.65115f, 530); // the viewer's field of view at 530 pixels
    EXPECT_NEAR(camera.FocalLength(), 100.0f, 1e-3f);
    camera.SetViewAngle(180, 530);
    EXPECT_NEAR(camera.FocalLength(), 100.0f, 1e-3f);
    camera.SetDepthOfView(0);
    EXPECT_EQ(camera.DepthOfView(), 100.0f);
    camera.SetSceneScale(-1);
    EXPECT_EQ(camera.SceneScale(), 1.0f);
}

// ---- view transform and target ----------------------------------------------

TEST(Camera, WithoutATargetTheCameraLooksAheadAndCannotOrbit)
{
    TSceneComposition viewer;
    viewer.Observer->Position().SetAsAffineVector({10, 5, 0});
    viewer.Observer->Turn(90);
    viewer.Observer->DeleteChild(*viewer.CameraTarget);
    viewer.Camera->SetTargetObject(viewer.Camera); // refused: the view would have no direction
    EXPECT_EQ(viewer.Camera->TargetObject(), nullptr);
    viewer.Camera->OrbitTarget(-30, 10); // nothing to orbit
    const TViewTransform view = viewer.Camera->ViewTransform();
    ExpectNear(view.Eye, {10, 5, 0});
    ExpectNear(view.Centre, {9, 5, 0}); // along the observer's direction
    ExpectNear(view.Up, {0, 1, 0});
}

} // namespace
