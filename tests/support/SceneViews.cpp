#include "SceneViews.h"

#include "app/SceneComposition.h"
#include "render/Camera.h"

#include <functional>

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

} // namespace skyglide::test
