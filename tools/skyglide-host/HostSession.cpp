#include "HostSession.h"

#include "StandInHost.h"

#include "hostlink/HostLinkNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace skyglide {

namespace {

constexpr int RequestTimeoutMs = 5000;
constexpr int KillGraceMs = 3000;
// How long a viewer that has reported a failure may take to end.
constexpr int FailureGraceMs = 10000;

int g_signalPipe[2] = {-1, -1};

void OnSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto written = write(g_signalPipe[1], &byte, 1);
}

} // namespace

THostSession::THostSession(const THostOptions& options, TStandInHost& host, QObject* parent)
    : QObject(parent), m_options(options), m_host(host)
{
    m_viewer.setProgram(m_options.Viewer);
    m_viewer.setArguments(ViewerArguments(m_options));
    m_viewer.setProcessChannelMode(QProcess::ForwardedChannels);
    m_viewer.setChildProcessModifier([] {
        // Ctrl+C in the terminal reaches the host alone, which turns it into
        // the shutdown request; and the viewer does not outlive its host.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    connect(&m_viewer, &QProcess::finished, this, &THostSession::ViewerFinished);
    connect(&m_viewer, &QProcess::errorOccurred, this, &THostSession::ViewerFailed);

    m_startupTimer.setSingleShot(true);
    m_startupTimer.setInterval(m_options.StartupTimeoutSeconds * 1000);
    connect(&m_startupTimer, &QTimer::timeout, this, &THostSession::StartupTimedOut);
    connect(&m_host, &TStandInHost::CallReceived, this, [this](const QString& method) {
        if (!m_viewerReachable && m_startupTimer.isActive())
            m_startupTimer.start();
        // A viewer that reports a failure brings no window: it is expected
        // to end, and the host ends with a failure too.
        if (method == QLatin1String("ReportProcessError") && !m_failureReported) {
            m_failureReported = true;
            m_startupTimer.stop();
            if (m_viewer.state() != QProcess::NotRunning)
                m_failureTimer.start();
        }
    });

    m_failureTimer.setSingleShot(true);
    m_failureTimer.setInterval(FailureGraceMs);
    connect(&m_failureTimer, &QTimer::timeout, this, [this] {
        std::fprintf(stderr,
                     "skyglide-host: the viewer reported a failure but did not end; stopping it\n");
        StopViewer(false);
    });

    m_killTimer.setSingleShot(true);
    m_killTimer.setInterval(KillGraceMs);
    connect(&m_killTimer, &QTimer::timeout, this, [this] { StopViewer(true); });
}

THostSession::~THostSession()
{
    if (m_viewer.state() != QProcess::NotRunning) {
        StopViewer(true);
        m_viewer.waitForFinished(KillGraceMs);
    }
}

bool THostSession::Start()
{
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("skyglide-host: pipe2");
        return false;
    }
    m_signalNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_signalNotifier, &QSocketNotifier::activated, this, &THostSession::SignalArrived);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    if (!m_options.StartViewer)
        return true;

    m_windowWatcher = new QDBusServiceWatcher(QString::fromLatin1(MessageWindowBusName),
                                              QDBusConnection::sessionBus(),
                                              QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_windowWatcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        m_viewerReachable = true;
        m_startupTimer.stop();
    });
    m_viewer.start();
    if (!m_viewer.waitForStarted(10000))
        return false;
    m_startupTimer.start();
    return true;
}

void THostSession::SignalArrived()
{
    char bytes[16];
    while (read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    ++m_interrupts;
    m_host.EndProgressLine();
    if (m_viewer.state() == QProcess::NotRunning) {
        QCoreApplication::exit(0);
        return;
    }
    if (m_interrupts == 1)
        AskViewerToShutDown();
    else
        StopViewer(m_interrupts > 2);
}

void THostSession::AskViewerToShutDown()
{
    // Sent even before the window is known to be there: the bus knows better
    // than the host's own watch of it.
    QDBusMessage request = QDBusMessage::createMethodCall(
        QString::fromLatin1(MessageWindowBusName), QString::fromLatin1(MessageWindowObjectPath),
        QString::fromLatin1(MessageWindowInterfaceName), QString::fromLatin1(SendMessageMethod));
    request << uint(ShutdownMessage) << qulonglong(ShutdownWParam) << qlonglong(ShutdownLParam);
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(request, RequestTimeoutMs), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            if (!call->isError() || m_viewer.state() == QProcess::NotRunning)
                return;
            const QString error = call->error().name();
            if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
                std::fprintf(stderr, "skyglide-host: the viewer is still starting; stopping it\n");
            else
                std::fprintf(stderr,
                             "skyglide-host: the viewer does not take the shutdown request (%s); "
                             "stopping it\n",
                             qPrintable(call->error().message()));
            StopViewer(false);
        });
}

void THostSession::StopViewer(bool hard)
{
    if (m_viewer.state() == QProcess::NotRunning)
        return;
    // The viewer leads a process group of its own: whatever it started goes
    // with it.
    ::kill(-static_cast<pid_t>(m_viewer.processId()), hard ? SIGKILL : SIGTERM);
    if (!hard)
        m_killTimer.start();
}

void THostSession::StartupTimedOut()
{
    std::fprintf(
        stderr,
        "skyglide-host: the viewer made no call for %d s during its start-up; stopping it\n",
        m_options.StartupTimeoutSeconds);
    StopViewer(false);
}

void THostSession::ViewerFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    m_startupTimer.stop();
    m_killTimer.stop();
    m_failureTimer.stop();
    m_host.EndProgressLine();
    int status = exitCode;
    if (exitStatus == QProcess::CrashExit) {
        std::fprintf(stderr, "skyglide-host: the viewer ended by signal %d\n", exitCode);
        status = 128 + exitCode;
    } else if (exitCode != 0) {
        std::fprintf(stderr, "skyglide-host: the viewer exited with status %d\n", exitCode);
    } else if (m_failureReported) {
        std::fprintf(stderr, "skyglide-host: the viewer ended after reporting a failure\n");
        status = 1;
    }
    QCoreApplication::exit(status);
}

void THostSession::ViewerFailed(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart)
        return;
    std::fprintf(stderr, "skyglide-host: cannot start the viewer %s: %s\n",
                 qPrintable(m_options.Viewer), qPrintable(m_viewer.errorString()));
    QCoreApplication::exit(127);
}

} // namespace skyglide
