#pragma once

#include <stdexcept>

namespace skyglide {

/// A raster that cannot be imported, or an output that cannot be written.
/// The message is one line naming the file and the reason, with GDAL's own
/// text where GDAL gave one: "cannot open foo.tif: <reason>".
class TImportError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace skyglide
