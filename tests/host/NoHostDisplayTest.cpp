// The viewer on a real X server without a host: the message box it shows,
// answered with a real key press.
#include "TestSupport.h"

#include <QProcess>
#include <QStringList>

namespace skyglide::test {
namespace {

TEST(NoHost, MessageBoxIsAnsweredWithAKeyAndTheViewerEnds)
{
    QProcess viewer;
    viewer.start(ProgramPath("skyglide"), {"krt1"});
    ASSERT_TRUE(viewer.waitForStarted());
    const std::optional<QString> box =
        Xdotool({"search", "--sync", "--onlyvisible", "--name", "^SkyGlide$"});
    ASSERT_TRUE(box.has_value()) << "no message box captioned SkyGlide appeared";
    EXPECT_EQ(viewer.state(), QProcess::Running) << "the viewer did not wait for the answer";
    ASSERT_TRUE(Xdotool({"windowfocus", "--sync", box->section('\n', 0, 0)}));
    ASSERT_TRUE(Xdotool({"key", "Return"}));
    ASSERT_TRUE(viewer.waitForFinished(60000)) << "the viewer hangs after the message";
    EXPECT_EQ(viewer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(viewer.exitCode(), 0);
    // Started by hand, the terminal says how to start it with a terrain.
    EXPECT_TRUE(viewer.readAllStandardError().contains("through the stand-in host: skyglide-host"));
}

} // namespace
} // namespace skyglide::test
