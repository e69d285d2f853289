#include "app/SceneLoader.h"

#include "app/ProcessParameters.h"
#include "host/KrtServices.h"
#include "host/MsgHandler.h"
#include "host/StartupParameters.h"

#include <cstdio>
#include <exception>

namespace skyglide {

namespace {

// What the scene window's close does with the host, for a run that has no
// scene window.
void FinishRun()
{
    try {
        if (IKartovaAPIServer* server = HostServer())
            server->FinishProcess(ProcessNumber());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "skyglide: the host was not told that the run has finished: %s\n",
                     error.what());
    }
    ReleaseHostServer();
}

} // namespace

void LoadScene(Tmsghndlr& messageWindow)
{
    try {
        ReadStartupParameters();
        ClearProgress();
        ReadProcessParameters();
        messageWindow.OnShutdownRequest = FinishRun;
    } catch (const std::exception& error) {
        AbandonStartup(error);
    }
}

} // namespace skyglide
