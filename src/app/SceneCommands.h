#pragma once

#include "app/PathState.h"

#include <QUrl>

#include <array>
#include <cstddef>

namespace skyglide {

// The commands of the scene window, in the order of its command table.
enum class TSceneCommand {
    actPosition,
    actAxes,
    actSky,
    actSmooth,
    actFullDetail,
    actBackGround,
    actDecrease,
    actRestore,
    actIncrease,
    actRecord,
    actPlay,
    actPause,
    actStop,
    actRestart,
    actLoad,
    actSave,
    actSaveAVI,
    actRenderMovie,
    actHelp,
    actKeepAboveGround,
    actShowFrameRate,
    actSavePicture,
    actKeyCard,
};
// The last command of the list above.
inline constexpr std::size_t SceneCommandCount = static_cast<std::size_t>(TSceneCommand::actKeyCard) + 1;

// One command as the window shows it: its name, caption, hint (empty for
// none), category (empty for none), up to two shortcuts (Qt key codes; 0 for
// none) and whether each run flips its check mark.
struct TSceneCommandInfo
{
    TSceneCommand Command;
    const char* Name;
    const char* Caption;
    const char* Hint;
    const char* Category;
    std::array<int, 2> Shortcuts;
    bool Toggle;
};

// The command table, indexed by TSceneCommand.
extern const std::array<TSceneCommandInfo, SceneCommandCount> SceneCommands;

inline const TSceneCommandInfo& CommandInfo(TSceneCommand command)
{
    return SceneCommands[static_cast<std::size_t>(command)];
}

// Whether a command may run while the path is in state: the path and movie
// commands follow the path's state, every other command is always enabled.
bool CommandEnabled(TSceneCommand command, TPathState state);

// One entry of the viewer's popup menu, top to bottom: a command, a
// separator, or the start and end of the velocity submenu.
struct TPopupEntry
{
    enum TKind { Command, Separator, SubmenuBegin, SubmenuEnd } Kind;
    TSceneCommand Item = TSceneCommand::actPosition;
};

extern const std::array<TPopupEntry, 29> PopupMenuLayout;

// The caption of the velocity submenu.
inline constexpr const char* ChangeVelocityCaption = "Change Velocity";

// What Help opens for the host's help file: the file at its context 718,
// which for an HTML file (".html", ".htm", any case) is the fragment "#718";
// any other file as it is; a URL as given.
QUrl HelpUrl(const QString& helpFile);

} // namespace skyglide
