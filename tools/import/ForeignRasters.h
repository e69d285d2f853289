#pragma once

#include <QString>

namespace skyglide {

/// Puts the import of a surface or drape that is not a raster pair (".rst")
/// in its place: any raster GDAL reads is imported once into the cache
/// (TImportCache), and a drape is fitted onto the surface's grid, so that
/// the viewer's loader is handed raster pairs as from the host. Names of
/// files that do not exist, and the drape "none", are left as they are.
/// Shows a progress bar while importing; Ctrl+C stops the import. False,
/// with a message "<program>: <reason>" on the standard error, when an
/// import fails or is interrupted.
bool ImportForeignRasters(QString& surface, QString& drape, const char* program);

} // namespace skyglide
