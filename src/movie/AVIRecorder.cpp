#include "movie/AVIRecorder.h"

#include "movie/AVIStreamWriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace skyglide {

namespace fs = std::filesystem;

namespace {

const char* const kNotCreatedAdd = "Cannot add frame to AVI. AVI file not created.";
const char* const kNotCreatedClose = "Cannot close AVI file. AVI file not created.";
const char* const kCannotCreateFile = "Cannot create AVI file. Disk full or file in use?";
const char* const kAddFrameError = "Add Frame Error";

void removeFile(const std::string& fileName)
{
    std::error_code ignored;
    fs::remove(fileName, ignored);
}

// Where a movie named `target` goes: a movie saved through a symbolic link
// replaces the file the link points to.
fs::path placeOf(const std::string& target)
{
    std::error_code error;
    if (fs::is_symlink(target, error)) {
        fs::path resolved = fs::weakly_canonical(target, error);
        if (!error)
            return resolved;
    }
    return target;
}

// The file a movie is written to until it is complete: hidden beside its
// place (a rename within one file system is what makes the finished movie
// appear whole) and unique to this process and movie.
std::string recordingName(const std::string& target)
{
    static std::atomic<unsigned> serial{0};
    const fs::path place = placeOf(target);
    return (place.parent_path() / ("." + place.filename().string() + ".recording-" +
                                   std::to_string(::getpid()) + "-" + std::to_string(++serial)))
        .string();
}

// Puts the complete movie in place: on the disk first, then under its name.
// The reason of a failure, or empty.
std::string moveIntoPlace(const std::string& recording, const std::string& target)
{
    const int fd = ::open(recording.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        return std::strerror(error);
    }
    ::close(fd);
    if (::rename(recording.c_str(), placeOf(target).c_str()) != 0)
        return std::strerror(errno);
    return {};
}

} // namespace

TAVIRecorder::TAVIRecorder() = default;

TAVIRecorder::~TAVIRecorder()
{
    if (m_writing) {
        try {
            CloseMovieFile(true);
        } catch (...) {
            // An aborted movie is deleted; nothing is left to report to.
        }
    }
}

void TAVIRecorder::SetSceneViewer(TAVIFrameSource* viewer)
{
    m_sceneViewer = viewer;
    m_source = viewer;
}

void TAVIRecorder::SetNonVisualViewer(TAVIFrameSource* viewer)
{
    m_nonVisualViewer = viewer;
    m_source = viewer;
}

std::int32_t TAVIRecorder::RestrictSize(std::int32_t value, TAVISizeRestriction restriction)
{
    switch (restriction) {
    case TAVISizeRestriction::srNoRestriction:
        return value;
    case TAVISizeRestriction::srForceBlock2x2:
        return value / 2 * 2;
    case TAVISizeRestriction::srForceBlock4x4:
        return value / 4 * 4;
    case TAVISizeRestriction::srForceBlock8x8:
        return value / 8 * 8;
    }
    return value;
}

void TAVIRecorder::SetWidth(std::int32_t width)
{
    if (m_writing || width == m_width || width < 1)
        return;
    m_width = RestrictSize(width, m_sizeRestriction);
}

void TAVIRecorder::SetHeight(std::int32_t height)
{
    if (m_writing || height == m_height || height < 1)
        return;
    m_height = RestrictSize(height, m_sizeRestriction);
}

void TAVIRecorder::SetSizeRestriction(TAVISizeRestriction restriction)
{
    if (restriction == m_sizeRestriction)
        return;
    m_sizeRestriction = restriction;
    // The properties follow the new rule at once, even during a movie; the
    // open movie keeps the frame size it was opened with (m_frameWidth,
    // m_frameHeight), because an AVI stream cannot change size midway.
    m_height = RestrictSize(m_height, restriction);
    m_width = RestrictSize(m_width, restriction);
}

std::size_t TAVIRecorder::FrameSizeOf(std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return (std::size_t(width) * 24 + 31) / 32 * 4 * std::size_t(height);
}

std::size_t TAVIRecorder::FrameSize() const
{
    return m_writing ? m_frameBits.size() : FrameSizeOf(m_width, m_height);
}

bool TAVIRecorder::OpenMovieFile(int dpi)
{
    if (m_writing)
        throw EAVIRecorderError("TAVIRecorder::OpenMovieFile(): a movie is already open: " +
                                m_movieFileName);
    std::string name = m_filename;
    if (name.empty() && OnAskFileName)
        name = OnAskFileName();
    if (!name.empty()) {
        std::error_code error;
        const fs::file_status status = fs::status(name, error);
        if (fs::exists(status)) {
            // Folders, devices and pipes are not movie files: refusing them
            // here keeps them from being deleted, truncated or blocked on.
            if (!fs::is_regular_file(status))
                throw EAVIRecorderError(std::string(kCannotCreateFile) + " (" + name +
                                        (fs::is_directory(status) ? ": is a folder)"
                                                                  : ": not a regular file)"));
            // Yes: the complete movie replaces the file; until then it stays.
            if (!OnConfirmOverwrite || !OnConfirmOverwrite("Overwrite file " + name + "?"))
                return false;
        }
    }
    if (name.empty())
        return false;
    // A dialog runs a nested event loop, in which another movie may have
    // been opened.
    if (m_writing)
        throw EAVIRecorderError("TAVIRecorder::OpenMovieFile(): a movie is already open: " +
                                m_movieFileName);

    m_movieFileName = name;
    m_recordingName = recordingName(name);
    m_frameIndex = 0;
    m_writing = true;
    const std::uint64_t serial = ++m_movieSerial;
    try {
        m_frameWidth = m_width;
        m_frameHeight = m_height;
        m_stream = std::make_unique<TAVIStreamWriter>();
        m_stream->CreateFile(m_recordingName, name);
        // The stream refuses sizes no movie can hold before the frame buffers
        // are taken.
        m_stream->CreateStream(m_frameWidth, m_frameHeight, m_fps);
        m_frameBitmap.SetSize(m_frameWidth, m_frameHeight, TPixelFormat::pf24bit);
        m_frameBits.assign(FrameSizeOf(m_frameWidth, m_frameHeight), 0);

        std::string encoder;
        std::uint32_t fourCC = 0;
        switch (m_compressor) {
        case TAVICompressor::acDefault:
            encoder = "msvideo1";
            fourCC = MakeFourCC('M', 'S', 'V', 'C');
            break;
        case TAVICompressor::acDivX:
            encoder = "mpeg4";
            fourCC = MakeFourCC('d', 'i', 'v', 'x');
            break;
        case TAVICompressor::acShowDialog:
            if (OnChooseCompressor)
                encoder = OnChooseCompressor(AVIEncodersPresent(m_frameWidth, m_frameHeight));
            if (serial != m_movieSerial)
                return false; // closed while the chooser was open: the file is gone
            if (encoder.empty())
                encoder = UncompressedAVIEncoder;
            break;
        }
        m_stream->MakeCompressedStream(encoder, fourCC);
        m_stream->SetFormat();
        m_renderDPI = dpi;
        return true;
    } catch (...) {
        if (serial == m_movieSerial && m_writing)
            CloseMovieFile(true);
        throw;
    }
}

void TAVIRecorder::drawSnapshot()
{
    const TAVISnapshot& shot = m_snapshot;
    if (shot.Width <= 0 || shot.Height <= 0)
        return;
    const std::size_t line = std::size_t(shot.Width) * 4;
    if (shot.Pixels.size() < line * std::size_t(shot.Height))
        throw EAVIRecorderError("TAVIRecorder::AddMovieFrame(): snapshot of " +
                                std::to_string(shot.Width) + " x " + std::to_string(shot.Height) +
                                " expected " + std::to_string(line * std::size_t(shot.Height)) +
                                " bytes but got " + std::to_string(shot.Pixels.size()));
    const int width = std::min(shot.Width, m_frameWidth);
    const int height = std::min(shot.Height, m_frameHeight);
    for (int y = 0; y < height; ++y) {
        // The snapshot's rows run bottom first; its top row is at (0, 0).
        const std::uint8_t* in = shot.Pixels.data() + line * std::size_t(shot.Height - 1 - y);
        std::uint8_t* out = m_frameBitmap.ScanLine(y);
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
}

void TAVIRecorder::fillFrameBits()
{
    const std::size_t stride = m_frameBitmap.Stride();
    for (int y = 0; y < m_frameHeight; ++y)
        std::memcpy(m_frameBits.data() + stride * std::size_t(m_frameHeight - 1 - y),
                    m_frameBitmap.ScanLine(y), stride);
}

void TAVIRecorder::takeFrame()
{
    if (!m_source)
        return;
    switch (m_imageRetrievalMode) {
    case TAVIImageRetrievalMode::irmSnapShot:
        m_source->SnapShot(m_snapshot);
        drawSnapshot();
        break;
    case TAVIImageRetrievalMode::irmRenderToBitmap:
        m_source->RenderToBitmap(m_frameBitmap, m_renderDPI);
        break;
    case TAVIImageRetrievalMode::irmBitBlt:
        m_source->CopyFrameBuffer(m_frameBitmap);
        break;
    }
}

void TAVIRecorder::AddMovieFrame()
{
    if (!m_writing)
        throw EAVIRecorderError(kNotCreatedAdd);
    const std::uint64_t serial = m_movieSerial;
    takeFrame();
    if (OnPostProcessEvent && serial == m_movieSerial)
        OnPostProcessEvent(*this, m_frameBitmap);
    // The source and the handler may let window messages through, and one
    // of them may have closed the movie.
    if (!m_writing || serial != m_movieSerial)
        throw EAVIRecorderError(kNotCreatedAdd);
    if (m_frameBitmap.Width() != m_frameWidth || m_frameBitmap.Height() != m_frameHeight ||
        m_frameBitmap.PixelFormat() != TPixelFormat::pf24bit) {
        m_frameBitmap.SetSize(m_frameWidth, m_frameHeight, TPixelFormat::pf24bit);
        throw EAVIRecorderError(kAddFrameError);
    }
    fillFrameBits();
    m_stream->Write(m_frameBits.data(), m_frameIndex);
    ++m_frameIndex;
}

void TAVIRecorder::CloseMovieFile(bool abort)
{
    if (!m_writing)
        throw EAVIRecorderError(kNotCreatedClose);
    m_writing = false;
    ++m_movieSerial;
    m_frameBitmap.SetSize(0, 0);
    m_frameBits = {};
    m_snapshot = {};
    std::unique_ptr<TAVIStreamWriter> stream = std::move(m_stream);
    const bool created = stream && stream->Created();
    std::string failure;
    if (stream && !abort)
        failure = stream->Finish();
    stream.reset();
    if (created && !abort && failure.empty())
        failure = moveIntoPlace(m_recordingName, m_movieFileName);
    if (created && (abort || !failure.empty()))
        removeFile(m_recordingName);
    if (created && !failure.empty())
        throw EAVIRecorderError("Cannot finish AVI file \"" + m_movieFileName + "\": " + failure +
                                ". The unfinished file has been deleted.");
}

} // namespace skyglide
