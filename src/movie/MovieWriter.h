#pragma once

#include "movie/MovieSettings.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace skyglide {

/// A rendered picture handed to a movie writer: 8 bits per channel, red,
/// green, blue and, with 4 bytes per pixel, an alpha byte that is ignored.
/// It points into the renderer's buffer and owns nothing.
struct TRGBFrame
{
    int Width = 0;
    int Height = 0;
    const std::uint8_t* Pixels = nullptr;
    int BytesPerPixel = 3; ///< 3 (RGB) or 4 (RGBA)
    /// Bytes from one stored row to the next; 0 means Width × BytesPerPixel.
    std::ptrdiff_t Stride = 0;
    /// Rows stored from the bottom of the picture up, as OpenGL reads them
    /// back; otherwise from the top down.
    bool BottomUp = false;

    std::ptrdiff_t rowBytes() const
    {
        return Stride ? Stride : std::ptrdiff_t(Width) * BytesPerPixel;
    }
    /// The picture's top row, and the step from one row to the one below it.
    const std::uint8_t* topRow() const
    {
        return BottomUp ? Pixels + rowBytes() * (Height - 1) : Pixels;
    }
    std::ptrdiff_t rowStep() const { return BottomUp ? -rowBytes() : rowBytes(); }
};

class TMovieEncoder;

/// Writes frames into a movie file (or a folder of pictures) that appears
/// under its name only when it is complete.
///
/// The frames go to a temporary name beside the target (".<name>.rendering-
/// <pid>-<n>"), which Finish() flushes to disk and renames over the target; an
/// existing file of that name is then replaced (a PNG folder only when it is
/// empty). Abandon(), the destructor, and every failure remove the temporary
/// output, so a cancelled or failed movie leaves nothing behind and an older
/// movie of the same name stays as it was.
///
/// Every failure is one EMovieError: "cannot write <name>: <reason>" when the
/// disk or the folder refuses the data, "cannot encode <name>: <reason>" when
/// the encoder fails. After one the writer is closed.
class TMovieWriter
{
public:
    /// Checks the settings (CheckMovieSettings(); Settings() holds the result,
    /// whose size every frame must have), refuses a target that is a folder,
    /// device or pipe (for PNG: anything but a missing or empty folder),
    /// creates the temporary output and opens the encoder.
    explicit TMovieWriter(const TMovieSettings& settings);
    /// Abandons an unfinished movie.
    ~TMovieWriter();
    TMovieWriter(const TMovieWriter&) = delete;
    TMovieWriter& operator=(const TMovieWriter&) = delete;

    const TMovieSettings& Settings() const { return m_settings; }
    /// The line CheckMovieSettings() wrote about a rounded size, or empty.
    const std::string& Note() const { return m_note; }
    /// True from the constructor until Finish(), Abandon() or a failure.
    bool Writing() const;
    int FramesWritten() const { return m_frames; }

    /// Appends a frame of Settings().Width × Settings().Height.
    void Write(const TRGBFrame& frame);
    /// Completes the movie and gives it its name.
    void Finish();
    /// Drops the movie: the temporary output goes, the target is untouched.
    void Abandon() noexcept;

private:
    std::string m_note; // before m_settings, whose check writes it
    TMovieSettings m_settings;
    std::string m_temporary;
    std::unique_ptr<TMovieEncoder> m_encoder;
    int m_frames = 0;
};

} // namespace skyglide
