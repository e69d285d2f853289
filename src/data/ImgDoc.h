#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skyglide {

/// Cell data types of a raster image, as stored in TImgDoc::DataType.
inline constexpr std::int16_t dtInteger = 0; ///< signed 16-bit
inline constexpr std::int16_t dtReal = 1;    ///< single-precision float
inline constexpr std::int16_t dtByte = 2;    ///< unsigned 8-bit
inline constexpr std::int16_t dtRgb24 = 3;   ///< three bytes: blue, green, red
inline constexpr std::int16_t dtRgb8 = 4;    ///< unsigned 8-bit palette index
inline constexpr std::int16_t dtUnknown = 999;

/// Storage types of a raster image, as stored in TImgDoc::FileType.
inline constexpr std::int16_t ftAscii = 0;
inline constexpr std::int16_t ftBinary = 1;
inline constexpr std::int16_t ftPackedBinary = 2;
inline constexpr std::int16_t ftUnknown = 999;

/// The contents of one raster documentation file (".rdc"): the companion
/// text file of a raster image that states its size, cell type, map extent,
/// value range, legend and notes.
///
/// The file is read line by line; every line is a 14-character label column
/// followed by its value. Lines 1 to 24 are identified by position only; the
/// legend follows, then any number of trailing notes routed by their label.
class TImgDoc
{
public:
    /// ReadDoc() results.
    static constexpr int StatusOk = 0;
    static constexpr int StatusCannotOpen = -1102;  ///< ErrorText = the file name
    static constexpr int StatusNotA1 = -1136;       ///< line 1 lacks "a.1"
    static constexpr int StatusBadDataType = -1027; ///< ErrorText = the data type text
    static constexpr int StatusBadFileType = -1028; ///< ErrorText = the file type text
    static constexpr int StatusReadError = -1137;   ///< ErrorText = the file name

    static constexpr int MaxLegendCats = 256;

    /// Width of the label column of every line.
    static constexpr std::size_t LabelWidth = 14;

    TImgDoc();

    /// Reads the documentation file `fileName` into the fields and returns a
    /// status (StatusOk or one of the negative codes above). Fields are
    /// overwritten in file order as far as reading gets: after a failure the
    /// fields read before it keep their new values and the rest keep their
    /// old ones. ErrorText and ErrorText2 are cleared first.
    ///
    /// Negative columns or rows are a read error like a number that does not
    /// convert. A negative legend count reads no legend lines and stays in
    /// LegendCats (at least −32768).
    int ReadDoc(const std::string& fileName);
    /// ReadDoc() of a documentation already in memory; `fileName` is what
    /// ErrorText names on failure.
    int ReadDocText(std::string text, const std::string& fileName);

    /// Removes every blank (space or tab) from `text` and converts the rest
    /// as a decimal number with "." as decimal point. The whole rest must
    /// convert to a finite single. On success stores the value in `out` and
    /// returns true; otherwise stores 0 and returns false.
    static bool ParseReal(const std::string& text, float& out);

    std::string FileFormat;
    std::string FileTitle;
    std::int16_t DataType = 0;
    std::int16_t FileType = 0;
    std::int32_t Columns = 0;
    std::int32_t Rows = 0;
    std::string RefSystem;
    std::string RefUnits;
    double UnitDist = 1.0;
    double MinX = 0.0;
    double MaxX = 0.0;
    double MinY = 0.0;
    double MaxY = 0.0;
    float PosnError = 0.0F;
    bool PosnErrorKnown = false;
    float Resolution = 0.0F;
    bool ResolutionKnown = false;
    /// The four value fields of an rgb24 documentation hold a packed colour,
    /// first + second × 256 + third × 65536 of the line's three numbers (each
    /// kept to its low 8 bits); the …Text fields then hold the three numbers
    /// in decimal separated by one blank.
    float MinValue = 0.0F;
    std::string MinValueText;
    float MaxValue = 0.0F;
    std::string MaxValueText;
    float DisplayMin = 0.0F;
    std::string DisplayMinText;
    float DisplayMax = 0.0F;
    std::string DisplayMaxText;
    std::string ValueUnits;
    float ValueError = 0.0F;
    bool ValueErrorKnown = false;
    float FlagValue = 0.0F;
    std::string FlagDefn;
    bool FlagValueKnown = false;
    /// Number of legend entries in use, 0 … 256; a negative count as the
    /// file gives it, with no entries.
    std::int16_t LegendCats = 0;
    std::array<std::int16_t, MaxLegendCats> LegendCodes{};
    std::array<std::string, MaxLegendCats> LegendNames;
    std::vector<std::string> Comments;
    std::vector<std::string> Lineage;
    std::vector<std::string> Completeness;
    std::vector<std::string> Consistency;
    std::string ErrorText;
    std::string ErrorText2;
    /// The line (from 1) at which the last ReadDoc() failed: the line that
    /// did not read, or the missing one after the last when the file ends
    /// early. 0 after a complete read and when the file could not be opened.
    int ErrorLine = 0;
};

/// What a ReadDoc() status says about the documentation file, in words
/// ("cannot be opened", "names data type 'x', expected …"), without the
/// file's name.
std::string DocStatusText(int status, const TImgDoc& doc);

/// Bytes of one cell of the given data type (2, 4, 1, 3, 1), or 0 for a type
/// that is not recognised.
int CellBytes(std::int16_t dataType);

} // namespace skyglide
