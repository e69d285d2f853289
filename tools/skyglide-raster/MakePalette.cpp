// make-palette: writes a palette file (".smp") from colour stops.
#include "Commands.h"

#include "import/PendingFile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace skyglide::rastertool {

namespace {

/// The project's own ramps, as colour stops "index:red,green,blue;...".
const std::map<std::string, std::string>& namedRamps()
{
    static const std::map<std::string, std::string> ramps = {
        {"greyscale", "0:0,0,0;255:255,255,255"},
        // Lowlands green, slopes tan and brown, summits grey to white.
        {"elevation", "0:38,115,38;60:110,160,70;105:180,190,100;140:205,175,115;"
                      "175:160,115,70;205:130,100,80;230:150,150,150;255:255,255,255"},
    };
    return ramps;
}

struct TStop
{
    int Index;
    std::array<int, 3> Colour;
};

std::vector<TStop> parseStops(const std::string& text)
{
    std::vector<TStop> stops;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        const std::size_t colon = item.find(':');
        if (colon == std::string::npos) {
            throw TUsageError("colour stop '" + item + "': expected INDEX:RED,GREEN,BLUE");
        }
        TStop stop{};
        stop.Index =
            static_cast<int>(toInteger(item.substr(0, colon), "colour stop index", 0, 255));
        const auto parts = splitList(item.substr(colon + 1), ',', 3, "colour stop '" + item + "'");
        for (std::size_t k = 0; k < 3; ++k) {
            stop.Colour[k] =
                static_cast<int>(toInteger(parts[k], "colour stop '" + item + "'", 0, 255));
        }
        if (!stops.empty() && stop.Index <= stops.back().Index) {
            throw TUsageError("colour stop '" + item + "': indices must rise from stop to stop");
        }
        stops.push_back(stop);
    }
    return stops;
}

/// The colour of every index: the first stop's colour below it, the last
/// stop's above it, straight lines between stops, rounded to nearest.
std::array<std::array<std::uint8_t, 3>, 256> ramp(const std::vector<TStop>& stops)
{
    std::array<std::array<std::uint8_t, 3>, 256> table{};
    for (int i = 0; i < 256; ++i) {
        std::array<double, 3> colour{};
        if (i <= stops.front().Index) {
            for (std::size_t k = 0; k < 3; ++k) {
                colour[k] = stops.front().Colour[k];
            }
        } else if (i >= stops.back().Index) {
            for (std::size_t k = 0; k < 3; ++k) {
                colour[k] = stops.back().Colour[k];
            }
        } else {
            std::size_t s = 1;
            while (stops[s].Index < i) {
                ++s;
            }
            const TStop& a = stops[s - 1];
            const TStop& b = stops[s];
            const double t = static_cast<double>(i - a.Index) / (b.Index - a.Index);
            for (std::size_t k = 0; k < 3; ++k) {
                colour[k] = a.Colour[k] + (b.Colour[k] - a.Colour[k]) * t;
            }
        }
        for (std::size_t k = 0; k < 3; ++k) {
            table[static_cast<std::size_t>(i)][k] =
                static_cast<std::uint8_t>(std::nearbyint(colour[k]));
        }
    }
    return table;
}

void putUInt16(std::string& bytes, std::size_t offset, int value)
{
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

} // namespace

int runMakePalette(const TArgs& args)
{
    const TOptions options = TOptions::parse(args, {"out", "stretch"});
    const std::string what = options.operand("ramp name or colour stops");
    const std::string out = options.require("out");
    const auto named = namedRamps().find(what);
    const auto stops = parseStops(named != namedRamps().end() ? named->second : what);
    const auto stretch = splitList(options.get("stretch", "0,255"), ',', 2, "--stretch");
    const int first = static_cast<int>(toInteger(stretch[0], "--stretch", 0, 255));
    const int last = static_cast<int>(toInteger(stretch[1], "--stretch", 0, 255));
    if (first > last) {
        throw TUsageError("--stretch: expected FIRST,LAST with FIRST <= LAST");
    }

    // Header: 11 bytes of identification, the colour table's offset, the
    // highest colour index and the stretch range; then 256 red, green, blue.
    constexpr std::size_t HeaderBytes = 18;
    std::string bytes(HeaderBytes + 256 * 3, '\0');
    bytes.replace(0, 11, "Kartova A.1");
    bytes[11] = static_cast<char>(HeaderBytes);
    putUInt16(bytes, 12, 255);
    putUInt16(bytes, 14, first);
    putUInt16(bytes, 16, last);
    const auto table = ramp(stops);
    for (std::size_t i = 0; i < 256; ++i) {
        for (std::size_t k = 0; k < 3; ++k) {
            bytes[HeaderBytes + 3 * i + k] = static_cast<char>(table[i][k]);
        }
    }
    WriteFileAtomically(out, bytes);
    return 0;
}

} // namespace skyglide::rastertool
