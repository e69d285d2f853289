// Flies the observer rig of the viewer's scene the way the scene window does:
// the cadencer (time multiplier 2) raises its progress, the handler applies
// the held keys in their fixed order, and the pose after every frame is
// compared with one computed independently, in double precision, from the
// rig's geometry: a heading angle for the observer, a position, and the
// camera's angle from the vertical on its unit circle about the target.

#include "render/Cadencer.h"

#include "ViewerComposition.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

using namespace skyglide;
using skyglide::test::expectNear;
using skyglide::test::ViewerComposition;

namespace {

constexpr double kDegree = M_PI / 180.0;

// The navigation rates at Velocity 100.
constexpr int Velocity = 100;
constexpr int TurnStep = 50;
constexpr int LiftStep = 80;

// PageUp looks up (the camera sinks around its target), Shift climbs, Ctrl
// sinks, Up flies forward.
constexpr unsigned PageUp = 1, PageDown = 2, Left = 4, Right = 8, Shift = 16, Ctrl = 32, Up = 64,
                   Down = 128;

// What the scene window does at each cadencer progress, in its key order,
// on the rig in the scene or on its model.
template <class Rig> void handleKeys(Rig& rig, unsigned keys, double deltaTime)
{
    if (keys & PageUp)
        rig.orbit(float(TurnStep * deltaTime));
    if (keys & PageDown)
        rig.orbit(float(-TurnStep * deltaTime));
    if (keys & Left)
        rig.turn(float(-TurnStep * deltaTime));
    if (keys & Right)
        rig.turn(float(TurnStep * deltaTime));
    if (keys & Shift)
        rig.lift(LiftStep * deltaTime);
    if (keys & Ctrl)
        rig.lift(-LiftStep * deltaTime);
    if (keys & Up)
        rig.move(float(Velocity * deltaTime));
    if (keys & Down)
        rig.move(float(-Velocity * deltaTime));
}

struct SceneRig
{
    ViewerComposition& v;
    void orbit(float pitchDelta) { v.Camera->OrbitTarget(pitchDelta, 0); }
    void turn(float angle) { v.Observer->Turn(angle); }
    void lift(double dy) { v.Observer->Position().SetY(float(v.Observer->Position().Y() + dy)); }
    void move(float distance) { v.Observer->Move(distance); }
};

// The rig as geometry: the observer stays level, so its direction is a
// heading; the camera sits on the unit circle about the target in the
// vertical plane through the observer's direction, behind the target, at an
// angle phi from the vertical.
struct RigModel
{
    double heading = 0; // degrees; 0 looks along +Z, 90 along −X
    double x = 0, y = 0, z = 0;
    double phi = M_PI / 2; // level with the target

    void orbit(float pitchDelta)
    {
        phi = std::clamp(phi + pitchDelta * kDegree, 0.025, M_PI - 0.025);
    }
    void turn(float angle) { heading += angle; }
    void lift(double dy) { y += dy; }
    void move(float distance)
    {
        x += dx() * distance;
        z += dz() * distance;
    }
    double dx() const { return -std::sin(heading * kDegree); }
    double dz() const { return std::cos(heading * kDegree); }
};

struct ExternalClock : TCadencerClock
{
    double seconds = 100;
    double RealTimeSeconds() override { return seconds; }
    double PerformanceCounterSeconds() override { return seconds; }
    void Sleep(int) override {}
};

struct Frame
{
    double realSeconds;
    unsigned keys;
};

// A flight: away from the start, a climbing turn, a long look down and up
// again into both stops, a sink, and back.
// clang-format off
const std::vector<Frame> kFlight = {
    {0.016, Up},            {0.017, Up},          {0.033, Up | Left},     {0.020, Up | Left},
    {0.050, Shift},         {0.040, Shift | Up},  {0.016, Right},         {0.100, Right | Up},
    {0.025, PageDown},      {0.500, PageDown},    {0.500, PageDown},      {0.500, PageDown | Up},
    {0.030, PageUp},        {0.700, PageUp},      {0.700, PageUp},        {0.700, PageUp | Left},
    {0.010, PageDown},      {0.300, PageDown},    {0.045, Ctrl | Down},   {0.045, Ctrl | Down},
    {0.016, Shift | Ctrl},  {0.250, Left | Up},   {0.250, Left | Up},     {0.250, Left | Up},
    {0.033, 0},             {0.080, Right | Down}, {0.016, PageUp | Up},  {0.120, Up | Shift},
};
// clang-format on

double extent(const RigModel& m)
{
    return std::max({1.0, std::abs(m.x), std::abs(m.y), std::abs(m.z)});
}

TEST(ObserverRig, ScriptedFlightEndsAtTheComputedPose)
{
    ViewerComposition viewer;

    // The start of the scene window: a 240 × 160 surface with exaggeration 1.
    const float W = 240, H = 160, M = std::max(W, H);
    RigModel model;
    SceneRig rig{viewer};
    viewer.Observer->Position().SetAsAffineVector({0.4f * W, M * 0.05f * 1.5f, -0.4f * H});
    model.x = 0.4 * W;
    model.y = M * 0.05 * 1.5;
    model.z = -0.4 * H;
    const float startTurn = float(std::atan(double(W) / H) / kDegree);
    rig.turn(startTurn);
    model.turn(startTurn);
    rig.orbit(-2);
    model.orbit(-2);

    ExternalClock clock;
    TCadencer cadencer(&clock);
    cadencer.SetMode(TCadencerMode::cmManual);
    cadencer.SetScene(&viewer.Scene1);
    cadencer.SetTimeMultiplier(2.0);
    unsigned held = 0;
    cadencer.OnProgress = [&](TCadencer&, double deltaTime, double) {
        handleKeys(rig, held, deltaTime);
    };

    bool reachedLowerStop = false, reachedUpperStop = false;
    double minSinPhi = 1;
    for (std::size_t i = 0; i < kFlight.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        held = kFlight[i].keys;
        clock.seconds += kFlight[i].realSeconds;
        cadencer.Tick();
        handleKeys(model, held, 2.0 * kFlight[i].realSeconds);
        viewer.renderFrame();

        // Single precision, carried through some thirty frames of moves and
        // turns: a few units in the last place of the largest coordinate.
        const double tolerance = 8 * FLT_EPSILON * extent(model);
        const TAffineVector p = viewer.Observer->Position().AsAffineVector();
        ASSERT_NEAR(p.X, model.x, tolerance);
        ASSERT_NEAR(p.Y, model.y, tolerance);
        ASSERT_NEAR(p.Z, model.z, tolerance);
        const TAffineVector d = viewer.Observer->Direction().AsAffineVector();
        ASSERT_NEAR(d.X, model.dx(), 8 * FLT_EPSILON);
        ASSERT_NEAR(d.Y, 0.0, 8 * FLT_EPSILON);
        ASSERT_NEAR(d.Z, model.dz(), 8 * FLT_EPSILON);
        // The orbit works in world coordinates and carries the result back
        // into the observer's frame, so its rounding is that of the world's.
        // Near a stop the plane of the orbit is set by the small horizontal
        // part of the camera's offset, which magnifies that rounding by
        // 1 / sin phi.
        minSinPhi = std::min(minSinPhi, std::sin(model.phi));
        const double cameraTolerance = tolerance / minSinPhi;
        const TAffineVector c = viewer.Camera->Position().AsAffineVector();
        ASSERT_NEAR(c.X, 0.0, cameraTolerance);
        ASSERT_NEAR(c.Y, std::cos(model.phi), cameraTolerance);
        ASSERT_NEAR(c.Z, 1 - std::sin(model.phi), cameraTolerance);
        ASSERT_NEAR(vectorLength(c - TAffineVector{0, 0, 1}), 1.0, cameraTolerance);
        reachedLowerStop |= model.phi == M_PI - 0.025;
        reachedUpperStop |= model.phi == 0.025;
    }
    EXPECT_TRUE(reachedLowerStop);
    EXPECT_TRUE(reachedUpperStop);

    // The whole pose in the world, as the render pass sees it.
    const float tolerance = float(8 * FLT_EPSILON * extent(model));
    const double eyeLift = std::cos(model.phi), eyeAhead = 1 - std::sin(model.phi);
    const TViewTransform view = viewer.Camera->ViewTransform();
    expectNear(view.Eye,
               {float(model.x + eyeAhead * model.dx()), float(model.y + eyeLift),
                float(model.z + eyeAhead * model.dz())},
               tolerance / float(minSinPhi));
    expectNear(view.Centre,
               {float(model.x + model.dx()), float(model.y), float(model.z + model.dz())},
               tolerance);
    EXPECT_EQ(view.Up, (TAffineVector{0, 1, 0}));
    double flightSeconds = 0;
    for (const Frame& frame : kFlight)
        flightSeconds += frame.realSeconds;
    EXPECT_NEAR(cadencer.LastTime(), 2.0 * flightSeconds, 1e-9);
}

} // namespace
