#include "data/Bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace skyglide {
namespace {

TEST(BitmapTest, RowsPaddedToFourBytes)
{
    struct
    {
        TPixelFormat Format;
        int Width;
        std::size_t Stride;
    } cases[] = {
        {TPixelFormat::pf8bit, 1, 4},   {TPixelFormat::pf8bit, 4, 4},
        {TPixelFormat::pf8bit, 5, 8},   {TPixelFormat::pf16bit, 3, 8},
        {TPixelFormat::pf24bit, 3, 12}, {TPixelFormat::pf24bit, 5, 16},
        {TPixelFormat::pf32bit, 3, 12}, {TPixelFormat::pf24bit, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.Format)) + " bits x " +
                     std::to_string(c.Width));
        TBitmap bitmap;
        bitmap.SetSize(c.Width, 2, c.Format);
        EXPECT_EQ(bitmap.Stride(), c.Stride);
        EXPECT_EQ(bitmap.SizeBytes(), 2 * c.Stride);
        if (c.Width > 0) {
            EXPECT_EQ(bitmap.ScanLine(1) - bitmap.ScanLine(0), static_cast<std::ptrdiff_t>(c.Stride));
        }
    }
}

TEST(BitmapTest, ResizeAndFormatChangeZeroEveryByte)
{
    TBitmap bitmap;
    bitmap.SetSize(3, 3, TPixelFormat::pf8bit);
    std::fill_n(bitmap.ScanLine(0), bitmap.SizeBytes(), std::uint8_t{0xAB});
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(bitmap.Width(), 3);
    const std::uint8_t* bits = bitmap.ScanLine(0);
    EXPECT_TRUE(std::all_of(bits, bits + bitmap.SizeBytes(), [](auto b) { return b == 0; }));
    std::fill_n(bitmap.ScanLine(0), bitmap.SizeBytes(), std::uint8_t{0xCD});
    bitmap.SetSize(3, 3);
    bits = bitmap.ScanLine(0);
    EXPECT_TRUE(std::all_of(bits, bits + bitmap.SizeBytes(), [](auto b) { return b == 0; }));
}

TEST(BitmapTest, BadSizesAndRowsAreRefused)
{
    TBitmap bitmap;
    bitmap.SetSize(2, 2, TPixelFormat::pf8bit);
    EXPECT_THROW(bitmap.ScanLine(-1), std::out_of_range);
    EXPECT_THROW(bitmap.ScanLine(2), std::out_of_range);
    EXPECT_THROW(bitmap.SetSize(-1, 2), TBitmapError);
    EXPECT_THROW(bitmap.SetSize(2147483647, 2147483647, TPixelFormat::pf32bit), TBitmapError);
    EXPECT_TRUE(bitmap.Empty());
    bitmap.SetSize(0, 5);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_THROW(bitmap.ScanLine(0), std::out_of_range);
}

TEST(BitmapTest, PaletteOutlivesSizeAndFormat)
{
    TBitmap bitmap;
    EXPECT_EQ(bitmap.Palette()[200], (TPaletteEntry{200, 200, 200, 0}));
    TPalette palette{};
    palette[1] = {1, 2, 3, PaletteNoCollapse};
    bitmap.SetPalette(palette);
    bitmap.SetSize(4, 4, TPixelFormat::pf8bit);
    bitmap.SetPixelFormat(TPixelFormat::pf16bit);
    EXPECT_EQ(bitmap.Palette(), palette);
}

} // namespace
} // namespace skyglide
