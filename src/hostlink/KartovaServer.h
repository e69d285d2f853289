#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace skyglide {

// A failed call of the host's automation server: the host answered with an
// error, did not answer in time, or could not be reached at all. what() is
// "<method>: <the host's or the bus's message>".
class EHostServerError : public std::runtime_error
{
public:
    EHostServerError(const std::string& method, const std::string& message);

    const std::string& Method() const { return m_method; }
    const std::string& Message() const { return m_message; }

private:
    std::string m_method;
    std::string m_message;
};

// The main interface of the host's automation server (bus name
// org.kartova.APIServer). One operation per method the viewer calls, named as
// the host names them; settings without a name of their own are named after
// their position in the host's interface. Every operation either returns the
// host's answer or throws EHostServerError. Texts are UTF-8.
//
// ReportProgress, called once per loaded row, may return before the host has
// answered (the bus client does, and returns 0: nobody uses the answer). A
// report that fails then fails a later ReportProgress, AwaitProgressReports
// or the next other call, which is not sent; the reports not yet answered
// are given up, so the call after that (the error report) reaches the host.
class IKartovaAPIServer
{
public:
    virtual ~IKartovaAPIServer() = default;

    virtual std::int32_t GetHostNumber() = 0;                            // 7
    virtual std::string HostText13() = 0;                                // 13
    virtual std::string HostText17() = 0;                                // 17
    virtual std::int32_t ObtainProcessNumber() = 0;                      // 19
    virtual std::int32_t AbandonProcess(std::int32_t processNumber) = 0; // 20
    virtual std::int32_t ReportProcessError(std::int32_t processNumber, std::int32_t code,
                                            const std::string& textA,
                                            const std::string& textB) = 0;               // 23
    virtual std::int32_t ReportProgress(std::int32_t processNumber, float fraction) = 0; // 25
    virtual std::int32_t ClearProgress(std::int32_t processNumber) = 0;                  // 29
    virtual bool ConfirmProcess(std::int32_t processNumber) = 0;                         // 32
    virtual std::string GetProcessParameter(std::int32_t processNumber,
                                            std::int32_t index) = 0;     // 34
    virtual std::int32_t FinishProcess(std::int32_t processNumber) = 0;  // 35
    virtual std::string HostText37() = 0;                                // 37
    virtual std::string GetProcessTextA(std::int32_t processNumber) = 0; // 41
    virtual std::string GetProcessTextB(std::int32_t processNumber) = 0; // 43
    virtual std::string GetProcessTextC(std::int32_t processNumber) = 0; // 45
    virtual std::string GetProcessTextD(std::int32_t processNumber) = 0; // 47
    virtual std::string HostText52() = 0;                                // 52
    virtual std::string HostText54() = 0;                                // 54
    virtual std::string GetWorkingFolder() = 0;                          // 65
    virtual std::int32_t GetResourceFolderCount() = 0;                   // 66
    virtual std::string GetResourceFolder(std::int32_t index) = 0;       // 67
    virtual bool ConfirmNewProcess(std::int32_t processNumber) = 0;      // 70
    virtual std::string HostCode71() = 0;                                // 71
    virtual std::string HostCode72() = 0;                                // 72
    virtual std::string HostCode73() = 0;                                // 73
    virtual std::string HostCode74() = 0;                                // 74
    virtual std::string HostCode75() = 0;                                // 75
    virtual std::string HostCode76() = 0;                                // 76
    virtual std::string ResolverText88(const std::string& text) = 0;     // 88
    virtual std::string GetHostText() = 0;                               // 92

    // Not a call of the host: waits until every progress report sent so far
    // has been answered, and throws as the first failed one would have. A
    // server that waits for each report has nothing to do.
    virtual void AwaitProgressReports() {}
};

// How long a call waits for the host's answer before it counts as failed:
// 25 s, or the milliseconds in SKYGLIDE_HOST_TIMEOUT_MS when that is set.
int HostCallTimeoutMs();

// Creates the client of the host's server on the session bus. Throws
// EHostServerError when there is no session bus or no process owns
// org.kartova.APIServer; a host that owns the name but never answers is
// found out by the first call, which times out.
std::unique_ptr<IKartovaAPIServer> CreateKartovaAPIServer();

} // namespace skyglide
