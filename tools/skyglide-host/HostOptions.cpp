#include "HostOptions.h"

#include "apiserveradaptor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMetaMethod>

#include <cmath>
#include <cstdio>

namespace skyglide {

namespace {

QString AsFolder(const QString& path)
{
    QString folder = QFileInfo(path).absoluteFilePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// The bundled palettes: the installed copy beside the program when there is
// one, the source tree's otherwise.
QString DefaultPaletteFolder()
{
    const QString installed = QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                              QStringLiteral(SKYGLIDE_INSTALLED_PALETTES);
    if (QFileInfo(installed).isDir())
        return AsFolder(QDir::cleanPath(installed));
    return AsFolder(QStringLiteral(SKYGLIDE_SOURCE_PALETTES));
}

QStringList InterfaceMethods()
{
    QStringList methods;
    const QMetaObject& meta = TAPIServerAdaptor::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        methods << QString::fromLatin1(meta.method(i).name());
    return methods;
}

bool Fail(const QString& message, int& exitCode)
{
    std::fprintf(stderr, "skyglide-host: %s\n", qPrintable(message));
    exitCode = 2;
    return false;
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
bool CheckFlightValues(const THostOptions& options, int& exitCode)
{
    if (const std::optional<double> percent = AsNumber(options.Exaggeration);
        percent && !(std::isfinite(*percent) && *percent <= MaximumExaggeration))
        return Fail(QStringLiteral("--exaggeration: expected a finite percentage of at most %1 "
                                   "but got '%2'")
                        .arg(MaximumExaggeration)
                        .arg(options.Exaggeration),
                    exitCode);
    if (const std::optional<double> velocity = AsNumber(options.Velocity);
        velocity && *velocity < 0)
        return Fail(QStringLiteral("--velocity: expected 0 or more but got '%1'")
                        .arg(options.Velocity),
                    exitCode);
    return true;
}

bool ToInt(const QString& text, const char* option, int& value, int& exitCode)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok ||
           Fail(QStringLiteral("--%1: '%2' is not a whole number").arg(QLatin1String(option), text),
                exitCode);
}

} // namespace

std::optional<THostOptions> ParseHostOptions(const QStringList& arguments, int& exitCode)
{
    exitCode = 0;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the host GIS for Sky Glide: owns org.kartova.APIServer on the session bus\n"
        "(starting a private bus when none runs), holds one process with the parameters\n"
        "below, starts the viewer on it and waits until the viewer has ended.\n"
        "Ctrl+C asks the viewer to shut down; a second Ctrl+C stops it."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("surface"),
        QStringLiteral("Surface raster, process parameter 2: a raster pair (.rst), or any raster "
                       "GDAL reads (GeoTIFF, ASCII grid, HGT, ...), imported once into the "
                       "cache."));
    const auto value = [&](const char* name, const char* description, const char* valueName,
                           const QString& fallback = QString()) {
        QCommandLineOption option(QString::fromLatin1(name), QString::fromLatin1(description),
                                  QString::fromLatin1(valueName), fallback);
        parser.addOption(option);
        return option;
    };
    const auto flag = [&](const char* name, const char* description) {
        QCommandLineOption option(QString::fromLatin1(name), QString::fromLatin1(description));
        parser.addOption(option);
        return option;
    };
    const THostOptions defaults;
    auto drape = value("drape",
                       "Drape image, parameter 3 (default none: the surface itself); a foreign "
                       "raster is imported and fitted onto the surface's grid.",
                       "file", defaults.Drape);
    auto palette = value("palette", "Palette, parameter 4 (default none: greyscale).", "name",
                         defaults.Palette);
    auto detail = value("detail", "Detail level, parameter 5: 1, 2, 3 or other (default 1).",
                        "level", defaults.Detail);
    auto velocity = value("velocity", "Velocity, parameter 6 (default 5).", "n", defaults.Velocity);
    auto exaggeration =
        value("exaggeration", "Vertical exaggeration in hundredths, parameter 7 (default 100).",
              "percent", defaults.Exaggeration);
    auto maximized = value("maximized", "Parameter 8: 1 starts the window maximized (default 0).",
                           "flag", defaults.Maximized);
    auto working =
        value("working-folder", "The host's working folder (default: the current one).", "folder");
    auto resource =
        value("resource-folder", "A resource folder; repeatable (default: the bundled palettes).",
              "folder");
    auto paletteFolder =
        value("palette-folder",
              "The folder of palettes and symbols (default: the bundled palettes).", "folder");
    auto helpFile = value("help-file", "The help file the viewer's Help opens.", "file");
    auto viewer =
        value("viewer", "The viewer program (default: skyglide beside this program).", "path");
    auto noViewer = flag("no-viewer",
                         "Start no viewer; serve whatever viewer is started by hand until Ctrl+C.");
    auto processNumber =
        value("process-number", "The process number (default 1).", "n", QStringLiteral("1"));
    auto noProcessNumber =
        flag("no-process-number", "Start the viewer with no argument: it asks for its number and "
                                  "for a new process.");
    auto noparams = flag("noparams", "Start the viewer with the argument noparams.");
    auto viewerArgument =
        value("viewer-argument", "Start the viewer with exactly this first argument.", "text");
    auto refuseNew = flag("refuse-new", "Answer no to ConfirmNewProcess.");
    auto refuseConfirm = flag("refuse-confirm", "Answer no to ConfirmProcess.");
    auto fail = value("fail", "Answer this method with a D-Bus error; repeatable.", "method");
    auto stall = value("stall", "Never answer this method; repeatable.", "method");
    auto log = value("log", "Write every call answered as one JSON object per line.", "file");
    auto startupTimeout = value("startup-timeout",
                                "Stop a viewer that makes no call for this long before it can "
                                "be reached (default 60).",
                                "seconds", QStringLiteral("60"));

    if (!parser.parse(arguments)) {
        Fail(parser.errorText(), exitCode);
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("skyglide-host %s\n", SKYGLIDE_VERSION);
        return std::nullopt;
    }

    THostOptions options;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        Fail(
            QStringLiteral("one surface file expected but got %1 arguments").arg(positional.size()),
            exitCode);
        return std::nullopt;
    }
    options.StartViewer = !parser.isSet(noViewer);
    if (positional.isEmpty() && options.StartViewer) {
        Fail(QStringLiteral("no surface file given (see --help)"), exitCode);
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
    if (!CheckFlightValues(options, exitCode))
        return std::nullopt;

    options.WorkingFolder =
        AsFolder(parser.isSet(working) ? parser.value(working) : QDir::currentPath());
    for (const QString& folder : parser.values(resource))
        options.ResourceFolders << AsFolder(folder);
    if (options.ResourceFolders.isEmpty())
        options.ResourceFolders << DefaultPaletteFolder();
    options.PaletteFolder = parser.isSet(paletteFolder) ? AsFolder(parser.value(paletteFolder))
                                                        : DefaultPaletteFolder();
    options.HelpFile = parser.value(helpFile);

    options.Viewer = parser.isSet(viewer)
                         ? parser.value(viewer)
                         : QCoreApplication::applicationDirPath() + QStringLiteral("/skyglide");
    if (!ToInt(parser.value(processNumber), "process-number", options.ProcessNumber, exitCode) ||
        !ToInt(parser.value(startupTimeout), "startup-timeout", options.StartupTimeoutSeconds,
               exitCode))
        return std::nullopt;
    const int routes = int(parser.isSet(noProcessNumber)) + int(parser.isSet(noparams)) +
                       int(parser.isSet(viewerArgument));
    if (routes > 1) {
        Fail(QStringLiteral(
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
                Fail(QStringLiteral("--%1: no method '%2' in org.kartova.APIServer")
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
