#include "movie/MovieSettings.h"

namespace skyglide {

namespace {

std::string sizeText(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

} // namespace

std::optional<TMovieFormat> parseMovieFormat(std::string_view name)
{
    for (TMovieFormat f : {TMovieFormat::mfMP4, TMovieFormat::mfAVIMSVC, TMovieFormat::mfAVIDivX,
                           TMovieFormat::mfAVIRaw, TMovieFormat::mfPNG})
        if (name == movieFormatName(f))
            return f;
    return std::nullopt;
}

const char* movieFormatName(TMovieFormat format)
{
    switch (format) {
    case TMovieFormat::mfMP4:
        return "mp4";
    case TMovieFormat::mfAVIMSVC:
        return "avi-msvc";
    case TMovieFormat::mfAVIDivX:
        return "avi-divx";
    case TMovieFormat::mfAVIRaw:
        return "avi-raw";
    case TMovieFormat::mfPNG:
        return "png";
    }
    return "";
}

TMovieSettings CheckMovieSettings(TMovieSettings settings, std::string* note)
{
    using S = TMovieSettings;
    if (note)
        note->clear();
    if (settings.FileName.empty())
        throw EMovieError("no movie file name given");
    if (settings.Width < S::MinSize || settings.Height < S::MinSize ||
        settings.Width > S::MaxWidth || settings.Height > S::MaxHeight)
        throw EMovieError("movie size " + sizeText(settings.Width, settings.Height) +
                          " is outside " + sizeText(S::MinSize, S::MinSize) + " to " +
                          sizeText(S::MaxWidth, S::MaxHeight));
    if (settings.FPS < S::MinFPS || settings.FPS > S::MaxFPS)
        throw EMovieError("frame rate " + std::to_string(settings.FPS) + " is outside " +
                          std::to_string(S::MinFPS) + " to " + std::to_string(S::MaxFPS));
    if (settings.Format == TMovieFormat::mfMP4 &&
        (settings.Quality < 0 || settings.Quality > S::MaxQuality))
        throw EMovieError("quality " + std::to_string(settings.Quality) + " is outside 0 to " +
                          std::to_string(S::MaxQuality));

    int block = 1;
    const char* why = "";
    if (settings.Format == TMovieFormat::mfMP4) {
        block = 2;
        why = "H.264 in yuv420p takes even sizes only";
    } else if (settings.Format == TMovieFormat::mfAVIMSVC) {
        block = 4;
        why = "Video-1 takes multiples of 4 only";
    }
    const int width = settings.Width / block * block;
    const int height = settings.Height / block * block;
    if (note && (width != settings.Width || height != settings.Height))
        *note = "movie size " + sizeText(settings.Width, settings.Height) + " rounded down to " +
                sizeText(width, height) + ": " + why;
    settings.Width = width;
    settings.Height = height;
    return settings;
}

} // namespace skyglide
