// The palette reader on any bytes, with and without stretch, then the texture
// of a small byte raster through that palette: a palette the reader
// refuses leaves the bitmap's palette as it was, and one it accepts, whatever
// colour counts its header gives, makes a texture of the raster's size.

#include "FuzzSupport.h"

#include "data/RasterFile.h"

using namespace skyglide;
using skyglide::fuzz::Check;

namespace {

// A 4 x 4 byte raster whose cells run across the whole byte range, so that
// every colour count meets cells below, inside and above the display limits.
std::string byteRaster()
{
    // The fixed lines are known by their position, so their labels stay blank.
    // clang-format off
    const char* values[] = {"Kartova Raster A.1", "palette check", "byte", "binary", "4", "4",
                            "plane", "m", "1", "0", "4", "0", "4", "unknown", "1", "0", "255",
                            "20", "200", "m", "unknown", "none", "none", "0"};
    // clang-format on
    std::string doc;
    for (const char* value : values) {
        doc += std::string(TImgDoc::LabelWidth, ' ') + value + "\r\n";
    }
    fuzz::WriteInputFile("check.rdc", doc);
    std::string cells;
    for (int i = 0; i < 16; ++i) {
        cells += static_cast<char>(i * 17);
    }
    return fuzz::WriteInputFile("check.rst", cells);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string raster = byteRaster();
    const std::string palette = fuzz::WriteInputFile("palette.smp", fuzz::AsText(data, size));

    for (const bool stretch : {false, true}) {
        TRasterFile file;
        TPalette before = GreyscalePalette();
        before[0] = {1, 2, 3, 0};
        file.Bitmap().SetPalette(before);
        try {
            file.ReadPalette(palette, stretch);
            for (const TPaletteEntry& entry : file.Bitmap().Palette()) {
                Check(entry.Flags == PaletteNoCollapse, "every colour read keeps its exact colour");
            }
        } catch (const TRasterError&) {
            Check(file.Bitmap().Palette() == before, "a refused palette leaves the old one");
            continue;
        }

        file.SetPalletFile(palette);
        file.LoadImage(raster, stretch, 0);
        Check(file.Valid() && file.Bitmap().Width() == 4 && file.Bitmap().Height() == 4 &&
                  file.Bitmap().PixelFormat() == TPixelFormat::pf8bit,
              "a texture of the raster's size through any accepted palette");
        file.CloseStream();
    }
    return 0;
}
