#pragma once

// The scene tree of the viewer's window as its composition builds it, what
// one rendered frame reads from it, and a vector comparison.

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

/// The viewer's sky under parent: zenith along world +Y, a pale band from
/// 0° to 20° and a deeper one up to the zenith in 4 stacks.
inline TSkyDome& addViewerSky(TBaseSceneObject& parent)
{
    auto& sky = parent.AddNewChild<TSkyDome>();
    sky.Direction().SetAsAffineVector({0, 1, 0});
    sky.Up().SetAsAffineVector({-1, 0, 0});
    sky.Bands().Clear();
    TSkyDomeBand& low = sky.Bands().Add();
    low.SetStopAngle(20);
    low.SetStartColor({230.0f / 255, 230.0f / 255, 1, 1});
    low.SetStopColor({180.0f / 255, 208.0f / 255, 238.0f / 255, 1});
    TSkyDomeBand& high = sky.Bands().Add();
    high.SetStopAngle(90);
    high.SetStartAngle(20);
    high.SetStartColor({0.706f, 0.816f, 0.933f, 1});
    high.SetStopColor({85.0f / 255, 130.0f / 255, 226.0f / 255, 1});
    high.SetStacks(4);
    return sky;
}

struct ViewerComposition
{
    TScene Scene;
    TSkyDome* SkyDome1 = nullptr; // hidden
    TDummyCube* AfterSky = nullptr;
    TLightSource* LightSource1 = nullptr;
    THeightField* HeightField1 = nullptr;
    TDummyCube* Observer = nullptr;
    TCamera* Camera = nullptr;
    TDummyCube* CameraTarget = nullptr;

    ViewerComposition()
    {
        Scene.BeginLoading();
        Scene.SetObjectsSorting(TObjectsSorting::osNone);
        SkyDome1 = &addViewerSky(Scene.Objects());
        SkyDome1->SetVisible(false);
        AfterSky = &Scene.Objects().AddNewChild<TDummyCube>();

        auto& lightCube = AfterSky->AddNewChild<TDummyCube>();
        lightCube.Position().SetAsAffineVector({-50, 6, 50});
        lightCube.Up().SetAsAffineVector({0, 1, 0});
        LightSource1 = &lightCube.AddNewChild<TLightSource>();
        LightSource1->Position().SetAsAffineVector({-1, 0, 0});
        LightSource1->SetConstAttenuation(1);
        LightSource1->SetSpotCutOff(180);
        LightSource1->SpotDirection().SetAsAffineVector({1, 0, -1});

        HeightField1 = &AfterSky->AddNewChild<THeightField>();
        HeightField1->Direction().SetAsAffineVector({0, 1, 0});
        HeightField1->Up().SetAsAffineVector({0, 0, 1});
        HeightField1->Scale().SetAsAffineVector({100, 100, 1});
        HeightField1->XSamplingScale().SetMax(1);
        HeightField1->YSamplingScale().SetMax(1);
        HeightField1->SetOptions(
            {THeightFieldOption::hfoTextureCoordinates, THeightFieldOption::hfoTwoSided});
        HeightField1->Material().Texture().SetMagFilter(TMagFilter::maNearest);
        HeightField1->Material().Texture().SetFilteringQuality(
            TTextureFilteringQuality::tfAnisotropic);

        Observer = &AfterSky->AddNewChild<TDummyCube>();
        Observer->SetVisible(false);
        Observer->SetVisibleAtRunTime(true);
        Observer->Up().SetAsAffineVector({0, 1, 0});
        Camera = &Observer->AddNewChild<TCamera>();
        Camera->Direction().SetAsAffineVector({0, 0, 1});
        Camera->Up().SetAsAffineVector({0, 1, 0});
        Camera->SetFocalLength(100);
        Camera->SetDepthOfView(100000);
        CameraTarget = &Observer->AddNewChild<TDummyCube>();
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
