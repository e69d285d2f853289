#include "render/Cadencer.h"

#include "render/Scene.h"

#include "TestSupport.h"

#include <cmath>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace skyglide;
using skyglide::test::TManualClock;

namespace {

struct Step
{
    double deltaTime;
    double newTime;
    bool operator==(const Step& o) const
    {
        return std::abs(deltaTime - o.deltaTime) < 1e-9 && std::abs(newTime - o.newTime) < 1e-9;
    }
};

void PrintTo(const Step& s, std::ostream* os)
{
    *os << "{" << s.deltaTime << ", " << s.newTime << "}";
}

// A manual cadencer of a scene on the manual clock, recording its steps.
struct Timed
{
    TScene scene;
    TManualClock clock;
    TCadencer cadencer{&clock};
    std::vector<Step> steps;

    Timed()
    {
        cadencer.SetMode(TCadencerMode::cmManual);
        cadencer.SetScene(&scene);
        cadencer.OnProgress = [this](TCadencer&, double deltaTime, double newTime) {
            steps.push_back({deltaTime, newTime});
        };
    }
    void after(double seconds)
    {
        clock.Seconds += seconds;
        cadencer.Tick();
    }
    void external(double seconds)
    {
        cadencer.SetExternalTime(seconds);
        cadencer.Tick();
    }
};

TEST(Cadencer, TimingRules)
{
    // clang-format off
    const std::tuple<const char*, std::function<void(Timed&)>, std::vector<Step>> rows[] = {
        {"multiplier change at 10 s keeps time continuous",
         [](Timed& t) { t.after(10); t.cadencer.SetTimeMultiplier(2); t.after(1); }, {{10, 10}, {2, 12}}},
        {"multiplier 0 freezes, and time resumes where it stopped",
         [](Timed& t) {
             t.after(1);
             t.cadencer.SetTimeMultiplier(0);
             EXPECT_FALSE(t.cadencer.Enabled());
             t.after(5);
             t.cadencer.SetTimeMultiplier(3);
             t.after(1);
         }, {{1, 1}, {3, 4}}},
        {"MaxDeltaTime drops lost time",
         [](Timed& t) { t.cadencer.SetMaxDeltaTime(0.1); t.after(1); t.after(0.05); }, {{0.1, 0.1}, {0.05, 0.15}}},
        {"FixedDeltaTime takes whole steps only",
         [](Timed& t) {
             t.cadencer.SetFixedDeltaTime(0.02);
             t.after(0.05);
             EXPECT_NEAR(t.cadencer.LastTime(), 0.04, 1e-12);
         }, {{0.02, 0.05}, {0.02, 0.05}}},
        {"FixedDeltaTime carries the remainder",
         [](Timed& t) { t.cadencer.SetFixedDeltaTime(0.25); t.after(0.625); t.after(0.125); },
         {{0.25, 0.625}, {0.25, 0.625}, {0.25, 0.75}}},
        {"MinDeltaTime lets time accumulate",
         [](Timed& t) { t.cadencer.SetMinDeltaTime(1.0 / 128); t.after(1.0 / 256); t.after(1.0 / 256); },
         {{1.0 / 128, 1.0 / 128}}},
        {"disabled for 3 s leaves no gap",
         [](Timed& t) { t.after(1); t.cadencer.SetEnabled(false); t.after(3); t.cadencer.SetEnabled(true); t.after(0.5); },
         {{1, 1}, {0.5, 1.5}}},
        {"switching to the wall clock keeps time continuous",
         [](Timed& t) { t.after(1); t.cadencer.SetTimeReference(TCadencerTimeReference::cmRTC); t.after(1); },
         {{1, 1}, {1, 2}}},
        {"external time follows the application only",
         [](Timed& t) {
             t.cadencer.SetTimeReference(TCadencerTimeReference::cmExternal);
             t.external(4);
             t.cadencer.SetTimeMultiplier(2);
             t.external(5);
             t.external(5); // asking again does not move time
             t.external(3); // time running backwards takes no step
         }, {{4, 4}, {2, 6}, {0, 6}}}};
    // clang-format on
    for (const auto& [name, script, steps] : rows) {
        Timed t;
        script(t);
        EXPECT_EQ(t.steps, steps) << name;
    }
}

// ---- re-entrancy --------------------------------------------------------------

// A step asked for inside a scene step is refused; a scene step that fails
// leaves the cadencer ready for the next.
TEST(Cadencer, RefusesToStepInsideItsOwnStepAndRecoversFromAFailedOne)
{
    Timed t;
    int sceneSteps = 0;
    t.scene.Objects().AddNewChild<TBaseSceneObject>().OnProgress = [&](auto&, double, double) {
        EXPECT_TRUE(t.cadencer.IsBusy());
        if (++sceneSteps == 1)
            t.after(1); // refused
        else if (sceneSteps == 2)
            throw std::runtime_error("step failed");
    };
    t.after(1);
    EXPECT_EQ(sceneSteps, 1);
    EXPECT_EQ(t.steps.size(), 1u);
    EXPECT_FALSE(t.cadencer.IsBusy());
    EXPECT_THROW(t.after(1), std::runtime_error);
    EXPECT_FALSE(t.cadencer.IsBusy());
    t.after(1);
    EXPECT_EQ(sceneSteps, 3);
    EXPECT_EQ(t.steps.size(), 2u);
}

// ---- the brake of the event-loop pump ---------------------------------------

// Handles `ticks` tick events, each within the millisecond it was posted in;
// returns how many times the throttle asked for its timer.
int burst(TTickThrottle& throttle, int ticks)
{
    int starts = 0;
    for (int i = 0; i < ticks; ++i)
        starts += throttle.TickHandled(7, 7) ? 1 : 0;
    return starts;
}

TEST(Cadencer, ThrottleYieldsAfter5001SameMillisecondTicks)
{
    TTickThrottle t;
    EXPECT_EQ(burst(t, 5000), 0);
    EXPECT_EQ(burst(t, 1), 1);
    EXPECT_EQ(burst(t, 5001), 0); // no second timer while one runs
    t.TimerFired();
    EXPECT_EQ(burst(t, 4000), 0);
    EXPECT_FALSE(t.TickHandled(7, 8)); // a late tick starts the count again
    EXPECT_EQ(burst(t, 4000), 0);
    t.TimerFired(); // so does the timer
    EXPECT_EQ(burst(t, 5000), 0);
    EXPECT_EQ(burst(t, 1), 1);
    t.TimerFailed(); // a timer that could not start does not block the next
    EXPECT_EQ(burst(t, 5001), 1);
}

} // namespace
