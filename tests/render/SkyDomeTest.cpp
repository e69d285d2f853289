// The sky dome's bands without a GL context: their settings and the repaints
// their changes ask for.

#include "render/SkyDome.h"
#include "render/Scene.h"

#include <string>

#include <gtest/gtest.h>

using namespace skyglide;

namespace {

struct CountingListener : TSceneListener
{
    int notices = 0;
    void NotifyChange(TBaseSceneObject*) override { ++notices; }
};

struct BandCase
{
    std::string name;
    void (*change)(TSkyDomeBand&);
    float startAngle, stopAngle;
    int slices, stacks;
};

class BandSetters : public testing::TestWithParam<BandCase>
{
};

TEST_P(BandSetters, KeepTheBandDrawable)
{
    TSkyDome dome;
    TSkyDomeBand& band = dome.Bands().Add(); // 0° to 0°, 12 slices, 1 stack
    GetParam().change(band);
    EXPECT_EQ(band.StartAngle(), GetParam().startAngle);
    EXPECT_EQ(band.StopAngle(), GetParam().stopAngle);
    EXPECT_EQ(band.Slices(), GetParam().slices);
    EXPECT_EQ(band.Stacks(), GetParam().stacks);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(SkyDome, BandSetters, testing::Values(
    BandCase{"StartAbove90IsClampedAndPushesStop", [](TSkyDomeBand& b) { b.SetStartAngle(100); }, 90, 90, 12, 1},
    BandCase{"StopBelowStartPullsStartDown", [](TSkyDomeBand& b) { b.SetStartAngle(30); b.SetStopAngle(-120); }, -90, -90, 12, 1},
    BandCase{"StopAboveStartLeavesStart", [](TSkyDomeBand& b) { b.SetStartAngle(10); b.SetStopAngle(40); }, 10, 40, 12, 1},
    BandCase{"TwoSlicesBecomeThree", [](TSkyDomeBand& b) { b.SetSlices(2); }, 0, 0, 3, 1},
    BandCase{"NoStacksBecomeOne", [](TSkyDomeBand& b) { b.SetStacks(0); }, 0, 0, 12, 1}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST(SkyDome, EveryBandChangeAsksForARepaint)
{
    TScene scene;
    CountingListener viewer;
    scene.AddListener(&viewer);
    auto& dome = scene.Objects().AddNewChild<TSkyDome>();
    viewer.notices = 0;

    dome.Bands()[0].SetStartColor({0.9f, 0.9f, 1, 1});
    dome.Bands()[0].SetStartColor({0.8f, 0.9f, 1, 1});
    dome.Bands()[1].SetStacks(3);
    dome.Bands().Clear();
    EXPECT_EQ(viewer.notices, 4) << "the dome is drawn afresh every frame, so each change repaints";
}

} // namespace
