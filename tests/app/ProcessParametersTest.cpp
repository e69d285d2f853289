#include "HostLinkFixture.h"

#include "app/ProcessParameters.h"

#include <cmath>
#include <limits>

namespace skyglide::test {
namespace {

TEST(ProcessParameterConversions, DetailAndVelocityKeepTheLowByte)
{
    const struct
    {
        const char* Text;
        int Expected; // -1: not a whole number
    } rows[] = {{"1", 1},    {"3", 3},    {"0", 0},    {"255", 255},       {"257", 1},
                {"-1", 255}, {" 2", 2},   {"+4", 4},   {"2 ", -1},         {"", -1},
                {"1.5", -1}, {"$10", -1}, {"abc", -1}, {"99999999999", -1}};
    for (const auto& row : rows) {
        if (row.Expected < 0) {
            EXPECT_THROW(LowByteOfInteger(row.Text, 5), EConvertError) << '"' << row.Text << '"';
        } else {
            EXPECT_EQ(LowByteOfInteger(row.Text, 5), row.Expected) << '"' << row.Text << '"';
        }
    }
}

TEST(ProcessParameterConversions, ExaggerationIsHundredthsWithAFloor)
{
    const struct
    {
        const char* Text;
        float Expected; // NaN: not a number
    } rows[] = {{"100", 1.0f},
                {"150", 1.5f},
                {"0", 0.01f},
                {"-50", 0.01f},
                {"1", 0.01f},
                {" 250 ", 2.5f},
                {"12.5", 0.125f},
                {"nan", 0.01f},
                {"1e300", 0.01f},
                {"", std::numeric_limits<float>::quiet_NaN()},
                {"abc", std::numeric_limits<float>::quiet_NaN()}};
    for (const auto& row : rows) {
        if (std::isnan(row.Expected)) {
            EXPECT_THROW(ExaggerationFromPercent(row.Text), EConvertError)
                << '"' << row.Text << '"';
        } else {
            EXPECT_FLOAT_EQ(ExaggerationFromPercent(row.Text), row.Expected)
                << '"' << row.Text << '"';
        }
    }
}

TEST(ProcessParameterConversions, StartMaximizedOnlyForExactlyOne)
{
    EXPECT_TRUE(IsStartMaximized("1"));
    for (const char* text : {"01", " 1", "1 ", "true", "0", ""})
        EXPECT_FALSE(IsStartMaximized(text)) << '"' << text << '"';
}

TEST_F(THostLinkTest, ParametersAreReadInOrderThenHelpFileAndHostNumber)
{
    THostScript script;
    script.Parameters = {"", "", "  sub/t.rst ", " None", "\tpal ", "2", "263", "150", "1"};
    script.Text = "/help/skyglide.html";
    UseHost(script);
    ASSERT_TRUE(ConnectHostServer());
    SetProcessNumber(3);
    Calls.clear();

    const TProcessParameters parameters = ReadProcessParameters();
    EXPECT_EQ(Calls, (std::vector<std::string>{
                         "GetProcessParameter(3,2)", "GetProcessParameter(3,3)",
                         "GetProcessParameter(3,4)", "GetProcessParameter(3,5)",
                         "GetProcessParameter(3,6)", "GetProcessParameter(3,7)",
                         "GetProcessParameter(3,8)", "GetHostText()", "GetHostNumber()"}));
    EXPECT_EQ(parameters.SurfaceFileName, "sub/t.rst");
    EXPECT_EQ(parameters.DrapeFileName, "None") << "trimmed, and not the keyword";
    EXPECT_EQ(parameters.PaletteName, "pal");
    EXPECT_EQ(parameters.ResolutionMode, 2);
    EXPECT_EQ(parameters.VelocityParameter, 7);
    EXPECT_FLOAT_EQ(parameters.Exaggeration, 1.5f);
    EXPECT_TRUE(parameters.StartMaximized);
    EXPECT_EQ(parameters.HelpFile, "/help/skyglide.html");
}

} // namespace
} // namespace skyglide::test
