#pragma once

// Helpers that write small documentation, image and palette files for the
// surface data tests, each test in a folder of its own.

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace skyglide::testing {

/// A fresh folder for the running test under SKYGLIDE_TEST_TMP (or the
/// system's temporary folder).
inline std::filesystem::path testFolder()
{
    const char* root = std::getenv("SKYGLIDE_TEST_TMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    const auto folder =
        std::filesystem::path(root ? root : std::filesystem::temp_directory_path().string()) /
        "data" / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

inline void writeBytes(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << file;
}

/// The values of the 24 fixed lines of a documentation file, index 0 being
/// line 1, for a small integer raster.
inline std::vector<std::string> docValues(const std::string& dataType = "integer", int columns = 4,
                                          int rows = 3)
{
    return {"Kartova Raster A.1", "test grid", dataType, "binary", std::to_string(columns),
            std::to_string(rows), "plane", "m", "1.0", "0.0", "40.0", "0.0", "30.0", "unknown",
            "10.0", "0", "100", "0", "100", "m", "unknown", "none", "none", "0"};
}

/// One line: the label padded to the 14-character column, then the value.
inline std::string docLine(const std::string& label, const std::string& value)
{
    std::string line = label;
    line.resize(14, ' ');
    return line + value + "\r\n";
}

/// A documentation text of the fixed lines followed by `extra` whole lines
/// (legend and trailing lines, each given with its label column; a line
/// without CR LF gets one).
inline std::string docText(const std::vector<std::string>& values,
                           const std::vector<std::string>& extra = {})
{
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += docLine("line " + std::to_string(i + 1) + "    :", values[i]);
    }
    for (const auto& line : extra) {
        const bool ended = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0;
        text += ended ? line : line + "\r\n";
    }
    return text;
}

inline std::string int16Cells(const std::vector<int>& values)
{
    std::string bytes;
    for (const int v : values) {
        const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
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
    std::string bytes;
    for (const int v : values) {
        bytes += static_cast<char>(v);
    }
    return bytes;
}

/// A palette file: header with the table at `offset`, then 256 entries
/// whose colour i is (i, 255 − i, i / 2) unless `table` is given.
inline std::string paletteBytes(int highest, int first, int last, int offset = 18,
                                std::size_t tableBytes = 768)
{
    std::string bytes(static_cast<std::size_t>(offset), '\0');
    bytes[11] = static_cast<char>(offset);
    const auto put = [&](std::size_t at, int v) {
        bytes[at] = static_cast<char>(v & 0xFF);
        bytes[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    if (bytes.size() >= 18) {
        put(12, highest);
        put(14, first);
        put(16, last);
    }
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
        bytes += static_cast<char>(255 - i);
        bytes += static_cast<char>(i / 2);
    }
    bytes.resize(static_cast<std::size_t>(offset) + tableBytes);
    return bytes;
}

} // namespace skyglide::testing
