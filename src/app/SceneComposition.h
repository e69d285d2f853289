#pragma once

#include "render/Scene.h"

#include <cstdint>
#include <functional>

namespace skyglide {

class TCamera;
class TRasterFile;
class TDummyCube;
class THeightField;
class TLightSource;
class TSkyDome;
class TTerrainLOD;

// The viewer's sky on sky: zenith along world +Y, a pale band from the
// horizon to 20° and a deeper one up to the zenith.
void ComposeSky(TSkyDome& sky);

// The scene of the scene window, composed as the window holds it: the sky
// (hidden), then everything drawn after it: the light on its cube, the
// height field and the observer rig, whose camera looks at a target one unit
// ahead of the observer.
//
// The surface lies in world X from -W to 0 and in world Z from 0 to H once
// the window has scaled the height field to the W × H grid: grid column c at
// X = -c, grid row r at Z = H - r (row 0, the north edge, at Z = H), heights
// along world Y.
struct TSceneComposition
{
    TSceneComposition();
    TSceneComposition(const TSceneComposition&) = delete;
    TSceneComposition& operator=(const TSceneComposition&) = delete;

    // Lays the scene out for a surface, as the viewer starts: the height
    // field scaled to the surface's grid (heights to 5 % of its larger side
    // times exaggeration) and sampled every meshSamplingFactor cells; the
    // observer outside the surface, beyond its corner at X = 0, Z = 0 by
    // 40 % of each extent, 1.5 times as high as the surface reaches without
    // exaggeration, turned to look at the middle of the surface and tilted
    // 2° down. The texture takes the drape's picture over (the drape raster
    // keeps none). One update bracket: one change notice.
    //
    // Without a surface, or with an empty grid (documentation that did not
    // read), the height field is hidden and the placement uses a grid of one
    // cell, so that nothing divides by zero. Without a drape picture the
    // texture stays off.
    void ShowSurface(TRasterFile* surface, TRasterFile* drape, float exaggeration,
                     std::uint8_t meshSamplingFactor);

    // Full detail: every cell of the surface's grid, through a
    // level-of-detail surface that takes the height field's place, scale,
    // texture and axes and hides it; off, the height field again and the
    // level-of-detail surface gone (its worker threads with it). Call after
    // ShowSurface. The level-of-detail surface reads the surface's cells
    // where they are: DropFullDetail before the surface is freed. Nothing
    // for an empty surface.
    void ShowFullDetail(TRasterFile* surface, bool on);
    void DropFullDetail();
    // Called on a worker thread when the level-of-detail surface has tiles
    // worth a new frame; set before ShowFullDetail.
    std::function<void()> OnTilesReady;

    TScene Scene1;
    TSkyDome* SkyDome1 = nullptr;
    TDummyCube* AfterSky = nullptr;
    TDummyCube* LightCube = nullptr;
    TLightSource* LightSource1 = nullptr;
    THeightField* HeightField1 = nullptr;
    // The level-of-detail surface while full detail is on, else null.
    TTerrainLOD* FullDetail = nullptr;
    TDummyCube* Observer = nullptr;
    TCamera* Camera = nullptr;
    TDummyCube* CameraTarget = nullptr;
};

} // namespace skyglide
