// The cadencer driven by a real Qt event loop (no display needed). Every loop
// is bounded by a watchdog timer, so a cadencer that stops stepping fails the
// test instead of hanging it.

#include "render/Cadencer.h"

#include "render/Scene.h"

#include <QCoreApplication>
#include <QTimer>

#include <memory>
#include <string>

#include <gtest/gtest.h>

using namespace skyglide;

namespace {

// Runs the event loop until quit() or the watchdog; true when quit() ended it.
bool runLoop(int watchdogMs = 5000)
{
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    watchdog.start(watchdogMs);
    QCoreApplication::exec();
    return !timedOut;
}

// Lets the loop run for a moment after the test has finished its work.
void settle(int ms)
{
    QTimer::singleShot(ms, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
}

void postRecord(std::string& trace, char mark)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&trace, mark] { trace += mark; }, Qt::QueuedConnection);
}

TEST(CadencerLoop, AsapStepsOncePerPassAndLetsPendingEventsThroughFirst)
{
    TScene scene;
    TCadencer cadencer; // cmASAP, the system's clock
    std::string trace;
    int steps = 0;
    cadencer.OnProgress = [&](TCadencer&, double, double) {
        trace += 'S';
        if (++steps == 1) {
            postRecord(trace, 'e');
            postRecord(trace, 'e');
            postRecord(trace, 'e');
        }
        if (steps == 5)
            QCoreApplication::quit();
    };
    cadencer.SetScene(&scene); // registers: the pump starts with the loop
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(trace, "SeeeSSSS");
}

TEST(CadencerLoop, DisablingFromAHandlerStopsThePump)
{
    TScene scene;
    TCadencer cadencer;
    int steps = 0;
    cadencer.OnProgress = [&](TCadencer& sender, double, double) {
        if (++steps == 3)
            sender.SetEnabled(false);
    };
    cadencer.SetScene(&scene);
    settle(50);
    EXPECT_EQ(steps, 3);

    steps = 0;
    cadencer.SetEnabled(true); // and it starts again
    cadencer.OnProgress = [&](TCadencer&, double, double) {
        if (++steps == 2)
            QCoreApplication::quit();
    };
    ASSERT_TRUE(runLoop());
}

TEST(CadencerLoop, CadencerDestroyedDuringAnotherOnesStepIsSkipped)
{
    TScene scene;
    auto doomed = std::make_unique<TCadencer>();
    TCadencer survivor;
    int doomedSteps = 0;
    int survivorSteps = 0;
    doomed->OnProgress = [&](TCadencer&, double, double) { ++doomedSteps; };
    // The pump serves the later-registered cadencer first.
    doomed->SetScene(&scene);
    survivor.SetScene(&scene);
    survivor.OnProgress = [&](TCadencer&, double, double) {
        if (++survivorSteps == 1)
            doomed.reset();
        if (survivorSteps == 4)
            QCoreApplication::quit();
    };
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(doomedSteps, 0);
}

TEST(CadencerLoop, SceneDestroyedWhileRunningStopsTheCadencer)
{
    auto scene = std::make_unique<TScene>();
    TCadencer cadencer;
    int steps = 0;
    cadencer.OnProgress = [&](TCadencer&, double, double) {
        if (++steps == 2)
            scene.reset();
    };
    cadencer.SetScene(scene.get());
    settle(50);
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(cadencer.Scene(), nullptr);
}

TEST(CadencerLoop, IdleModeStepsWhileTheLoopIsIdle)
{
    TScene scene;
    TCadencer cadencer;
    cadencer.SetMode(TCadencerMode::cmApplicationIdle);
    int steps = 0;
    cadencer.OnProgress = [&](TCadencer&, double, double) {
        if (++steps == 5)
            QCoreApplication::quit();
    };
    cadencer.SetScene(&scene);
    ASSERT_TRUE(runLoop());
    cadencer.SetMode(TCadencerMode::cmManual);
    steps = 0;
    settle(30);
    EXPECT_EQ(steps, 0);
}

TEST(CadencerLoop, SceneObjectsMoveWithTheCadencersTime)
{
    TScene scene;
    auto& object = scene.Objects().AddNewChild<TBaseSceneObject>();
    double sceneTime = 0;
    object.OnProgress = [&](TBaseSceneObject& sender, double deltaTime, double newTime) {
        sender.Move(float(deltaTime));
        sceneTime = newTime;
        if (newTime > 0.02)
            QCoreApplication::quit();
    };
    TCadencer cadencer;
    cadencer.SetTimeMultiplier(2.0);
    cadencer.SetScene(&scene);
    ASSERT_TRUE(runLoop());
    // Moved by exactly the scene time that passed, whatever the step sizes.
    EXPECT_NEAR(object.Position().Z(), sceneTime, 1e-5);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
