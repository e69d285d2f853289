// The start-up parameter conversions on any text: the trimmed file names,
// the whole numbers of the detail level and velocity, the exaggeration, and
// the first argument that settles the process number against a scripted
// host. Each either converts or refuses the text the way its contract says.

#include "FuzzSupport.h"

#include "ScriptedHost.h"

#include "app/ProcessParameters.h"
#include "host/HostLink.h"
#include "host/StartupParameters.h"

#include <algorithm>
#include <charconv>
#include <cmath>

using namespace skyglide;
using skyglide::fuzz::Check;

namespace {

struct TEnded
{
};

// Blanks, an optional sign and decimal digits in the 32-bit range, read
// independently of the parser under test.
bool decimalInteger(std::string_view text, std::int32_t& value)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc{} || magnitude > (negative ? 0x80000000ULL : 0x7FFFFFFFULL)) {
        return false;
    }
    value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                               : static_cast<std::int64_t>(magnitude));
    return true;
}

bool plainAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) < 0x80;
    });
}

bool mentionsNoparams(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return text.find("noparams") != std::string::npos;
}

void checkFirstArgument(const std::string& argument)
{
    THostLink host([] { return std::make_unique<test::TScriptedHost>(test::THostScript{}); });
    host.OnEndProgram = [] { throw TEnded{}; };

    bool goesOn = true;
    try {
        ReadStartupParameters(host, {argument});
    } catch (const TEnded&) {
        goesOn = false;
        Check(host.Server() == nullptr, "an early end releases the host first");
    }

    // Outside ASCII the prefix is counted in characters, which the plain
    // byte reading below does not model.
    if (!plainAscii(argument)) {
        return;
    }
    if (mentionsNoparams(argument)) {
        Check(goesOn && host.ProcessNumber() == test::THostScript{}.ProcessNumber,
              "\"noparams\" takes the host's process number");
        return;
    }
    std::int32_t number = 0;
    const bool parsed =
        TryParseInteger(argument.substr(std::min<std::size_t>(3, argument.size())), number);
    Check(goesOn == parsed, "the run goes on exactly when the number after the prefix reads");
    Check(!goesOn || host.ProcessNumber() == number, "the process number is the one after the prefix");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(fuzz::AsText(data, size));

    // Parameters 2 to 4: file and palette names.
    const std::string trimmed = TrimBlanks(text);
    Check(text.find(trimmed) != std::string::npos, "a trimmed name is part of the parameter");
    Check(trimmed.empty() || (static_cast<unsigned char>(trimmed.front()) > ' ' &&
                              static_cast<unsigned char>(trimmed.back()) > ' '),
          "a trimmed name starts and ends with a visible character");

    // Parameters 5 and 6: the low byte of a decimal whole number.
    std::int32_t expected = 0;
    const bool whole = decimalInteger(text, expected);
    try {
        const std::uint8_t low = LowByteOfInteger(text, 5);
        Check(whole && low == (static_cast<std::uint32_t>(expected) & 0xFFU),
              "the low byte of a decimal whole number");
    } catch (const EConvertError&) {
        Check(!whole, "a decimal whole number in 32 bits is accepted");
    }

    // Parameter 7: the exaggeration.
    try {
        const float exaggeration = ExaggerationFromPercent(text);
        Check(std::isfinite(exaggeration) && exaggeration > 0.0F,
              "an exaggeration that is positive and finite");
    } catch (const EConvertError&) {
    }

    // Parameter 1: the first argument.
    checkFirstArgument(text);
    return 0;
}
