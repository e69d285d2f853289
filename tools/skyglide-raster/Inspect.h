#pragma once

#include <optional>
#include <string>

namespace skyglide {
class TImgDoc;
class TRasterFile;
} // namespace skyglide

namespace skyglide::rastertool {

/// Throws TCommandError naming the file and the system's reason when it
/// cannot be opened for reading.
void checkReadable(const std::string& fileName);

/// One line saying why a raster is not valid (documentation missing or
/// unreadable, with its status).
std::string invalidReason(const TRasterFile& raster);

/// Every documentation field under its own name, then "Status" and "Valid".
std::string docJson(const TImgDoc& doc, std::optional<int> status, bool valid);

} // namespace skyglide::rastertool
