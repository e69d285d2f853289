#include "movie/MovieRender.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace skyglide {

std::string MovieProgressText(const TMovieProgress& progress)
{
    const long long left = std::llround(std::max(progress.SecondsLeft, 0.0));
    char time[32];
    if (left >= 3600)
        std::snprintf(time, sizeof time, "%lld:%02lld:%02lld", left / 3600, left / 60 % 60,
                      left % 60);
    else
        std::snprintf(time, sizeof time, "%lld:%02lld", left / 60, left % 60);
    char text[128];
    std::snprintf(text, sizeof text, "%d of %d frames, %.1f frames/s, %s left", progress.FramesDone,
                  progress.FrameCount, progress.FramesPerSecond, time);
    return text;
}

TMovieRenderResult TMovieRender::Render(TMovieFrameSource& source, const TMovieSettings& settings)
{
    const int count = source.FrameCount();
    if (count < 1)
        throw EMovieError("cannot write " + settings.FileName + ": the movie has no frames");
    const auto now = [this] {
        if (Clock)
            return Clock();
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    const auto cancelled = [this] { return OnQueryCancel && OnQueryCancel(); };

    TMovieWriter writer(settings);
    const double start = now();
    for (int index = 0; index < count; ++index) {
        if (cancelled())
            return TMovieRenderResult::mrCancelled; // the writer drops the movie
        writer.Write(source.RenderFrame(index));
        if (OnProgress) {
            TMovieProgress progress;
            progress.FramesDone = index + 1;
            progress.FrameCount = count;
            const double seconds = now() - start;
            progress.FramesPerSecond = seconds > 0 ? progress.FramesDone / seconds : 0;
            progress.SecondsLeft = progress.FramesPerSecond > 0
                                       ? (count - progress.FramesDone) / progress.FramesPerSecond
                                       : 0;
            OnProgress(progress);
        }
    }
    if (cancelled())
        return TMovieRenderResult::mrCancelled;
    writer.Finish();
    return TMovieRenderResult::mrFinished;
}

} // namespace skyglide
