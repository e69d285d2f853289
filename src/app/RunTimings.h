#pragma once

#include <chrono>
#include <string>

namespace skyglide {

// How the run's frames went, for the timing log (SKYGLIDE_TIMINGS=1, see
// TStartupTimings). When the run ends the window prints:
//
//     skyglide: timing: frames 412
//     skyglide: timing: frame rate 23.5 fps
//     skyglide: timing: triangles per frame 98304
//     skyglide: timing: peak memory 1050 MiB
//
// The frame rate is the mean while frames were being drawn continuously
// (each frame within ContinuousGap of the one before, as while flying or
// playing a path): the time the window sat waiting for the user counts for
// nothing. 0 fps when no two frames followed each other that closely.
class TRunTimings
{
public:
    using TClock = std::chrono::steady_clock;
    static constexpr TClock::duration ContinuousGap = std::chrono::milliseconds(250);

    // A frame has been drawn with that many triangles.
    void FrameRendered(long long triangles, TClock::time_point at = TClock::now());

    long long Frames() const { return m_frames; }
    double FrameRate() const;
    long long TrianglesPerFrame() const;
    // The lines above, the peak memory as given.
    std::string Report(long long peakMemoryMiB) const;

    // The process's largest resident size so far.
    static long long PeakMemoryMiB();

private:
    long long m_frames = 0;
    long long m_triangles = 0;
    long long m_continuousFrames = 0;
    TClock::duration m_continuousTime{};
    TClock::time_point m_last;
};

} // namespace skyglide
