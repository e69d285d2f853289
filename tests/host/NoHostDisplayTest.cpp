// The viewer on a real X server: the message box it shows when there is no
// host, answered with a real key press, and the hidden window of a viewer
// that waits for its host.
#include "HostRun.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>

namespace skyglide::test {
namespace {

// Runs xdotool; its output, or nullopt when it failed or took too long.
std::optional<QString> Xdotool(const QStringList& arguments, int timeoutMs = 15000)
{
    QProcess xdotool;
    xdotool.start("xdotool", arguments);
    if (!xdotool.waitForFinished(timeoutMs)) {
        xdotool.kill();
        xdotool.waitForFinished();
        return std::nullopt;
    }
    if (xdotool.exitStatus() != QProcess::NormalExit || xdotool.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

TEST(NoHost, MessageBoxIsAnsweredWithAKeyAndTheViewerEnds)
{
    QProcess viewer;
    viewer.start(ProgramPath("skyglide"), {"krt1"});
    ASSERT_TRUE(viewer.waitForStarted());
    const std::optional<QString> box =
        Xdotool({"search", "--sync", "--onlyvisible", "--name", "^SkyGlide$"});
    ASSERT_TRUE(box.has_value()) << "no message box captioned SkyGlide appeared";
    const QString window = box->section('\n', 0, 0);
    EXPECT_FALSE(viewer.waitForFinished(300)) << "the viewer did not wait for the answer";
    ASSERT_TRUE(Xdotool({"windowfocus", "--sync", window}));
    ASSERT_TRUE(Xdotool({"key", "Return"}));
    ASSERT_TRUE(viewer.waitForFinished(10000)) << "the viewer hangs after the message";
    EXPECT_EQ(viewer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(viewer.exitCode(), 0);
}

TEST(WaitingViewer, ShowsNoWindow)
{
    auto folder = TestFolder();
    THostRun host({folder->filePath("missing.rst")});
    ASSERT_TRUE(host.WaitForBusName("org.kartova.skyglide_msghndlr")) << qPrintable(host.Stderr());
    EXPECT_EQ(Xdotool({"search", "--onlyvisible", "--name", "."}), std::nullopt)
        << "a visible window exists";
    host.Signal(SIGINT);
    ASSERT_TRUE(host.WaitForExit(10000));
    EXPECT_EQ(host.ExitCode(), 0);
}

} // namespace
} // namespace skyglide::test

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
