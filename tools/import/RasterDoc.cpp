#include "import/RasterDoc.h"

#include "import/ImportError.h"

#include "data/ImgDoc.h"

#include <charconv>

namespace skyglide {

namespace {

std::string docLine(const char* label, const std::string& value)
{
    if (value.find_first_of("\r\n") != std::string::npos) {
        throw TImportError(std::string(label) + ": a documentation value must be one line");
    }
    std::string line(label);
    line.resize(TImgDoc::LabelWidth - 2, ' ');
    return line + ": " + value + "\r\n";
}

} // namespace

std::string DocumentationText(const TRasterDoc& doc)
{
    std::string text;
    text += docLine("file format", "Kartova Raster A.1");
    text += docLine("file title", doc.Title);
    text += docLine("data type", doc.DataType);
    text += docLine("file type", "binary");
    text += docLine("columns", std::to_string(doc.Columns));
    text += docLine("rows", std::to_string(doc.Rows));
    text += docLine("ref. system", doc.RefSystem);
    text += docLine("ref. units", doc.RefUnits);
    text += docLine("unit dist.", "1");
    text += docLine("min. X", doc.Extent[0]);
    text += docLine("max. X", doc.Extent[1]);
    text += docLine("min. Y", doc.Extent[2]);
    text += docLine("max. Y", doc.Extent[3]);
    text += docLine("pos'n error", "unknown");
    text += docLine("resolution", doc.Resolution);
    text += docLine("min. value", doc.MinValue);
    text += docLine("max. value", doc.MaxValue);
    text += docLine("display min", doc.DisplayMin);
    text += docLine("display max", doc.DisplayMax);
    text += docLine("value units", doc.ValueUnits);
    text += docLine("value error", "unknown");
    text += docLine("flag value", doc.FlagValue);
    text += docLine("flag def'n", doc.FlagDefn);
    text += docLine("legend cats", "0");
    for (const auto& line : doc.Lineage) {
        text += docLine("lineage", line);
    }
    for (const auto& line : doc.Comments) {
        text += docLine("comment", line);
    }
    return text;
}

std::string formatReal(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string formatSingle(float value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace skyglide
