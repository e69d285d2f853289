#include "render/Cadencer.h"

#include "render/Scene.h"

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
    std::vector<int> sleeps;
    double RealTimeSeconds() override { return 1.7e9 + seconds; }
    double PerformanceCounterSeconds() override { return seconds; }
    void Sleep(int milliseconds) override { sleeps.push_back(milliseconds); }
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
};

struct TimingCase
{
    std::string name;
    std::function<void(Timed&)> script;
    std::vector<Step> steps;
};

void PrintTo(const TimingCase& c, std::ostream* os)
{
    *os << c.name;
}

class Timing : public testing::TestWithParam<TimingCase>
{
};

TEST_P(Timing, RaisesTheExpectedSteps)
{
    Timed t;
    GetParam().script(t);
    EXPECT_EQ(t.steps, GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Cadencer, Timing,
    testing::Values(
        TimingCase{"StepWithoutElapsedTimeReportsZero", [](Timed& t) { t.after(0); }, {{0, 0}}},
        TimingCase{"Multiplier2DoublesRealTime",
                   [](Timed& t) {
                       t.cadencer.SetTimeMultiplier(2);
                       t.after(0.5);
                   },
                   {{1.0, 1.0}}},
        TimingCase{"MultiplierChangeAt10sKeepsTimeContinuous",
                   [](Timed& t) {
                       t.after(10);
                       t.cadencer.SetTimeMultiplier(2);
                       t.after(1);
                   },
                   {{10, 10}, {2, 12}}},
        TimingCase{"MultiplierZeroFreezesAndTimeResumesWhereItStopped",
                   [](Timed& t) {
                       t.after(1);
                       t.cadencer.SetTimeMultiplier(0);
                       EXPECT_FALSE(t.cadencer.Enabled());
                       t.after(5);
                       t.cadencer.SetTimeMultiplier(3);
                       EXPECT_TRUE(t.cadencer.Enabled());
                       t.after(1);
                   },
                   {{1, 1}, {3, 4}}},
        TimingCase{"MaxDeltaTimeDropsLostTime",
                   [](Timed& t) {
                       t.cadencer.SetMaxDeltaTime(0.1);
                       t.after(1);
                       t.after(0.05);
                   },
                   {{0.1, 0.1}, {0.05, 0.15}}},
        TimingCase{"MaxDeltaTimeDropsLostTimeAtAnyMultiplier",
                   [](Timed& t) {
                       t.cadencer.SetTimeMultiplier(2);
                       t.cadencer.SetMaxDeltaTime(0.1);
                       t.after(1);
                       t.after(0.25);
                   },
                   {{0.1, 0.1}, {0.1, 0.2}}},
        TimingCase{"FixedDeltaTimeTakesWholeStepsOnly",
                   [](Timed& t) {
                       t.cadencer.SetFixedDeltaTime(0.02);
                       t.after(0.05);
                       EXPECT_NEAR(t.cadencer.LastTime(), 0.04, 1e-12);
                   },
                   {{0.02, 0.05}, {0.02, 0.05}}},
        TimingCase{"FixedDeltaTimeCarriesTheRemainder",
                   [](Timed& t) {
                       t.cadencer.SetFixedDeltaTime(0.25);
                       t.after(0.625);
                       t.after(0.125);
                   },
                   {{0.25, 0.625}, {0.25, 0.625}, {0.25, 0.75}}},
        TimingCase{"MinDeltaTimeLetsTimeAccumulate",
                   [](Timed& t) {
                       t.cadencer.SetMinDeltaTime(1.0 / 128);
                       t.after(1.0 / 256);
                       t.after(1.0 / 256);
                   },
                   {{1.0 / 128, 1.0 / 128}}},
        TimingCase{"DisabledTimeLeavesNoGap",
                   [](Timed& t) {
                       t.after(1);
                       t.cadencer.SetEnabled(false);
                       t.after(3);
                       t.cadencer.SetEnabled(true);
                       t.after(0.5);
                   },
                   {{1, 1}, {0.5, 1.5}}},
        TimingCase{"ResetStartsFromZero",
                   [](Timed& t) {
                       t.after(7);
                       t.cadencer.Reset();
                       t.after(0.5);
                   },
                   {{7, 7}, {0.5, 0.5}}},
        TimingCase{"SwitchingToTheWallClockKeepsTimeContinuous",
                   [](Timed& t) {
                       t.after(1);
                       t.cadencer.SetTimeReference(TCadencerTimeReference::cmRTC);
                       t.after(1);
                   },
                   {{1, 1}, {1, 2}}},
        TimingCase{"ExternalTimeFollowsTheApplication",
                   [](Timed& t) {
                       t.cadencer.SetTimeReference(TCadencerTimeReference::cmExternal);
                       t.cadencer.SetExternalTime(4);
                       t.cadencer.Tick();
                       t.cadencer.SetTimeMultiplier(2);
                       t.cadencer.SetExternalTime(5);
                       t.cadencer.Tick();
                       t.cadencer.Tick(); // asking again does not move time
                   },
                   {{4, 4}, {2, 6}, {0, 6}}},
        TimingCase{"TimeRunningBackwardsTakesNoStep",
                   [](Timed& t) {
                       t.cadencer.SetTimeReference(TCadencerTimeReference::cmExternal);
                       t.cadencer.SetExternalTime(2);
                       t.cadencer.Tick();
                       t.cadencer.SetExternalTime(1);
                       t.cadencer.Tick();
                   },
                   {{2, 2}}},
        TimingCase{"SleepLengthSleepsBeforeEveryStep",
                   [](Timed& t) {
                       t.cadencer.SetSleepLength(5);
                       t.after(0);
                       t.after(0);
                       EXPECT_EQ(t.clock.sleeps, (std::vector<int>{5, 5}));
                   },
                   {{0, 0}, {0, 0}}}),
    [](const auto& info) { return info.param.name; });

// ---- the scene, subscribers and re-entrancy ---------------------------------

struct Subscriber : TCadencerSubscriber
{
    std::vector<Step> steps;
    void DoProgress(double deltaTime, double newTime) override
    {
        steps.push_back({deltaTime, newTime});
    }
};

TEST(Cadencer, AdvancesTheTreeLastChildFirst)
{
    TScene scene;
    std::string order;
    auto named = [&](TBaseSceneObject& o, const char* name) -> TBaseSceneObject& {
        o.SetName(name);
        o.OnProgress = [&order](TBaseSceneObject& sender, double, double) {
            order += sender.Name() + " ";
        };
        return o;
    };
    auto& a = named(scene.Objects().AddNewChild<TBaseSceneObject>(), "A");
    named(a.AddNewChild<TBaseSceneObject>(), "A1");
    named(a.AddNewChild<TBaseSceneObject>(), "A2");
    named(scene.Objects().AddNewChild<TBaseSceneObject>(), "B");

    ManualClock clock;
    TCadencer cadencer(&clock);
    cadencer.SetMode(TCadencerMode::cmManual);
    cadencer.SetScene(&scene);
    cadencer.Tick(); // no time has passed: the scene is not advanced
    EXPECT_EQ(order, "");
    clock.seconds += 0.1;
    cadencer.Tick();
    EXPECT_EQ(order, "B A2 A1 A ");
}

TEST(Cadencer, SubscribersGetEveryStepUntilTheyGo)
{
    ManualClock clock;
    TCadencer cadencer(&clock);
    cadencer.SetMode(TCadencerMode::cmManual);
    cadencer.SetFixedDeltaTime(0.25);
    Subscriber kept;
    auto gone = std::make_unique<Subscriber>();
    cadencer.Subscribe(&kept);
    cadencer.Subscribe(gone.get());
    cadencer.Subscribe(&kept);
    clock.seconds += 0.5;
    cadencer.Tick();
    EXPECT_EQ(kept.steps, (std::vector<Step>{{0.25, 0.25}, {0.25, 0.5}}));
    gone.reset();
    clock.seconds += 0.25;
    cadencer.Tick();
    EXPECT_EQ(kept.steps.size(), 3u);
}

TEST(Cadencer, RefusesToStepInsideItsOwnSceneStep)
{
    TScene scene;
    ManualClock clock;
    TCadencer cadencer(&clock);
    cadencer.SetMode(TCadencerMode::cmManual);
    cadencer.SetScene(&scene);
    int progress = 0;
    int sceneSteps = 0;
    cadencer.OnProgress = [&](TCadencer&, double, double) { ++progress; };
    scene.Objects().AddNewChild<TBaseSceneObject>().OnProgress = [&](TBaseSceneObject&, double,
                                                                     double) {
        ++sceneSteps;
        EXPECT_TRUE(cadencer.IsBusy());
        clock.seconds += 1;
        cadencer.Tick(); // refused
    };
    clock.seconds += 1;
    cadencer.Tick();
    EXPECT_EQ(sceneSteps, 1);
    EXPECT_EQ(progress, 1);
    EXPECT_FALSE(cadencer.IsBusy());
}

TEST(Cadencer, ErrorInAStepLeavesItReadyForTheNext)
{
    TScene scene;
    ManualClock clock;
    TCadencer cadencer(&clock);
    cadencer.SetMode(TCadencerMode::cmManual);
    cadencer.SetScene(&scene);
    bool fail = true;
    scene.Objects().AddNewChild<TBaseSceneObject>().OnProgress = [&](TBaseSceneObject&, double,
                                                                     double) {
        if (fail)
            throw std::runtime_error("step failed");
    };
    int progress = 0;
    cadencer.OnProgress = [&](TCadencer&, double, double) { ++progress; };
    clock.seconds += 1;
    EXPECT_THROW(cadencer.Tick(), std::runtime_error);
    EXPECT_FALSE(cadencer.IsBusy());
    fail = false;
    clock.seconds += 1;
    cadencer.Tick();
    EXPECT_EQ(progress, 1);
}

TEST(Cadencer, ForgetsADestroyedScene)
{
    ManualClock clock;
    TCadencer cadencer(&clock);
    cadencer.SetMode(TCadencerMode::cmManual);
    auto scene = std::make_unique<TScene>();
    cadencer.SetScene(scene.get());
    scene.reset();
    EXPECT_EQ(cadencer.Scene(), nullptr);
    clock.seconds += 1;
    cadencer.Tick(); // steps on without a scene
}

// ---- the brake of the event-loop pump ---------------------------------------

struct ThrottleCase
{
    std::string name;
    std::function<int(TTickThrottle&)> run; // returns the number of timer starts
    int starts;
};

void PrintTo(const ThrottleCase& c, std::ostream* os)
{
    *os << c.name;
}

class Throttle : public testing::TestWithParam<ThrottleCase>
{
};

TEST_P(Throttle, StartsTheTimerOnlyForALongBurst)
{
    TTickThrottle throttle;
    EXPECT_EQ(GetParam().run(throttle), GetParam().starts);
}

int burst(TTickThrottle& throttle, int ticks, std::int64_t ms = 7)
{
    int starts = 0;
    for (int i = 0; i < ticks; ++i)
        starts += throttle.TickHandled(ms, ms) ? 1 : 0;
    return starts;
}

INSTANTIATE_TEST_SUITE_P(Cadencer, Throttle,
                         testing::Values(ThrottleCase{"BurstOf5000StartsNothing",
                                                      [](auto& t) { return burst(t, 5000); }, 0},
                                         ThrottleCase{"BurstOf5001StartsTheTimer",
                                                      [](auto& t) { return burst(t, 5001); }, 1},
                                         ThrottleCase{"LateTickResetsTheCount",
                                                      [](auto& t) {
                                                          int starts = burst(t, 4000);
                                                          starts += t.TickHandled(7, 8) ? 1 : 0;
                                                          return starts + burst(t, 4000, 8);
                                                      },
                                                      0},
                                         ThrottleCase{"TimerResetsTheCount",
                                                      [](auto& t) {
                                                          int starts = burst(t, 3000);
                                                          t.TimerFired();
                                                          return starts + burst(t, 3000);
                                                      },
                                                      0},
                                         ThrottleCase{"NoSecondTimerWhileOneRuns",
                                                      [](auto& t) {
                                                          int starts =
                                                              burst(t, 5001) + burst(t, 5001);
                                                          EXPECT_TRUE(t.TimerRunning());
                                                          t.TimerFired();
                                                          return starts + burst(t, 5001);
                                                      },
                                                      2},
                                         ThrottleCase{"FailedTimerDoesNotBlockTheNext",
                                                      [](auto& t) {
                                                          int starts = burst(t, 5001);
                                                          t.TimerFailed();
                                                          return starts + burst(t, 5001);
                                                      },
                                                      2}),
                         [](const auto& info) { return info.param.name; });

} // namespace
