// The path file reader on any bytes, walked as the player walks it: every
// line through Next() and Fields(), every field converted, every line's pose
// read. A pose that reads is written back as a path line and must read back
// as itself to within the two decimals the line keeps.

#include "FuzzSupport.h"

#include "paths/PathFile.h"

#include <algorithm>
#include <cmath>
#include <limits>

using namespace skyglide;
using skyglide::fuzz::Check;

namespace {

void checkRoundTrip(int index, const TPose& pose)
{
    const std::vector<std::string> fields = splitPathLine(formatPoseLine(index, pose));
    Check(fields.size() == 10, "a written pose line has 10 fields");
    std::size_t i = 1;
    for (const auto* group :
         {&pose.ObserverPosition, &pose.ObserverDirection, &pose.CameraPosition}) {
        for (const float value : *group) {
            const double read = pathTextToReal(fields[i++]);
            Check(std::fabs(read - static_cast<double>(value)) <= 0.005 + 1e-9,
                  "a written coordinate reads back to within its two decimals");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string file = fuzz::WriteInputFile("path.csv", fuzz::AsText(data, size));

    TPathFile path;
    path.LoadFromFile(file);
    Check(path.FileName() == file && !path.Modified() && path.CurrentLine() == 0,
          "a loaded path starts at its first line, not modified");

    int steps = 0;
    while (path.Next()) {
        ++steps;
        Check(path.CurrentLine() == steps, "Next() moves the cursor by one line");
        const int count = static_cast<int>(path.Fields().size());
        for (int i = 0; i < count; ++i) {
            try {
                path.fieldValue(i);
            } catch (const std::runtime_error&) {
            }
        }
        TPose pose;
        try {
            pose = path.currentPose();
        } catch (const std::runtime_error&) {
            continue;
        }
        checkRoundTrip(path.CurrentLine(), pose);
    }
    Check(steps == std::max(path.Count() - 1, 0), "Next() visits every line after the first");
    Check(path.CurrentLine() == 0, "the walk ends with the cursor back at 0");

    for (const std::int32_t outside :
         {-2, path.Count(), path.Count() + 1, std::numeric_limits<std::int32_t>::max()}) {
        path.SetCurrentLine(outside);
        Check(!path.Next() && path.CurrentLine() == 0, "a cursor outside the lines ends the path");
    }
    return 0;
}
