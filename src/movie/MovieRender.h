#pragma once

#include "movie/MovieSettings.h"
#include "movie/MovieWriter.h"

#include <functional>
#include <string>

namespace skyglide {

/// Where the frames of a rendered movie come from: a renderer that draws
/// frame after frame into an RGB buffer (an off-screen framebuffer read back,
/// or any picture in memory).
class TMovieFrameSource
{
public:
    virtual ~TMovieFrameSource() = default;
    /// How many frames the movie has.
    virtual int FrameCount() const = 0;
    /// Draws frame `index` (called for 0, 1, 2, … in order) at the movie's
    /// size and tells where its pixels are; they must stay valid until the
    /// next call. An exception ends the movie: nothing is left on disk and
    /// the exception passes on.
    virtual TRGBFrame RenderFrame(int index) = 0;
};

/// How far a movie has come, after each frame.
struct TMovieProgress
{
    int FramesDone = 0;
    int FrameCount = 0;
    double FramesPerSecond = 0; ///< frames written per second of the render so far
    double SecondsLeft = 0;     ///< the frames still to come at that pace
};

/// "120 of 450 frames, 14.2 frames/s, 0:23 left".
std::string MovieProgressText(const TMovieProgress& progress);

enum class TMovieRenderResult {
    mrFinished,  ///< the movie is complete under its name
    mrCancelled, ///< OnQueryCancel said so; nothing was left on disk
};

/// Renders a movie: frames from a source into a TMovieWriter, with progress
/// and cancel between frames, on the calling thread.
class TMovieRender
{
public:
    /// Called after each frame. It may let window messages through.
    std::function<void(const TMovieProgress& progress)> OnProgress;
    /// Asked before each frame and before the movie is completed; true
    /// drops the movie, so a cancel takes effect within one frame.
    std::function<bool()> OnQueryCancel;
    /// Seconds on a steady clock; std::chrono::steady_clock when unset.
    std::function<double()> Clock;

    /// `settings` must be checked already (CheckMovieSettings()), so that
    /// the source renders at the size the writer takes. Throws EMovieError
    /// (an empty source, a writer's failure) or what the source throws; no
    /// file is left behind then.
    TMovieRenderResult Render(TMovieFrameSource& source, const TMovieSettings& settings);
};

} // namespace skyglide
