// The drape picture on its way to a texture, without a GL context: the RGBA
// image it becomes and the texture size it is scaled to.

#include "data/Bitmap.h"
#include "render/Bitmap32.h"
#include "render/Material.h"
#include "render/TextureUpload.h"

#include "TestSupport.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

using namespace skyglide;
using namespace skyglide::test;

namespace {

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
    EXPECT_EQ(PixelAt(image, 3, 2), (TColour{200, 10, 20, 255})) << "north row is the last";
    EXPECT_EQ(PixelAt(image, 0, 0), (TColour{5, 150, 250, 255})) << "south row is the first";

    TBitmap trueColour;
    trueColour.SetSize(4, 2, TPixelFormat::pf24bit);
    trueColour.ScanLine(0)[0] = 1; // blue, green, red of the north-west pixel
    trueColour.ScanLine(0)[1] = 2;
    trueColour.ScanLine(0)[2] = 3;
    EXPECT_EQ(PixelAt(PictureToBitmap32(trueColour), 0, 1), (TColour{3, 2, 1, 255}));
}

// Columns numbered by their palette index show the stretch: every source
// column appears, in order, and the row is filled to its end.
TEST(TextureImage, WidthsNotAMultipleOfFourAreStretchedOverTheNextMultiple)
{
    for (const auto& [width, stretched] :
         {std::pair{1, 4}, {1001, 1004}, {2401, 2404}, {1024, 1024}}) {
        SCOPED_TRACE(width);
        EXPECT_EQ(PictureBitmap32Width(width), stretched);
        TBitmap picture;
        picture.SetSize(width, 1, TPixelFormat::pf8bit);
        for (int x = 0; x < width; ++x)
            picture.ScanLine(0)[x] = std::uint8_t(x % 256);
        const TBitmap32 image = PictureToBitmap32(picture);
        ASSERT_EQ(image.Width(), stretched);
        int previous = -1, seen = 0;
        for (int x = 0; x < image.Width(); ++x) {
            const int value = PixelAt(image, x, 0).R;
            if (value != previous) {
                EXPECT_EQ(value, (previous + 1) % 256) << "column " << x;
                ++seen;
            }
            previous = value;
        }
        EXPECT_EQ(seen, width);
    }
}

TEST(TextureImage, SampleBitmapsAreNotPicturesAndAreRefusedWithTheirDepth)
{
    TBitmap samples;
    samples.SetSize(4, 4, TPixelFormat::pf16bit);
    EXPECT_THROW(PictureToBitmap32(samples), std::invalid_argument);

    TTexture texture(nullptr);
    TBitmap keep;
    keep.SetSize(8, 8, TPixelFormat::pf8bit);
    texture.SetImage(std::move(keep));
    EXPECT_EQ(ErrorOf([&] { texture.SetImage(std::move(samples)); }),
              "TTexture::SetImage(): expected an 8-bit palette or 24-bit picture but got 16 "
              "bits per pixel");
    EXPECT_EQ(samples.Width(), 4) << "a refused bitmap stays with the caller";
    ASSERT_TRUE(texture.Image());
    EXPECT_EQ(texture.Image()->Width(), 8) << "the old picture stays";
}

} // namespace
