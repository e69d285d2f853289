// The cadencer driven by a real Qt event loop under the viewer's application
// object. A watchdog bounds every loop: a cadencer that stops stepping fails
// the test instead of hanging it.

#include "render/Cadencer.h"

#include "FakeUserDialogs.h"
#include "TestSupport.h"

#include "render/Scene.h"

#include <QCoreApplication>
#include <QTimer>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

using namespace skyglide;

namespace {

// A cadencer of its own scene, on the given clock (nullptr: the system's),
// whose steps call `step` with their count.
struct Stepping
{
    TScene scene;
    TCadencer cadencer;
    int steps = 0;
    double lastDelta = -1;
    explicit Stepping(std::function<void(int)> step, TCadencerMode mode = TCadencerMode::cmASAP,
                      TCadencerClock* clock = nullptr)
        : cadencer(clock)
    {
        cadencer.SetMode(mode);
        cadencer.OnProgress = [this, step](TCadencer&, double delta, double) {
            lastDelta = delta;
            step(++steps);
        };
        cadencer.SetScene(&scene); // registers: the pump starts with the loop
    }
};

// Runs the event loop until quit() or the watchdog; true when quit() ended it.
bool runLoop()
{
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    watchdog.start(30000);
    QCoreApplication::exec();
    return !timedOut;
}

// Quits the loop after passes more passes through the event queue.
void quitAfterPasses(int passes)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [passes] { passes > 1 ? quitAfterPasses(passes - 1) : QCoreApplication::quit(); },
        Qt::QueuedConnection);
}

// The application's error box shows what escapes a step, and the pump goes on.
TEST(CadencerLoop, AsapStepsOncePerPassLetsPendingEventsThroughFirstAndOutlivesAFailedStep)
{
    skyglide::test::TFakeUserDialogs dialogs;
    std::string trace;
    Stepping s([&](int step) {
        trace += 'S';
        for (int i = 0; step == 1 && i < 3; ++i)
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [&] { trace += 'e'; }, Qt::QueuedConnection);
        if (step == 2)
            throw std::runtime_error("step failed");
        if (step == 5)
            QCoreApplication::quit();
    });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(trace, "SeeeSSSS");
    ASSERT_EQ(dialogs.Shown.size(), 1u);
    EXPECT_EQ(dialogs.Shown[0].Kind, "error");
    EXPECT_EQ(dialogs.Shown[0].Caption, "SkyGlide");
    EXPECT_EQ(dialogs.Shown[0].Text, "step failed");
}

TEST(CadencerLoop, DisablingFromAHandlerStopsThePump)
{
    bool restarted = false;
    Stepping s([&](int step) {
        if (step == 3 && !restarted) {
            s.cadencer.SetEnabled(false);
            // Enough passes for many more steps, had the pump gone on.
            quitAfterPasses(20);
        }
        if (restarted && step == 5)
            QCoreApplication::quit();
    });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(s.steps, 3);
    restarted = true;
    s.cadencer.SetEnabled(true); // and it starts again
    ASSERT_TRUE(runLoop());
}

TEST(CadencerLoop, CadencerDestroyedDuringAnotherOnesStepIsSkipped)
{
    // The pump serves the later-registered cadencer first.
    int doomedSteps = 0;
    auto doomed = std::make_unique<Stepping>([&](int) { ++doomedSteps; });
    Stepping survivor([&](int step) {
        if (step == 1)
            doomed.reset();
        if (step == 4)
            QCoreApplication::quit();
    });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(doomedSteps, 0);
}

// Resting, the cadencer leaves the event loop alone: it steps while a reason
// holds, once per frame asked for, and the time it rested never reaches a
// step.
TEST(CadencerLoop, RestingCadencerStepsOnlyForAReasonOrAFrameAskedFor)
{
    for (const TCadencerMode mode : {TCadencerMode::cmASAP, TCadencerMode::cmApplicationIdle}) {
        skyglide::test::TManualClock clock;
        Stepping s([](int) {}, mode, &clock);
        s.cadencer.SetRestsWhenIdle(true);
        const auto passes = [] {
            quitAfterPasses(20);
            return runLoop();
        };
        ASSERT_TRUE(passes());
        EXPECT_EQ(s.steps, 0);

        clock.Seconds += 5; // rested 5 s
        s.cadencer.RequestFrame();
        ASSERT_TRUE(passes());
        EXPECT_EQ(s.steps, 1) << "one frame asked for, one step";

        clock.Seconds += 3; // rested 3 s more
        s.cadencer.SetFrameReason(TFrameReason::frKeyHeld, true);
        s.cadencer.Tick();
        EXPECT_EQ(s.lastDelta, 0.0) << "waking measures from the wake, not from the last step";
        int held = s.steps;
        clock.Seconds += 0.25;
        s.cadencer.Tick();
        EXPECT_DOUBLE_EQ(s.lastDelta, 0.25);
        ASSERT_TRUE(passes());
        EXPECT_GT(s.steps, held + 10) << "a held key steps at every pass";

        s.cadencer.SetFrameReason(TFrameReason::frKeyHeld, false);
        held = s.steps;
        ASSERT_TRUE(passes());
        EXPECT_EQ(s.steps, held);
    }
}

} // namespace
