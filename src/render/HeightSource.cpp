#include "render/HeightSource.h"

#include "data/Bitmap.h"
#include "data/Endian.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace skyglide {

TBitmapHeightSource::TBitmapHeightSource(std::shared_ptr<const TBitmap> cells, double minValue,
                                         double maxValue)
    : m_cells(std::move(cells)), m_minValue(minValue), m_scale(0.0)
{
    if (!m_cells)
        throw std::invalid_argument("TBitmapHeightSource: no cells");
    const double range = maxValue - minValue;
    if (range != 0.0 && std::isfinite(range))
        m_scale = 1.0 / range;
}

int TBitmapHeightSource::Columns() const
{
    return m_cells->Width();
}

int TBitmapHeightSource::Rows() const
{
    return m_cells->Height();
}

void TBitmapHeightSource::ReadRow(int row, int column, int step, int count, float* out) const
{
    const std::uint8_t* line = m_cells->ScanLine(row);
    const int bytes = m_cells->BytesPerPixel();
    const std::uint8_t* p = line + std::ptrdiff_t(column) * bytes;
    const std::ptrdiff_t stride = std::ptrdiff_t(step) * bytes;
    // In double, as the mesh's height callback computes it; the reciprocal
    // instead of the division may move the last bit of the double, which the
    // single almost never sees.
    auto height = [this](double value) {
        const double z = (value - m_minValue) * m_scale;
        return std::isfinite(z) ? float(z) : 0.0f;
    };
    switch (m_cells->PixelFormat()) {
    case TPixelFormat::pf16bit:
        for (int i = 0; i < count; ++i, p += stride)
            out[i] = height(LittleEndianInt16(p));
        break;
    case TPixelFormat::pf32bit:
        for (int i = 0; i < count; ++i, p += stride)
            out[i] = height(LittleEndianSingle(p));
        break;
    case TPixelFormat::pf8bit:
    case TPixelFormat::pf24bit:
        for (int i = 0; i < count; ++i, p += stride)
            out[i] = height(*p);
        break;
    }
}

// ---- clamped reads -----------------------------------------------------------------

void TClampedHeights::Row(int row, int column, int step, int count, float* out) const
{
    const int columns = m_source.Columns();
    row = std::clamp(row, 0, m_source.Rows() - 1);
    // Columns before 0 and past the last one take the edge cell; the run in
    // between is one read.
    int first = 0;
    while (first < count && column + first * step < 0)
        out[first++] = 0.0f;
    int last = first;
    while (last < count && column + last * step < columns)
        ++last;
    if (last > first)
        m_source.ReadRow(row, column + first * step, step, last - first, out + first);
    if (first > 0) {
        float west = 0.0f;
        m_source.ReadRow(row, 0, 1, 1, &west);
        std::fill(out, out + first, west);
    }
    if (last < count) {
        float east = 0.0f;
        m_source.ReadRow(row, columns - 1, 1, 1, &east);
        std::fill(out + last, out + count, east);
    }
}

void TClampedHeights::Column(int column, int row, int step, int count, float* out) const
{
    column = std::clamp(column, 0, m_source.Columns() - 1);
    const int rows = m_source.Rows();
    for (int k = 0; k < count; ++k)
        m_source.ReadRow(std::clamp(row + k * step, 0, rows - 1), column, 1, 1, out + k);
}

float TClampedHeights::At(int column, int row) const
{
    float height = 0.0f;
    Column(column, row, 1, 1, &height);
    return height;
}

} // namespace skyglide
