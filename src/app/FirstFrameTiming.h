#pragma once

#include <QObject>

#include <chrono>

namespace skyglide {

class TSceneViewer;

// Times the scene window's first frame for the start-up timing log (see
// TStartupTimings): the texture upload, from the start of the frame to the
// first height the mesh asks for; the mesh build, from the first height to
// the last; and the frame itself, until the window has composed it. The
// window feeds it from its render hooks and its height callback, and makes
// one only when the log is asked for.
class TFirstFrameTiming : public QObject
{
public:
    explicit TFirstFrameTiming(TSceneViewer& viewer);

    // The viewer starts a frame (BeforeRender).
    void FrameBegins();
    // The mesh asks for a height.
    void HeightAsked();
    // The viewer has drawn a frame (AfterRender): the first one is timed.
    void FrameRendered();

private:
    using TClock = std::chrono::steady_clock;

    TSceneViewer& m_viewer;
    bool m_active = true;
    TClock::time_point m_frameBegin;
    TClock::time_point m_firstHeight;
    TClock::time_point m_lastHeight;
    long long m_heightCalls = 0;
};

} // namespace skyglide
