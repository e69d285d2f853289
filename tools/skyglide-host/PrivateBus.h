#pragma once

#include <QProcess>
#include <QString>

namespace skyglide {

// A session bus of the host's own, for when none runs (a plain terminal, a
// test). Started before anything talks to the session bus; stopped when
// this object goes, and also when the host dies, so none is left behind.
class TPrivateBus
{
public:
    TPrivateBus() = default;
    ~TPrivateBus();
    TPrivateBus(const TPrivateBus&) = delete;
    TPrivateBus& operator=(const TPrivateBus&) = delete;

    // Starts dbus-daemon and makes its address the session bus of this
    // process and of every program it starts. False (with a message) when
    // it cannot be started.
    bool Start();
    void Stop();

    const QString& Address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

} // namespace skyglide
