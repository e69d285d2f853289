#include "data/ImgDoc.h"

#include "data/FileIO.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace skyglide {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string lowerCase(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

/// The label column of a line (shorter when the line is).
std::string_view labelOf(std::string_view line)
{
    return line.substr(0, std::min(line.size(), TImgDoc::LabelWidth));
}

/// The value of a line: everything after the label column, blanks included.
std::string_view valueOf(std::string_view line)
{
    return line.size() > TImgDoc::LabelWidth ? line.substr(TImgDoc::LabelWidth)
                                             : std::string_view{};
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

/// Splits off the next blank-separated word of `text`.
std::string_view nextWord(std::string_view& text)
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    std::size_t end = 0;
    while (end < text.size() && !isBlank(text[end])) {
        ++end;
    }
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

/// A whole word as a finite decimal number ("." as decimal point, an
/// optional sign and exponent).
bool toDouble(std::string_view word, double& out)
{
    if (word.size() > 1 && word.front() == '+' && word[1] != '-' && word[1] != '+') {
        word.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, error] =
        std::from_chars(word.data(), word.data() + word.size(), value, std::chars_format::general);
    if (word.empty() || error != std::errc{} || end != word.data() + word.size() ||
        !std::isfinite(value)) {
        return false;
    }
    out = value;
    return true;
}

bool toSingle(std::string_view word, float& out)
{
    double value = 0.0;
    if (!toDouble(word, value) || std::fabs(value) > std::numeric_limits<float>::max()) {
        return false;
    }
    out = static_cast<float>(value);
    return true;
}

bool toInteger(std::string_view word, std::int64_t& out)
{
    if (word.size() > 1 && word.front() == '+' && word[1] != '-' && word[1] != '+') {
        word.remove_prefix(1);
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || error != std::errc{} || end != word.data() + word.size()) {
        return false;
    }
    out = value;
    return true;
}

/// Splits a whole text into lines at LF, dropping the CR of a CR LF.
class TLineReader
{
public:
    explicit TLineReader(std::string text) : m_text(std::move(text)) {}

    bool Next(std::string_view& line)
    {
        if (m_pos >= m_text.size()) {
            m_pastEnd = true;
            return false;
        }
        ++m_count;
        std::size_t end = m_text.find('\n', m_pos);
        const std::size_t next = end == std::string::npos ? m_text.size() : end + 1;
        if (end == std::string::npos) {
            end = m_text.size();
        }
        line = std::string_view(m_text).substr(m_pos, end - m_pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        m_pos = next;
        return true;
    }

    /// The number (from 1) of the line the reader stands on: the line Next()
    /// gave last, or the missing one after it once the text has run out.
    int LineNumber() const { return m_pastEnd ? m_count + 1 : m_count; }

private:
    std::string m_text;
    std::size_t m_pos = 0;
    int m_count = 0;
    bool m_pastEnd = false;
};

constexpr std::array<std::string_view, 5> DataTypeNames = {"integer", "real", "byte", "rgb24",
                                                           "rgb8"};
constexpr std::array<std::string_view, 3> FileTypeNames = {"ascii", "binary", "packed binary"};

} // namespace

int CellBytes(std::int16_t dataType)
{
    switch (dataType) {
    case dtInteger:
        return 2;
    case dtReal:
        return 4;
    case dtByte:
    case dtRgb8:
        return 1;
    case dtRgb24:
        return 3;
    default:
        return 0;
    }
}

TImgDoc::TImgDoc() : RefSystem("plane"), RefUnits("m") {}

std::string DocStatusText(int status, const TImgDoc& doc)
{
    std::string why;
    switch (status) {
    case TImgDoc::StatusOk:
        return "reads without error";
    case TImgDoc::StatusCannotOpen:
        why = "cannot be opened";
        break;
    case TImgDoc::StatusNotA1:
        why = "does not start with a format line containing A.1";
        break;
    case TImgDoc::StatusBadDataType:
        why = "names data type '" + doc.ErrorText + "', expected integer, real, byte, rgb24 or rgb8";
        break;
    case TImgDoc::StatusBadFileType:
        why = "names file type '" + doc.ErrorText + "', expected ascii, binary or packed binary";
        break;
    default:
        why = "holds a value that does not read as expected or ends early";
        break;
    }
    why += " (status " + std::to_string(status);
    if (doc.ErrorLine > 0) {
        why += ", line " + std::to_string(doc.ErrorLine);
    }
    return why + ")";
}

bool TImgDoc::ParseReal(const std::string& text, float& out)
{
    std::string packed;
    packed.reserve(text.size());
    for (const char c : text) {
        if (!isBlank(c)) {
            packed += c;
        }
    }
    if (!toSingle(packed, out)) {
        out = 0.0F;
        return false;
    }
    return true;
}

int TImgDoc::ReadDoc(const std::string& fileName)
{
    ErrorText.clear();
    ErrorText2.clear();
    ErrorLine = 0;

    std::string text;
    {
        TReadOnlyFile file;
        std::string reason;
        if (!file.Open(fileName, reason)) {
            ErrorText = fileName;
            return StatusCannotOpen;
        }
        try {
            text.resize(file.Size());
            text.resize(file.ReadAt(0, text.data(), text.size()));
        } catch (const TRasterError&) {
            ErrorText = fileName;
            return StatusReadError;
        }
    }
    return ReadDocText(std::move(text), fileName);
}

int TImgDoc::ReadDocText(std::string text, const std::string& fileName)
{
    ErrorText.clear();
    ErrorText2.clear();
    ErrorLine = 0;
    TLineReader reader(std::move(text));
    std::string_view line;

    const auto failAt = [&](int status) {
        ErrorLine = reader.LineNumber();
        return status;
    };
    const auto fail = [&]() {
        ErrorText = fileName;
        return failAt(StatusReadError);
    };
    // The first word of the next line's value, or nothing at the end of the file.
    std::string_view rest;
    const auto nextNumberLine = [&]() {
        if (!reader.Next(line)) {
            return false;
        }
        rest = valueOf(line);
        return true;
    };
    const auto readDouble = [&](double& field) {
        double value = 0.0;
        if (!nextNumberLine() || !toDouble(nextWord(rest), value)) {
            return false;
        }
        field = value;
        return true;
    };
    const auto readSingle = [&](float& field) {
        float value = 0.0F;
        if (!nextNumberLine() || !toSingle(nextWord(rest), value)) {
            return false;
        }
        field = value;
        return true;
    };
    const auto readCount = [&](std::int32_t& field) {
        std::int64_t value = 0;
        if (!nextNumberLine() || !toInteger(nextWord(rest), value) || value < 0 ||
            value > std::numeric_limits<std::int32_t>::max()) {
            return false;
        }
        field = static_cast<std::int32_t>(value);
        return true;
    };
    const auto readText = [&](std::string& field, bool lower) {
        if (!reader.Next(line)) {
            return false;
        }
        field = lower ? lowerCase(valueOf(line)) : std::string(valueOf(line));
        return true;
    };
    const auto readKnown = [&](float& field, bool& known) {
        if (!reader.Next(line)) {
            return false;
        }
        known = ParseReal(std::string(valueOf(line)), field);
        return true;
    };
    const auto readColour = [&](float& field, std::string& fieldText) {
        if (!nextNumberLine()) {
            return false;
        }
        std::int64_t parts[3] = {};
        for (auto& part : parts) {
            if (!toInteger(nextWord(rest), part)) {
                return false;
            }
        }
        field = static_cast<float>((parts[0] & 0xFF) + (parts[1] & 0xFF) * 256 +
                                   (parts[2] & 0xFF) * 65536);
        fieldText = std::to_string(parts[0]) + ' ' + std::to_string(parts[1]) + ' ' +
                    std::to_string(parts[2]);
        return true;
    };

    // Line 1: the format, which names the version this reader understands.
    if (!readText(FileFormat, false)) {
        return fail();
    }
    if (lowerCase(FileFormat).find("a.1") == std::string::npos) {
        return failAt(StatusNotA1);
    }
    if (!readText(FileTitle, false)) {
        return fail();
    }

    std::string typeText;
    if (!readText(typeText, true)) {
        return fail();
    }
    DataType = dtUnknown;
    for (std::size_t i = 0; i < DataTypeNames.size(); ++i) {
        if (DataTypeNames[i].find(typeText) != std::string_view::npos) {
            DataType = static_cast<std::int16_t>(i);
            break;
        }
    }
    if (DataType == dtUnknown) {
        ErrorText = typeText;
        return failAt(StatusBadDataType);
    }

    if (!readText(typeText, true)) {
        return fail();
    }
    FileType = ftUnknown;
    for (std::size_t i = 0; i < FileTypeNames.size(); ++i) {
        if (FileTypeNames[i] == typeText) {
            FileType = static_cast<std::int16_t>(i);
            break;
        }
    }
    if (FileType == ftUnknown) {
        ErrorText = typeText;
        return failAt(StatusBadFileType);
    }

    if (!readCount(Columns) || !readCount(Rows) || !readText(RefSystem, true) ||
        !readText(RefUnits, true) || !readDouble(UnitDist) || !readDouble(MinX) ||
        !readDouble(MaxX) || !readDouble(MinY) || !readDouble(MaxY) ||
        !readKnown(PosnError, PosnErrorKnown) || !readKnown(Resolution, ResolutionKnown)) {
        return fail();
    }

    if (DataType == dtRgb24) {
        if (!readColour(MinValue, MinValueText) || !readColour(MaxValue, MaxValueText) ||
            !readColour(DisplayMin, DisplayMinText) || !readColour(DisplayMax, DisplayMaxText)) {
            return fail();
        }
    } else if (!readSingle(MinValue) || !readSingle(MaxValue) || !readSingle(DisplayMin) ||
               !readSingle(DisplayMax)) {
        return fail();
    }

    if (!readText(ValueUnits, true) || !readKnown(ValueError, ValueErrorKnown) ||
        !readKnown(FlagValue, FlagValueKnown) || !readText(FlagDefn, true)) {
        return fail();
    }

    // A negative count reads no legend lines; it is kept as it is (within
    // 16 bits), so the texture treats it as any other count that is not 0.
    std::int64_t cats = 0;
    if (!nextNumberLine() || !toInteger(nextWord(rest), cats)) {
        return fail();
    }
    LegendCats = static_cast<std::int16_t>(std::clamp<std::int64_t>(
        cats, std::numeric_limits<std::int16_t>::min(), MaxLegendCats));
    for (int i = 0; i < LegendCats; ++i) {
        if (!reader.Next(line)) {
            return fail();
        }
        const std::string_view label = labelOf(line);
        const std::string_view codeText =
            trimmed(label.size() > 5 ? label.substr(5, 6) : std::string_view{});
        std::int64_t code = 0;
        if (!toInteger(codeText, code) || code < std::numeric_limits<std::int16_t>::min() ||
            code > std::numeric_limits<std::int16_t>::max()) {
            return fail();
        }
        LegendCodes[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(code);
        LegendNames[static_cast<std::size_t>(i)] = std::string(valueOf(line));
    }

    Lineage.clear();
    Completeness.clear();
    Consistency.clear();
    Comments.clear();
    while (reader.Next(line)) {
        const std::string label = lowerCase(labelOf(line));
        std::string value(valueOf(line));
        if (label.find("lineage") != std::string::npos) {
            Lineage.push_back(std::move(value));
        } else if (label.find("completeness") != std::string::npos) {
            Completeness.push_back(std::move(value));
        } else if (label.find("consistency") != std::string::npos) {
            Consistency.push_back(std::move(value));
        } else {
            Comments.push_back(std::move(value));
        }
    }
    return StatusOk;
}

} // namespace skyglide
