// The viewer and the stand-in host talking on a private session bus; the
// host's call log is the witness of what the viewer asked.
#include "FakeUserDialogs.h"
#include "HostRun.h"
#include "ResolveFileNameCases.h"

#include "host/AppLifecycle.h"
#include "host/KrtServices.h"
#include "host/KrtSupport.h"
#include "host/MsgHandler.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace skyglide::test {
namespace {

const QString WindowName = QString::fromLatin1(Tmsghndlr::BusName);

QStringList Prefixed(const QStringList& afterConnection)
{
    return ConnectionReads() + afterConnection;
}

QStringList LoaderReads(int pn)
{
    QStringList calls = {QStringLiteral("ClearProgress(%1)").arg(pn)};
    for (int index = 2; index <= 8; ++index)
        calls << QStringLiteral("GetProcessParameter(%1,%2)").arg(pn).arg(index);
    return calls + QStringList{"GetHostText()", "GetHostNumber()"};
}

QStringList Accepted(int pn)
{
    return {QStringLiteral("ConfirmProcess(%1)").arg(pn),
            QStringLiteral("GetProcessTextC(%1)").arg(pn),
            QStringLiteral("GetProcessTextD(%1)").arg(pn)};
}

QStringList ErrorReport(int pn)
{
    return {QStringLiteral("GetProcessTextB(%1)").arg(pn),
            QStringLiteral("GetProcessTextA(%1)").arg(pn),
            QStringLiteral("ReportProcessError(%1,-999,\"Sky Glide\",\"skyglide\")").arg(pn)};
}

// A surface file that is not there: the viewer reads its parameters, shows
// no window and waits for the host's shutdown request (the scene window and
// its calls are the viewer's own tests').
QString SurfaceIn(const QTemporaryDir& folder)
{
    return folder.filePath(QStringLiteral("t.rst"));
}

// --- A normal start -------------------------------------------------------

struct TStartCase
{
    const char* Name;
    QStringList Arguments;
    QStringList CallsAfterConnection;
};

class NormalStart : public testing::TestWithParam<TStartCase>
{
};

TEST_P(NormalStart, MakesTheCallsInOrderAndFinishesOnCtrlC)
{
    const TStartCase& row = GetParam();
    auto folder = TestFolder();
    const QString surface = SurfaceIn(*folder);
    THostRun host(QStringList{surface, "--drape", "d.rst", "--palette", "elevation", "--detail",
                              "2", "--velocity", "7", "--exaggeration", "150", "--maximized", "1",
                              "--help-file", "/h/help.html"} +
                  row.Arguments);
    ASSERT_TRUE(host.WaitForBusName(WindowName)) << qPrintable(host.Stderr());
    host.Signal(SIGINT);
    ASSERT_TRUE(host.WaitForExit());
    EXPECT_EQ(host.ExitCode(), 0) << qPrintable(host.Stderr());

    EXPECT_EQ(host.CallTexts(), Prefixed(row.CallsAfterConnection));
    QStringList parameters, helpFile;
    for (const TLoggedCall& call : host.Calls()) {
        EXPECT_EQ(call.Outcome, "result") << qPrintable(call.Text());
        if (call.Method == "GetProcessParameter")
            parameters << call.Value.toString();
        if (call.Method == "GetHostText")
            helpFile << call.Value.toString();
    }
    EXPECT_EQ(parameters, (QStringList{surface, "d.rst", "elevation", "2", "7", "150", "1"}));
    EXPECT_EQ(helpFile, QStringList{"/h/help.html"});
}

INSTANTIATE_TEST_SUITE_P(
    Routes, NormalStart,
    testing::Values(TStartCase{"numberOnTheCommandLine",
                               {"--process-number", "42"},
                               Accepted(42) + LoaderReads(42) + QStringList{"FinishProcess(42)"}},
                    TStartCase{"noparams",
                               {"--noparams", "--process-number", "9"},
                               QStringList{"ObtainProcessNumber()"} + Accepted(9) + LoaderReads(9) +
                                   QStringList{"FinishProcess(9)"}},
                    TStartCase{"noArgument",
                               {"--no-process-number", "--process-number", "9"},
                               QStringList{"ObtainProcessNumber()", "ConfirmNewProcess(9)"} +
                                   Accepted(9) + LoaderReads(9) + QStringList{"FinishProcess(9)"}}),
    [](const testing::TestParamInfo<TStartCase>& info) { return info.param.Name; });

// --- Early ends -----------------------------------------------------------

struct TEarlyEndCase
{
    const char* Name;
    QStringList Arguments;
    QStringList CallsAfterConnection;
    bool ReportsError = false;
};

class EarlyEnd : public testing::TestWithParam<TEarlyEndCase>
{
};

TEST_P(EarlyEnd, ViewerEndsWithoutHanging)
{
    const TEarlyEndCase& row = GetParam();
    auto folder = TestFolder();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SKYGLIDE_HOST_TIMEOUT_MS", "1000");
    THostRun host(QStringList{SurfaceIn(*folder)} + row.Arguments, environment);
    ASSERT_TRUE(host.WaitForExit()) << "the viewer hangs";
    EXPECT_EQ(host.ExitCode(), 0) << qPrintable(host.Stderr());
    EXPECT_EQ(host.CallTexts(), Prefixed(row.CallsAfterConnection));
    EXPECT_EQ(host.Stderr().contains("process 1 reports error -999: Sky Glide: skyglide"),
              row.ReportsError)
        << qPrintable(host.Stderr());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EarlyEnd,
    testing::Values(
        TEarlyEndCase{"malformedNumber", {"--viewer-argument", "krt4x"}, {}},
        TEarlyEndCase{"prefixOnly", {"--viewer-argument", "krt"}, {}},
        TEarlyEndCase{"refusedNewProcess",
                      {"--no-process-number", "--refuse-new"},
                      {"ObtainProcessNumber()", "ConfirmNewProcess(1)", "AbandonProcess(1)"}},
        TEarlyEndCase{"refusedProcess", {"--refuse-confirm"}, {"ConfirmProcess(1)"}},
        TEarlyEndCase{"unknownProcess",
                      {"--viewer-argument", "krt5"},
                      {"ConfirmProcess(5)", "GetProcessTextB(5)"}},
        TEarlyEndCase{
            "failingTextD", {"--fail", "GetProcessTextD"}, Accepted(1) + ErrorReport(1), true},
        TEarlyEndCase{"failingParameter",
                      {"--fail", "GetProcessParameter"},
                      QStringList{"ConfirmProcess(1)", "GetProcessTextC(1)", "GetProcessTextD(1)",
                                  "ClearProgress(1)", "GetProcessParameter(1,2)"} +
                          ErrorReport(1),
                      true},
        TEarlyEndCase{"failingHostNumber",
                      {"--fail", "GetHostNumber"},
                      Accepted(1) + LoaderReads(1) + ErrorReport(1),
                      true},
        TEarlyEndCase{"failingReportToo",
                      {"--fail", "ClearProgress", "--fail", "ReportProcessError"},
                      Accepted(1) + QStringList{"ClearProgress(1)"} + ErrorReport(1)},
        TEarlyEndCase{"unansweredCall",
                      {"--stall", "GetProcessParameter"},
                      Accepted(1) + QStringList{"ClearProgress(1)", "GetProcessParameter(1,2)"} +
                          ErrorReport(1),
                      true},
        TEarlyEndCase{"detailNotANumber",
                      {"--detail", "fine"},
                      Accepted(1) + LoaderReads(1).mid(0, 5) + ErrorReport(1),
                      true}),
    [](const testing::TestParamInfo<TEarlyEndCase>& info) { return info.param.Name; });

// --- The shutdown request -------------------------------------------------

QString Gdbus(const QStringList& triple)
{
    QProcess gdbus;
    gdbus.start("gdbus", QStringList{"call", "--session", "--dest", WindowName, "--object-path",
                                     "/skyglide_msghndlr", "--method",
                                     "org.kartova.MessageWindow.SendMessage", "--"} +
                             triple);
    EXPECT_TRUE(gdbus.waitForFinished(10000));
    return QString::fromUtf8(gdbus.readAllStandardOutput()).trimmed() +
           QString::fromUtf8(gdbus.readAllStandardError()).trimmed();
}

TEST(ShutdownRequest, SentWithGdbusEndsTheWaitingViewerAndOnlyThatTripleActs)
{
    auto folder = TestFolder();
    THostRun host({SurfaceIn(*folder)});
    ASSERT_TRUE(host.WaitForBusName(WindowName)) << qPrintable(host.Stderr());
    for (const QStringList& ignored :
         {QStringList{"37021", "4242", "0"}, QStringList{"37021", "0", "2424"},
          QStringList{"4242", "4242", "2424"}, QStringList{"37022", "4242", "2424"},
          QStringList{"37021", "2424", "4242"}})
        EXPECT_EQ(Gdbus(ignored), "(int64 0,)") << qPrintable(ignored.join(' '));
    EXPECT_FALSE(host.WaitForExit(500)) << "a wrong message ended the viewer";
    EXPECT_FALSE(host.CallTexts().contains("FinishProcess(1)"));

    EXPECT_EQ(Gdbus({"37021", "4242", "2424"}), "(int64 0,)");
    ASSERT_TRUE(host.WaitForExit(10000));
    EXPECT_EQ(host.ExitCode(), 0);
    EXPECT_EQ(host.CallTexts().last(), "FinishProcess(1)");
}

// --- The viewer's side, in this process -----------------------------------

class InProcess : public testing::Test
{
protected:
    void TearDown() override
    {
        ReleaseHostServer();
        SetApplicationShuttingDown(false);
        qunsetenv("SKYGLIDE_HOST_TIMEOUT_MS");
    }
    TFakeUserDialogs Dialogs;
};

TEST_F(InProcess, NoHostOnTheBusShowsTheNotFoundMessage)
{
    ASSERT_FALSE(
        QDBusConnection::sessionBus().interface()->isServiceRegistered("org.kartova.APIServer"));
    EXPECT_FALSE(ConnectHostServer());
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, "message");
    EXPECT_EQ(Dialogs.Shown[0].Caption, "SkyGlide");
    EXPECT_EQ(Dialogs.Shown[0].Text,
              "Kartova server application not found.  This process cannot be created.");
}

TEST_F(InProcess, HostThatFailsOrNeverAnswersAReadIsNotFound)
{
    qputenv("SKYGLIDE_HOST_TIMEOUT_MS", "1000");
    for (const QStringList& misbehaviour :
         {QStringList{"--fail", "HostText17"}, QStringList{"--stall", "HostText13"}}) {
        Dialogs.Shown.clear();
        THostRun host(QStringList{"--no-viewer"} + misbehaviour);
        ASSERT_TRUE(host.WaitForBusName("org.kartova.APIServer"));
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(ConnectHostServer()) << qPrintable(misbehaviour.join(' '));
        EXPECT_LT(clock.elapsed(), 10000);
        ASSERT_EQ(Dialogs.Shown.size(), 1u);
        EXPECT_EQ(Dialogs.Shown[0].Text, HostServerNotFoundText);
        host.Signal(SIGINT);
        EXPECT_TRUE(host.WaitForExit(10000));
        EXPECT_EQ(host.ExitCode(), 0);
    }
}

class ResolveThroughTheStandInHost : public testing::TestWithParam<TResolveCase>
{
protected:
    static void SetUpTestSuite()
    {
        Folders = new THostFolders(THostFolders::Create(true));
        Host = new THostRun({"--no-viewer", "--working-folder",
                             QString::fromStdString(Folders->Working), "--resource-folder",
                             QString::fromStdString(Folders->Resource1), "--resource-folder",
                             QString::fromStdString(Folders->Resource2), "--palette-folder",
                             QString::fromStdString(Folders->Palettes)});
        ASSERT_TRUE(Host->WaitForBusName("org.kartova.APIServer"));
        Server = CreateKartovaAPIServer().release();
    }
    static void TearDownTestSuite()
    {
        delete Server;
        delete Host;
        Folders->Remove();
        delete Folders;
    }
    static THostFolders* Folders;
    static THostRun* Host;
    static IKartovaAPIServer* Server;
};
THostFolders* ResolveThroughTheStandInHost::Folders = nullptr;
THostRun* ResolveThroughTheStandInHost::Host = nullptr;
IKartovaAPIServer* ResolveThroughTheStandInHost::Server = nullptr;

TEST_P(ResolveThroughTheStandInHost, FindsTheFileInTheHostsFolders)
{
    const TResolveCase& row = GetParam();
    std::string name = Folders->Expand(row.Input);
    std::int32_t code = 1;
    EXPECT_EQ(ResolveFileName(Server, row.FileType, name, code), row.Found);
    EXPECT_EQ(name, Folders->Expand(row.Expected));
    EXPECT_EQ(code, row.Code);
}

INSTANTIATE_TEST_SUITE_P(Cases, ResolveThroughTheStandInHost, testing::ValuesIn(ResolveCases()),
                         [](const testing::TestParamInfo<TResolveCase>& info) {
                             return info.param.Name;
                         });

// Sends one message from another connection and lets this process's event
// loop answer it.
qlonglong SendFromPeer(uint msg, qulonglong wParam, qlonglong lParam)
{
    QDBusConnection peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "peer");
    QDBusMessage call = QDBusMessage::createMethodCall(WindowName, "/skyglide_msghndlr",
                                                       "org.kartova.MessageWindow", "SendMessage");
    call << msg << wParam << lParam;
    QDBusPendingCall pending = peer.asyncCall(call, 5000);
    for (QDeadlineTimer deadline(5000); !pending.isFinished() && !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(pending.isError()) << qPrintable(pending.error().message());
    return pending.reply().arguments().value(0).toLongLong();
}

TEST_F(InProcess, MessageWindowIsReachableOnlyOnceCreated_AndActsOnTheShutdownTripleOnly)
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    bool ownedDuringCreation = true;
    Tmsghndlr window(
        [&](Tmsghndlr&) { ownedDuringCreation = bus->isServiceRegistered(WindowName); });
    EXPECT_FALSE(ownedDuringCreation);
    ASSERT_TRUE(window.Published());
    EXPECT_TRUE(bus->isServiceRegistered(WindowName).value());
    EXPECT_EQ(window.windowTitle(), "skyglide_msghndlr");
    EXPECT_FALSE(window.isVisible());

    int requests = 0;
    window.OnShutdownRequest = [&] { ++requests; };
    EXPECT_EQ(SendFromPeer(37021, 4242, 0), 0);
    EXPECT_EQ(SendFromPeer(0x1092, 4242, 2424), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(requests, 0);
    EXPECT_FALSE(ApplicationShuttingDown());

    EXPECT_EQ(SendFromPeer(37021, 4242, 2424), 0) << "the host gets its answer";
    QCoreApplication::processEvents();
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(ApplicationShuttingDown()) << "closing the message window ends the application";
}

TEST_F(InProcess, FailedStartupLeavesTheMessageWindowUnpublished)
{
    Tmsghndlr window([](Tmsghndlr&) { TerminateApplication(); });
    EXPECT_FALSE(window.Published());
    EXPECT_FALSE(
        QDBusConnection::sessionBus().interface()->isServiceRegistered(WindowName).value());
}

TEST_F(InProcess, SecondViewerQueuesBehindTheFirst)
{
    QDBusConnection earlier = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "earlier");
    ASSERT_TRUE(earlier.registerService(WindowName));
    Tmsghndlr window([](Tmsghndlr&) {});
    ASSERT_TRUE(window.Published());
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    EXPECT_EQ(bus->serviceOwner(WindowName).value(), earlier.baseService());
    earlier.unregisterService(WindowName);
    for (QDeadlineTimer deadline(5000);
         bus->serviceOwner(WindowName).value() != QDBusConnection::sessionBus().baseService() &&
         !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(bus->serviceOwner(WindowName).value(), QDBusConnection::sessionBus().baseService());
}

} // namespace
} // namespace skyglide::test

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
