#include "render/Camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace skyglide;

namespace {

// Settings that would give a projection OpenGL rejects, every frame, or a
// view without a direction.
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
    camera.SetTargetObject(&camera);
    EXPECT_EQ(camera.TargetObject(), nullptr) << "a camera cannot target itself";
}

// At a screen scale factor of 2 the framebuffer has twice the pixels and the
// view is drawn at twice the dots per inch: the frustum must not change, or
// the field of view doubles on screen.
TEST(Camera, ProjectionIsTheSameAtEveryScaleFactor)
{
    for (const float ratio : {1.5f, 2.0f}) {
        TCamera camera;
        const int w = 800, h = 530;
        const auto one = camera.LoadProjection({0, 0, w, h}, w, h, 96);
        const int sw = int(float(w) * ratio), sh = int(float(h) * ratio);
        const auto scaled = camera.LoadProjection({0, 0, sw, sh}, sw, sh, 96 * ratio);
        ASSERT_TRUE(one && scaled);
        EXPECT_NEAR(scaled->Left, one->Left, 1e-4 * std::abs(one->Left)) << ratio;
        EXPECT_NEAR(scaled->Right, one->Right, 1e-4 * std::abs(one->Right)) << ratio;
        EXPECT_NEAR(scaled->Top, one->Top, 1e-4 * std::abs(one->Top)) << ratio;
        EXPECT_NEAR(scaled->Bottom, one->Bottom, 1e-4 * std::abs(one->Bottom)) << ratio;
        EXPECT_NEAR(scaled->Near, one->Near, 1e-4 * one->Near) << ratio;
    }
}

} // namespace
