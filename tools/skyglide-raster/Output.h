#pragma once

#include <string>

namespace skyglide::rastertool {

/// Writes `bytes` to `fileName` through a file beside it that is renamed
/// over the target once complete, so a failed write never leaves a partial
/// file in place of a good one. Throws TCommandError naming the file and
/// the system's reason.
void writeFileAtomically(const std::string& fileName, const std::string& bytes);

} // namespace skyglide::rastertool
