#pragma once

// The encoders behind TMovieWriter, one per kind of output. Internal to
// skyglide_movie.

#include "movie/MovieSettings.h"
#include "movie/MovieWriter.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace skyglide {

/// Encodes the frames of one movie into `output`, a temporary file (or folder)
/// that TMovieWriter created and names when the movie is done. The settings
/// are checked and the frames have their size. Messages name the target
/// (the settings' FileName), not the temporary output.
class TMovieEncoder
{
public:
    /// Closes what is open without completing it; the writer removes the
    /// output.
    virtual ~TMovieEncoder() = default;
    /// Throws EMovieError.
    virtual void Write(const TRGBFrame& frame, int index) = 0;
    /// Drains the encoder and completes the output, on disk. Throws
    /// EMovieError.
    virtual void Finish() = 0;
};

std::unique_ptr<TMovieEncoder> makeH264Encoder(const TMovieSettings& settings,
                                               const std::string& output);
/// mfAVIMSVC, mfAVIDivX, mfAVIRaw: the stream writer of Save as AVI.
std::unique_ptr<TMovieEncoder> makeAVIEncoder(const TMovieSettings& settings,
                                              const std::string& output);
/// `output` is an empty folder.
std::unique_ptr<TMovieEncoder> makePNGEncoder(const TMovieSettings& settings,
                                              const std::string& output);

/// "cannot write <target>: <reason>"
[[noreturn]] void throwCannotWrite(const TMovieSettings& settings, const std::string& reason);
/// "cannot encode <target>: <reason>"
[[noreturn]] void throwCannotEncode(const TMovieSettings& settings, const std::string& reason);

/// Copies the frame into rows of 3 bytes a pixel, `outStride` bytes apart:
/// red, green, blue or, with `bgr`, blue, green, red; the picture's top row
/// first or, with `bottomUp`, its bottom row first.
void packRGB24(const TRGBFrame& frame, std::uint8_t* out, std::size_t outStride, bool bgr,
               bool bottomUp);

/// Writes all of `data` to a new file and flushes it to disk; "cannot write
/// <target>: <reason>" on failure (the partial file is left to the writer's
/// clean-up).
void writeWholeFile(const TMovieSettings& settings, const std::string& fileName,
                    const std::uint8_t* data, std::size_t size);

/// Flushes the file of that name to disk. Returns 0 or an errno value.
int syncFile(const std::string& fileName);

} // namespace skyglide
