#include "Commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace skyglide::rastertool {

TOptions TOptions::parse(const TArgs& args, const std::vector<std::string>& known)
{
    TOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            const std::string name = arg.substr(2);
            if (std::find(known.begin(), known.end(), name) == known.end()) {
                throw TUsageError("unknown option " + arg);
            }
            if (i + 1 >= args.size()) {
                throw TUsageError("option " + arg + " needs a value");
            }
            options.Values.emplace_back(name, args[++i]);
        } else {
            options.Operands.push_back(arg);
        }
    }
    return options;
}

bool TOptions::has(const std::string& name) const
{
    return std::any_of(Values.begin(), Values.end(),
                       [&](const auto& value) { return value.first == name; });
}

std::string TOptions::get(const std::string& name, const std::string& fallback) const
{
    const auto values = all(name);
    if (values.size() > 1) {
        throw TUsageError("option --" + name + " given more than once");
    }
    return values.empty() ? fallback : values.front();
}

std::string TOptions::require(const std::string& name) const
{
    if (!has(name)) {
        throw TUsageError("option --" + name + " is required");
    }
    return get(name);
}

std::vector<std::string> TOptions::all(const std::string& name) const
{
    std::vector<std::string> out;
    for (const auto& [key, value] : Values) {
        if (key == name) {
            out.push_back(value);
        }
    }
    return out;
}

std::string TOptions::operand(const char* what) const
{
    if (Operands.size() != 1) {
        throw TUsageError(std::string("expected one ") + what + ", got " +
                          std::to_string(Operands.size()));
    }
    return Operands.front();
}

long long toInteger(const std::string& text, const std::string& option, long long lo, long long hi)
{
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < lo ||
        value > hi) {
        throw TUsageError(option + ": expected a whole number from " + std::to_string(lo) + " to " +
                          std::to_string(hi) + " but got '" + text + "'");
    }
    return value;
}

double toReal(const std::string& text, const std::string& option)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
        !std::isfinite(value)) {
        throw TUsageError(option + ": expected a number but got '" + text + "'");
    }
    return value;
}

std::vector<std::string> splitList(const std::string& text, char separator, std::size_t count,
                                   const std::string& option)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    if (parts.size() != count) {
        throw TUsageError(option + ": expected " + std::to_string(count) +
                          " values separated by '" + separator + "' but got '" + text + "'");
    }
    return parts;
}

unsigned parseStep(const TOptions& options)
{
    return static_cast<unsigned>(toInteger(options.get("step", "1"), "--step", 1, 65535));
}

} // namespace skyglide::rastertool
