#include "data/ImgDoc.h"

#include "DataFiles.h"

#include <map>

namespace skyglide {
namespace {

using namespace skyglide::test;
using TStrings = std::vector<std::string>;

std::string writeDoc(const std::string& text, const char* name = "doc.rdc")
{
    static std::filesystem::path folder;
    folder = TestFolder();
    WriteBytes(folder / name, text);
    return (folder / name).string();
}

/// `values` with some lines (counted from 1) replaced.
TStrings withLines(TStrings values, const std::map<int, std::string>& lines)
{
    for (const auto& [line, value] : lines)
        values[static_cast<std::size_t>(line - 1)] = value;
    return values;
}

TEST(ImgDocTest, ReadsFixedLinesWithLfOnly)
{
    const std::map<int, std::string> lines = {
        {5, "2401 cells"}, {7, "LatLong"}, {14, "1 000.5"}, {15, "unknown"}, {23, "Missing Data"}};
    std::string text = docText(withLines(docValues("integer", 0, 1201), lines));
    std::erase(text, '\r');
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(text)), TImgDoc::StatusOk);
    EXPECT_EQ(doc.Columns, 2401);
    EXPECT_EQ(doc.RefSystem, "latlong");
    EXPECT_TRUE(doc.PosnErrorKnown && doc.PosnError == 1000.5F && !doc.ResolutionKnown);
    EXPECT_EQ(doc.FlagDefn, "missing data");
}

// Each row changes one line of a 4 x 3 integer documentation (or cuts it to
// `Keep` lines, or reads a folder for -1) and reads it into an object that had
// read a byte raster of 7 x 9 cells with one comment. The fields show how far
// the read got; the comment list is only cleared by a complete read.
TEST(ImgDocTest, StatusAndStateLeft)
{
    constexpr int bad = TImgDoc::StatusReadError, ok = TImgDoc::StatusOk;
    constexpr int integer = dtInteger, byte = dtByte, binary = ftBinary;
    const struct
    {
        const char* Name;
        int Line; // 1-based, 0 for none
        const char* Value;
        int Keep, Status, DataType, Columns, FileType;
        const char* ErrorText; // "@" stands for the file name
        int ErrorLine;         // the line that did not read, or the missing one after the last
    } cases[] = {
        // clang-format off
        {"format a.1 in lower case", 1, "format a.1", 24, ok, integer, 4, binary, "", 0},
        {"format without a.1", 1, "format A.2", 24, TImgDoc::StatusNotA1, byte, 7, binary, "", 1},
        {"type int is integer", 3, "int", 24, ok, integer, 4, binary, "", 0},
        {"type r is integer", 3, "r", 24, ok, integer, 4, binary, "", 0},
        {"RGB24, then one-number values", 3, "RGB24", 24, bad, dtRgb24, 4, binary, "@", 16},
        {"type with trailing blank", 3, "rgb24 ", 24, TImgDoc::StatusBadDataType, dtUnknown, 7, binary, "rgb24 ", 3},
        {"file type Packed Binary", 4, "Packed Binary", 24, ok, integer, 4, ftPackedBinary, "", 0},
        {"file type Packed", 4, "Packed", 24, TImgDoc::StatusBadFileType, integer, 7, ftUnknown, "packed", 4},
        {"columns 12abc", 5, "12abc", 24, bad, integer, 7, binary, "@", 5},
        {"negative columns", 5, "-4", 24, bad, integer, 7, binary, "@", 5},
        {"rows beyond 32 bits", 6, "4294967296", 24, bad, integer, 4, binary, "@", 6},
        {"comma decimal", 11, "40,5", 24, bad, integer, 4, binary, "@", 11},
        {"value beyond a single", 17, "1e39", 24, bad, integer, 4, binary, "@", 17},
        {"negative legend count reads no legend", 24, "-1", 24, ok, integer, 4, binary, "", 0},
        {"legend lines missing", 24, "2", 24, bad, integer, 4, binary, "@", 25},
        {"ends after line 12", 0, "", 12, bad, integer, 4, binary, "@", 13},
        {"empty file", 0, "", 0, bad, byte, 7, binary, "@", 1},
        {"a folder", 0, "", -1, TImgDoc::StatusCannotOpen, byte, 7, binary, "@", 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TImgDoc doc;
        ASSERT_EQ(doc.ReadDoc(writeDoc(docText(docValues("byte", 7, 9), {docLine("note", "x")}),
                                       "old.rdc")),
                  ok);
        TStrings values = docValues("integer", 4, 3);
        if (c.Line > 0)
            values[static_cast<std::size_t>(c.Line - 1)] = c.Value;
        values.resize(static_cast<std::size_t>(std::max(c.Keep, 0)));
        const std::string file = c.Keep < 0 ? TestFolder().string() : writeDoc(docText(values));
        EXPECT_EQ(doc.ReadDoc(file), c.Status);
        EXPECT_EQ(doc.DataType, c.DataType);
        EXPECT_EQ(doc.Columns, c.Columns);
        EXPECT_EQ(doc.FileType, c.FileType);
        EXPECT_EQ(doc.ErrorText, std::string(c.ErrorText) == "@" ? file : c.ErrorText);
        EXPECT_EQ(doc.ErrorLine, c.ErrorLine);
        EXPECT_EQ(doc.Comments.empty(), c.Status == ok);
        EXPECT_EQ(doc.FileFormat, c.Line == 1 ? c.Value : "Kartova Raster A.1");
    }
}

TEST(ImgDocTest, ParseReal)
{
    const std::vector<std::tuple<const char*, bool, float>> cases = {
        {"unknown", false, 0.0F},   {"", false, 0.0F},      {"1 000.5", true, 1000.5F},
        {"\t-2.25 ", true, -2.25F}, {"1e3", true, 1000.0F}, {"+3", true, 3.0F},
        {"1,5", false, 0.0F},       {"5 m", false, 0.0F},   {"nan", false, 0.0F},
        {"1e39", false, 0.0F}};
    for (const auto& [text, known, value] : cases) {
        float out = 99.0F;
        EXPECT_EQ(TImgDoc::ParseReal(text, out), known) << text;
        EXPECT_EQ(out, value) << text;
    }
}

TEST(ImgDocTest, LegendCodesComeFromLabelColumn)
{
    TStrings values = docValues("byte");
    values[23] = "3";
    const TStrings legend = {"code      7   water\r\n", "code -12      forest\r\n",
                             "code 300      urban  \r\n", "comment     : after\r\n"};
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(values, legend))), TImgDoc::StatusOk);
    ASSERT_EQ(doc.LegendCats, 3);
    EXPECT_EQ((std::vector<int>(doc.LegendCodes.begin(), doc.LegendCodes.begin() + 3)),
              (std::vector<int>{7, -12, 300}));
    EXPECT_EQ(doc.LegendNames[2], "urban  ");
    EXPECT_EQ(doc.Comments, TStrings{"after"});
    for (const std::string bad : {"code    x     ", "code 99999    ", "code"})
        EXPECT_EQ(doc.ReadDoc(writeDoc(docText(values, TStrings(3, bad + "n\r\n")))),
                  TImgDoc::StatusReadError)
            << bad;
    // Of 300 categories 256 are read; the other 44 lines are trailing lines.
    values[23] = "300";
    TStrings many;
    for (int i = 0; i < 300; ++i)
        many.push_back(docLine("cat  " + std::to_string(i), "class " + std::to_string(i)));
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(values, many))), TImgDoc::StatusOk);
    EXPECT_EQ(doc.LegendCats, 256);
    EXPECT_EQ(doc.LegendCodes[255], 255);
    ASSERT_EQ(doc.Comments.size(), 44U);
    EXPECT_EQ(doc.Comments.front(), "class 256");
    // A stored negative count is kept and reads no legend lines.
    values[23] = "-3";
    TImgDoc negative;
    ASSERT_EQ(negative.ReadDocText(docText(values, {docLine("25", "not a legend")}), "doc"),
              TImgDoc::StatusOk);
    EXPECT_EQ(negative.LegendCats, -3);
    EXPECT_EQ(negative.LegendNames[0], "");
}

} // namespace
} // namespace skyglide
