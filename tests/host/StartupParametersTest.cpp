#include "ScriptedHost.h"

#include "host/StartupParameters.h"

#include <optional>

namespace skyglide::test {
namespace {

TEST(ProcessNumberText, ReadsTheWholeTextAsA32BitInteger)
{
    // clang-format off
    const std::pair<const char*, std::int32_t> good[] = {
        {"42", 42}, {"000000000000042", 42}, {" \t42", 42}, {"+42", 42}, {"$2a", 42}, {"X2A", 42},
        {"0x2A", 42}, {"0X2a", 42}, {"-42", -42}, {"-$10", -16}, {" -0x10", -16}, {"$FFFFFFFF", -1},
        {"0x80000000", INT32_MIN}, {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}};
    // clang-format on
    for (const auto& [text, expected] : good) {
        std::int32_t value = 0;
        EXPECT_TRUE(TryParseInteger(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, expected) << '"' << text << '"';
    }
    for (const char* text : {"2147483648", "-2147483649", "$100000000", "", "   ", "-", "$", "0x",
                             "42 ", "4 2", "- 42", "+-42", "4x", "0x1G"}) {
        std::int32_t value = 0;
        EXPECT_FALSE(TryParseInteger(text, value)) << '"' << text << '"';
    }
    std::int32_t value = 1;
    EXPECT_TRUE(TryParseInteger("0", value, false));
    EXPECT_EQ(value, 0);
    for (const char* text : {"$2A", "0x2A", "x2A"})
        EXPECT_FALSE(TryParseInteger(text, value, false)) << "decimal only: " << text;
}

// The routes of the first argument that the end-to-end starts do not take:
// the argument, and the process number it settles (nullopt: the program ends
// at once, before asking the host anything).
struct TArgumentCase
{
    const char* Name;
    std::vector<std::string> Arguments;
    std::optional<std::int32_t> ProcessNumber;
    bool ObtainedFromTheHost = false;
};

class FirstArgument : public THostLinkTest, public testing::WithParamInterface<TArgumentCase>
{
};

TEST_P(FirstArgument, SettlesTheProcessNumber)
{
    const TArgumentCase& row = GetParam();
    QStringList expected = ConnectionReads();
    try {
        ReadStartupParameters(Host, row.Arguments);
        ASSERT_TRUE(row.ProcessNumber) << "the program goes on";
        EXPECT_EQ(Host.ProcessNumber(), *row.ProcessNumber);
        if (row.ObtainedFromTheHost)
            expected << "ObtainProcessNumber()";
        for (const char* call : {"ConfirmProcess", "GetProcessTextC", "GetProcessTextD"})
            expected << QString("%1(%2)").arg(call).arg(*row.ProcessNumber);
    } catch (const TProgramEnded&) {
        ASSERT_FALSE(row.ProcessNumber) << "the program ends";
        EXPECT_EQ(Host.Server(), nullptr) << "an early end releases the host first";
    }
    EXPECT_EQ(Calls, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, FirstArgument,
    testing::Values(TArgumentCase{"anyPrefix", {"abc4242"}, 4242},
                    TArgumentCase{"prefixOutsideAscii", {"éèà42"}, 42},
                    TArgumentCase{"hexNumber", {"krt$2A"}, 42},
                    TArgumentCase{"blankBeforeNumber", {"krt 42"}, 42},
                    TArgumentCase{"furtherArgumentsIgnored", {"krt42", "krt99"}, 42},
                    TArgumentCase{"noparamsAnyCaseAnywhere", {"--NoParAMS--"}, 7, true},
                    TArgumentCase{"prefixOnly", {"krt"}, std::nullopt},
                    TArgumentCase{"shortArgument", {"kr"}, std::nullopt}),
    [](const testing::TestParamInfo<TArgumentCase>& info) { return info.param.Name; });

TEST_F(THostLinkTest, NoparamsWhileShuttingDown_EndsWithoutAskingTheHost)
{
    Host.SetShuttingDown(true);
    EXPECT_THROW(ReadStartupParameters(Host, {"noparams"}), TProgramEnded);
    EXPECT_EQ(Calls, ConnectionReads());
}

} // namespace
} // namespace skyglide::test
