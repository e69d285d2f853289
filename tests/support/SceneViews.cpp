#include "SceneViews.h"

#include "app/SceneComposition.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/LightSource.h"

namespace skyglide::test {

void ReadAsAFrame(TSceneComposition& scene)
{
    scene.Scene1.SetCurrentCamera(scene.Camera);
    scene.Camera->AbsoluteMatrix();
    scene.Camera->LoadProjection({0, 0, 827, 530}, 827, 530, 96);
    scene.Camera->ViewTransform();
    scene.Scene1.LightSetups(8);
    std::function<void(TBaseSceneObject&)> visit = [&](TBaseSceneObject& object) {
        if (!object.Visible())
            return;
        object.LocalMatrix();
        object.ClearGeometryStale();
        for (int i = 0; i < object.Count(); ++i)
            visit(object.Child(i));
    };
    visit(scene.Scene1.Objects());
}

TCameraScene::TCameraScene(TScene& scene, const TAffineVector& eye, const TAffineVector& target)
    : Scene(scene)
{
    Scene.SetObjectsSorting(TObjectsSorting::osNone);
    auto& targetCube = Scene.Objects().AddNewChild<TDummyCube>();
    targetCube.Position().SetAsAffineVector(target);
    Camera = &Scene.Objects().AddNewChild<TCamera>();
    Camera->Position().SetAsAffineVector(eye);
    Camera->Up().SetAsAffineVector({0, 1, 0});
    Camera->SetFocalLength(100);
    Camera->SetDepthOfView(100000);
    Camera->SetTargetObject(&targetCube);
}

void TCameraScene::AddSun()
{
    auto& sun = Scene.Objects().AddNewChild<TLightSource>();
    sun.SetLightStyle(TLightStyle::lsParallel);
    sun.SpotDirection().SetAsAffineVector({0, 1, 0});
}

TShownViewer::TShownViewer(TCamera* camera, int width, int height)
{
    Viewer.OnRenderError = [this](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            Errors += e.what();
        }
    };
    Viewer.SetCamera(camera);
    Viewer.Buffer().SetBackgroundColor({0, 0, 0, 1});
    Viewer.resize(width, height);
    Viewer.show();
    EXPECT_TRUE(WaitUntil([this] { return Frames() > 0; })) << "the viewer never painted";
}

TShownViewer::~TShownViewer()
{
    EXPECT_EQ(Errors, "") << "render errors";
}

TBitmap32 TShownViewer::Frame(const std::function<void()>& change)
{
    const long long before = Frames();
    change ? change() : Viewer.update();
    EXPECT_TRUE(WaitUntil([&] { return Frames() > before; })) << "no repaint";
    return Viewer.ReadFrameImage();
}

} // namespace skyglide::test
