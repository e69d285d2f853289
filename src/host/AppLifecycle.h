#pragma once

#include <functional>

namespace skyglide {

// The application's title: the caption of its message boxes.
inline constexpr const char* ApplicationTitle = "SkyGlide";

// True once the application has been asked to quit. Host calls that are made
// after this end the program at once instead of reaching the host.
bool ApplicationShuttingDown();
void SetApplicationShuttingDown(bool shuttingDown);

// Asks the application to quit: marks it as shutting down and ends the event
// loop when one runs. Before the event loop starts, the program's entry
// checks ApplicationShuttingDown() and does not start one.
void TerminateApplication();

// Ends the program at once during start-up: releases the host connection and
// exits with status 0, without an event loop and without showing a window.
[[noreturn]] void EndProgramAtOnce();

// Lets tests observe an end at once without losing the process. The hook
// runs after the host connection has been released; it must not return
// (it throws). An empty hook restores the real exit.
using TEndProgramHook = std::function<void()>;
void SetEndProgramHook(TEndProgramHook hook);

} // namespace skyglide
