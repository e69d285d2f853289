#pragma once

#include "paths/PathFile.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace skyglide {

/// How the poses of a recorded path become the frames of a movie.
enum class TPathSmoothing {
    smNone,          ///< one frame per recorded pose, exactly as recorded
    smSpline,        ///< frames at the movie's rate along a curve through every pose
    smConstantSpeed, ///< as smSpline, re-timed to an even speed along the flight
};

/// "none", "spline" or "constant-speed"; nothing for any other text.
std::optional<TPathSmoothing> parsePathSmoothing(std::string_view name);
const char* pathSmoothingName(TPathSmoothing smoothing);

/// Every pose of a path, line 0 included, in order. Throws std::runtime_error
/// "line <n>: <reason>" (n counted from 1) for the first line that does not
/// hold a pose; the path itself is not touched.
std::vector<TPose> RecordedPoses(const TPathFile& path);

/// Turns the poses of a recorded path, one every PoseInterval seconds, into
/// the poses of a movie's frames at a given frame rate.
///
/// - smNone: frame k is pose k as recorded.
/// - smSpline: frame k shows the flight k ÷ rate seconds after the first pose,
///   and the movie lasts as long as the viewer plays the path, a pose
///   interval per pose (the last pose is held for its interval). The
///   observer's position follows a centripetal Catmull-Rom curve through
///   every recorded position (no loops or cusps at sharp turns or uneven
///   spacing); its direction, and the camera's offset from the target it
///   orbits one unit ahead of the observer, turn at an even rate between two
///   poses (spherical interpolation).
/// - smConstantSpeed: the same curve and as many frames, spaced evenly along
///   the flight from its first pose to its last, so the jitter of a
///   hand-flown path and its pauses are gone. A turn or tilt made in place
///   gets its share of the time too (a degree counts as one unit of flight,
///   half the ratio the keys make), instead of happening between two frames.
///
/// Directions in the frames are unit vectors. Poses that repeat, a single
/// pose, a direction of zero length (taken as (0, 0, 1), as the viewer does)
/// and reversals all give finite frames.
class TPathResampler
{
public:
    /// The recording interval of a path: one pose per 60 ms path tick.
    static constexpr double PoseInterval = 0.060;

    /// `framesPerSecond` below 1 counts as 1.
    TPathResampler(std::vector<TPose> poses, TPathSmoothing smoothing, int framesPerSecond);

    TPathSmoothing Smoothing() const { return m_smoothing; }
    int FramesPerSecond() const { return m_fps; }
    const std::vector<TPose>& Poses() const { return m_poses; }

    /// smNone: the number of poses. Otherwise the path's playing time, poses ×
    /// 0.06 s, in frames, rounded to the nearest (at least one frame for a
    /// path of one pose, none for an empty path).
    int FrameCount() const { return m_frameCount; }

    /// The pose of frame `index`, 0 ≤ index < FrameCount().
    TPose Frame(int index) const;

    /// The pose on the curve at `time` poses after the first (2.5 is half way
    /// from pose 2 to pose 3), clamped to the path; a whole `time` gives that
    /// pose's position exactly.
    TPose PoseAt(double time) const;

private:
    TPose poseIn(int segment, double fraction) const;
    std::array<double, 3> positionIn(int segment, double fraction) const;
    void measureFlight();

    std::vector<TPose> m_poses;
    TPathSmoothing m_smoothing;
    int m_fps;
    int m_frameCount = 0;
    // The nearest pose before and after each pose at another position: the
    // curve's neighbours when the observer paused (-1: none).
    std::vector<int> m_previousPlace;
    std::vector<int> m_nextPlace;
    // smConstantSpeed: how far the flight has come at each pose and, per
    // segment, the length along the curve at even fractions of it and
    // whether its turn takes longer than its flight.
    std::vector<double> m_reach;
    std::vector<double> m_arc;
    std::vector<bool> m_turnInPlace;
};

} // namespace skyglide
