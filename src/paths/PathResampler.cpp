#include "paths/PathResampler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>

namespace skyglide {

namespace {

using Vec = std::array<double, 3>;

// Fractions of a segment at which its length along the curve is measured;
// between them the curve is close enough to straight that the frames keep
// an even pace to well under a percent.
constexpr int kArcSteps = 32;

// A degree of turn or tilt made in place counts as this many units of
// flight. The keys turn half a degree per unit flown, so a turn made while
// flying never slows the flight; a turn in place takes as long as a flight of
// that many units.
constexpr double kUnitsPerDegree = 1.0;

// The camera orbits a target one unit ahead of the observer; its offset from
// that target is what turns when the view tilts.
constexpr Vec kCameraTarget{0, 0, 1};

Vec vec(const std::array<float, 3>& v)
{
    return {double(v[0]), double(v[1]), double(v[2])};
}

std::array<float, 3> floats(const Vec& v)
{
    return {float(v[0]), float(v[1]), float(v[2])};
}

Vec operator+(const Vec& a, const Vec& b)
{
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

Vec operator-(const Vec& a, const Vec& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Vec operator*(const Vec& a, double s)
{
    return {a[0] * s, a[1] * s, a[2] * s};
}

double dot(const Vec& a, const Vec& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Vec cross(const Vec& a, const Vec& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double length(const Vec& a)
{
    return std::sqrt(dot(a, a));
}

bool samePlace(const Vec& a, const Vec& b)
{
    return length(a - b) < 1e-7;
}

// A direction as the viewer applies it: normalised, (0, 0, 1) when it has no
// length.
Vec unitDirection(const std::array<float, 3>& v)
{
    const Vec d = vec(v);
    const double l = length(d);
    return l > 0 ? d * (1 / l) : Vec{0, 0, 1};
}

double angleBetween(const Vec& a, const Vec& b)
{
    // atan2 keeps its precision for nearly equal and nearly opposite vectors.
    return std::atan2(length(cross(a, b)), dot(a, b));
}

// Spherical interpolation of unit vectors at an even angular rate. Opposite
// vectors turn about the vertical, as the observer turns about its up
// vector (about X when they are vertical themselves).
Vec slerp(const Vec& a, const Vec& b, double u)
{
    const double angle = angleBetween(a, b);
    if (angle < 1e-9)
        return a;
    if (std::numbers::pi - angle < 1e-6) {
        Vec side = cross(Vec{0, 1, 0}, a);
        if (length(side) < 1e-6)
            side = cross(Vec{1, 0, 0}, a);
        side = side * (1 / length(side));
        return a * std::cos(angle * u) + side * std::sin(angle * u);
    }
    const double s = std::sin(angle);
    return a * (std::sin((1 - u) * angle) / s) + b * (std::sin(u * angle) / s);
}

// As slerp(), for vectors of any length: the length changes evenly.
Vec slerpScaled(const Vec& a, const Vec& b, double u)
{
    const double la = length(a);
    const double lb = length(b);
    if (la == 0 || lb == 0)
        return a + (b - a) * u;
    return slerp(a * (1 / la), b * (1 / lb), u) * (la + (lb - la) * u);
}

// One point of the centripetal Catmull-Rom segment from p1 to p2 (Barry and
// Goldman's pyramid); the four points are distinct neighbours.
Vec catmullRom(const Vec& p0, const Vec& p1, const Vec& p2, const Vec& p3, double u)
{
    const double t0 = 0;
    const double t1 = t0 + std::sqrt(length(p1 - p0));
    const double t2 = t1 + std::sqrt(length(p2 - p1));
    const double t3 = t2 + std::sqrt(length(p3 - p2));
    const double t = t1 + u * (t2 - t1);
    const auto mix = [t](const Vec& a, const Vec& b, double ta, double tb) {
        return a * ((tb - t) / (tb - ta)) + b * ((t - ta) / (tb - ta));
    };
    const Vec a1 = mix(p0, p1, t0, t1);
    const Vec a2 = mix(p1, p2, t1, t2);
    const Vec a3 = mix(p2, p3, t2, t3);
    const Vec b1 = mix(a1, a2, t0, t2);
    const Vec b2 = mix(a2, a3, t1, t3);
    return mix(b1, b2, t1, t2);
}

} // namespace

std::optional<TPathSmoothing> parsePathSmoothing(std::string_view name)
{
    for (TPathSmoothing s :
         {TPathSmoothing::smNone, TPathSmoothing::smSpline, TPathSmoothing::smConstantSpeed})
        if (name == pathSmoothingName(s))
            return s;
    return std::nullopt;
}

const char* pathSmoothingName(TPathSmoothing smoothing)
{
    switch (smoothing) {
    case TPathSmoothing::smNone:
        return "none";
    case TPathSmoothing::smSpline:
        return "spline";
    case TPathSmoothing::smConstantSpeed:
        return "constant-speed";
    }
    return "";
}

std::vector<TPose> RecordedPoses(const TPathFile& path)
{
    std::vector<TPose> poses;
    poses.reserve(std::size_t(path.Count()));
    for (int i = 0; i < path.Count(); ++i) {
        try {
            poses.push_back(poseFromFields(splitPathLine(path[i])));
        } catch (const std::runtime_error& e) {
            throw std::runtime_error("line " + std::to_string(i + 1) + ": " + e.what());
        }
    }
    return poses;
}

TPathResampler::TPathResampler(std::vector<TPose> poses, TPathSmoothing smoothing,
                               int framesPerSecond)
    : m_poses(std::move(poses)), m_smoothing(smoothing), m_fps(std::max(framesPerSecond, 1))
{
    const int count = int(m_poses.size());
    if (smoothing == TPathSmoothing::smNone || count == 0) {
        m_frameCount = count;
        return;
    }
    m_frameCount = std::max(1, int((std::int64_t(count) * 60 * m_fps + 500) / 1000));

    m_previousPlace.assign(std::size_t(count), -1);
    m_nextPlace.assign(std::size_t(count), -1);
    for (int i = 1; i < count; ++i) {
        const bool moved =
            !samePlace(vec(m_poses[i - 1].ObserverPosition), vec(m_poses[i].ObserverPosition));
        m_previousPlace[i] = moved ? i - 1 : m_previousPlace[i - 1];
    }
    for (int i = count - 2; i >= 0; --i) {
        const bool moved =
            !samePlace(vec(m_poses[i + 1].ObserverPosition), vec(m_poses[i].ObserverPosition));
        m_nextPlace[i] = moved ? i + 1 : m_nextPlace[i + 1];
    }
    if (smoothing == TPathSmoothing::smConstantSpeed)
        measureFlight();
}

void TPathResampler::measureFlight()
{
    const int segments = int(m_poses.size()) - 1;
    m_reach.assign(std::size_t(segments) + 1, 0.0);
    m_arc.assign(std::size_t(segments) * (kArcSteps + 1), 0.0);
    m_turnInPlace.assign(std::size_t(segments), false);
    for (int i = 0; i < segments; ++i) {
        double* arc = m_arc.data() + std::size_t(i) * (kArcSteps + 1);
        Vec last = positionIn(i, 0);
        for (int step = 1; step <= kArcSteps; ++step) {
            const Vec next = positionIn(i, double(step) / kArcSteps);
            arc[step] = arc[step - 1] + length(next - last);
            last = next;
        }
        const TPose& a = m_poses[std::size_t(i)];
        const TPose& b = m_poses[std::size_t(i) + 1];
        const double turn = std::max(angleBetween(unitDirection(a.ObserverDirection),
                                                  unitDirection(b.ObserverDirection)),
                                     angleBetween(vec(a.CameraPosition) - kCameraTarget,
                                                  vec(b.CameraPosition) - kCameraTarget)) *
                            180 / std::numbers::pi * kUnitsPerDegree;
        m_turnInPlace[std::size_t(i)] = turn > arc[kArcSteps];
        m_reach[std::size_t(i) + 1] = m_reach[std::size_t(i)] + std::max(arc[kArcSteps], turn);
    }
}

std::array<double, 3> TPathResampler::positionIn(int segment, double fraction) const
{
    const Vec p1 = vec(m_poses[std::size_t(segment)].ObserverPosition);
    const Vec p2 = vec(m_poses[std::size_t(segment) + 1].ObserverPosition);
    if (fraction <= 0 || samePlace(p1, p2))
        return p1;
    if (fraction >= 1)
        return p2;
    // Past a pause the curve leaves in the direction it came from; at the
    // ends of the path a mirrored neighbour makes the curve start and end
    // straight.
    const int before = m_previousPlace[std::size_t(segment)];
    const int after = m_nextPlace[std::size_t(segment) + 1];
    const Vec p0 = before >= 0 ? vec(m_poses[std::size_t(before)].ObserverPosition) : p1 * 2 - p2;
    const Vec p3 = after >= 0 ? vec(m_poses[std::size_t(after)].ObserverPosition) : p2 * 2 - p1;
    return catmullRom(p0, p1, p2, p3, fraction);
}

TPose TPathResampler::poseIn(int segment, double fraction) const
{
    const TPose& a = m_poses[std::size_t(segment)];
    const TPose& b = m_poses[std::min(std::size_t(segment) + 1, m_poses.size() - 1)];
    TPose pose;
    pose.ObserverPosition = &a == &b ? a.ObserverPosition : floats(positionIn(segment, fraction));
    pose.ObserverDirection = floats(
        slerp(unitDirection(a.ObserverDirection), unitDirection(b.ObserverDirection), fraction));
    pose.CameraPosition =
        floats(kCameraTarget + slerpScaled(vec(a.CameraPosition) - kCameraTarget,
                                           vec(b.CameraPosition) - kCameraTarget, fraction));
    return pose;
}

TPose TPathResampler::PoseAt(double time) const
{
    if (m_poses.empty())
        throw std::out_of_range("TPathResampler::PoseAt(): the path has no poses");
    const int last = int(m_poses.size()) - 1;
    if (!(time > 0))
        return poseIn(0, 0);
    if (time >= last)
        return poseIn(last, 0);
    const int segment = int(time);
    return poseIn(segment, time - segment);
}

TPose TPathResampler::Frame(int index) const
{
    if (index < 0 || index >= m_frameCount)
        throw std::out_of_range("TPathResampler::Frame(): frame " + std::to_string(index) + " of " +
                                std::to_string(m_frameCount));
    if (m_smoothing == TPathSmoothing::smNone)
        return m_poses[std::size_t(index)];

    // Frame k is k ÷ rate seconds in: k × 1000 ÷ (rate × 60) poses, in whole
    // milliseconds, so that frames that fall on a pose hit it exactly.
    const int last = int(m_poses.size()) - 1;
    if (m_smoothing == TPathSmoothing::smSpline || m_reach.empty() || m_reach.back() <= 0) {
        const std::int64_t ticks = std::int64_t(index) * 1000;
        const std::int64_t perPose = std::int64_t(m_fps) * 60;
        const std::int64_t segment = ticks / perPose;
        if (segment >= last)
            return poseIn(last, 0);
        return poseIn(int(segment), double(ticks % perPose) / double(perPose));
    }

    // Even steps along the flight from its first pose to its last.
    const double reach =
        m_frameCount > 1 ? m_reach.back() * double(index) / double(m_frameCount - 1) : 0;
    const auto next = std::upper_bound(m_reach.begin(), m_reach.end(), reach);
    const int segment = std::clamp(int(next - m_reach.begin()) - 1, 0, last - 1);
    const double start = m_reach[std::size_t(segment)];
    const double span = m_reach[std::size_t(segment) + 1] - start;
    if (span <= 0)
        return poseIn(segment, 0);
    const double share = std::clamp((reach - start) / span, 0.0, 1.0);
    const double* arc = m_arc.data() + std::size_t(segment) * (kArcSteps + 1);
    if (m_turnInPlace[std::size_t(segment)])
        return poseIn(segment, share); // an even turn
    // The fraction of the segment at that length along the curve.
    const double along = share * arc[kArcSteps];
    const int step = std::clamp(int(std::upper_bound(arc, arc + kArcSteps + 1, along) - arc) - 1, 0,
                                kArcSteps - 1);
    const double piece = arc[step + 1] - arc[step];
    const double within = piece > 0 ? (along - arc[step]) / piece : 0;
    return poseIn(segment, (step + within) / kArcSteps);
}

} // namespace skyglide
