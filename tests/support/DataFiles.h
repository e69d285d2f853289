#pragma once

// The bytes of small documentation, image and palette files, for the tests
// of surface data, of the read-out and of the raster tool.

#include "TestSupport.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace skyglide::test {

/// The values of the 24 fixed lines of a small documentation (index 0 is line 1).
inline std::vector<std::string> docValues(const std::string& dataType = "integer", int columns = 4,
                                          int rows = 3)
{
    // clang-format off
    return {"Kartova Raster A.1", "test grid", dataType, "binary", std::to_string(columns),
            std::to_string(rows), "plane", "m", "1.0", "0.0", "40.0", "0.0", "30.0", "unknown",
            "10.0", "0", "100", "0", "100", "m", "unknown", "none", "none", "0"};
    // clang-format on
}

/// One line: the label padded to the 14-character column, then the value.
inline std::string docLine(std::string label, const std::string& value)
{
    label.resize(14, ' ');
    return label + value + "\r\n";
}

/// The fixed lines, labelled "line N", then `extra` whole lines. Values past
/// the 24th are legend lines whose label gives codes 25, 26, ...
inline std::string docText(const std::vector<std::string>& values,
                           const std::vector<std::string>& extra = {})
{
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i)
        text += docLine("line " + std::to_string(i + 1) + "    :", values[i]);
    for (const auto& line : extra)
        text += line;
    return text;
}

inline std::string int16Cells(const std::vector<int>& values)
{
    std::string bytes;
    for (const int v : values)
        bytes += {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    return bytes;
}

inline std::string floatCells(const std::vector<float>& values)
{
    std::string bytes(values.size() * 4, '\0');
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

inline std::string byteCells(const std::vector<int>& values)
{
    return std::string(values.begin(), values.end());
}

/// A palette file with its colour table at `offset`, cut to `tableBytes`
/// of table; colour i is (i, 255 − i, i / 2).
inline std::string paletteBytes(int highest, int first, int last, int offset = 18,
                                std::size_t tableBytes = 768)
{
    std::string bytes(11, '\0');
    bytes += static_cast<char>(offset);
    bytes += int16Cells({highest, first, last});
    bytes.resize(static_cast<std::size_t>(offset), '\0');
    for (int i = 0; i < 256; ++i)
        bytes += {static_cast<char>(i), static_cast<char>(255 - i), static_cast<char>(i / 2)};
    bytes.resize(static_cast<std::size_t>(offset) + tableBytes);
    return bytes;
}

/// Writes folder/NAME.rdc (doc, then extra lines) and folder/NAME.rst; the
/// image file's name.
inline std::string WriteRaster(const std::filesystem::path& folder,
                               const std::vector<std::string>& doc, const std::string& cells,
                               const std::string& name = "grid",
                               const std::vector<std::string>& extra = {})
{
    WriteBytes(folder / (name + ".rdc"), docText(doc, extra));
    WriteBytes(folder / (name + ".rst"), cells);
    return (folder / (name + ".rst")).string();
}

} // namespace skyglide::test
