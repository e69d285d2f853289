#pragma once

// The scene tree of the viewer's window, what one rendered frame reads from
// it, and a vector comparison.

#include "app/SceneComposition.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/LightSource.h"
#include "render/Scene.h"
#include "render/SkyDome.h"

#include <functional>

#include <gtest/gtest.h>

namespace skyglide::test {

inline void expectNear(const TAffineVector& actual, const TAffineVector& expected,
                       float tolerance = 1e-6f)
{
    EXPECT_NEAR(actual.X, expected.X, tolerance);
    EXPECT_NEAR(actual.Y, expected.Y, tolerance);
    EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

/// The viewer window's own scene tree, with what one rendered frame reads
/// from it.
struct ViewerComposition : TSceneComposition
{
    /// What the render pass reads for one frame of an 827 × 530 view: the
    /// projection and view of the camera, the lights, and the local matrix of
    /// every visible object, whose geometry it compiles.
    void renderFrame()
    {
        Scene1.SetCurrentCamera(Camera);
        Camera->AbsoluteMatrix();
        Camera->LoadProjection({0, 0, 827, 530}, 827, 530, 96);
        Camera->ViewTransform();
        Scene1.LightSetups(8);
        std::function<void(TBaseSceneObject&)> visit = [&](TBaseSceneObject& object) {
            if (!object.Visible())
                return;
            object.LocalMatrix();
            object.ClearGeometryStale();
            for (int i = 0; i < object.Count(); ++i)
                visit(object.Child(i));
        };
        visit(Scene1.Objects());
    }
};

} // namespace skyglide::test
