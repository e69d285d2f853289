#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace skyglide {

/// One pose of the observer rig as a path line stores it: the observer's
/// position and direction and the camera's position relative to the observer.
struct TPose
{
    std::array<float, 3> ObserverPosition{};
    std::array<float, 3> ObserverDirection{};
    std::array<float, 3> CameraPosition{};
};

/// A path file that could not be read or written. what() names the file and
/// the reason, e.g. `Cannot create file "/data/flight.csv": Permission denied`.
class EPathFileError : public std::runtime_error
{
public:
    EPathFileError(const std::string& message, std::error_code code)
        : std::runtime_error(message), m_code(code)
    {
    }
    std::error_code code() const noexcept { return m_code; }

private:
    std::error_code m_code;
};

/// The line that records `pose` as line `index` of a path:
/// "index,px,py,pz,dx,dy,dz,cx,cy,cz", each real with exactly two decimals, a
/// full stop as decimal separator whatever the process locale, a leading '-'
/// for negatives (never on a value that rounds to zero) and no grouping.
std::string formatPoseLine(int index, const TPose& pose);

/// Converts the text of a path field to a real. The decimal separator is the
/// full stop whatever the process locale; blanks around the number are
/// allowed; an optional sign and an exponent ("1.5E3") are accepted. Anything
/// else, an empty text or a number too large for a double throws
/// std::runtime_error "'<text>' is not a valid floating point value".
/// A number too small to represent reads as zero.
double pathTextToReal(std::string_view text);

/// Splits a line into fields by the delimited-text rules with the comma as
/// delimiter and the double quotation mark as quote character: blanks and
/// control characters around fields are skipped and end an unquoted field, a
/// quoted field keeps commas and blanks and a doubled quote stands for one, a
/// comma that is the last character of the line adds one empty field. A NUL
/// character ends the line.
std::vector<std::string> splitPathLine(std::string_view line);

/// Fields 1 to 9 of a split path line as a pose, converted in order; the
/// first field that is missing, not a number or outside the range of a float
/// throws std::runtime_error ("List index out of bounds (<index>)" or the
/// conversion's message), so no half pose is ever returned.
TPose poseFromFields(const std::vector<std::string>& fields);

class TPathFile;

/// Checks that line (counted from 0, as the cursor counts) holds a pose;
/// nothing for a line the path does not have. Throws EPathFileError naming
/// the path's file, the line as an editor counts it (from 1) and the reason,
/// e.g. `Cannot load path "/data/flight.csv": line 2: 'abc' is not a valid
/// floating point value`.
void checkPathPose(const TPathFile& path, int line);

/// A flight path: a list of text lines, one pose per line, with a playback
/// cursor, the name of the file last loaded or saved, a modified flag and the
/// fields of the line that Next() made current.
///
/// Files are read with CR LF, LF or CR line ends (a leading UTF-8 byte order
/// mark is dropped) and written with CR LF after every line. A save goes to a
/// temporary file beside the target that replaces the target only once it is
/// complete on disk, so a failed save never damages the old file.
class TPathFile
{
public:
    TPathFile() = default;

    /// Appends a line; the cursor moves to the line count and the path is
    /// marked modified.
    void Add(const std::string& line);

    /// Removes every line, the fields and the file name; cursor 0, not
    /// modified.
    void Clear();

    /// Replaces the lines by those of the file; then FileName() is `fileName`,
    /// the cursor 0, the fields empty and the path not modified. Throws
    /// EPathFileError and leaves the path exactly as it was when the file
    /// cannot be read.
    void LoadFromFile(const std::string& fileName);

    /// Writes every line to the file, which is created or replaced; then
    /// FileName() is `fileName` and the path is not modified. The cursor does
    /// not move. Throws EPathFileError, and leaves the old file, FileName()
    /// and Modified() as they were, when the file cannot be written.
    void SaveToFile(const std::string& fileName);

    /// Advances the cursor and splits the new current line into Fields().
    /// Returns false, with the cursor back at 0 and line 0 split, when the
    /// cursor runs past the last line; on a path without lines the fields stay
    /// empty. After Rewind() the first call makes line 1 current, not line 0.
    bool Next();

    /// Moves the cursor to 0; nothing else changes.
    void Rewind() { m_currentLine = 0; }

    int Count() const { return static_cast<int>(m_lines.size()); }

    /// Line `index`; throws std::runtime_error "List index out of bounds (<index>)"
    /// outside 0 .. Count() - 1.
    const std::string& Strings(int index) const;
    const std::string& operator[](int index) const { return Strings(index); }

    std::int32_t CurrentLine() const { return m_currentLine; }
    void SetCurrentLine(std::int32_t line) { m_currentLine = line; }

    const std::string& FileName() const { return m_fileName; }
    bool Modified() const { return m_modified; }

    /// The fields of the line that the last Next() made current.
    const std::vector<std::string>& Fields() const { return m_fields; }

    /// Field `index` of the current line converted by pathTextToReal(). Throws
    /// std::runtime_error "List index out of bounds (<index>)" when the line
    /// has no such field, and the conversion's error when it is not a number.
    double fieldValue(int index) const;

    /// Fields 1 to 9 of the current line as a pose (see poseFromFields()).
    TPose currentPose() const;

private:
    std::vector<std::string> m_lines;
    std::vector<std::string> m_fields;
    std::int32_t m_currentLine = 0;
    std::string m_fileName;
    bool m_modified = false;
};

} // namespace skyglide
