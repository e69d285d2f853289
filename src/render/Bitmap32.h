#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skyglide {

class TBitmap;

/// A plain RGBA image in memory: Width × Height pixels of four bytes (red,
/// green, blue, alpha), rows from the bottom of the picture to its top (the
/// order in which OpenGL reads a framebuffer back and takes a texture: row 0
/// is the texture's T = 0 edge), no padding between rows.
///
/// Snapshots of the viewer and the texture conversion both produce it.
/// Movable, not copyable: copies of frame-sized images are never wanted by
/// accident.
class TBitmap32
{
public:
    TBitmap32() = default;
    /// Width × Height pixels, every byte 0. Throws TBitmapError for a
    /// negative size or one above TBitmap::MaxBytes.
    TBitmap32(int width, int height);
    TBitmap32(TBitmap32&&) noexcept = default;
    TBitmap32& operator=(TBitmap32&&) noexcept = default;
    TBitmap32(const TBitmap32&) = delete;
    TBitmap32& operator=(const TBitmap32&) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Empty() const { return m_width == 0 || m_height == 0; }
    /// Width × Height × 4.
    std::size_t DataSize() const { return m_pixels.size(); }
    std::uint8_t* Data() { return m_pixels.data(); }
    const std::uint8_t* Data() const { return m_pixels.data(); }
    /// Row `row` counted from the bottom (0) of the picture.
    std::uint8_t* ScanLine(int row) { return m_pixels.data() + rowOffset(row); }
    const std::uint8_t* ScanLine(int row) const { return m_pixels.data() + rowOffset(row); }
    /// The pixel bytes, to hand them to another holder without a copy
    /// (std::swap with a std::vector<std::uint8_t>).
    std::vector<std::uint8_t>& Pixels() { return m_pixels; }

    /// Changes the size; every byte becomes 0. Storage is reused when it is
    /// large enough. Throws like the constructor.
    void SetSize(int width, int height);
    /// The image without pixels (0 × 0), its storage released.
    void Clear();

private:
    std::size_t rowOffset(int row) const { return std::size_t(row) * std::size_t(m_width) * 4; }

    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint8_t> m_pixels;
};

/// The RGBA image of a picture, as the texture uploads it.
///
/// An 8-bit bitmap goes through its palette, a 24-bit one has its blue,
/// green, red bytes turned into red, green, blue; alpha is 255. The first
/// (north) row of the picture becomes the last row of the result, the top of
/// the texture. A width that is not a multiple of 4 is first stretched over
/// the next multiple of 4 ((width with its two low bits cleared) + 4),
/// each column taken from the source column under its centre. An empty
/// picture gives an empty image. Throws std::invalid_argument for a bitmap
/// that is not a picture (16-bit or 32-bit samples).
TBitmap32 PictureToBitmap32(const TBitmap& picture);

/// The width the picture has in its RGBA image: itself when it is a multiple
/// of 4, else (width with its two low bits cleared) + 4.
int PictureBitmap32Width(int width);

} // namespace skyglide
