// The sky dome's bands without a GL context.

#include "render/SkyDome.h"

#include <functional>

#include <gtest/gtest.h>

using namespace skyglide;

namespace {

// A new band runs from 0° to 0° in 12 slices and 1 stack; its setters keep
// it drawable.
TEST(SkyDome, BandSettersKeepTheBandDrawable)
{
    // clang-format off
    const std::tuple<const char*, std::function<void(TSkyDomeBand&)>, float, float, int, int> rows[] = {
        {"a start above 90° is clamped and pushes the stop", [](auto& b) { b.SetStartAngle(100); }, 90, 90, 12, 1},
        {"a stop below the start pulls the start down", [](auto& b) { b.SetStartAngle(30); b.SetStopAngle(-120); }, -90, -90, 12, 1},
        {"a stop above the start leaves it", [](auto& b) { b.SetStartAngle(10); b.SetStopAngle(40); }, 10, 40, 12, 1},
        {"two slices become three", [](auto& b) { b.SetSlices(2); }, 0, 0, 3, 1},
        {"no stacks become one", [](auto& b) { b.SetStacks(0); }, 0, 0, 12, 1}};
    // clang-format on
    for (const auto& [name, change, startAngle, stopAngle, slices, stacks] : rows) {
        TSkyDome dome;
        TSkyDomeBand& band = dome.Bands().Add();
        change(band);
        EXPECT_EQ(band.StartAngle(), startAngle) << name;
        EXPECT_EQ(band.StopAngle(), stopAngle) << name;
        EXPECT_EQ(band.Slices(), slices) << name;
        EXPECT_EQ(band.Stacks(), stacks) << name;
    }
}

} // namespace
