#pragma once

// What the GL tests share: a viewer shown on the test's X server, frames
// awaited through the buffer's own count, and pixels read back.

#include "ViewerComposition.h"

#include "render/Bitmap32.h"
#include "render/SceneViewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

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

/// Writes frame as a PNG named `name` into the test output folder, to be
/// looked at; returns its path, or an empty path when it cannot be written.
inline std::filesystem::path savePng(const TBitmap32& frame, const std::string& name)
{
    QImage image(frame.Width(), frame.Height(), QImage::Format_RGBA8888);
    for (int y = 0; y < frame.Height(); ++y)
        std::memcpy(image.scanLine(y), frame.ScanLine(frame.Height() - 1 - y),
                    std::size_t(frame.Width()) * 4);
    const char* out = std::getenv("SKYGLIDE_TEST_TMP");
    const std::filesystem::path png = std::filesystem::path(out ? out : ".") / name;
    if (!image.convertToFormat(QImage::Format_RGB888)
             .save(QString::fromStdString(png.string()), "PNG"))
        return {};
    return png;
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

/// A scene with a camera at `eye` looking at `target` (the viewer's focal
/// length and depth of view), and no light yet.
struct CameraScene
{
    TScene Scene;
    TCamera* Camera = nullptr;

    CameraScene(const TAffineVector& eye, const TAffineVector& target)
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

    /// A light shining straight down, like a sun at the zenith.
    void AddSun()
    {
        auto& sun = Scene.Objects().AddNewChild<TLightSource>();
        sun.SetLightStyle(TLightStyle::lsParallel);
        sun.SpotDirection().SetAsAffineVector({0, 1, 0});
    }
};

/// A viewer of width × height showing scene through its camera, on a black
/// background, shown and past its first frame. Errors of its frames are
/// collected in Errors, which a test that provokes one clears.
struct ShownViewer
{
    TSceneViewer Viewer;
    std::string Errors;

    ShownViewer(TCamera* camera, int width, int height)
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
        EXPECT_TRUE(waitForFrame(Viewer, 0)) << "the viewer never painted";
    }
    ~ShownViewer() { EXPECT_EQ(Errors, "") << "render errors"; }

    long long frames() const { return Viewer.Buffer().Statistics().FramesRendered; }
    TRenderStatistics statistics() const { return Viewer.Buffer().Statistics(); }

    /// Asks for a frame (or lets `change` cause one), waits for it and reads it back.
    TBitmap32 frame(const std::function<void()>& change = {})
    {
        const long long before = frames();
        change ? change() : Viewer.update();
        EXPECT_TRUE(waitForFrame(Viewer, before)) << "no repaint";
        return Viewer.ReadFrameImage();
    }
};

} // namespace skyglide::test
