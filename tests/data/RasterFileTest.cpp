#include "data/RasterFile.h"

#include "DataFiles.h"

#include <cmath>
#include <functional>
#include <limits>

namespace skyglide {
namespace {

using namespace skyglide::test;
using TStrings = std::vector<std::string>;

/// A documentation with its value range and display limits (lines 16 to 19).
TStrings docFor(const std::string& type, int columns, int rows, const TStrings& limits)
{
    TStrings values = docValues(type, columns, rows);
    std::copy(limits.begin(), limits.end(), values.begin() + 15);
    return values;
}

/// `doc` with flag value and definition (lines 22 and 23).
TStrings withFlag(TStrings doc, const std::string& value, const std::string& defn)
{
    doc[21] = value;
    doc[22] = defn;
    return doc;
}

/// The pixel bytes of a bitmap, row by row, without the row padding.
std::vector<int> pixels(const TBitmap& bitmap)
{
    std::vector<int> out;
    for (int r = 0; r < bitmap.Height(); ++r) {
        const std::uint8_t* row = bitmap.ScanLine(r);
        out.insert(out.end(), row, row + bitmap.Width() * bitmap.BytesPerPixel());
    }
    return out;
}

TEST(RasterFileTest, CalcStep)
{
    const std::vector<std::array<int, 5>> cases = {
        // columns, rows, max width, max height, step
        {2000, 1000, 1024, 768, 1}, {4000, 1000, 1024, 768, 3}, {1000, 4000, 1600, 1200, 3},
        {0, 0, 1024, 768, 1},       {4000, 1000, 0, 0, 1},      {2147483647, 1, 1, 1, 65535}};
    for (const auto& [columns, rows, width, height, step] : cases)
        EXPECT_EQ(TRasterFile::CalcStep(columns, rows, width, height), step)
            << columns << " x " << rows << " in " << width << " x " << height;
}

TEST(RasterFileTest, FileNameDecidesValidity)
{
    const auto folder = TestFolder();
    const std::string good = WriteRaster(folder, docValues(), std::string(24, '\0'));
    TStrings badDoc = docValues();
    badDoc[4] = "many";
    const std::string bad = WriteRaster(folder, badDoc, "", "bad");
    for (const char* name : {"nodoc.rst", "upper.RST", "image.bin"})
        WriteBytes(folder / name, "x");
    std::filesystem::create_directories(folder / "a.b");
    WriteBytes(folder / "a.b" / "plain", "x");
    const std::string f = folder.string() + "/";
    const std::vector<std::tuple<std::string, bool, std::optional<int>>> cases = {
        {good, true, 0},
        {bad, false, TImgDoc::StatusReadError},
        {f + "nodoc.rst", false, std::nullopt},
        {f + "upper.RST", true, std::nullopt}, // other extensions need no documentation
        {f + "image.bin", true, std::nullopt},
        {f + "a.b/plain", true, std::nullopt},
        {f + "missing.rst", false, std::nullopt},
        {"", false, std::nullopt}};
    for (const auto& [name, valid, status] : cases) {
        TRasterFile raster;
        raster.SetFileName(good);
        raster.SetFileName(name);
        EXPECT_EQ(raster.Valid(), valid) << name;
        EXPECT_EQ(raster.DocStatus(), status) << name;
        EXPECT_EQ(raster.FileName(), name.empty() ? good : name);
    }
}

// Every cell type at steps 1 to 3: the sample bitmap keeps the raw cells of
// every Step-th row and column of a 5 x 4 grid, and GetValue reads them.
TEST(RasterFileTest, LoadSurfaceKeepsDecimatedCells)
{
    // cell type, cell i = first + i × stride, the sample bitmap's format
    const std::vector<std::tuple<std::string, double, double, TPixelFormat>> cases = {
        {"integer", -32768, 3449, TPixelFormat::pf16bit},
        {"real", -3.25, 0.5, TPixelFormat::pf32bit},
        {"byte", 0, 13, TPixelFormat::pf8bit},
        {"rgb8", 255, -12, TPixelFormat::pf8bit},
        {"rgb24", 0, 10, TPixelFormat::pf24bit}}; // the blue byte
    for (const auto& [type, first, stride, format] : cases) {
        const auto cell = [&](int i) { return first + i * stride; };
        std::string cells;
        for (int i = 0; i < 20; ++i) {
            const int v = static_cast<int>(cell(i));
            cells += type == "integer" ? int16Cells({v})
                     : type == "real"  ? floatCells({static_cast<float>(cell(i))})
                     : type == "rgb24" ? std::string{static_cast<char>(v), 1, 2}
                                       : byteCells({v});
        }
        const std::string low = type == "rgb24" ? "0 0 0" : "0";
        const std::string high = type == "rgb24" ? "9 0 0" : "9";
        const std::string file =
            WriteRaster(TestFolder(), docFor(type, 5, 4, {low, high, low, high}), cells);
        for (const std::uint16_t step : {1, 2, 3}) {
            SCOPED_TRACE(type + " at step " + std::to_string(step));
            TRasterFile raster;
            raster.SetStep(step);
            raster.LoadSurface(file);
            EXPECT_EQ(raster.ValueRange(), 9.0);
            ASSERT_EQ(raster.Bitmap().PixelFormat(), format);
            ASSERT_EQ(raster.Bitmap().Width(), 5 / step);
            ASSERT_EQ(raster.Bitmap().Height(), 4 / step);
            double last = 0.0;
            for (int r = 0; r < 4 / step; ++r) {
                for (int col = 0; col < 5 / step; ++col) {
                    last = cell((r * 5 + col) * step);
                    double value = -1.0;
                    EXPECT_EQ(raster.GetValue(col, r, value), last) << col << "," << r;
                    EXPECT_EQ(value, last);
                }
            }
            // Outside the grid: the last value read, the argument untouched.
            for (const auto& [col, r] : {std::pair{-1, 0}, {0, -1}, {5 / step, 0}, {0, 4 / step}}) {
                double untouched = 77.0;
                EXPECT_EQ(raster.GetValue(col, r, untouched), last);
                EXPECT_EQ(untouched, 77.0);
            }
        }
    }
}

TEST(RasterFileTest, MissingCellsTakeTheLowestValidValue)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct
    {
        const char* Name;
        TStrings Doc;
        std::string Cells;
        std::vector<double> Values;
    } cases[] = {
        {"integer missing data", withFlag(docValues("integer", 4, 1), "-9999", "missing data"),
         int16Cells({50, -9999, 30, 70}), {50, 30, 30, 70}},
        {"real background, NaN kept", withFlag(docValues("real", 4, 1), "0", "background "),
         floatCells({2.5F, 0.0F, nan, 1.5F}), {2.5, 1.5, nan, 1.5}},
        {"byte missing data", withFlag(docValues("byte", 3, 1), "0", "missing data"),
         byteCells({0, 9, 4}), {4, 9, 4}},
        {"every cell missing", withFlag(docValues("integer", 2, 1), "-1", "missing data"),
         int16Cells({-1, -1}), {-1, -1}},
        {"another flag definition", withFlag(docValues("integer", 2, 1), "-9999", "cloud"),
         int16Cells({-9999, 30}), {-9999, 30}},
        {"no flag value", withFlag(docValues("integer", 2, 1), "none", "missing data"),
         int16Cells({0, 30}), {0, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TRasterFile raster;
        raster.LoadSurface(WriteRaster(TestFolder(), c.Doc, c.Cells));
        for (std::size_t i = 0; i < c.Values.size(); ++i) {
            double value = 0.0;
            raster.GetValue(static_cast<int>(i), 0, value);
            EXPECT_TRUE(value == c.Values[i] || (std::isnan(value) && std::isnan(c.Values[i])))
                << "cell " << i << " is " << value;
        }
    }
}

TEST(RasterFileTest, ProgressAfterEveryRowAndNothingWhenInvalid)
{
    const auto folder = TestFolder();
    const std::string file = WriteRaster(folder, docValues("byte", 3, 7), std::string(21, '\5'));
    WriteBytes(folder / "nodoc.rst", "x");
    for (const bool image : {false, true}) {
        TRasterFile raster;
        raster.SetStep(2);
        std::vector<float> fractions;
        raster.OnProgress = [&](float f) { fractions.push_back(f); };
        const auto load = [&](const std::string& name) {
            image ? raster.LoadImage(name, true, 16) : raster.LoadSurface(name);
        };
        load(file);
        EXPECT_EQ(fractions, (std::vector<float>{0.0F, 1.0F / 3.0F, 2.0F / 3.0F}));
        load((folder / "nodoc.rst").string());
        EXPECT_FALSE(raster.Valid());
        EXPECT_EQ(fractions.size(), 3U);
        EXPECT_EQ(pixels(raster.Bitmap()), (std::vector<int>(3, image ? 12 : 5)));
    }
}

// Texture pixels without a palette file, one row per rule: indices for the
// palette types, blue, green and red bytes for rgb24.
TEST(RasterFileTest, LoadImageMapsCells)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    TStrings legend = docFor("byte", 3, 1, {"0", "200", "0", "200"});
    legend[23] = "2";
    legend.insert(legend.end(), {"water", "forest"});
    // rgb24 display lines list red first: red 10 … 110, green 20 … 220, blue 30 … 130.
    const auto rgb = [](const char* displayMax, int cells) {
        return docFor("rgb24", cells, 1, {"0 0 0", "255 255 255", "10 20 30", displayMax});
    };
    const struct
    {
        const char* Name;
        TStrings Doc;
        std::string Cells;
        bool Stretch;
        std::vector<int> Pixels;
    } cases[] = {
        // clang-format off
        // v × 255 / 1000, truncated, after clamping to the display limits.
        {"integer stretched", docFor("integer", 5, 1, {"-50", "2000", "0", "1000"}), int16Cells({500, -50, 1000, 2000, 999}), true, {127, 0, 255, 255, 254}},
        {"fractional limits", docFor("integer", 3, 1, {"0", "100", "10.5", "20.5"}), int16Cells({10, 20, 21}), true, {0, 242, 242}},
        {"integer unstretched", docFor("integer", 4, 1, {"0", "1000", "0", "1000"}), int16Cells({300, -1, 256, 5}), false, {44, 255, 0, 5}},
        {"narrow byte range", docFor("byte", 4, 1, {"0", "9", "0", "9"}), byteCells({0, 3, 9, 7}), true, {0, 3, 9, 7}},
        {"narrow integer range", docFor("integer", 2, 1, {"1000", "1015", "1000", "1015"}), int16Cells({1000, 1015}), true, {232, 247}},
        {"range of 16 stretched", docFor("byte", 3, 1, {"0", "16", "0", "16"}), byteCells({0, 8, 16}), true, {0, 127, 255}},
        {"legend", legend, byteCells({2, 1, 200}), true, {2, 1, 200}},
        {"real, no minimum range", docFor("real", 4, 1, {"0", "10", "0", "10"}), floatCells({5.0F, -3.0F, 10.0F, 9.99F}), true, {127, 0, 255, 254}},
        {"real not finite", docFor("real", 3, 1, {"0", "10", "0", "10"}), floatCells({nan, inf, -inf}), true, {0, 255, 0}},
        {"real unstretched", docFor("real", 5, 1, {"0", "10", "0", "10"}), floatCells({300.7F, -1.5F, 3e9F, 1e30F, nan}), false, {44, 255, 0, 0, 0}},
        {"equal limits unstretched", docFor("integer", 2, 1, {"0", "1000", "500", "500"}), int16Cells({499, 501}), true, {243, 245}},
        {"inverted limits one colour", docFor("byte", 3, 1, {"0", "255", "200", "100"}), byteCells({0, 150, 255}), true, {255, 255, 255}},
        {"rgb24 stretched", rgb("110 220 130", 3), byteCells({80, 120, 60, 0, 255, 255, 130, 20, 10}), true, {127, 127, 127, 0, 255, 255, 255, 0, 0}},
        {"rgb24 equal red limits copied", rgb("10 220 130", 1), byteCells({80, 120, 60}), true, {127, 127, 60}},
        {"rgb24 unstretched", rgb("110 220 130", 1), byteCells({80, 120, 60}), false, {80, 120, 60}},
        // Missing cells take the first colour, whatever the stretch gives their value.
        {"integer missing data", withFlag(docFor("integer", 3, 1, {"0", "1000", "0", "1000"}), "2000", "missing data"), int16Cells({2000, 1000, 500}), true, {0, 255, 127}},
        {"real background", withFlag(docFor("real", 2, 1, {"0", "10", "0", "10"}), "-1", "Background"), floatCells({-1.0F, 10.0F}), false, {0, 10}},
        {"byte missing data", withFlag(docFor("byte", 2, 1, {"0", "255", "0", "255"}), "255", "missing data"), byteCells({255, 254}), true, {0, 254}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TRasterFile raster;
        raster.LoadImage(WriteRaster(TestFolder(), c.Doc, c.Cells), c.Stretch, 16);
        EXPECT_EQ(raster.Bitmap().PixelFormat(),
                  c.Doc[2] == "rgb24" ? TPixelFormat::pf24bit : TPixelFormat::pf8bit);
        EXPECT_EQ(pixels(raster.Bitmap()), c.Pixels);
    }
}

TEST(RasterFileTest, PaletteFiles)
{
    const auto folder = TestFolder();
    const std::string name = (folder / "p.smp").string();
    // Stretch range 2 … 11 gives K = 10 colours: indices v × 9 / 90.
    WriteBytes(name, paletteBytes(255, 2, 11));
    const std::string file = WriteRaster(folder, docFor("byte", 4, 1, {"0", "90", "0", "90"}),
                                         byteCells({0, 45, 90, 89}));
    TRasterFile raster;
    raster.SetPalletFile(name);
    raster.LoadImage(file, true, 16);
    EXPECT_EQ(pixels(raster.Bitmap()), (std::vector<int>{0, 4, 9, 8}));
    raster.SetPalletFile("");
    raster.LoadImage(file, true, 16);
    EXPECT_EQ(raster.Bitmap().Palette(), GreyscalePalette());

    // highest, first, last, stretch → colours K and the coloured entries;
    // an entry is coloured below K and, when stretching, from `first` on.
    const std::vector<std::array<int, 7>> cases = {{255, 0, 255, 1, 256, 0, 255},
                                                   {200, 2, 11, 1, 10, 2, 9},
                                                   {200, 1, 100, 0, 201, 0, 200},
                                                   {255, 250, 300, 1, 51, 1, 0}};
    for (const auto& [highest, first, last, stretch, colours, from, to] : cases) {
        SCOPED_TRACE(std::to_string(first) + " … " + std::to_string(last));
        WriteBytes(name, paletteBytes(highest, first, last, 40));
        EXPECT_EQ(raster.ReadPalette(name, stretch != 0), colours);
        for (int i = 0; i < 256; ++i) {
            const auto k = static_cast<std::uint8_t>(i);
            const TPaletteEntry expected =
                i >= from && i <= to ? TPaletteEntry{k, static_cast<std::uint8_t>(255 - i),
                                                     static_cast<std::uint8_t>(i / 2), 4}
                                     : TPaletteEntry{0, 0, 0, PaletteNoCollapse};
            ASSERT_EQ(raster.Bitmap().Palette()[k], expected) << i;
        }
    }

    // Files too short for what they promise are refused; the palette stays.
    const std::string tooShort = "palette file too short for its colour table at byte ";
    const std::vector<std::pair<std::string, std::string>> bad = {
        {std::string(17, '\0'), "palette file too short, expected at least 18 bytes but got 17"},
        {paletteBytes(255, 0, 255, 18, 767), tooShort + "18, expected 786 bytes but got 785"},
        {paletteBytes(255, 0, 255, 200, 0), tooShort + "200, expected 968 bytes but got 200"},
        {"", "cannot open palette file: No such file or directory"}};
    const TPalette before = raster.Bitmap().Palette();
    for (const auto& [bytes, message] : bad) {
        if (bytes.empty())
            std::filesystem::remove(name);
        else
            WriteBytes(name, bytes);
        EXPECT_EQ(ErrorOf([&] { raster.ReadPalette(name, true); }), name + ": " + message);
        EXPECT_EQ(raster.Bitmap().Palette(), before);
    }
}

// Documentation that promises more than the image holds, or sizes that
// cannot be, end the load before any memory is taken.
TEST(RasterFileTest, BadSizesAreRefused)
{
    const auto folder = TestFolder();
    const std::vector<std::tuple<TStrings, std::string, std::string>> cases = {
        {docValues("integer", 4, 3), std::string(22, '\0'),
         "image file too short, expected 24 bytes but got 22"},
        {docValues("real", 2147483647, 1), std::string(4, '\0'),
         "documented row of 2147483647 cells of 4 bytes is too long, expected at most "
         "2147483647 bytes"},
        {docValues("integer", 1000000000, 2000000000), std::string(2, '\0'),
         "image file too short, expected 4000000000000000000 bytes but got 2"}};
    for (const auto& [doc, cells, message] : cases) {
        for (const bool image : {false, true}) {
            const std::string file = WriteRaster(folder, doc, cells);
            TRasterFile raster;
            EXPECT_EQ(ErrorOf([&] {
                          image ? raster.LoadImage(file, true, 16) : raster.LoadSurface(file);
                      }),
                      file + ": " + message);
            EXPECT_TRUE(raster.Bitmap().Empty());
            EXPECT_FALSE(raster.StreamOpen());
        }
    }
    // Only the rows a load reads must be in the file: at step 2 a 4 x 3 byte
    // grid reads row 0 alone.
    for (const auto& [bytes, step, message] :
         {std::tuple{9, 2, ""}, {3, 2, "image file too short, expected 4 bytes but got 3"},
          {9, 1, "image file too short, expected 12 bytes but got 9"}}) {
        const std::string file =
            WriteRaster(folder, docValues("byte", 4, 3), std::string(std::size_t(bytes), '\1'));
        TRasterFile raster;
        raster.SetStep(std::uint16_t(step));
        EXPECT_EQ(ErrorOf([&] { raster.LoadSurface(file); }),
                  *message ? file + ": " + message : std::string());
    }
    const std::string file = WriteRaster(folder, docValues("byte", 1, 1), "x");
    TRasterFile raster;
    raster.SetFileName(file);
    std::filesystem::remove(file);
    EXPECT_EQ(ErrorOf([&] { raster.LoadSurface({}); }),
              file + ": cannot open image file: No such file or directory");
}

// The image file replaced, deleted or cut short in place while its rows are
// read (from the progress of row 1): the open file is read to its end as it
// was, or the load fails for the row that is gone, never with a part.
TEST(RasterFileTest, AFileReplacedOrCutWhileItLoads)
{
    const auto folder = TestFolder();
    std::string cells(3 * 7, '\0');
    for (std::size_t i = 0; i < cells.size(); ++i)
        cells[i] = static_cast<char>(i * 11);
    const std::string file = WriteRaster(folder, docValues("byte", 3, 7), cells);
    const std::pair<const char*, std::function<void()>> faults[] = {
        {"replaced", [&] {
             WriteBytes(folder / "other.rst", std::string(21, '\7'));
             std::filesystem::rename(folder / "other.rst", file);
         }},
        {"deleted", [&] { std::filesystem::remove(file); }},
        {"cut short", [&] { std::filesystem::resize_file(file, 4); }}};
    for (const bool image : {false, true}) {
        for (const auto& [name, fault] : faults) {
            SCOPED_TRACE(std::string(name) + (image ? " image" : " surface"));
            WriteBytes(file, cells);
            const auto load = [&, image = image](TRasterFile& raster) {
                image ? raster.LoadImage(file, true, 16) : raster.LoadSurface(file);
            };
            TRasterFile whole, faulty;
            load(whole);
            faulty.OnProgress = [&, fault = fault](float fraction) {
                if (fraction > 0.0F && fraction < 0.2F)
                    fault();
            };
            const std::string error = ErrorOf([&] { load(faulty); });
            if (std::string(name) == "cut short") {
                EXPECT_EQ(error.rfind(file + ": image file too short, expected 9 bytes", 0), 0u)
                    << error;
            } else {
                EXPECT_EQ(error, "");
                EXPECT_EQ(pixels(faulty.Bitmap()), pixels(whole.Bitmap()));
            }
        }
    }
}

TEST(RasterFileTest, EmptyGridsLoadNothing)
{
    const auto folder = TestFolder();
    // columns, rows, step (0 is taken as 1)
    for (const auto& [columns, rows, step] : {std::array{0, 5, 1}, {5, 0, 0}, {3, 3, 4}}) {
        const std::string file =
            WriteRaster(folder, docValues("byte", columns, rows), std::string(25, '\1'));
        TRasterFile raster;
        raster.SetStep(static_cast<std::uint16_t>(step));
        EXPECT_GE(raster.Step(), 1);
        raster.OnProgress = [](float) { ADD_FAILURE() << "progress on an empty grid"; };
        raster.LoadSurface(file);
        EXPECT_TRUE(raster.Bitmap().Empty());
        raster.LoadImage(file, true, 16);
        EXPECT_TRUE(raster.Bitmap().Empty());
        double value = 3.0;
        EXPECT_EQ(raster.GetValue(0, 0, value), 0.0);
        EXPECT_EQ(value, 3.0);
    }
}

} // namespace
} // namespace skyglide
