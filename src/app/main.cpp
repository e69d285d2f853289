// Sky Glide: the terrain fly-through that the host GIS starts as one of its
// processes. The hidden message window is created first; its creation runs
// the whole start-up load, after which the event loop runs until the
// application terminates.
#include "app/SceneLoader.h"
#include "app/SkyGlideApplication.h"
#include "host/AppLifecycle.h"
#include "host/KrtServices.h"
#include "host/MsgHandler.h"

int main(int argc, char* argv[])
{
    skyglide::TSkyGlideApplication application(argc, argv);
    skyglide::Tmsghndlr messageWindow(skyglide::LoadScene);
    int status = 0;
    // A start-up that failed has asked to terminate before any event loop.
    if (!skyglide::ApplicationShuttingDown())
        status = application.exec();
    skyglide::ReleaseHostServer();
    return status;
}
