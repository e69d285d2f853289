#pragma once

// The scene window in this process, on the test's X server: the real
// start-up load against a scripted host, and real key events from xdotool.

#include "HostLinkFixture.h"
#include "ViewerTestSupport.h"

#include "app/SceneData.h"
#include "app/SceneLoader.h"
#include "host/MsgHandler.h"
#include "render/SceneViewer.h"

#include <QLocale>

#include <memory>
#include <string>

namespace skyglide::test {

inline std::string Sample(const char* name)
{
    return SamplesDir() + "/" + name;
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
    script.ResourceFolders = {SamplesDir() + "/palettes/"};
    script.WorkingFolder = qEnvironmentVariable("SKYGLIDE_TEST_TMP").toStdString() + "/";
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

    // Runs the start-up load as the message window does, against a host that
    // holds script; the scene window once it has drawn its first frame.
    TSceneFrm* Start(const THostScript& script)
    {
        m_window.reset();
        UseHost(script);
        Calls.clear();
        m_window =
            std::make_unique<Tmsghndlr>([](Tmsghndlr& window) { LoadScene(window, {"krt1"}); });
        TSceneFrm* form = SceneForm();
        if (form) {
            EXPECT_TRUE(WaitUntil(
                [form] { return form->SceneViewer1().Buffer().Statistics().FramesRendered > 0; }));
        }
        return form;
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

    std::unique_ptr<Tmsghndlr> m_window;
};

} // namespace skyglide::test
