#pragma once

#include "render/Scene.h"

namespace skyglide {

class TCamera;
class TDummyCube;
class THeightField;
class TLightSource;
class TSkyDome;

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

    TScene Scene1;
    TSkyDome* SkyDome1 = nullptr;
    TDummyCube* AfterSky = nullptr;
    TDummyCube* LightCube = nullptr;
    TLightSource* LightSource1 = nullptr;
    THeightField* HeightField1 = nullptr;
    TDummyCube* Observer = nullptr;
    TCamera* Camera = nullptr;
    TDummyCube* CameraTarget = nullptr;
};

} // namespace skyglide
