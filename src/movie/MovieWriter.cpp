#include "movie/MovieWriter.h"

#include "movie/MovieEncoder.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace skyglide {

namespace fs = std::filesystem;

namespace {

std::string sizeText(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// The target as a name whose last part is the file (or folder) itself:
// "frames/" is the folder "frames".
fs::path targetPath(const std::string& fileName)
{
    fs::path target(fileName);
    while (!target.has_filename() && target.has_parent_path() && target != target.root_path())
        target = target.parent_path();
    return target;
}

// Beside the target, hidden, and unique to this process and movie.
std::string temporaryName(const fs::path& target)
{
    static std::atomic<unsigned> serial{0};
    const fs::path name = "." + target.filename().string() + ".rendering-" +
                          std::to_string(::getpid()) + "-" + std::to_string(++serial);
    return (target.has_parent_path() ? target.parent_path() / name : name).string();
}

} // namespace

[[noreturn]] void throwCannotWrite(const TMovieSettings& settings, const std::string& reason)
{
    throw EMovieError("cannot write " + settings.FileName + ": " + reason);
}

[[noreturn]] void throwCannotEncode(const TMovieSettings& settings, const std::string& reason)
{
    throw EMovieError("cannot encode " + settings.FileName + ": " + reason);
}

void packRGB24(const TRGBFrame& frame, std::uint8_t* out, std::size_t outStride, bool bgr,
               bool bottomUp)
{
    const int bytes = frame.BytesPerPixel;
    const int red = bgr ? 2 : 0;
    const int blue = bgr ? 0 : 2;
    for (int y = 0; y < frame.Height; ++y) {
        const std::uint8_t* in = frame.topRow() + frame.rowStep() * y;
        std::uint8_t* row = out + outStride * std::size_t(bottomUp ? frame.Height - 1 - y : y);
        for (int x = 0; x < frame.Width; ++x, in += bytes, row += 3) {
            row[red] = in[0];
            row[1] = in[1];
            row[blue] = in[2];
        }
    }
}

void writeWholeFile(const TMovieSettings& settings, const std::string& fileName,
                    const std::uint8_t* data, std::size_t size)
{
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throwCannotWrite(settings, std::strerror(errno));
    int error = 0;
    while (size > 0 && !error) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno != EINTR)
            error = errno;
        else if (written > 0) {
            data += written;
            size -= std::size_t(written);
        }
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (error)
        throwCannotWrite(settings, std::strerror(error));
}

int syncFile(const std::string& fileName)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = ::fsync(fd) != 0 ? errno : 0;
    if (::close(fd) != 0 && !error)
        error = errno;
    return error;
}

TMovieWriter::TMovieWriter(const TMovieSettings& settings)
    : m_settings(CheckMovieSettings(settings, &m_note))
{
    const fs::path target = targetPath(m_settings.FileName);
    const bool pictures = m_settings.Format == TMovieFormat::mfPNG;
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (fs::exists(status)) {
        // A movie never replaces a folder, a device or a pipe, and pictures
        // never mix with the files of a folder already in use.
        if (!pictures && fs::is_directory(status))
            throwCannotWrite(m_settings, std::strerror(EISDIR));
        if (!pictures && !fs::is_regular_file(status))
            throwCannotWrite(m_settings, "not a regular file");
        if (pictures && !fs::is_directory(status))
            throwCannotWrite(m_settings, std::strerror(ENOTDIR));
        if (pictures && !fs::is_empty(target, error))
            throwCannotWrite(m_settings, std::strerror(ENOTEMPTY));
    }

    const std::string temporary = temporaryName(target);
    if (pictures) {
        if (::mkdir(temporary.c_str(), 0777) != 0)
            throwCannotWrite(m_settings, std::strerror(errno));
    } else {
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            throwCannotWrite(m_settings, std::strerror(errno));
        ::close(fd);
    }
    m_temporary = temporary;
    try {
        switch (m_settings.Format) {
        case TMovieFormat::mfMP4:
            m_encoder = makeH264Encoder(m_settings, m_temporary);
            break;
        case TMovieFormat::mfAVIMSVC:
        case TMovieFormat::mfAVIDivX:
        case TMovieFormat::mfAVIRaw:
            m_encoder = makeAVIEncoder(m_settings, m_temporary);
            break;
        case TMovieFormat::mfPNG:
            m_encoder = makePNGEncoder(m_settings, m_temporary);
            break;
        }
    } catch (...) {
        Abandon();
        throw;
    }
}

TMovieWriter::~TMovieWriter()
{
    Abandon();
}

bool TMovieWriter::Writing() const
{
    return m_encoder != nullptr;
}

void TMovieWriter::Write(const TRGBFrame& frame)
{
    if (!m_encoder)
        throw std::logic_error("TMovieWriter::Write(): the movie " + m_settings.FileName +
                               " is not open");
    const std::ptrdiff_t row = frame.rowBytes();
    if (frame.Width != m_settings.Width || frame.Height != m_settings.Height) {
        Abandon();
        throwCannotEncode(m_settings, "frame " + std::to_string(m_frames + 1) + " is " +
                                          sizeText(frame.Width, frame.Height) + ", expected " +
                                          sizeText(m_settings.Width, m_settings.Height));
    }
    if (!frame.Pixels || (frame.BytesPerPixel != 3 && frame.BytesPerPixel != 4) ||
        row < std::ptrdiff_t(frame.Width) * frame.BytesPerPixel) {
        Abandon();
        throwCannotEncode(m_settings, "frame " + std::to_string(m_frames + 1) +
                                          " has no pixels of 3 or 4 bytes in rows of " +
                                          std::to_string(frame.Width) + " pixels");
    }
    try {
        m_encoder->Write(frame, m_frames);
    } catch (...) {
        Abandon();
        throw;
    }
    ++m_frames;
}

void TMovieWriter::Finish()
{
    if (!m_encoder)
        throw std::logic_error("TMovieWriter::Finish(): the movie " + m_settings.FileName +
                               " is not open");
    if (m_frames == 0) {
        Abandon();
        throwCannotWrite(m_settings, "the movie has no frames");
    }
    try {
        m_encoder->Finish();
        m_encoder.reset();
        if (m_settings.Format != TMovieFormat::mfPNG)
            if (const int error = syncFile(m_temporary))
                throwCannotWrite(m_settings, std::strerror(error));
        if (::rename(m_temporary.c_str(), targetPath(m_settings.FileName).c_str()) != 0)
            throwCannotWrite(m_settings, std::strerror(errno));
    } catch (...) {
        Abandon();
        throw;
    }
    m_temporary.clear();
}

void TMovieWriter::Abandon() noexcept
{
    m_encoder.reset();
    if (!m_temporary.empty()) {
        std::error_code ignored;
        fs::remove_all(m_temporary, ignored);
        m_temporary.clear();
    }
}

} // namespace skyglide
