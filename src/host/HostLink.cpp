#include "host/HostLink.h"

#include "hostlink/HostLinkNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace skyglide {

namespace {

// How often the link looks whether its bus connection still stands: a bus
// that goes away sends no notice of its own.
constexpr int BusCheckIntervalMs = 1000;

} // namespace

THostLink::THostLink(TServerFactory factory) : m_factory(std::move(factory)) {}

THostLink::~THostLink() = default;

void THostLink::Release()
{
    m_server.reset();
    // A host that ends after the run has let it go is no news.
    m_hostWatch.reset();
}

bool THostLink::Connect()
{
    try {
        m_server = m_factory ? m_factory() : CreateKartovaAPIServer();
        if (!m_server)
            throw EHostServerError("ConnectHostServer", "no server was created");
        IKartovaAPIServer& server = *m_server;
        server.GetWorkingFolder();
        server.HostText13();
        server.HostText52();
        server.HostText54();
        server.HostText37();
        server.HostText17();
        server.HostCode74();
        server.HostCode73();
        server.HostCode72();
        server.HostCode71();
        server.HostCode76();
        server.HostCode75();
        if (!m_factory)
            watchHost();
        return true;
    } catch (const std::exception&) {
        m_server.reset();
        if (OnServerNotFound)
            OnServerNotFound(HostServerNotFoundText);
        else
            std::fprintf(stderr, "skyglide: %s\n", HostServerNotFoundText);
        return false;
    }
}

void THostLink::watchHost()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto watch = std::make_unique<QObject>();
    auto* owner = new QDBusServiceWatcher(QString::fromLatin1(KartovaServiceName), bus,
                                          QDBusServiceWatcher::WatchForUnregistration, watch.get());
    QObject::connect(owner, &QDBusServiceWatcher::serviceUnregistered, watch.get(),
                     [this] { hostGone("its server has no owner on the session bus"); });
    auto* busCheck = new QTimer(watch.get());
    busCheck->setInterval(BusCheckIntervalMs);
    QObject::connect(busCheck, &QTimer::timeout, watch.get(), [this] {
        if (!QDBusConnection::sessionBus().isConnected())
            hostGone("the session bus has gone");
    });
    busCheck->start();
    m_hostWatch = std::move(watch);
}

void THostLink::hostGone(const char* how)
{
    if (m_hostGone)
        return;
    m_hostGone = true;
    // Deleted later: this runs from one of the watch's own signals.
    m_hostWatch.release()->deleteLater();
    m_server.reset();
    std::fprintf(stderr, "skyglide: the host has gone (%s); the viewer goes on without it\n", how);
    if (OnHostGone)
        OnHostGone();
}

void THostLink::TerminateApplication()
{
    m_shuttingDown = true;
    if (QCoreApplication::instance())
        QCoreApplication::quit();
}

void THostLink::EndProgramAtOnce()
{
    Release();
    if (OnEndProgram)
        OnEndProgram();
    std::exit(0);
}

IKartovaAPIServer* THostLink::serverForService()
{
    if (m_shuttingDown)
        EndProgramAtOnce();
    return m_server.get();
}

void THostLink::ReportProgress(float fraction)
{
    if (IKartovaAPIServer* server = serverForService())
        server->ReportProgress(m_processNumber, fraction);
}

void THostLink::AwaitProgressReports()
{
    if (IKartovaAPIServer* server = serverForService())
        server->AwaitProgressReports();
}

void THostLink::ClearProgress()
{
    if (IKartovaAPIServer* server = serverForService())
        server->ClearProgress(m_processNumber);
}

void THostLink::ReportProcessError(std::int32_t code)
{
    IKartovaAPIServer* server = serverForService();
    if (!server)
        return;
    const std::string textB = server->GetProcessTextB(m_processNumber);
    const std::string textA = server->GetProcessTextA(m_processNumber);
    server->ReportProcessError(m_processNumber, code, textA, textB);
}

std::string THostLink::GetProcessParameter(std::int32_t index)
{
    IKartovaAPIServer* server = serverForService();
    return server ? server->GetProcessParameter(m_processNumber, index) : std::string();
}

std::optional<std::string> THostLink::FinishRun()
{
    try {
        if (m_server)
            m_server->FinishProcess(m_processNumber);
        return std::nullopt;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "skyglide: the host was not told that the run has finished: %s\n",
                     error.what());
        return std::string(error.what());
    }
}

} // namespace skyglide
