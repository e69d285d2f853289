#include "HostOptions.h"

#include "apiserveradaptor.h"
#include "import/CommandLine.h"
#include "import/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMetaMethod>

#include <cmath>
#include <cstdio>

namespace skyglide {

namespace {

QStringList InterfaceMethods()
{
    QStringList methods;
    const QMetaObject& meta = TAPIServerAdaptor::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        methods << QString::fromLatin1(meta.method(i).name());
    return methods;
}

// A number as the viewer reads it: in the user's locale or with a full stop.
std::optional<double> AsNumber(const QString& text)
{
    bool ok = false;
    const double value = QLocale::system().toDouble(text.trimmed(), &ok);
    if (ok)
        return value;
    const double plain = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok ? std::optional<double>(plain) : std::nullopt;
}

// Values a user can type that the viewer cannot fly: an exaggeration that is
// not finite, or so large that the surface rises past the camera's depth of
// view (the view goes black and the height read-out shows 0), and a
// negative velocity (whose low 8 bits would make a fast one). Text that is
// no number at all goes to the viewer, which reports it as the host's
// viewer does.
bool CheckFlightValues(const TToolCommandLine& line, const THostOptions& options, int& exitCode)
{
    if (const std::optional<double> percent = AsNumber(options.Exaggeration);
        percent && !(std::isfinite(*percent) && *percent <= MaximumExaggeration))
        return line.Fail(
            QStringLiteral("--exaggeration: expected a finite percentage of at most %1 "
                           "but got '%2'")
                .arg(MaximumExaggeration)
                .arg(options.Exaggeration),
            exitCode);
    if (const std::optional<double> velocity = AsNumber(options.Velocity);
        velocity && *velocity < 0)
        return line.Fail(
            QStringLiteral("--velocity: expected 0 or more but got '%1'").arg(options.Velocity),
            exitCode);
    return true;
}

} // namespace

std::optional<THostOptions> ParseHostOptions(const QStringList& arguments, int& exitCode)
{
    TToolCommandLine line(
        "skyglide-host",
        QStringLiteral(
            "Plays the host GIS for Sky Glide: owns org.kartova.APIServer on the session bus\n"
            "(starting a private bus when none runs), holds one process with the parameters\n"
            "below, starts the viewer on it and waits until the viewer has ended.\n"
            "Ctrl+C asks the viewer to shut down; a second Ctrl+C stops it."),
        QStringLiteral("Surface raster, process parameter 2: a raster pair (.rst), or any raster "
                       "GDAL reads (GeoTIFF, ASCII grid, HGT, ...), imported once into the "
                       "cache."));
    const QCommandLineParser& parser = line.Parser();
    const THostOptions defaults;
    auto drape =
        line.Value("drape",
                   "Drape image, parameter 3 (default none: the surface itself); a foreign "
                   "raster is imported and fitted onto the surface's grid.",
                   "file", defaults.Drape);
    auto palette = line.Value("palette", "Palette, parameter 4 (default none: greyscale).", "name",
                              defaults.Palette);
    auto detail = line.Value("detail", "Detail level, parameter 5: 1, 2, 3 or other (default 1).",
                             "level", defaults.Detail);
    auto velocity =
        line.Value("velocity", "Velocity, parameter 6 (default 5).", "n", defaults.Velocity);
    auto exaggeration = line.Value(
        "exaggeration", "Vertical exaggeration in hundredths, parameter 7 (default 100).",
        "percent", defaults.Exaggeration);
    auto maximized =
        line.Value("maximized", "Parameter 8: 1 starts the window maximized (default 0).", "flag",
                   defaults.Maximized);
    auto working = line.Value("working-folder",
                              "The host's working folder (default: the current one).", "folder");
    auto resource =
        line.Value("resource-folder",
                   "A resource folder; repeatable (default: the bundled palettes).", "folder");
    auto paletteFolder =
        line.Value("palette-folder",
                   "The folder of palettes and symbols (default: the bundled palettes).", "folder");
    auto helpFile = line.Value("help-file", "The help file the viewer's Help opens.", "file");
    auto viewer =
        line.Value("viewer", "The viewer program (default: skyglide beside this program).", "path");
    auto noViewer = line.Flag(
        "no-viewer", "Start no viewer; serve whatever viewer is started by hand until Ctrl+C.");
    auto processNumber =
        line.Value("process-number", "The process number (default 1).", "n", QStringLiteral("1"));
    auto noProcessNumber = line.Flag(
        "no-process-number", "Start the viewer with no argument: it asks for its number and "
                             "for a new process.");
    auto noparams = line.Flag("noparams", "Start the viewer with the argument noparams.");
    auto viewerArgument =
        line.Value("viewer-argument", "Start the viewer with exactly this first argument.", "text");
    auto refuseNew = line.Flag("refuse-new", "Answer no to ConfirmNewProcess.");
    auto refuseConfirm = line.Flag("refuse-confirm", "Answer no to ConfirmProcess.");
    auto fail = line.Value("fail", "Answer this method with a D-Bus error; repeatable.", "method");
    auto stall = line.Value("stall", "Never answer this method; repeatable.", "method");
    auto log = line.Value("log", "Write every call answered as one JSON object per line.", "file");
    auto startupTimeout = line.Value("startup-timeout",
                                     "Stop a viewer that makes no call for this long before it can "
                                     "be reached (default 60).",
                                     "seconds", QStringLiteral("60"));

    if (!line.Parse(arguments, exitCode))
        return std::nullopt;

    THostOptions options;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        line.Fail(
            QStringLiteral("one surface file expected but got %1 arguments").arg(positional.size()),
            exitCode);
        return std::nullopt;
    }
    options.StartViewer = !parser.isSet(noViewer);
    if (positional.isEmpty() && options.StartViewer) {
        line.Fail(QStringLiteral("no surface file given (see --help)"), exitCode);
        return std::nullopt;
    }
    options.Surface = positional.value(0);
    if (!options.Surface.isEmpty() && !QFileInfo::exists(options.Surface))
        std::fprintf(stderr,
                     "skyglide-host: warning: %s does not exist; the viewer will refuse it\n",
                     qPrintable(options.Surface));
    options.Drape = parser.value(drape);
    options.Palette = parser.value(palette);
    options.Detail = parser.value(detail);
    options.Velocity = parser.value(velocity);
    options.Exaggeration = parser.value(exaggeration);
    options.Maximized = parser.value(maximized);
    if (!CheckFlightValues(line, options, exitCode))
        return std::nullopt;

    options.WorkingFolder =
        AsFolder(parser.isSet(working) ? parser.value(working) : QDir::currentPath());
    for (const QString& folder : parser.values(resource))
        options.ResourceFolders << AsFolder(folder);
    if (options.ResourceFolders.isEmpty())
        options.ResourceFolders << BundledPaletteFolder();
    options.PaletteFolder = parser.isSet(paletteFolder) ? AsFolder(parser.value(paletteFolder))
                                                        : BundledPaletteFolder();
    options.HelpFile = parser.value(helpFile);

    options.Viewer = parser.isSet(viewer)
                         ? parser.value(viewer)
                         : QCoreApplication::applicationDirPath() + QStringLiteral("/skyglide");
    if (!line.ToInt(parser.value(processNumber), "process-number", options.ProcessNumber,
                    exitCode) ||
        !line.ToInt(parser.value(startupTimeout), "startup-timeout", options.StartupTimeoutSeconds,
                    exitCode))
        return std::nullopt;
    const int routes = int(parser.isSet(noProcessNumber)) + int(parser.isSet(noparams)) +
                       int(parser.isSet(viewerArgument));
    if (routes > 1) {
        line.Fail(QStringLiteral(
                      "--no-process-number, --noparams and --viewer-argument exclude each other"),
                  exitCode);
        return std::nullopt;
    }
    if (parser.isSet(noProcessNumber))
        options.ArgumentMode = TViewerArgument::vaNone;
    else if (parser.isSet(noparams))
        options.ArgumentMode = TViewerArgument::vaNoparams;
    else if (parser.isSet(viewerArgument)) {
        options.ArgumentMode = TViewerArgument::vaLiteral;
        options.ViewerArgument = parser.value(viewerArgument);
    }

    options.RefuseNew = parser.isSet(refuseNew);
    options.RefuseConfirm = parser.isSet(refuseConfirm);
    const QStringList methods = InterfaceMethods();
    for (const auto& [option, list] :
         {std::pair{&fail, &options.FailMethods}, std::pair{&stall, &options.StallMethods}}) {
        for (const QString& method : parser.values(*option)) {
            if (!methods.contains(method)) {
                line.Fail(QStringLiteral("--%1: no method '%2' in org.kartova.APIServer")
                              .arg(option->names().first(), method),
                          exitCode);
                return std::nullopt;
            }
            *list << method;
        }
    }
    options.LogFile = parser.value(log);
    return options;
}

QStringList ViewerArguments(const THostOptions& options)
{
    switch (options.ArgumentMode) {
    case TViewerArgument::vaProcessNumber:
        return {QStringLiteral("krt%1").arg(options.ProcessNumber)};
    case TViewerArgument::vaNoparams:
        return {QStringLiteral("noparams")};
    case TViewerArgument::vaNone:
        return {};
    case TViewerArgument::vaLiteral:
        return {options.ViewerArgument};
    }
    return {};
}

} // namespace skyglide
