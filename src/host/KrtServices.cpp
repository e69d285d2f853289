#include "host/KrtServices.h"

#include "host/AppLifecycle.h"
#include "host/UserDialogs.h"

#include <QString>

namespace skyglide {

namespace {

std::unique_ptr<IKartovaAPIServer> g_hostServer;
std::int32_t g_processNumber = 0;
THostSettings g_hostSettings;
THostServerFactory g_factory;

// The first four characters (not bytes) of a UTF-8 text.
std::string ShortCode(const std::string& text)
{
    int characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool startsCharacter = (byte & 0xC0) != 0x80;
        if (startsCharacter && ++characters > 4)
            return text.substr(0, i);
    }
    return text;
}

// The checks every service makes before it reaches the host.
IKartovaAPIServer* ServerForService()
{
    if (ApplicationShuttingDown())
        EndProgramAtOnce();
    return g_hostServer.get();
}

} // namespace

IKartovaAPIServer* HostServer()
{
    return g_hostServer.get();
}

void SetHostServer(std::unique_ptr<IKartovaAPIServer> server)
{
    g_hostServer = std::move(server);
}

void ReleaseHostServer()
{
    g_hostServer.reset();
}

std::int32_t ProcessNumber()
{
    return g_processNumber;
}

void SetProcessNumber(std::int32_t processNumber)
{
    g_processNumber = processNumber;
}

const THostSettings& HostSettings()
{
    return g_hostSettings;
}

void SetHostServerFactory(THostServerFactory factory)
{
    g_factory = std::move(factory);
}

bool ConnectHostServer()
{
    try {
        g_hostServer = g_factory ? g_factory() : CreateKartovaAPIServer();
        if (!g_hostServer)
            throw EHostServerError("ConnectHostServer", "no server was created");
        IKartovaAPIServer& server = *g_hostServer;
        THostSettings settings;
        settings.WorkingFolder = server.GetWorkingFolder();
        settings.HostText13 = server.HostText13();
        settings.HostText52 = server.HostText52();
        settings.HostText54 = server.HostText54();
        settings.HostText37 = server.HostText37();
        settings.LanguageFolder = settings.HostText37 + "language/";
        settings.HostText17 = server.HostText17();
        settings.HostCode74 = ShortCode(server.HostCode74());
        settings.HostCode73 = ShortCode(server.HostCode73());
        settings.HostCode72 = ShortCode(server.HostCode72());
        settings.HostCode71 = ShortCode(server.HostCode71());
        settings.HostCode76 = ShortCode(server.HostCode76());
        settings.HostCode75 = ShortCode(server.HostCode75());
        g_hostSettings = std::move(settings);
        return true;
    } catch (const std::exception&) {
        g_hostServer.reset();
        UserDialogs().ShowMessage(QString::fromLatin1(ApplicationTitle),
                                  QString::fromLatin1(HostServerNotFoundText));
        return false;
    }
}

void ReportProgress(float fraction)
{
    if (IKartovaAPIServer* server = ServerForService())
        server->ReportProgress(g_processNumber, fraction);
}

void ClearProgress()
{
    if (IKartovaAPIServer* server = ServerForService())
        server->ClearProgress(g_processNumber);
}

void ReportProcessError(std::int32_t code)
{
    IKartovaAPIServer* server = ServerForService();
    if (!server)
        return;
    const std::string textB = server->GetProcessTextB(g_processNumber);
    const std::string textA = server->GetProcessTextA(g_processNumber);
    server->ReportProcessError(g_processNumber, code, textA, textB);
}

std::string GetProcessParameter(std::int32_t index)
{
    IKartovaAPIServer* server = ServerForService();
    return server ? server->GetProcessParameter(g_processNumber, index) : std::string();
}

std::string GetProcessTextA()
{
    IKartovaAPIServer* server = ServerForService();
    return server ? server->GetProcessTextA(g_processNumber) : std::string();
}

std::string GetProcessTextB()
{
    IKartovaAPIServer* server = ServerForService();
    return server ? server->GetProcessTextB(g_processNumber) : std::string();
}

std::string GetProcessTextC()
{
    IKartovaAPIServer* server = ServerForService();
    return server ? server->GetProcessTextC(g_processNumber) : std::string();
}

std::string GetProcessTextD()
{
    IKartovaAPIServer* server = ServerForService();
    return server ? server->GetProcessTextD(g_processNumber) : std::string();
}

} // namespace skyglide
