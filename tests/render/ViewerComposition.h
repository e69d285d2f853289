#pragma once

// The scene tree of the viewer's window as its composition builds it, with a
// plain material object standing in for the height field, what one rendered
// frame reads from it, and a vector comparison.

#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/LightSource.h"
#include "render/Scene.h"

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

struct ViewerComposition
{
    TScene Scene;
    TDummyCube* AfterSky = nullptr;
    TDummyCube* LightCube = nullptr;
    TLightSource* LightSource1 = nullptr;
    TSceneObject* HeightField1 = nullptr;
    TDummyCube* Observer = nullptr;
    TCamera* Camera = nullptr;
    TDummyCube* CameraTarget = nullptr;

    ViewerComposition()
    {
        Scene.BeginLoading();
        Scene.SetObjectsSorting(TObjectsSorting::osNone);
        AfterSky = &Scene.Objects().AddNewChild<TDummyCube>();
        AfterSky->SetName("AfterSky");

        LightCube = &AfterSky->AddNewChild<TDummyCube>();
        LightCube->SetName("LightCube");
        LightCube->Position().SetAsAffineVector({-50, 6, 50});
        LightCube->Up().SetAsAffineVector({0, 1, 0});
        LightSource1 = &LightCube->AddNewChild<TLightSource>();
        LightSource1->SetName("LightSource1");
        LightSource1->Position().SetAsAffineVector({-1, 0, 0});
        LightSource1->SetConstAttenuation(1);
        LightSource1->SetSpotCutOff(180);
        LightSource1->SpotDirection().SetAsAffineVector({1, 0, -1});

        HeightField1 = &AfterSky->AddNewChild<TSceneObject>();
        HeightField1->SetName("HeightField1");
        HeightField1->Direction().SetAsAffineVector({0, 1, 0});
        HeightField1->Up().SetAsAffineVector({0, 0, 1});
        HeightField1->Scale().SetAsAffineVector({100, 100, 1});

        Observer = &AfterSky->AddNewChild<TDummyCube>();
        Observer->SetName("Observer");
        Observer->SetVisible(false);
        Observer->SetVisibleAtRunTime(true);
        Observer->Up().SetAsAffineVector({0, 1, 0});
        Camera = &Observer->AddNewChild<TCamera>();
        Camera->SetName("Camera");
        Camera->Direction().SetAsAffineVector({0, 0, 1});
        Camera->Up().SetAsAffineVector({0, 1, 0});
        Camera->SetFocalLength(100);
        Camera->SetDepthOfView(100000);
        CameraTarget = &Observer->AddNewChild<TDummyCube>();
        CameraTarget->SetName("CameraTarget");
        CameraTarget->Position().SetAsAffineVector({0, 0, 1});
        Camera->SetTargetObject(CameraTarget);
        Scene.EndLoading();
    }

    /// What the render pass reads for one frame of an 827 × 530 view: the
    /// projection and view of the camera, the lights, and the local matrix of
    /// every visible object, whose geometry it compiles.
    void renderFrame()
    {
        Scene.SetCurrentCamera(Camera);
        Camera->AbsoluteMatrix();
        Camera->LoadProjection({0, 0, 827, 530}, 827, 530, 96);
        Camera->ViewTransform();
        Scene.LightSetups(8);
        std::function<void(TBaseSceneObject&)> visit = [&](TBaseSceneObject& object) {
            if (!object.Visible())
                return;
            object.LocalMatrix();
            object.ClearGeometryStale();
            for (int i = 0; i < object.Count(); ++i)
                visit(object.Child(i));
        };
        visit(Scene.Objects());
    }
};

} // namespace skyglide::test
