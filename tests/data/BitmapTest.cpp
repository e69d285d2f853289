#include "data/Bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace skyglide {
namespace {

// Rows are padded to 4 bytes, and a resized bitmap never shows old pixels.
TEST(BitmapTest, RowsPaddedToFourBytesAndZeroed)
{
    const std::vector<std::tuple<TPixelFormat, int, std::size_t>> cases = {
        {TPixelFormat::pf8bit, 1, 4},   {TPixelFormat::pf8bit, 5, 8},
        {TPixelFormat::pf16bit, 3, 8},  {TPixelFormat::pf24bit, 5, 16},
        {TPixelFormat::pf32bit, 3, 12}, {TPixelFormat::pf24bit, 0, 0}};
    TBitmap bitmap;
    for (const auto& [format, width, stride] : cases) {
        if (!bitmap.Empty())
            std::fill_n(bitmap.ScanLine(0), bitmap.SizeBytes(), std::uint8_t{0xAB});
        bitmap.SetSize(width, 2, format);
        EXPECT_EQ(bitmap.Stride(), stride) << width;
        if (width > 0) {
            EXPECT_EQ(bitmap.ScanLine(1) - bitmap.ScanLine(0), static_cast<std::ptrdiff_t>(stride));
            EXPECT_EQ(std::count(bitmap.ScanLine(0), bitmap.ScanLine(0) + bitmap.SizeBytes(), 0),
                      static_cast<std::ptrdiff_t>(bitmap.SizeBytes()));
        }
    }
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
}

} // namespace
} // namespace skyglide
