#include "HostLinkFixture.h"

#include <functional>

namespace skyglide::test {
namespace {

TEST_F(THostLinkTest, ConnectReadsTheSettingsInOrderAndKeepsShortCodesToFourCharacters)
{
    THostScript script;
    script.Text = "äöüßxyz";
    UseHost(script);
    ASSERT_TRUE(ConnectHostServer());
    EXPECT_EQ(Calls, ConnectionReads());
    const THostSettings& settings = HostSettings();
    EXPECT_EQ(settings.HostCode71, "äöüß") << "characters, not bytes";
    EXPECT_EQ(settings.HostCode75, settings.HostCode71);
    EXPECT_EQ(settings.HostText17, script.Text) << "texts are kept whole";
    EXPECT_EQ(settings.LanguageFolder, script.Text + "language/");
}

TEST_F(THostLinkTest, FailedConnectionLeavesNoHostBehind)
{
    THostScript script;
    script.Failing = {"HostCode75"};
    UseHost(script);
    EXPECT_FALSE(ConnectHostServer());
    EXPECT_EQ(Calls, ConnectionReads()) << "the last of the twelve reads fails";
    EXPECT_EQ(HostServer(), nullptr);
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, "message");
    EXPECT_EQ(Dialogs.Shown[0].Caption, "SkyGlide");
    EXPECT_EQ(Dialogs.Shown[0].Text,
              "Kartova server application not found.  This process cannot be created.");
}

// One service of the run, what it asks of the host, and its text result.
struct TServiceCase
{
    const char* Name;
    std::function<std::string()> Call;
    std::vector<std::string> HostCalls;
    std::string Result = {};
};

class Services : public THostLinkTest, public testing::WithParamInterface<TServiceCase>
{
protected:
    void SetUp() override
    {
        THostLinkTest::SetUp();
        ASSERT_TRUE(ConnectHostServer());
        SetProcessNumber(5);
        Calls.clear();
    }
};

TEST_P(Services, ForwardWithTheProcessNumber_EndWhenShuttingDown_SkipWithoutAHost)
{
    EXPECT_EQ(GetParam().Call(), GetParam().Result);
    EXPECT_EQ(Calls, GetParam().HostCalls);
    Calls.clear();

    SetApplicationShuttingDown(true);
    EXPECT_THROW(GetParam().Call(), TProgramEnded);
    EXPECT_TRUE(Calls.empty()) << "the host is not reached once the application quits";
    EXPECT_EQ(HostServer(), nullptr);

    SetApplicationShuttingDown(false);
    EXPECT_EQ(GetParam().Call(), "") << "skipped without a host";
    EXPECT_TRUE(Calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    All, Services,
    testing::Values(TServiceCase{"ReportProgress",
                                 [] { return ReportProgress(0.25f), std::string(); },
                                 {"ReportProgress(5,0.25)"}},
                    TServiceCase{"ClearProgress",
                                 [] { return ClearProgress(), std::string(); },
                                 {"ClearProgress(5)"}},
                    TServiceCase{"ReportProcessError",
                                 [] { return ReportProcessError(-999), std::string(); },
                                 {"GetProcessTextB(5)", "GetProcessTextA(5)",
                                  "ReportProcessError(5,-999,A,B)"}},
                    TServiceCase{"GetProcessParameter",
                                 [] { return GetProcessParameter(2); },
                                 {"GetProcessParameter(5,2)"},
                                 "t.rst"},
                    TServiceCase{"GetProcessTextA", GetProcessTextA, {"GetProcessTextA(5)"}, "A"},
                    TServiceCase{"GetProcessTextB", GetProcessTextB, {"GetProcessTextB(5)"}, "B"},
                    TServiceCase{"GetProcessTextC", GetProcessTextC, {"GetProcessTextC(5)"}, "C"},
                    TServiceCase{"GetProcessTextD", GetProcessTextD, {"GetProcessTextD(5)"}, "D"}),
    [](const testing::TestParamInfo<TServiceCase>& info) { return info.param.Name; });

} // namespace
} // namespace skyglide::test
