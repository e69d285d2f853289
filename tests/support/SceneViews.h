#pragma once

// Scenes as the viewer shows them: what a frame reads from a scene tree
// without a GL context, and a viewer widget shown on the test's X server
// with its frames read back.

#include "TestSupport.h"

#include "render/Bitmap32.h"
#include "render/SceneViewer.h"

#include <exception>
#include <functional>
#include <string>

namespace skyglide {

class TCamera;
class TScene;
struct TSceneComposition;

namespace test {

// What the render pass reads from the scene for one frame of an 827 × 530
// view: the projection and view of the camera, the lights, and the local
// matrix of every visible object, whose geometry it compiles.
void ReadAsAFrame(TSceneComposition& scene);

// A scene with a camera at eye looking at target (the viewer's focal length
// and depth of view), and no light yet.
struct TCameraScene
{
    TScene& Scene;
    TCamera* Camera = nullptr;

    TCameraScene(TScene& scene, const TAffineVector& eye, const TAffineVector& target);
    // A light shining straight down, like a sun at the zenith.
    void AddSun();
};

// A viewer of width × height showing a camera's scene on a black
// background, shown and past its first frame. Errors of its frames are
// collected in Errors, which a test that provokes one clears.
struct TShownViewer
{
    TSceneViewer Viewer;
    std::string Errors;

    TShownViewer(TCamera* camera, int width, int height);
    ~TShownViewer();

    long long Frames() const { return Viewer.Buffer().Statistics().FramesRendered; }
    const TRenderStatistics& Statistics() const { return Viewer.Buffer().Statistics(); }
    // Asks for a frame (or lets change cause one), waits for it and reads it
    // back.
    TBitmap32 Frame(const std::function<void()>& change = {});
};

} // namespace test
} // namespace skyglide
