// skyglide-raster import and info of foreign rasters, made inside each test
// from the bundled samples with GDAL's own programs.
#include "../SampleRasters.h"
#include "RasterToolRun.h"

#include "data/ImgDoc.h"

#include <QJsonArray>

#include <cmath>
#include <cstring>

namespace skyglide {
namespace {

using namespace skyglide::test;

/// Runs a GDAL program, which must succeed.
void gdal(const std::string& program, const TStrings& args)
{
    const TRun run = runProgram(QString::fromStdString(program), args);
    ASSERT_EQ(run.Status, 0) << program << ": " << run.Err;
}

/// The cells of an image file as numbers, by the documented data type.
std::vector<double> cellValues(const std::string& rst)
{
    TImgDoc doc;
    EXPECT_EQ(doc.ReadDoc(rst.substr(0, rst.size() - 4) + ".rdc"), TImgDoc::StatusOk);
    const std::string bytes = ReadBytes(rst);
    std::vector<double> values;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += doc.DataType == dtInteger ? 2 : 4) {
        if (doc.DataType == dtInteger) {
            std::int16_t v = 0;
            std::memcpy(&v, bytes.data() + i, 2);
            values.push_back(v);
        } else {
            float v = 0.0F;
            std::memcpy(&v, bytes.data() + i, 4);
            values.push_back(v);
        }
    }
    return values;
}

TEST(ImportTest, RoundTripsOfTheElevationSample)
{
    const auto folder = TestFolder();
    const std::string vrt = sampleVrt(folder, "trinidad");
    TImgDoc sample;
    sample.ReadDoc(Sample("trinidad.rdc"));
    const std::vector<double> cells = cellValues(Sample("trinidad.rst"));
    const double cell = (sample.MaxX - sample.MinX) / sample.Columns;
    // source made by, GDAL program and its options, stored type
    const struct
    {
        const char* Name;
        TStrings Make;
        const char* Type;
        int Columns = 2401;
    } cases[] = {
        {"dem.tif", {}, "integer"},
        {"deflate.tif", {"-co", "TILED=YES", "-co", "COMPRESS=DEFLATE"}, "integer"},
        {"dem.asc", {"-of", "AAIGrid"}, "real"}, // whole numbers of 32 bits
        {"N37W106.hgt", {"-of", "SRTMHGT", "-srcwin", "0", "0", "1201", "1201"}, "integer", 1201},
        {"trinidad.vrt", {}, "integer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string source = (folder / c.Name).string();
        if (source != vrt) {
            TStrings args = c.Make;
            args.insert(args.end(), {"-q", vrt, source});
            gdal("gdal_translate", args);
        }
        const std::string out = (folder / "out.rst").string();
        const TRun run = runTool({"import", source, out});
        ASSERT_EQ(run.Status, 0) << run.Err;
        TImgDoc doc;
        ASSERT_EQ(doc.ReadDoc((folder / "out.rdc").string()), TImgDoc::StatusOk);
        EXPECT_EQ(doc.DataType, std::string(c.Type) == "integer" ? dtInteger : dtReal);
        EXPECT_EQ(doc.RefSystem, "latlong");
        const double maxX = sample.MinX + c.Columns * cell;
        for (const auto& [got, wanted] : {std::pair{doc.MinX, sample.MinX},
                                          {doc.MaxX, maxX},
                                          {doc.MinY, sample.MinY},
                                          {doc.MaxY, sample.MaxY}})
            EXPECT_NEAR(got, wanted, cell / 1000);
        std::vector<double> expected;
        for (int r = 0; r < sample.Rows; ++r)
            expected.insert(expected.end(), cells.begin() + r * sample.Columns,
                            cells.begin() + r * sample.Columns + c.Columns);
        EXPECT_TRUE(cellValues(out) == expected);
        const std::pair<int, int> range{static_cast<int>(doc.MinValue),
                                        static_cast<int>(doc.MaxValue)};
        EXPECT_EQ(range, (std::pair{c.Columns == 2401 ? 1359 : 1951, 4322}));
    }
}

TEST(ImportTest, RealCellsWithHolesAndReferenceSystems)
{
    const auto folder = TestFolder();
    const std::string vrt = sampleVrt(folder, "olinda");
    const std::vector<double> cells = cellValues(Sample("olinda.rst"));
    double low = 1e9;
    for (const double v : cells)
        if (v != 0.0)
            low = std::min(low, v);
    const std::string holes = (folder / "holes.tif").string();
    const std::string nan = (folder / "nan.tif").string();
    const std::string mercator = (folder / "mercator.tif").string();
    gdal("gdal_translate", {"-q", "-a_nodata", "0", vrt, holes});
    gdal("gdalwarp", {"-q", "-srcnodata", "0", "-dstnodata", "nan", holes, nan});
    gdal("gdal_translate", {"-q", "-a_srs", "EPSG:3857", vrt, mercator});
    // source, flag value, cell stored for a hole, ref. system
    const std::tuple<std::string, std::string, float, std::string> cases[] = {
        {holes, "0", 0.0F, "utm-25s"},
        {nan, "-3.40282346e+38", -std::numeric_limits<float>::max(), "utm-25s"},
        {mercator, "none", 0.0F, "plane"},
    };
    for (const auto& [source, flag, hole, system] : cases) {
        SCOPED_TRACE(source);
        const std::string out = (folder / "out.rst").string();
        ASSERT_EQ(runTool({"import", source, out}).Status, 0);
        const QJsonObject info = json(runTool({"info", out}).Out);
        EXPECT_TRUE(info["Valid"].toBool()) << "the viewer reads the documentation";
        EXPECT_EQ(info["DataType"].toInt(), dtReal);
        EXPECT_EQ(info["RefSystem"].toString().toStdString(), system);
        EXPECT_EQ(info["RefUnits"].toString(), "m");
        const std::string doc = ReadBytes(folder / "out.rdc");
        EXPECT_NE(doc.find(docLine("flag value  :", flag)), std::string::npos) << doc;
        EXPECT_EQ(info["FlagDefn"].toString(), flag == "none" ? "none" : "missing data");
        EXPECT_EQ(info["MinValue"].toDouble(), flag == "none" ? -1.0 : low);
        EXPECT_EQ(info["MaxValue"].toDouble(), 88.0);
        std::vector<double> expected = cells;
        for (double& v : expected)
            if (v == 0.0)
                v = hole;
        EXPECT_TRUE(cellValues(out) == expected);
    }
    EXPECT_EQ(json(runTool({"info", mercator}).Out)["Comments"].toArray(),
              QJsonArray{"coordinate system: WGS 84 / Pseudo-Mercator"});
}

TEST(ImportTest, ColourImagesBecomeRgbDrapes)
{
    const auto folder = TestFolder();
    const std::string vrt = sampleVrt(folder, "olinda_drape");
    const std::string rgba = (folder / "rgba.tif").string();
    gdal("gdal_translate",
         {"-q", "-b", "1", "-b", "2", "-b", "3", "-b", "1", "-colorinterp_4", "alpha", vrt, rgba});
    // The red band through a colour table whose entry i is (i, 255 − i, i / 2).
    std::string table = ReadBytes(vrt);
    std::string entries = "<ColorInterp>Palette</ColorInterp><ColorTable>";
    for (int i = 0; i < 256; ++i)
        entries += "<Entry c1=\"" + std::to_string(i) + "\" c2=\"" + std::to_string(255 - i) +
                   "\" c3=\"" + std::to_string(i / 2) + "\" c4=\"255\"/>";
    table.insert(table.find("<SourceFilename>"), entries + "</ColorTable>");
    table.erase(table.find("<VRTRasterBand", table.find("</VRTRasterBand>")),
                table.rfind("</VRTDataset>") -
                    table.find("<VRTRasterBand", table.find("</VRTRasterBand>")));
    WriteBytes(folder / "table.vrt", table);
    const std::string paletted = (folder / "paletted.tif").string();
    gdal("gdal_translate", {"-q", (folder / "table.vrt").string(), paletted});

    const std::string sample = ReadBytes(Sample("olinda_drape.rst"));
    std::string fromTable = sample;
    for (std::size_t i = 0; i + 2 < sample.size(); i += 3) {
        const auto red = static_cast<unsigned char>(sample[i + 2]);
        fromTable[i] = static_cast<char>(red / 2);
        fromTable[i + 1] = static_cast<char>(255 - red);
        fromTable[i + 2] = static_cast<char>(red);
    }
    for (const auto& [source, expected] : {std::pair{rgba, sample}, {paletted, fromTable}}) {
        SCOPED_TRACE(source);
        ASSERT_EQ(runTool({"import", source, (folder / "out.rst").string()}).Status, 0);
        EXPECT_NE(ReadBytes(folder / "out.rdc").find(docLine("data type   :", "rgb24")),
                  std::string::npos);
        EXPECT_TRUE(ReadBytes(folder / "out.rst") == expected);
    }
    // info prints what the import wrote.
    EXPECT_EQ(runTool({"info", paletted}).Out,
              runTool({"info", (folder / "out.rst").string()}).Out);
}

TEST(ImportTest, RefusedWithOneLineAndNoOutput)
{
    const auto folder = TestFolder();
    const std::string vrt = sampleVrt(folder, "olinda");
    std::string rotated = ReadBytes(vrt);
    rotated.replace(rotated.find(",0,"), 3, ",5,");
    WriteBytes(folder / "rotated.vrt", rotated);
    const std::string two = (folder / "two.vrt").string();
    gdal("gdalbuildvrt", {"-q", "-separate", two, vrt, vrt});
    gdal("gdal_translate", {"-q", "-of", "netCDF", two, (folder / "two.nc").string()});
    gdal("gdal_translate", {"-q", "-a_nodata", "7", "-scale", "0", "1", "7", "7", vrt,
                            (folder / "missing.tif").string()});
    WriteBytes(folder / "words.txt", "not a raster\n");
    const std::string f = folder.string() + "/";
    const std::pair<std::string, std::string> cases[] = {
        {"rotated.vrt", "cannot import " + f +
                            "rotated.vrt: the grid is rotated or sheared (geotransform terms 5 "
                            "and 0), expected a north-up grid"},
        {"two.nc", "cannot import " + f +
                       "two.nc: the raster has no bands; it holds "
                       "subdatasets, e.g. NETCDF:\"" +
                       f + "two.nc\":Band1"},
        {"missing.tif", "cannot import " + f + "missing.tif: every cell is missing data"},
        {"words.txt", "cannot open " + f + "words.txt: `" + f +
                          "words.txt' not recognized as a supported "
                          "file format."},
    };
    std::filesystem::create_directory(folder / "out");
    for (const auto& [source, message] : cases) {
        const TRun run = runTool({"import", f + source, f + "out/x.rst"});
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Err, "skyglide-raster import: " + message + "\n");
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder / "out")) << "nothing written, nothing left";
    const TRun unwritable = runTool({"import", vrt, f + "none/x.rst"});
    EXPECT_EQ(unwritable.Err, "skyglide-raster import: cannot write " + f +
                                  "none/x.rst: No such file or directory\n");
}

} // namespace
} // namespace skyglide
