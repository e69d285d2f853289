#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace skyglide {

/// The movie file itself: an AVI container with one video stream, written
/// through libavformat and libavcodec. Used by TAVIRecorder and by the AVI
/// formats of TMovieWriter; the steps follow the order in which the recorder
/// opens a movie, and each throws EAVIRecorderError with the recorder's
/// message for that step.
///
/// Frames are handed over as a device-independent bitmap holds them: 24-bit
/// blue, green, red pixels, rows bottom first, each row padded to 4 bytes.
class TAVIStreamWriter
{
public:
    TAVIStreamWriter();
    /// Closes an unfinished file without completing it (nothing is deleted).
    ~TAVIStreamWriter();
    TAVIStreamWriter(const TAVIStreamWriter&) = delete;
    TAVIStreamWriter& operator=(const TAVIStreamWriter&) = delete;

    /// Creates (or truncates) the file. "Cannot create AVI file. Disk full or
    /// file in use?" with the system's reason, naming the file as shownName
    /// (a movie written under a temporary name is the user's own file).
    void CreateFile(const std::string& fileName, const std::string& shownName = {});
    /// True once CreateFile() has made the file: only then is it ours to
    /// delete.
    bool Created() const;

    /// The video stream: `fps` frames per second of `width` × `height`.
    /// "Cannot create AVI stream." for an empty frame, a frame too large for
    /// one chunk of the file (about 1 GiB) or a rate of 0.
    void CreateStream(int width, int height, int fps);

    /// Gets the named encoder ready (UncompressedAVIEncoder: plain bitmaps).
    /// `fourCC` replaces the encoder's usual code when not 0. "Cannot make
    /// compressed stream. " followed by "No such compressor found" when no
    /// encoder of that name is present.
    void MakeCompressedStream(const std::string& encoder, std::uint32_t fourCC);

    /// Writes the file header. "AVIStreamSetFormat Error"
    void SetFormat();

    /// Appends frame number `index` as a key frame. "Add Frame Error"
    void Write(const std::uint8_t* bits, std::int64_t index);

    /// Drains the encoder, writes the index and closes the file. Returns an
    /// empty text, or the reason the file could not be completed.
    std::string Finish();

    /// Closes the file where it stands, without completing it.
    void Abandon();

    /// The reason the file last failed to take data (e.g. "No space left on
    /// device"), or an empty text: tells a full disk from a failing encoder
    /// after "Add Frame Error".
    std::string FileError() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

/// Packs four characters into a FourCC as AVI files store it.
constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 |
           std::uint32_t(std::uint8_t(c)) << 16 | std::uint32_t(std::uint8_t(d)) << 24;
}

} // namespace skyglide
