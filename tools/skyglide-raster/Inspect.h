#pragma once

#include <string>

namespace skyglide {
class TRasterFile;
} // namespace skyglide

namespace skyglide::rastertool {

/// Points raster at fileName, whose image and documentation must both be
/// readable; throws TCommandError saying which is not.
void openValidRaster(TRasterFile& raster, const std::string& fileName);

} // namespace skyglide::rastertool
