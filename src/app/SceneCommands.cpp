#include "app/SceneCommands.h"

#include <QFileInfo>
#include <Qt>

namespace skyglide {

using C = TSceneCommand;

// clang-format off
const std::array<TSceneCommandInfo, SceneCommandCount> SceneCommands = {{
    {C::actPosition,   "actPosition",   "View Observer Position", "View Observer Position", "Show",     {0, 0}, true},
    {C::actAxes,       "actAxes",       "View Surface Axes",      "View Surface Axes",      "Show",     {0, 0}, true},
    {C::actSky,        "actSky",        "View Sky",               "View Sky",               "Show",     {0, 0}, true},
    {C::actSmooth,     "actSmooth",     "Smooth Pixel",           "",                       "Show",     {0, 0}, true},
    {C::actFullDetail, "actFullDetail", "Full Detail",            "",                       "Show",     {0, 0}, true},
    {C::actBackGround, "actBackGround", "Change Background",      "Change Background",      "Show",     {0, 0}, false},
    {C::actDecrease,   "actDecrease",   "Decrease",               "Decrease",               "Velocity", {Qt::Key_F5, 0}, false},
    {C::actRestore,    "actRestore",    "Restore",                "",                       "Velocity", {Qt::Key_F6, 0}, false},
    {C::actIncrease,   "actIncrease",   "Increase",               "",                       "Velocity", {Qt::Key_F7, 0}, false},
    {C::actRecord,     "actRecord",     "Record",                 "Record",                 "Path",     {Qt::Key_F8, 0}, false},
    {C::actPlay,       "actPlay",       "Play",                   "",                       "Path",     {Qt::Key_F9, 0}, false},
    {C::actPause,      "actPause",      "Pause",                  "",                       "Path",     {Qt::Key_F10, Qt::Key_Space}, false},
    {C::actStop,       "actStop",       "Stop",                   "",                       "Path",     {Qt::Key_F11, Qt::Key_Escape}, false},
    {C::actRestart,    "actRestart",    "Restart",                "",                       "Path",     {Qt::Key_F12, 0}, false},
    {C::actLoad,       "actLoad",       "Load Path",              "",                       "File",     {0, 0}, false},
    {C::actSave,       "actSave",       "Save Path",              "",                       "File",     {0, 0}, false},
    {C::actSaveAVI,    "actSaveAVI",    "Save as AVI...",         "",                       "File",     {0, 0}, false},
    {C::actRenderMovie, "actRenderMovie", "Render Movie...",      "",                       "File",     {0, 0}, false},
    {C::actHelp,       "actHelp",       "Help",                   "Help Context",           "",         {Qt::Key_F1, 0}, false},
    {C::actKeepAboveGround, "actKeepAboveGround", "Keep Above Ground", "Keep the observer above the surface", "Show", {0, 0}, true},
    {C::actShowFrameRate, "actShowFrameRate", "Show Frame Rate",      "Frames per second and triangles per frame", "Show", {0, 0}, true},
    {C::actSavePicture, "actSavePicture", "Save Picture...",          "Save the view as a PNG picture", "File", {(Qt::CTRL | Qt::Key_P).toCombined(), 0}, false},
    {C::actKeyCard,    "actKeyCard",    "Key Card",                   "Show the keys and mouse actions", "Show", {Qt::Key_Question, Qt::Key_H}, true},
}};
// clang-format on

bool CommandEnabled(TSceneCommand command, TPathState state)
{
    using S = TPathState;
    switch (command) {
    case C::actRecord:
    case C::actLoad:
        return state == S::psIdle || state == S::psStopped;
    case C::actPlay:
    case C::actSave:
    case C::actSaveAVI:
    case C::actRenderMovie:
        return state == S::psStopped;
    case C::actPause:
        return state == S::psPlaying;
    case C::actStop:
        return state == S::psRecording || state == S::psPlaying || state == S::psSavingMovie;
    case C::actRestart:
        return state == S::psStopped || state == S::psPlaying;
    default:
        return true;
    }
}

using E = TPopupEntry;

const std::array<TPopupEntry, 29> PopupMenuLayout = {{
    {E::Command, C::actPosition},
    {E::Command, C::actAxes},
    {E::Command, C::actSky},
    {E::Command, C::actSmooth},
    {E::Command, C::actFullDetail},
    {E::Command, C::actBackGround},
    {E::Command, C::actKeepAboveGround},
    {E::Command, C::actShowFrameRate},
    {E::SubmenuBegin},
    {E::Command, C::actDecrease},
    {E::Command, C::actRestore},
    {E::Command, C::actIncrease},
    {E::SubmenuEnd},
    {E::Separator},
    {E::Command, C::actRecord},
    {E::Command, C::actPlay},
    {E::Command, C::actPause},
    {E::Command, C::actStop},
    {E::Command, C::actRestart},
    {E::Separator},
    {E::Command, C::actLoad},
    {E::Command, C::actSave},
    {E::Separator},
    {E::Command, C::actSaveAVI},
    {E::Command, C::actRenderMovie},
    {E::Command, C::actSavePicture},
    {E::Separator},
    {E::Command, C::actKeyCard},
    {E::Command, C::actHelp},
}};

QUrl HelpUrl(const QString& helpFile)
{
    QUrl url = helpFile.contains(QStringLiteral("://"))
                   ? QUrl(helpFile)
                   : QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath());
    const QString suffix = QFileInfo(url.path()).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        url.setFragment(QStringLiteral("718"));
    return url;
}

} // namespace skyglide
