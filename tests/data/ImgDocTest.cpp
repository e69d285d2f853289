#include "data/ImgDoc.h"

#include "DataTestFiles.h"

#include <functional>

namespace skyglide {
namespace {

using testing::docLine;
using testing::docText;
using testing::docValues;
using testing::testFolder;
using testing::writeBytes;

std::string writeDoc(const std::string& text)
{
    const auto file = testFolder() / "doc.rdc";
    writeBytes(file, text);
    return file.string();
}

// A documentation object that has read a good file before, so that a failed
// read shows which fields it overwrote.
TImgDoc readGoodDoc()
{
    TImgDoc doc;
    auto values = docValues("byte", 7, 9);
    values[6] = "old system";
    const auto file = testFolder() / "old.rdc";
    writeBytes(file, docText(values, {docLine("comment", "old note")}));
    EXPECT_EQ(doc.ReadDoc(file.string()), TImgDoc::StatusOk);
    return doc;
}

TEST(ImgDocTest, NeverReadHasDefaults)
{
    const TImgDoc doc;
    EXPECT_EQ(doc.DataType, dtInteger);
    EXPECT_EQ(doc.Columns, 0);
    EXPECT_EQ(doc.Rows, 0);
    EXPECT_EQ(doc.RefSystem, "plane");
    EXPECT_EQ(doc.RefUnits, "m");
    EXPECT_EQ(doc.UnitDist, 1.0);
    EXPECT_EQ(doc.LegendCats, 0);
    EXPECT_TRUE(doc.Comments.empty());
}

TEST(ImgDocTest, ReadsEveryFixedLine)
{
    auto values = docValues("integer", 2401, 1201);
    values = {"Kartova Raster A.1", "Trinidad", "integer", "binary", "2401", "1201",
              "LatLong", "Deg", "1.5", "-106.0004", "-103.9996", "36.9996", "38.0004",
              "1 000.5", "0.00083", "1359", "4322", "1400 extra words", "4300", "Metres",
              "2.5", "-9999", "Missing Data", "0"};
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(values))), TImgDoc::StatusOk);
    EXPECT_EQ(doc.FileFormat, "Kartova Raster A.1");
    EXPECT_EQ(doc.FileTitle, "Trinidad");
    EXPECT_EQ(doc.DataType, dtInteger);
    EXPECT_EQ(doc.FileType, ftBinary);
    EXPECT_EQ(doc.Columns, 2401);
    EXPECT_EQ(doc.Rows, 1201);
    EXPECT_EQ(doc.RefSystem, "latlong");
    EXPECT_EQ(doc.RefUnits, "deg");
    EXPECT_EQ(doc.UnitDist, 1.5);
    EXPECT_EQ(doc.MinX, -106.0004);
    EXPECT_EQ(doc.MaxX, -103.9996);
    EXPECT_EQ(doc.MinY, 36.9996);
    EXPECT_EQ(doc.MaxY, 38.0004);
    EXPECT_EQ(doc.PosnError, 1000.5F);
    EXPECT_TRUE(doc.PosnErrorKnown);
    EXPECT_EQ(doc.Resolution, 0.00083F);
    EXPECT_TRUE(doc.ResolutionKnown);
    EXPECT_EQ(doc.MinValue, 1359.0F);
    EXPECT_EQ(doc.MaxValue, 4322.0F);
    EXPECT_EQ(doc.DisplayMin, 1400.0F);
    EXPECT_EQ(doc.DisplayMax, 4300.0F);
    EXPECT_TRUE(doc.MinValueText.empty());
    EXPECT_EQ(doc.ValueUnits, "metres");
    EXPECT_EQ(doc.ValueError, 2.5F);
    EXPECT_TRUE(doc.ValueErrorKnown);
    EXPECT_EQ(doc.FlagValue, -9999.0F);
    EXPECT_TRUE(doc.FlagValueKnown);
    EXPECT_EQ(doc.FlagDefn, "missing data");
    EXPECT_EQ(doc.LegendCats, 0);
    EXPECT_TRUE(doc.Comments.empty());
    EXPECT_TRUE(doc.Lineage.empty());
    EXPECT_TRUE(doc.ErrorText.empty());
}

TEST(ImgDocTest, UnixLineEndsReadLikeCrLf)
{
    std::string text = docText(docValues("real", 5, 6));
    std::string unix;
    for (const char c : text) {
        if (c != '\r') {
            unix += c;
        }
    }
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(unix)), TImgDoc::StatusOk);
    EXPECT_EQ(doc.DataType, dtReal);
    EXPECT_EQ(doc.Rows, 6);
    EXPECT_EQ(doc.DisplayMax, 100.0F);
}

// One row per way a read can end: the line changed, the code expected and
// what the fields must show afterwards. Each starts from a documentation
// object that read a good byte raster of 7 x 9 cells.
struct TStatusCase
{
    const char* Name;
    int Line;           // 1-based line to replace, 0 for none
    const char* Value;  // its new value
    int KeepLines;      // fixed lines kept (truncation), 24 for all
    int Status;
    std::function<void(const TImgDoc&, const std::string& file)> Check;
};

class ImgDocStatusTest : public ::testing::TestWithParam<TStatusCase>
{
};

TEST_P(ImgDocStatusTest, LeavesDocumentedState)
{
    const TStatusCase& c = GetParam();
    TImgDoc doc = readGoodDoc();
    auto values = docValues("integer", 4, 3);
    if (c.Line > 0) {
        values[static_cast<std::size_t>(c.Line - 1)] = c.Value;
    }
    values.resize(static_cast<std::size_t>(c.KeepLines));
    const std::string file = writeDoc(docText(values));
    EXPECT_EQ(doc.ReadDoc(file), c.Status);
    c.Check(doc, file);
}

const auto keptOldFields = [](const TImgDoc& doc) {
    EXPECT_EQ(doc.DataType, dtByte);
    EXPECT_EQ(doc.Columns, 7);
    EXPECT_EQ(doc.RefSystem, "old system");
    ASSERT_EQ(doc.Comments.size(), 1U);
};

INSTANTIATE_TEST_SUITE_P(
    Cases, ImgDocStatusTest,
    ::testing::Values(
        TStatusCase{"FormatEndingInLowerCaseA1", 1, "Raster format a.1", 24, TImgDoc::StatusOk,
                    [](const TImgDoc& d, const std::string&) {
                        EXPECT_EQ(d.FileFormat, "Raster format a.1");
                        EXPECT_EQ(d.Columns, 4);
                        EXPECT_TRUE(d.Comments.empty());
                    }},
        TStatusCase{"FormatWithoutA1", 1, "Raster format A.2", 24, TImgDoc::StatusNotA1,
                    [](const TImgDoc& d, const std::string&) {
                        EXPECT_EQ(d.FileFormat, "Raster format A.2");
                        EXPECT_TRUE(d.ErrorText.empty());
                        keptOldFields(d);
                    }},
        TStatusCase{"DataTypeIntIsInteger", 3, "int", 24, TImgDoc::StatusOk,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.DataType, dtInteger); }},
        TStatusCase{"DataTypeLetterRIsInteger", 3, "r", 24, TImgDoc::StatusOk,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.DataType, dtInteger); }},
        TStatusCase{"DataTypeReal", 3, "Real", 24, TImgDoc::StatusOk,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.DataType, dtReal); }},
        TStatusCase{"DataTypeByte", 3, "byte", 24, TImgDoc::StatusOk,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.DataType, dtByte); }},
        // Read as rgb24, the single-number value lines then fail.
        TStatusCase{"DataTypeRgb24UpperCase", 3, "RGB24", 24, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string&) {
                        EXPECT_EQ(d.DataType, dtRgb24);
                        EXPECT_EQ(d.MaxY, 30.0);
                    }},
        TStatusCase{"DataTypeRgb8", 3, "rgb8", 24, TImgDoc::StatusOk,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.DataType, dtRgb8); }},
        TStatusCase{"DataTypeWithTrailingBlank", 3, "rgb24 ", 24, TImgDoc::StatusBadDataType,
                    [](const TImgDoc& d, const std::string&) {
                        EXPECT_EQ(d.DataType, dtUnknown);
                        EXPECT_EQ(d.ErrorText, "rgb24 ");
                        EXPECT_EQ(d.FileTitle, "test grid");
                        EXPECT_EQ(d.Columns, 7);
                    }},
        TStatusCase{"DataTypeWithLeadingBlank", 3, " Integer", 24, TImgDoc::StatusBadDataType,
                    [](const TImgDoc& d, const std::string&) {
                        EXPECT_EQ(d.ErrorText, " integer");
                    }},
        TStatusCase{"FileTypePackedBinary", 4, "Packed Binary", 24, TImgDoc::StatusOk,
                    [](const TImgDoc& d, const std::string&) {
                        EXPECT_EQ(d.FileType, ftPackedBinary);
                    }},
        TStatusCase{"FileTypeAscii", 4, "ASCII", 24, TImgDoc::StatusOk,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.FileType, ftAscii); }},
        TStatusCase{"FileTypePackedAlone", 4, "Packed", 24, TImgDoc::StatusBadFileType,
                    [](const TImgDoc& d, const std::string&) {
                        EXPECT_EQ(d.FileType, ftUnknown);
                        EXPECT_EQ(d.ErrorText, "packed");
                        EXPECT_EQ(d.DataType, dtInteger);
                        EXPECT_EQ(d.Columns, 7);
                    }},
        TStatusCase{"NumberFollowedByWords", 5, "  12 columns", 24, TImgDoc::StatusOk,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.Columns, 12); }},
        TStatusCase{"ColumnsNotANumber", 5, "twelve", 24, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string& file) {
                        EXPECT_EQ(d.ErrorText, file);
                        EXPECT_EQ(d.DataType, dtInteger);
                        EXPECT_EQ(d.Columns, 7);
                        EXPECT_EQ(d.Comments.size(), 1U);
                    }},
        TStatusCase{"ColumnsGlued", 5, "12abc", 24, TImgDoc::StatusReadError,
                    [](const TImgDoc&, const std::string&) {}},
        TStatusCase{"ColumnsNegative", 5, "-4", 24, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.Columns, 7); }},
        TStatusCase{"RowsBeyond32Bits", 6, "4294967296", 24, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string&) {
                        EXPECT_EQ(d.Columns, 4);
                        EXPECT_EQ(d.Rows, 9);
                    }},
        TStatusCase{"EmptyNumber", 9, "", 24, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.RefSystem, "plane"); }},
        TStatusCase{"ExtentWithComma", 11, "40,5", 24, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.MinX, 0.0); }},
        TStatusCase{"ValueBeyondSingle", 17, "1e39", 24, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.MinValue, 0.0F); }},
        TStatusCase{"ValueNotFinite", 16, "nan", 24, TImgDoc::StatusReadError,
                    [](const TImgDoc&, const std::string&) {}},
        TStatusCase{"LegendCountNegative", 24, "-1", 24, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string&) {
                        EXPECT_EQ(d.LegendCats, 0);
                        EXPECT_EQ(d.FlagDefn, "none");
                    }},
        TStatusCase{"EndsAfterLine12", 0, "", 12, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string& file) {
                        EXPECT_EQ(d.ErrorText, file);
                        EXPECT_EQ(d.MaxX, 40.0);
                        EXPECT_EQ(d.MinY, 0.0);
                        EXPECT_EQ(d.MinValue, 0.0F);
                        EXPECT_EQ(d.Comments.size(), 1U);
                    }},
        TStatusCase{"EndsBeforeLegendCount", 0, "", 23, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string&) { EXPECT_EQ(d.FlagDefn, "none"); }},
        TStatusCase{"EmptyFile", 0, "", 0, TImgDoc::StatusReadError,
                    [](const TImgDoc& d, const std::string&) { keptOldFields(d); }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ImgDocTest, MissingFileChangesNothing)
{
    TImgDoc doc = readGoodDoc();
    const std::string missing = (testFolder() / "missing.rdc").string();
    EXPECT_EQ(doc.ReadDoc(missing), TImgDoc::StatusCannotOpen);
    EXPECT_EQ(doc.ErrorText, missing);
    EXPECT_EQ(doc.FileTitle, "test grid");
    EXPECT_EQ(doc.Rows, 9);
}

TEST(ImgDocTest, FolderCannotBeOpened)
{
    TImgDoc doc;
    const std::string folder = testFolder().string();
    EXPECT_EQ(doc.ReadDoc(folder), TImgDoc::StatusCannotOpen);
    EXPECT_EQ(doc.ErrorText, folder);
}

TEST(ImgDocTest, ErrorTextClearedByNextRead)
{
    TImgDoc doc;
    auto values = docValues();
    values[2] = "complex";
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(values))), TImgDoc::StatusBadDataType);
    ASSERT_EQ(doc.ErrorText, "complex");
    doc.ErrorText2 = "stale";
    EXPECT_EQ(doc.ReadDoc(writeDoc(docText(docValues()))), TImgDoc::StatusOk);
    EXPECT_TRUE(doc.ErrorText.empty());
    EXPECT_TRUE(doc.ErrorText2.empty());
}

TEST(ImgDocTest, LinesShorterThanLabelHaveEmptyValues)
{
    auto values = docValues();
    std::string text = docText(values);
    // Line 2 (the title) without any value and line 20 cut inside the label.
    const std::string title = docLine("line 2    :", "test grid");
    text.replace(text.find(title), title.size(), "title\r\n");
    const std::string units = docLine("line 20    :", "m");
    text.replace(text.find(units), units.size(), "units\r\n");
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(text)), TImgDoc::StatusOk);
    EXPECT_EQ(doc.FileTitle, "");
    EXPECT_EQ(doc.ValueUnits, "");
}

struct TParseCase
{
    const char* Name;
    const char* Text;
    bool Known;
    float Value;
};

class ParseRealTest : public ::testing::TestWithParam<TParseCase>
{
};

TEST_P(ParseRealTest, Converts)
{
    const TParseCase& c = GetParam();
    float value = 99.0F;
    EXPECT_EQ(TImgDoc::ParseReal(c.Text, value), c.Known);
    EXPECT_EQ(value, c.Value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseRealTest,
    ::testing::Values(TParseCase{"Word", "unknown", false, 0.0F},
                      TParseCase{"Empty", "", false, 0.0F},
                      TParseCase{"BlanksOnly", "   ", false, 0.0F},
                      TParseCase{"BlankInsideNumber", "1 000.5", true, 1000.5F},
                      TParseCase{"TabsAndBlanksAround", "\t -2.25 ", true, -2.25F},
                      TParseCase{"Exponent", "1e3", true, 1000.0F},
                      TParseCase{"LeadingPlus", "+3", true, 3.0F},
                      TParseCase{"CommaDecimal", "1,5", false, 0.0F},
                      TParseCase{"NumberThenWord", "5 m", false, 0.0F},
                      TParseCase{"NotANumber", "nan", false, 0.0F},
                      TParseCase{"Infinite", "inf", false, 0.0F},
                      TParseCase{"BeyondSingle", "1e39", false, 0.0F}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ImgDocTest, Rgb24ValuesArePackedColours)
{
    auto values = docValues("rgb24");
    values[15] = "0 0 0";
    values[16] = "255 255 255";
    values[17] = "10 20 30";
    values[18] = "256  1 -1 trailing";
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(values))), TImgDoc::StatusOk);
    EXPECT_EQ(doc.MinValue, 0.0F);
    EXPECT_EQ(doc.MinValueText, "0 0 0");
    EXPECT_EQ(doc.MaxValue, 16777215.0F);
    EXPECT_EQ(doc.MaxValueText, "255 255 255");
    EXPECT_EQ(doc.DisplayMin, 1971210.0F);
    EXPECT_EQ(doc.DisplayMinText, "10 20 30");
    // Each number keeps its low 8 bits: 256 → 0, 1 → 256, −1 → 255 × 65536.
    EXPECT_EQ(doc.DisplayMax, 256.0F + 255.0F * 65536.0F);
    EXPECT_EQ(doc.DisplayMaxText, "256 1 -1");
}

TEST(ImgDocTest, Rgb24LineWithTwoNumbersIsReadError)
{
    auto values = docValues("rgb24");
    values[15] = "0 0";
    TImgDoc doc;
    EXPECT_EQ(doc.ReadDoc(writeDoc(docText(values))), TImgDoc::StatusReadError);
}

TEST(ImgDocTest, LegendCodesComeFromLabelColumn)
{
    auto values = docValues("byte");
    values[23] = "3";
    const std::vector<std::string> extra = {
        "code      7   water",   // 7 in characters 6 to 11, blanks around
        "code -12      forest",  // negative code
        "code 300      urban  ", // name keeps its blanks
        "comment     : after the legend",
    };
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(values, extra))), TImgDoc::StatusOk);
    ASSERT_EQ(doc.LegendCats, 3);
    EXPECT_EQ(doc.LegendCodes[0], 7);
    EXPECT_EQ(doc.LegendNames[0], "water");
    EXPECT_EQ(doc.LegendCodes[1], -12);
    EXPECT_EQ(doc.LegendNames[1], "forest");
    EXPECT_EQ(doc.LegendCodes[2], 300);
    EXPECT_EQ(doc.LegendNames[2], "urban  ");
    EXPECT_EQ(doc.Comments, std::vector<std::string>{"after the legend"});
}

TEST(ImgDocTest, LegendBadCodesAreReadErrors)
{
    for (const std::string label : {"code    x     ", "code          ", "code 99999    ", "code"}) {
        SCOPED_TRACE(label);
        auto values = docValues("byte");
        values[23] = "1";
        TImgDoc doc;
        EXPECT_EQ(doc.ReadDoc(writeDoc(docText(values, {label + "name"}))),
                  TImgDoc::StatusReadError);
    }
    auto values = docValues("byte");
    values[23] = "2";
    TImgDoc doc;
    EXPECT_EQ(doc.ReadDoc(writeDoc(docText(values, {"code    1     one"}))),
              TImgDoc::StatusReadError);
}

TEST(ImgDocTest, LegendOf300ReadsOnly256)
{
    auto values = docValues("byte");
    values[23] = "300";
    std::vector<std::string> extra;
    for (int i = 0; i < 300; ++i) {
        std::string code = std::to_string(i);
        code.resize(6, ' ');
        extra.push_back("cat  " + code + "   class " + std::to_string(i));
    }
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(values, extra))), TImgDoc::StatusOk);
    EXPECT_EQ(doc.LegendCats, 256);
    EXPECT_EQ(doc.LegendCodes[255], 255);
    EXPECT_EQ(doc.LegendNames[255], "class 255");
    ASSERT_EQ(doc.Comments.size(), 44U);
    EXPECT_EQ(doc.Comments.front(), "class 256");
    EXPECT_EQ(doc.Comments.back(), "class 299");
}

TEST(ImgDocTest, TrailingLinesRoutedByLabel)
{
    const std::vector<std::string> extra = {
        docLine("lineage     :", "surveyed 1977"),
        docLine("LINEAGE     :", "resampled"),
        docLine("completeness:", "all cells"),
        docLine("consistency :", "checked"),
        docLine("lin/complete:", "neither keyword whole"),
        docLine("lineage+cons:", "lineage wins"),
        docLine("completeness", "consistency in value only"),
        docLine("comment     :", " leading blank kept"),
        "",
        docLine("note        :", "any other label"),
    };
    std::string text = docText(docValues());
    for (const auto& line : extra) {
        text += line.empty() ? "\r\n" : line;
    }
    TImgDoc doc;
    ASSERT_EQ(doc.ReadDoc(writeDoc(text)), TImgDoc::StatusOk);
    EXPECT_EQ(doc.Lineage, (std::vector<std::string>{"surveyed 1977", "resampled", "lineage wins"}));
    EXPECT_EQ(doc.Completeness,
              (std::vector<std::string>{"all cells", "consistency in value only"}));
    EXPECT_EQ(doc.Consistency, std::vector<std::string>{"checked"});
    EXPECT_EQ(doc.Comments, (std::vector<std::string>{"neither keyword whole", " leading blank kept",
                                                      "", "any other label"}));
}

TEST(ImgDocTest, RereadWithoutTrailingLinesEmptiesLists)
{
    TImgDoc doc = readGoodDoc();
    ASSERT_EQ(doc.Comments.size(), 1U);
    ASSERT_EQ(doc.ReadDoc(writeDoc(docText(docValues()))), TImgDoc::StatusOk);
    EXPECT_TRUE(doc.Comments.empty());
    EXPECT_TRUE(doc.Lineage.empty());
    EXPECT_TRUE(doc.Completeness.empty());
    EXPECT_TRUE(doc.Consistency.empty());
}

} // namespace
} // namespace skyglide
