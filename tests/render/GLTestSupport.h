#pragma once

// What the GL tests share: a viewer shown on the test's X server, frames
// awaited through the buffer's own count, and pixels read back.

#include "render/Bitmap32.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/LightSource.h"
#include "render/Scene.h"
#include "render/SceneViewer.h"
#include "render/SkyDome.h"

#include <QApplication>
#include <QElapsedTimer>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <ostream>

#include <gtest/gtest.h>

namespace skyglide::test {

using RGB = std::array<int, 3>;

inline RGB pixelAt(const TBitmap32& image, int x, int rowFromBottom)
{
    const std::uint8_t* p = image.ScanLine(rowFromBottom) + 4 * x;
    return {p[0], p[1], p[2]};
}

inline bool near(const RGB& a, const RGB& b, int tolerance)
{
    for (int i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > tolerance)
            return false;
    return true;
}

inline RGB toRGB(const TVector4f& colour)
{
    return {int(colour.X * 255.0f + 0.5f), int(colour.Y * 255.0f + 0.5f),
            int(colour.Z * 255.0f + 0.5f)};
}

/// Lets the event loop run until the viewer has rendered a frame after
/// `before` frames, or fails after timeoutMs.
inline bool waitForFrame(TSceneViewer& viewer, long long before, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (viewer.Buffer().Statistics().FramesRendered <= before) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

/// Lets the event loop run for ms milliseconds.
inline void settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
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

/// A scene with a camera at `eye` looking at `target` (the viewer's focal
/// length and depth of view), and no light yet.
struct CameraScene
{
    TScene Scene;
    TCamera* Camera = nullptr;
    TDummyCube* Target = nullptr;

    CameraScene(const TAffineVector& eye, const TAffineVector& target)
    {
        Scene.SetObjectsSorting(TObjectsSorting::osNone);
        Target = &Scene.Objects().AddNewChild<TDummyCube>();
        Target->Position().SetAsAffineVector(target);
        Camera = &Scene.Objects().AddNewChild<TCamera>();
        Camera->Position().SetAsAffineVector(eye);
        Camera->Up().SetAsAffineVector({0, 1, 0});
        Camera->SetFocalLength(100);
        Camera->SetDepthOfView(100000);
        Camera->SetTargetObject(Target);
    }

    /// A light shining straight down, like a sun at the zenith.
    TLightSource& AddSun()
    {
        auto& sun = Scene.Objects().AddNewChild<TLightSource>();
        sun.SetLightStyle(TLightStyle::lsParallel);
        sun.SpotDirection().SetAsAffineVector({0, 1, 0});
        return sun;
    }
};

/// A viewer of width × height showing scene through its camera, on a black
/// background, shown and past its first frame.
struct ShownViewer
{
    TSceneViewer Viewer;

    ShownViewer(TCamera* camera, int width, int height)
    {
        Viewer.OnRenderError = [](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                ADD_FAILURE() << "render error: " << e.what();
            }
        };
        Viewer.SetCamera(camera);
        Viewer.Buffer().SetBackgroundColor({0, 0, 0, 1});
        Viewer.resize(width, height);
        Viewer.show();
        EXPECT_TRUE(waitForFrame(Viewer, 0)) << "the viewer never painted";
    }

    long long frames() const { return Viewer.Buffer().Statistics().FramesRendered; }

    /// Asks for a frame, waits for it and reads it back.
    TBitmap32 frame()
    {
        const long long before = frames();
        Viewer.update();
        EXPECT_TRUE(waitForFrame(Viewer, before));
        return Viewer.ReadFrameImage();
    }
};

} // namespace skyglide::test
