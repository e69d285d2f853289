#pragma once

// The GL tests' viewer widget on a real GL context (Xvfb, llvmpipe), shown and
// past its first frame, whose frames a test asks for and reads back.

#include "TestSupport.h"

#include "render/SceneViewer.h"

#include <exception>
#include <functional>
#include <string>

namespace skyglide::test {

// Shows a camera's scene on a black background. Errors of its frames are
// collected in Errors and fail the test, unless a test that provokes one
// clears them.
struct TShownViewer
{
    TSceneViewer Viewer;
    std::string Errors;

    explicit TShownViewer(TCamera* camera, int width = 827, int height = 530)
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
        EXPECT_TRUE(WaitUntil([this] { return Frames() > 0; })) << "the viewer never painted";
    }
    ~TShownViewer() { EXPECT_EQ(Errors, "") << "render errors"; }

    const TRenderStatistics& Statistics() const { return Viewer.Buffer().Statistics(); }
    long long Frames() const { return Statistics().FramesRendered; }
    // Asks for a frame (or lets change cause one), waits for it and reads it back.
    TBitmap32 Frame(const std::function<void()>& change = {})
    {
        const long long before = Frames();
        change ? change() : Viewer.update();
        EXPECT_TRUE(WaitUntil([&] { return Frames() > before; })) << "no repaint";
        return Viewer.ReadFrameImage();
    }
};

} // namespace skyglide::test
