#pragma once

#include <QWidget>

#include <functional>

namespace skyglide {

class THostLink;

// The hidden message window: the application's main window, created first,
// never shown. Its creation runs the start-up load; afterwards the host
// reaches the running viewer through it on the session bus (object
// /skyglide_msghndlr, interface org.kartova.MessageWindow, bus name
// org.kartova.skyglide_msghndlr) to ask it to shut down. Closing it ends the
// application.
class Tmsghndlr : public QWidget
{
    Q_OBJECT

public:
    using TFormCreate = std::function<void(Tmsghndlr&)>;

    // Creates the window and runs formCreate (the start-up load) as part of
    // its creation. Unless the application is shutting down by then, the
    // window is published on the session bus once creation has finished.
    // Closing the window ends the application through host.
    Tmsghndlr(THostLink& host, const TFormCreate& formCreate);
    ~Tmsghndlr() override;

    // Runs when the host asks the viewer to shut down, before this window
    // closes (which ends the application). The start-up load assigns it:
    // the scene window's owner marks that window as closing and closes it.
    std::function<void()> OnShutdownRequest;

    // True once the window is exported and its bus name requested.
    bool Published() const { return m_published; }

    // One window message, as the host sends it. Acts on the shutdown request
    // only, after answering; every other message is ignored. Answers 0.
    qint64 SendMessage(uint msg, qulonglong wParam, qlonglong lParam);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Publish();
    void HandleShutdownRequest();

    THostLink& m_host;
    bool m_published = false;
    bool m_handlingShutdown = false;
};

} // namespace skyglide
