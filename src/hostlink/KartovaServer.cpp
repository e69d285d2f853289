#include "hostlink/KartovaServer.h"

#include "hostlink/HostLinkNames.h"
#include "kartovaapiserverproxy.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <charconv>
#include <cstdlib>
#include <cstring>

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

std::string AwaitText(QDBusPendingReply<QString> reply, const char* method)
{
    return Await(std::move(reply), method).toStdString();
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// The client on the session bus. Calls block the caller until the host
// answers (or the call times out), as the viewer's start-up relies on.
class TDBusKartovaAPIServer final : public IKartovaAPIServer
{
public:
    explicit TDBusKartovaAPIServer(const QDBusConnection& bus)
        : m_proxy(QString::fromLatin1(KartovaServiceName), QString::fromLatin1(KartovaObjectPath),
                  bus)
    {
        m_proxy.setTimeout(HostCallTimeoutMs());
    }

    std::int32_t GetHostNumber() override
    {
        return Await(m_proxy.GetHostNumber(), "GetHostNumber");
    }
    std::string HostText13() override { return AwaitText(m_proxy.HostText13(), "HostText13"); }
    std::string HostText17() override { return AwaitText(m_proxy.HostText17(), "HostText17"); }
    std::int32_t ObtainProcessNumber() override
    {
        return Await(m_proxy.ObtainProcessNumber(), "ObtainProcessNumber");
    }
    std::int32_t AbandonProcess(std::int32_t processNumber) override
    {
        return Await(m_proxy.AbandonProcess(processNumber), "AbandonProcess");
    }
    std::int32_t ReportProcessError(std::int32_t processNumber, std::int32_t code,
                                    const std::string& textA, const std::string& textB) override
    {
        return Await(m_proxy.ReportProcessError(processNumber, code, Text(textA), Text(textB)),
                     "ReportProcessError");
    }
    std::int32_t ReportProgress(std::int32_t processNumber, float fraction) override
    {
        // The bus has no single-precision type: the double carries the
        // single's value exactly.
        return Await(m_proxy.ReportProgress(processNumber, static_cast<double>(fraction)),
                     "ReportProgress");
    }
    std::int32_t ClearProgress(std::int32_t processNumber) override
    {
        return Await(m_proxy.ClearProgress(processNumber), "ClearProgress");
    }
    bool ConfirmProcess(std::int32_t processNumber) override
    {
        return Await(m_proxy.ConfirmProcess(processNumber), "ConfirmProcess");
    }
    std::string GetProcessParameter(std::int32_t processNumber, std::int32_t index) override
    {
        return AwaitText(m_proxy.GetProcessParameter(processNumber, index), "GetProcessParameter");
    }
    std::int32_t FinishProcess(std::int32_t processNumber) override
    {
        return Await(m_proxy.FinishProcess(processNumber), "FinishProcess");
    }
    std::string HostText37() override { return AwaitText(m_proxy.HostText37(), "HostText37"); }
    std::string GetProcessTextA(std::int32_t processNumber) override
    {
        return AwaitText(m_proxy.GetProcessTextA(processNumber), "GetProcessTextA");
    }
    std::string GetProcessTextB(std::int32_t processNumber) override
    {
        return AwaitText(m_proxy.GetProcessTextB(processNumber), "GetProcessTextB");
    }
    std::string GetProcessTextC(std::int32_t processNumber) override
    {
        return AwaitText(m_proxy.GetProcessTextC(processNumber), "GetProcessTextC");
    }
    std::string GetProcessTextD(std::int32_t processNumber) override
    {
        return AwaitText(m_proxy.GetProcessTextD(processNumber), "GetProcessTextD");
    }
    std::string HostText52() override { return AwaitText(m_proxy.HostText52(), "HostText52"); }
    std::string HostText54() override { return AwaitText(m_proxy.HostText54(), "HostText54"); }
    std::string GetWorkingFolder() override
    {
        return AwaitText(m_proxy.GetWorkingFolder(), "GetWorkingFolder");
    }
    std::int32_t GetResourceFolderCount() override
    {
        return Await(m_proxy.GetResourceFolderCount(), "GetResourceFolderCount");
    }
    std::string GetResourceFolder(std::int32_t index) override
    {
        return AwaitText(m_proxy.GetResourceFolder(index), "GetResourceFolder");
    }
    bool ConfirmNewProcess(std::int32_t processNumber) override
    {
        return Await(m_proxy.ConfirmNewProcess(processNumber), "ConfirmNewProcess");
    }
    std::string HostCode71() override { return AwaitText(m_proxy.HostCode71(), "HostCode71"); }
    std::string HostCode72() override { return AwaitText(m_proxy.HostCode72(), "HostCode72"); }
    std::string HostCode73() override { return AwaitText(m_proxy.HostCode73(), "HostCode73"); }
    std::string HostCode74() override { return AwaitText(m_proxy.HostCode74(), "HostCode74"); }
    std::string HostCode75() override { return AwaitText(m_proxy.HostCode75(), "HostCode75"); }
    std::string HostCode76() override { return AwaitText(m_proxy.HostCode76(), "HostCode76"); }
    std::string ResolverText88(const std::string& text) override
    {
        return AwaitText(m_proxy.ResolverText88(Text(text)), "ResolverText88");
    }
    std::string GetHostText() override { return AwaitText(m_proxy.GetHostText(), "GetHostText"); }

private:
    TKartovaAPIServerProxy m_proxy;
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
