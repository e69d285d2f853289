#pragma once

#include "HostOptions.h"

#include <QObject>
#include <QProcess>
#include <QTimer>

class QDBusServiceWatcher;
class QSocketNotifier;

namespace skyglide {

class TStandInHost;

// One run of the viewer under the stand-in host: starts it, watches that it
// gets through its start-up, passes Ctrl+C (SIGINT) and SIGTERM on as the
// host's shutdown request, and ends the host's event loop with the viewer's
// exit status once the viewer has gone (1 when the viewer reported a
// failure and still exited with 0). A viewer that reports a failure and does
// not end is stopped.
class THostSession : public QObject
{
    Q_OBJECT

public:
    THostSession(const THostOptions& options, TStandInHost& host, QObject* parent = nullptr);
    ~THostSession() override;

    // Installs the signal handling and starts the viewer (unless the options
    // say not to). False, with a message, when the viewer cannot start.
    bool Start();

private:
    void SignalArrived();
    void AskViewerToShutDown();
    void StopViewer(bool hard);
    void StartupTimedOut();
    void ViewerFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void ViewerFailed(QProcess::ProcessError error);

    THostOptions m_options;
    TStandInHost& m_host;
    QProcess m_viewer;
    QTimer m_startupTimer;
    QTimer m_killTimer;
    QTimer m_failureTimer;
    QDBusServiceWatcher* m_windowWatcher = nullptr;
    QSocketNotifier* m_signalNotifier = nullptr;
    bool m_viewerReachable = false;
    bool m_failureReported = false;
    int m_interrupts = 0;
};

} // namespace skyglide
