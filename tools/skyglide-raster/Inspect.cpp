// The commands that show what the viewer would read: info and values.
#include "Inspect.h"
#include "Commands.h"

#include "data/RasterFile.h"

#include <cmath>
#include <iostream>
#include <sstream>

namespace skyglide::rastertool {

namespace {

/// JSON string literal; bytes that are not UTF-8 are taken as Latin-1, so a
/// documentation file in an older code page still prints as valid JSON.
std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c < 0x20) {
            static const char* hex = "0123456789abcdef";
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        std::size_t length = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
        }
        bool valid = length > 0 && i + length <= n;
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (p[i + k] & 0xC0) == 0x80;
        }
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        }
    }
    out += '"';
    return out;
}

std::string jsonNumber(double value)
{
    return std::isfinite(value) ? formatReal(value) : "null";
}

std::string jsonSingle(float value)
{
    return std::isfinite(value) ? formatSingle(value) : "null";
}

std::string jsonBool(bool value)
{
    return value ? "true" : "false";
}

std::string jsonList(const std::vector<std::string>& items)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += (i ? ", " : "") + jsonString(items[i]);
    }
    return out + "]";
}

// Throws TCommandError naming the file and the system's reason when it cannot
// be opened for reading.
void checkReadable(const std::string& fileName)
{
    TReadOnlyFile file;
    std::string reason;
    if (!file.Open(fileName, reason)) {
        throw TCommandError(fileName + ": cannot open raster file: " + reason);
    }
}

// Every documentation field under its own name, then "Status" and "Valid".
std::string docJson(const TImgDoc& d, std::optional<int> status, bool valid)
{
    std::ostringstream out;
    const auto field = [&](const char* name, const std::string& value, bool last = false) {
        out << "  \"" << name << "\": " << value << (last ? "\n" : ",\n");
    };
    out << "{\n";
    field("FileFormat", jsonString(d.FileFormat));
    field("FileTitle", jsonString(d.FileTitle));
    field("DataType", std::to_string(d.DataType));
    field("FileType", std::to_string(d.FileType));
    field("Columns", std::to_string(d.Columns));
    field("Rows", std::to_string(d.Rows));
    field("RefSystem", jsonString(d.RefSystem));
    field("RefUnits", jsonString(d.RefUnits));
    field("UnitDist", jsonNumber(d.UnitDist));
    field("MinX", jsonNumber(d.MinX));
    field("MaxX", jsonNumber(d.MaxX));
    field("MinY", jsonNumber(d.MinY));
    field("MaxY", jsonNumber(d.MaxY));
    field("PosnError", jsonSingle(d.PosnError));
    field("PosnErrorKnown", jsonBool(d.PosnErrorKnown));
    field("Resolution", jsonSingle(d.Resolution));
    field("ResolutionKnown", jsonBool(d.ResolutionKnown));
    field("MinValue", jsonSingle(d.MinValue));
    field("MinValueText", jsonString(d.MinValueText));
    field("MaxValue", jsonSingle(d.MaxValue));
    field("MaxValueText", jsonString(d.MaxValueText));
    field("DisplayMin", jsonSingle(d.DisplayMin));
    field("DisplayMinText", jsonString(d.DisplayMinText));
    field("DisplayMax", jsonSingle(d.DisplayMax));
    field("DisplayMaxText", jsonString(d.DisplayMaxText));
    field("ValueUnits", jsonString(d.ValueUnits));
    field("ValueError", jsonSingle(d.ValueError));
    field("ValueErrorKnown", jsonBool(d.ValueErrorKnown));
    field("FlagValue", jsonSingle(d.FlagValue));
    field("FlagDefn", jsonString(d.FlagDefn));
    field("FlagValueKnown", jsonBool(d.FlagValueKnown));
    field("LegendCats", std::to_string(d.LegendCats));
    std::string codes = "[";
    std::string names = "[";
    for (int i = 0; i < d.LegendCats; ++i) {
        const auto k = static_cast<std::size_t>(i);
        codes += (i ? ", " : "") + std::to_string(d.LegendCodes[k]);
        names += (i ? ", " : "") + jsonString(d.LegendNames[k]);
    }
    field("LegendCodes", codes + "]");
    field("LegendNames", names + "]");
    field("Comments", jsonList(d.Comments));
    field("Lineage", jsonList(d.Lineage));
    field("Completeness", jsonList(d.Completeness));
    field("Consistency", jsonList(d.Consistency));
    field("ErrorText", jsonString(d.ErrorText));
    field("ErrorText2", jsonString(d.ErrorText2));
    field("Status", status ? std::to_string(*status) : "null");
    field("Valid", jsonBool(valid), true);
    out << "}\n";
    return out.str();
}

} // namespace

void openValidRaster(TRasterFile& raster, const std::string& fileName)
{
    checkReadable(fileName);
    raster.SetFileName(fileName);
    if (const std::string reason = raster.UnusableReason(); !reason.empty()) {
        throw TCommandError(reason);
    }
}

int runInfo(const TArgs& args)
{
    const TOptions options = TOptions::parse(args, {"band", "title"});
    const std::string file = options.operand("raster file");
    if (file.size() < 5 || file.compare(file.size() - 4, 4, ".rst") != 0) {
        // A foreign raster: the documentation its import would write.
        TImgDoc doc;
        const int status =
            doc.ReadDocText(DocumentationText(DescribeRaster(file, parseImportOptions(options))),
                            file);
        std::cout << docJson(doc, status, status == TImgDoc::StatusOk) << std::flush;
        return 0;
    }
    if (options.has("band") || options.has("title")) {
        throw TUsageError("--band and --title are taken for foreign rasters only");
    }
    checkReadable(file);
    TRasterFile raster;
    raster.SetFileName(file);
    std::cout << docJson(raster.Doc(), raster.DocStatus(), raster.Valid()) << std::flush;
    if (const std::string reason = raster.UnusableReason(); !reason.empty()) {
        throw TCommandError(reason);
    }
    return 0;
}

int runValues(const TArgs& args)
{
    const TOptions options = TOptions::parse(args, {"step"});
    const std::string file = options.operand("raster file");
    const unsigned step = parseStep(options);
    TRasterFile raster;
    openValidRaster(raster, file);
    raster.SetStep(static_cast<std::uint16_t>(step));
    raster.LoadSurface({});
    const bool real = raster.Bitmap().PixelFormat() == TPixelFormat::pf32bit;
    std::string line;
    for (int r = 0; r < raster.Bitmap().Height(); ++r) {
        line.clear();
        for (int c = 0; c < raster.Bitmap().Width(); ++c) {
            double value = 0.0;
            raster.GetValue(c, r, value);
            if (c) {
                line += ',';
            }
            line += real ? formatSingle(static_cast<float>(value)) : formatReal(value);
        }
        line += '\n';
        std::cout << line;
    }
    std::cout.flush();
    if (!std::cout) {
        throw TCommandError("standard output: write error");
    }
    return 0;
}

} // namespace skyglide::rastertool
