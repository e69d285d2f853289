// skyglide-raster run as a user runs it: what it prints, writes and exits with.
#include "RasterToolRun.h"

#include <QColor>
#include <QImage>
#include <QJsonArray>

#include <limits>

namespace skyglide {
namespace {

using namespace skyglide::test;

TEST(RasterToolTest, InfoPrintsEveryDocumentationField)
{
    const auto folder = TestFolder();
    TStrings values = docValues("byte", 3, 2);
    values[1] = "caf\xe9 \xc3\xa9t\xc3\xa9"; // a Latin-1 byte, then UTF-8
    values[23] = "2";
    values.insert(values.end(), {"water \"deep\"", "forest", "beyond the categories"});
    const TRun run = runTool(
        {"info", WriteRaster(folder, values, "123456", "grid", {docLine("note", "tab\there")})});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const QJsonObject info = json(run.Out);
    EXPECT_EQ(info.keys().size(), 42);
    EXPECT_EQ(info["FileTitle"].toString(), "caf\u00e9 \u00e9t\u00e9");
    EXPECT_EQ(info["DataType"].toInt(), 2);
    EXPECT_EQ(info["MaxX"].toDouble(), 40.0);
    EXPECT_EQ(info["LegendCodes"].toArray(), (QJsonArray{25, 26}));
    EXPECT_EQ(info["LegendNames"].toArray(), (QJsonArray{"water \"deep\"", "forest"}));
    EXPECT_EQ(info["Comments"].toArray(), (QJsonArray{"beyond the categories", "tab\there"}));
    EXPECT_EQ(info["Status"].toInt(), 0);
    EXPECT_TRUE(info["Valid"].toBool());
}

TEST(RasterToolTest, InfoOfUnusableRasters)
{
    const auto folder = TestFolder();
    TStrings badType = docValues();
    badType[2] = "complex";
    WriteBytes(folder / "type.rdc", docText(badType));
    TStrings shortDoc = docValues();
    shortDoc.resize(9);
    WriteBytes(folder / "short.rdc", docText(shortDoc));
    WriteBytes(folder / "empty.rdc", docText(docValues("integer", 4, 0)));
    for (const char* name : {"type.rst", "short.rst", "nodoc.rst", "empty.rst"})
        WriteBytes(folder / name, "");
    const std::string f = folder.string() + "/";
    // file, "Status" in the JSON (empty: nothing printed), message
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"none.rst", "", "none.rst: cannot open raster file: No such file or directory"},
        {"nodoc.rst", "null", "nodoc.rst: documentation file " + f + "nodoc.rdc not found"},
        {"type.rst", "-1027",
         "type.rst: documentation file " + f +
             "type.rdc names data type 'complex', expected integer, real, byte, rgb24 or rgb8 "
             "(status -1027, line 3)"},
        {"short.rst", "-1137",
         "short.rst: documentation file " + f +
             "short.rdc holds a value that does not read as expected or ends early (status "
             "-1137, line 10)"},
        {"empty.rst", "0", "empty.rst: the documented grid of 4 x 0 cells holds no cell"}};
    for (const auto& [file, status, message] : cases) {
        const TRun run = runTool({"info", f + file});
        expectFailure(run, f + message);
        if (status.empty()) {
            EXPECT_EQ(run.Out, "");
        } else {
            EXPECT_NE(run.Out.find("\"Status\": " + status + ",\n"), std::string::npos) << run.Out;
        }
    }
    // Commands that read the viewer's own rasters say which extension they take.
    expectFailure(runTool({"values", f + "type.rdc"}),
                  f + "type.rdc: expected a raster file with the extension .rst");
}

TEST(RasterToolTest, HelpOfEachCommandAndVersion)
{
    for (const char* command : {"info", "values", "texture", "import", "import-grid", "make-palette"}) {
        const TRun run = runTool({command, "--help"});
        EXPECT_EQ(run.Status, 0) << command;
        EXPECT_EQ(run.Out.rfind(std::string("usage:\n  skyglide-raster ") + command + " ", 0), 0U)
            << run.Out;
        EXPECT_EQ(run.Out.find("make-palette") != std::string::npos,
                  std::string(command) == "make-palette")
            << run.Out;
    }
    const TRun version = runTool({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out.rfind("skyglide-raster ", 0), 0U) << version.Out;
}

TEST(RasterToolTest, UsageErrorsExitWithTwo)
{
    for (const char* command :
         {"draw x.rst", "info", "values x.rst --step 0", "texture x.rst",
          "texture x.rst --out a.png --out b.png", "make-palette 0:0,0,0;0:1,1,1 --out p.smp",
          "import-grid x --type byte --columns 1 --rows 1 --extent 0,1,0,1 --out y.img"}) {
        TStrings args;
        for (const QString& word : QString(command).split(' '))
            args.push_back(word.toStdString());
        const TRun run = runTool(args);
        EXPECT_EQ(run.Status, 2) << command;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
    }
    EXPECT_EQ(runTool({}).Err.rfind("usage:\n", 0), 0U);
}

TEST(RasterToolTest, ValuesPrintsDecimatedGrid)
{
    const auto folder = TestFolder();
    const std::string ints = WriteRaster(folder, docValues("integer", 3, 4),
                                         int16Cells({-300, 0, 1, 2, 3, 4, 700, 8, 900, 5, 6, 7}));
    EXPECT_EQ(runTool({"values", ints}).Out, "-300,0,1\n2,3,4\n700,8,900\n5,6,7\n");
    EXPECT_EQ(runTool({"values", ints, "--step", "2"}).Out, "-300\n700\n");
    const TRun empty = runTool({"values", ints, "--step", "5"});
    EXPECT_EQ(empty.Status, 0) << empty.Err;
    EXPECT_EQ(empty.Out, "");
    const std::string reals =
        WriteRaster(folder, docValues("real", 3, 1), floatCells({0.1F, -2.5F, 1e-7F}));
    EXPECT_EQ(runTool({"values", reals}).Out, "0.1,-2.5,1e-07\n");
}

TEST(RasterToolTest, TextureIsRgbThroughPalette)
{
    const auto folder = TestFolder();
    const std::string png = (folder / "t.png").string();
    TStrings bytes = docValues("byte", 3, 2);
    bytes[16] = bytes[18] = "255";
    WriteBytes(folder / "p.smp", paletteBytes(255, 0, 255));
    const std::string file = WriteRaster(folder, bytes, byteCells({0, 128, 255, 10, 20, 30}));
    ASSERT_EQ(
        runTool({"texture", file, "--palette", (folder / "p.smp").string(), "--out", png}).Status,
        0);
    QImage image(QString::fromStdString(png));
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_FALSE(image.hasAlphaChannel());
    // Palette entry i is (i, 255 − i, i / 2).
    EXPECT_EQ(image.pixelColor(1, 0), QColor(128, 127, 64));
    EXPECT_EQ(image.pixelColor(2, 1), QColor(30, 225, 15));
    ASSERT_EQ(runTool({"texture", file, "--step", "2", "--out", png}).Status, 0);
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(1, 1));
    expectFailure(runTool({"texture", file, "--palette", png + ".smp", "--out", png}),
                  png + ".smp: cannot open palette file: No such file or directory");
    expectFailure(runTool({"texture", file, "--step", "3", "--out", png}),
                  file + ": no texture to write, the grid of 3 x 2 cells at step 3 is empty");

    TStrings rgb = docValues("rgb24", 2, 1);
    rgb[15] = rgb[17] = "0 0 0";
    rgb[16] = rgb[18] = "255 255 255";
    const std::string colours = WriteRaster(folder, rgb, byteCells({10, 20, 30, 200, 100, 0}));
    ASSERT_EQ(runTool({"texture", colours, "--out", png}).Status, 0);
    image.load(QString::fromStdString(png));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(30, 20, 10)); // cells are blue, green, red
    EXPECT_EQ(image.pixelColor(1, 0), QColor(0, 100, 200));
}

/// import-grid of a 2 x 2 source grid into folder/m.rst.
TRun importGrid(const std::filesystem::path& folder, const char* type, const std::string& cells,
                const TStrings& options = {})
{
    WriteBytes(folder / "src.raw", cells);
    TStrings args = {"import-grid", (folder / "src.raw").string(),
                     "--type",      type,
                     "--columns",   "2",
                     "--rows",      "2",
                     "--out",       (folder / "m.rst").string()};
    args.insert(args.end(), options.begin(), options.end());
    if (std::find(args.begin(), args.end(), "--extent") == args.end())
        args.insert(args.end(), {"--extent", "0,2,0,2"});
    return runTool(args);
}

TEST(RasterToolTest, ImportGridWritesRasterThatReadsBack)
{
    const auto folder = TestFolder();
    const std::string out = (folder / "m.rst").string();
    const TStrings options = {"--extent", "-106.5,-104.5,37,38", "--ref-system",
                              "latlong",  "--comment",           "note"};
    ASSERT_EQ(importGrid(folder, "integer", int16Cells({5, -7, 900, 12}), options).Status, 0);
    EXPECT_EQ(ReadBytes(folder / "m.rdc").substr(0, 34), "file format : Kartova Raster A.1\r\n");
    const QJsonObject info = json(runTool({"info", out}).Out);
    EXPECT_TRUE(info["Valid"].toBool());
    EXPECT_EQ(info["MinX"].toDouble(), -106.5);
    EXPECT_EQ(info["Resolution"].toDouble(), 1.0);
    EXPECT_EQ(info["DisplayMax"].toDouble(), 900.0);
    EXPECT_EQ(info["Comments"].toArray(), QJsonArray{"note"});
    EXPECT_EQ(runTool({"values", out}).Out, "5,-7\n900,12\n");

    // A source of the wrong size is refused and leaves the old output alone.
    expectFailure(importGrid(folder, "integer", std::string(7, '\0')),
                  (folder / "src.raw").string() +
                      ": source grid of 2 x 2 integer cells, expected 8 bytes but got 7");
    EXPECT_EQ(ReadBytes(out), int16Cells({5, -7, 900, 12}));
}

TEST(RasterToolTest, ImportGridRangesPerCellType)
{
    const auto folder = TestFolder();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string rgb = byteCells({10, 20, 30, 40, 50, 60, 1, 2, 3, 250, 240, 230});
    // type, source cells, options, min. value, max. value, display min, image file
    // clang-format off
    const std::vector<std::tuple<const char*, std::string, TStrings, const char*, const char*,
                                 const char*, std::string>> cases = {
        {"real", floatCells({2.5F, nan, -1.25F, 8.0F}), {}, "-1.25", "8", "-1.25", ""},
        {"integer", int16Cells({1, 2, 3, 4}), {"--value-range", "0,5000", "--display", "1,4.5"},
         "0", "5000", "1", ""},
        {"rgb24", rgb, {}, "1 2 3", "250 240 230", "1 2 3",
         byteCells({30, 20, 10, 60, 50, 40, 3, 2, 1, 230, 240, 250})},
        {"rgb24", rgb, {"--source-order", "bgr"}, "3 2 1", "230 240 250", "3 2 1", ""}};
    // clang-format on
    for (const auto& [type, cells, options, low, high, display, stored] : cases) {
        ASSERT_EQ(importGrid(folder, type, cells, options).Status, 0) << type;
        const std::string doc = ReadBytes(folder / "m.rdc");
        EXPECT_NE(doc.find(docLine("min. value  :", low) + docLine("max. value  :", high) +
                           docLine("display min :", display)),
                  std::string::npos)
            << doc;
        EXPECT_EQ(ReadBytes(folder / "m.rst"), stored.empty() ? cells : stored);
    }
}

// The bundled ramps are checked byte for byte with the samples below; here
// a ramp of the user's own.
TEST(RasterToolTest, MakePaletteWritesRamp)
{
    const std::string out = (TestFolder() / "p.smp").string();
    ASSERT_EQ(
        runTool({"make-palette", "10:100,50,0;20:0,50,101", "--stretch", "1,254", "--out", out})
            .Status,
        0);
    const std::string bytes = ReadBytes(out);
    ASSERT_EQ(bytes.size(), 786U);
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    EXPECT_EQ((std::array<int, 4>{at(11), at(12) | at(13) << 8, at(14) | at(15) << 8,
                                  at(16) | at(17) << 8}),
              (std::array<int, 4>{18, 255, 1, 254}));
    // index, red, green, blue
    for (const auto& [index, red, green, blue] :
         {std::array{0, 100, 50, 0}, {15, 50, 50, 50}, {16, 40, 50, 61}, {255, 0, 50, 101}}) {
        const std::size_t i = 18 + 3 * static_cast<std::size_t>(index);
        EXPECT_EQ((std::array<int, 3>{at(i), at(i + 1), at(i + 2)}),
                  (std::array<int, 3>{red, green, blue}))
            << "entry " << index;
    }
}

// The committed samples are exactly what samples/regenerate makes from the
// shared terrain data, so a change to the tool or to its commands that alters
// them is caught.
TEST(RasterToolTest, RegeneratesTheSamplesByteForByte)
{
    const std::filesystem::path samples = std::filesystem::path(Sample("x")).parent_path();
    // The shared data folder beside the checkout, unless SKYGLIDE_SHARED_DATA names one.
    const char* sharedEnv = std::getenv("SKYGLIDE_SHARED_DATA");
    const std::filesystem::path shared =
        sharedEnv ? std::filesystem::path(sharedEnv)
                  : samples.parent_path().parent_path() / "shared" / "data";
    // group, its sources in the shared folder, the samples it makes
    const std::tuple<const char*, TStrings, TStrings> groups[] = {
        {"palettes", {}, {"palettes/greyscale.smp", "palettes/elevation.smp"}},
        {"olinda",
         {"olinda_dem_utm25s.f32", "olinda_L7_ETM_rgb.rgb"},
         {"olinda.rst", "olinda.rdc", "olinda_drape.rst", "olinda_drape.rdc"}},
        {"trinidad", {"trinidad_co_usgs_1deg_dem.i16"}, {"trinidad.rst", "trinidad.rdc"}}};
    const auto folder = TestFolder();
    bool skipped = false;
    for (const auto& [group, sources, files] : groups) {
        if (std::any_of(sources.begin(), sources.end(),
                        [&](const auto& s) { return !std::filesystem::exists(shared / s); })) {
            skipped = true;
            continue;
        }
        const TRun run =
            runProgram(QString::fromStdString((samples / "regenerate").string()),
                       {ProgramPath("").toStdString(), shared.string(), folder.string(), group});
        ASSERT_EQ(run.Status, 0) << run.Err;
        for (const auto& file : files) {
            const std::string made = ReadBytes(folder / file);
            EXPECT_TRUE(!made.empty() && made == ReadBytes(samples / file))
                << "samples/" << file << " differs from what samples/regenerate makes";
        }
    }
    if (skipped)
        GTEST_SKIP() << "not every source is present under " << shared;
}

} // namespace
} // namespace skyglide
