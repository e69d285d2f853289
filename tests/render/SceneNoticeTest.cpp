// Change notices from scene objects to the viewer that repaints, end to end.

#include "render/Scene.h"

#include "SceneViews.h"

#include "app/SceneComposition.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"

#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

using namespace skyglide;
using skyglide::test::ReadAsAFrame;

namespace {

// Stands in for the viewer: every notice that reaches it is a repaint request.
struct RecordingViewer : TSceneListener
{
    std::vector<TBaseSceneObject*> requests;
    int scenesDestroyed = 0;
    void NotifyChange(TBaseSceneObject* sender) override { requests.push_back(sender); }
    void SceneDestroyed(TScene&) override { ++scenesDestroyed; }
};

struct Viewer : TSceneComposition
{
    RecordingViewer recorder;
    Viewer()
    {
        Scene1.AddListener(&recorder);
        ReadAsAFrame(*this); // the first paint, after which the view is current
    }
};

// The nine coordinates of one path pose, set one at a time.
void applyPose(Viewer& v)
{
    for (int i = 0; i < 3; ++i) {
        v.Observer->Position().SetComponent(i, 10.0f + float(i));
        v.Observer->Direction().SetComponent(i, i == 1 ? 0.0f : 0.7f);
        v.Camera->Position().SetComponent(i, i == 1 ? 0.03f : 0.0f);
    }
}

TEST(SceneNotice, ChangesAskForTheRightNumberOfRepaints)
{
    const std::tuple<const char*, std::function<void(Viewer&)>, int> rows[] = {
        // clang-format off
        {"many changes before the next frame ask once",
         [](Viewer& v) { v.Observer->Move(3); v.Observer->Turn(10); v.Observer->Position().SetY(2); }, 1},
        {"each frame makes the next change ask again",
         [](Viewer& v) { for (int i = 0; i < 4; ++i) { v.Observer->Move(3); ReadAsAFrame(v); } }, 4},
        {"nine changes inside a scene update ask once",
         [](Viewer& v) {
             v.Scene1.EndUpdate(); // a stray end must not open the next bracket
             v.Scene1.BeginUpdate();
             applyPose(v);
             v.Scene1.EndUpdate();
         }, 1},
        {"an object update asks once",
         [](Viewer& v) {
             v.HeightField1->BeginUpdate();
             v.HeightField1->Scale().SetAsAffineVector({240, 160, 12});
             v.HeightField1->Direction().SetX(0.1f);
             v.HeightField1->EndUpdate();
         }, 1},
        {"changes while loading ask nothing",
         [](Viewer& v) {
             v.Scene1.BeginLoading();
             applyPose(v);
             v.Camera->SetFocalLength(70);
             v.HeightField1->MarkGeometryStale();
             v.AfterSky->SetShowAxes(true);
             v.Scene1.EndLoading();
         }, 0},
        {"a geometry change asks once until rebuilt",
         [](Viewer& v) { v.HeightField1->MarkGeometryStale(); v.HeightField1->MarkGeometryStale(); }, 1},
        {"a texture filter change asks without a rebuild",
         [](Viewer& v) {
             v.HeightField1->Material().Texture().SetMagFilter(TMagFilter::maLinear);
             EXPECT_FALSE(v.HeightField1->GeometryStale());
         }, 1},
        {"axes and visibility ask only when changed",
         [](Viewer& v) { v.AfterSky->SetShowAxes(true); v.AfterSky->SetShowAxes(true); v.AfterSky->SetVisible(false); }, 2},
        {"immediate geometry asks every time",
         [](Viewer& v) { v.CameraTarget->SetCubeSize(2); v.CameraTarget->SetCubeSize(3); }, 2},
        // clang-format on
    };
    for (const auto& [name, change, repaints] : rows) {
        Viewer viewer;
        change(viewer);
        EXPECT_EQ(int(viewer.recorder.requests.size()), repaints) << name;
    }
}

TEST(SceneNotice, ListenersAndScenesMayGoInEitherOrder)
{
    auto scene = std::make_unique<TScene>();
    auto& object = scene->Objects().AddNewChild<TBaseSceneObject>();
    object.LocalMatrix();
    auto early = std::make_unique<RecordingViewer>();
    RecordingViewer late;
    scene->AddListener(early.get());
    scene->AddListener(&late);
    scene->AddListener(&late); // once only
    early.reset();             // signs off by itself
    object.Move(1);
    EXPECT_EQ(late.requests.size(), 1u);
    scene.reset();
    EXPECT_EQ(late.scenesDestroyed, 1);
    EXPECT_EQ(late.requests.size(), 1u); // no notices from the tree going away
}

} // namespace
