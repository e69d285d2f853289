#include "host/MsgHandler.h"

#include "host/HostLink.h"
#include "hostlink/HostLinkNames.h"
#include "messagewindowadaptor.h"

#include <QCloseEvent>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMetaObject>

#include <cstdio>

namespace skyglide {

Tmsghndlr::Tmsghndlr(THostLink& host, const TFormCreate& formCreate)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint), m_host(host)
{
    setObjectName(QStringLiteral("Tmsghndlr"));
    setWindowTitle(QString::fromLatin1(MessageWindowCaption));
    if (formCreate)
        formCreate(*this);
    if (!m_host.ShuttingDown())
        Publish();
}

Tmsghndlr::~Tmsghndlr()
{
    if (m_published) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QString::fromLatin1(MessageWindowObjectPath));
        bus.unregisterService(QString::fromLatin1(MessageWindowBusName));
    }
}

void Tmsghndlr::Publish()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr,
                     "skyglide: Tmsghndlr: no session bus, the host cannot reach this viewer\n");
        return;
    }
    new TMessageWindowAdaptor(this);
    if (!bus.registerObject(QString::fromLatin1(MessageWindowObjectPath), this)) {
        std::fprintf(stderr, "skyglide: Tmsghndlr: cannot export %s on the session bus\n",
                     MessageWindowObjectPath);
        return;
    }
    // A viewer that still runs keeps the name; this one waits behind it.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(QString::fromLatin1(MessageWindowBusName),
                                         QDBusConnectionInterface::QueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        std::fprintf(stderr, "skyglide: Tmsghndlr: cannot ask for the bus name %s: %s\n",
                     MessageWindowBusName, reply.error().message().toLocal8Bit().constData());
        return;
    }
    m_published = true;
}

qint64 Tmsghndlr::SendMessage(uint msg, qulonglong wParam, qlonglong lParam)
{
    if (msg == ShutdownMessage && wParam == ShutdownWParam && lParam == ShutdownLParam) {
        // The host gets its answer first; the shutdown runs from the event
        // loop, where the scene window's close handling may take its time.
        QMetaObject::invokeMethod(this, &Tmsghndlr::HandleShutdownRequest, Qt::QueuedConnection);
    }
    return 0;
}

void Tmsghndlr::HandleShutdownRequest()
{
    // The close handling may let pending messages through; a repeated
    // request meanwhile must not start a second close.
    if (m_handlingShutdown)
        return;
    m_handlingShutdown = true;
    struct TDone
    {
        bool& flag;
        ~TDone() { flag = false; }
    } done{m_handlingShutdown};
    if (OnShutdownRequest)
        OnShutdownRequest();
    close();
}

void Tmsghndlr::closeEvent(QCloseEvent* event)
{
    event->accept();
    m_host.TerminateApplication();
}

} // namespace skyglide
