#include "data/Bitmap.h"

#include <string>
#include <utility>

namespace skyglide {

TPalette GreyscalePalette()
{
    TPalette palette;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const auto level = static_cast<std::uint8_t>(i);
        palette[i] = {level, level, level, 0};
    }
    return palette;
}

TBitmap::TBitmap() : m_palette(GreyscalePalette()) {}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    m_format = format;
    allocate();
}

void TBitmap::SetSize(int width, int height)
{
    SetSize(width, height, m_format);
}

void TBitmap::SetSize(int width, int height, TPixelFormat format)
{
    if (width < 0 || height < 0) {
        throw TBitmapError("TBitmap::SetSize(): negative size " + std::to_string(width) + " x " +
                           std::to_string(height));
    }
    m_width = width;
    m_height = height;
    m_format = format;
    allocate();
}

void TBitmap::allocate()
{
    m_bits.reset();
    const std::size_t rowBytes =
        static_cast<std::size_t>(m_width) * static_cast<std::size_t>(BytesPerPixel());
    const std::size_t stride = (rowBytes + 3) & ~std::size_t{3};
    // Both factors are below 2^33, so the product cannot wrap in 64 bits.
    static_assert(sizeof(std::size_t) >= 8, "64-bit sizes expected");
    const std::size_t total = stride * static_cast<std::size_t>(m_height);
    if (total > MaxBytes) {
        const int width = m_width;
        const int height = m_height;
        m_width = m_height = 0;
        m_stride = 0;
        throw TBitmapError("TBitmap::SetSize(): " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels of " +
                           std::to_string(BytesPerPixel()) + " bytes exceed the limit of " +
                           std::to_string(MaxBytes) + " bytes");
    }
    m_stride = stride;
    if (total == 0) {
        return;
    }
    // calloc hands out pages that the system has zeroed already, so a large
    // bitmap costs no extra pass over its memory before a loader fills it.
    auto* bits = static_cast<std::uint8_t*>(std::calloc(total, 1));
    if (bits == nullptr) {
        m_width = m_height = 0;
        m_stride = 0;
        throw TBitmapError("TBitmap::SetSize(): out of memory for " + std::to_string(total) +
                           " bytes");
    }
    m_bits.reset(bits);
}

std::uint8_t* TBitmap::ScanLine(int row)
{
    return const_cast<std::uint8_t*>(std::as_const(*this).ScanLine(row));
}

const std::uint8_t* TBitmap::ScanLine(int row) const
{
    if (row < 0 || row >= m_height || m_width == 0) {
        throw std::out_of_range("TBitmap::ScanLine(): row " + std::to_string(row) +
                                " outside 0 .. " + std::to_string(m_height - 1) + " of a " +
                                std::to_string(m_width) + " x " + std::to_string(m_height) +
                                " bitmap");
    }
    return m_bits.get() + static_cast<std::size_t>(row) * m_stride;
}

} // namespace skyglide
