#pragma once

#include "render/VectorGeometry.h"

#include <cstdint>
#include <optional>

namespace skyglide {

class TRasterFile;

// The grid cell that mesh sampling coordinates (x, y), each 0 to 1, fall on
// in a grid of width × height cells: x = 0 is the first (west) column, y = 1
// the first (north) row. Halves round to even.
struct TGridCell
{
    std::int32_t Column = 0;
    std::int32_t Row = 0;
};
TGridCell SampledCell(int width, int height, float x, float y);

// The surface's height at mesh sampling coordinates (x, y): the cell's value
// scaled so that the documented minimum value is 0 and the maximum 1.
// A surface whose documented minimum and maximum are equal has no height to
// scale by, and a cell value that is not a finite number has no height
// either: both give 0, a flat surface at the base, instead of infinities
// and NaNs that would tear the mesh. Without a surface the height is 0.
float SurfaceHeight(TRasterFile* surface, float x, float y);

// The observer's position expressed in the surface's terms: its grid column
// and row, its map coordinates, its height in value units and the cell value
// under it. position is the observer's position in the scene, scale the
// height field's scale (grid width, grid height, vertical scale).
struct TPositionReadout
{
    std::int32_t Column = 0;
    std::int32_t Row = 0;
    double MapX = 0.0;
    double MapY = 0.0;
    double Height = 0.0;
    // The cell value at (Column, Row), or the value last read when that cell
    // lies outside the grid.
    double Value = 0.0;
};
TPositionReadout ReadPosition(TRasterFile& surface, const TAffineVector& position,
                              const TAffineVector& scale);

// The clearance Keep Above Ground holds the observer at over the surface,
// as a share of the surface's height range (the height field's vertical
// scale): on the Trinidad sample at detail 1, 60 units of height, 1.2.
inline constexpr double GroundClearanceShare = 0.02;

// The lowest height in the scene at which Keep Above Ground lets the observer
// fly at position: the surface's height at the observer's grid column and row
// (those of ReadPosition) plus the clearance. Nothing off the grid, where
// there is no ground to keep above.
std::optional<float> LowestObserverHeight(TRasterFile& surface, const TAffineVector& position,
                                          const TAffineVector& scale);

// Truncation toward zero into 32 bits; values beyond the range give its
// ends, and a value that is not a number gives 0.
std::int32_t TruncToInt32(double value);

} // namespace skyglide
