#pragma once

#include <QString>

namespace skyglide {

/// `path` made absolute, ending in "/": a folder as the host names folders.
QString AsFolder(const QString& path);

/// The bundled palettes (greyscale, elevation), where the tools look for a
/// palette named without a folder: the installed copy beside the program
/// (bin/../share/skyglide/samples/palettes) when there is one, the source
/// tree's otherwise. Ends in "/".
QString BundledPaletteFolder();

} // namespace skyglide
