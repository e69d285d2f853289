#pragma once

#include "movie/MovieSettings.h"
#include "paths/PathResampler.h"
#include "render/VectorGeometry.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

namespace skyglide {

// What skyglide-movie renders: the run's rasters and settings as the host
// would hold them for the viewer, the path, and the movie.
struct TMovieOptions
{
    QString Surface;
    QString Drape = QStringLiteral("none");
    QString Palette = QStringLiteral("none");
    std::uint8_t ResolutionMode = 1;
    float Exaggeration = 1.0f;

    QString Path;
    // Checked: the size rounded to what the format takes, Note says so.
    TMovieSettings Settings;
    std::string Note;
    TPathSmoothing Smoothing = TPathSmoothing::smSpline;
    bool Sky = false;
    bool FullDetail = false;
    TVector4f Background{0, 0, 0, 1};
};

// Reads the command line (arguments with the program first). Prints help,
// the version or an error itself; an empty result means the program ends
// with exitCode (0 after help, 2 after an error).
std::optional<TMovieOptions> ParseMovieOptions(const QStringList& arguments, int& exitCode);

} // namespace skyglide
