#include "render/SceneObject.h"

#include "TestSupport.h"

#include "render/DummyCube.h"
#include "render/Scene.h"

#include <cmath>
#include <functional>
#include <limits>

#include <gtest/gtest.h>

using namespace skyglide;
using skyglide::test::ExpectNear;

namespace {

TEST(SceneObject, PoseChangesKeepDirectionAndUpAUnitPerpendicularPair)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float halfRoot2 = std::sqrt(0.5f);
    // From the default pose: at the origin, Direction (0, 0, 1), Up (0, 1, 0).
    const std::tuple<const char*, std::function<void(TBaseSceneObject&)>, TAffineVector,
                     TAffineVector, TAffineVector>
        rows[] = {
            // clang-format off
            {"direction onto Up falls back to the z axis", [](auto& o) { o.Direction().SetAsAffineVector({0, 1, 0}); },
             {0, 0, 0}, {0, 1, 0}, {0, 0, -1}},
            {"a NaN direction becomes the default", [&](auto& o) { o.Turn(90); o.Direction().SetAsAffineVector({nan, 0, 0}); },
             {0, 0, 0}, {0, 0, 1}, {0, 1, 0}},
            {"each component setter renormalises", [](auto& o) { o.Direction().SetX(1); },
             {0, 0, 0}, {halfRoot2, 0, halfRoot2}, {0, 1, 0}},
            {"Up onto Direction falls back to the x axis", [](auto& o) { o.Up().SetAsAffineVector({0, 0, 1}); },
             {0, 0, 0}, {1, 0, 0}, {0, 0, 1}},
            {"Turn is about the object's own Up", [](auto& o) { o.Up().SetAsAffineVector({1, 0, 0}); o.Turn(90); },
             {0, 0, 0}, {0, 1, 0}, {1, 0, 0}},
            {"Move goes along z, then along the direction Turn(90) swung towards -x", [](auto& o) { o.Move(2); o.Turn(90); o.Move(3); o.Move(-1); },
             {-2, 0, 2}, {-1, 0, 0}, {0, 1, 0}},
            // clang-format on
        };
    for (const auto& [name, change, position, direction, up] : rows) {
        SCOPED_TRACE(name);
        TBaseSceneObject object;
        change(object);
        ExpectNear(object.Position().AsAffineVector(), position, 1e-5f);
        ExpectNear(object.Direction().AsAffineVector(), direction);
        ExpectNear(object.Up().AsAffineVector(), up);
        EXPECT_EQ(object.Position().W(), 1.0f);
        EXPECT_EQ(object.Direction().W(), 0.0f);
    }
}

// ---- matrices ---------------------------------------------------------------

TEST(SceneObject, HeightFieldMatrixMapsTheGridOntoTheWorld)
{
    // Column c at world X = −c, row r at world Z = H − r (sampling y = 1 is
    // row 0), heights along world Y.
    const float W = 240, H = 160;
    TSceneObject field;
    field.Direction().SetAsAffineVector({0, 1, 0});
    field.Up().SetAsAffineVector({0, 0, 1});
    field.Scale().SetAsAffineVector({W, H, 12});
    ExpectNear(field.LocalMatrix().Row(0).Affine(), {-W, 0, 0});
    ExpectNear(transformPoint({0.25f, 0.75f, 0.5f}, field.LocalMatrix()), {-60, 6, 120}, 1e-4f);
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
    ExpectNear(grandchild.AbsolutePosition().Affine(), {8, 0, 0}, 1e-5f);

    parent.Move(2); // along −X; the cached matrices below must follow
    ExpectNear(child.AbsolutePosition().Affine(), {7, 0, 0}, 1e-5f);
    ExpectNear(grandchild.AbsolutePosition().Affine(), {6, 0, 0}, 1e-5f);
    ExpectNear(grandchild.AbsoluteDirection().Affine(), {-1, 0, 0});
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
    auto& leaf = group.AddNewChild<TBaseSceneObject>().AddNewChild<TBaseSceneObject>();
    Recorder recorder;
    for (TBaseSceneObject* o : {&a, &leaf, static_cast<TBaseSceneObject*>(&group)})
        o->AddFreeNotification(&recorder);
    const std::vector<TBaseSceneObject*> expected{&group, &leaf, &a};
    scene.Objects().DeleteChild(group);
    // The group first, then its children from the last, each with its subtree.
    EXPECT_EQ(recorder.freed, expected);
    EXPECT_EQ(scene.Objects().Count(), 0);
}

TEST(SceneObject, AnObjectCannotBecomeItsOwnDescendant)
{
    auto top = std::make_unique<TBaseSceneObject>();
    TBaseSceneObject& inner = top->AddNewChild<TBaseSceneObject>().AddNewChild<TBaseSceneObject>();
    EXPECT_THROW(inner.AddChild(std::move(top)), std::invalid_argument);
    ASSERT_TRUE(top); // still the caller's, tree and all
    EXPECT_EQ(inner.Parent()->Parent(), top.get());
}

} // namespace
