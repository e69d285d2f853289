#include "data/RasterFile.h"

#include "DataTestFiles.h"

#include <cmath>
#include <limits>

namespace skyglide {
namespace {

using testing::byteCells;
using testing::docText;
using testing::docValues;
using testing::floatCells;
using testing::int16Cells;
using testing::paletteBytes;
using testing::testFolder;
using testing::writeBytes;

/// Writes NAME.rst with `cells` and NAME.rdc from `values`; returns the
/// image file's name.
std::string writeRaster(const std::filesystem::path& folder, const std::vector<std::string>& values,
                        const std::string& cells, const std::string& name = "grid")
{
    writeBytes(folder / (name + ".rdc"), docText(values));
    writeBytes(folder / (name + ".rst"), cells);
    return (folder / (name + ".rst")).string();
}

std::vector<std::string> docFor(const std::string& type, int columns, int rows,
                                const std::string& minValue, const std::string& maxValue,
                                const std::string& displayMin, const std::string& displayMax)
{
    auto values = docValues(type, columns, rows);
    values[15] = minValue;
    values[16] = maxValue;
    values[17] = displayMin;
    values[18] = displayMax;
    return values;
}

/// The 8-bit pixels of a bitmap, row by row, without the row padding.
std::vector<int> indices(const TBitmap& bitmap)
{
    std::vector<int> out;
    for (int r = 0; r < bitmap.Height(); ++r) {
        for (int c = 0; c < bitmap.Width(); ++c) {
            out.push_back(bitmap.ScanLine(r)[c]);
        }
    }
    return out;
}

TEST(RasterFileTest, CreatedEmpty)
{
    TRasterFile raster;
    EXPECT_FALSE(raster.Valid());
    EXPECT_EQ(raster.Step(), 1);
    EXPECT_EQ(raster.LastValue(), 0.0);
    EXPECT_TRUE(raster.Bitmap().Empty());
    EXPECT_FALSE(raster.OnProgress);
    EXPECT_FALSE(raster.StreamOpen());
}

struct TStepCase
{
    const char* Name;
    int Columns, Rows, MaxWidth, MaxHeight;
    int Step;
};

class CalcStepTest : public ::testing::TestWithParam<TStepCase>
{
};

TEST_P(CalcStepTest, FitsGridInBox)
{
    const TStepCase& c = GetParam();
    EXPECT_EQ(TRasterFile::CalcStep(c.Columns, c.Rows, c.MaxWidth, c.MaxHeight), c.Step);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CalcStepTest,
    ::testing::Values(TStepCase{"WideGridBelowTwice", 2000, 1000, 1024, 768, 1},
                      TStepCase{"WideGridTruncated", 4000, 1000, 1024, 768, 3},
                      TStepCase{"TallGridByRows", 1000, 4000, 1600, 1200, 3},
                      TStepCase{"SmallGrid", 100, 100, 1024, 768, 1},
                      TStepCase{"EqualAspectUsesColumns", 4096, 3072, 1024, 768, 4},
                      TStepCase{"BoxWiderUsesRows", 3000, 3000, 2800, 2400, 1},
                      TStepCase{"Trinidad", 2401, 1201, 1024, 768, 2},
                      TStepCase{"EmptyGrid", 0, 0, 1024, 768, 1},
                      TStepCase{"ZeroBox", 4000, 1000, 0, 0, 1},
                      TStepCase{"HugeGridCapped", 2147483647, 1, 1, 1, 65535}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(RasterFileTest, SetFileNameValidity)
{
    const auto folder = testFolder();
    const std::string good = writeRaster(folder, docValues(), int16Cells(std::vector<int>(12)));
    auto badValues = docValues();
    badValues[4] = "many";
    const std::string badDoc = writeRaster(folder, badValues, int16Cells(std::vector<int>(12)), "bad");
    writeBytes(folder / "nodoc.rst", "x");
    writeBytes(folder / "upper.RST", "x");
    writeBytes(folder / "image.bin", "x");
    std::filesystem::create_directories(folder / "dir.rst");
    std::filesystem::create_directories(folder / "a.b");
    writeBytes(folder / "a.b" / "plain", "x");

    struct
    {
        const char* Name;
        std::string File;
        bool Valid;
        std::optional<int> Status;
    } cases[] = {
        {"rst with good documentation", good, true, 0},
        {"rst with unreadable documentation", badDoc, false, TImgDoc::StatusReadError},
        {"rst without documentation", (folder / "nodoc.rst").string(), false, std::nullopt},
        {"upper-case extension needs none", (folder / "upper.RST").string(), true, std::nullopt},
        {"other extension needs none", (folder / "image.bin").string(), true, std::nullopt},
        {"dot only in the folder name", (folder / "a.b" / "plain").string(), true, std::nullopt},
        {"missing file", (folder / "missing.rst").string(), false, std::nullopt},
        {"folder named like an image", (folder / "dir.rst").string(), false, std::nullopt},
        {"empty name", "", false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TRasterFile raster;
        raster.SetFileName(good);
        raster.SetFileName(c.File);
        EXPECT_EQ(raster.Valid(), c.Valid);
        EXPECT_EQ(raster.DocStatus(), c.Status);
        EXPECT_EQ(raster.FileName(), c.File.empty() ? good : c.File);
    }
}

// Every cell type: the sample bitmap keeps the raw cells of every Step-th
// row and column, and GetValue reads them back.
struct TSurfaceCase
{
    const char* Name;
    const char* Type;
    std::string Cells; // 5 columns x 4 rows
    std::vector<double> Values;
    TPixelFormat Format;
};

class LoadSurfaceTest : public ::testing::TestWithParam<TSurfaceCase>
{
};

std::vector<int> sequence(int count, int first, int stride)
{
    std::vector<int> values;
    for (int i = 0; i < count; ++i) {
        values.push_back(first + i * stride);
    }
    return values;
}

TEST_P(LoadSurfaceTest, KeepsDecimatedCells)
{
    const TSurfaceCase& c = GetParam();
    const bool rgb = std::string(c.Type) == "rgb24";
    const std::string file = writeRaster(
        testFolder(), docFor(c.Type, 5, 4, rgb ? "0 0 0" : "0", rgb ? "9 9 9" : "9",
                             rgb ? "0 0 0" : "0", rgb ? "9 9 9" : "9"),
        c.Cells);
    for (const std::uint16_t step : {1, 2, 3}) {
        SCOPED_TRACE("step " + std::to_string(step));
        TRasterFile raster;
        raster.SetStep(step);
        raster.LoadSurface(file);
        ASSERT_TRUE(raster.Valid());
        const TBitmap& bitmap = raster.Bitmap();
        EXPECT_EQ(bitmap.PixelFormat(), c.Format);
        ASSERT_EQ(bitmap.Width(), 5 / step);
        ASSERT_EQ(bitmap.Height(), 4 / step);
        for (int r = 0; r < bitmap.Height(); ++r) {
            for (int col = 0; col < bitmap.Width(); ++col) {
                double value = -1.0;
                const double expected =
                    c.Values[static_cast<std::size_t>(r * step * 5 + col * step)];
                EXPECT_EQ(raster.GetValue(col, r, value), expected) << col << "," << r;
                EXPECT_EQ(value, expected);
                EXPECT_EQ(raster.LastValue(), expected);
            }
        }
        EXPECT_TRUE(raster.StreamOpen());
        raster.CloseStream();
        EXPECT_FALSE(raster.StreamOpen());
    }
}

std::vector<double> asDoubles(const std::vector<int>& values)
{
    return {values.begin(), values.end()};
}

std::vector<float> realValues()
{
    std::vector<float> values;
    for (int i = 0; i < 20; ++i) {
        values.push_back(static_cast<float>(i) * 0.5F - 3.25F);
    }
    return values;
}

std::vector<double> realDoubles()
{
    const auto values = realValues();
    return {values.begin(), values.end()};
}

std::string rgbCells()
{
    std::string cells;
    for (int i = 0; i < 20; ++i) {
        cells += static_cast<char>(i * 10); // blue
        cells += static_cast<char>(1);
        cells += static_cast<char>(2);
    }
    return cells;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadSurfaceTest,
    ::testing::Values(
        TSurfaceCase{"Integer", "integer", int16Cells(sequence(20, -32768, 3449)),
                     asDoubles(sequence(20, -32768, 3449)), TPixelFormat::pf16bit},
        TSurfaceCase{"Real", "real", floatCells(realValues()),
                     realDoubles(),
                     TPixelFormat::pf32bit},
        TSurfaceCase{"Byte", "byte", byteCells(sequence(20, 0, 13)),
                     asDoubles(sequence(20, 0, 13)), TPixelFormat::pf8bit},
        TSurfaceCase{"Rgb8", "rgb8", byteCells(sequence(20, 255, -12)),
                     asDoubles(sequence(20, 255, -12)), TPixelFormat::pf8bit},
        TSurfaceCase{"Rgb24ReadsBlue", "rgb24", rgbCells(), asDoubles(sequence(20, 0, 10)),
                     TPixelFormat::pf24bit}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(RasterFileTest, LoadSurfaceSetsValueRangeAndKeepsRgbBytes)
{
    const std::string file = writeRaster(
        testFolder(), docFor("rgb24", 5, 4, "0 0 0", "200 100 50", "0 0 0", "255 255 255"),
        rgbCells());
    TRasterFile raster;
    raster.LoadSurface(file);
    EXPECT_EQ(raster.ValueRange(), 200.0 + 100.0 * 256 + 50.0 * 65536);
    EXPECT_EQ(raster.RowBytes(), 15);
    const std::uint8_t* pixel = raster.Bitmap().ScanLine(1) + 3 * 2;
    EXPECT_EQ(pixel[0], 70);
    EXPECT_EQ(pixel[1], 1);
    EXPECT_EQ(pixel[2], 2);
}

TEST(RasterFileTest, GetValueOutsideGridKeepsLastValue)
{
    const std::string file = writeRaster(testFolder(), docValues("real", 2, 2),
                                         floatCells({12.5F, 1.0F, 2.0F, 3.0F}));
    TRasterFile raster;
    raster.LoadSurface(file);
    double value = 0.0;
    ASSERT_EQ(raster.GetValue(0, 0, value), 12.5);
    for (const auto& [c, r] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {-5, 99}}) {
        double untouched = 77.0;
        EXPECT_EQ(raster.GetValue(c, r, untouched), 12.5) << c << "," << r;
        EXPECT_EQ(untouched, 77.0);
    }
}

TEST(RasterFileTest, ProgressAfterEveryRow)
{
    const std::string file =
        writeRaster(testFolder(), docValues("byte", 3, 7), byteCells(std::vector<int>(21, 5)));
    for (const bool image : {false, true}) {
        SCOPED_TRACE(image ? "LoadImage" : "LoadSurface");
        TRasterFile raster;
        raster.SetStep(2);
        std::vector<float> fractions;
        raster.OnProgress = [&](float f) { fractions.push_back(f); };
        if (image) {
            raster.LoadImage(file, true, 16);
        } else {
            raster.LoadSurface(file);
        }
        EXPECT_EQ(fractions, (std::vector<float>{0.0F, 1.0F / 3.0F, 2.0F / 3.0F}));
    }
}

TEST(RasterFileTest, InvalidRasterLeavesBitmapAlone)
{
    const auto folder = testFolder();
    writeBytes(folder / "nodoc.rst", byteCells({1, 2, 3, 4}));
    const std::string good =
        writeRaster(folder, docValues("byte", 2, 2), byteCells({1, 2, 3, 4}));
    TRasterFile raster;
    raster.LoadSurface(good);
    ASSERT_EQ(raster.Bitmap().Width(), 2);
    raster.LoadSurface((folder / "nodoc.rst").string());
    raster.LoadImage((folder / "nodoc.rst").string(), true, 16);
    EXPECT_FALSE(raster.Valid());
    EXPECT_EQ(raster.Bitmap().PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(raster.Bitmap().Width(), 2);
    double value = 0.0;
    EXPECT_EQ(raster.GetValue(1, 1, value), 4.0);
}

// Texture pixels of LoadImage for the palette types: one row per rule.
struct TImageCase
{
    const char* Name;
    std::vector<std::string> Doc;
    std::string Cells;
    bool Stretch;
    std::vector<int> Pixels;
};

class LoadImageTest : public ::testing::TestWithParam<TImageCase>
{
};

TEST_P(LoadImageTest, MapsCellsToIndices)
{
    const TImageCase& c = GetParam();
    const std::string file = writeRaster(testFolder(), c.Doc, c.Cells);
    TRasterFile raster;
    raster.LoadImage(file, c.Stretch, 16);
    EXPECT_EQ(raster.Bitmap().PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(indices(raster.Bitmap()), c.Pixels);
    EXPECT_EQ(raster.Bitmap().Palette(), GreyscalePalette());
}

/// Two legend lines; their labels ("line 25", "line 26") give codes 25, 26.
std::vector<std::string> withLegend(std::vector<std::string> values)
{
    values[23] = "2";
    values.push_back("water");
    values.push_back("forest");
    return values;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadImageTest,
    ::testing::Values(
        // (v − 0) × 255 / 1000, truncated; clamped at both limits.
        TImageCase{"IntegerStretched", docFor("integer", 5, 1, "-50", "2000", "0", "1000"),
                   int16Cells({500, -50, 1000, 2000, 999}), true, {127, 0, 255, 255, 254}},
        TImageCase{"IntegerDisplayLimitsNotWhole",
                   docFor("integer", 3, 1, "0", "100", "10.5", "20.5"), int16Cells({10, 20, 21}),
                   true, {0, 242, 242}},
        TImageCase{"IntegerUnstretchedLowByte", docFor("integer", 4, 1, "0", "1000", "0", "1000"),
                   int16Cells({300, -1, 256, 5}), false, {44, 255, 0, 5}},
        TImageCase{"ByteNarrowRangeIsIndices", docFor("byte", 4, 1, "0", "9", "0", "9"),
                   byteCells({0, 3, 9, 7}), true, {0, 3, 9, 7}},
        TImageCase{"IntegerNarrowRangeIsLowByte", docFor("integer", 3, 1, "1000", "1015", "1000", "1015"),
                   int16Cells({1000, 1007, 1015}), true, {232, 239, 247}},
        TImageCase{"RangeOf16StillStretched", docFor("byte", 3, 1, "0", "16", "0", "16"),
                   byteCells({0, 8, 16}), true, {0, 127, 255}},
        TImageCase{"LegendIsIndices", withLegend(docFor("byte", 3, 1, "0", "200", "0", "200")),
                   byteCells({2, 1, 200}), true, {2, 1, 200}},
        TImageCase{"Rgb8Stretched", docFor("rgb8", 3, 1, "0", "255", "0", "51"),
                   byteCells({0, 51, 100}), true, {0, 255, 255}},
        // Real cells know no minimum range: 0 … 10 is still stretched.
        TImageCase{"RealStretched", docFor("real", 4, 1, "0", "10", "0", "10"),
                   floatCells({5.0F, -3.0F, 10.0F, 9.99F}), true, {127, 0, 255, 254}},
        TImageCase{"RealNotANumberIsLowest", docFor("real", 3, 1, "0", "10", "0", "10"),
                   floatCells({std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity()}),
                   true, {0, 255, 0}},
        TImageCase{"RealUnstretchedLowByteOfTruncated", docFor("real", 5, 1, "0", "10", "0", "10"),
                   floatCells({300.7F, -1.5F, 3e9F, 1e30F, std::numeric_limits<float>::quiet_NaN()}),
                   false, {44, 255, 0, 0, 0}},
        // Equal display limits leave no range to stretch: cells as they are.
        TImageCase{"EqualDisplayLimits", docFor("integer", 3, 1, "0", "1000", "500", "500"),
                   int16Cells({499, 500, 501}), true, {243, 244, 245}},
        TImageCase{"EqualDisplayLimitsReal", docFor("real", 2, 1, "0", "1000", "7", "7"),
                   floatCells({6.5F, 7.0F}), true, {6, 7}},
        // Every cell is clamped to one limit or the other: one colour.
        TImageCase{"InvertedDisplayLimitsGiveOneColour",
                   docFor("byte", 3, 1, "0", "255", "200", "100"), byteCells({0, 150, 255}), true,
                   {255, 255, 255}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(RasterFileTest, LoadImagePaletteStretchRange)
{
    const auto folder = testFolder();
    // Colours 2 … 11 give K = 10; entries below 2 and from 10 on stay black.
    writeBytes(folder / "ramp.smp", paletteBytes(255, 2, 11));
    // Display limits 0 … 90 onto K = 10 colours: index = v × 9 / 90.
    const std::string file = writeRaster(folder, docFor("byte", 4, 1, "0", "90", "0", "90"),
                                         byteCells({0, 45, 90, 89}));
    TRasterFile raster;
    raster.SetPalletFile((folder / "ramp.smp").string());
    raster.LoadImage(file, true, 16);
    EXPECT_EQ(indices(raster.Bitmap()), (std::vector<int>{0, 4, 9, 8}));
    const TPalette& palette = raster.Bitmap().Palette();
    const TPaletteEntry black{0, 0, 0, PaletteNoCollapse};
    EXPECT_EQ(palette[1], black);
    EXPECT_EQ(palette[2], (TPaletteEntry{2, 253, 1, PaletteNoCollapse}));
    EXPECT_EQ(palette[9], (TPaletteEntry{9, 246, 4, PaletteNoCollapse}));
    EXPECT_EQ(palette[10], black);
}

TEST(RasterFileTest, LoadImageWithoutPaletteFileUsesGreyscale)
{
    const auto folder = testFolder();
    writeBytes(folder / "ramp.smp", paletteBytes(255, 0, 255));
    const std::string file =
        writeRaster(folder, docFor("byte", 2, 1, "0", "255", "0", "255"), byteCells({0, 255}));
    TRasterFile raster;
    raster.SetPalletFile((folder / "ramp.smp").string());
    raster.LoadImage(file, true, 16);
    ASSERT_NE(raster.Bitmap().Palette(), GreyscalePalette());
    raster.SetPalletFile("");
    raster.LoadImage({}, true, 16);
    EXPECT_EQ(raster.Bitmap().Palette(), GreyscalePalette());
}

struct TRgbCase
{
    const char* Name;
    const char* DisplayMin;
    const char* DisplayMax;
    bool Stretch;
    std::vector<int> In;  // blue, green, red per cell
    std::vector<int> Out; // blue, green, red per pixel
};

class LoadImageRgbTest : public ::testing::TestWithParam<TRgbCase>
{
};

TEST_P(LoadImageRgbTest, StretchesEachChannel)
{
    const TRgbCase& c = GetParam();
    const int cells = static_cast<int>(c.In.size() / 3);
    const std::string file =
        writeRaster(testFolder(), docFor("rgb24", cells, 1, "0 0 0", "255 255 255", c.DisplayMin,
                                         c.DisplayMax),
                    byteCells(c.In));
    TRasterFile raster;
    raster.LoadImage(file, c.Stretch, 16);
    const TBitmap& bitmap = raster.Bitmap();
    ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(bitmap.Width(), cells);
    const std::uint8_t* row = bitmap.ScanLine(0);
    EXPECT_EQ(std::vector<int>(row, row + 3 * cells), c.Out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadImageRgbTest,
    ::testing::Values(
        TRgbCase{"FullLimitsCopy", "0 0 0", "255 255 255", true, {1, 2, 3, 250, 128, 0},
                 {1, 2, 3, 250, 128, 0}},
        // Red 10…110, green 20…220, blue 30…130 (display lines list red first).
        TRgbCase{"ChannelLimits", "10 20 30", "110 220 130", true,
                 {80, 120, 60, 0, 255, 255, 130, 20, 10},
                 {127, 127, 127, 0, 255, 255, 255, 0, 0}},
        TRgbCase{"EqualChannelLimitsCopied", "10 20 30", "10 220 130", true, {80, 120, 60},
                 {127, 127, 60}},
        TRgbCase{"UnstretchedCopy", "10 20 30", "110 220 130", false, {80, 120, 60},
                 {80, 120, 60}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(RasterFileTest, ReadPaletteCounts)
{
    const auto folder = testFolder();
    struct
    {
        const char* Name;
        int Highest, First, Last;
        bool Stretch;
        int Colours;
        int FirstColoured, LastColoured; // entries with their colour; others black
    } cases[] = {
        {"whole table stretched", 255, 0, 255, true, 256, 0, 255},
        {"stretch range", 200, 1, 100, true, 100, 1, 99},
        {"unstretched uses highest", 200, 1, 100, false, 201, 0, 200},
        {"unstretched ignores the range", 99, 250, 255, false, 100, 0, 99},
        // Entries must lie below K and from the first stretch index on: none do.
        {"range above its own count", 255, 250, 300, true, 51, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        writeBytes(folder / "p.smp", paletteBytes(c.Highest, c.First, c.Last, 40));
        TRasterFile raster;
        EXPECT_EQ(raster.ReadPalette((folder / "p.smp").string(), c.Stretch), c.Colours);
        EXPECT_EQ(raster.PalletFile(), (folder / "p.smp").string());
        for (int i = 0; i < 256; ++i) {
            const bool coloured = i >= c.FirstColoured && i <= c.LastColoured;
            const auto k = static_cast<std::uint8_t>(i);
            const TPaletteEntry expected =
                coloured ? TPaletteEntry{k, static_cast<std::uint8_t>(255 - i),
                                         static_cast<std::uint8_t>(i / 2), PaletteNoCollapse}
                         : TPaletteEntry{0, 0, 0, PaletteNoCollapse};
            ASSERT_EQ(raster.Bitmap().Palette()[static_cast<std::size_t>(i)], expected) << i;
        }
    }
}

template <typename F>
std::string thrownMessage(F&& action)
{
    try {
        action();
    } catch (const TRasterError& error) {
        return error.what();
    }
    return "(nothing thrown)";
}

TEST(RasterFileTest, BadPaletteFilesAreRefused)
{
    const auto folder = testFolder();
    const std::string name = (folder / "p.smp").string();
    struct
    {
        const char* Name;
        std::string Bytes;
        std::string Message;
    } cases[] = {
        {"header cut short", std::string(17, '\0'),
         name + ": palette file too short, expected at least 18 bytes but got 17"},
        {"table cut short", paletteBytes(255, 0, 255, 18, 767),
         name + ": palette file too short for its colour table at byte 18, expected 786 bytes "
                "but got 785"},
        {"table offset past the end", paletteBytes(255, 0, 255, 200, 0),
         name + ": palette file too short for its colour table at byte 200, expected 968 bytes "
                "but got 200"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        writeBytes(name, c.Bytes);
        TRasterFile raster;
        const TPalette before = raster.Bitmap().Palette();
        EXPECT_EQ(thrownMessage([&] { raster.ReadPalette(name, true); }), c.Message);
        EXPECT_EQ(raster.Bitmap().Palette(), before);
    }
    TRasterFile raster;
    EXPECT_EQ(thrownMessage([&] { raster.ReadPalette((folder / "none.smp").string(), true); }),
              (folder / "none.smp").string() +
                  ": cannot open palette file: No such file or directory");
}

TEST(RasterFileTest, PaletteThatCannotBeOpenedFailsLoadImage)
{
    const auto folder = testFolder();
    const std::string file =
        writeRaster(folder, docFor("byte", 2, 1, "0", "255", "0", "255"), byteCells({0, 255}));
    TRasterFile raster;
    raster.SetPalletFile((folder / "none.smp").string());
    EXPECT_NE(thrownMessage([&] { raster.LoadImage(file, true, 16); }).find("none.smp: cannot open"),
              std::string::npos);
}

// Documentation that promises more than the image holds, or sizes that
// cannot be, end the load with an error before any memory is taken.
TEST(RasterFileTest, BadSizesAreRefused)
{
    const auto folder = testFolder();
    struct
    {
        const char* Name;
        std::vector<std::string> Doc;
        std::string Cells;
        std::string Message; // after "<file>: "
    } cases[] = {
        {"image shorter than documented", docValues("integer", 4, 3), int16Cells(std::vector<int>(11)),
         "image file too short, expected 24 bytes but got 22"},
        {"row longer than 2 GiB", docValues("real", 2147483647, 1), floatCells({1.0F}),
         "documented row of 2147483647 cells of 4 bytes is too long, expected at most 2147483647 bytes"},
        {"cells beyond the file", docValues("integer", 1000000000, 2000000000), int16Cells({1}),
         "image file too short, expected 4000000000000000000 bytes but got 2"},
    };
    for (const auto& c : cases) {
        for (const bool image : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (image ? " (image)" : " (surface)"));
            const std::string file = writeRaster(folder, c.Doc, c.Cells);
            TRasterFile raster;
            const std::string message = thrownMessage([&] {
                image ? raster.LoadImage(file, true, 16) : raster.LoadSurface(file);
            });
            EXPECT_EQ(message, file + ": " + c.Message);
            EXPECT_TRUE(raster.Bitmap().Empty());
            EXPECT_FALSE(raster.StreamOpen());
        }
    }
}

TEST(RasterFileTest, EmptyGridsLoadNothing)
{
    const auto folder = testFolder();
    struct
    {
        const char* Name;
        int Columns, Rows;
        std::uint16_t Step;
    } cases[] = {
        {"no columns", 0, 5, 1},
        {"no rows", 5, 0, 1},
        {"step beyond the grid", 3, 3, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = writeRaster(folder, docValues("byte", c.Columns, c.Rows),
                                             byteCells(std::vector<int>(25, 1)));
        TRasterFile raster;
        raster.SetStep(c.Step);
        int calls = 0;
        raster.OnProgress = [&](float) { ++calls; };
        raster.LoadSurface(file);
        EXPECT_TRUE(raster.Bitmap().Empty());
        raster.LoadImage(file, true, 16);
        EXPECT_TRUE(raster.Bitmap().Empty());
        EXPECT_EQ(calls, 0);
        double value = 3.0;
        EXPECT_EQ(raster.GetValue(0, 0, value), 0.0);
        EXPECT_EQ(value, 3.0);
    }
}

TEST(RasterFileTest, StepZeroIsOne)
{
    TRasterFile raster;
    raster.SetStep(0);
    EXPECT_EQ(raster.Step(), 1);
}

TEST(RasterFileTest, ImageRemovedAfterNamingIsReported)
{
    const auto folder = testFolder();
    const std::string file = writeRaster(folder, docValues("byte", 1, 1), byteCells({1}));
    TRasterFile raster;
    raster.SetFileName(file);
    std::filesystem::remove(file);
    EXPECT_EQ(thrownMessage([&] { raster.LoadSurface({}); }),
              file + ": cannot open image file: No such file or directory");
}

TEST(RasterFileTest, LongerImageFileReadsDocumentedPart)
{
    const std::string file =
        writeRaster(testFolder(), docValues("byte", 2, 1), byteCells({4, 5, 6, 7}));
    TRasterFile raster;
    raster.LoadSurface(file);
    EXPECT_EQ(indices(raster.Bitmap()), (std::vector<int>{4, 5}));
}

} // namespace
} // namespace skyglide
