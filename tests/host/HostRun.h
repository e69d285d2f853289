#pragma once

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonValue>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

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

// A program built by the project: <build>/bin/<name>.
inline QString ProgramPath(const QString& name)
{
    return qEnvironmentVariable("SKYGLIDE_BIN_DIR") + QLatin1Char('/') + name;
}

// A folder of its own for one test, under the build's test output.
std::unique_ptr<QTemporaryDir> TestFolder();
// Polls done(), letting events through, until it holds or timeoutMs pass.
bool PollUntil(const std::function<bool()>& done, int timeoutMs = 20000);
// The twelve reads of the viewer's connection, as logged.
QStringList ConnectionReads();
// Runs xdotool on the test's X server: its output, or nullopt when it failed
// or hung.
std::optional<QString> Xdotool(const QStringList& arguments);

// skyglide-host running on the test's session bus, logging to a file of its
// own. Killed when the object goes.
class THostRun
{
public:
    explicit THostRun(const QStringList& arguments, const QProcessEnvironment& environment =
                                                        QProcessEnvironment::systemEnvironment());
    ~THostRun()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Waits until a process owns name on the session bus.
    bool WaitForBusName(const QString& name, int timeoutMs = 20000) const;
    // Waits for the host to end; false when it is still running after that.
    bool WaitForExit(int timeoutMs = 30000) { return m_process.waitForFinished(timeoutMs); }
    // Ctrl+C, or SIGTERM.
    void Signal(int signal) { ::kill(static_cast<pid_t>(m_process.processId()), signal); }

    int ExitCode() const { return m_process.exitCode(); }
    QString Stdout() { return Read(m_stdout, QProcess::StandardOutput); }
    QString Stderr() { return Read(m_stderr, QProcess::StandardError); }
    std::vector<TLoggedCall> Calls() const;
    QStringList CallTexts() const;

private:
    QString Read(QByteArray& kept, QProcess::ProcessChannel channel)
    {
        QCoreApplication::processEvents(); // lets the process's pipes be read
        m_process.setReadChannel(channel);
        kept += m_process.readAll();
        return QString::fromUtf8(kept);
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_logFile;
    QProcess m_process;
    QByteArray m_stdout, m_stderr;
};

} // namespace skyglide::test
