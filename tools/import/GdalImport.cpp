#include "import/GdalImport.h"

#include "import/ImportError.h"
#include "import/PendingFile.h"

#include "data/ImgDoc.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal_alg.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

namespace skyglide {

namespace {

/// GDAL's complaints go into our messages instead of onto the terminal.
/// While one of these lives, Reason() is GDAL's latest complaint.
class TGdalErrors
{
public:
    TGdalErrors()
    {
        static std::once_flag registered;
        std::call_once(registered, [] { GDALAllRegister(); });
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~TGdalErrors() { CPLPopErrorHandler(); }
    TGdalErrors(const TGdalErrors&) = delete;
    TGdalErrors& operator=(const TGdalErrors&) = delete;

    static std::string Reason()
    {
        std::string text = CPLGetLastErrorMsg();
        std::replace(text.begin(), text.end(), '\n', ' ');
        return text.empty() ? std::string("GDAL gave no reason") : text;
    }
};

struct TDatasetCloser
{
    void operator()(GDALDataset* dataset) const { GDALClose(GDALDataset::ToHandle(dataset)); }
};
using TDataset = std::unique_ptr<GDALDataset, TDatasetCloser>;

TDataset openSource(const std::string& source)
{
    TDataset dataset(GDALDataset::Open(source.c_str(),
                                       GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR));
    if (!dataset) {
        std::string reason = TGdalErrors::Reason();
        // Some drivers start with the file's name, which our message has already.
        if (reason.rfind(source + ": ", 0) == 0) {
            reason.erase(0, source.size() + 2);
        }
        throw TImportError("cannot open " + source + ": " + reason);
    }
    if (dataset->GetRasterCount() == 0) {
        std::string hint;
        if (const char* first =
                CSLFetchNameValue(dataset->GetMetadata("SUBDATASETS"), "SUBDATASET_1_NAME")) {
            hint = "; it holds subdatasets, e.g. " + std::string(first);
        }
        throw TImportError("cannot import " + source + ": the raster has no bands" + hint);
    }
    return dataset;
}

/// Where the grid lies on the map. Without a geotransform the cell edges
/// are the coordinates.
struct TGeometry
{
    bool Georeferenced = false;
    double MinX = 0.0;
    double MaxX = 0.0;
    double MinY = 0.0;
    double MaxY = 0.0;
    double CellWidth = 1.0;
    double CellHeight = 1.0;
    bool SouthUp = false; ///< rows stored from south to north
};

TGeometry geometryOf(GDALDataset& dataset, const std::string& source)
{
    const double columns = dataset.GetRasterXSize();
    const double rows = dataset.GetRasterYSize();
    TGeometry geometry;
    std::array<double, 6> t{};
    if (dataset.GetGeoTransform(t.data()) != CE_None) {
        CPLErrorReset();
        geometry.MaxX = columns;
        geometry.MaxY = rows;
        return geometry;
    }
    if (t[2] != 0.0 || t[4] != 0.0) {
        throw TImportError(
            "cannot import " + source + ": the grid is rotated or sheared (geotransform terms " +
            formatReal(t[2]) + " and " + formatReal(t[4]) + "), expected a north-up grid");
    }
    if (!(t[1] > 0.0) || t[5] == 0.0 || !std::isfinite(t[0]) || !std::isfinite(t[3]) ||
        !std::isfinite(t[5])) {
        throw TImportError("cannot import " + source + ": cells of " + formatReal(t[1]) + " by " +
                           formatReal(t[5]) + " map units, expected columns running west to east");
    }
    geometry.Georeferenced = true;
    geometry.SouthUp = t[5] > 0.0;
    geometry.CellWidth = t[1];
    geometry.CellHeight = std::fabs(t[5]);
    geometry.MinX = t[0];
    geometry.MaxX = t[0] + columns * t[1];
    geometry.MinY = geometry.SouthUp ? t[3] : t[3] + rows * t[5];
    geometry.MaxY = geometry.SouthUp ? t[3] + rows * t[5] : t[3];
    // Cells so large that the extent, or the cell size as the documentation
    // stores it, no longer holds a number: the viewer could not read it back.
    if (!std::isfinite(geometry.MaxX) || !std::isfinite(geometry.MinY) ||
        !std::isfinite(geometry.MaxY) ||
        geometry.CellWidth > double(std::numeric_limits<float>::max())) {
        throw TImportError("cannot import " + source + ": cells of " + formatReal(t[1]) + " by " +
                           formatReal(t[5]) + " map units give an extent beyond any number");
    }
    return geometry;
}

/// A coordinate to 15 significant digits: every decimal figure that a
/// double keeps, without the last-digit noise of the sums that gave it, so
/// that an extent written as -106.000416667 comes back as that.
std::string formatCoordinate(double value)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

/// A single as documentation text that reads back as the same single. The
/// shortest text of the largest single ("3.4028235e+38") lies just beyond
/// it as a decimal number and would make the documentation unreadable.
std::string formatDocSingle(float value)
{
    std::string text = formatSingle(value);
    float back = 0.0F;
    if (!TImgDoc::ParseReal(text, back) || back != value) {
        text = std::string(value < 0.0F ? "-" : "") + "3.40282346e+38";
    }
    return text;
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

/// A unit name as the host abbreviates it ("metre" → "m"), or as given.
std::string unitName(const std::string& name)
{
    const std::string unit = lowerCase(name);
    if (unit == "m" || unit == "metre" || unit == "meter" || unit == "metres" || unit == "meters") {
        return "m";
    }
    if (unit == "ft" || unit.find("foot") != std::string::npos ||
        unit.find("feet") != std::string::npos) {
        return "ft";
    }
    if (unit == "km" || unit == "kilometre" || unit == "kilometer") {
        return "km";
    }
    return unit;
}

struct TReference
{
    std::string System = "plane";
    std::string Units = "m";
    std::string Comment;
};

TReference referenceOf(const OGRSpatialReference* srs)
{
    TReference reference;
    if (srs == nullptr || srs->IsEmpty()) {
        return reference;
    }
    if (srs->IsGeographic()) {
        reference.System = "latlong";
        reference.Units = "deg";
        return reference;
    }
    int north = 0;
    const int zone = srs->GetUTMZone(&north);
    if (zone != 0) {
        reference.System = "utm-" + std::to_string(zone) + (north ? "n" : "s");
    } else if (const char* name = srs->GetName()) {
        // Plane coordinates of a projection the host has no short name for.
        reference.Comment = std::string("coordinate system: ") + name;
    }
    const char* units = nullptr;
    srs->GetLinearUnits(&units);
    if (units != nullptr && *units != '\0') {
        reference.Units = unitName(units);
    }
    return reference;
}

std::string exportWkt(const OGRSpatialReference* srs)
{
    if (srs == nullptr || srs->IsEmpty()) {
        return {};
    }
    char* wkt = nullptr;
    srs->exportToWkt(&wkt);
    std::string text = wkt ? wkt : "";
    CPLFree(wkt);
    return text;
}

enum class TCells { Integer, Real, Rgb24Bands, Rgb24Table };

/// What is read from the source and how it is stored.
struct TLayout
{
    TCells Cells = TCells::Real;
    int Band = 1; ///< the band of a single-band layout
    bool Flagged = false;
    double Flag = 0.0;     ///< the source's nodata value
    bool NanFlag = false;  ///< nodata is NaN: such cells take FlagCell
    float FlagCell = 0.0F; ///< the flag as a stored real cell

    int CellBytes() const { return Cells == TCells::Integer ? 2 : Cells == TCells::Real ? 4 : 3; }
};

/// A byte image of three or four bands: red, green, blue and maybe alpha.
bool isColourImage(GDALDataset& dataset)
{
    const int bands = dataset.GetRasterCount();
    for (int b = 1; b <= bands; ++b) {
        if (dataset.GetRasterBand(b)->GetRasterDataType() != GDT_Byte) {
            return false;
        }
    }
    return bands == 3 || bands == 4;
}

TLayout layoutOf(GDALDataset& dataset, const std::string& source, int band)
{
    const int bands = dataset.GetRasterCount();
    if (band < 0 || band > bands) {
        throw TImportError("cannot import " + source + ": no band " + std::to_string(band) +
                           ", it has " + std::to_string(bands));
    }
    TLayout layout;
    if (band == 0 && isColourImage(dataset)) {
        layout.Cells = TCells::Rgb24Bands;
        return layout;
    }
    layout.Band = band == 0 ? 1 : band;
    GDALRasterBand& raster = *dataset.GetRasterBand(layout.Band);
    const GDALDataType type = raster.GetRasterDataType();
    if (GDALDataTypeIsComplex(type)) {
        throw TImportError("cannot import " + source + ": band " + std::to_string(layout.Band) +
                           " holds complex numbers, expected real ones");
    }
    if (type == GDT_Byte && raster.GetColorTable() != nullptr) {
        layout.Cells = TCells::Rgb24Table;
        return layout;
    }
    int hasNoData = 0;
    const double noData = raster.GetNoDataValue(&hasNoData);
    const bool noDataFitsInteger =
        !hasNoData || (noData == std::trunc(noData) && noData >= -32768.0 && noData <= 32767.0);
    bool integer = type == GDT_Byte || type == GDT_Int16;
    if (type == GDT_UInt16 && noDataFitsInteger) {
        // Whether every valid cell fits a signed cell takes one pass more.
        std::array<double, 2> range{};
        integer = raster.ComputeRasterMinMax(FALSE, range.data()) == CE_None && range[1] <= 32767.0;
        CPLErrorReset();
    }
    layout.Cells = integer ? TCells::Integer : TCells::Real;
    if (hasNoData) {
        if (integer) {
            // A fractional nodata value matches no integer cell.
            layout.Flagged = noDataFitsInteger;
            layout.Flag = noData;
        } else {
            layout.Flagged = true;
            layout.NanFlag = std::isnan(noData);
            constexpr double largest = std::numeric_limits<float>::max();
            // Cells beyond a single's range are read saturated, and so is the flag.
            layout.FlagCell = layout.NanFlag
                                  ? -std::numeric_limits<float>::max()
                                  : static_cast<float>(std::clamp(noData, -largest, largest));
            layout.Flag = layout.FlagCell;
        }
    }
    return layout;
}

/// The lowest and highest valid value of the cells read, per channel for
/// rgb24 (red, green, blue).
struct TRange
{
    std::array<double, 3> Low{std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::infinity()};
    std::array<double, 3> High{-std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()};
    std::uint64_t Valid = 0;

    void Add(std::size_t channel, double value)
    {
        Low[channel] = std::min(Low[channel], value);
        High[channel] = std::max(High[channel], value);
    }
};

/// Rows of the source read a chunk at a time into cells of the stored type.
class TCellReader
{
public:
    TCellReader(GDALDataset& dataset, const TLayout& layout, const std::string& source)
        : m_dataset(dataset), m_layout(layout), m_source(source),
          m_columns(static_cast<std::size_t>(dataset.GetRasterXSize())),
          m_alpha(layout.Cells == TCells::Rgb24Bands && dataset.GetRasterCount() == 4 &&
                  dataset.GetRasterBand(4)->GetColorInterpretation() == GCI_AlphaBand)
    {
        if (layout.Cells == TCells::Rgb24Table) {
            const GDALColorTable& table = *dataset.GetRasterBand(layout.Band)->GetColorTable();
            const int entries = std::min(table.GetColorEntryCount(), 256);
            for (int i = 0; i < entries; ++i) {
                GDALColorEntry rgb{};
                table.GetColorEntryAsRGB(i, &rgb);
                // Stored blue, green, red.
                m_colours[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(rgb.c3),
                                                          static_cast<std::uint8_t>(rgb.c2),
                                                          static_cast<std::uint8_t>(rgb.c1)};
            }
        }
    }

    /// Reads rows [row, row + count) into `cells` (little-endian stored
    /// cells), replacing NaN nodata by the flag, and adds them to `range`.
    void Read(int row, int count, std::vector<std::uint8_t>& cells, TRange& range)
    {
        const std::size_t n = m_columns * static_cast<std::size_t>(count);
        const int columns = static_cast<int>(m_columns);
        CPLErr result = CE_None;
        switch (m_layout.Cells) {
        case TCells::Integer:
            m_integers.resize(n);
            result = band().RasterIO(GF_Read, 0, row, columns, count, m_integers.data(), columns,
                                     count, GDT_Int16, 0, 0, nullptr);
            check(result, row, count);
            addCells(m_integers, static_cast<std::int16_t>(m_layout.Flagged ? m_layout.Flag : 0.0),
                     range);
            store(m_integers, cells);
            return;
        case TCells::Real:
            m_reals.resize(n);
            result = band().RasterIO(GF_Read, 0, row, columns, count, m_reals.data(), columns,
                                     count, GDT_Float32, 0, 0, nullptr);
            check(result, row, count);
            addCells(m_reals, m_layout.FlagCell, range);
            store(m_reals, cells);
            return;
        case TCells::Rgb24Bands: {
            cells.resize(n * 3);
            // Bands 3, 2, 1 land interleaved as blue, green, red.
            std::array<int, 3> bands{3, 2, 1};
            result = m_dataset.RasterIO(GF_Read, 0, row, columns, count, cells.data(), columns,
                                        count, GDT_Byte, 3, bands.data(), 3,
                                        static_cast<GSpacing>(3 * m_columns), 1, nullptr);
            check(result, row, count);
            if (m_alpha) {
                m_indices.resize(n);
                result = m_dataset.GetRasterBand(4)->RasterIO(GF_Read, 0, row, columns, count,
                                                              m_indices.data(), columns, count,
                                                              GDT_Byte, 0, 0, nullptr);
                check(result, row, count);
            }
            addColours(cells, m_alpha ? m_indices.data() : nullptr, range);
            return;
        }
        case TCells::Rgb24Table:
            m_indices.resize(n);
            result = band().RasterIO(GF_Read, 0, row, columns, count, m_indices.data(), columns,
                                     count, GDT_Byte, 0, 0, nullptr);
            check(result, row, count);
            cells.resize(n * 3);
            for (std::size_t i = 0; i < n; ++i) {
                const auto& colour = m_colours[m_indices[i]];
                std::copy(colour.begin(), colour.end(), cells.begin() + 3 * i);
            }
            addColours(cells, nullptr, range);
            return;
        }
    }

private:
    GDALRasterBand& band() { return *m_dataset.GetRasterBand(m_layout.Band); }

    void check(CPLErr result, int row, int count) const
    {
        if (result != CE_None) {
            throw TImportError("cannot read " + m_source + ": rows " + std::to_string(row) +
                               " to " + std::to_string(row + count - 1) + ": " +
                               TGdalErrors::Reason());
        }
    }

    /// Adds the valid cells to `range`: neither the flag nor, for reals,
    /// NaN or infinity. NaN cells of a NaN nodata take the flag first.
    template <class T> void addCells(std::vector<T>& cells, T flag, TRange& range) const
    {
        T low = std::numeric_limits<T>::max();
        T high = std::numeric_limits<T>::lowest();
        std::uint64_t valid = 0;
        for (T& v : cells) {
            if constexpr (std::is_floating_point_v<T>) {
                if (m_layout.NanFlag && std::isnan(v)) {
                    v = flag;
                }
                if (!std::isfinite(v)) {
                    continue;
                }
            }
            if (m_layout.Flagged && v == flag) {
                continue;
            }
            low = std::min(low, v);
            high = std::max(high, v);
            ++valid;
        }
        if (valid > 0) {
            range.Add(0, low);
            range.Add(0, high);
            range.Valid += valid;
        }
    }

    /// Transparent pixels (alpha 0) do not count: they are not part of
    /// the picture, such as the corners of a warped image.
    static void addColours(const std::vector<std::uint8_t>& cells, const std::uint8_t* alpha,
                           TRange& range)
    {
        std::array<std::array<bool, 256>, 3> seen{};
        for (std::size_t i = 0, pixel = 0; i + 2 < cells.size(); i += 3, ++pixel) {
            if (alpha != nullptr && alpha[pixel] == 0) {
                continue;
            }
            seen[0][cells[i + 2]] = true;
            seen[1][cells[i + 1]] = true;
            seen[2][cells[i]] = true;
            ++range.Valid;
        }
        for (std::size_t channel = 0; channel < 3; ++channel) {
            for (int v = 0; v < 256; ++v) {
                if (seen[channel][static_cast<std::size_t>(v)]) {
                    range.Add(channel, v);
                }
            }
        }
    }

    template <class T>
    static void store(const std::vector<T>& values, std::vector<std::uint8_t>& cells)
    {
        cells.resize(values.size() * sizeof(T));
        std::memcpy(cells.data(), values.data(), cells.size());
        if constexpr (std::endian::native == std::endian::big) {
            GDALSwapWords(cells.data(), sizeof(T), static_cast<int>(values.size()), sizeof(T));
        }
    }

    GDALDataset& m_dataset;
    const TLayout& m_layout;
    const std::string& m_source;
    std::size_t m_columns;
    bool m_alpha;
    std::vector<std::int16_t> m_integers;
    std::vector<float> m_reals;
    std::vector<std::uint8_t> m_indices;
    std::array<std::array<std::uint8_t, 3>, 256> m_colours{};
};

/// Rows per read: whole blocks of the source, about 8 MiB of cells, never
/// more than 64 MiB however tall the source's blocks are.
int rowsPerChunk(GDALDataset& dataset, const TLayout& layout, std::size_t rowBytes)
{
    int blockWidth = 0;
    int blockHeight = 0;
    dataset.GetRasterBand(layout.Band)->GetBlockSize(&blockWidth, &blockHeight);
    const std::size_t block = static_cast<std::size_t>(std::max(blockHeight, 1));
    constexpr std::size_t wanted = std::size_t{8} << 20;
    constexpr std::size_t most = std::size_t{64} << 20;
    std::size_t rows = block * std::max<std::size_t>(1, wanted / (block * rowBytes));
    rows = std::min(rows, std::max<std::size_t>(1, most / rowBytes));
    return static_cast<int>(std::min(rows, static_cast<std::size_t>(dataset.GetRasterYSize())));
}

std::string absoluteName(const std::string& source)
{
    std::error_code error;
    if (!std::filesystem::exists(source, error)) {
        return source; // a name only GDAL knows, such as a subdataset
    }
    return std::filesystem::absolute(source, error).lexically_normal().string();
}

std::string fileNamePart(const std::string& source)
{
    const std::size_t slash = source.rfind('/');
    return slash == std::string::npos ? source : source.substr(slash + 1);
}

std::string formatOf(GDALDataset& dataset)
{
    GDALDriver* driver = dataset.GetDriver();
    const char* name = driver ? driver->GetMetadataItem(GDAL_DMD_LONGNAME) : nullptr;
    return name ? name : "unknown format";
}

/// Reads the whole source and, with a destination, writes it. `format`
/// names the source's file format in the lineage.
TRasterDoc importDataset(GDALDataset& dataset, const std::string& source, const std::string& format,
                         const std::string& destination, const TImportOptions& options,
                         const std::vector<std::string>& lineage)
{
    const TGeometry geometry = geometryOf(dataset, source);
    const TLayout layout = layoutOf(dataset, source, options.Band);
    const int columns = dataset.GetRasterXSize();
    const int rows = dataset.GetRasterYSize();
    const std::size_t rowBytes =
        static_cast<std::size_t>(columns) * static_cast<std::size_t>(layout.CellBytes());
    if (rowBytes > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw TImportError("cannot import " + source + ": rows of " + std::to_string(columns) +
                           " cells are too long, expected at most 2147483647 bytes a row");
    }

    std::optional<TPendingFile> image;
    if (!destination.empty()) {
        image.emplace(destination);
    }
    TCellReader reader(dataset, layout, source);
    TRange range;
    std::vector<std::uint8_t> cells;
    const int chunk = rowsPerChunk(dataset, layout, rowBytes);
    for (int row = 0; row < rows; row += chunk) {
        const int count = std::min(chunk, rows - row);
        reader.Read(row, count, cells, range);
        if (image && !geometry.SouthUp) {
            image->WriteAt(static_cast<std::uint64_t>(row) * rowBytes, cells.data(), cells.size());
        } else if (image) {
            for (int i = 0; i < count; ++i) {
                const auto stored = static_cast<std::uint64_t>(rows - 1 - (row + i));
                image->WriteAt(stored * rowBytes,
                               cells.data() + static_cast<std::size_t>(i) * rowBytes, rowBytes);
            }
        }
        // Each block is read once: keeping it would only grow the cache.
        dataset.FlushCache(false);
        if (options.OnProgress &&
            !options.OnProgress(static_cast<double>(row + count) / static_cast<double>(rows))) {
            throw TImportError("import of " + source + " cancelled");
        }
    }

    TRasterDoc doc;
    doc.Title = options.Title.empty() ? fileNamePart(source) : options.Title;
    doc.Columns = columns;
    doc.Rows = rows;
    const TReference reference = referenceOf(dataset.GetSpatialRef());
    doc.RefSystem = reference.System;
    doc.RefUnits = reference.Units;
    doc.Extent = {formatCoordinate(geometry.MinX), formatCoordinate(geometry.MaxX),
                  formatCoordinate(geometry.MinY), formatCoordinate(geometry.MaxY)};
    doc.Resolution = formatSingle(static_cast<float>(geometry.CellWidth));
    if (range.Valid == 0) {
        throw TImportError("cannot import " + source + ": every cell is missing data");
    }
    std::string bands;
    if (layout.Cells == TCells::Rgb24Bands || layout.Cells == TCells::Rgb24Table) {
        doc.DataType = "rgb24";
        const auto text = [](const std::array<double, 3>& v) {
            return std::to_string(static_cast<int>(v[0])) + " " +
                   std::to_string(static_cast<int>(v[1])) + " " +
                   std::to_string(static_cast<int>(v[2]));
        };
        doc.MinValue = text(range.Low);
        doc.MaxValue = text(range.High);
        bands = layout.Cells == TCells::Rgb24Bands
                    ? "bands 1, 2, 3 as red, green, blue"
                    : "band " + std::to_string(layout.Band) + " through its colour table";
    } else {
        const bool integer = layout.Cells == TCells::Integer;
        doc.DataType = integer ? "integer" : "real";
        const auto text = [&](double v) {
            return integer ? std::to_string(static_cast<int>(v))
                           : formatDocSingle(static_cast<float>(v));
        };
        doc.MinValue = text(range.Low[0]);
        doc.MaxValue = text(range.High[0]);
        if (layout.Flagged) {
            doc.FlagValue = text(layout.Flag);
            doc.FlagDefn = "missing data";
        }
        const std::string units = dataset.GetRasterBand(layout.Band)->GetUnitType();
        if (!units.empty()) {
            doc.ValueUnits = unitName(units);
        }
        bands = "band " + std::to_string(layout.Band);
    }
    doc.DisplayMin = doc.MinValue;
    doc.DisplayMax = doc.MaxValue;
    doc.Lineage.push_back("Imported from " + absoluteName(source) + " (" + format + "), " + bands);
    doc.Lineage.insert(doc.Lineage.end(), lineage.begin(), lineage.end());
    if (!reference.Comment.empty()) {
        doc.Comments.push_back(reference.Comment);
    }
    if (!geometry.Georeferenced) {
        doc.Comments.push_back("no map position in the source: the coordinates count cells");
    }

    if (image) {
        const std::string text = DocumentationText(doc);
        TPendingFile documentation(destination.substr(0, destination.size() - 4) + ".rdc");
        documentation.WriteAt(0, text.data(), text.size());
        // The documentation comes last: a pair is complete once it is there.
        image->Commit();
        documentation.Commit();
    }
    return doc;
}

bool endsWithRst(const std::string& name)
{
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".rst") == 0;
}

void checkDestination(const std::string& destination)
{
    if (!endsWithRst(destination)) {
        throw TImportError("cannot write " + destination + ": expected a file name ending in .rst");
    }
}

/// The coordinate system that a host reference-system name stands for, as
/// WKT; empty for names without one ("plane").
std::string wktOfRefSystem(const std::string& name)
{
    int code = 0;
    if (name == "latlong") {
        code = 4326;
    } else if (name.size() > 5 && name.compare(0, 4, "utm-") == 0) {
        int zone = 0;
        const char* first = name.data() + 4;
        const char* last = name.data() + name.size() - 1;
        const auto [end, error] = std::from_chars(first, last, zone);
        if (error == std::errc{} && end == last && zone >= 1 && zone <= 60 &&
            (*last == 'n' || *last == 's')) {
            code = (*last == 'n' ? 32600 : 32700) + zone;
        }
    }
    OGRSpatialReference srs;
    if (code == 0 || srs.importFromEPSG(code) != OGRERR_NONE) {
        CPLErrorReset();
        return {};
    }
    return exportWkt(&srs);
}

} // namespace

TRasterDoc ImportRaster(const std::string& source, const std::string& destination,
                        const TImportOptions& options)
{
    checkDestination(destination);
    const TGdalErrors errors;
    const TDataset dataset = openSource(source);
    return importDataset(*dataset, source, formatOf(*dataset), destination, options, {});
}

TRasterDoc DescribeRaster(const std::string& source, const TImportOptions& options)
{
    const TGdalErrors errors;
    const TDataset dataset = openSource(source);
    return importDataset(*dataset, source, formatOf(*dataset), {}, options, {});
}

TSurfaceGrid SurfaceGridOf(const std::string& surface)
{
    TSurfaceGrid grid;
    if (endsWithRst(surface)) {
        TImgDoc doc;
        const std::string name = surface.substr(0, surface.size() - 4) + ".rdc";
        if (doc.ReadDoc(name) != TImgDoc::StatusOk) {
            throw TImportError("cannot read " + name +
                               ": not a readable raster documentation file");
        }
        const TGdalErrors errors;
        grid = {doc.MinX,
                doc.MaxX,
                doc.MinY,
                doc.MaxY,
                doc.Columns,
                doc.Rows,
                wktOfRefSystem(doc.RefSystem)};
        return grid;
    }
    const TGdalErrors errors;
    const TDataset dataset = openSource(surface);
    const TGeometry geometry = geometryOf(*dataset, surface);
    return {geometry.MinX,
            geometry.MaxX,
            geometry.MinY,
            geometry.MaxY,
            dataset->GetRasterXSize(),
            dataset->GetRasterYSize(),
            exportWkt(dataset->GetSpatialRef())};
}

TRasterDoc ImportDrape(const std::string& drape, const TSurfaceGrid& grid,
                       const std::string& destination, const TImportOptions& options)
{
    checkDestination(destination);
    const TGdalErrors errors;
    const TDataset dataset = openSource(drape);
    const TGeometry geometry = geometryOf(*dataset, drape);
    const OGRSpatialReference* srs = dataset->GetSpatialRef();
    OGRSpatialReference target;
    const bool targetKnown =
        !grid.Wkt.empty() && target.importFromWkt(grid.Wkt.c_str()) == OGRERR_NONE;
    const bool reprojected =
        targetKnown && srs != nullptr && !srs->IsEmpty() && !srs->IsSame(&target);
    const auto near = [](double a, double b, double cell) { return std::fabs(a - b) <= cell / 2; };
    const bool fits = !geometry.Georeferenced ||
                      (!reprojected && near(geometry.MinX, grid.MinX, geometry.CellWidth) &&
                       near(geometry.MaxX, grid.MaxX, geometry.CellWidth) &&
                       near(geometry.MinY, grid.MinY, geometry.CellHeight) &&
                       near(geometry.MaxY, grid.MaxY, geometry.CellHeight));
    if (fits || grid.Columns <= 0 || grid.Rows <= 0) {
        return importDataset(*dataset, drape, formatOf(*dataset), destination, options, {});
    }

    // The drape's cell size on the surface's map, to keep its detail.
    double cell = geometry.CellWidth;
    if (reprojected) {
        char** transformOptions = CSLSetNameValue(nullptr, "DST_SRS", grid.Wkt.c_str());
        void* transformer = GDALCreateGenImgProjTransformer2(GDALDataset::ToHandle(dataset.get()),
                                                             nullptr, transformOptions);
        CSLDestroy(transformOptions);
        std::array<double, 6> suggested{};
        int width = 0;
        int height = 0;
        cell = 0.0;
        if (transformer != nullptr &&
            GDALSuggestedWarpOutput(GDALDataset::ToHandle(dataset.get()), GDALGenImgProjTransform,
                                    transformer, suggested.data(), &width, &height) == CE_None) {
            cell = suggested[1];
        }
        if (transformer != nullptr) {
            GDALDestroyGenImgProjTransformer(transformer);
        }
        CPLErrorReset();
    }
    const double surfaceCell = (grid.MaxX - grid.MinX) / grid.Columns;
    const int most = std::max(1, 8192 / std::max(grid.Columns, grid.Rows));
    const long split = cell > 0.0 ? std::lround(surfaceCell / cell) : 1;
    const int k = static_cast<int>(std::clamp<long>(split, 1, most));
    const int columns = grid.Columns * k;
    const int rows = grid.Rows * k;
    const int band = std::clamp(options.Band, 1, dataset->GetRasterCount());
    const bool table = dataset->GetRasterBand(band)->GetColorTable() != nullptr;
    // Colour-table indices are never blended; an image much finer than the
    // grid is averaged rather than sampled.
    const char* resampling = table ? "near" : cell * 1.5 < surfaceCell / k ? "average" : "bilinear";
    std::vector<std::string> words = {"-of",
                                      "VRT",
                                      "-te",
                                      formatReal(grid.MinX),
                                      formatReal(grid.MinY),
                                      formatReal(grid.MaxX),
                                      formatReal(grid.MaxY),
                                      "-ts",
                                      std::to_string(columns),
                                      std::to_string(rows),
                                      "-r",
                                      resampling};
    if (reprojected) {
        words.insert(words.end(), {"-t_srs", grid.Wkt});
    }
    if (options.Band == 0 && isColourImage(*dataset)) {
        // Marks what the image does not cover, which is left out of its range.
        words.push_back("-dstalpha");
    }
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    GDALWarpAppOptions* warpOptions = GDALWarpAppOptionsNew(argv.data(), nullptr);
    GDALDatasetH source = GDALDataset::ToHandle(dataset.get());
    const TDataset warped(GDALDataset::FromHandle(
        warpOptions ? GDALWarp("", nullptr, 1, &source, warpOptions, nullptr) : nullptr));
    GDALWarpAppOptionsFree(warpOptions);
    if (!warped) {
        throw TImportError("cannot fit " + drape +
                           " onto the surface's grid: " + TGdalErrors::Reason());
    }
    const std::string how = reprojected ? "warped from its own coordinate system"
                                        : std::string("resampled (") + resampling + ")";
    return importDataset(*warped, drape, formatOf(*dataset), destination, options,
                         {"Fitted onto the surface's grid, " + std::to_string(columns) + " x " +
                          std::to_string(rows) + " cells, " + how});
}

} // namespace skyglide
