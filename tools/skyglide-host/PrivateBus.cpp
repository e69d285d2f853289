#include "PrivateBus.h"

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

namespace skyglide {

TPrivateBus::~TPrivateBus()
{
    Stop();
}

bool TPrivateBus::Start()
{
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
    m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon.setStandardErrorFile(QProcess::nullDevice());
    m_daemon.setChildProcessModifier([] {
        // Out of the terminal's process group, so that Ctrl+C reaches the
        // host only and the bus outlives the viewer's last calls; and gone
        // with the host.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000)) {
        std::fprintf(stderr,
                     "skyglide-host: cannot start dbus-daemon for a private session bus: %s\n",
                     qPrintable(m_daemon.errorString()));
        return false;
    }
    while (!m_daemon.canReadLine()) {
        if (!m_daemon.waitForReadyRead(5000)) {
            std::fprintf(stderr, "skyglide-host: dbus-daemon gave no bus address\n");
            Stop();
            return false;
        }
    }
    m_address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toLocal8Bit());
    std::fprintf(stderr, "skyglide-host: private session bus %s\n", qPrintable(m_address));
    return true;
}

void TPrivateBus::Stop()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(2000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(2000);
    }
}

} // namespace skyglide
