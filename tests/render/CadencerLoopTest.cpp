// The cadencer driven by a real Qt event loop (no display needed). Every loop
// is bounded by a watchdog timer, so a cadencer that stops stepping fails the
// test instead of hanging it.

#include "render/Cadencer.h"

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

// Like the viewer's application: an error escaping a handler is reported
// (here: counted) and the event loop goes on.
struct ReportingApplication : QCoreApplication
{
    using QCoreApplication::QCoreApplication;
    int errors = 0;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception&) {
            ++errors;
            return false;
        }
    }
};

// A cadencer of its own scene whose steps call `step` with their count.
struct Stepping
{
    TScene scene;
    TCadencer cadencer; // cmASAP, the system's clock
    int steps = 0;
    explicit Stepping(std::function<void(int)> step, TCadencerMode mode = TCadencerMode::cmASAP)
    {
        cadencer.SetMode(mode);
        cadencer.OnProgress = [this, step](TCadencer&, double, double) { step(++steps); };
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
    watchdog.start(5000);
    QCoreApplication::exec();
    return !timedOut;
}

TEST(CadencerLoop, AsapStepsOncePerPassAndLetsPendingEventsThroughFirst)
{
    std::string trace;
    Stepping s([&](int step) {
        trace += 'S';
        for (int i = 0; step == 1 && i < 3; ++i)
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [&] { trace += 'e'; }, Qt::QueuedConnection);
        if (step == 5)
            QCoreApplication::quit();
    });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(trace, "SeeeSSSS");
}

TEST(CadencerLoop, DisablingFromAHandlerStopsThePump)
{
    bool restarted = false;
    Stepping s([&](int step) {
        if (step == 3 && !restarted) {
            s.cadencer.SetEnabled(false);
            // Long enough for many more passes, had the pump gone on.
            QTimer::singleShot(20, [] { QCoreApplication::quit(); });
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

TEST(CadencerLoop, IdleModeStepsWhileTheLoopIsIdle)
{
    Stepping s(
        [](int step) {
            if (step == 5)
                QCoreApplication::quit();
        },
        TCadencerMode::cmApplicationIdle);
    ASSERT_TRUE(runLoop());
}

TEST(CadencerLoop, ErrorInAStepDoesNotStopThePump)
{
    Stepping s([](int step) {
        if (step == 2)
            throw std::runtime_error("step failed");
        if (step == 4)
            QCoreApplication::quit();
    });
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(static_cast<ReportingApplication*>(QCoreApplication::instance())->errors, 1);
}

} // namespace

int main(int argc, char** argv)
{
    ReportingApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
