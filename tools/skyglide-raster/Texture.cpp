// The texture command: the bitmap the viewer would drape over the surface,
// written as an RGB PNG.
#include "Commands.h"
#include "Inspect.h"

#include "data/RasterFile.h"

#include <QImage>
#include <QImageWriter>
#include <QString>

#include <cstring>

namespace skyglide::rastertool {

namespace {

/// The viewer loads its drape with stretching on and a minimum value range
/// of 16; the preview must show the same picture.
constexpr bool ViewerStretch = true;
constexpr std::uint8_t ViewerMinRange = 16;

QImage toImage(const TBitmap& bitmap)
{
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB888);
    if (image.isNull()) {
        throw TCommandError("texture of " + std::to_string(bitmap.Width()) + " x " +
                            std::to_string(bitmap.Height()) + " pixels is too large for a PNG");
    }
    const TPalette& palette = bitmap.Palette();
    for (int r = 0; r < bitmap.Height(); ++r) {
        const std::uint8_t* in = bitmap.ScanLine(r);
        uchar* out = image.scanLine(r);
        for (int c = 0; c < bitmap.Width(); ++c, out += 3) {
            if (bitmap.PixelFormat() == TPixelFormat::pf8bit) {
                const TPaletteEntry& entry = palette[in[c]];
                out[0] = entry.Red;
                out[1] = entry.Green;
                out[2] = entry.Blue;
            } else {
                const std::uint8_t* bgr = in + 3 * c;
                out[0] = bgr[2];
                out[1] = bgr[1];
                out[2] = bgr[0];
            }
        }
    }
    return image;
}

} // namespace

int runTexture(const TArgs& args)
{
    const TOptions options = TOptions::parse(args, {"palette", "step", "out"});
    const std::string file = options.operand("raster file");
    const std::string out = options.require("out");
    const unsigned step = parseStep(options);
    TRasterFile raster;
    openValidRaster(raster, file);
    raster.SetPalletFile(options.get("palette"));
    raster.SetStep(static_cast<std::uint16_t>(step));
    raster.LoadImage({}, ViewerStretch, ViewerMinRange);
    raster.CloseStream();

    const TBitmap& bitmap = raster.Bitmap();
    if (bitmap.Empty()) {
        throw TCommandError(file + ": no texture to write, the grid of " +
                            std::to_string(raster.Doc().Columns) + " x " +
                            std::to_string(raster.Doc().Rows) + " cells at step " +
                            std::to_string(step) + " is empty");
    }
    if (bitmap.PixelFormat() != TPixelFormat::pf8bit &&
        bitmap.PixelFormat() != TPixelFormat::pf24bit) {
        throw TCommandError(file + ": texture has an unexpected pixel format");
    }
    const QImage image = toImage(bitmap);
    QImageWriter writer(QString::fromStdString(out), "png");
    if (!writer.write(image)) {
        throw TCommandError(out + ": cannot write PNG: " + writer.errorString().toStdString());
    }
    return 0;
}

} // namespace skyglide::rastertool
