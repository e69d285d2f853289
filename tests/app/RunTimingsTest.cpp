#include "app/RunTimings.h"

#include <gtest/gtest.h>

namespace skyglide {
namespace {

using namespace std::chrono_literals;

// Ten frames 40 ms apart, a minute idle, five frames 20 ms apart: the rate
// is that of the frames drawn in a row (13 intervals over 0.44 s), the idle
// minute and the frame that ends it count for nothing.
TEST(RunTimings, TheFrameRateLeavesTheIdleTimeOut)
{
    TRunTimings timings;
    auto at = TRunTimings::TClock::time_point{} + 1h;
    for (int i = 0; i < 10; ++i, at += 40ms)
        timings.FrameRendered(1000, at);
    at += 1min;
    for (int i = 0; i < 5; ++i, at += 20ms)
        timings.FrameRendered(4000, at);
    EXPECT_EQ(timings.Frames(), 15);
    EXPECT_NEAR(timings.FrameRate(), 13 / 0.44, 1e-6);
    EXPECT_EQ(timings.TrianglesPerFrame(), 2000);
    EXPECT_EQ(timings.Report(1050), "skyglide: timing: frames 15\n"
                                    "skyglide: timing: frame rate 29.5 fps\n"
                                    "skyglide: timing: triangles per frame 2000\n"
                                    "skyglide: timing: peak memory 1050 MiB\n");
}

TEST(RunTimings, ARunOfSingleFramesHasNoFrameRate)
{
    TRunTimings timings;
    EXPECT_EQ(timings.TrianglesPerFrame(), 0);
    auto at = TRunTimings::TClock::time_point{} + 1h;
    for (int i = 0; i < 3; ++i, at += 1s)
        timings.FrameRendered(10, at);
    EXPECT_EQ(timings.FrameRate(), 0.0);
    EXPECT_GT(TRunTimings::PeakMemoryMiB(), 0);
}

} // namespace
} // namespace skyglide
