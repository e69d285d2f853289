#include "data/FileIO.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace skyglide {

TReadOnlyFile::~TReadOnlyFile()
{
    Close();
}

TReadOnlyFile::TReadOnlyFile(TReadOnlyFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_size(std::exchange(other.m_size, 0)),
      m_fileName(std::move(other.m_fileName))
{
}

TReadOnlyFile& TReadOnlyFile::operator=(TReadOnlyFile&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_size = std::exchange(other.m_size, 0);
        m_fileName = std::move(other.m_fileName);
    }
    return *this;
}

bool TReadOnlyFile::Open(const std::string& fileName, std::string& reason)
{
    Close();
    // O_NONBLOCK keeps the open itself from waiting on a pipe with no writer;
    // such files are refused right after.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0) {
        reason = std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = S_ISDIR(info.st_mode) ? "is a folder" : "not a regular file";
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    m_fd = fd;
    m_size = static_cast<std::uint64_t>(info.st_size);
    m_fileName = fileName;
    return true;
}

void TReadOnlyFile::OpenOrThrow(const std::string& fileName, const char* what)
{
    std::string reason;
    if (!Open(fileName, reason)) {
        throw TRasterError(fileName + ": cannot open " + what + ": " + reason);
    }
}

void TReadOnlyFile::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_size = 0;
}

std::size_t TReadOnlyFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(m_fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw TRasterError(m_fileName + ": read error at byte " +
                               std::to_string(offset + done) + ": " + std::strerror(errno));
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool RegularFileExists(const std::string& fileName)
{
    struct stat info
    {
    };
    return !fileName.empty() && ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace skyglide
