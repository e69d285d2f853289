#include "ScriptedHost.h"

#include "app/ProcessParameters.h"

#include <optional>

namespace skyglide::test {
namespace {

// The integer rules themselves are the start-up parameters'; here what the
// viewer makes of them.
TEST(ProcessParameterConversions, DetailAndVelocityKeepTheLowByteOfADecimalNumber)
{
    const struct
    {
        const char* Text;
        int Expected; // -1: not a whole number
    } rows[] = {{"3", 3},    {"255", 255}, {"257", 1}, {"-1", 255},
                {"$10", -1}, {"1.5", -1},  {"", -1},   {"99999999999", -1}};
    for (const auto& row : rows) {
        if (row.Expected >= 0) {
            EXPECT_EQ(LowByteOfInteger(row.Text, 5), row.Expected) << '"' << row.Text << '"';
        } else {
            EXPECT_THROW(LowByteOfInteger(row.Text, 5), EConvertError) << '"' << row.Text << '"';
        }
    }
}

TEST(ProcessParameterConversions, ExaggerationIsHundredthsWithAFloor)
{
    const struct
    {
        const char* Text;
        std::optional<float> Expected; // nullopt: not a number
    } rows[] = {{"150", 1.5f},      {"0", 0.01f},         {"-50", 0.01f}, {"1", 0.01f},
                {" 250 ", 2.5f},    {"12.5", 0.125f},     {"nan", 0.01f}, {"1e300", 0.01f},
                {"", std::nullopt}, {"abc", std::nullopt}};
    for (const auto& row : rows) {
        if (row.Expected) {
            EXPECT_FLOAT_EQ(ExaggerationFromPercent(row.Text), *row.Expected)
                << '"' << row.Text << '"';
        } else {
            EXPECT_THROW(ExaggerationFromPercent(row.Text), EConvertError)
                << '"' << row.Text << '"';
        }
    }
}

TEST_F(THostLinkTest, ParametersAreTrimmedAndConvertedWithTheHelpFile)
{
    Script.Parameters = {"", "", "  sub/t.rst ", " None", "\tpal ", "2", "263", "150", "1"};
    Script.Text = "/help/skyglide.html";
    ASSERT_TRUE(Host.Connect());

    const TProcessParameters parameters = ReadProcessParameters(Host);
    EXPECT_EQ(parameters.SurfaceFileName, "sub/t.rst");
    EXPECT_EQ(parameters.DrapeFileName, "None") << "trimmed, and not the keyword";
    EXPECT_EQ(parameters.PaletteName, "pal");
    EXPECT_EQ(parameters.ResolutionMode, 2);
    EXPECT_EQ(parameters.VelocityParameter, 7);
    EXPECT_FLOAT_EQ(parameters.Exaggeration, 1.5f);
    EXPECT_TRUE(parameters.StartMaximized);
    EXPECT_EQ(parameters.HelpFile, "/help/skyglide.html");
    for (const char* text : {"01", " 1", "true", "0", ""})
        EXPECT_FALSE(IsStartMaximized(text)) << "only exactly \"1\" starts maximized: " << text;
}

} // namespace
} // namespace skyglide::test
