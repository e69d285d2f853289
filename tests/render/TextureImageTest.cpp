// The drape picture on its way to a texture, without a GL context: the RGBA
// image it becomes and the texture size it is scaled to.

#include "data/Bitmap.h"
#include "render/Bitmap32.h"
#include "render/Material.h"
#include "render/TextureUpload.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

using namespace skyglide;

namespace {

using RGBA = std::array<std::uint8_t, 4>;

RGBA pixel(const TBitmap32& image, int x, int row)
{
    const std::uint8_t* p = image.ScanLine(row) + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

TEST(TextureImage, ColoursAppearWithFullAlphaAndTheNorthRowOnTop)
{
    TBitmap picture;
    picture.SetSize(4, 3, TPixelFormat::pf8bit);
    TPalette palette = GreyscalePalette();
    palette[1] = {200, 10, 20, PaletteNoCollapse};
    palette[2] = {5, 150, 250, 0};
    picture.SetPalette(palette);
    picture.ScanLine(0)[3] = 1; // north-east corner
    picture.ScanLine(2)[0] = 2; // south-west corner

    const TBitmap32 image = PictureToBitmap32(picture);
    ASSERT_EQ(image.Width(), 4);
    ASSERT_EQ(image.Height(), 3);
    EXPECT_EQ(pixel(image, 3, 2), (RGBA{200, 10, 20, 255})) << "north row is the last";
    EXPECT_EQ(pixel(image, 0, 0), (RGBA{5, 150, 250, 255})) << "south row is the first";
    EXPECT_EQ(pixel(image, 1, 1), (RGBA{0, 0, 0, 255}));

    TBitmap trueColour;
    trueColour.SetSize(4, 2, TPixelFormat::pf24bit);
    trueColour.ScanLine(0)[0] = 1; // blue, green, red of the north-west pixel
    trueColour.ScanLine(0)[1] = 2;
    trueColour.ScanLine(0)[2] = 3;
    EXPECT_EQ(pixel(PictureToBitmap32(trueColour), 0, 1), (RGBA{3, 2, 1, 255}));
}

struct StretchCase
{
    std::string name;
    int width;
    int stretchedWidth;
};

class WidthsNotAMultipleOfFour : public testing::TestWithParam<StretchCase>
{
};

TEST_P(WidthsNotAMultipleOfFour, AreStretchedOverTheNextMultipleOfFour)
{
    const StretchCase& c = GetParam();
    EXPECT_EQ(PictureBitmap32Width(c.width), c.stretchedWidth);

    // Columns numbered by their palette index show the stretch: every source
    // column appears, in order, and the row is filled to its end.
    TBitmap picture;
    picture.SetSize(c.width, 1, TPixelFormat::pf8bit);
    for (int x = 0; x < c.width; ++x)
        picture.ScanLine(0)[x] = std::uint8_t(x % 256);
    const TBitmap32 image = PictureToBitmap32(picture);
    ASSERT_EQ(image.Width(), c.stretchedWidth);
    int previous = -1;
    int seen = 0;
    for (int x = 0; x < image.Width(); ++x) {
        const int value = pixel(image, x, 0)[0];
        if (value != previous) {
            EXPECT_EQ(value, (previous + 1) % 256) << "column " << x;
            ++seen;
        }
        previous = value;
    }
    EXPECT_EQ(seen, c.width);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texture, WidthsNotAMultipleOfFour, testing::Values(
    StretchCase{"OneColumn", 1, 4},
    StretchCase{"Odd1001", 1001, 1004},
    StretchCase{"ThreeShort", 2401, 2404},
    StretchCase{"MultipleStaysAsItIs", 1024, 1024}),
    [](const auto& info) { return info.param.name; });
// clang-format on

TEST(TextureImage, SampleBitmapsAreNotPicturesAndAreRefusedWithTheirDepth)
{
    TBitmap samples;
    samples.SetSize(4, 4, TPixelFormat::pf16bit);
    EXPECT_THROW(PictureToBitmap32(samples), std::invalid_argument);

    TTexture texture(nullptr);
    TBitmap keep;
    keep.SetSize(8, 8, TPixelFormat::pf8bit);
    texture.SetImage(std::move(keep));
    try {
        texture.SetImage(std::move(samples));
        FAIL() << "a 16-bit sample bitmap was taken as a picture";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "TTexture::SetImage(): expected an 8-bit palette or 24-bit "
                               "picture but got 16 bits per pixel");
    }
    EXPECT_EQ(samples.Width(), 4) << "a refused bitmap stays with the caller";
    ASSERT_TRUE(texture.Image());
    EXPECT_EQ(texture.Image()->Width(), 8) << "the old picture stays";
}

struct SizeCase
{
    std::string name;
    int size;
    int maxSize;
    int target;
};

class TextureSides : public testing::TestWithParam<SizeCase>
{
};

TEST_P(TextureSides, GrowToAPowerOfTwoWithinTheContextsLimit)
{
    EXPECT_EQ(TextureTargetSize(GetParam().size, GetParam().maxSize), GetParam().target);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texture, TextureSides, testing::Values(
    SizeCase{"Empty", 0, 4096, 1},
    SizeCase{"One", 1, 4096, 1},
    SizeCase{"Three", 3, 4096, 4},
    SizeCase{"ThousandWide", 1000, 4096, 1024},
    SizeCase{"FiveHundredHigh", 500, 4096, 512},
    SizeCase{"PowerOfTwoKept", 1024, 4096, 1024},
    SizeCase{"StretchedOdd", 1004, 4096, 1024},
    SizeCase{"TrinidadWidth", 2404, 4096, 4096},
    SizeCase{"AboveTheLimit", 5000, 4096, 4096},
    SizeCase{"SmallLimit", 3000, 2048, 2048}),
    [](const auto& info) { return info.param.name; });
// clang-format on

} // namespace
