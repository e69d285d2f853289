// Sky Glide: the terrain fly-through that the host GIS starts as one of its
// processes. The hidden message window is created first; its creation runs
// the whole start-up load, which shows the scene window, after which the
// event loop runs until the application terminates.
#include "app/SceneLoader.h"
#include "app/SkyGlideApplication.h"
#include "app/StartupTimings.h"
#include "host/MsgHandler.h"
#include "render/SceneViewer.h"

int main(int argc, char* argv[])
{
    skyglide::TStartupTimings::Start();
    // The viewer's swap interval must be the whole window's: set before the
    // application makes any window.
    skyglide::TSceneViewer::SetDefaultSurfaceFormat();
    skyglide::TSceneLoader loader;
    skyglide::TSkyGlideApplication application(argc, argv);
    application.SetHostLink(&loader.Host());
    skyglide::Tmsghndlr messageWindow(
        loader.Host(), [&loader](skyglide::Tmsghndlr& window) { loader.LoadScene(window); });
    int status = 0;
    // A start-up that failed has asked to terminate before any event loop;
    // its status tells whoever started the program that it failed.
    if (!loader.Host().ShuttingDown())
        status = application.exec();
    else if (loader.Failed())
        status = 1;
    loader.Host().Release();
    return status;
}
