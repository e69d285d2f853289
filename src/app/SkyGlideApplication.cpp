#include "app/SkyGlideApplication.h"

#include "app/UserDialogs.h"
#include "host/HostLink.h"

#include <QEvent>
#include <QIcon>

#include <exception>

namespace skyglide {

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

void TSkyGlideApplication::shuttingDown()
{
    if (m_host)
        m_host->SetShuttingDown(true);
}

} // namespace skyglide
