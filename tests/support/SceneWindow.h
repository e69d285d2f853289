#pragma once

// The scene window in the test's process, on the test's X server: loaded
// as at start-up against a scripted host, flown with real key events.

#include "FakeUserDialogs.h"
#include "ScriptedHost.h"
#include "TestSupport.h"

#include "app/SceneForm.h"
#include "app/SceneLoader.h"
#include "host/MsgHandler.h"

#include <QObject>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <string>

namespace skyglide::test {

// What the host answers for a run of the viewer on surface (the palettes
// among its resource folders, the test's folder its working folder).
THostScript ViewerScript(const std::string& surface, const std::string& detail = "1",
                         const std::string& drape = "none",
                         const std::string& palette = "elevation");

// The key presses and releases a widget receives, with the X server's time
// stamps of the first press and the last release.
class TKeyEvents : public QObject
{
public:
    explicit TKeyEvents(QObject& watched) { watched.installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override;

    int Presses = 0, Releases = 0;
    quint64 Pressed = 0, Released = 0;
};

class SceneWindow : public testing::Test
{
protected:
    SceneWindow();
    void TearDown() override;

    // The start-up load as the message window runs it; Form is the scene
    // window once it has drawn its first frame, given the focus if asked.
    void Start(const THostScript& script, bool focus = false);
    // Makes window the active window.
    static void Focus(QWidget& window);
    // Holds keys on the active window (xdotool's names) until done() holds,
    // then lets them go; returns once the scene window holds no key.
    void Hold(const QStringList& keys, const std::function<bool()>& done);
    // A file in the test's folder.
    QString File(const QString& name) const;

    std::filesystem::path Folder;
    QStringList Calls;
    TFakeUserDialogs Dialogs;
    std::unique_ptr<TSceneLoader> Loader;
    std::unique_ptr<Tmsghndlr> MessageWindow;
    TSceneFrm* Form = nullptr;
};

} // namespace skyglide::test
