#include "app/RunTimings.h"

#include <sys/resource.h>

#include <cstdio>

namespace skyglide {

void TRunTimings::FrameRendered(long long triangles, TClock::time_point at)
{
    if (m_frames > 0 && at - m_last <= ContinuousGap) {
        ++m_continuousFrames;
        m_continuousTime += at - m_last;
    }
    ++m_frames;
    m_triangles += triangles;
    m_last = at;
}

double TRunTimings::FrameRate() const
{
    const double seconds = std::chrono::duration<double>(m_continuousTime).count();
    return seconds > 0.0 ? double(m_continuousFrames) / seconds : 0.0;
}

long long TRunTimings::TrianglesPerFrame() const
{
    return m_frames > 0 ? (m_triangles + m_frames / 2) / m_frames : 0;
}

std::string TRunTimings::Report(long long peakMemoryMiB) const
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "skyglide: timing: frames %lld\n"
                  "skyglide: timing: frame rate %.1f fps\n"
                  "skyglide: timing: triangles per frame %lld\n"
                  "skyglide: timing: peak memory %lld MiB\n",
                  m_frames, FrameRate(), TrianglesPerFrame(), peakMemoryMiB);
    return text;
}

long long TRunTimings::PeakMemoryMiB()
{
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return 0;
    return (static_cast<long long>(usage.ru_maxrss) + 512) / 1024; // KiB on Linux
}

} // namespace skyglide
