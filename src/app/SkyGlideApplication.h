#pragma once

#include <QApplication>

namespace skyglide {

class THostLink;

// The application's title: its name and the caption of its message boxes.
inline constexpr const char* ApplicationTitle = "SkyGlide";

// The application object: title "SkyGlide", no quitting when a window
// closes (the hidden message window and the scene window decide when the
// program ends), and the standard error box for any exception that no
// handler caught, after which the program goes on.
class TSkyGlideApplication : public QApplication
{
    Q_OBJECT

public:
    TSkyGlideApplication(int& argc, char** argv);

    // The run's link to the host, which learns from here that the
    // application is shutting down; it must outlive the application.
    void SetHostLink(THostLink* host) { m_host = host; }

    bool notify(QObject* receiver, QEvent* event) override;

protected:
    bool event(QEvent* event) override;

private:
    void shuttingDown();

    THostLink* m_host = nullptr;
};

} // namespace skyglide
