// The surface and the texture load of a raster whose documentation and image
// both come from the input, with an optional palette, decimation step and
// stretch. The loads either refuse the pair with TRasterError or fill a
// bitmap of the documented size decimated by the step; anything else that
// escapes them is a finding.
//
// Input: 9 option bytes, the documentation text up to the first NUL byte,
// then the image bytes.
//   byte 0     decimation step (0 is taken as 1 by the raster)
//   byte 1     bit 0: stretch; bit 1: pad the image with zeros to the
//              documented size; bit 2: name a palette file
//   byte 2     minimum value range of the stretch
//   bytes 3-8  the palette's highest index, first and last stretch index
//              (16 bits each)

#include "FuzzSupport.h"

#include "data/RasterFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace skyglide;
using skyglide::fuzz::Check;

namespace {

// Padding lets a few input bytes document a grid that the loads really read;
// the cap keeps one execution small. The readers themselves are not capped.
constexpr std::uint64_t MaxPaddedImageBytes = std::uint64_t{1} << 20;

std::string paletteFile(std::uint32_t highest, std::uint32_t first, std::uint32_t last)
{
    std::string bytes(18 + 768, '\0');
    bytes[11] = 18; // the colour table follows the header
    const std::uint32_t fields[] = {highest, first, last};
    for (int i = 0; i < 3; ++i) {
        bytes[static_cast<std::size_t>(12 + 2 * i)] = static_cast<char>(fields[i] & 0xFF);
        bytes[static_cast<std::size_t>(13 + 2 * i)] = static_cast<char>(fields[i] >> 8);
    }
    for (std::size_t i = 0; i < 768; ++i) {
        bytes[18 + i] = static_cast<char>(i * 7);
    }
    return bytes;
}

// Progress runs from 0 upwards, below 1, one call per bitmap row.
struct TProgressCheck
{
    float Last = -1.0F;
    void operator()(float fraction)
    {
        Check(fraction >= 0.0F && fraction < 1.0F, "progress between 0 and 1");
        Check(fraction > Last, "progress that grows");
        Last = fraction;
    }
};

void checkSize(const TRasterFile& raster, const TImgDoc& doc, int step)
{
    const TBitmap& bitmap = raster.Bitmap();
    Check(bitmap.Width() == doc.Columns / step && bitmap.Height() == doc.Rows / step,
          "a bitmap of the documented size decimated by the step");
}

// File cell (c × step, r × step) read straight from the image bytes: the
// integer, the single, or the first byte of the cell.
double fileCell(std::string_view image, const TImgDoc& doc, int step, int c, int r)
{
    const std::size_t cell = static_cast<std::size_t>(r) * static_cast<std::size_t>(step) *
                                 static_cast<std::size_t>(doc.Columns) +
                             static_cast<std::size_t>(c) * static_cast<std::size_t>(step);
    const auto* p = reinterpret_cast<const unsigned char*>(image.data()) +
                    cell * static_cast<std::size_t>(CellBytes(doc.DataType));
    switch (doc.DataType) {
    case dtInteger:
        return static_cast<std::int16_t>(p[0] | p[1] << 8);
    case dtReal: {
        const std::uint32_t bits =
            p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
        float value = 0.0F;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    default:
        return p[0];
    }
}

// Every way a load refuses a raster leaves the bitmap as it was.
struct TBitmapShape
{
    int Width;
    int Height;
    TPixelFormat Format;
    explicit TBitmapShape(const TBitmap& bitmap)
        : Width(bitmap.Width()), Height(bitmap.Height()), Format(bitmap.PixelFormat())
    {
    }
    bool operator==(const TBitmapShape&) const = default;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input = fuzz::AsText(data, size);
    const auto step = static_cast<std::uint16_t>(fuzz::TakeNumber(input, 1));
    const std::uint32_t flags = fuzz::TakeNumber(input, 1);
    const auto minRange = static_cast<std::uint8_t>(fuzz::TakeNumber(input, 1));
    const std::uint32_t highest = fuzz::TakeNumber(input, 2);
    const std::uint32_t first = fuzz::TakeNumber(input, 2);
    const std::uint32_t last = fuzz::TakeNumber(input, 2);
    const bool stretch = (flags & 1) != 0;
    const bool pad = (flags & 2) != 0;
    const bool withPalette = (flags & 4) != 0;

    const std::size_t end = std::min(input.find('\0'), input.size());
    const std::string docName = fuzz::WriteInputFile("raster.rdc", input.substr(0, end));
    std::string image(input.substr(std::min(end + 1, input.size())));

    TImgDoc doc;
    const bool docRead = doc.ReadDoc(docName) == TImgDoc::StatusOk;
    if (docRead && pad) {
        const std::uint64_t documented = static_cast<std::uint64_t>(doc.Columns) *
                                         static_cast<std::uint64_t>(doc.Rows) *
                                         static_cast<std::uint64_t>(CellBytes(doc.DataType));
        if (documented <= MaxPaddedImageBytes && documented > image.size()) {
            image.resize(documented, '\0');
        }
    }
    const std::string imageName = fuzz::WriteInputFile("raster.rst", image);

    TRasterFile raster;
    raster.SetStep(step);
    const int effectiveStep = raster.Step();
    Check(effectiveStep >= 1, "a step of at least 1");
    TProgressCheck progress;
    raster.OnProgress = [&progress](float fraction) { progress(fraction); };

    TBitmapShape before(raster.Bitmap());
    try {
        raster.LoadSurface(imageName);
        Check(raster.Valid() == docRead, "a raster is valid when its documentation reads");
        if (raster.Valid()) {
            checkSize(raster, doc, effectiveStep);
            const int w = raster.Bitmap().Width();
            const int h = raster.Bitmap().Height();
            for (const auto& [c, r] : {std::pair{0, 0}, {w - 1, h - 1}, {w / 2, h / 2}}) {
                double value = 0.0;
                if (c >= 0 && r >= 0 && c < w && r < h) {
                    raster.GetValue(c, r, value);
                    const double expected = fileCell(image, doc, effectiveStep, c, r);
                    Check(value == expected || (std::isnan(value) && std::isnan(expected)),
                          "a surface value is its file cell");
                }
            }
            const double last = raster.LastValue();
            double outside = 12345.0;
            for (const auto& [c, r] : {std::pair{-1, 0}, {0, -1}, {w, 0}, {0, h}}) {
                raster.GetValue(c, r, outside);
            }
            Check(outside == 12345.0 && (raster.LastValue() == last || std::isnan(last)),
                  "a value outside the grid changes nothing");
        }
    } catch (const TRasterError&) {
        Check(TBitmapShape(raster.Bitmap()) == before, "a refused surface leaves the bitmap");
    }

    progress = {};
    if (withPalette) {
        raster.SetPalletFile(fuzz::WriteInputFile("raster.smp", paletteFile(highest, first, last)));
    }
    before = TBitmapShape(raster.Bitmap());
    try {
        raster.LoadImage(imageName, stretch, minRange);
        if (raster.Valid()) {
            checkSize(raster, doc, effectiveStep);
            Check(raster.Bitmap().PixelFormat() ==
                      (doc.DataType == dtRgb24 ? TPixelFormat::pf24bit : TPixelFormat::pf8bit),
                  "a texture of 24 bits for rgb24 cells, of 8 bits for any other");
        }
    } catch (const TRasterError&) {
        Check(TBitmapShape(raster.Bitmap()) == before, "a refused texture leaves the bitmap");
    }
    raster.CloseStream();
    return 0;
}
