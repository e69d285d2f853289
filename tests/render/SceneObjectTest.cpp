#include "render/SceneObject.h"

#include "ViewerComposition.h"

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

using namespace skyglide;
using skyglide::test::ViewerComposition;

namespace {

void expectNear(const TAffineVector& actual, const TAffineVector& expected, float tolerance = 1e-6f)
{
    EXPECT_NEAR(actual.X, expected.X, tolerance);
    EXPECT_NEAR(actual.Y, expected.Y, tolerance);
    EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

// ---- orientation: Direction and Up stay a unit, perpendicular pair ----------

struct OrientationCase
{
    std::string name;
    std::function<void(TBaseSceneObject&)> change;
    TAffineVector direction;
    TAffineVector up;
};

void PrintTo(const OrientationCase& c, std::ostream* os)
{
    *os << c.name;
}

class Orientation : public testing::TestWithParam<OrientationCase>
{
};

TEST_P(Orientation, KeepsAUnitPerpendicularPair)
{
    TBaseSceneObject object; // Direction (0, 0, 1), Up (0, 1, 0)
    GetParam().change(object);
    expectNear(object.Direction().AsAffineVector(), GetParam().direction);
    expectNear(object.Up().AsAffineVector(), GetParam().up);
    EXPECT_EQ(object.Direction().W(), 0.0f);
    EXPECT_EQ(object.Up().W(), 0.0f);
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kHalfRoot2 = std::sqrt(0.5f);

INSTANTIATE_TEST_SUITE_P(
    SceneObject, Orientation,
    testing::Values(OrientationCase{"DirectionOntoUpFallsBackToZAxis",
                                    [](auto& o) {
                                        o.Direction().SetAsAffineVector({0, 1, 0});
                                    },
                                    {0, 1, 0},
                                    {0, 0, -1}},
                    OrientationCase{"ZeroDirectionBecomesDefault",
                                    [](auto& o) {
                                        o.Turn(90);
                                        o.Direction().SetAsAffineVector({0, 0, 0});
                                    },
                                    {0, 0, 1},
                                    {0, 1, 0}},
                    OrientationCase{"NaNDirectionBecomesDefault",
                                    [](auto& o) {
                                        o.Direction().SetAsAffineVector({kNaN, 0, 1});
                                    },
                                    {0, 0, 1},
                                    {0, 1, 0}},
                    OrientationCase{"LongDirectionIsNormalised",
                                    [](auto& o) {
                                        o.Direction().SetAsAffineVector({3, 0, 4});
                                    },
                                    {0.6f, 0, 0.8f},
                                    {0, 1, 0}},
                    OrientationCase{"RaisedDirectionTiltsUp",
                                    [](auto& o) {
                                        o.Direction().SetAsAffineVector({0, 1, 1});
                                    },
                                    {0, kHalfRoot2, kHalfRoot2},
                                    {0, kHalfRoot2, -kHalfRoot2}},
                    OrientationCase{"EachComponentSetterRenormalises",
                                    [](auto& o) { o.Direction().SetX(1); },
                                    {kHalfRoot2, 0, kHalfRoot2},
                                    {0, 1, 0}},
                    OrientationCase{"UpOntoDirectionFallsBackToXAxis",
                                    [](auto& o) {
                                        o.Up().SetAsAffineVector({0, 0, 1});
                                    },
                                    {1, 0, 0},
                                    {0, 0, 1}},
                    OrientationCase{"ZeroUpBecomesDefault",
                                    [](auto& o) {
                                        o.Up().SetAsAffineVector({0, 0, 0});
                                    },
                                    {0, 0, 1},
                                    {0, 1, 0}},
                    OrientationCase{"HeightFieldOrientation",
                                    [](auto& o) {
                                        o.Direction().SetAsAffineVector({0, 1, 0});
                                        o.Up().SetAsAffineVector({0, 0, 1});
                                    },
                                    {0, 1, 0},
                                    {0, 0, 1}},
                    OrientationCase{"TurnAngleReorients",
                                    [](auto& o) { o.SetTurnAngle(90); },
                                    {-1, 0, 0},
                                    {0, 1, 0}},
                    OrientationCase{"PitchAngleRaisesDirection",
                                    [](auto& o) { o.SetPitchAngle(90); },
                                    {0, 1, 0},
                                    {0, 0, -1}}),
    [](const auto& info) { return info.param.name; });

// ---- movement ---------------------------------------------------------------

struct MovementCase
{
    std::string name;
    std::function<void(TBaseSceneObject&)> move;
    TAffineVector position;
    TAffineVector direction;
    TAffineVector up;
};

void PrintTo(const MovementCase& c, std::ostream* os)
{
    *os << c.name;
}

class Movement : public testing::TestWithParam<MovementCase>
{
};

TEST_P(Movement, EndsAtThePose)
{
    TBaseSceneObject object;
    GetParam().move(object);
    expectNear(object.Position().AsAffineVector(), GetParam().position, 1e-5f);
    EXPECT_EQ(object.Position().W(), 1.0f);
    expectNear(object.Direction().AsAffineVector(), GetParam().direction);
    expectNear(object.Up().AsAffineVector(), GetParam().up);
}

INSTANTIATE_TEST_SUITE_P(
    SceneObject, Movement,
    testing::Values(MovementCase{"Turn90SwingsZTowardsMinusX",
                                 [](auto& o) { o.Turn(90); },
                                 {0, 0, 0},
                                 {-1, 0, 0},
                                 {0, 1, 0}},
                    MovementCase{"TurnMinus90SwingsZTowardsX",
                                 [](auto& o) { o.Turn(-90); },
                                 {0, 0, 0},
                                 {1, 0, 0},
                                 {0, 1, 0}},
                    MovementCase{"TurnIsAboutTheObjectsOwnUp",
                                 [](auto& o) {
                                     o.Up().SetAsAffineVector({1, 0, 0});
                                     o.Turn(90);
                                 },
                                 {0, 0, 0},
                                 {0, 1, 0},
                                 {1, 0, 0}},
                    MovementCase{
                        "Move5AlongZ", [](auto& o) { o.Move(5); }, {0, 0, 5}, {0, 0, 1}, {0, 1, 0}},
                    MovementCase{"TurnThenMoveFollowsTheNewDirection",
                                 [](auto& o) {
                                     o.Move(2);
                                     o.Turn(90);
                                     o.Move(3);
                                     o.Move(-1);
                                 },
                                 {-2, 0, 2},
                                 {-1, 0, 0},
                                 {0, 1, 0}},
                    MovementCase{"FourQuarterTurnsComeBack",
                                 [](auto& o) {
                                     for (int i = 0; i < 4; ++i)
                                         o.Turn(90);
                                 },
                                 {0, 0, 0},
                                 {0, 0, 1},
                                 {0, 1, 0}}),
    [](const auto& info) { return info.param.name; });

TEST(SceneObject, TurnKeepsTheTurnAngle)
{
    TBaseSceneObject object;
    object.Turn(30);
    object.Turn(60);
    EXPECT_NEAR(object.TurnAngle(), 90.0f, 1e-4f);
}

// ---- matrices ---------------------------------------------------------------

TEST(SceneObject, HeightFieldMatrixMapsTheGridOntoTheWorld)
{
    // Column c at world X = −c, row r at world Z = H − r (sampling y = 1 is
    // row 0), heights along world Y.
    const float W = 240, H = 160, heightScale = 12;
    TSceneObject field;
    field.Direction().SetAsAffineVector({0, 1, 0});
    field.Up().SetAsAffineVector({0, 0, 1});
    field.Scale().SetAsAffineVector({W, H, heightScale});
    const TMatrix4f& local = field.LocalMatrix();
    expectNear(local.Row(0).Affine(), {-W, 0, 0});
    expectNear(transformPoint({0.25f, 0.75f, 0.5f}, local), {-0.25f * W, 6, 0.75f * H}, 1e-4f);
}

TEST(SceneObject, ParentMoveReachesEveryDescendant)
{
    TScene scene;
    auto& parent = scene.Objects().AddNewChild<TBaseSceneObject>();
    auto& child = parent.AddNewChild<TBaseSceneObject>();
    auto& grandchild = child.AddNewChild<TBaseSceneObject>();
    parent.Position().SetAsAffineVector({10, 0, 0});
    parent.Turn(90);
    child.Position().SetAsAffineVector({0, 0, 1});
    grandchild.Position().SetAsAffineVector({0, 0, 1});
    expectNear(grandchild.AbsolutePosition().Affine(), {8, 0, 0}, 1e-5f);

    parent.Move(2); // along −X; the cached matrices below must follow
    expectNear(child.AbsolutePosition().Affine(), {7, 0, 0}, 1e-5f);
    expectNear(grandchild.AbsolutePosition().Affine(), {6, 0, 0}, 1e-5f);
    expectNear(grandchild.AbsoluteDirection().Affine(), {-1, 0, 0});
}

TEST(SceneObject, AbsolutePositionRoundTripsThroughAScaledTurnedParent)
{
    TBaseSceneObject parent;
    auto& child = parent.AddNewChild<TBaseSceneObject>();
    parent.Position().SetAsAffineVector({1, 2, 3});
    parent.Scale().SetAsAffineVector({2, 0.5f, 4});
    parent.Turn(30);
    child.SetAbsolutePosition({-7, 5, 11});
    expectNear(child.AbsolutePosition().Affine(), {-7, 5, 11}, 1e-5f);
}

TEST(SceneObject, SceneRootPlacementDoesNotApply)
{
    TScene scene;
    auto& top = scene.Objects().AddNewChild<TBaseSceneObject>();
    scene.Objects().Position().SetAsAffineVector({100, 0, 0});
    top.Position().SetAsAffineVector({1, 2, 3});
    expectNear(top.AbsolutePosition().Affine(), {1, 2, 3});
}

// ---- tree ownership ---------------------------------------------------------

struct Recorder : TFreeNotificationListener
{
    std::vector<TBaseSceneObject*> freed;
    void ObjectFreed(TBaseSceneObject& object) override { freed.push_back(&object); }
};

TEST(SceneObject, DestroyingASubtreeTellsWhoRegistered)
{
    TScene scene;
    auto& group = scene.Objects().AddNewChild<TDummyCube>();
    auto& a = group.AddNewChild<TBaseSceneObject>();
    auto& b = group.AddNewChild<TBaseSceneObject>();
    auto& leaf = b.AddNewChild<TBaseSceneObject>();
    Recorder recorder;
    a.AddFreeNotification(&recorder);
    leaf.AddFreeNotification(&recorder);
    group.AddFreeNotification(&recorder);
    const std::vector<TBaseSceneObject*> expected{&group, &leaf, &a};

    scene.Objects().DeleteChild(group);
    // The group first, then its children from the last, each with its subtree.
    EXPECT_EQ(recorder.freed, expected);
    EXPECT_EQ(scene.Objects().Count(), 0);
}

TEST(SceneObject, TakenChildLeavesSceneAndParentFrame)
{
    ViewerComposition viewer;
    viewer.Observer->Position().SetAsAffineVector({5, 0, 0});
    std::unique_ptr<TBaseSceneObject> target = viewer.Observer->TakeChild(*viewer.CameraTarget);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->Parent(), nullptr);
    EXPECT_EQ(target->Scene(), nullptr);
    expectNear(target->AbsolutePosition().Affine(), {0, 0, 1});
    EXPECT_EQ(viewer.Camera->TargetObject(), target.get()); // moved, not destroyed
    EXPECT_EQ(viewer.Observer->TakeChild(*target), nullptr);

    viewer.LightCube->AddChild(std::move(target));
    EXPECT_EQ(viewer.CameraTarget->Scene(), &viewer.Scene);
    expectNear(viewer.CameraTarget->AbsolutePosition().Affine(), {-50, 6, 51});
}

TEST(SceneObject, AnObjectCannotBecomeItsOwnDescendant)
{
    auto top = std::make_unique<TBaseSceneObject>();
    TBaseSceneObject& inner = top->AddNewChild<TBaseSceneObject>().AddNewChild<TBaseSceneObject>();
    EXPECT_THROW(inner.AddChild(std::move(top)), std::invalid_argument);
    ASSERT_TRUE(top); // still the caller's, tree and all
    EXPECT_EQ(inner.Parent()->Parent(), top.get());
    EXPECT_THROW(inner.AddChild(std::unique_ptr<TBaseSceneObject>()), std::invalid_argument);
}

// ---- lights -----------------------------------------------------------------

TEST(LightSource, ViewerLightIsAnOmniPointLightAtItsWorldPlace)
{
    ViewerComposition viewer;
    const std::vector<TLightSetup> setups = viewer.Scene.LightSetups(8);
    ASSERT_EQ(setups.size(), 8u);
    const TLightSetup& light = setups[0];
    EXPECT_TRUE(light.Shining);
    expectNear(light.WorldPosition.Affine(), {-51, 6, 50});
    EXPECT_EQ(light.WorldPosition.W, 1.0f);
    EXPECT_EQ(light.Position, (TVector4f{-1, 0, 0, 1}));
    EXPECT_FALSE(light.SetSpotDirection);
    EXPECT_EQ(light.SpotCutOff, 180.0f);
    EXPECT_EQ(light.ConstAttenuation, 1.0f);
    EXPECT_EQ(light.LinearAttenuation, 0.0f);
    EXPECT_EQ(light.Diffuse, (TVector4f{1, 1, 1, 1}));
    for (std::size_t i = 1; i < setups.size(); ++i)
        EXPECT_FALSE(setups[i].Shining) << "GL light " << i;
}

TEST(LightSource, SpotAndParallelLightsGiveTheirDirections)
{
    TScene scene;
    auto& group = scene.Objects().AddNewChild<TDummyCube>();
    group.Position().SetAsAffineVector({0, 10, 0});
    auto& spot = group.AddNewChild<TLightSource>();
    spot.SetSpotCutOff(30);
    spot.SetSpotExponent(5);
    auto& sun = group.AddNewChild<TLightSource>();
    sun.SetLightStyle(TLightStyle::lsParallel);
    sun.SpotDirection().SetAsAffineVector({0, -1, 0});
    sun.Turn(90); // its own frame applies to the direction of a parallel light

    const auto setups = scene.LightSetups(2);
    EXPECT_TRUE(setups[0].SetSpotDirection);
    EXPECT_EQ(setups[0].SpotCutOff, 30.0f);
    EXPECT_EQ(setups[0].SpotExponent, 5.0f);
    expectNear(setups[0].WorldPosition.Affine(), {0, 10, 0});
    EXPECT_EQ(setups[1].Position, (TVector4f{0, -1, 0, 0}));
    EXPECT_EQ(setups[1].WorldPosition.W, 0.0f);
    EXPECT_EQ(setups[1].SpotCutOff, 180.0f);

    spot.SetSpotCutOff(120); // OpenGL refuses it: kept at 30
    spot.SetConstAttenuation(-1);
    EXPECT_EQ(spot.SpotCutOff(), 30.0f);
    EXPECT_EQ(spot.ConstAttenuation(), 1.0f);
}

TEST(LightSource, SlotsAreKeptAndReused)
{
    TScene scene;
    auto& first = scene.Objects().AddNewChild<TLightSource>();
    auto& second = scene.Objects().AddNewChild<TLightSource>();
    EXPECT_EQ(first.LightID(), 0);
    EXPECT_EQ(second.LightID(), 1);
    scene.Objects().DeleteChild(first);
    EXPECT_EQ(scene.Lights()[0], nullptr);
    EXPECT_EQ(second.LightID(), 1); // GL light 1 stays this light's
    EXPECT_FALSE(scene.LightSetups(2)[0].Shining);
    auto& third = scene.Objects().AddNewChild<TLightSource>();
    EXPECT_EQ(third.LightID(), 0);
    second.SetShining(false);
    EXPECT_FALSE(scene.LightSetups(2)[1].Shining);
}

} // namespace
