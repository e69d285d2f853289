// The palette reader on any bytes, with and without stretch, then the texture
// of a small integer raster through that palette: a palette the reader
// refuses leaves the bitmap's palette as it was, and one it accepts, whatever
// colour counts its header gives, makes a texture of the raster's size.

#include "FuzzSupport.h"

#include "data/RasterFile.h"

using namespace skyglide;
using skyglide::fuzz::Check;

namespace {

// A 4 x 4 integer raster whose cells run across the whole 16-bit range, so
// that every colour count meets cells below, inside and above the limits.
std::string integerRaster()
{
    std::string doc;
    const char* lines[][2] = {
        {"file format ", "Kartova Raster A.1"}, {"file title  ", "palette check"},
        {"data type   ", "integer"},            {"file type   ", "binary"},
        {"columns     ", "4"},                  {"rows        ", "4"},
        {"ref. system ", "plane"},              {"ref. units  ", "m"},
        {"unit dist.  ", "1"},                  {"min. X      ", "0"},
        {"max. X      ", "4"},                  {"min. Y      ", "0"},
        {"max. Y      ", "4"},                  {"pos'n error ", "unknown"},
        {"resolution  ", "1"},                  {"min. value  ", "-32768"},
        {"max. value  ", "32767"},              {"display min ", "-1000"},
        {"display max ", "1000"},               {"value units ", "m"},
        {"value error ", "unknown"},            {"flag value  ", "none"},
        {"flag def'n  ", "none"},               {"legend cats ", "0"}};
    for (const auto& [label, value] : lines) {
        doc += std::string(label) + ": " + value + "\r\n";
    }
    fuzz::TFuzzFolder::Write("check.rdc", doc);
    std::string cells;
    for (int i = 0; i < 16; ++i) {
        const auto value = static_cast<std::uint16_t>(-32768 + i * 4369);
        cells += static_cast<char>(value & 0xFF);
        cells += static_cast<char>(value >> 8);
    }
    return fuzz::TFuzzFolder::Write("check.rst", cells);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string raster = integerRaster();
    const std::string palette = fuzz::TFuzzFolder::Write("palette.smp", fuzz::AsText(data, size));

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
