#include "app/SkyGlideApplication.h"

#include "app/UserDialogs.h"
#include "host/HostLink.h"

#include <QEvent>
#include <QIcon>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <exception>

#include <fcntl.h>
#include <unistd.h>

namespace skyglide {

namespace {

// The signal handler only writes a byte here; the event loop does the rest.
int g_terminationPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_terminated = 0;

void onTerminationSignal(int)
{
    g_terminated = 1;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_terminationPipe[1], &byte, 1);
}

} // namespace

TSkyGlideApplication::TSkyGlideApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The title is the application's name, not a display name: the window
    // system would append a display name to every window's caption.
    setApplicationName(QString::fromLatin1(ApplicationTitle));
    // Ties the windows to the installed desktop entry and its icon, so that
    // docks and task bars show them as Sky Glide's; without an installed
    // icon the windows keep the default one.
    setDesktopFileName(QStringLiteral("org.kartova.SkyGlide"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("org.kartova.SkyGlide")));
    setQuitOnLastWindowClosed(false);
    std::signal(SIGXFSZ, SIG_IGN);
    connect(this, &QCoreApplication::aboutToQuit, this, &TSkyGlideApplication::shuttingDown);
}

bool TSkyGlideApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        UserDialogs().ShowError(QString::fromLatin1(ApplicationTitle),
                                QString::fromUtf8(error.what()));
        return false;
    }
}

bool TSkyGlideApplication::event(QEvent* event)
{
    // A quit asked for by anyone (the session, the last window) counts as
    // the application shutting down, as the program's own requests do.
    if (event->type() == QEvent::Quit)
        shuttingDown();
    return QApplication::event(event);
}

void TSkyGlideApplication::QuitOnTerminationSignal()
{
    if (g_terminationPipe[0] >= 0)
        return;
    if (::pipe2(g_terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("skyglide: pipe2");
        return;
    }
    auto* notifier = new QSocketNotifier(g_terminationPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TSkyGlideApplication::terminationSignal);
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
}

bool TSkyGlideApplication::TerminatedBySignal()
{
    return g_terminated != 0;
}

void TSkyGlideApplication::terminationSignal()
{
    char bytes[16];
    while (::read(g_terminationPipe[0], bytes, sizeof bytes) > 0) {
    }
    // Every event loop ends, a dialog's too; quit() would first try to
    // close the windows, and a window asks before it closes.
    shuttingDown();
    exit(0);
}

void TSkyGlideApplication::shuttingDown()
{
    if (m_host)
        m_host->SetShuttingDown(true);
}

} // namespace skyglide
