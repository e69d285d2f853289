#include "import/PendingFile.h"

#include "import/ImportError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace skyglide {

TPendingFile::TPendingFile(std::string target)
    : m_target(std::move(target)), m_temporary(m_target + ".part" + std::to_string(::getpid()))
{
    m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        fail(errno);
    }
}

TPendingFile::~TPendingFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
    }
}

void TPendingFile::fail(int error)
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        ::unlink(m_temporary.c_str());
    }
    throw TImportError("cannot write " + m_target + ": " + std::strerror(error));
}

void TPendingFile::WriteAt(std::uint64_t offset, const void* bytes, std::size_t count)
{
    const auto* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t written = ::pwrite(m_fd, p, count, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            fail(written < 0 ? errno : ENOSPC);
        }
        p += written;
        offset += static_cast<std::uint64_t>(written);
        count -= static_cast<std::size_t>(written);
    }
}

void TPendingFile::Commit()
{
    if (::fsync(m_fd) != 0) {
        fail(errno);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 || std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        const int error = errno;
        ::unlink(m_temporary.c_str());
        throw TImportError("cannot write " + m_target + ": " + std::strerror(error));
    }
}

void WriteFileAtomically(const std::string& fileName, const std::string& bytes)
{
    TPendingFile file(fileName);
    file.WriteAt(0, bytes.data(), bytes.size());
    file.Commit();
}

} // namespace skyglide
