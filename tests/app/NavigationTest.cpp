#include "app/Navigation.h"

#include "SceneViews.h"

#include "app/SceneComposition.h"
#include "data/RasterFile.h"
#include "render/Cadencer.h"
#include "render/Camera.h"
#include "render/DummyCube.h"

#include <Qt>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace skyglide::test {
namespace {

TEST(ChangeVelocity, StepsByTenNeverBelowTenWithDerivedRates)
{
    using V = TVelocityChange;
    constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
    const struct
    {
        const char* Name;
        std::int32_t Velocity;
        std::uint8_t Default;
        V Kind;
        TNavigationRates Expected;
    } rows[] = {
        {"decrease at 10 stays", 10, 0, V::vcDecrease, {10, 5, 8}},
        {"decrease from 14 gives 10, not 4", 14, 0, V::vcDecrease, {10, 5, 8}},
        {"14 after one decrease from 24", 24, 0, V::vcDecrease, {14, 7, 11}},
        {"restore to 255", 10, 255, V::vcRestore, {255, 127, 204}},
        {"increase saturates", Max - 3, 0, V::vcIncrease, {Max, 1073741823, 1717986944}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ChangeVelocity(row.Velocity, row.Default, row.Kind), row.Expected) << row.Name;
    EXPECT_EQ(DefaultVelocityFor(13), 4) << "20 times 13 in 8 bits";
}

TEST(WheelVelocity, StepsByItsFactorBetweenTheFloorAndTheCeiling)
{
    const struct
    {
        const char* Name;
        std::int32_t Velocity;
        double Notches;
        std::int32_t Expected;
    } rows[] = {
        {"one notch up", 100, 1, 125},
        {"three notches up, rounded once", 100, 3, 195},
        {"back down", 195, -3, 100},
        {"at the floor", 10, -1, 10},
        {"near the floor", 11, -2, 10},
        {"small velocities still move", 10, 1, 13},
        {"at the ceiling", MaximumWheelVelocity - 5, 2, MaximumWheelVelocity},
        {"keys above the ceiling are not pulled down", 3000, 1, 3000},
        {"but the wheel brings them down", 3000, -1, 2400},
        {"no notch", 100, 0, 100},
    };
    for (const auto& row : rows)
        EXPECT_EQ(WheelVelocity(row.Velocity, row.Notches), RatesFor(row.Expected)) << row.Name;
}

TEST(MouseFlight, TheOffsetFromThePressSetsTheShareWithADeadZoneAndAFullDeflection)
{
    TMouseFlight mouse;
    EXPECT_EQ(mouse.Across(), 0);
    mouse.Press(TMouseDrag::mdTurnTilt, 200, 200);
    mouse.MoveTo(200 + TMouseFlight::DeadZone, 200 - TMouseFlight::DeadZone);
    EXPECT_EQ(mouse.Across(), 0) << "a hand never holds quite still";
    EXPECT_EQ(mouse.Upwards(), 0);
    const int half = TMouseFlight::DeadZone + (TMouseFlight::FullDeflection - TMouseFlight::DeadZone) / 2;
    mouse.MoveTo(200 - half, 200 - 5 * TMouseFlight::FullDeflection);
    EXPECT_NEAR(mouse.Across(), -0.5, 0.01) << "left is negative";
    EXPECT_EQ(mouse.Upwards(), 1) << "up is positive, and never beyond the full rate";
    mouse.Release();
    EXPECT_FALSE(mouse.Active());
}

TEST(KeyState, AutoRepeatNeitherPressesNorReleasesAndEitherKeyOfARowActs)
{
    TKeyState keys;
    keys.KeyPressed(Qt::Key_Up, false);
    keys.KeyReleased(Qt::Key_Up, true); // the X server's repeat pair
    keys.KeyPressed(Qt::Key_Up, true);
    keys.KeyPressed(Qt::Key_X, true);
    EXPECT_TRUE(keys.IsDown(Qt::Key_Up));
    EXPECT_FALSE(keys.IsDown(Qt::Key_X)) << "a repeat is not a press";
    keys.KeyPressed(Qt::Key_S, false);
    EXPECT_TRUE(keys.AnyDown(NavigationRows[0])) << "Page Up or S";
    EXPECT_FALSE(keys.AnyDown(NavigationRows[1]));
}

// The rig as geometry, computed apart from the scene graph in double
// precision: the observer stays level, so its direction is a heading; the
// camera sits on the unit circle about the target in the vertical plane
// through the observer's direction, behind the target, at an angle phi from
// the vertical.
struct TRigModel
{
    double Heading = 0; // degrees; 0 looks along +Z, 90 along −X
    double X = 0, Y = 0, Z = 0;
    double Phi = std::numbers::pi / 2; // level with the target

    double Dx() const { return -std::sin(Heading * std::numbers::pi / 180); }
    double Dz() const { return std::cos(Heading * std::numbers::pi / 180); }
    // One poll at velocity 100 (turn 50, lift 80), in the key table's order;
    // the orbit stops 0.025 short of the poles.
    void Fly(const std::vector<int>& keys, double dt)
    {
        const auto held = [&](int key) { return int(std::count(keys.begin(), keys.end(), key)); };
        Phi += (held(Qt::Key_PageUp) - held(Qt::Key_PageDown)) * float(50 * dt) *
               (std::numbers::pi / 180);
        Phi = std::clamp(Phi, 0.025, std::numbers::pi - 0.025);
        Heading += (held(Qt::Key_Right) - held(Qt::Key_Left)) * double(float(50 * dt));
        Y += (held(Qt::Key_Shift) - held(Qt::Key_Control)) * 80 * dt;
        const double distance = (held(Qt::Key_Up) - held(Qt::Key_Down)) * double(float(100 * dt));
        X += Dx() * distance;
        Z += Dz() * distance;
    }
};

// The scene window's flight without the window: the cadencer (time
// multiplier 2) raises its progress and the navigation moves the rig by the
// held keys, from the start pose over a 240 × 160 surface. After every frame
// the pose is the model's: away from the start, a climbing turn, a long look
// down and up again into both stops, a sink, and back.
TEST(Navigation, ScriptedFlightEndsAtTheComputedPose)
{
    using namespace Qt;
    // clang-format off
    const std::vector<std::pair<double, std::vector<int>>> flight = {
        {0.016, {Key_Up}}, {0.033, {Key_Up, Key_Left}}, {0.050, {Key_Shift}},
        {0.040, {Key_Shift, Key_Up}}, {0.100, {Key_Right, Key_Up}}, {0.500, {Key_PageDown}},
        {0.500, {Key_PageDown}}, {0.500, {Key_PageDown, Key_Up}}, {0.700, {Key_PageUp}},
        {0.700, {Key_PageUp}}, {0.700, {Key_PageUp, Key_Left}}, {0.300, {Key_PageDown}},
        {0.045, {Key_Control, Key_Down}}, {0.016, {Key_Shift, Key_Control}},
        {0.250, {Key_Left, Key_Up}}, {0.250, {Key_Left, Key_Up}}, {0.033, {}},
        {0.080, {Key_Right, Key_Down}}, {0.120, {Key_Up, Key_Shift}}};
    // clang-format on

    TSceneComposition scene;
    TRasterFile surface;
    surface.Bitmap().SetSize(240, 160, TPixelFormat::pf16bit);
    scene.ShowSurface(&surface, nullptr, 1.0f, 10);
    TRigModel model{std::atan(240.0 / 160.0) * 180 / std::numbers::pi, 96, 18, -64,
                    std::numbers::pi / 2 - 2 * std::numbers::pi / 180};

    TNavigation navigation;
    navigation.SetDefaultVelocity(100);
    navigation.ChangeVelocity(TVelocityChange::vcRestore);
    TManualClock clock;
    TCadencer cadencer(&clock);
    cadencer.SetMode(TCadencerMode::cmManual);
    cadencer.SetScene(&scene.Scene1);
    cadencer.SetTimeMultiplier(2.0);
    cadencer.OnProgress = [&](TCadencer&, double dt, double) { navigation.Fly(scene, dt); };

    double minSinPhi = 1;
    bool lowerStop = false, upperStop = false;
    for (std::size_t i = 0; i < flight.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const auto& [seconds, keys] = flight[i];
        navigation.Keys().Clear();
        for (int key : keys)
            navigation.Keys().KeyPressed(key, false);
        clock.Seconds += seconds;
        cadencer.Tick();
        model.Fly(keys, 2 * seconds);
        ReadAsAFrame(scene);

        // Single precision carried through the flight: a few units in the
        // last place of the largest coordinate. Near a stop the plane of the
        // orbit is set by the small horizontal part of the camera's offset,
        // which magnifies that rounding by 1 / sin phi.
        const double tolerance =
            8 * FLT_EPSILON *
            std::max({1.0, std::abs(model.X), std::abs(model.Y), std::abs(model.Z)});
        minSinPhi = std::min(minSinPhi, std::sin(model.Phi));
        ExpectNear(scene.Observer->Position().AsAffineVector(),
                   {float(model.X), float(model.Y), float(model.Z)}, float(tolerance));
        ExpectNear(scene.Observer->Direction().AsAffineVector(),
                   {float(model.Dx()), 0, float(model.Dz())}, 8 * FLT_EPSILON);
        ExpectNear(scene.Camera->Position().AsAffineVector(),
                   {0, float(std::cos(model.Phi)), float(1 - std::sin(model.Phi))},
                   float(tolerance / minSinPhi));
        lowerStop |= model.Phi == std::numbers::pi - 0.025;
        upperStop |= model.Phi == 0.025;
    }
    EXPECT_TRUE(lowerStop && upperStop) << "the flight looks into both stops";
    EXPECT_NEAR(cadencer.LastTime(), 2 * 4.933, 1e-9) << "twice the seconds flown";
    EXPECT_EQ(scene.Camera->ViewTransform().Up, (TAffineVector{0, 1, 0}));
}

} // namespace
} // namespace skyglide::test
