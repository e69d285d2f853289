#pragma once

namespace skyglide {

struct TRenderContextInfo;

/// Colours of the six half-axes an object shows with ShowAxes, in drawing
/// order: −X, +X, −Y, +Y, −Z, +Z (red, green and blue; the negative halves at
/// half intensity).
struct TAxisColor
{
    float Red, Green, Blue;
};
inline constexpr TAxisColor cAxisColors[6] = {
    {0.5f, 0, 0}, {1, 0, 0}, {0, 0.5f, 0}, {0, 1, 0}, {0, 0, 0.5f}, {0, 0, 1},
};

/// The stipple of the axes: two pixels on, two off.
inline constexpr unsigned short cAxesStipple = 0xCCCC;

/// Draws the object's axes through its origin in its own (scaled) frame, each
/// half `length` units long: flat colours (lighting off), stippled lines one
/// pixel wide, blended unless the render asks to ignore blending. The depth
/// test is left as it is, so terrain in front of an axis hides it. Every
/// state it changes is restored.
void DrawAxes(const TRenderContextInfo& rci, float length);

} // namespace skyglide
