#include "app/SceneCommands.h"

#include <gtest/gtest.h>

#include <QDir>

namespace skyglide {
namespace {

using C = TSceneCommand;
using S = TPathState;

TEST(SceneCommands, PathCommandsAreEnabledByThePathsState)
{
    // Record, Play, Pause, Stop, Restart, Load Path, Save Path, Save as AVI...
    const std::pair<S, const char*> rows[] = {{S::psIdle, "10000100"},
                                              {S::psRecording, "00010000"},
                                              {S::psStopped, "11001111"},
                                              {S::psPlaying, "00111000"},
                                              {S::psSavingMovie, "00010000"}};
    for (const auto& [state, flags] : rows) {
        std::string enabled;
        for (int i = int(C::actRecord); i <= int(C::actSaveAVI); ++i)
            enabled += CommandEnabled(C(i), state) ? '1' : '0';
        EXPECT_EQ(enabled, flags) << int(state);
        for (const C always : {C::actPosition, C::actIncrease, C::actHelp})
            EXPECT_TRUE(CommandEnabled(always, state));
    }
}

TEST(SceneCommands, HelpOpensAnHTMLHelpFileAtContext718)
{
    const std::pair<const char*, QString> rows[] = {
        {"/h/help.html", "file:///h/help.html#718"},
        {"/h/Help.HTM", "file:///h/Help.HTM#718"},
        {"/h/help.pdf", "file:///h/help.pdf"},
        {"https://example.org/help.htm", "https://example.org/help.htm#718"},
        {"help.html",
         QUrl::fromLocalFile(QDir::current().filePath("help.html")).toString() + "#718"}};
    for (const auto& [file, url] : rows)
        EXPECT_EQ(HelpUrl(file).toString().toStdString(), url.toStdString()) << file;
}

} // namespace
} // namespace skyglide
