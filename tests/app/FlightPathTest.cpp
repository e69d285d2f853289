#include "app/FlightPath.h"
#include "app/SceneComposition.h"
#include "render/Camera.h"
#include "render/DummyCube.h"

#include <gtest/gtest.h>

namespace skyglide::test {
namespace {

// The halves of a playback are in the flight controller's test; here the
// ends of the range.
TEST(PlaybackProgress, NoLinesGiveNothingAndLongPathsNoOverflow)
{
    EXPECT_EQ(PlaybackProgress(0, 0), 0);
    EXPECT_EQ(PlaybackProgress(1999999, 2000000), 100);
}

struct TNoticeCounter : TSceneListener
{
    void NotifyChange(TBaseSceneObject*) override { ++Notices; }
    int Notices = 0;
};

TEST(RigPose, AppliedAsOneNoticeWithTheRecordedHeading)
{
    TSceneComposition scene;
    TNoticeCounter counter;
    scene.Scene1.AddListener(&counter);
    ASSERT_EQ(scene.Observer->Direction().AsAffineVector(), (TAffineVector{0, 0, 1}));

    // Component by component the heading would end near (-0.541, 0, 0.841).
    const TPose pose{{12, 35.25f, -40.8f}, {-0.6f, 0, 0.8f}, {0, 0.03f, 0}};
    ApplyRigPose(scene, pose);
    EXPECT_EQ(counter.Notices, 1);
    EXPECT_EQ(scene.Scene1.UpdateCount(), 0);
    const TPose applied = RigPose(scene);
    EXPECT_EQ(applied.ObserverPosition, pose.ObserverPosition);
    EXPECT_EQ(applied.CameraPosition, pose.CameraPosition);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(applied.ObserverDirection[i], pose.ObserverDirection[i], 1e-6f) << i;
    EXPECT_NEAR(scene.Observer->Up().AsAffineVector().Y, 1.0f, 1e-6f)
        << "a level heading keeps the observer upright";
    EXPECT_EQ(formatPoseLine(0, applied), "0,12.00,35.25,-40.80,-0.60,0.00,0.80,0.00,0.03,0.00");
}

} // namespace
} // namespace skyglide::test
