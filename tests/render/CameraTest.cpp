#include "render/Camera.h"

#include "SceneViews.h"

#include "app/SceneComposition.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/LightSource.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

using namespace skyglide;
using skyglide::test::ExpectNear;

namespace {

constexpr double kDegree = M_PI / 180.0;

// Angle between the camera's absolute up and the target-to-camera direction.
double orbitAngle(TSceneComposition& viewer)
{
    const TAffineVector t2c = viewer.Camera->AbsolutePosition().Affine() -
                              viewer.CameraTarget->AbsolutePosition().Affine();
    return std::acos(double(dotProduct(normalized(t2c), viewer.Camera->AbsoluteUp().Affine())));
}

// ---- orbiting the target ----------------------------------------------------

TEST(Camera, OrbitTargetRaisesAndSwingsTheCameraAboutItsTarget)
{
    TSceneComposition viewer; // the camera one unit behind its target, level
    viewer.Camera->OrbitTarget(-2, 0);
    EXPECT_NEAR(orbitAngle(viewer), 88 * kDegree, 1e-5);
    ExpectNear(viewer.Camera->Position().AsAffineVector(),
               {0, float(std::sin(2 * kDegree)), float(1 - std::cos(2 * kDegree))});
    // Orbiting moves the camera only: it keeps its own axes.
    ExpectNear(viewer.Camera->Direction().AsAffineVector(), {0, 0, 1}, 0);
    ExpectNear(viewer.Camera->Up().AsAffineVector(), {0, 1, 0}, 0);

    // A turn swings it about Up, wherever the observer stands and faces.
    TSceneComposition turned;
    turned.Observer->Position().SetAsAffineVector({30, 4, -20});
    turned.Observer->Turn(37);
    turned.Camera->OrbitTarget(0, 90);
    EXPECT_NEAR(orbitAngle(turned), M_PI / 2, 2e-5);
    ExpectNear(turned.Camera->Position().AsAffineVector(), {-1, 0, 1}, 2e-5f);
}

// ---- projection -------------------------------------------------------------

TEST(Camera, ProjectionKeepsTheWindowsShapeAndRefusesAnEmptyWindow)
{
    TCamera camera;
    camera.SetFocalLength(100);
    camera.SetDepthOfView(100000);
    for (const auto& [width, height] : {std::pair{827, 530}, {530, 827}}) {
        const auto p = camera.LoadProjection({0, 0, width, height}, width, height, 96);
        ASSERT_TRUE(p);
        EXPECT_NEAR(p->Right / p->Top, double(width) / height, 1e-5);
        EXPECT_NEAR(p->Left, -p->Right, 1e-6);
        EXPECT_NEAR(p->Far - p->Near, 100000, 1e-2);
        EXPECT_NEAR(camera.ViewPortRadius(), std::hypot(p->Top, p->Right) / p->Near, 1e-5);
    }
    EXPECT_FALSE(camera.LoadProjection({0, 0, 0, 530}, 0, 530, 96));
    EXPECT_FALSE(camera.LoadProjection({0, 0, 827, 0}, 827, -1, 96));
}

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
