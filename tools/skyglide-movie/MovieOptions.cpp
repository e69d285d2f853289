#include "MovieOptions.h"

#include "app/ProcessParameters.h"
#include "import/CommandLine.h"

#include <QRegularExpression>

namespace skyglide {

namespace {

QString Quoted(const char* option, const QString& text)
{
    return QStringLiteral("--%1: '%2'").arg(QLatin1String(option), text);
}

bool ToSize(const TToolCommandLine& line, const QString& text, TMovieSettings& settings,
            int& exitCode)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return line.Fail(Quoted("size", text) +
                             QStringLiteral(" is not WIDTHxHEIGHT, e.g. 1920x1080"),
                         exitCode);
    settings.Width = match.captured(1).toInt();
    settings.Height = match.captured(2).toInt();
    return true;
}

bool ToColour(const TToolCommandLine& line, const QString& text, TVector4f& colour, int& exitCode)
{
    static const QRegularExpression pattern(QStringLiteral("^#?[0-9A-Fa-f]{6}$"));
    if (!pattern.match(text).hasMatch())
        return line.Fail(Quoted("background", text) +
                             QStringLiteral(" is not a colour RRGGBB in hexadecimal, e.g. 87CEEB"),
                         exitCode);
    const unsigned rgb = text.right(6).toUInt(nullptr, 16);
    colour = {float((rgb >> 16) & 0xFF) / 255.0f, float((rgb >> 8) & 0xFF) / 255.0f,
              float(rgb & 0xFF) / 255.0f, 1.0f};
    return true;
}

} // namespace

std::optional<TMovieOptions> ParseMovieOptions(const QStringList& arguments, int& exitCode)
{
    TToolCommandLine line(
        "skyglide-movie",
        QStringLiteral(
            "Renders a flight path over a terrain into a movie, off-screen, without a window or a\n"
            "host: the rasters are read as the viewer reads them, every frame is rendered at the\n"
            "movie's size and encoded. Ctrl+C stops it and leaves no file behind."),
        QStringLiteral("Surface raster: a raster pair (.rst), or any raster GDAL reads (GeoTIFF, "
                       "ASCII grid, HGT, ...), imported once into the cache."));
    const QCommandLineParser& parser = line.Parser();
    const TMovieOptions defaults;
    auto drape = line.Value("drape",
                            "Drape image (default none: the surface itself); a foreign raster is "
                            "imported and fitted onto the surface's grid.",
                            "file", defaults.Drape);
    auto palette = line.Value("palette",
                              "Palette (default none: greyscale); a bare name such as elevation is "
                              "looked for in the working folder and the bundled palettes.",
                              "name", defaults.Palette);
    auto detail =
        line.Value("detail", "Detail level: 1, 2, 3 or other, as the viewer's (default 1).",
                   "level", QStringLiteral("1"));
    auto exaggeration =
        line.Value("exaggeration", "Vertical exaggeration in hundredths (default 100).", "percent",
                   QStringLiteral("100"));
    auto path =
        line.Value("path", "The flight path to render (.csv), as Save Path writes it.", "file");
    auto out = line.Value("out",
                          "The movie file; for png a folder, new or empty, that receives "
                          "frame-000001.png onwards.",
                          "file");
    auto size =
        line.Value("size",
                   "Frame size, 16x16 to 3840x2160 (default 1920x1080), rounded down to what "
                   "the format takes.",
                   "WxH", QStringLiteral("1920x1080"));
    auto fps = line.Value("fps", "Frames per second, 24 to 60 (default 30).", "rate",
                          QStringLiteral("30"));
    auto format = line.Value("format",
                             "mp4 (H.264), avi-msvc (Video-1), avi-divx (MPEG-4), avi-raw "
                             "(uncompressed) or png (default mp4).",
                             "format", QStringLiteral("mp4"));
    auto quality = line.Value("quality",
                              "H.264's constant rate factor for mp4: 0 (lossless) to 51, 6 more "
                              "halves the file (default 18).",
                              "crf", QStringLiteral("18"));
    auto smooth =
        line.Value("smooth",
                   "none (one frame per recorded pose), spline (a smooth curve through the "
                   "poses, as long as the path plays) or constant-speed (the same at an "
                   "even speed) (default spline).",
                   "smoothing", QStringLiteral("spline"));
    auto sky = line.Flag("sky", "Show the sky (the viewer starts without it).");
    auto fullDetail = line.Flag("full-detail",
                                "Every cell of the surface, as the viewer's Full Detail shows it.");
    auto background = line.Value(
        "background", "Background colour in hexadecimal (default 000000, the viewer's black).",
        "RRGGBB", QStringLiteral("000000"));

    if (!line.Parse(arguments, exitCode))
        return std::nullopt;

    TMovieOptions options;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        line.Fail(positional.isEmpty()
                      ? QStringLiteral("no surface file given (see --help)")
                      : QStringLiteral("one surface file expected but got %1 arguments")
                            .arg(positional.size()),
                  exitCode);
        return std::nullopt;
    }
    options.Surface = positional.first();
    options.Drape = parser.value(drape);
    options.Palette = parser.value(palette);
    for (const auto& [option, name] : {std::pair{&path, "path"}, std::pair{&out, "out"}})
        if (parser.value(*option).isEmpty()) {
            line.Fail(QStringLiteral("no --%1 given (see --help)").arg(QLatin1String(name)),
                      exitCode);
            return std::nullopt;
        }
    options.Path = parser.value(path);

    // The detail level and the exaggeration convert as the viewer converts
    // the host's parameters 5 and 7.
    try {
        options.ResolutionMode = LowByteOfInteger(parser.value(detail).toStdString(), 5);
    } catch (const EConvertError&) {
        line.Fail(Quoted("detail", parser.value(detail)) + QStringLiteral(" is not a whole number"),
                  exitCode);
        return std::nullopt;
    }
    try {
        options.Exaggeration = ExaggerationFromPercent(parser.value(exaggeration).toStdString());
    } catch (const EConvertError&) {
        line.Fail(Quoted("exaggeration", parser.value(exaggeration)) +
                      QStringLiteral(" is not a number"),
                  exitCode);
        return std::nullopt;
    }

    TMovieSettings settings;
    settings.FileName = parser.value(out).toStdString();
    const std::optional<TMovieFormat> movieFormat =
        parseMovieFormat(parser.value(format).toStdString());
    if (!movieFormat) {
        line.Fail(Quoted("format", parser.value(format)) +
                      QStringLiteral(" is not mp4, avi-msvc, avi-divx, avi-raw or png"),
                  exitCode);
        return std::nullopt;
    }
    settings.Format = *movieFormat;
    const std::optional<TPathSmoothing> smoothing =
        parsePathSmoothing(parser.value(smooth).toStdString());
    if (!smoothing) {
        line.Fail(Quoted("smooth", parser.value(smooth)) +
                      QStringLiteral(" is not none, spline or constant-speed"),
                  exitCode);
        return std::nullopt;
    }
    options.Smoothing = *smoothing;
    if (!ToSize(line, parser.value(size), settings, exitCode) ||
        !line.ToInt(parser.value(fps), "fps", settings.FPS, exitCode) ||
        !line.ToInt(parser.value(quality), "quality", settings.Quality, exitCode) ||
        !ToColour(line, parser.value(background), options.Background, exitCode))
        return std::nullopt;
    try {
        options.Settings = CheckMovieSettings(settings, &options.Note);
    } catch (const EMovieError& error) {
        line.Fail(QString::fromStdString(error.what()), exitCode);
        return std::nullopt;
    }
    options.Sky = parser.isSet(sky);
    options.FullDetail = parser.isSet(fullDetail);
    return options;
}

} // namespace skyglide
