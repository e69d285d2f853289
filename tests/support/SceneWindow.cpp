#include "SceneWindow.h"

#include "render/SceneViewer.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QSettings>

namespace skyglide::test {

THostScript ViewerScript(const std::string& surface, const std::string& detail,
                         const std::string& drape, const std::string& palette)
{
    THostScript script;
    script.Parameters = {"", "skyglide", surface, drape, palette, detail, "5", "100", "0"};
    script.ResourceFolders = {Sample("palettes/")};
    return script;
}

bool TKeyEvents::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // A busy X connection can make a repeat look like a release and a
        // press: the hold runs from the first press to the last release.
        if (event->type() == QEvent::KeyRelease)
            ++Releases, Released = key->timestamp();
        else if (!key->isAutoRepeat() && Presses++ == 0)
            Pressed = key->timestamp();
    }
    return false;
}

SceneWindow::SceneWindow() : Folder(TestFolder())
{
    // Every test starts in a home of its own, without the options and the
    // placement an earlier test left.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((Folder / "config").string()));
}

void SceneWindow::TearDown()
{
    MessageWindow.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Loader.reset();
    QLocale::setDefault(QLocale::c());
}

void SceneWindow::Start(const THostScript& script, bool focus)
{
    MessageWindow.reset();
    THostScript answers = script;
    answers.WorkingFolder = Folder.string() + "/";
    Loader = std::make_unique<TSceneLoader>(
        [this, answers] { return std::make_unique<TScriptedHost>(answers, &Calls); });
    Loader->Host().OnEndProgram = [] { throw TProgramEnded{}; };
    Calls.clear();
    MessageWindow = std::make_unique<Tmsghndlr>(
        Loader->Host(), [this](Tmsghndlr& window) { Loader->LoadScene(window, {"krt1"}); });
    Form = Loader->SceneForm();
    ASSERT_TRUE(Form) << "no scene window";
    ASSERT_TRUE(WaitUntil(
        [this] { return Form->SceneViewer1().Buffer().Statistics().FramesRendered > 0; }));
    if (focus)
        Focus(*Form);
}

void SceneWindow::Focus(QWidget& window)
{
    ASSERT_TRUE(Xdotool({"windowfocus", "--sync", QString::number(window.winId())}));
    ASSERT_TRUE(WaitUntil([&] { return window.isActiveWindow(); }))
        << "the window never became active";
}

void SceneWindow::Hold(const QStringList& keys, const std::function<bool()>& done)
{
    const TKeyState& held = Form->Navigation().Keys();
    ASSERT_TRUE(Xdotool(QStringList{"keydown"} + keys));
    EXPECT_TRUE(WaitUntil(done)) << "held " << keys.join(' ').toStdString();
    ASSERT_TRUE(Xdotool(QStringList{"keyup"} + keys));
    ASSERT_TRUE(WaitUntil([&] { return held.Empty(); })) << "the keys were never let go";
}

QString SceneWindow::File(const QString& name) const
{
    return QString::fromStdString((Folder / name.toStdString()).string());
}

} // namespace skyglide::test
