#pragma once

#include <QApplication>

namespace skyglide {

class THostLink;

// The application's title: its name and the caption of its message boxes.
inline constexpr const char* ApplicationTitle = "SkyGlide";

// The application object: title "SkyGlide", no quitting when a window
// closes (the hidden message window and the scene window decide when the
// program ends), and the standard error box for any exception that no
// handler caught, after which the program goes on. A file size limit
// (RLIMIT_FSIZE) fails the write that passes it, as a full disk would,
// instead of ending the program.
class TSkyGlideApplication : public QApplication
{
    Q_OBJECT

public:
    TSkyGlideApplication(int& argc, char** argv);

    // The run's link to the host, which learns from here that the
    // application is shutting down; it must outlive the application.
    void SetHostLink(THostLink* host) { m_host = host; }

    bool notify(QObject* receiver, QEvent* event) override;

    // From now on SIGTERM asks the application to quit, as the host's
    // shutdown request does but without asking the user anything: the event
    // loop ends, and the windows go with what they hold (an unfinished movie
    // is deleted). The program's entry then ends by the signal all the same
    // (TerminatedBySignal()), so that whoever sent it sees it was obeyed.
    void QuitOnTerminationSignal();
    static bool TerminatedBySignal();

protected:
    bool event(QEvent* event) override;

private:
    void shuttingDown();
    void terminationSignal();

    THostLink* m_host = nullptr;
};

} // namespace skyglide
