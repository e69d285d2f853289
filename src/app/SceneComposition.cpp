#include "app/SceneComposition.h"

#include "data/RasterFile.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/HeightSource.h"
#include "render/LightSource.h"
#include "render/SkyDome.h"
#include "render/TerrainLOD.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace skyglide {

namespace {

TVector4f Rgb(float red, float green, float blue)
{
    return {red, green, blue, 1.0f};
}

} // namespace

void ComposeSky(TSkyDome& sky)
{
    sky.Direction().SetAsAffineVector({0, 1, 0});
    sky.Up().SetAsAffineVector({-1, 0, 0});
    TSkyDomeBands& bands = sky.Bands();
    bands.Clear();
    // A pale horizon fading into a deeper blue zenith.
    TSkyDomeBand& horizon = bands.Add();
    horizon.SetStartAngle(0);
    horizon.SetStopAngle(20);
    horizon.SetStartColor(Rgb(230.0f / 255, 230.0f / 255, 1.0f));
    horizon.SetStopColor(Rgb(180.0f / 255, 208.0f / 255, 238.0f / 255));
    horizon.SetSlices(12);
    horizon.SetStacks(1);
    TSkyDomeBand& zenith = bands.Add();
    zenith.SetStopAngle(90);
    zenith.SetStartAngle(20);
    zenith.SetStartColor(Rgb(0.706f, 0.816f, 0.933f));
    zenith.SetStopColor(Rgb(85.0f / 255, 130.0f / 255, 226.0f / 255));
    zenith.SetSlices(12);
    zenith.SetStacks(4);
}

TSceneComposition::TSceneComposition()
{
    Scene1.BeginLoading();
    Scene1.SetObjectsSorting(TObjectsSorting::osNone);
    TBaseSceneObject& root = Scene1.Objects();

    SkyDome1 = &root.AddNewChild<TSkyDome>();
    SkyDome1->SetName("SkyDome1");
    ComposeSky(*SkyDome1);
    SkyDome1->SetVisible(false); // until the user asks for it

    AfterSky = &root.AddNewChild<TDummyCube>();
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

    HeightField1 = &AfterSky->AddNewChild<THeightField>();
    HeightField1->SetName("HeightField1");
    HeightField1->Direction().SetAsAffineVector({0, 1, 0});
    HeightField1->Up().SetAsAffineVector({0, 0, 1});
    for (TSamplingScale* axis :
         {&HeightField1->XSamplingScale(), &HeightField1->YSamplingScale()}) {
        axis->SetMin(0);
        axis->SetMax(1);
    }
    HeightField1->SetOptions(
        {THeightFieldOption::hfoTextureCoordinates, THeightFieldOption::hfoTwoSided});
    TTexture& texture = HeightField1->Material().Texture();
    texture.SetMagFilter(TMagFilter::maNearest);
    texture.SetFilteringQuality(TTextureFilteringQuality::tfAnisotropic);

    // The rig: its cubes carry the camera and its target and are never drawn.
    Observer = &AfterSky->AddNewChild<TDummyCube>();
    Observer->SetName("Observer");
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

    Scene1.EndLoading();
}

void TSceneComposition::ShowSurface(TRasterFile* surface, TRasterFile* drape, float exaggeration,
                                    std::uint8_t meshSamplingFactor)
{
    const int width = surface ? surface->Bitmap().Width() : 0;
    const int height = surface ? surface->Bitmap().Height() : 0;
    const bool empty = width <= 0 || height <= 0;
    const float scaleX = empty ? 1.0f : static_cast<float>(width);
    const float scaleY = empty ? 1.0f : static_cast<float>(height);
    const long double larger = std::max(scaleX, scaleY);

    Scene1.BeginUpdate();
    HeightField1->Scale().SetX(scaleX);
    HeightField1->Scale().SetY(scaleY);
    HeightField1->Scale().SetZ(static_cast<float>(larger * 0.05L * exaggeration));
    Observer->Position().SetX(static_cast<float>(0.4L * scaleX));
    Observer->Position().SetZ(static_cast<float>(-0.4L * scaleY));
    Observer->Position().SetY(static_cast<float>(larger * 0.05L * 1.5L));
    Observer->Turn(static_cast<float>(std::atan(static_cast<double>(scaleX) / scaleY) * 180.0 /
                                      std::numbers::pi));
    Camera->OrbitTarget(-2, 0);
    HeightField1->XSamplingScale().SetStep(static_cast<float>(meshSamplingFactor / scaleX));
    HeightField1->YSamplingScale().SetStep(static_cast<float>(meshSamplingFactor / scaleY));
    HeightField1->SetVisible(!empty);

    // A surface-sized picture is not copied: the drape never draws it again.
    if (drape && !drape->Bitmap().Empty()) {
        TTexture& texture = HeightField1->Material().Texture();
        texture.SetImage(std::move(drape->Bitmap()));
        texture.SetDisabled(false);
    }
    Scene1.EndUpdate();
}

void TSceneComposition::ShowFullDetail(TRasterFile* surface, bool on)
{
    const bool empty =
        !surface || surface->Bitmap().Width() <= 0 || surface->Bitmap().Height() <= 0;
    if (!on || empty) {
        DropFullDetail();
        return;
    }
    if (FullDetail)
        return;
    Scene1.BeginUpdate();
    TTerrainLOD& lod = AfterSky->AddNewChild<TTerrainLOD>();
    lod.SetName("FullDetail");
    lod.OnTilesReady = OnTilesReady;
    lod.Direction().SetAsAffineVector({0, 1, 0});
    lod.Up().SetAsAffineVector({0, 0, 1});
    lod.Scale().SetAsAffineVector(HeightField1->Scale().AsAffineVector());
    lod.SetShowAxes(HeightField1->ShowAxes());
    // Not owned: the cells stay the raster's, which outlives this surface.
    const std::shared_ptr<const TBitmap> cells(&surface->Bitmap(), [](const TBitmap*) {});
    lod.SetHeightSource(std::make_shared<TBitmapHeightSource>(cells, surface->Doc().MinValue,
                                                              surface->Doc().MaxValue));
    const TTexture& mesh = HeightField1->Material().Texture();
    TTexture& texture = lod.Material().Texture();
    texture.SetImage(mesh.Image());
    texture.SetMagFilter(mesh.MagFilter());
    texture.SetMinFilter(mesh.MinFilter());
    texture.SetFilteringQuality(mesh.FilteringQuality());
    texture.SetTextureMode(mesh.TextureMode());
    texture.SetDisabled(mesh.Disabled());
    HeightField1->SetVisible(false);
    FullDetail = &lod;
    Scene1.EndUpdate();
}

void TSceneComposition::DropFullDetail()
{
    if (!FullDetail)
        return;
    Scene1.BeginUpdate();
    HeightField1->SetVisible(true);
    AfterSky->DeleteChild(*FullDetail);
    FullDetail = nullptr;
    Scene1.EndUpdate();
}

} // namespace skyglide
