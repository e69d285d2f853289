#include "paths/PathResampler.h"

#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>

#include <gtest/gtest.h>

using namespace skyglide;
using Vec = std::array<float, 3>;
using Sm = TPathSmoothing;

namespace {

TPose pose(Vec position, Vec direction = {0, 0, 1}, Vec camera = {0, 0.03f, 0})
{
    return {position, direction, camera};
}

double distance(const Vec& a, const Vec& b)
{
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

double degreesBetween(const Vec& a, const Vec& b)
{
    const double ax = a[0], ay = a[1], az = a[2], bx = b[0], by = b[1], bz = b[2];
    const double cross = std::hypot(ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx);
    return std::atan2(cross, ax * bx + ay * by + az * bz) * 180 / M_PI;
}

// Where the camera is in the world: its position relative to the observer in
// the observer's frame (across, up, ahead), the observer upright.
Vec cameraInWorld(const TPose& p)
{
    const Vec& d = p.ObserverDirection;
    const double l = std::hypot(d[0], d[1], d[2]);
    const double dx = d[0] / l, dy = d[1] / l, dz = d[2] / l;
    const Vec& c = p.CameraPosition;
    return {float(p.ObserverPosition[0] + c[0] * dz + c[2] * dx),
            float(p.ObserverPosition[1] + c[1] + c[2] * dy),
            float(p.ObserverPosition[2] - c[0] * dx + c[2] * dz)};
}

// The spread of the camera's frame-to-frame speed, (max - min) / mean.
double speedSpread(const TPathResampler& frames)
{
    std::vector<double> speeds;
    for (int k = 1; k < frames.FrameCount(); ++k)
        speeds.push_back(
            distance(cameraInWorld(frames.Frame(k)), cameraInWorld(frames.Frame(k - 1))));
    const auto [low, high] = std::minmax_element(speeds.begin(), speeds.end());
    double mean = 0;
    for (double s : speeds)
        mean += s / double(speeds.size());
    return (*high - *low) / mean;
}

// A path as the viewer records it: the rig is moved by the keys at every
// frame of the renderer, which comes at uneven intervals, and its pose is
// written with two decimals every 60 ms. `keys(t)` gives the held keys' rates
// at time t: units per second ahead, degrees per second to the left, units
// per second up.
std::vector<TPose> flown(double seconds, const std::function<std::array<double, 3>(double)>& keys)
{
    std::mt19937 random(16);
    double x = 480, y = 90, z = -240, heading = 63.43; // the start-up pose of Trinidad
    double t = 0;
    TPathFile path;
    for (int tick = 0; tick * 0.060 <= seconds; ++tick) {
        // Frames of 20 to 50 ms: one tick sees one frame's motion, the next two.
        while (t < tick * 0.060) {
            const double step = 0.020 + 0.030 * double(random() % 1000) / 1000;
            const auto [ahead, left, up] = keys(t);
            heading += left * step;
            const double h = heading * M_PI / 180;
            x -= std::sin(h) * ahead * step;
            z += std::cos(h) * ahead * step;
            y += up * step;
            t += step;
        }
        const double h = heading * M_PI / 180;
        path.Add(formatPoseLine(tick,
                                pose({float(x), float(y), float(z)},
                                     {float(-std::sin(h)), 0, float(std::cos(h))}, {0, 0.03f, 0})));
    }
    return RecordedPoses(path);
}

// Forward at 200 units a second (velocity 100) with two turns and a climb.
std::vector<TPose> handFlown()
{
    return flown(8, [](double t) -> std::array<double, 3> {
        const double left = t > 1.5 && t < 2.5 ? 100.0 : t > 4 && t < 5.5 ? -60.0 : 0.0;
        return {200, left, t > 3 && t < 3.5 ? 160.0 : 0.0};
    });
}

} // namespace

TEST(PathResamplerTest, SplinePassesThroughEveryRecordedPosition)
{
    std::vector<TPose> poses = handFlown();
    // A pause and a way back over the same ground as well.
    poses.insert(poses.begin() + 40, 6, poses[40]);
    poses.push_back(poses[poses.size() - 3]);

    // At 50 frames per second every third frame falls on a pose.
    const TPathResampler spline(poses, Sm::smSpline, 50);
    ASSERT_EQ(spline.FrameCount(), 3 * int(poses.size()));
    for (std::size_t i = 0; i < poses.size(); ++i) {
        SCOPED_TRACE("pose " + std::to_string(i));
        const TPose frame = spline.Frame(int(i) * 3);
        EXPECT_EQ(frame.ObserverPosition, poses[i].ObserverPosition);
        EXPECT_EQ(spline.PoseAt(double(i)).ObserverPosition, poses[i].ObserverPosition);
        EXPECT_LT(degreesBetween(frame.ObserverDirection, poses[i].ObserverDirection), 1e-3);
        EXPECT_LT(distance(frame.CameraPosition, poses[i].CameraPosition), 1e-5);
    }

    const TPathResampler none(poses, Sm::smNone, 50);
    ASSERT_EQ(none.FrameCount(), int(poses.size()));
    for (std::size_t i = 0; i < poses.size(); ++i)
        EXPECT_EQ(formatPoseLine(0, none.Frame(int(i))), formatPoseLine(0, poses[i])) << i;
}

TEST(PathResamplerTest, ConstantSpeedEvensOutAHandFlownPath)
{
    const char* samples = std::getenv("SKYGLIDE_SAMPLES_DIR");
    TPathFile sample;
    sample.LoadFromFile(std::string(samples ? samples : "samples") + "/trinidad-flight.csv");
    const std::pair<const char*, std::vector<TPose>> paths[] = {{"hand-flown", handFlown()},
                                                                {"sample", RecordedPoses(sample)}};
    for (const auto& [name, poses] : paths) {
        for (int fps : {24, 30, 60}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(fps));
            const TPathResampler spline(poses, Sm::smSpline, fps);
            const TPathResampler even(poses, Sm::smConstantSpeed, fps);
            EXPECT_GT(speedSpread(spline), 0.2) << "the path has no jitter to even out";
            EXPECT_LT(speedSpread(even), 0.05);
            EXPECT_EQ(even.FrameCount(), spline.FrameCount());
            EXPECT_EQ(even.Frame(0).ObserverPosition, poses.front().ObserverPosition);
            EXPECT_LT(distance(even.Frame(even.FrameCount() - 1).ObserverPosition,
                               poses.back().ObserverPosition),
                      1e-3)
                << "the flight ends where it was recorded to";
        }
    }

    // A pause in the middle of the flight is gone too.
    std::vector<TPose> paused = handFlown();
    paused.insert(paused.begin() + 60, 30, paused[60]);
    EXPECT_LT(speedSpread(TPathResampler(paused, Sm::smConstantSpeed, 30)), 0.05);
}

TEST(PathResamplerTest, FrameCountFollowsTheFlightsDuration)
{
    // poses, frame rate, frames of a smoothed movie: as long as the viewer
    // plays the path, 60 ms per pose
    const std::tuple<int, int, int> rows[] = {
        {0, 30, 0},   {1, 24, 1},     {1, 30, 2},     {2, 60, 7},
        {17, 30, 31}, {300, 24, 432}, {300, 30, 540}, {301, 50, 903},
    };
    for (const auto& [count, fps, frames] : rows) {
        const std::vector<TPose> poses(std::size_t(count), pose({1, 2, 3}));
        for (Sm smoothing : {Sm::smNone, Sm::smSpline, Sm::smConstantSpeed}) {
            const TPathResampler resampler(poses, smoothing, fps);
            EXPECT_EQ(resampler.FrameCount(), smoothing == Sm::smNone ? count : frames)
                << count << " poses at " << fps << " " << pathSmoothingName(smoothing);
        }
    }
}

TEST(PathResamplerTest, DegeneratePathsGiveSaneFrames)
{
    const auto east = [](int from, int count, float y = 50) {
        std::vector<TPose> poses;
        for (int i = 0; i < count; ++i)
            poses.push_back(pose({float(from + 12 * i), y, 100}, {1, 0, 0}));
        return poses;
    };
    const auto join = [](std::vector<TPose> a, const std::vector<TPose>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    // A turn in place, 30 degrees per pose, from east to west.
    std::vector<TPose> turning;
    for (int degrees = 0; degrees <= 180; degrees += 30) {
        const double r = degrees * M_PI / 180;
        turning.push_back(pose({108, 50, 100}, {float(std::cos(r)), 0, float(std::sin(r))}));
    }
    const std::vector<TPose> out = east(0, 9);
    std::vector<TPose> back;
    for (int i = 0; i < 10; ++i)
        back.push_back(pose({float(108 - 12 * i), 50, 100}, {-1, 0, 0}));

    const std::pair<const char*, std::vector<TPose>> paths[] = {
        {"one pose", {pose({5, 6, 7}, {0, 0, -2})}},
        {"repeated pose", std::vector<TPose>(9, pose({5, 6, 7}))},
        {"U-turn in place", join(join(east(0, 10), turning), back)},
        {"about-face in one pose", join(east(0, 10), back)},
        {"reversal without a turn", join(east(0, 10), {out.rbegin(), out.rend()})},
        {"zero direction", {pose({0, 0, 0}, {0, 0, 0}), pose({0, 0, 12}, {0, 0, 0})}},
        {"climb in place", {pose({0, 0, 0}), pose({0, 0, 0}, {0, 0, 1}, {0, 0.5f, 0.1f})}},
    };
    for (const auto& [name, poses] : paths) {
        // The corners of the recorded positions.
        Vec low = poses[0].ObserverPosition, high = low;
        for (const TPose& p : poses)
            for (int i = 0; i < 3; ++i) {
                low[i] = std::min(low[i], p.ObserverPosition[i]);
                high[i] = std::max(high[i], p.ObserverPosition[i]);
            }
        for (Sm smoothing : {Sm::smSpline, Sm::smConstantSpeed}) {
            SCOPED_TRACE(std::string(name) + ", " + pathSmoothingName(smoothing));
            const TPathResampler frames(poses, smoothing, 30);
            ASSERT_GE(frames.FrameCount(), 1);
            double largestTurn = 0;
            for (int k = 0; k < frames.FrameCount(); ++k) {
                const TPose f = frames.Frame(k);
                const Vec& d = f.ObserverDirection;
                EXPECT_NEAR(std::hypot(d[0], d[1], d[2]), 1, 1e-5) << k;
                EXPECT_NEAR(d[1], 0, 1e-6) << k << ": the observer stays upright";
                for (int i = 0; i < 3; ++i) {
                    EXPECT_TRUE(std::isfinite(f.CameraPosition[i])) << k;
                    EXPECT_GE(f.ObserverPosition[i], low[i] - 1e-3) << k;
                    EXPECT_LE(f.ObserverPosition[i], high[i] + 1e-3) << k;
                }
                if (k > 0)
                    largestTurn = std::max(
                        largestTurn, degreesBetween(d, frames.Frame(k - 1).ObserverDirection));
            }
            // Spread over frames at 30 per second, a turn never jumps.
            if (smoothing == Sm::smConstantSpeed) {
                EXPECT_LT(largestTurn, 20);
            }
        }
    }
}
