#pragma once

#include "HostOptions.h"

namespace skyglide {

// Puts the import of a surface or drape that is not a raster pair (".rst")
// in its place: any raster GDAL reads is imported once into the cache, and a
// drape is fitted onto the surface's grid, so that the viewer is handed a
// raster pair as from the host. Names of files that do not exist are left
// as they are. False, with a message, when an import fails or is
// interrupted.
bool ImportForeignRasters(THostOptions& options);

} // namespace skyglide
