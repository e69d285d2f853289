#pragma once

#include <QSurfaceFormat>

namespace skyglide {

/// The surface format every context of the renderer asks for: 8 bits per
/// colour channel, 24 depth bits and the default (compatibility) profile, so
/// that immediate mode, display lists and GLU work; `swapInterval` 1 waits
/// for vertical sync, 0 does not. The viewer adds double buffering.
QSurfaceFormat GLSurfaceFormat(int swapInterval);

} // namespace skyglide
