// The cadencer driven by a real Qt event loop (no display needed). Every loop
// is bounded by a watchdog timer, so a cadencer that stops stepping fails the
// test instead of hanging it.

#include "render/Cadencer.h"

#include "render/Scene.h"

#include <QCoreApplication>
#include <QTimer>

#include <memory>
#include <stdexcept>
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
        if (++steps == 3) {
            sender.SetEnabled(false);
            // Long enough for many more passes, had the pump gone on.
            QTimer::singleShot(20, [] { QCoreApplication::quit(); });
        }
    };
    cadencer.SetScene(&scene);
    ASSERT_TRUE(runLoop());
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
}

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

TEST(CadencerLoop, ErrorInAStepDoesNotStopThePump)
{
    auto* app = static_cast<ReportingApplication*>(QCoreApplication::instance());
    TScene scene;
    TCadencer cadencer;
    int steps = 0;
    cadencer.OnProgress = [&](TCadencer&, double, double) {
        if (++steps == 2)
            throw std::runtime_error("step failed");
        if (steps == 4)
            QCoreApplication::quit();
    };
    cadencer.SetScene(&scene);
    ASSERT_TRUE(runLoop());
    EXPECT_EQ(app->errors, 1);
}

} // namespace

int main(int argc, char** argv)
{
    ReportingApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
