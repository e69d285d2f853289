#include "HostRun.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace skyglide::test {
namespace {

// A stand-in for the viewer: a shell script.
QString FakeViewer(const QTemporaryDir& folder, const char* body)
{
    const QString path = folder.filePath(QStringLiteral("viewer.sh"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("#!/bin/sh\n") + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

struct TViewerCase
{
    const char* Name;
    const char* Script;
    QStringList Arguments;
    int HostStatus;
    const char* Message;
};

class MisbehavingViewer : public testing::TestWithParam<TViewerCase>
{
};

TEST_P(MisbehavingViewer, DoesNotHangTheHost)
{
    const TViewerCase& row = GetParam();
    auto folder = TestFolder();
    const QString viewer = row.Script ? FakeViewer(*folder, row.Script) : "/nonexistent/skyglide";
    THostRun host(QStringList{"t.rst", "--viewer", viewer} + row.Arguments);
    ASSERT_TRUE(host.WaitForExit(20000));
    EXPECT_EQ(host.ExitCode(), row.HostStatus);
    EXPECT_TRUE(host.Stderr().contains(QLatin1String(row.Message))) << qPrintable(host.Stderr());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MisbehavingViewer,
    testing::Values(
        TViewerCase{"crashesAtStartup",
                    "kill -SEGV $$",
                    {},
                    128 + SIGSEGV,
                    "the viewer ended by signal 11"},
        TViewerCase{"hangsAtStartup",
                    "exec sleep 600",
                    {"--startup-timeout", "1"},
                    128 + SIGTERM,
                    "the viewer made no call for 1 s during its start-up; stopping it"},
        TViewerCase{"ignoresTermination",
                    "trap '' TERM; sleep 600 & wait; sleep 600",
                    {"--startup-timeout", "1"},
                    128 + SIGKILL,
                    "stopping it"},
        TViewerCase{"exitsWithAStatus", "exit 3", {}, 3, "the viewer exited with status 3"},
        TViewerCase{
            "isMissing", nullptr, {}, 127, "cannot start the viewer /nonexistent/skyglide"}),
    [](const testing::TestParamInfo<TViewerCase>& info) { return info.param.Name; });

TEST(SkyGlideHost, CtrlCDuringTheViewersStartupStopsIt)
{
    auto folder = TestFolder();
    THostRun host({"t.rst", "--viewer", FakeViewer(*folder, "exec sleep 600")});
    QThread::msleep(300);
    host.Signal(SIGINT);
    ASSERT_TRUE(host.WaitForExit(10000));
    EXPECT_EQ(host.ExitCode(), 128 + SIGTERM);
    EXPECT_TRUE(host.Stderr().contains("the viewer is still starting; stopping it"));
}

TEST(SkyGlideHost, RejectsBadCommandLines)
{
    const struct
    {
        QStringList Arguments;
        const char* Message;
    } rows[] = {
        {{"t.rst", "--fail", "Nope"}, "--fail: no method 'Nope' in org.kartova.APIServer"},
        {{}, "no surface file given"},
        {{"a.rst", "b.rst"}, "one surface file expected but got 2 arguments"},
        {{"t.rst", "--process-number", "x"}, "--process-number: 'x' is not a whole number"},
        {{"t.rst", "--noparams", "--no-process-number"}, "exclude each other"},
    };
    for (const auto& row : rows) {
        THostRun host(row.Arguments);
        ASSERT_TRUE(host.WaitForExit(10000));
        EXPECT_EQ(host.ExitCode(), 2) << qPrintable(row.Arguments.join(' '));
        EXPECT_TRUE(host.Stderr().contains(QLatin1String(row.Message)))
            << qPrintable(host.Stderr());
    }
}

QDBusMessage CallHost(const char* method, const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.kartova.APIServer", "/org/kartova/APIServer", "org.kartova.APIServer", method);
    call.setArguments(args);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

TEST(SkyGlideHost, ShowsProgressAndErrorReportsAndChecksTheProcessNumber)
{
    THostRun host({"--no-viewer", "--process-number", "4"});
    ASSERT_TRUE(host.WaitForBusName("org.kartova.APIServer"));
    for (double fraction : {0.5, 0.504, 1.0})
        EXPECT_EQ(CallHost("ReportProgress", {4, fraction}).type(), QDBusMessage::ReplyMessage);
    CallHost("ClearProgress", {4});
    CallHost("ReportProgress", {4, 0.0});
    CallHost("ReportProcessError", {4, -999, QStringLiteral("Text A"), QStringLiteral("Text B")});
    const QDBusMessage wrong = CallHost("ConfirmProcess", {5});
    EXPECT_EQ(wrong.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(wrong.errorMessage(), "skyglide-host: no process 5 (this host runs process 4)");
    const QDBusMessage folder = CallHost("GetResourceFolder", {2});
    EXPECT_EQ(folder.errorMessage(), "skyglide-host: no resource folder 2 (there are 1)");

    host.Signal(SIGTERM);
    ASSERT_TRUE(host.WaitForExit(10000));
    EXPECT_EQ(host.ExitCode(), 0);
    EXPECT_EQ(host.Stdout(), "progress 50%\nprogress 100%\nprogress 0%\n")
        << "plain lines when not on a terminal, one per percent shown";
    EXPECT_TRUE(
        host.Stderr().contains("skyglide-host: process 4 reports error -999: Text A: Text B"));
    const std::vector<TLoggedCall> calls = host.Calls();
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[0].Text(), "ReportProgress(4,0.5)");
    EXPECT_EQ(calls[6].Outcome, "error");
}

TEST(SkyGlideHost, StartsAndRemovesAPrivateBusWhenNoneRuns)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DBUS_SESSION_BUS_ADDRESS");
    THostRun host({"t.rst"}, environment);
    const QRegularExpression announced("private session bus (\\S+)");
    QString address;
    for (QDeadlineTimer deadline(10000); address.isEmpty() && !deadline.hasExpired();
         QThread::msleep(20))
        address = announced.match(host.Stderr()).captured(1);
    ASSERT_FALSE(address.isEmpty()) << qPrintable(host.Stderr());
    {
        const QDBusConnection privateBus = QDBusConnection::connectToBus(address, "private");
        ASSERT_TRUE(privateBus.isConnected());
        bool viewerWaits = false;
        for (QDeadlineTimer deadline(20000); !viewerWaits && !deadline.hasExpired();
             QThread::msleep(20))
            viewerWaits =
                privateBus.interface()->isServiceRegistered("org.kartova.skyglide_msghndlr");
        ASSERT_TRUE(viewerWaits);
    }
    QDBusConnection::disconnectFromBus("private");
    host.Signal(SIGINT);
    ASSERT_TRUE(host.WaitForExit(10000));
    EXPECT_EQ(host.ExitCode(), 0) << qPrintable(host.Stderr());
    EXPECT_EQ(host.CallTexts().last(), "FinishProcess(1)");
    EXPECT_FALSE(QDBusConnection::connectToBus(address, "gone").isConnected())
        << "the private bus outlived the host";
}

} // namespace
} // namespace skyglide::test

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
