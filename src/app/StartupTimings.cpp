#include "app/StartupTimings.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace skyglide {

namespace {

struct TTimingsState
{
    bool Enabled = false;
    bool Reported = false;
    bool LoadFinished = false;
    bool FirstFrame = false;
    TStartupTimings::TClock::time_point Start = TStartupTimings::TClock::now();
    TStartupTimings::TClock::time_point Shown = Start;
    TStartupTimings::TClock::time_point FirstFrameEnd = Start;
    std::array<TStartupTimings::TClock::duration, TStartupTimings::tpPhaseCount> Phases{};
};

TTimingsState& State()
{
    static TTimingsState state = [] {
        TTimingsState initial;
        const char* flag = std::getenv("SKYGLIDE_TIMINGS");
        initial.Enabled = flag && std::strcmp(flag, "1") == 0;
        return initial;
    }();
    return state;
}

double Milliseconds(TStartupTimings::TClock::duration elapsed)
{
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

} // namespace

bool TStartupTimings::Enabled()
{
    return State().Enabled;
}

void TStartupTimings::Start()
{
    State().Start = TClock::now();
}

void TStartupTimings::Add(TPhase phase, TClock::duration elapsed)
{
    State().Phases[phase] += elapsed;
}

TStartupTimings::TClock::duration TStartupTimings::Elapsed(TPhase phase)
{
    return State().Phases[phase];
}

void TStartupTimings::WindowShowing()
{
    State().Shown = TClock::now();
}

void TStartupTimings::FirstFrameRendered(TClock::duration textureUpload, TClock::duration meshBuild)
{
    TTimingsState& state = State();
    if (state.FirstFrame)
        return;
    state.FirstFrame = true;
    state.FirstFrameEnd = TClock::now();
    state.Phases[tpTextureUpload] += textureUpload;
    state.Phases[tpMeshBuild] += meshBuild;
    state.Phases[tpFirstFrame] += state.FirstFrameEnd - state.Shown - textureUpload - meshBuild;
    Report();
}

void TStartupTimings::LoadFinished()
{
    State().LoadFinished = true;
    Report();
}

void TStartupTimings::Report()
{
    TTimingsState& state = State();
    if (!state.Enabled || state.Reported || !state.LoadFinished || !state.FirstFrame)
        return;
    state.Reported = true;
    static constexpr std::array<const char*, tpPhaseCount> Names = {
        "host calls", "progress reports", "drape load", "surface load",
        "window",     "texture upload",   "mesh build", "first frame"};
    for (int phase = 0; phase < tpPhaseCount; ++phase)
        std::fprintf(stderr, "skyglide: timing: %s %.1f ms\n", Names[phase],
                     Milliseconds(state.Phases[phase]));
    std::fprintf(stderr, "skyglide: timing: total %.1f ms\n",
                 Milliseconds(state.FirstFrameEnd - state.Start));
    std::fflush(stderr);
}

} // namespace skyglide
