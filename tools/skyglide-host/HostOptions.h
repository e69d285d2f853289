#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace skyglide {

// How the viewer is started: with the process number after a prefix, with
// "noparams", with no argument, or with a first argument given as is.
enum class TViewerArgument { vaProcessNumber, vaNoparams, vaNone, vaLiteral };

// Everything the stand-in host holds for its one process.
struct THostOptions
{
    // Process parameters 2 to 8, handed over as the text given.
    QString Surface;
    QString Drape = QStringLiteral("none");
    QString Palette = QStringLiteral("none");
    QString Detail = QStringLiteral("1");
    QString Velocity = QStringLiteral("5");
    QString Exaggeration = QStringLiteral("100");
    QString Maximized = QStringLiteral("0");

    // Folders, absolute and ending in "/".
    QString WorkingFolder;
    QStringList ResourceFolders;
    QString PaletteFolder;
    QString HelpFile;

    QString Viewer;
    bool StartViewer = true;
    int ProcessNumber = 1;
    TViewerArgument ArgumentMode = TViewerArgument::vaProcessNumber;
    QString ViewerArgument;

    bool RefuseNew = false;
    bool RefuseConfirm = false;
    QStringList FailMethods;
    QStringList StallMethods;
    QString LogFile;
    int StartupTimeoutSeconds = 60;
};

// The largest --exaggeration the stand-in host hands on, in hundredths:
// 1000 times. Beyond it the surface of a terrain of the sample's size rises
// past the viewer's depth of view.
inline constexpr double MaximumExaggeration = 100000;

// Reads the command line. Prints help or an error itself; an empty result
// means the program ends with exitCode.
std::optional<THostOptions> ParseHostOptions(const QStringList& arguments, int& exitCode);

// The arguments the viewer is started with.
QStringList ViewerArguments(const THostOptions& options);

} // namespace skyglide
