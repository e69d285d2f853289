#pragma once

// The stand-in host run as a program on the test's session bus, with its
// call log as the witness of what the viewer asked.

#include <QJsonArray>
#include <QJsonValue>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <csignal>
#include <vector>

namespace skyglide::test {

// One call as the stand-in host logged it.
struct TLoggedCall
{
    QString Method;
    QJsonArray Args;
    QString Outcome; // "result", "error" or "stalled"
    QJsonValue Value;
    // "Method(arg,...)" with texts quoted as JSON, e.g. GetProcessParameter(42,2).
    QString Text() const;
};

// skyglide-host running on the test's session bus, logging to a file in the
// test's folder. Killed when the object goes, with what it started.
class THostRun
{
public:
    explicit THostRun(const QStringList& arguments, const QProcessEnvironment& environment =
                                                        QProcessEnvironment::systemEnvironment());
    ~THostRun();

    // Waits until a process owns name on the session bus.
    bool WaitForBusName(const QString& name) const;
    // Waits for the host to end; false when it is still running after that.
    bool WaitForExit(int timeoutMs = 60000) { return m_process.waitForFinished(timeoutMs); }
    bool Running() const { return m_process.state() != QProcess::NotRunning; }
    // Ctrl+C, or SIGTERM; nothing once the host has gone (a process number
    // of 0 would signal the test's own process group).
    void Signal(int signal)
    {
        if (m_process.processId() > 0)
            ::kill(static_cast<pid_t>(m_process.processId()), signal);
    }

    int ExitCode() const { return m_process.exitCode(); }
    QString Stdout() { return read(m_stdout, QProcess::StandardOutput); }
    QString Stderr() { return read(m_stderr, QProcess::StandardError); }
    std::vector<TLoggedCall> Calls() const;
    QStringList CallTexts() const;

private:
    QString read(QByteArray& kept, QProcess::ProcessChannel channel);

    QString m_logFile;
    QProcess m_process;
    QByteArray m_stdout, m_stderr;
};

// A window message sent to the viewer's message window by gdbus, a D-Bus
// client the project did not write; gdbus's answer.
QString SendWindowMessage(const QString& triple);

} // namespace skyglide::test
