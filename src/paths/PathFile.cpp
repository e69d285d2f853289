#include "paths/PathFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skyglide {

namespace {

[[noreturn]] void throwListIndexError(long long index)
{
    throw std::runtime_error("List index out of bounds (" + std::to_string(index) + ")");
}

[[noreturn]] void throwConvertError(std::string_view text)
{
    throw std::runtime_error("'" + std::string(text) + "' is not a valid floating point value");
}

// Two decimals, a full stop and no grouping, independent of the C and C++
// locales, so that a path recorded under any regional setting reads back under
// any other.
void appendReal(std::string& out, float value)
{
    std::array<char, 64> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                         static_cast<double>(value), std::chars_format::fixed, 2);
    if (ec != std::errc{}) {
        // A float never needs more than 39 integer digits, so this is unreachable.
        throw std::runtime_error("formatPoseLine: cannot format a coordinate");
    }
    std::string_view text(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    // A heading of -0.001 would otherwise be written "-0.00".
    if (text == "-0.00")
        text.remove_prefix(1);
    out.append(text);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Characters 1 to 32 separate fields; NUL ends the line.
bool isSeparatorChar(char c)
{
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

std::string fileReason(const std::string& what, const std::string& fileName, std::error_code code)
{
    return what + " \"" + fileName + "\": " + code.message();
}

[[noreturn]] void throwFileError(const char* what, const std::string& fileName, int error)
{
    const std::error_code code(error, std::generic_category());
    throw EPathFileError(fileReason(what, fileName, code), code);
}

// Splits file contents into lines at CR LF, LF or CR. A final line end does
// not start another line; an empty text has no lines.
std::vector<std::string> splitTextLines(std::string_view text)
{
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(byteOrderMark))
        text.remove_prefix(byteOrderMark.size());

    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

std::string readWholeFile(const std::string& fileName)
{
    if (fileName.empty())
        throwFileError("Cannot open file", fileName, ENOENT);
    // Non-blocking, so that a FIFO picked by mistake cannot stall the viewer
    // in open(); it is refused below.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throwFileError("Cannot open file", fileName, errno);

    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        throwFileError("Cannot open file", fileName, errno);
    if (S_ISDIR(info.st_mode))
        throwFileError("Cannot open file", fileName, EISDIR);
    if (!S_ISREG(info.st_mode)) {
        throw EPathFileError("Cannot open file \"" + fileName + "\": not a regular file",
                             std::make_error_code(std::errc::invalid_argument));
    }

    std::string contents;
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwFileError("Cannot read file", fileName, errno);
        }
        if (got == 0)
            break;
        contents.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return contents;
}

// Replaces `fileName` by `contents` so that the name always refers either to
// the complete old file or to the complete new one: the data goes to a
// temporary file in the same folder, reaches the disk, and is then renamed
// over the target.
void replaceFile(const std::string& fileName, std::string_view contents)
{
    namespace fs = std::filesystem;
    if (fileName.empty())
        throwFileError("Cannot create file", fileName, ENOENT);

    fs::path target(fileName);
    std::error_code ec;
    // Saving through a symbolic link updates the file it points to and keeps
    // the link.
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec)
            target = resolved;
    }

    struct stat old
    {
    };
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        throwFileError("Cannot create file", fileName, EISDIR);
    // A file the user made read-only is not replaced behind their back.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        throwFileError("Cannot create file", fileName, errno);

    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    // Keep the temporary name within the file system's name length.
    const std::string base = target.filename().string().substr(0, 200);

    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = (folder / ("." + base + ".saving-" + std::to_string(::getpid()) + "-" +
                               std::to_string(counter++)))
                        .string();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            throwFileError("Cannot create file", fileName, errno);
    }
    if (fd < 0)
        throwFileError("Cannot create file", fileName, EEXIST);

    auto fail = [&](int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.c_str());
        throwFileError("Cannot write file", fileName, error);
    };

    // A replaced file keeps its permissions; a new one gets those of the
    // umask, as any other file the user creates.
    if (exists)
        (void)::fchmod(fd, old.st_mode & 07777);

    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t put = ::write(fd, contents.data() + written, contents.size() - written);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        written += static_cast<std::size_t>(put);
    }
    if (::fsync(fd) != 0)
        fail(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        fail(errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        fail(errno);

    // Make the new name itself durable; a failure here loses nothing that the
    // rename has not already put in place.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
}

} // namespace

std::string formatPoseLine(int index, const TPose& pose)
{
    std::string line = std::to_string(index);
    line.reserve(96);
    for (const auto* group :
         {&pose.ObserverPosition, &pose.ObserverDirection, &pose.CameraPosition}) {
        for (float value : *group) {
            line += ',';
            appendReal(line, value);
        }
    }
    return line;
}

double pathTextToReal(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    const std::string_view number = text.substr(first, last - first);

    std::size_t i = 0;
    bool negative = false;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
        negative = number[i] == '-';
        ++i;
    }
    const std::size_t mantissa = i;
    // Decimal exponent of the leading significant digit, to tell an overflow
    // from an underflow below.
    long long magnitude = 0;
    bool significant = false;
    int digits = 0;
    while (i < number.size() && isDigit(number[i])) {
        significant = significant || number[i] != '0';
        if (significant)
            ++magnitude;
        ++digits;
        ++i;
    }
    if (i < number.size() && number[i] == '.') {
        ++i;
        while (i < number.size() && isDigit(number[i])) {
            if (!significant) {
                if (number[i] == '0')
                    --magnitude;
                else
                    significant = true;
            }
            ++digits;
            ++i;
        }
    }
    if (digits == 0)
        throwConvertError(text);
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
            negativeExponent = number[i] == '-';
            ++i;
        }
        long long exponent = 0;
        int exponentDigits = 0;
        while (i < number.size() && isDigit(number[i])) {
            if (exponent < 1'000'000)
                exponent = exponent * 10 + (number[i] - '0');
            ++exponentDigits;
            ++i;
        }
        if (exponentDigits == 0)
            throwConvertError(text);
        magnitude += negativeExponent ? -exponent : exponent;
    }
    if (i != number.size())
        throwConvertError(text);

    double value = 0.0;
    const char* begin = number.data() + mantissa;
    const char* end = number.data() + number.size();
    const auto [stop, ec] = std::from_chars(begin, end, value);
    if (ec == std::errc::result_out_of_range && magnitude <= 0)
        value = 0.0;
    else if (ec != std::errc{} || stop != end)
        throwConvertError(text);
    return negative ? -value : value;
}

std::vector<std::string> splitPathLine(std::string_view line)
{
    constexpr char delimiter = ',';
    constexpr char quote = '"';
    const std::size_t end = std::min(line.find('\0'), line.size());

    std::vector<std::string> fields;
    std::size_t p = 0;
    auto skipSeparators = [&] {
        while (p < end && isSeparatorChar(line[p]))
            ++p;
    };

    skipSeparators();
    while (p < end) {
        std::string field;
        if (line[p] == quote) {
            ++p;
            while (p < end) {
                if (line[p] == quote) {
                    if (p + 1 < end && line[p + 1] == quote) {
                        field += quote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                field += line[p++];
            }
        } else {
            const std::size_t start = p;
            while (p < end && line[p] != delimiter && !isSeparatorChar(line[p]))
                ++p;
            field.assign(line.substr(start, p - start));
        }
        fields.push_back(std::move(field));

        skipSeparators();
        if (p < end && line[p] == delimiter) {
            if (p + 1 == end)
                fields.emplace_back();
            ++p;
            skipSeparators();
        }
    }
    return fields;
}

void TPathFile::Add(const std::string& line)
{
    m_lines.push_back(line);
    m_currentLine = Count();
    m_modified = true;
}

void TPathFile::Clear()
{
    m_fields.clear();
    m_fileName.clear();
    m_currentLine = 0;
    m_modified = false;
    m_lines.clear();
}

void TPathFile::LoadFromFile(const std::string& fileName)
{
    // Everything that can fail happens before the path changes.
    std::vector<std::string> lines = splitTextLines(readWholeFile(fileName));
    std::string name = fileName;

    m_lines.swap(lines);
    m_fileName.swap(name);
    m_currentLine = 0;
    m_fields.clear();
    m_modified = false;
}

void TPathFile::SaveToFile(const std::string& fileName)
{
    std::string contents;
    std::size_t size = 0;
    for (const auto& line : m_lines)
        size += line.size() + 2;
    contents.reserve(size);
    for (const auto& line : m_lines) {
        contents += line;
        contents += "\r\n";
    }
    std::string name = fileName;
    replaceFile(fileName, contents);
    m_fileName.swap(name);
    m_modified = false;
}

bool TPathFile::Next()
{
    const long long next = static_cast<long long>(m_currentLine) + 1;
    const bool more = next >= 0 && next < Count();
    m_currentLine = more ? static_cast<std::int32_t>(next) : 0;
    m_fields.clear();
    if (!m_lines.empty())
        m_fields = splitPathLine(m_lines[static_cast<std::size_t>(m_currentLine)]);
    return more;
}

const std::string& TPathFile::Strings(int index) const
{
    if (index < 0 || index >= Count())
        throwListIndexError(index);
    return m_lines[static_cast<std::size_t>(index)];
}

double TPathFile::fieldValue(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_fields.size())
        throwListIndexError(index);
    return pathTextToReal(m_fields[static_cast<std::size_t>(index)]);
}

TPose TPathFile::currentPose() const
{
    return poseFromFields(m_fields);
}

void checkPathPose(const TPathFile& path, int line)
{
    if (line < 0 || line >= path.Count())
        return;
    try {
        poseFromFields(splitPathLine(path[line]));
    } catch (const std::runtime_error& error) {
        throw EPathFileError("Cannot load path \"" + path.FileName() + "\": line " +
                                 std::to_string(line + 1) + ": " + error.what(),
                             std::make_error_code(std::errc::invalid_argument));
    }
}

TPose poseFromFields(const std::vector<std::string>& fields)
{
    TPose pose;
    std::size_t index = 1;
    for (auto* group : {&pose.ObserverPosition, &pose.ObserverDirection, &pose.CameraPosition}) {
        for (float& value : *group) {
            if (index >= fields.size())
                throwListIndexError(static_cast<long long>(index));
            const double real = pathTextToReal(fields[index]);
            if (std::fabs(real) > static_cast<double>(std::numeric_limits<float>::max()))
                throwConvertError(fields[index]);
            value = static_cast<float>(real);
            ++index;
        }
    }
    return pose;
}

} // namespace skyglide
