#include "host/AppLifecycle.h"

#include "host/KrtServices.h"

#include <QCoreApplication>

#include <cstdlib>

namespace skyglide {

namespace {
bool g_shuttingDown = false;
TEndProgramHook g_endProgramHook;
} // namespace

bool ApplicationShuttingDown()
{
    return g_shuttingDown;
}

void SetApplicationShuttingDown(bool shuttingDown)
{
    g_shuttingDown = shuttingDown;
}

void TerminateApplication()
{
    g_shuttingDown = true;
    if (QCoreApplication::instance())
        QCoreApplication::quit();
}

void EndProgramAtOnce()
{
    ReleaseHostServer();
    if (g_endProgramHook)
        g_endProgramHook();
    std::exit(0);
}

void SetEndProgramHook(TEndProgramHook hook)
{
    g_endProgramHook = std::move(hook);
}

} // namespace skyglide
