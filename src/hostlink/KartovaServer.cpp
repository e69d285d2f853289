#include "hostlink/KartovaServer.h"

#include "hostlink/HostLinkNames.h"
#include "kartovaapiserverproxy.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <utility>

namespace skyglide {

EHostServerError::EHostServerError(const std::string& method, const std::string& message)
    : std::runtime_error(method + ": " + message), m_method(method), m_message(message)
{
}

int HostCallTimeoutMs()
{
    constexpr int defaultTimeoutMs = 25000;
    const char* text = std::getenv("SKYGLIDE_HOST_TIMEOUT_MS");
    if (!text || !*text)
        return defaultTimeoutMs;
    int value = 0;
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, value);
    if (ec != std::errc() || ptr != end || value <= 0)
        return defaultTimeoutMs;
    return value;
}

namespace {

std::string ErrorText(const QDBusError& error)
{
    if (!error.message().isEmpty())
        return error.message().toStdString();
    return error.name().toStdString();
}

template <class T> T Await(QDBusPendingReply<T> reply, const char* method)
{
    reply.waitForFinished();
    if (reply.isError())
        throw EHostServerError(method, ErrorText(reply.error()));
    return reply.value();
}

using TProxy = TKartovaAPIServerProxy;

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// The client on the session bus. Calls block the caller until the host
// answers (or the call times out), as the viewer's start-up relies on; only
// progress reports go out without waiting (see ReportProgress).
class TDBusKartovaAPIServer final : public IKartovaAPIServer
{
public:
    explicit TDBusKartovaAPIServer(const QDBusConnection& bus)
        : m_proxy(QString::fromLatin1(KartovaServiceName), QString::fromLatin1(KartovaObjectPath),
                  bus)
    {
        m_proxy.setTimeout(HostCallTimeoutMs());
    }

    std::int32_t GetHostNumber() override { return Ask("GetHostNumber", &TProxy::GetHostNumber); }
    std::string HostText13() override { return AskText("HostText13", &TProxy::HostText13); }
    std::string HostText17() override { return AskText("HostText17", &TProxy::HostText17); }
    std::int32_t ObtainProcessNumber() override
    {
        return Ask("ObtainProcessNumber", &TProxy::ObtainProcessNumber);
    }
    std::int32_t AbandonProcess(std::int32_t processNumber) override
    {
        return Ask("AbandonProcess", &TProxy::AbandonProcess, processNumber);
    }
    std::int32_t ReportProcessError(std::int32_t processNumber, std::int32_t code,
                                    const std::string& textA, const std::string& textB) override
    {
        return Ask("ReportProcessError", &TProxy::ReportProcessError, processNumber, code,
                   Text(textA), Text(textB));
    }
    // A load reports every row it reads: waiting for each answer would make
    // it as slow as the host's round trips. The report goes out at once and
    // its answer, which nobody uses, is looked at later; the host still sees
    // the reports in order, since one connection delivers in the order sent.
    std::int32_t ReportProgress(std::int32_t processNumber, float fraction) override
    {
        takeAnsweredReports();
        if (m_reports.size() >= MaxUnansweredReports)
            takeOldestReport();
        // The bus has no single-precision type: the double carries the
        // single's value exactly.
        m_reports.push_back(m_proxy.ReportProgress(processNumber, static_cast<double>(fraction)));
        return 0;
    }
    std::int32_t ClearProgress(std::int32_t processNumber) override
    {
        return Ask("ClearProgress", &TProxy::ClearProgress, processNumber);
    }
    bool ConfirmProcess(std::int32_t processNumber) override
    {
        return Ask("ConfirmProcess", &TProxy::ConfirmProcess, processNumber);
    }
    std::string GetProcessParameter(std::int32_t processNumber, std::int32_t index) override
    {
        return AskText("GetProcessParameter", &TProxy::GetProcessParameter, processNumber, index);
    }
    std::int32_t FinishProcess(std::int32_t processNumber) override
    {
        return Ask("FinishProcess", &TProxy::FinishProcess, processNumber);
    }
    std::string HostText37() override { return AskText("HostText37", &TProxy::HostText37); }
    std::string GetProcessTextA(std::int32_t processNumber) override
    {
        return AskText("GetProcessTextA", &TProxy::GetProcessTextA, processNumber);
    }
    std::string GetProcessTextB(std::int32_t processNumber) override
    {
        return AskText("GetProcessTextB", &TProxy::GetProcessTextB, processNumber);
    }
    std::string GetProcessTextC(std::int32_t processNumber) override
    {
        return AskText("GetProcessTextC", &TProxy::GetProcessTextC, processNumber);
    }
    std::string GetProcessTextD(std::int32_t processNumber) override
    {
        return AskText("GetProcessTextD", &TProxy::GetProcessTextD, processNumber);
    }
    std::string HostText52() override { return AskText("HostText52", &TProxy::HostText52); }
    std::string HostText54() override { return AskText("HostText54", &TProxy::HostText54); }
    std::string GetWorkingFolder() override
    {
        return AskText("GetWorkingFolder", &TProxy::GetWorkingFolder);
    }
    std::int32_t GetResourceFolderCount() override
    {
        return Ask("GetResourceFolderCount", &TProxy::GetResourceFolderCount);
    }
    std::string GetResourceFolder(std::int32_t index) override
    {
        return AskText("GetResourceFolder", &TProxy::GetResourceFolder, index);
    }
    bool ConfirmNewProcess(std::int32_t processNumber) override
    {
        return Ask("ConfirmNewProcess", &TProxy::ConfirmNewProcess, processNumber);
    }
    std::string HostCode71() override { return AskText("HostCode71", &TProxy::HostCode71); }
    std::string HostCode72() override { return AskText("HostCode72", &TProxy::HostCode72); }
    std::string HostCode73() override { return AskText("HostCode73", &TProxy::HostCode73); }
    std::string HostCode74() override { return AskText("HostCode74", &TProxy::HostCode74); }
    std::string HostCode75() override { return AskText("HostCode75", &TProxy::HostCode75); }
    std::string HostCode76() override { return AskText("HostCode76", &TProxy::HostCode76); }
    std::string ResolverText88(const std::string& text) override
    {
        return AskText("ResolverText88", &TProxy::ResolverText88, Text(text));
    }
    std::string GetHostText() override { return AskText("GetHostText", &TProxy::GetHostText); }
    void AwaitProgressReports() override { awaitReports(); }

private:
    // At most this many reports are on their way. A host slower than the
    // load then holds the load back instead of letting the calls pile up in
    // the bus and in the host; a few hundred keep the bus busy enough that
    // the round trip no longer counts, hold a few dozen kilobytes, and bound
    // how many rows late a failed report or a host that stopped answering
    // is noticed.
    static constexpr std::size_t MaxUnansweredReports = 256;

    // Every call but a report first waits for the reports before it, so that
    // their failure fails this call instead of being lost.
    template <class T, class... P, class... A>
    T Ask(const char* method, QDBusPendingReply<T> (TProxy::*send)(P...), A&&... args)
    {
        awaitReports();
        return Await((m_proxy.*send)(std::forward<A>(args)...), method);
    }
    template <class... P, class... A>
    std::string AskText(const char* method, QDBusPendingReply<QString> (TProxy::*send)(P...),
                        A&&... args)
    {
        return Ask(method, send, std::forward<A>(args)...).toStdString();
    }

    // Looks at the answers that have already come, without waiting.
    void takeAnsweredReports()
    {
        while (!m_reports.empty() && m_reports.front().isFinished())
            takeOldestReport();
    }
    void awaitReports()
    {
        while (!m_reports.empty())
            takeOldestReport();
    }
    // Waits for the oldest report's answer. When it failed, the reports after
    // it are dropped unanswered: the failure ends the start-up, and the error
    // report that follows must reach the host instead of failing again on
    // the same dead or failing host's stale answers.
    void takeOldestReport()
    {
        QDBusPendingCall report = m_reports.front();
        m_reports.pop_front();
        report.waitForFinished();
        if (report.isError()) {
            m_reports.clear();
            throw EHostServerError("ReportProgress", ErrorText(report.error()));
        }
    }

    TProxy m_proxy;
    std::deque<QDBusPendingCall> m_reports;
};

} // namespace

std::unique_ptr<IKartovaAPIServer> CreateKartovaAPIServer()
{
    const char* method = "CreateKartovaAPIServer";
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        throw EHostServerError(method, "no D-Bus session bus: " + ErrorText(bus.lastError()));
    QDBusReply<bool> owned =
        bus.interface()->isServiceRegistered(QString::fromLatin1(KartovaServiceName));
    if (!owned.isValid())
        throw EHostServerError(method,
                               "the session bus does not answer: " + ErrorText(owned.error()));
    if (!owned.value())
        throw EHostServerError(method, std::string("no process owns ") + KartovaServiceName +
                                           " on the session bus");
    return std::make_unique<TDBusKartovaAPIServer>(bus);
}

} // namespace skyglide
