// The import of `skyglide-raster import` on a small GeoTIFF or ASCII grid
// that comes from the input. The import either refuses the source with
// TImportError and leaves nothing behind, or writes a raster pair that the
// viewer reads: the documentation is the text of what the import returned
// and describes the source's grid, the image holds every cell, and the
// surface loads. Anything else that escapes the import is a finding.
//
// Input: 1 option byte, then the source file.
//   byte 0     bit 0: an ASCII grid (".asc") rather than a GeoTIFF (".tif");
//              bits 1-3: the band to import (0: the import's own choice)

#include "FuzzSupport.h"

#include "import/GdalImport.h"
#include "import/ImportError.h"

#include "data/ImgDoc.h"
#include "data/RasterFile.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

using namespace skyglide;
using skyglide::fuzz::Check;

namespace {

// A few input bytes can declare a grid of any size; the import streams it,
// but one execution must stay small. The import itself is not capped.
constexpr long long MaxCells = 1 << 20;
constexpr int MaxBands = 16;

std::string readFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Whether GDAL sees a grid small enough to import here. A source GDAL
// cannot open goes on to the import, which must refuse it.
bool smallEnough(const std::string& source)
{
    CPLPushErrorHandler(CPLQuietErrorHandler);
    GDALDatasetH dataset = GDALOpenEx(source.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr,
                                      nullptr, nullptr);
    CPLPopErrorHandler();
    CPLErrorReset();
    if (dataset == nullptr)
        return true;
    const long long cells =
        static_cast<long long>(GDALGetRasterXSize(dataset)) * GDALGetRasterYSize(dataset);
    const int bands = GDALGetRasterCount(dataset);
    GDALClose(dataset);
    return cells <= MaxCells && bands <= MaxBands;
}

// The folder holds the source alone: no output, no temporary file.
void checkNothingBehind(const std::filesystem::path& folder)
{
    Check(std::distance(std::filesystem::directory_iterator(folder),
                        std::filesystem::directory_iterator()) == 1,
          "a refused import leaves nothing behind");
}

void checkPair(const TRasterDoc& returned, const std::string& destination,
               const std::string& documentation)
{
    Check(readFile(documentation) == DocumentationText(returned),
          "the documentation file is the text of the documentation returned");
    TImgDoc doc;
    Check(doc.ReadDoc(documentation) == TImgDoc::StatusOk,
          "the viewer reads the documentation written");
    Check(doc.Columns == returned.Columns && doc.Rows == returned.Rows,
          "the documentation describes the source's grid");
    const auto imageBytes = static_cast<std::uintmax_t>(doc.Columns) *
                            static_cast<std::uintmax_t>(doc.Rows) *
                            static_cast<std::uintmax_t>(CellBytes(doc.DataType));
    Check(std::filesystem::file_size(destination) == imageBytes, "the image holds every cell");
    Check(doc.MinValue <= doc.MaxValue, "the value range is in order");
    TRasterFile surface;
    try {
        surface.LoadSurface(destination);
    } catch (const TRasterError&) {
        Check(false, "the viewer loads the surface written");
    }
    Check(surface.Valid(), "the surface written is valid");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool configured = [] {
        // Only the files given: no side files looked for, none written.
        CPLSetConfigOption("GDAL_DISABLE_READDIR_ON_OPEN", "EMPTY_DIR");
        CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
        GDALAllRegister();
        return true;
    }();
    (void)configured;

    std::string_view input = fuzz::AsText(data, size);
    const std::uint32_t options = fuzz::TakeNumber(input, 1);
    const bool asciiGrid = (options & 1) != 0;
    const std::string source = fuzz::WriteInputFile(asciiGrid ? "source.asc" : "source.tif", input);
    const std::filesystem::path folder = std::filesystem::path(source).parent_path();
    const std::string destination = (folder / "out.rst").string();
    const std::string documentation = (folder / "out.rdc").string();
    struct TCleanUp
    {
        std::vector<std::string> Files;
        ~TCleanUp()
        {
            for (const std::string& file : Files)
                std::filesystem::remove(file);
        }
    } cleanUp{{source, destination, documentation}};
    if (!smallEnough(source))
        return 0;

    TImportOptions settings;
    settings.Band = static_cast<int>((options >> 1) & 7);
    double last = 0.0;
    settings.OnProgress = [&last](double fraction) {
        Check(fraction > last && fraction <= 1.0, "progress that grows up to 1");
        last = fraction;
        return true;
    };
    try {
        const TRasterDoc doc = ImportRaster(source, destination, settings);
        checkPair(doc, destination, documentation);
        Check(last == 1.0, "progress that ends at 1");
    } catch (const TImportError&) {
        checkNothingBehind(folder);
    }
    return 0;
}
