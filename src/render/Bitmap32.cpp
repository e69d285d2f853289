#include "render/Bitmap32.h"

#include "data/Bitmap.h"

#include <array>
#include <stdexcept>
#include <string>

namespace skyglide {

TBitmap32::TBitmap32(int width, int height)
{
    SetSize(width, height);
}

void TBitmap32::SetSize(int width, int height)
{
    if (width < 0 || height < 0)
        throw TBitmapError("TBitmap32::SetSize(): expected a size of at least 0 x 0 but got " +
                           std::to_string(width) + " x " + std::to_string(height));
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    if (bytes > TBitmap::MaxBytes)
        throw TBitmapError("TBitmap32::SetSize(): " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels take more than 4 GiB");
    m_pixels.assign(bytes, 0);
    m_width = width;
    m_height = height;
}

void TBitmap32::Clear()
{
    m_pixels = {};
    m_width = 0;
    m_height = 0;
}

int PictureBitmap32Width(int width)
{
    return width % 4 == 0 ? width : (width & ~3) + 4;
}

TBitmap32 PictureToBitmap32(const TBitmap& picture)
{
    const TPixelFormat format = picture.PixelFormat();
    if (format != TPixelFormat::pf8bit && format != TPixelFormat::pf24bit)
        throw std::invalid_argument(
            "PictureToBitmap32(): expected an 8-bit palette or 24-bit picture but got " +
            std::to_string(int(format)) + " bits per pixel");
    TBitmap32 image;
    if (picture.Empty())
        return image;

    const int sourceWidth = picture.Width();
    const int height = picture.Height();
    const int width = PictureBitmap32Width(sourceWidth);
    image.SetSize(width, height);

    // Source column of every destination column: the identity, or the
    // nearest-neighbour stretch over the wider row.
    std::vector<int> column(std::size_t(width), 0);
    for (int x = 0; x < width; ++x)
        column[std::size_t(x)] =
            int((2 * std::int64_t(x) + 1) * sourceWidth / (2 * std::int64_t(width)));

    std::array<std::array<std::uint8_t, 4>, 256> palette{};
    if (format == TPixelFormat::pf8bit) {
        for (std::size_t i = 0; i < palette.size(); ++i) {
            const TPaletteEntry& entry = picture.Palette()[i];
            palette[i] = {entry.Red, entry.Green, entry.Blue, 255};
        }
    }

    for (int row = 0; row < height; ++row) {
        const std::uint8_t* source = picture.ScanLine(row);
        std::uint8_t* target = image.ScanLine(height - 1 - row);
        if (format == TPixelFormat::pf8bit) {
            for (int x = 0; x < width; ++x) {
                const auto& rgba = palette[source[column[std::size_t(x)]]];
                target[0] = rgba[0];
                target[1] = rgba[1];
                target[2] = rgba[2];
                target[3] = rgba[3];
                target += 4;
            }
        } else {
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* bgr = source + 3 * column[std::size_t(x)];
                target[0] = bgr[2];
                target[1] = bgr[1];
                target[2] = bgr[0];
                target[3] = 255;
                target += 4;
            }
        }
    }
    return image;
}

} // namespace skyglide
