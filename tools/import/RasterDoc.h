#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace skyglide {

/// The documentation (".rdc") of a raster the project writes, value by value
/// as it appears in the file. Numbers are kept as the text to be written, so
/// that each writer decides how exact its figures are.
struct TRasterDoc
{
    std::string Title;
    std::string DataType; ///< "integer", "real", "byte" or "rgb24"
    std::int64_t Columns = 0;
    std::int64_t Rows = 0;
    std::string RefSystem = "plane";
    std::string RefUnits = "m";
    std::array<std::string, 4> Extent; ///< min. X, max. X, min. Y, max. Y
    std::string Resolution;
    std::string MinValue;
    std::string MaxValue;
    std::string DisplayMin;
    std::string DisplayMax;
    std::string ValueUnits = "unspecified";
    std::string FlagValue = "none";
    std::string FlagDefn = "none";
    std::vector<std::string> Lineage;
    std::vector<std::string> Comments;
};

/// The documentation file's text: "Kartova Raster A.1" on the first line,
/// the 14-character label column, CR LF line ends. Throws TImportError when
/// a value holds a line break, which would shift every line after it.
std::string DocumentationText(const TRasterDoc& doc);

/// The shortest text that reads back as the same number ("." decimal point,
/// whatever the user's locale).
std::string formatReal(double value);
std::string formatSingle(float value);

} // namespace skyglide
