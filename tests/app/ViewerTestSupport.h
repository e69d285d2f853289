#pragma once

// The viewer's tests on the test's X server: the samples, xdotool, the event
// loop run for a while, and the scene window in this process, loaded as at
// start-up against a scripted host.

#include "HostLinkFixture.h"
#include "HostRun.h"

#include "app/SceneData.h"
#include "app/SceneForm.h"
#include "app/SceneLoader.h"
#include "host/MsgHandler.h"
#include "render/SceneViewer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace skyglide::test {

using RGB = std::array<int, 3>;

inline std::string Sample(const char* name)
{
    return qEnvironmentVariable("SKYGLIDE_SAMPLES_DIR", "samples").toStdString() + "/" + name;
}

inline QString TmpFile(const QString& name)
{
    return qEnvironmentVariable("SKYGLIDE_TEST_TMP") + "/" + name;
}

// Runs the event loop until done() or timeoutMs; done()'s last answer.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

inline void Settle(int ms)
{
    WaitUntil([] { return false; }, ms);
}

inline THostScript ViewerScript(const std::string& surface, const std::string& detail = "1",
                                const std::string& velocity = "5",
                                const std::string& drape = "none",
                                const std::string& palette = "elevation",
                                const std::string& exaggeration = "100")
{
    THostScript script;
    script.Parameters = {"",     "skyglide", surface,      drape, palette,
                         detail, velocity,   exaggeration, "0"};
    script.ResourceFolders = {Sample("palettes/")};
    script.WorkingFolder = TmpFile("").toStdString();
    return script;
}

class SceneWindow : public THostLinkTest
{
protected:
    void TearDown() override
    {
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SceneData() = TSceneData{};
        QLocale::setDefault(QLocale::c());
        THostLinkTest::TearDown();
    }

    // The start-up load as the message window runs it; Form is the scene
    // window once it has drawn its first frame, given the focus if asked.
    void Start(const THostScript& script, bool focus = false)
    {
        m_window.reset();
        UseHost(script);
        Calls.clear();
        m_window =
            std::make_unique<Tmsghndlr>([](Tmsghndlr& window) { LoadScene(window, {"krt1"}); });
        Form = SceneForm();
        ASSERT_TRUE(Form) << "no scene window";
        ASSERT_TRUE(WaitUntil(
            [this] { return Form->SceneViewer1().Buffer().Statistics().FramesRendered > 0; }));
        if (focus)
            Focus(*Form);
    }

    static void Focus(QWidget& window)
    {
        ASSERT_TRUE(Xdotool({"windowfocus", "--sync", QString::number(window.winId())}));
        ASSERT_TRUE(WaitUntil([&] { return window.isActiveWindow(); }))
            << "the window never became active";
    }

    static void Hold(const QStringList& keys, int ms)
    {
        ASSERT_TRUE(Xdotool(QStringList{"keydown"} + keys));
        Settle(ms);
        ASSERT_TRUE(Xdotool(QStringList{"keyup"} + keys));
        Settle(200);
    }

    TSceneFrm* Form = nullptr;
    std::unique_ptr<Tmsghndlr> m_window;
};

} // namespace skyglide::test
