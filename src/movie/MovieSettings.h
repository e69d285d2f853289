#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace skyglide {

/// The kinds of movie a path can be rendered into.
enum class TMovieFormat {
    mfMP4,     ///< H.264 (libx264, yuv420p) in an MP4 file with its index at the front
    mfAVIMSVC, ///< AVI, Video-1: Save as AVI's default compressor
    mfAVIDivX, ///< AVI, MPEG-4 part 2 with the FourCC "divx"
    mfAVIRaw,  ///< AVI, uncompressed 24-bit frames
    mfPNG,     ///< a folder of numbered PNG pictures, frame-000001.png onwards
};

/// "mp4", "avi-msvc", "avi-divx", "avi-raw" or "png"; nothing for any other text.
std::optional<TMovieFormat> parseMovieFormat(std::string_view name);
const char* movieFormatName(TMovieFormat format);

/// What a movie is to be: where, in which format, how large, how fast.
struct TMovieSettings
{
    /// The movie file; for mfPNG the folder that receives the pictures.
    std::string FileName;
    TMovieFormat Format = TMovieFormat::mfMP4;
    int Width = 1920;
    int Height = 1080;
    int FPS = 30;
    /// H.264's constant rate factor: 0 is lossless, 18 looks like the
    /// frames, each 6 more halves the file. Used by mfMP4 only; the AVI
    /// compressors keep the settings of Save as AVI.
    int Quality = 18;

    static constexpr int MinSize = 16;
    static constexpr int MaxWidth = 3840;
    static constexpr int MaxHeight = 2160;
    static constexpr int MinFPS = 24;
    static constexpr int MaxFPS = 60;
    static constexpr int MaxQuality = 51;
};

/// A movie that cannot be made. what() is one line that names the movie
/// and the reason, e.g. "cannot write /data/flight.mp4: No space left on
/// device"; a program puts its own name in front.
class EMovieError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// The settings a movie is made with: the frame size rounded down to what
/// the format's encoder takes (even sizes for H.264 in yuv420p, multiples of
/// 4 for Video-1). `note` receives a line that says so when the size
/// changed, else it is emptied. Throws EMovieError for a missing file name,
/// a size outside MinSize × MinSize to MaxWidth × MaxHeight, a frame rate
/// outside MinFPS to MaxFPS or a quality outside 0 to MaxQuality.
TMovieSettings CheckMovieSettings(TMovieSettings settings, std::string* note = nullptr);

} // namespace skyglide
