#include "ToolRun.h"

#include "../../data/DataTestFiles.h"

#include <QColor>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace skyglide {
namespace {

using testing::byteCells;
using testing::docLine;
using testing::docText;
using testing::docValues;
using testing::floatCells;
using testing::int16Cells;
using testing::paletteBytes;
using testing::readFile;
using testing::runTool;
using testing::toolFolder;
using testing::TRun;
using testing::writeBytes;

std::string writeRaster(const std::filesystem::path& folder, const std::vector<std::string>& values,
                        const std::string& cells, const std::vector<std::string>& extra = {})
{
    writeBytes(folder / "grid.rdc", docText(values, extra));
    writeBytes(folder / "grid.rst", cells);
    return (folder / "grid.rst").string();
}

QJsonObject parseJson(const std::string& text)
{
    QJsonParseError error{};
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc.object();
}

/// A failure is one line on stderr, naming the tool.
void expectOneErrorLine(const TRun& run, const std::string& message)
{
    EXPECT_EQ(run.Err, "skyglide-raster: " + message + "\n");
}

TEST(RasterToolTest, InfoPrintsEveryDocumentationField)
{
    const auto folder = toolFolder();
    auto values = docValues("byte", 3, 2);
    values[23] = "2";
    values.push_back("water \"deep\"");
    values.push_back("forest");
    const std::string file =
        writeRaster(folder, values, byteCells({1, 2, 3, 4, 5, 6}),
                    {docLine("lineage     :", "surveyed"), docLine("note        :", "tab\there")});
    const TRun run = runTool({"info", file}, folder);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    const QJsonObject json = parseJson(run.Out);
    const QStringList expectedKeys = {
        "FileFormat", "FileTitle", "DataType", "FileType", "Columns", "Rows", "RefSystem",
        "RefUnits", "UnitDist", "MinX", "MaxX", "MinY", "MaxY", "PosnError", "PosnErrorKnown",
        "Resolution", "ResolutionKnown", "MinValue", "MinValueText", "MaxValue", "MaxValueText",
        "DisplayMin", "DisplayMinText", "DisplayMax", "DisplayMaxText", "ValueUnits",
        "ValueError", "ValueErrorKnown", "FlagValue", "FlagDefn", "FlagValueKnown", "LegendCats",
        "LegendCodes", "LegendNames", "Comments", "Lineage", "Completeness", "Consistency",
        "ErrorText", "ErrorText2", "Status", "Valid"};
    QStringList keys = json.keys();
    QStringList sortedExpected = expectedKeys;
    keys.sort();
    sortedExpected.sort();
    EXPECT_EQ(keys, sortedExpected);
    EXPECT_EQ(json["DataType"].toInt(), 2);
    EXPECT_EQ(json["Columns"].toInt(), 3);
    EXPECT_EQ(json["MaxX"].toDouble(), 40.0);
    EXPECT_EQ(json["Resolution"].toDouble(), 10.0);
    EXPECT_FALSE(json["PosnErrorKnown"].toBool());
    EXPECT_EQ(json["LegendCodes"].toArray(), (QJsonArray{25, 26}));
    EXPECT_EQ(json["LegendNames"].toArray(), (QJsonArray{"water \"deep\"", "forest"}));
    EXPECT_EQ(json["Lineage"].toArray(), QJsonArray{"surveyed"});
    EXPECT_EQ(json["Comments"].toArray(), QJsonArray{"tab\there"});
    EXPECT_EQ(json["Status"].toInt(), 0);
    EXPECT_TRUE(json["Valid"].toBool());
}

TEST(RasterToolTest, InfoOfUnusableRasters)
{
    const auto folder = toolFolder();
    auto badType = docValues();
    badType[2] = "complex";
    writeBytes(folder / "type.rdc", docText(badType));
    writeBytes(folder / "type.rst", "");
    auto shortDoc = docValues();
    shortDoc.resize(10);
    writeBytes(folder / "short.rdc", docText(shortDoc));
    writeBytes(folder / "short.rst", "");
    writeBytes(folder / "nodoc.rst", "");
    const std::string base = folder.string() + "/";

    struct
    {
        const char* Name;
        std::string File;
        const char* Status; // JSON text of "Status", or nullptr when nothing is printed
        std::string Error;
    } cases[] = {
        {"missing file", base + "none.rst", nullptr,
         base + "none.rst: cannot open raster file: No such file or directory"},
        {"no documentation", base + "nodoc.rst", "null",
         base + "nodoc.rst: documentation file " + base + "nodoc.rdc not found"},
        {"data type not recognised", base + "type.rst", "-1027",
         base + "type.rst: documentation file " + base +
             "type.rdc names data type 'complex', expected integer, real, byte, rgb24 or rgb8 "
             "(status -1027)"},
        {"documentation ends early", base + "short.rst", "-1137",
         base + "short.rst: documentation file " + base +
             "short.rdc holds a value that does not read as expected or ends early (status -1137)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TRun run = runTool({"info", c.File}, folder);
        EXPECT_EQ(run.Status, 1);
        expectOneErrorLine(run, c.Error);
        if (c.Status == nullptr) {
            EXPECT_EQ(run.Out, "");
        } else {
            EXPECT_NE(run.Out.find(std::string("\"Status\": ") + c.Status + ",\n"), std::string::npos)
                << run.Out;
            EXPECT_FALSE(parseJson(run.Out)["Valid"].toBool());
        }
    }
}

TEST(RasterToolTest, UsageErrorsExitWithTwo)
{
    const auto folder = toolFolder();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"draw", "x.rst"},
        {"info"},
        {"info", "a.rst", "b.rst"},
        {"values", "x.rst", "--step", "0"},
        {"values", "x.rst", "--step", "65536"},
        {"values", "x.rst", "--step"},
        {"texture", "x.rst"},
        {"texture", "x.rst", "--out", "a.png", "--out", "b.png"},
        {"texture", "x.rst", "--colour", "red", "--out", "a.png"},
        {"import-grid", "x.raw", "--type", "complex", "--columns", "1", "--rows", "1", "--extent",
         "0,1,0,1", "--out", "y.rst"},
        {"make-palette", "0:0,0,0;0:1,1,1", "--out", "p.smp"},
        {"make-palette", "greyscale", "--stretch", "9,2", "--out", "p.smp"},
    };
    for (const auto& args : cases) {
        std::string name;
        for (const auto& a : args) {
            name += a + " ";
        }
        SCOPED_TRACE(name);
        const TRun run = runTool(args, folder);
        EXPECT_EQ(run.Status, 2);
        if (args.empty()) {
            EXPECT_EQ(run.Err.rfind("usage:\n", 0), 0U) << run.Err;
        } else {
            EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
        }
        EXPECT_EQ(run.Out, "");
    }
}

TEST(RasterToolTest, ValuesPrintsDecimatedGrid)
{
    const auto folder = toolFolder();
    std::vector<int> cells;
    for (int i = 0; i < 20; ++i) {
        cells.push_back(i * 100 - 300);
    }
    const std::string file = writeRaster(folder, docValues("integer", 5, 4), int16Cells(cells));
    struct
    {
        const char* Step;
        std::string Csv;
    } cases[] = {
        {"1", "-300,-200,-100,0,100\n200,300,400,500,600\n700,800,900,1000,1100\n"
              "1200,1300,1400,1500,1600\n"},
        {"2", "-300,-100\n700,900\n"},
        {"5", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Step);
        const TRun run = runTool({"values", file, "--step", c.Step}, folder);
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Out, c.Csv);
    }
}

TEST(RasterToolTest, ValuesOfRealCellsReadBack)
{
    const auto folder = toolFolder();
    const std::string file =
        writeRaster(folder, docValues("real", 3, 1), floatCells({0.1F, -2.5F, 1e-7F}));
    const TRun run = runTool({"values", file}, folder);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "0.1,-2.5,1e-07\n");
}

TEST(RasterToolTest, ValuesOfShortImageFails)
{
    const auto folder = toolFolder();
    const std::string file = writeRaster(folder, docValues("integer", 5, 4), int16Cells({1, 2, 3}));
    const TRun run = runTool({"values", file}, folder);
    EXPECT_EQ(run.Status, 1);
    expectOneErrorLine(run, file + ": image file too short, expected 40 bytes but got 6");
    EXPECT_EQ(run.Out, "");
}

TEST(RasterToolTest, TextureColoursCellsThroughPalette)
{
    const auto folder = toolFolder();
    auto values = docValues("byte", 3, 2);
    values[15] = values[17] = "0";
    values[16] = values[18] = "255";
    const std::string file = writeRaster(folder, values, byteCells({0, 128, 255, 10, 20, 30}));
    writeBytes(folder / "p.smp", paletteBytes(255, 0, 255));
    const std::string png = (folder / "t.png").string();
    const TRun run = runTool({"texture", file, "--palette", (folder / "p.smp").string(), "--out", png},
                             folder);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_FALSE(image.hasAlphaChannel());
    // Palette entry i is (i, 255 − i, i / 2).
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 255, 0));
    EXPECT_EQ(image.pixelColor(1, 0), QColor(128, 127, 64));
    EXPECT_EQ(image.pixelColor(2, 1), QColor(30, 225, 15));

    const TRun grey = runTool({"texture", file, "--step", "2", "--out", png}, folder);
    ASSERT_EQ(grey.Status, 0) << grey.Err;
    const QImage small(QString::fromStdString(png));
    ASSERT_EQ(small.size(), QSize(1, 1));
    EXPECT_EQ(small.pixelColor(0, 0), QColor(0, 0, 0));
}

TEST(RasterToolTest, TextureOfRgbCellsKeepsColours)
{
    const auto folder = toolFolder();
    auto values = docValues("rgb24", 2, 1);
    values[15] = values[17] = "0 0 0";
    values[16] = values[18] = "255 255 255";
    // Cells are blue, green, red.
    const std::string file = writeRaster(folder, values, byteCells({10, 20, 30, 200, 100, 0}));
    const std::string png = (folder / "t.png").string();
    const TRun run = runTool({"texture", file, "--out", png}, folder);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const QImage image(QString::fromStdString(png));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(30, 20, 10));
    EXPECT_EQ(image.pixelColor(1, 0), QColor(0, 100, 200));
}

TEST(RasterToolTest, TextureFailures)
{
    const auto folder = toolFolder();
    const std::string file = writeRaster(folder, docValues("byte", 2, 2), byteCells({1, 2, 3, 4}));
    const std::string png = (folder / "t.png").string();
    struct
    {
        const char* Name;
        std::vector<std::string> Args;
        std::string Error;
    } cases[] = {
        {"palette missing", {"texture", file, "--palette", folder.string() + "/no.smp", "--out", png},
         folder.string() + "/no.smp: cannot open palette file: No such file or directory"},
        {"nothing to draw", {"texture", file, "--step", "3", "--out", png},
         file + ": no texture to write, the grid of 2 x 2 cells at step 3 is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TRun run = runTool(c.Args, folder);
        EXPECT_EQ(run.Status, 1);
        expectOneErrorLine(run, c.Error);
    }
    const TRun unwritable =
        runTool({"texture", file, "--out", folder.string() + "/no/such/folder/t.png"}, folder);
    EXPECT_EQ(unwritable.Status, 1);
    EXPECT_EQ(std::count(unwritable.Err.begin(), unwritable.Err.end(), '\n'), 1);
    EXPECT_NE(unwritable.Err.find("cannot write PNG"), std::string::npos) << unwritable.Err;
}

TEST(RasterToolTest, ImportGridRoundTrips)
{
    const auto folder = toolFolder();
    writeBytes(folder / "src.i16", int16Cells({5, -7, 900, 12, 0, 33}));
    const std::string out = (folder / "made.rst").string();
    const TRun run = runTool({"import-grid", (folder / "src.i16").string(), "--type", "integer",
                              "--columns", "3", "--rows", "2", "--extent", "-106.5,-103.5,37,38",
                              "--ref-system", "latlong", "--ref-units", "deg", "--value-units",
                              "m", "--lineage", "first", "--comment", "note", "--out", out},
                             folder);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(readFile(out), int16Cells({5, -7, 900, 12, 0, 33}));
    const std::string doc = readFile(folder / "made.rdc");
    EXPECT_EQ(doc.substr(0, 34), "file format : Kartova Raster A.1\r\n");
    EXPECT_NE(doc.find("\r\nmin. value  : -7\r\nmax. value  : 900\r\ndisplay min : -7\r\n"
                       "display max : 900\r\n"),
              std::string::npos)
        << doc;

    const QJsonObject info = parseJson(runTool({"info", out}, folder).Out);
    EXPECT_TRUE(info["Valid"].toBool());
    EXPECT_EQ(info["Columns"].toInt(), 3);
    EXPECT_EQ(info["MinX"].toDouble(), -106.5);
    EXPECT_EQ(info["MaxY"].toDouble(), 38.0);
    EXPECT_EQ(info["Resolution"].toDouble(), 1.0);
    EXPECT_EQ(info["RefSystem"].toString(), "latlong");
    EXPECT_EQ(info["Lineage"].toArray(), QJsonArray{"first"});
    EXPECT_EQ(info["Comments"].toArray(), QJsonArray{"note"});
    EXPECT_EQ(runTool({"values", out}, folder).Out, "5,-7,900\n12,0,33\n");
}

TEST(RasterToolTest, ImportGridRangesPerCellType)
{
    const auto folder = toolFolder();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct
    {
        const char* Name;
        const char* Type;
        std::string Cells;
        std::vector<std::string> Extra;
        std::string MinLine, MaxLine, DisplayMin;
        std::string Stored; // the image file, when not the cells themselves
    } cases[] = {
        {"real skips NaN", "real", floatCells({2.5F, nan, -1.25F, 8.0F}), {}, "-1.25", "8", "-1.25", ""},
        {"byte", "byte", byteCells({9, 3, 200, 4}), {}, "3", "200", "3", ""},
        {"given range and display", "integer", int16Cells({1, 2, 3, 4}),
         {"--value-range", "0,5000", "--display", "1,4.5"}, "0", "5000", "1", ""},
        {"rgb source turned to blue green red", "rgb24",
         byteCells({10, 20, 30, 40, 50, 60, 1, 2, 3, 250, 240, 230}), {}, "1 2 3", "250 240 230",
         "1 2 3", byteCells({30, 20, 10, 60, 50, 40, 3, 2, 1, 230, 240, 250})},
        {"bgr source kept", "rgb24", byteCells({10, 20, 30, 40, 50, 60, 1, 2, 3, 250, 240, 230}),
         {"--source-order", "bgr"}, "3 2 1", "230 240 250", "3 2 1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        writeBytes(folder / "src.raw", c.Cells);
        std::vector<std::string> args = {"import-grid", (folder / "src.raw").string(), "--type",
                                         c.Type, "--columns", "2", "--rows", "2", "--extent",
                                         "0,2,0,2", "--out", (folder / "m.rst").string()};
        args.insert(args.end(), c.Extra.begin(), c.Extra.end());
        const TRun run = runTool(args, folder);
        ASSERT_EQ(run.Status, 0) << run.Err;
        const std::string doc = readFile(folder / "m.rdc");
        EXPECT_NE(doc.find("min. value  : " + c.MinLine + "\r\n"), std::string::npos) << doc;
        EXPECT_NE(doc.find("max. value  : " + c.MaxLine + "\r\n"), std::string::npos) << doc;
        EXPECT_NE(doc.find("display min : " + c.DisplayMin + "\r\n"), std::string::npos) << doc;
        EXPECT_EQ(readFile(folder / "m.rst"), c.Stored.empty() ? c.Cells : c.Stored);
        EXPECT_TRUE(parseJson(runTool({"info", (folder / "m.rst").string()}, folder).Out)["Valid"]
                        .toBool());
    }
}

TEST(RasterToolTest, ImportGridRefusesMismatchedSource)
{
    const auto folder = toolFolder();
    writeBytes(folder / "src.raw", std::string(7, '\0'));
    writeBytes(folder / "keep.rst", "old");
    const TRun run =
        runTool({"import-grid", (folder / "src.raw").string(), "--type", "integer", "--columns",
                 "2", "--rows", "2", "--extent", "0,2,0,2", "--out", (folder / "keep.rst").string()},
                folder);
    EXPECT_EQ(run.Status, 1);
    expectOneErrorLine(run, (folder / "src.raw").string() +
                                ": source grid of 2 x 2 integer cells, expected 8 bytes but got 7");
    EXPECT_EQ(readFile(folder / "keep.rst"), "old");
    EXPECT_FALSE(std::filesystem::exists(folder / "keep.rdc"));
}

TEST(RasterToolTest, MakePaletteWritesRamp)
{
    const auto folder = toolFolder();
    const std::string out = (folder / "p.smp").string();
    struct
    {
        const char* Name;
        std::vector<std::string> Args;
        int First, Last;
        std::vector<std::pair<int, std::array<int, 3>>> Entries;
    } cases[] = {
        {"greyscale", {"greyscale"}, 0, 255, {{0, {0, 0, 0}}, {127, {127, 127, 127}}, {255, {255, 255, 255}}}},
        {"elevation", {"elevation"}, 0, 255, {{0, {38, 115, 38}}, {255, {255, 255, 255}}}},
        {"stops with stretch range",
         {"10:100,50,0;20:0,50,101", "--stretch", "1,254"},
         1,
         254,
         {{0, {100, 50, 0}}, {10, {100, 50, 0}}, {15, {50, 50, 50}}, {16, {40, 50, 61}}, {255, {0, 50, 101}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> args = {"make-palette"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        args.insert(args.end(), {"--out", out});
        const TRun run = runTool(args, folder);
        ASSERT_EQ(run.Status, 0) << run.Err;
        const std::string bytes = readFile(out);
        ASSERT_EQ(bytes.size(), 786U);
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
        EXPECT_EQ(byte(11), 18);
        EXPECT_EQ(byte(12) | byte(13) << 8, 255);
        EXPECT_EQ(byte(14) | byte(15) << 8, c.First);
        EXPECT_EQ(byte(16) | byte(17) << 8, c.Last);
        for (const auto& [index, colour] : c.Entries) {
            const std::size_t at = 18 + 3 * static_cast<std::size_t>(index);
            EXPECT_EQ((std::array<int, 3>{byte(at), byte(at + 1), byte(at + 2)}), colour) << index;
        }
    }
}

} // namespace
} // namespace skyglide
