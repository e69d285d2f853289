// skyglide-host: the stand-in for the host GIS. Owns the host's automation
// server on the session bus, starts the viewer on one process and plays the
// host's side of the conversation until the viewer has ended.
#include "HostImport.h"
#include "HostOptions.h"
#include "HostSession.h"
#include "PrivateBus.h"
#include "StandInHost.h"
#include "apiserveradaptor.h"
#include "hostlink/HostLinkNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("skyglide-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SKYGLIDE_VERSION));

    int exitCode = 0;
    std::optional<skyglide::THostOptions> options =
        skyglide::ParseHostOptions(QCoreApplication::arguments(), exitCode);
    if (!options)
        return exitCode;
    if (!skyglide::ImportForeignRasters(*options))
        return 1;

    // Before anything talks to the session bus.
    skyglide::TPrivateBus privateBus;
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") && !privateBus.Start())
        return 1;

    skyglide::TStandInHost host(*options);
    if (!host.OpenLog())
        return 1;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "skyglide-host: cannot reach the session bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    new TAPIServerAdaptor(&host);
    const QString service = QString::fromLatin1(skyglide::KartovaServiceName);
    if (!bus.registerObject(QString::fromLatin1(skyglide::KartovaObjectPath), &host) ||
        !bus.registerService(service)) {
        std::fprintf(stderr,
                     "skyglide-host: cannot own %s on the session bus (is another host "
                     "running?): %s\n",
                     skyglide::KartovaServiceName, qPrintable(bus.lastError().message()));
        return 1;
    }

    skyglide::THostSession session(*options, host);
    if (!session.Start())
        return 127;
    const int status = QCoreApplication::exec();
    host.EndProgressLine();
    bus.unregisterService(service);
    return status;
}
