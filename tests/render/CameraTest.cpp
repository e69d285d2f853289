#include "render/Camera.h"

#include "ViewerComposition.h"

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

using namespace skyglide;
using skyglide::test::ViewerComposition;

namespace {

constexpr double kDegree = M_PI / 180.0;

void expectNear(const TAffineVector& actual, const TAffineVector& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.X, expected.X, tolerance);
    EXPECT_NEAR(actual.Y, expected.Y, tolerance);
    EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

// Angle between the camera's absolute up and the target-to-camera direction.
double orbitAngle(ViewerComposition& viewer)
{
    const TAffineVector t2c = viewer.Camera->AbsolutePosition().Affine() -
                              viewer.CameraTarget->AbsolutePosition().Affine();
    return std::acos(double(dotProduct(normalized(t2c), viewer.Camera->AbsoluteUp().Affine())));
}

double targetDistance(ViewerComposition& viewer)
{
    return vectorLength(viewer.Camera->AbsolutePosition().Affine() -
                        viewer.CameraTarget->AbsolutePosition().Affine());
}

// ---- orbiting the target ----------------------------------------------------

TEST(Camera, OrbitTargetMinus2RaisesTheCameraTo88Degrees)
{
    ViewerComposition viewer;
    viewer.Camera->OrbitTarget(-2, 0);
    EXPECT_NEAR(orbitAngle(viewer), 88 * kDegree, 1e-5);
    EXPECT_NEAR(targetDistance(viewer), 1.0, 1e-6);
    expectNear(viewer.Camera->Position().AsAffineVector(),
               {0, float(std::sin(2 * kDegree)), float(1 - std::cos(2 * kDegree))}, 1e-6f);
    // Orbiting moves the camera only: it keeps facing along its own axes.
    expectNear(viewer.Camera->Direction().AsAffineVector(), {0, 0, 1}, 0);
    expectNear(viewer.Camera->Up().AsAffineVector(), {0, 1, 0}, 0);
}

struct OrbitCase
{
    std::string name;
    float pitchDelta;
    float turnDelta;
    int repeats;
    double angle;             // from up to the target-to-camera direction
    TAffineVector cameraFrom; // the camera's offset from the target
};

void PrintTo(const OrbitCase& c, std::ostream* os)
{
    *os << c.name;
}

class Orbit : public testing::TestWithParam<OrbitCase>
{
};

TEST_P(Orbit, KeepsDistanceAndStopsShortOfThePoles)
{
    ViewerComposition viewer;
    viewer.Observer->Position().SetAsAffineVector({30, 4, -20});
    viewer.Observer->Turn(37);
    const OrbitCase& c = GetParam();
    for (int i = 0; i < c.repeats; ++i) {
        viewer.Camera->OrbitTarget(c.pitchDelta, c.turnDelta);
        ASSERT_GE(orbitAngle(viewer), 0.025 - 1e-5) << "after orbit " << i;
        ASSERT_LE(orbitAngle(viewer), 3.1165926 + 1e-5) << "after orbit " << i;
    }
    EXPECT_NEAR(orbitAngle(viewer), c.angle, 2e-5);
    EXPECT_NEAR(targetDistance(viewer), 1.0, 1e-5);
    // In the observer's frame, where the target is one unit ahead.
    expectNear(viewer.Camera->Position().AsAffineVector() - TAffineVector{0, 0, 1}, c.cameraFrom,
               2e-5f);
}

INSTANTIATE_TEST_SUITE_P(
    Camera, Orbit,
    testing::Values(OrbitCase{"LargePitchesStopAtTheLowerPole",
                              60,
                              0,
                              10,
                              3.1165926,
                              {0, float(std::cos(3.1165926)), float(-std::sin(3.1165926))}},
                    OrbitCase{"LargeNegativePitchesStopAtTheUpperPole",
                              -60,
                              0,
                              10,
                              0.025,
                              {0, float(std::cos(0.025)), float(-std::sin(0.025))}},
                    OrbitCase{"OneHugePitchIsClamped",
                              720,
                              0,
                              1,
                              3.1165926,
                              {0, float(std::cos(3.1165926)), float(-std::sin(3.1165926))}},
                    OrbitCase{"PitchesAddUp",
                              5,
                              0,
                              6,
                              M_PI / 2 + 30 * kDegree,
                              {0, float(-std::sin(30 * kDegree)), float(-std::cos(30 * kDegree))}},
                    OrbitCase{"TurnSwingsTheCameraAboutUp", 0, 90, 1, M_PI / 2, {-1, 0, 0}},
                    OrbitCase{"NoChangeStaysPut", 0, 0, 3, M_PI / 2, {0, 0, -1}}),
    [](const auto& info) { return info.param.name; });

TEST(Camera, OrbitWithoutTargetDoesNothing)
{
    TCamera camera;
    camera.Position().SetAsAffineVector({1, 2, 3});
    camera.OrbitTarget(-2, 10);
    camera.OrbitAround(&camera, 5, 5);
    expectNear(camera.Position().AsAffineVector(), {1, 2, 3}, 0);
}

// ---- projection -------------------------------------------------------------

struct ProjectionCase
{
    std::string name;
    std::function<void(TCamera&)> setUp;
    int width;
    int height;
    double halfWidthRatio;  // right / near
    double halfHeightRatio; // top / near
    double nearPlane;
};

void PrintTo(const ProjectionCase& c, std::ostream* os)
{
    *os << c.name;
}

class Projection : public testing::TestWithParam<ProjectionCase>
{
};

TEST_P(Projection, GivesTheFrustumOfTheWindow)
{
    const ProjectionCase& c = GetParam();
    TCamera camera;
    camera.SetFocalLength(100);
    camera.SetDepthOfView(100000);
    c.setUp(camera);
    const auto p = camera.LoadProjection({0, 0, c.width, c.height}, c.width, c.height, 96);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Kind, TProjectionKind::pkFrustum);
    EXPECT_NEAR(p->Right / p->Near, c.halfWidthRatio, 1e-5);
    EXPECT_NEAR(p->Top / p->Near, c.halfHeightRatio, 1e-5);
    EXPECT_NEAR(p->Left, -p->Right, 1e-6);
    EXPECT_NEAR(p->Bottom, -p->Top, 1e-6);
    EXPECT_NEAR(p->Near, c.nearPlane, 1e-5);
    EXPECT_NEAR(p->Far, p->Near + camera.DepthOfView(), 1e-2);
    EXPECT_FLOAT_EQ(camera.NearPlane(), float(p->Near));
    EXPECT_NEAR(camera.ViewPortRadius(), std::hypot(p->Top, p->Right) / p->Near, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(
    Camera, Projection,
    testing::Values(ProjectionCase{"ViewerWindow827x530", [](TCamera&) {}, 827, 530,
                                   827 * 25.4 / (4 * 100 * 96), 530 * 25.4 / (4 * 100 * 96),
                                   100 * 2 * 96 / (25.4 * 827)},
                    ProjectionCase{"PortraitWindowMeasuresItsHeight", [](TCamera&) {}, 530, 827,
                                   530 * 25.4 / (4 * 100 * 96), 827 * 25.4 / (4 * 100 * 96),
                                   100 * 2 * 96 / (25.4 * 827)},
                    ProjectionCase{"LongerFocalLengthNarrowsTheView",
                                   [](TCamera& c) { c.SetFocalLength(200); }, 827, 530,
                                   827 * 25.4 / (4 * 200 * 96), 530 * 25.4 / (4 * 200 * 96),
                                   200 * 2 * 96 / (25.4 * 827)},
                    ProjectionCase{"SceneScaleNarrowsTheView",
                                   [](TCamera& c) { c.SetSceneScale(2); }, 827, 530,
                                   827 * 25.4 / (4 * 100 * 96 * 2), 530 * 25.4 / (4 * 100 * 96 * 2),
                                   100 * 2 * 96 / (25.4 * 827)},
                    ProjectionCase{"NearPlaneBiasMovesOnlyTheNearPlane",
                                   [](TCamera& c) { c.SetNearPlaneBias(0.5f); }, 827, 530,
                                   827 * 25.4 / (4 * 100 * 96), 530 * 25.4 / (4 * 100 * 96),
                                   0.5 * 100 * 2 * 96 / (25.4 * 827)}),
    [](const auto& info) { return info.param.name; });

TEST(Camera, EmptyWindowHasNoProjection)
{
    TCamera camera;
    EXPECT_FALSE(camera.LoadProjection({0, 0, 0, 530}, 0, 530, 96));
    EXPECT_FALSE(camera.LoadProjection({0, 0, 827, 0}, 827, -1, 96));
}

// ---- settings ---------------------------------------------------------------

struct SettingCase
{
    std::string name;
    std::function<void(TCamera&)> set;
    std::function<float(const TCamera&)> get;
    float expected;
};

void PrintTo(const SettingCase& c, std::ostream* os)
{
    *os << c.name;
}

class Setting : public testing::TestWithParam<SettingCase>
{
};

TEST_P(Setting, StoresOnlyUsableValues)
{
    TCamera camera; // FocalLength 50, DepthOfView 100, SceneScale 1
    GetParam().set(camera);
    EXPECT_NEAR(GetParam().get(camera), GetParam().expected, 1e-5f * GetParam().expected);
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const auto focal = [](const TCamera& c) { return c.FocalLength(); };
const auto depth = [](const TCamera& c) { return c.DepthOfView(); };
const auto scale = [](const TCamera& c) { return c.SceneScale(); };

INSTANTIATE_TEST_SUITE_P(
    Camera, Setting,
    testing::Values(
        SettingCase{"FocalLength100", [](auto& c) { c.SetFocalLength(100); }, focal, 100},
        SettingCase{"FocalLengthZeroIsOne", [](auto& c) { c.SetFocalLength(0); }, focal, 1},
        SettingCase{"FocalLengthNegativeIsOne", [](auto& c) { c.SetFocalLength(-5); }, focal, 1},
        SettingCase{"FocalLengthNaNIsOne", [](auto& c) { c.SetFocalLength(kNaN); }, focal, 1},
        SettingCase{"FocalLengthInfiniteIsOne", [](auto& c) { c.SetFocalLength(kInf); }, focal, 1},
        SettingCase{"ViewAngleOfTheViewerGivesFocalLength100",
                    [](auto& c) { c.SetViewAngle(138.65115f, 530); }, focal, 100},
        SettingCase{"ViewAngleZeroIsIgnored", [](auto& c) { c.SetViewAngle(0, 530); }, focal, 50},
        SettingCase{"ViewAngle180IsIgnored", [](auto& c) { c.SetViewAngle(180, 530); }, focal, 50},
        SettingCase{"DepthOfViewZeroIsRefused", [](auto& c) { c.SetDepthOfView(0); }, depth, 100},
        SettingCase{"DepthOfViewNaNIsRefused", [](auto& c) { c.SetDepthOfView(kNaN); }, depth, 100},
        SettingCase{"SceneScaleZeroIsRefused", [](auto& c) { c.SetSceneScale(0); }, scale, 1}),
    [](const auto& info) { return info.param.name; });

TEST(Camera, ViewAngleForTheDesignedHeight)
{
    TCamera camera;
    camera.SetFocalLength(100);
    EXPECT_NEAR(camera.ViewAngleFor(530), 138.65115f, 1e-3f);
    EXPECT_NEAR(camera.ViewAngleFor(200), 90.0f, 1e-4f);
}

// ---- view transform and target ----------------------------------------------

TEST(Camera, ViewLooksAtTheTargetWithTheCamerasOwnUp)
{
    ViewerComposition viewer;
    viewer.Observer->Position().SetAsAffineVector({10, 5, 0});
    viewer.Observer->Turn(90);
    viewer.Observer->Up().SetAsAffineVector({0.1f, 1, 0}); // a rolled observer
    const TViewTransform view = viewer.Camera->ViewTransform();
    expectNear(view.Eye, viewer.Camera->AbsolutePosition().Affine(), 0);
    expectNear(view.Centre, viewer.CameraTarget->AbsolutePosition().Affine(), 0);
    expectNear(view.Up, {0, 1, 0}, 0); // as stored, not carried by the parents
    expectNear(viewer.Camera->LastViewDirection().Affine(), normalized(view.Centre - view.Eye));
}

TEST(Camera, DestroyedTargetLeavesTheCameraLookingAhead)
{
    ViewerComposition viewer;
    viewer.Observer->Position().SetAsAffineVector({10, 5, 0});
    viewer.Observer->Turn(90);
    viewer.Observer->DeleteChild(*viewer.CameraTarget);
    EXPECT_EQ(viewer.Camera->TargetObject(), nullptr);

    viewer.Camera->OrbitTarget(-30, 0); // nothing to orbit
    const TViewTransform view = viewer.Camera->ViewTransform();
    expectNear(view.Eye, {10, 5, 0});
    expectNear(view.Centre, {9, 5, 0}); // along the observer's direction
    expectNear(view.Up, {0, 1, 0});
}

TEST(Camera, CameraDestroyedBeforeItsTargetSignsOff)
{
    ViewerComposition viewer;
    viewer.Scene.SetCurrentCamera(viewer.Camera);
    viewer.Observer->DeleteChild(*viewer.Camera);
    EXPECT_EQ(viewer.Scene.CurrentCamera(), nullptr);
    viewer.Observer->DeleteChild(*viewer.CameraTarget); // no one left to tell
    EXPECT_EQ(viewer.Observer->Count(), 0);
}

TEST(Camera, CannotTargetItself)
{
    TCamera camera;
    camera.SetTargetObject(&camera);
    EXPECT_EQ(camera.TargetObject(), nullptr);
}

} // namespace
