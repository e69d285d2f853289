#include "render/Camera.h"

#include <gtest/gtest.h>

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

} // namespace
