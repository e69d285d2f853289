#pragma once

#include <QRect>

#include <cstdint>

class QPainter;

namespace skyglide {

// What the scene window draws over the viewer's frame. Both are dark,
// translucent panels with light text, so that they read over bright and dark
// terrain alike, and neither is part of a movie or a saved picture.

// The key card: the keys, the mouse actions and the current velocity, in
// the top-left corner of area.
void PaintKeyCard(QPainter& painter, const QRect& area, std::int32_t velocity);

// The velocity while it changes, at the bottom middle of area.
void PaintVelocityNotice(QPainter& painter, const QRect& area, std::int32_t velocity);

} // namespace skyglide
