#include "ScriptedHost.h"

#include <functional>

namespace skyglide::test {
namespace {

TEST_F(THostLinkTest, ConnectReadsTheSettingsInOrder_AFailedOneLeavesNoHostBehind)
{
    ASSERT_TRUE(Host.Connect());
    EXPECT_EQ(Calls, ConnectionReads());

    Calls.clear();
    Script.Failing = {"HostCode75"};
    EXPECT_FALSE(Host.Connect());
    EXPECT_EQ(Calls, ConnectionReads()) << "the last of the twelve reads fails";
    EXPECT_EQ(Host.Server(), nullptr);
    const char* text = "Kartova server application not found.  This process cannot be created.";
    EXPECT_EQ(NotFound, QStringList{text});
}

// One service of the run, what it asks of the host, and its text result.
struct TServiceCase
{
    const char* Name;
    std::function<std::string(THostLink&)> Call;
    QStringList HostCalls;
    std::string Result = {};
};

class Services : public THostLinkTest, public testing::WithParamInterface<TServiceCase>
{
};

TEST_P(Services, ForwardWithTheProcessNumber_EndWhenShuttingDown_SkipWithoutAHost)
{
    const TServiceCase& row = GetParam();
    EXPECT_EQ(row.Call(Host), "") << "skipped without a host";
    EXPECT_TRUE(Calls.isEmpty());

    ASSERT_TRUE(Host.Connect());
    Host.SetProcessNumber(5);
    Calls.clear();
    EXPECT_EQ(row.Call(Host), row.Result);
    EXPECT_EQ(Calls, row.HostCalls);

    Calls.clear();
    Host.SetShuttingDown(true);
    EXPECT_THROW(row.Call(Host), TProgramEnded);
    EXPECT_TRUE(Calls.isEmpty()) << "the host is not reached once the application quits";
    EXPECT_EQ(Host.Server(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    All, Services,
    testing::Values(TServiceCase{"ReportProgress",
                                 [](THostLink& h) { return h.ReportProgress(0.25f), ""; },
                                 {"ReportProgress(5,0.25)"}},
                    TServiceCase{"ClearProgress",
                                 [](THostLink& h) { return h.ClearProgress(), ""; },
                                 {"ClearProgress(5)"}},
                    TServiceCase{"ReportProcessError",
                                 [](THostLink& h) { return h.ReportProcessError(-999), ""; },
                                 {"GetProcessTextB(5)", "GetProcessTextA(5)",
                                  "ReportProcessError(5,-999,A,B)"}},
                    TServiceCase{"GetProcessParameter",
                                 [](THostLink& h) { return h.GetProcessParameter(2); },
                                 {"GetProcessParameter(5,2)"},
                                 "t.rst"}),
    [](const testing::TestParamInfo<TServiceCase>& info) { return info.param.Name; });

} // namespace
} // namespace skyglide::test
