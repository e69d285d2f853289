#include "render/Cadencer.h"

#include "render/Scene.h"

#include <cmath>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace skyglide;

namespace {

// Time stands still until the test moves it; the wall clock runs from an
// unrelated origin, as a real one does.
struct ManualClock : TCadencerClock
{
    double seconds = 1000;
    double RealTimeSeconds() override { return 1.7e9 + seconds; }
    double PerformanceCounterSeconds() override { return seconds; }
    void Sleep(int) override {}
};

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

struct Timed
{
    ManualClock clock;
    TCadencer cadencer{&clock};
    std::vector<Step> steps;

    Timed()
    {
        cadencer.SetMode(TCadencerMode::cmManual);
        cadencer.OnProgress = [this](TCadencer&, double deltaTime, double newTime) {
            steps.push_back({deltaTime, newTime});
        };
    }
    void after(double seconds)
    {
        clock.seconds += seconds;
        cadencer.Tick();
    }
    void external(double seconds)
    {
        cadencer.SetExternalTime(seconds);
        cadencer.Tick();
    }
};

struct TimingCase
{
    std::string name;
    std::function<void(Timed&)> script;
    std::vector<Step> steps;
};

class Timing : public testing::TestWithParam<TimingCase>
{
};

TEST_P(Timing, RaisesTheExpectedSteps)
{
    Timed t;
    GetParam().script(t);
    EXPECT_EQ(t.steps, GetParam().steps);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cadencer, Timing, testing::Values(
    TimingCase{"Multiplier2DoublesRealTime",
               [](Timed& t) { t.cadencer.SetTimeMultiplier(2); t.after(0.5); },
               {{1.0, 1.0}}},
    TimingCase{"MultiplierChangeAt10sKeepsTimeContinuous",
               [](Timed& t) { t.after(10); t.cadencer.SetTimeMultiplier(2); t.after(1); },
               {{10, 10}, {2, 12}}},
    TimingCase{"MultiplierZeroFreezesAndTimeResumesWhereItStopped",
               [](Timed& t) {
                   t.after(1);
                   t.cadencer.SetTimeMultiplier(0);
                   EXPECT_FALSE(t.cadencer.Enabled());
                   t.after(5);
                   t.cadencer.SetTimeMultiplier(3);
                   t.after(1);
               },
               {{1, 1}, {3, 4}}},
    TimingCase{"MaxDeltaTimeDropsLostTime",
               [](Timed& t) { t.cadencer.SetMaxDeltaTime(0.1); t.after(1); t.after(0.05); },
               {{0.1, 0.1}, {0.05, 0.15}}},
    TimingCase{"FixedDeltaTimeTakesWholeStepsOnly",
               [](Timed& t) {
                   t.cadencer.SetFixedDeltaTime(0.02);
                   t.after(0.05);
                   EXPECT_NEAR(t.cadencer.LastTime(), 0.04, 1e-12);
               },
               {{0.02, 0.05}, {0.02, 0.05}}},
    TimingCase{"FixedDeltaTimeCarriesTheRemainder",
               [](Timed& t) { t.cadencer.SetFixedDeltaTime(0.25); t.after(0.625); t.after(0.125); },
               {{0.25, 0.625}, {0.25, 0.625}, {0.25, 0.75}}},
    TimingCase{"MinDeltaTimeLetsTimeAccumulate",
               [](Timed& t) { t.cadencer.SetMinDeltaTime(1.0 / 128); t.after(1.0 / 256); t.after(1.0 / 256); },
               {{1.0 / 128, 1.0 / 128}}},
    TimingCase{"Disabled3sLeavesNoGap",
               [](Timed& t) {
                   t.after(1);
                   t.cadencer.SetEnabled(false);
                   t.after(3);
                   t.cadencer.SetEnabled(true);
                   t.after(0.5);
               },
               {{1, 1}, {0.5, 1.5}}},
    TimingCase{"SwitchingToTheWallClockKeepsTimeContinuous",
               [](Timed& t) {
                   t.after(1);
                   t.cadencer.SetTimeReference(TCadencerTimeReference::cmRTC);
                   t.after(1);
               },
               {{1, 1}, {1, 2}}},
    TimingCase{"ExternalTimeFollowsTheApplicationOnly",
               [](Timed& t) {
                   t.cadencer.SetTimeReference(TCadencerTimeReference::cmExternal);
                   t.external(4);
                   t.cadencer.SetTimeMultiplier(2);
                   t.external(5);
                   t.external(5); // asking again does not move time
                   t.external(3); // time running backwards takes no step
               },
               {{4, 4}, {2, 6}, {0, 6}}}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// ---- the scene, subscribers and re-entrancy ---------------------------------

struct Subscriber : TCadencerSubscriber
{
    std::vector<Step> steps;
    void DoProgress(double deltaTime, double newTime) override
    {
        steps.push_back({deltaTime, newTime});
    }
};

struct WithScene
{
    TScene scene;
    ManualClock clock;
    TCadencer cadencer{&clock};
    WithScene()
    {
        cadencer.SetMode(TCadencerMode::cmManual);
        cadencer.SetScene(&scene);
    }
};

TEST(Cadencer, AdvancesTheTreeLastChildFirst)
{
    WithScene s;
    std::string order;
    auto named = [&](TBaseSceneObject& o, const char* name) -> TBaseSceneObject& {
        o.SetName(name);
        o.OnProgress = [&order](TBaseSceneObject& sender, double, double) {
            order += sender.Name() + " ";
        };
        return o;
    };
    auto& a = named(s.scene.Objects().AddNewChild<TBaseSceneObject>(), "A");
    named(a.AddNewChild<TBaseSceneObject>(), "A1");
    named(a.AddNewChild<TBaseSceneObject>(), "A2");
    named(s.scene.Objects().AddNewChild<TBaseSceneObject>(), "B");
    s.cadencer.Tick(); // no time has passed: the scene is not advanced
    EXPECT_EQ(order, "");
    s.clock.seconds += 0.1;
    s.cadencer.Tick();
    EXPECT_EQ(order, "B A2 A1 A ");
}

TEST(Cadencer, SubscribersGetEveryStepUntilTheyGo)
{
    WithScene s;
    Subscriber kept;
    auto gone = std::make_unique<Subscriber>();
    s.cadencer.Subscribe(&kept);
    s.cadencer.Subscribe(gone.get());
    gone.reset(); // signs off by itself
    s.clock.seconds += 0.5;
    s.cadencer.Tick();
    EXPECT_EQ(kept.steps, (std::vector<Step>{{0.5, 0.5}}));
}

TEST(Cadencer, RefusesToStepInsideItsOwnSceneStep)
{
    WithScene s;
    int progress = 0;
    int sceneSteps = 0;
    s.cadencer.OnProgress = [&](TCadencer&, double, double) { ++progress; };
    s.scene.Objects().AddNewChild<TBaseSceneObject>().OnProgress = [&](auto&, double, double) {
        ++sceneSteps;
        EXPECT_TRUE(s.cadencer.IsBusy());
        s.clock.seconds += 1;
        s.cadencer.Tick(); // refused
    };
    s.clock.seconds += 1;
    s.cadencer.Tick();
    EXPECT_EQ(sceneSteps, 1);
    EXPECT_EQ(progress, 1);
    EXPECT_FALSE(s.cadencer.IsBusy());
}

TEST(Cadencer, ErrorInAStepLeavesItReadyForTheNext)
{
    WithScene s;
    bool fail = true;
    s.scene.Objects().AddNewChild<TBaseSceneObject>().OnProgress = [&](auto&, double, double) {
        if (fail)
            throw std::runtime_error("step failed");
    };
    int progress = 0;
    s.cadencer.OnProgress = [&](TCadencer&, double, double) { ++progress; };
    s.clock.seconds += 1;
    EXPECT_THROW(s.cadencer.Tick(), std::runtime_error);
    EXPECT_FALSE(s.cadencer.IsBusy());
    fail = false;
    s.clock.seconds += 1;
    s.cadencer.Tick();
    EXPECT_EQ(progress, 1);
}

TEST(Cadencer, ForgetsADestroyedScene)
{
    ManualClock clock;
    TCadencer cadencer(&clock);
    auto scene = std::make_unique<TScene>();
    cadencer.SetScene(scene.get());
    scene.reset();
    EXPECT_EQ(cadencer.Scene(), nullptr);
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
