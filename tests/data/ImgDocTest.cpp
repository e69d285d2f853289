#include "data/ImgDoc.h"

#include "DataTestFiles.h"

namespace skyglide {
namespace {

using namespace skyglide::testing;
using TStrings = std::vector<std::string>;

std::string writeDoc(const std::string& text, const char* name = "doc.rdc")
{
    static std::filesystem::path folder;
    folder = testFolder();
    writeBytes(folder / name, text);
    return (folder / name).string();
}

TEST(ImgDocTest, ReadsFixedLinesWithLfOnly)
{
    const TStrings values = {"Kartova Raster A.1",
                             "Trinidad",
                             "integer",
                             "binary",
                             "2401 cells",
                             "1201",
                             "LatLong",
                             "Deg",
                             "1.5",
                             "-106.0004",
                             "-103.9996",
                             "36.9996",
                             "38.0004",
                             "1 000.5",
                             "unknown",
                             "1359",
                             "4322",
                             "1400",
                             "4300",
                             "Metres",
                             "2.5",
                             "-9999",
                             "Missing Data",
                             "0"};
    std::string text = docText(values);
    std::erase(text, '\r');
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(text)), TImgDoc::StatusOk);
    EXPECT_EQ(doc.Columns, 2401);
    EXPECT_EQ(doc.RefSystem, "latlong");
    EXPECT_EQ(doc.MinX, -106.0004);
    EXPECT_EQ(doc.MaxY, 38.0004);
    EXPECT_TRUE(doc.PosnErrorKnown);
    EXPECT_EQ(doc.PosnError, 1000.5F);
    EXPECT_FALSE(doc.ResolutionKnown);
    EXPECT_EQ(doc.DisplayMax, 4300.0F);
    EXPECT_EQ(doc.FlagDefn, "missing data");
}

// Each row changes one line of a 4 x 3 integer documentation (or cuts it
// to `Keep` lines) and reads it into an object that had read a byte raster
// of 7 x 9 cells with one comment. The fields show how far the read got;
// the comment list is only cleared once the trailing lines are reached.
struct TStatusCase
{
    const char* Name;
    int Line; // 1-based, 0 for none
    const char* Value;
    int Keep;
    int Status;
    int DataType, Columns, FileType;
    const char* ErrorText; // "@" stands for the file name
    bool Cleared;
};

TEST(ImgDocTest, StatusAndStateLeft)
{
    const int readError = TImgDoc::StatusReadError;
    const TStatusCase cases[] = {
        {"format a.1 in lower case", 1, "format a.1", 24, 0, dtInteger, 4, ftBinary, "", true},
        {"format without a.1", 1, "format A.2", 24, TImgDoc::StatusNotA1, dtByte, 7, ftBinary, "",
         false},
        {"type int is integer", 3, "int", 24, 0, dtInteger, 4, ftBinary, "", true},
        {"type r is integer", 3, "r", 24, 0, dtInteger, 4, ftBinary, "", true},
        {"RGB24, then one-number values", 3, "RGB24", 24, readError, dtRgb24, 4, ftBinary, "@",
         false},
        {"type with trailing blank", 3, "rgb24 ", 24, TImgDoc::StatusBadDataType, dtUnknown, 7,
         ftBinary, "rgb24 ", false},
        {"file type Packed Binary", 4, "Packed Binary", 24, 0, dtInteger, 4, ftPackedBinary, "",
         true},
        {"file type Packed", 4, "Packed", 24, TImgDoc::StatusBadFileType, dtInteger, 7, ftUnknown,
         "packed", false},
        {"columns 12abc", 5, "12abc", 24, readError, dtInteger, 7, ftBinary, "@", false},
        {"negative columns", 5, "-4", 24, readError, dtInteger, 7, ftBinary, "@", false},
        {"rows beyond 32 bits", 6, "4294967296", 24, readError, dtInteger, 4, ftBinary, "@", false},
        {"comma decimal", 11, "40,5", 24, readError, dtInteger, 4, ftBinary, "@", false},
        {"value beyond a single", 17, "1e39", 24, readError, dtInteger, 4, ftBinary, "@", false},
        {"negative legend count", 24, "-1", 24, readError, dtInteger, 4, ftBinary, "@", false},
        {"legend lines missing", 24, "2", 24, readError, dtInteger, 4, ftBinary, "@", false},
        {"ends after line 12", 0, "", 12, readError, dtInteger, 4, ftBinary, "@", false},
        {"empty file", 0, "", 0, readError, dtByte, 7, ftBinary, "@", false}};
    for (const TStatusCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TImgDoc doc;
        TStrings old = docValues("byte", 7, 9);
        ASSERT_EQ(doc.ReadDoc(writeDoc(docText(old, {docLine("note", "x")}), "old.rdc")), 0);
        TStrings values = docValues("integer", 4, 3);
        if (c.Line > 0) {
            values[static_cast<std::size_t>(c.Line - 1)] = c.Value;
        }
        values.resize(static_cast<std::size_t>(c.Keep));
        const std::string file = writeDoc(docText(values));
        EXPECT_EQ(doc.ReadDoc(file), c.Status);
        EXPECT_EQ(doc.DataType, c.DataType);
        EXPECT_EQ(doc.Columns, c.Columns);
        EXPECT_EQ(doc.FileType, c.FileType);
        EXPECT_EQ(doc.ErrorText, std::string(c.ErrorText) == "@" ? file : c.ErrorText);
        EXPECT_EQ(doc.Comments.empty(), c.Cleared);
        EXPECT_EQ(doc.FileFormat, c.Line == 1 ? c.Value : c.Keep ? "Kartova Raster A.1" : old[0]);
    }
}

TEST(ImgDocTest, UnopenableFileChangesNothing)
{
    TImgDoc doc;
    doc.ErrorText2 = "stale";
    EXPECT_EQ(doc.ReadDoc(testFolder().string()), TImgDoc::StatusCannotOpen); // a folder
    EXPECT_EQ(doc.ErrorText, testFolder().string());
    EXPECT_EQ(doc.ErrorText2, "");
    EXPECT_EQ(doc.RefSystem, "plane");
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

TEST(ImgDocTest, Rgb24ValuesArePackedColours)
{
    TStrings values = docValues("rgb24");
    values[15] = "0 0 0";
    values[16] = "255 255 255";
    values[17] = "10 20 30";
    values[18] = "256  1 -1 trailing";
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(values))), TImgDoc::StatusOk);
    EXPECT_EQ(doc.MaxValue, 16777215.0F);
    EXPECT_EQ(doc.DisplayMin, 1971210.0F);
    EXPECT_EQ(doc.DisplayMinText, "10 20 30");
    // Each number keeps its low 8 bits: 256 → 0, 1 → 256, −1 → 255 × 65536.
    EXPECT_EQ(doc.DisplayMax, 256.0F + 255.0F * 65536.0F);
    EXPECT_EQ(doc.DisplayMaxText, "256 1 -1");
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
    for (const std::string bad : {"code    x     ", "code 99999    ", "code"}) {
        EXPECT_EQ(doc.ReadDoc(writeDoc(docText(values, TStrings(3, bad + "n\r\n")))),
                  TImgDoc::StatusReadError)
            << bad;
    }
    // Of 300 categories 256 are read; the other 44 lines are trailing lines.
    values[23] = "300";
    TStrings many;
    for (int i = 0; i < 300; ++i) {
        std::string code = std::to_string(i);
        code.resize(9, ' ');
        many.push_back("cat  " + code + "class " + std::to_string(i) + "\r\n");
    }
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(values, many))), TImgDoc::StatusOk);
    EXPECT_EQ(doc.LegendCats, 256);
    EXPECT_EQ(doc.LegendCodes[255], 255);
    ASSERT_EQ(doc.Comments.size(), 44U);
    EXPECT_EQ(doc.Comments.front(), "class 256");
}

TEST(ImgDocTest, TrailingLinesRoutedByLabel)
{
    const TStrings trailing = {
        docLine("lineage     :", "surveyed"),    docLine("LINEAGE", "resampled"),
        docLine("completeness:", "all cells"),   docLine("consistency :", "checked"),
        docLine("lin/complete:", "no keyword"),  docLine("lineage+cons:", "first wins"),
        docLine("note        :", " blank kept"), "\r\n"};
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(docValues(), trailing))), TImgDoc::StatusOk);
    EXPECT_EQ(doc.Lineage, (TStrings{"surveyed", "resampled", "first wins"}));
    EXPECT_EQ(doc.Completeness, TStrings{"all cells"});
    EXPECT_EQ(doc.Consistency, TStrings{"checked"});
    EXPECT_EQ(doc.Comments, (TStrings{"no keyword", " blank kept", ""}));
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(docValues()))), TImgDoc::StatusOk);
    EXPECT_TRUE(doc.Lineage.empty() && doc.Completeness.empty() && doc.Consistency.empty() &&
                doc.Comments.empty());
}

} // namespace
} // namespace skyglide
