#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace skyglide {

/// Thrown when a raster, palette or other data file cannot be opened or
/// read, or holds less or other than its description promises. The message
/// names the file and the reason on one line.
class TRasterError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// A file opened read-only, shared with other readers and writers. Only
/// regular files are opened: a folder, pipe or device is refused before any
/// read could block on it. Move-only; closes itself.
class TReadOnlyFile
{
public:
    TReadOnlyFile() = default;
    ~TReadOnlyFile();
    TReadOnlyFile(TReadOnlyFile&& other) noexcept;
    TReadOnlyFile& operator=(TReadOnlyFile&& other) noexcept;
    TReadOnlyFile(const TReadOnlyFile&) = delete;
    TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

    /// Opens `fileName`. On failure returns false and puts the reason (the
    /// system's text, or "not a regular file") in `reason`.
    bool Open(const std::string& fileName, std::string& reason);
    /// Opens `fileName` or throws TRasterError "<file>: cannot open <what>: <reason>".
    void OpenOrThrow(const std::string& fileName, const char* what);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    const std::string& FileName() const { return m_fileName; }

    /// Size of the file in bytes when it was opened.
    std::uint64_t Size() const { return m_size; }

    /// Reads up to `count` bytes at `offset` (one positioned read, repeated
    /// only when the system hands out fewer bytes). Returns the number of
    /// bytes read: less than `count` only at the end of the file. Throws
    /// TRasterError on a read error.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::string m_fileName;
};

/// True when `fileName` names an existing regular file (or a link to one).
bool RegularFileExists(const std::string& fileName);

} // namespace skyglide
