// import-grid: turns a raw, headerless grid into an image file and its
// documentation, as the host would write them.
#include "Commands.h"

#include "import/ImportError.h"
#include "import/PendingFile.h"

#include "data/Endian.h"
#include "data/FileIO.h"
#include "data/ImgDoc.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <tuple>

namespace skyglide::rastertool {

namespace {

struct TCellType
{
    const char* Name;
    std::int16_t DataType;
    int Bytes;
};

constexpr std::array<TCellType, 4> CellTypes = {{
    {"integer", dtInteger, 2},
    {"real", dtReal, 4},
    {"byte", dtByte, 1},
    {"rgb24", dtRgb24, 3},
}};

/// The lowest and highest value of the cells as documentation text: one
/// number for a single-value type, "red green blue" for rgb24.
std::pair<std::string, std::string> valueRange(const std::string& cells, const TCellType& type)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(cells.data());
    const std::size_t count = cells.size() / static_cast<std::size_t>(type.Bytes);
    switch (type.DataType) {
    case dtInteger: {
        int lo = 32767;
        int hi = -32768;
        for (std::size_t i = 0; i < count; ++i, p += 2) {
            const int v = LittleEndianInt16(p);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        return count ? std::pair{std::to_string(lo), std::to_string(hi)}
                     : std::pair{std::string("0"), std::string("0")};
    }
    case dtReal: {
        float lo = std::numeric_limits<float>::infinity();
        float hi = -lo;
        for (std::size_t i = 0; i < count; ++i, p += 4) {
            const float v = LittleEndianSingle(p);
            if (std::isfinite(v)) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        if (lo > hi) {
            lo = hi = 0.0F;
        }
        return {formatSingle(lo), formatSingle(hi)};
    }
    case dtByte: {
        int lo = 255;
        int hi = 0;
        for (std::size_t i = 0; i < count; ++i) {
            lo = std::min<int>(lo, p[i]);
            hi = std::max<int>(hi, p[i]);
        }
        return count ? std::pair{std::to_string(lo), std::to_string(hi)}
                     : std::pair{std::string("0"), std::string("0")};
    }
    default: {
        // Cells are blue, green, red; the documentation lists red first.
        std::array<int, 3> lo{255, 255, 255};
        std::array<int, 3> hi{0, 0, 0};
        for (std::size_t i = 0; i < count; ++i, p += 3) {
            for (int k = 0; k < 3; ++k) {
                const auto channel = static_cast<std::size_t>(2 - k);
                lo[channel] = std::min<int>(lo[channel], p[k]);
                hi[channel] = std::max<int>(hi[channel], p[k]);
            }
        }
        if (count == 0) {
            lo = hi = {0, 0, 0};
        }
        const auto text = [](const std::array<int, 3>& v) {
            return std::to_string(v[0]) + " " + std::to_string(v[1]) + " " + std::to_string(v[2]);
        };
        return {text(lo), text(hi)};
    }
    }
}

std::pair<std::string, std::string> givenRange(const TOptions& options, const std::string& name,
                                               const TCellType& type)
{
    const std::string option = "--" + name;
    if (type.DataType == dtRgb24) {
        throw TUsageError(option +
                          " is not taken for rgb24 cells: their range is read per channel");
    }
    const auto parts = splitList(options.get(name), ',', 2, option);
    return {formatReal(toReal(parts[0], option)), formatReal(toReal(parts[1], option))};
}

} // namespace

int runImportGrid(const TArgs& args)
{
    const TOptions options = TOptions::parse(
        args, {"type", "columns", "rows", "extent", "ref-system", "ref-units", "value-units",
               "value-range", "display", "source-order", "title", "lineage", "comment", "out"});
    const std::string source = options.operand("source grid");
    const std::string typeName = options.require("type");
    const auto type = std::find_if(CellTypes.begin(), CellTypes.end(),
                                   [&](const TCellType& t) { return typeName == t.Name; });
    if (type == CellTypes.end()) {
        throw TUsageError("--type: expected integer, real, byte or rgb24 but got '" + typeName +
                          "'");
    }
    const auto maxCount = std::numeric_limits<std::int32_t>::max();
    const long long columns = toInteger(options.require("columns"), "--columns", 1, maxCount);
    const long long rows = toInteger(options.require("rows"), "--rows", 1, maxCount);
    const auto extentParts = splitList(options.require("extent"), ',', 4, "--extent");
    std::array<double, 4> extent{};
    for (std::size_t i = 0; i < 4; ++i) {
        extent[i] = toReal(extentParts[i], "--extent");
    }
    if (!(extent[0] < extent[1]) || !(extent[2] < extent[3])) {
        throw TUsageError(
            "--extent: expected MINX,MAXX,MINY,MAXY with MINX < MAXX and MINY < MAXY");
    }
    const std::string order = options.get("source-order", "rgb");
    if (order != "rgb" && order != "bgr") {
        throw TUsageError("--source-order: expected rgb or bgr but got '" + order + "'");
    }
    const std::string out = options.require("out");
    if (out.size() < 5 || out.compare(out.size() - 4, 4, ".rst") != 0) {
        throw TUsageError("--out: expected a file name ending in .rst but got '" + out + "'");
    }

    // Read the source only once its size is known to match the grid.
    TReadOnlyFile file;
    file.OpenOrThrow(source, "source grid");
    const std::uint64_t expected = static_cast<std::uint64_t>(columns) *
                                   static_cast<std::uint64_t>(rows) *
                                   static_cast<std::uint64_t>(type->Bytes);
    if (file.Size() != expected) {
        throw TCommandError(source + ": source grid of " + std::to_string(columns) + " x " +
                            std::to_string(rows) + " " + type->Name + " cells, expected " +
                            std::to_string(expected) + " bytes but got " +
                            std::to_string(file.Size()));
    }
    std::string cells(static_cast<std::size_t>(expected), '\0');
    if (file.ReadAt(0, cells.data(), cells.size()) != cells.size()) {
        throw TCommandError(source + ": source grid shorter than " + std::to_string(expected) +
                            " bytes while reading");
    }
    file.Close();
    if (type->DataType == dtRgb24 && order == "rgb") {
        for (std::size_t i = 0; i + 2 < cells.size(); i += 3) {
            std::swap(cells[i], cells[i + 2]);
        }
    }

    const auto range = options.has("value-range") ? givenRange(options, "value-range", *type)
                                                  : valueRange(cells, *type);
    const auto display = options.has("display") ? givenRange(options, "display", *type) : range;
    const double resolution = (extent[1] - extent[0]) / static_cast<double>(columns);

    TRasterDoc doc;
    doc.Title = options.get("title");
    doc.DataType = type->Name;
    doc.Columns = columns;
    doc.Rows = rows;
    doc.RefSystem = options.get("ref-system", "plane");
    doc.RefUnits = options.get("ref-units", "m");
    for (std::size_t i = 0; i < 4; ++i) {
        doc.Extent[i] = formatReal(extent[i]);
    }
    doc.Resolution = formatSingle(static_cast<float>(resolution));
    std::tie(doc.MinValue, doc.MaxValue) = range;
    std::tie(doc.DisplayMin, doc.DisplayMax) = display;
    doc.ValueUnits = options.get("value-units", "unspecified");
    doc.Lineage = options.all("lineage");
    doc.Comments = options.all("comment");
    std::string text;
    try {
        text = DocumentationText(doc);
    } catch (const TImportError& error) {
        throw TUsageError(error.what());
    }

    WriteFileAtomically(out, cells);
    WriteFileAtomically(out.substr(0, out.size() - 4) + ".rdc", text);
    return 0;
}

} // namespace skyglide::rastertool
