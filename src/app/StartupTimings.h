#pragma once

#include <chrono>
#include <utility>

namespace skyglide {

// Where the time of a start goes, for whoever tunes it: with SKYGLIDE_TIMINGS=1
// in the environment, the first rendered frame prints one line per phase to
// the standard error stream:
//
//     skyglide: timing: surface load 41.7 ms
//
// The phases are: host calls (every call of the start-up but the progress
// reports), progress reports, drape load and surface load (without their
// progress reports), window (creating it), texture upload, mesh build,
// first frame (the rest of the time from the show to the end of the first
// frame) and total (from the start of main to the end of the first
// frame). Without the
// variable nothing is measured.
class TStartupTimings
{
public:
    enum TPhase {
        tpHostCalls,
        tpProgressReports,
        tpDrapeLoad,
        tpSurfaceLoad,
        tpWindow,
        tpTextureUpload,
        tpMeshBuild,
        tpFirstFrame,
        tpPhaseCount
    };

    using TClock = std::chrono::steady_clock;

    static bool Enabled();
    // The start of main, from which the total runs.
    static void Start();
    static void Add(TPhase phase, TClock::duration elapsed);
    static TClock::duration Elapsed(TPhase phase);
    // Runs work and adds its time to phase.
    template <class F> static decltype(auto) Timed(TPhase phase, F&& work)
    {
        if (!Enabled())
            return std::forward<F>(work)();
        struct TScope
        {
            TPhase Phase;
            TClock::time_point Begin = TClock::now();
            ~TScope() { Add(Phase, TClock::now() - Begin); }
        } scope{phase};
        return std::forward<F>(work)();
    }
    // The start-up load is about to show the scene window.
    static void WindowShowing();
    // The first frame is on screen: the texture upload and the mesh build
    // took these parts of it; the rest of the time since WindowShowing() is the
    // first frame's.
    static void FirstFrameRendered(TClock::duration textureUpload, TClock::duration meshBuild);
    // The start-up load has finished. The phases are printed once both the
    // load and the first frame are done.
    static void LoadFinished();

private:
    static void Report();
};

} // namespace skyglide
