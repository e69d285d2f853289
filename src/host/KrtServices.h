#pragma once

#include "host/KartovaServer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace skyglide {

// The process-wide connection to the host's automation server. Empty until
// ConnectHostServer() succeeds; released when the run ends.
IKartovaAPIServer* HostServer();
void SetHostServer(std::unique_ptr<IKartovaAPIServer> server);
void ReleaseHostServer();

// The number that identifies this run to the host; the first argument of
// every call that concerns the run.
std::int32_t ProcessNumber();
void SetProcessNumber(std::int32_t processNumber);

// The host's settings read when connecting. Nothing reads these copies
// later (callers that need a folder ask the host again); reading them is the
// proof that the host answers.
struct THostSettings
{
    std::string WorkingFolder; // 65
    std::string HostText13;
    std::string HostText52;
    std::string HostText54;
    std::string HostText37;
    std::string LanguageFolder; // HostText37 followed by "language/"
    std::string HostText17;
    // Short codes keep at most their first 4 characters.
    std::string HostCode74;
    std::string HostCode73;
    std::string HostCode72;
    std::string HostCode71;
    std::string HostCode76;
    std::string HostCode75;
};
const THostSettings& HostSettings();

// What ConnectHostServer() creates: the client on the session bus, or a
// test's scripted server. An empty factory restores the session bus.
using THostServerFactory = std::function<std::unique_ptr<IKartovaAPIServer>()>;
void SetHostServerFactory(THostServerFactory factory);

// Creates the server, stores it as HostServer() and reads the host's
// settings in their fixed order. On any failure shows "Kartova server
// application not found.  This process cannot be created." (captioned with
// the application's title) and returns false; the error goes no further.
bool ConnectHostServer();

inline constexpr const char* HostServerNotFoundText =
    "Kartova server application not found.  This process cannot be created.";

// The run's services. Each one first checks ApplicationShuttingDown() and,
// when it is set, ends the program at once without calling the host. Without
// a HostServer() the call is skipped and a text result is empty. Host
// failures propagate as EHostServerError.
void ReportProgress(float fraction);
void ClearProgress();
// Reads text B, then text A, and reports the error with both.
void ReportProcessError(std::int32_t code);
std::string GetProcessParameter(std::int32_t index);
std::string GetProcessTextA();
std::string GetProcessTextB();
std::string GetProcessTextC();
std::string GetProcessTextD();

} // namespace skyglide
