#include "app/SurfaceReadout.h"

#include "data/RasterFile.h"

#include <cmath>
#include <limits>

namespace skyglide {

namespace {

std::int32_t RoundToInt32(double value)
{
    return TruncToInt32(std::nearbyint(value));
}

// The cell's value scaled so that the documented minimum is 0 and the
// maximum 1; 0 where there is nothing to scale by.
float ScaledHeight(TRasterFile& surface, double value)
{
    const double minimum = surface.Doc().MinValue;
    const double range = static_cast<double>(surface.Doc().MaxValue) - minimum;
    const double z = (value - minimum) / range;
    if (range == 0.0 || !std::isfinite(z))
        return 0.0f;
    return static_cast<float>(z);
}

} // namespace

std::int32_t TruncToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

TGridCell SampledCell(int width, int height, float x, float y)
{
    // nearbyint rounds in the current rounding mode, which is to nearest,
    // halves to even.
    return {RoundToInt32(static_cast<double>(width - 1) * static_cast<double>(x)),
            RoundToInt32(static_cast<double>(height - 1) * (1.0 - static_cast<double>(y)))};
}

float SurfaceHeight(TRasterFile* surface, float x, float y)
{
    if (!surface)
        return 0.0f;
    const TGridCell cell = SampledCell(surface->Bitmap().Width(), surface->Bitmap().Height(), x, y);
    double value = 0.0;
    surface->GetValue(cell.Column, cell.Row, value);
    return ScaledHeight(*surface, value);
}

TPositionReadout ReadPosition(TRasterFile& surface, const TAffineVector& position,
                              const TAffineVector& scale)
{
    const TImgDoc& doc = surface.Doc();
    TPositionReadout readout;
    readout.Column = TruncToInt32(-std::trunc(static_cast<double>(position.X)));
    readout.Row = TruncToInt32(static_cast<double>(scale.Y) - static_cast<double>(position.Z));
    readout.MapX = (-static_cast<double>(position.X) / scale.X) * (doc.MaxX - doc.MinX) + doc.MinX;
    readout.MapY = (static_cast<double>(position.Z) / scale.Y) * (doc.MaxY - doc.MinY) + doc.MinY;
    readout.Height = (static_cast<double>(position.Y) / scale.Z) * doc.MaxValue;
    double value = 0.0;
    readout.Value = surface.GetValue(readout.Column, readout.Row, value);
    return readout;
}

std::optional<float> LowestObserverHeight(TRasterFile& surface, const TAffineVector& position,
                                          const TAffineVector& scale)
{
    const TPositionReadout cell = ReadPosition(surface, position, scale);
    if (cell.Column < 0 || cell.Row < 0 || cell.Column >= surface.Bitmap().Width() ||
        cell.Row >= surface.Bitmap().Height())
        return std::nullopt;
    return static_cast<float>(
        (static_cast<double>(ScaledHeight(surface, cell.Value)) + GroundClearanceShare) *
        static_cast<double>(scale.Z));
}

} // namespace skyglide
