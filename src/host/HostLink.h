#pragma once

#include "hostlink/KartovaServer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QObject;

namespace skyglide {

// The run's link to the host: the connection to its automation server, the
// process number that names this run to it, and whether the application is
// ending. The scene loader makes one per run and hands it to whoever calls
// the host; nothing about the host is kept anywhere else.
class THostLink
{
public:
    using TServerFactory = std::function<std::unique_ptr<IKartovaAPIServer>()>;

    // factory makes the server Connect() connects to: a test's scripted
    // host; empty for the host's server on the session bus.
    explicit THostLink(TServerFactory factory = {});
    ~THostLink();
    THostLink(const THostLink&) = delete;
    THostLink& operator=(const THostLink&) = delete;

    // The connection: empty until Connect() succeeds and after Release().
    IKartovaAPIServer* Server() const { return m_server.get(); }
    void Release();

    std::int32_t ProcessNumber() const { return m_processNumber; }
    void SetProcessNumber(std::int32_t processNumber) { m_processNumber = processNumber; }

    // Creates the server and reads the host's settings in their fixed order
    // (the working folder, texts 13, 52, 54, 37 and 17, short codes 74, 73,
    // 72, 71, 76 and 75); nothing keeps them, reading them is the proof that
    // the host answers. On any failure the connection is dropped, the text
    // goes to OnServerNotFound and the result is false.
    bool Connect();
    std::function<void(const char* text)> OnServerNotFound;

    // A connection on the session bus is watched: once the host's server
    // loses its owner on the bus, or the bus itself goes, the host has gone.
    // The link then drops the connection, so that no later service (the
    // final FinishRun among them) waits on the dead host, writes one line on
    // the standard error stream and calls OnHostGone, from the event loop,
    // once.
    bool HostGone() const { return m_hostGone; }
    std::function<void()> OnHostGone;

    // True once the application has been asked to quit: a service called
    // then ends the program at once instead of reaching the host.
    bool ShuttingDown() const { return m_shuttingDown; }
    void SetShuttingDown(bool shuttingDown) { m_shuttingDown = shuttingDown; }
    // Asks the application to quit: marks it as shutting down and ends the
    // event loop when one runs. Before the event loop starts, the program's
    // entry checks ShuttingDown() and does not start one.
    void TerminateApplication();
    // Ends the program at once during start-up: releases the connection and
    // exits with status 0, without an event loop and without a window.
    [[noreturn]] void EndProgramAtOnce();
    // Replaces the exit for tests, which observe the end without losing the
    // process: it runs after the connection is released and must not return
    // (it throws).
    std::function<void()> OnEndProgram;

    // The run's services. Each one ends the program at once when the
    // application is shutting down; without a connection it is skipped (a
    // text result is empty). Host failures propagate as EHostServerError.
    void ReportProgress(float fraction);
    // Waits for the host's answers to the progress reports (see
    // IKartovaAPIServer::AwaitProgressReports), so that a failed one fails
    // the work that made them, not whatever asks the host next.
    void AwaitProgressReports();
    void ClearProgress();
    // Reads text B, then text A, and reports the error with both.
    void ReportProcessError(std::int32_t code);
    std::string GetProcessParameter(std::int32_t index);

    // Tells the host that the run has finished (FinishProcess). A failing
    // call is written to the standard error stream and its text returned;
    // the run ends all the same.
    std::optional<std::string> FinishRun();

private:
    IKartovaAPIServer* serverForService();
    void watchHost();
    void hostGone(const char* how);

    TServerFactory m_factory;
    std::unique_ptr<IKartovaAPIServer> m_server;
    std::int32_t m_processNumber = 0;
    bool m_shuttingDown = false;
    bool m_hostGone = false;
    std::unique_ptr<QObject> m_hostWatch;
};

// The box a run without a host shows before it ends.
inline constexpr const char* HostServerNotFoundText =
    "Kartova server application not found.  This process cannot be created.";

} // namespace skyglide
