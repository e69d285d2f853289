#include "HostRun.h"
#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace skyglide::test {
namespace {

struct TViewerCase
{
    const char* Name;
    const char* Script; // of the stand-in viewer; nullptr: no viewer there
    QStringList Arguments;
    int HostStatus;
    const char* Message;
    bool Interrupted = false; // by Ctrl+C once the viewer runs
};

class MisbehavingViewer : public testing::TestWithParam<TViewerCase>
{
};

TEST_P(MisbehavingViewer, DoesNotHangTheHost)
{
    const TViewerCase& row = GetParam();
    QString viewer = "/nonexistent/skyglide";
    if (row.Script) {
        viewer = QString::fromStdString((TestFolder() / "viewer.sh").string());
        QFile file(viewer);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("#!/bin/sh\ntouch \"$0.started\"\n") + row.Script + "\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    THostRun host(QStringList{"t.rst", "--viewer", viewer} + row.Arguments);
    if (row.Interrupted) {
        ASSERT_TRUE(WaitUntil([&] { return QFile::exists(viewer + ".started"); }));
        host.Signal(SIGINT);
    }
    ASSERT_TRUE(host.WaitForExit());
    EXPECT_EQ(host.ExitCode(), row.HostStatus);
    EXPECT_TRUE(host.Stderr().contains(QLatin1String(row.Message))) << qPrintable(host.Stderr());
    // Whatever the viewer started goes with it (zombies only wait for a reaper).
    QFile child(viewer + ".child");
    if (child.open(QIODevice::ReadOnly)) {
        QFile stat("/proc/" + child.readAll().trimmed() + "/stat");
        EXPECT_TRUE(WaitUntil([&] {
            stat.close();
            return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
        })) << "a process the viewer started outlived it";
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, MisbehavingViewer,
    testing::Values(
        TViewerCase{"crashesAtStartup", "kill -SEGV $$", {}, 128 + SIGSEGV,
                    "the viewer ended by signal 11"},
        TViewerCase{"hangsAtStartup", "exec sleep 600", {"--startup-timeout", "1"}, 128 + SIGTERM,
                    "the viewer made no call for 1 s during its start-up; stopping it"},
        TViewerCase{"ignoresTermination",
                    "trap '' TERM; sleep 600 & echo $! >\"$0.child\"; wait; sleep 600",
                    {"--startup-timeout", "1"}, 128 + SIGKILL, "stopping it"},
        TViewerCase{"interruptedAtStartup", "exec sleep 600", {}, 128 + SIGTERM,
                    "the viewer is still starting; stopping it", true},
        TViewerCase{"exitsWithAStatus", "exit 3", {}, 3, "the viewer exited with status 3"},
        TViewerCase{"reportsAFailureAndEndsWithZero",
                    "gdbus call --session --dest org.kartova.APIServer --object-path "
                    "/org/kartova/APIServer --method org.kartova.APIServer.ReportProcessError "
                    "-- 1 -999 A B >/dev/null; exit 0",
                    {}, 1, "the viewer ended after reporting a failure"},
        TViewerCase{"isMissing", nullptr, {}, 127, "cannot start the viewer /nonexistent/skyglide"}),
    [](const testing::TestParamInfo<TViewerCase>& info) { return info.param.Name; });
// clang-format on

TEST(SkyGlideHost, RejectsBadCommandLines)
{
    const std::pair<const char*, const char*> rows[] = {
        {"t.rst --fail Nope", "--fail: no method 'Nope' in org.kartova.APIServer"},
        {"", "no surface file given"},
        {"a.rst b.rst", "one surface file expected but got 2 arguments"},
        {"t.rst --process-number x", "--process-number: 'x' is not a whole number"},
        {"t.rst --noparams --no-process-number", "exclude each other"},
        // Values the viewer cannot fly are refused before it starts.
        {"t.rst --exaggeration 1e30",
         "--exaggeration: expected a finite percentage of at most 100000 but got '1e30'"},
        {"t.rst --exaggeration inf", "--exaggeration: expected a finite percentage"},
        {"t.rst --velocity -5", "--velocity: expected 0 or more but got '-5'"},
    };
    for (const auto& [arguments, message] : rows) {
        THostRun host(QString(arguments).split(' ', Qt::SkipEmptyParts));
        ASSERT_TRUE(host.WaitForExit());
        EXPECT_EQ(host.ExitCode(), 2) << arguments;
        EXPECT_TRUE(host.Stderr().contains(QLatin1String(message))) << qPrintable(host.Stderr());
    }
}

QDBusMessage CallHost(const char* method, const QVariantList& args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.kartova.APIServer", "/org/kartova/APIServer", "org.kartova.APIServer", method);
    call.setArguments(args);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 30000);
}

TEST(SkyGlideHost, AnswersAsTheHostAndShowsProgressAndErrorReports)
{
    THostRun host(QString("--no-viewer --process-number 4 --working-folder w --resource-folder /r1 "
                          "--resource-folder /r2/ --palette-folder p")
                      .split(' '));
    ASSERT_TRUE(host.WaitForBusName("org.kartova.APIServer"));
    for (double fraction : {0.5, 0.504, 1.0})
        EXPECT_EQ(CallHost("ReportProgress", {4, fraction}).type(), QDBusMessage::ReplyMessage);
    CallHost("ClearProgress", {4});
    CallHost("ReportProgress", {4, 0.0});
    CallHost("ReportProcessError", {4, -999, QStringLiteral("Text A"), QStringLiteral("Text B")});
    EXPECT_EQ(CallHost("ConfirmProcess", {5}).errorMessage(),
              "skyglide-host: no process 5 (this host runs process 4)");
    EXPECT_EQ(CallHost("GetResourceFolder", {3}).errorMessage(),
              "skyglide-host: no resource folder 3 (there are 2)");
    // Every folder handed out is absolute and ends in "/".
    const QString here = QDir::currentPath() + "/";
    EXPECT_EQ(CallHost("GetWorkingFolder").arguments().value(0), here + "w/");
    EXPECT_EQ(CallHost("GetResourceFolder", {2}).arguments().value(0), "/r2/");
    EXPECT_EQ(CallHost("HostText52").arguments().value(0), here + "p/");

    host.Signal(SIGTERM);
    ASSERT_TRUE(host.WaitForExit());
    EXPECT_EQ(host.ExitCode(), 0);
    EXPECT_EQ(host.Stdout(), "progress 50%\nprogress 100%\nprogress 0%\n")
        << "plain lines when not on a terminal, one per percent shown";
    EXPECT_TRUE(
        host.Stderr().contains("skyglide-host: process 4 reports error -999: Text A: Text B"));
    const std::vector<TLoggedCall> calls = host.Calls();
    ASSERT_EQ(calls.size(), 11u);
    EXPECT_EQ(calls[0].Text(), "ReportProgress(4,0.5)");
    EXPECT_EQ(calls[6].Outcome, "error");
}

// The viewer fails its start-up on a missing surface: its report reaching
// the host shows that it found the host's private bus.
TEST(SkyGlideHost, StartsAndRemovesAPrivateBusWhenNoneRuns)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DBUS_SESSION_BUS_ADDRESS");
    THostRun host({"t.rst"}, environment);
    ASSERT_TRUE(host.WaitForExit());
    const QString address =
        QRegularExpression("private session bus (\\S+)").match(host.Stderr()).captured(1);
    ASSERT_FALSE(address.isEmpty()) << qPrintable(host.Stderr());
    EXPECT_EQ(host.ExitCode(), 1) << qPrintable(host.Stderr());
    EXPECT_TRUE(host.CallTexts().last().startsWith("ReportProcessError(1,-999,"))
        << "the viewer is not on the host's bus";
    EXPECT_FALSE(QDBusConnection::connectToBus(address, "gone").isConnected())
        << "the private bus outlived the host";
}

} // namespace
} // namespace skyglide::test
