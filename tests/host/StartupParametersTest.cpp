#include "HostLinkFixture.h"

#include "host/StartupParameters.h"

#include <optional>

namespace skyglide::test {
namespace {

struct TIntegerCase
{
    const char* Name;
    const char* Text;
    std::optional<std::int32_t> Expected; // nullopt: invalid
    bool AllowHex = true;
};

class IntegerRules : public testing::TestWithParam<TIntegerCase>
{
};

TEST_P(IntegerRules, ReadsTheWholeText)
{
    const TIntegerCase& row = GetParam();
    std::int32_t value = 12345;
    const bool valid = TryParseInteger(row.Text, value, row.AllowHex);
    ASSERT_EQ(valid, row.Expected.has_value()) << '"' << row.Text << '"';
    if (valid) {
        EXPECT_EQ(value, *row.Expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ProcessNumber, IntegerRules,
    testing::Values(
        TIntegerCase{"plain", "42", 42}, TIntegerCase{"leadingZeros", "000000000000042", 42},
        TIntegerCase{"leadingBlanks", "  42", 42}, TIntegerCase{"leadingTab", "\t42", 42},
        TIntegerCase{"plusSign", "+42", 42}, TIntegerCase{"minusSign", "-42", -42},
        TIntegerCase{"dollarHex", "$2A", 42}, TIntegerCase{"dollarHexLower", "$2a", 42},
        TIntegerCase{"xHex", "x2A", 42}, TIntegerCase{"upperXHex", "X2a", 42},
        TIntegerCase{"zeroXHex", "0x2A", 42}, TIntegerCase{"zeroUpperXHex", "0X2a", 42},
        TIntegerCase{"negativeHex", "-$10", -16}, TIntegerCase{"blanksSignHex", " -0x10", -16},
        TIntegerCase{"largest", "2147483647", 2147483647},
        TIntegerCase{"smallest", "-2147483648", INT32_MIN},
        TIntegerCase{"tooLarge", "2147483648", std::nullopt},
        TIntegerCase{"tooSmall", "-2147483649", std::nullopt},
        TIntegerCase{"hexAllBits", "$FFFFFFFF", -1},
        TIntegerCase{"hexHighBit", "0x80000000", INT32_MIN},
        TIntegerCase{"hexTooWide", "$100000000", std::nullopt},
        TIntegerCase{"empty", "", std::nullopt}, TIntegerCase{"blanksOnly", "   ", std::nullopt},
        TIntegerCase{"signOnly", "-", std::nullopt}, TIntegerCase{"dollarOnly", "$", std::nullopt},
        TIntegerCase{"zeroXOnly", "0x", std::nullopt},
        TIntegerCase{"trailingBlank", "42 ", std::nullopt},
        TIntegerCase{"innerBlank", "4 2", std::nullopt},
        TIntegerCase{"blankAfterSign", "- 42", std::nullopt},
        TIntegerCase{"twoSigns", "+-42", std::nullopt},
        TIntegerCase{"digitAndLetter", "4x", std::nullopt},
        TIntegerCase{"badHexDigit", "0x1G", std::nullopt},
        TIntegerCase{"decimalOnlyRejectsHex", "$2A", std::nullopt, false},
        TIntegerCase{"decimalOnlyReadsZero", "0", 0, false},
        TIntegerCase{"decimalOnlyRejectsZeroX", "0x2A", std::nullopt, false}),
    [](const testing::TestParamInfo<TIntegerCase>& info) { return info.param.Name; });

// One route through ReadStartupParameters: the program's arguments and what
// the host answers, against the calls the host sees and how it ends.
struct TRouteCase
{
    const char* Name;
    std::vector<std::string> Arguments;
    THostScript Script;
    std::vector<std::string> CallsAfterConnection;
    std::optional<std::int32_t> ProcessNumber; // nullopt: the program ended at once
};

THostScript Refusing(bool confirmNew, bool confirm)
{
    THostScript script;
    script.ConfirmNew = confirmNew;
    script.Confirm = confirm;
    return script;
}

const std::vector<std::string> Accepted42 = {"ConfirmProcess(42)", "GetProcessTextC(42)",
                                             "GetProcessTextD(42)"};
const std::vector<std::string> Obtained7 = {"ObtainProcessNumber()", "ConfirmProcess(7)",
                                            "GetProcessTextC(7)", "GetProcessTextD(7)"};

class StartupRoutes : public THostLinkTest, public testing::WithParamInterface<TRouteCase>
{
};

TEST_P(StartupRoutes, SettleTheProcessNumber)
{
    const TRouteCase& row = GetParam();
    UseHost(row.Script);
    bool ended = false;
    try {
        ReadStartupParameters(row.Arguments);
    } catch (const TProgramEnded&) {
        ended = true;
    }
    std::vector<std::string> expected = ConnectionReads();
    expected.insert(expected.end(), row.CallsAfterConnection.begin(),
                    row.CallsAfterConnection.end());
    EXPECT_EQ(Calls, expected);
    ASSERT_EQ(ended, !row.ProcessNumber.has_value());
    if (ended) {
        EXPECT_EQ(HostServer(), nullptr) << "an early end releases the host first";
    } else {
        EXPECT_EQ(ProcessNumber(), *row.ProcessNumber);
    }
    EXPECT_TRUE(Dialogs.Shown.empty()) << "no route past the connection shows a message";
}

INSTANTIATE_TEST_SUITE_P(
    Routes, StartupRoutes,
    testing::Values(
        TRouteCase{"prefixAndNumber", {"krt42"}, {}, Accepted42, 42},
        TRouteCase{"anyPrefix",
                   {"abc4242"},
                   {},
                   {"ConfirmProcess(4242)", "GetProcessTextC(4242)", "GetProcessTextD(4242)"},
                   4242},
        TRouteCase{"prefixOutsideAscii",
                   {"\xc3\xa9\xc3\xa8\xc3\xa0"
                    "42"},
                   {},
                   Accepted42,
                   42},
        TRouteCase{"hexNumber", {"krt$2A"}, {}, Accepted42, 42},
        TRouteCase{"blankBeforeNumber", {"krt 42"}, {}, Accepted42, 42},
        TRouteCase{"furtherArgumentsIgnored", {"krt42", "krt99"}, {}, Accepted42, 42},
        TRouteCase{"noparams", {"noparams"}, {}, Obtained7, 7},
        TRouteCase{"noparamsAnyCaseAnywhere", {"--NoParAMS--"}, {}, Obtained7, 7},
        TRouteCase{"noArgument",
                   {},
                   {},
                   {"ObtainProcessNumber()", "ConfirmNewProcess(7)", "ConfirmProcess(7)",
                    "GetProcessTextC(7)", "GetProcessTextD(7)"},
                   7},
        TRouteCase{"noArgumentRefusedNew",
                   {},
                   Refusing(false, true),
                   {"ObtainProcessNumber()", "ConfirmNewProcess(7)", "AbandonProcess(7)"},
                   std::nullopt},
        TRouteCase{"refusedConfirm",
                   {"krt42"},
                   Refusing(true, false),
                   {"ConfirmProcess(42)"},
                   std::nullopt},
        TRouteCase{"prefixOnly", {"krt"}, {}, {}, std::nullopt},
        TRouteCase{"shortArgument", {"kr"}, {}, {}, std::nullopt}),
    [](const testing::TestParamInfo<TRouteCase>& info) { return info.param.Name; });

TEST_F(THostLinkTest, NoHostShowsTheMessageAndEnds)
{
    UseNoHost();
    EXPECT_THROW(ReadStartupParameters({"krt42"}), TProgramEnded);
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, "message");
    EXPECT_EQ(Dialogs.Shown[0].Caption, "SkyGlide");
    EXPECT_EQ(Dialogs.Shown[0].Text,
              "Kartova server application not found.  This process cannot be created.");
    EXPECT_TRUE(Calls.empty());
}

TEST_F(THostLinkTest, NoparamsWhileShuttingDown_EndsWithoutAskingTheHost)
{
    SetApplicationShuttingDown(true);
    EXPECT_THROW(ReadStartupParameters({"noparams"}), TProgramEnded);
    EXPECT_EQ(Calls, ConnectionReads());
}

} // namespace
} // namespace skyglide::test
