#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

namespace skyglide {

/// Bits per pixel of a TBitmap. The value of each enumerator is its bit count.
enum class TPixelFormat : std::uint8_t {
    pf8bit = 8,   ///< one byte: an index into the palette, or an unsigned byte sample
    pf16bit = 16, ///< two bytes: a signed 16-bit little-endian sample
    pf24bit = 24, ///< three bytes: blue, green, red
    pf32bit = 32, ///< four bytes: a single-precision float sample, little-endian
};

/// Bytes of one pixel of the given format (1, 2, 3 or 4).
constexpr int BytesPerPixel(TPixelFormat format)
{
    return static_cast<int>(format) / 8;
}

/// One palette entry: a colour and the palette flags byte.
struct TPaletteEntry
{
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
    std::uint8_t Flags = 0;

    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

/// Flag of a palette entry that asks the display to keep its exact colour.
/// Every entry read from a palette file carries it.
inline constexpr std::uint8_t PaletteNoCollapse = 4;

using TPalette = std::array<TPaletteEntry, 256>;

/// The default palette of a bitmap: 256 grey levels, entry i = (i, i, i),
/// no flags.
TPalette GreyscalePalette();

/// Thrown when a bitmap of the asked size cannot be held.
class TBitmapError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// A small in-memory image in the manner of a device-independent bitmap.
///
/// Rows run from the top (row 0: the first row of a raster file, north) to
/// the bottom. Each row takes Stride() bytes: the pixel bytes rounded up to a
/// multiple of 4, so the padding bytes at the end of a row are part of the
/// storage and always hold 0. Pixels keep the byte layout of their format
/// (see TPixelFormat); 24-bit pixels are blue, green, red in this order.
///
/// Every pixel is 0 after SetSize() and SetPixelFormat(): a reader that fills
/// only part of the rows never leaves stale or undefined bytes behind.
///
/// The palette is independent of size and format. It starts as
/// GreyscalePalette() and only SetPalette() changes it. Texture code uses it
/// for 8-bit bitmaps.
///
/// A bitmap is movable but not copyable: copies of texture-sized images are
/// never wanted by accident.
class TBitmap
{
public:
    TBitmap();
    TBitmap(TBitmap&&) noexcept = default;
    TBitmap& operator=(TBitmap&&) noexcept = default;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    TPixelFormat PixelFormat() const { return m_format; }
    int BytesPerPixel() const { return skyglide::BytesPerPixel(m_format); }
    /// Bytes of one row in memory, a multiple of 4.
    std::size_t Stride() const { return m_stride; }
    /// Bytes of all rows: Stride() × Height().
    std::size_t SizeBytes() const { return m_stride * static_cast<std::size_t>(m_height); }
    bool Empty() const { return m_width == 0 || m_height == 0; }

    /// Changes the pixel format; the size stays and every pixel becomes 0.
    void SetPixelFormat(TPixelFormat format);

    /// Changes the size; every pixel becomes 0. The old pixels are released
    /// before the new ones are taken, so the peak is never both at once.
    /// Throws TBitmapError for a negative size or one that cannot be held.
    void SetSize(int width, int height);
    /// SetPixelFormat() and SetSize() in one step, with one allocation.
    void SetSize(int width, int height, TPixelFormat format);

    /// The bytes of row `row` (0 = top). Throws std::out_of_range outside
    /// 0 … Height() − 1.
    std::uint8_t* ScanLine(int row);
    const std::uint8_t* ScanLine(int row) const;

    const TPalette& Palette() const { return m_palette; }
    void SetPalette(const TPalette& palette) { m_palette = palette; }

    /// The largest number of pixel bytes SetSize() accepts (4 GiB).
    static constexpr std::size_t MaxBytes = std::size_t{1} << 32;

private:
    struct FreeDeleter
    {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };

    void allocate();

    int m_width = 0;
    int m_height = 0;
    TPixelFormat m_format = TPixelFormat::pf24bit;
    std::size_t m_stride = 0;
    std::unique_ptr<std::uint8_t[], FreeDeleter> m_bits;
    TPalette m_palette;
};

} // namespace skyglide
