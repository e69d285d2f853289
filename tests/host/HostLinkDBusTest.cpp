// The viewer and the stand-in host talking on a private session bus; the
// host's call log is the witness of what the viewer asked.
#include "HostRun.h"
#include "ScriptedHost.h"
#include "TestSupport.h"

#include "host/HostLink.h"
#include "host/MsgHandler.h"
#include "hostlink/HostLinkNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>

namespace skyglide::test {
namespace {

const QString WindowName = QString::fromLatin1(MessageWindowBusName);

QStringList Accepted(int pn)
{
    return {QString("ConfirmProcess(%1)").arg(pn), QString("GetProcessTextC(%1)").arg(pn),
            QString("GetProcessTextD(%1)").arg(pn)};
}

QStringList LoaderReads(int pn)
{
    QStringList calls = {QString("ClearProgress(%1)").arg(pn)};
    for (int index = 2; index <= 8; ++index)
        calls << QString("GetProcessParameter(%1,%2)").arg(pn).arg(index);
    return calls + QStringList{"GetHostText()", "GetHostNumber()"};
}

QStringList ErrorReportOf(int pn)
{
    return {QString("GetProcessTextB(%1)").arg(pn), QString("GetProcessTextA(%1)").arg(pn),
            QString("ReportProcessError(%1,-999,\"Sky Glide\",\"skyglide\")").arg(pn)};
}

const QStringList ErrorReport = ErrorReportOf(1);

// Up to the load: the surface file is not there, which the viewer reports.
QStringList Started(int pn)
{
    return Accepted(pn) + LoaderReads(pn) + ErrorReportOf(pn);
}

struct TStartCase
{
    const char* Name;
    const char* Arguments; // for the stand-in host, after the parameters
    QStringList CallsAfterConnection;
};

class Start : public testing::TestWithParam<TStartCase>
{
};

TEST_P(Start, MakesTheCallsInOrderAndEndsWithoutHanging)
{
    const TStartCase& row = GetParam();
    // Not there: no scene window.
    const QString surface = QString::fromStdString((TestFolder() / "t.rst").string());
    const QString arguments =
        QString("--drape d.rst --palette elevation --detail 2 --velocity 7 "
                "--exaggeration 150 --maximized 1 --help-file /h/help.html ") +
        row.Arguments;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (arguments.contains("--stall"))
        environment.insert("SKYGLIDE_HOST_TIMEOUT_MS", "1000");
    THostRun host(QStringList{surface} + arguments.split(' ', Qt::SkipEmptyParts), environment);
    ASSERT_TRUE(host.WaitForExit()) << "the viewer hangs";
    // A failure the viewer reported is the run's failure.
    EXPECT_EQ(host.ExitCode(), row.CallsAfterConnection.join(' ').contains("ReportProcessError"))
        << qPrintable(host.Stderr());
    EXPECT_EQ(host.CallTexts(), ConnectionReads() + row.CallsAfterConnection);
    const QStringList parameters = {surface, "d.rst", "elevation", "2", "7", "150", "1"};
    for (const TLoggedCall& call : host.Calls()) {
        if (call.Method == "GetProcessParameter" && call.Outcome == "result") {
            EXPECT_EQ(call.Value.toString(), parameters.value(call.Args[1].toInt() - 2));
        }
        if (call.Method == "GetHostText") {
            EXPECT_EQ(call.Value.toString(), "/h/help.html");
        }
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Routes, Start,
    testing::Values(
        TStartCase{"numberOnTheCommandLine", "--process-number 42", Started(42)},
        TStartCase{"noparams", "--noparams --process-number 9",
                   QStringList{"ObtainProcessNumber()"} + Started(9)},
        TStartCase{"noArgument", "--no-process-number --process-number 9",
                   QStringList{"ObtainProcessNumber()", "ConfirmNewProcess(9)"} + Started(9)},
        TStartCase{"malformedNumber", "--viewer-argument krt4x", {}},
        TStartCase{"refusedNewProcess", "--no-process-number --refuse-new",
                   {"ObtainProcessNumber()", "ConfirmNewProcess(1)", "AbandonProcess(1)"}},
        TStartCase{"refusedProcess", "--refuse-confirm", {"ConfirmProcess(1)"}},
        TStartCase{"failingMethod", "--fail GetProcessParameter",
                   Accepted(1) + LoaderReads(1).mid(0, 2) + ErrorReport},
        TStartCase{"failingErrorReport", "--fail ClearProgress --fail ReportProcessError",
                   Accepted(1) + LoaderReads(1).mid(0, 1) + ErrorReport},
        TStartCase{"unansweredCall", "--stall GetProcessParameter",
                   Accepted(1) + LoaderReads(1).mid(0, 2) + ErrorReport}),
    [](const testing::TestParamInfo<TStartCase>& info) { return info.param.Name; });
// clang-format on

// --- The viewer's side, in this process -----------------------------------

// Absent, failing or refusing hosts are the unit tests' and the display
// test's: here the host owns its name but never answers.
TEST(InProcess, SilentHostIsNotFoundWithinTheCallTimeout)
{
    qputenv("SKYGLIDE_HOST_TIMEOUT_MS", "1000");
    THostRun host({"--no-viewer", "--stall", "HostText13"});
    ASSERT_TRUE(host.WaitForBusName(KartovaServiceName));
    THostLink link;
    QStringList notFound;
    link.OnServerNotFound = [&](const char* text) { notFound << text; };
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(link.Connect());
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_EQ(notFound, QStringList{HostServerNotFoundText});
    qunsetenv("SKYGLIDE_HOST_TIMEOUT_MS");
}

// Row reports go out without waiting for their answers, yet a host that
// fails them, or no longer answers them, is noticed within a bounded number
// of rows: the next call fails with the report's name and nothing more is
// sent, and the error report that ends the start-up still reaches the host.
TEST(InProcess, AFailedRowReportFailsTheLoadAndTheErrorReportStillGoesOut)
{
    qputenv("SKYGLIDE_HOST_TIMEOUT_MS", "1000");
    // A few rows, whose failure only the next call can find; more rows than
    // may be unanswered.
    for (const auto& [fault, rows] : {std::pair{"--fail", 3}, std::pair{"--stall", 16384}}) {
        SCOPED_TRACE(fault);
        THostRun host({"--no-viewer", fault, "ReportProgress"});
        ASSERT_TRUE(host.WaitForBusName(KartovaServiceName));
        THostLink link;
        ASSERT_TRUE(link.Connect());
        link.SetProcessNumber(1);
        int sent = 0;
        try {
            for (; sent < rows; ++sent)
                link.ReportProgress(float(sent) / rows);
            link.ClearProgress();
            ADD_FAILURE() << "the failed reports were lost";
        } catch (const EHostServerError& error) {
            EXPECT_EQ(error.Method(), "ReportProgress");
        }
        EXPECT_LE(sent, 256) << "the load ran on with the host's answers piling up";
        EXPECT_NO_THROW(link.ReportProcessError(-999));
        QStringList calls, expected = ConnectionReads();
        for (const TLoggedCall& call : host.Calls())
            calls << (call.Method == "ReportProgress" ? call.Method : call.Text());
        for (int row = 0; row < sent; ++row)
            expected << "ReportProgress";
        EXPECT_EQ(calls, expected + ErrorReport);
    }
    qunsetenv("SKYGLIDE_HOST_TIMEOUT_MS");
}

TEST(InProcess, SecondViewerQueuesBehindTheFirst)
{
    QDBusConnection earlier = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "earlier");
    ASSERT_TRUE(earlier.registerService(WindowName));
    THostLink link;
    Tmsghndlr window(link, [](Tmsghndlr&) {});
    ASSERT_TRUE(window.Published());
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    EXPECT_EQ(bus->serviceOwner(WindowName).value(), earlier.baseService());
    earlier.unregisterService(WindowName);
    EXPECT_TRUE(WaitUntil([&] {
        return bus->serviceOwner(WindowName).value() == QDBusConnection::sessionBus().baseService();
    }));
}

} // namespace
} // namespace skyglide::test
