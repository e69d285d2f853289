#pragma once

#include <QJsonArray>
#include <QJsonValue>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#include <ostream>

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
QString ProgramPath(const QString& name);

// A folder of its own for one test, under the build's test output.
std::unique_ptr<QTemporaryDir> TestFolder();

// skyglide-host running on the test's session bus, logging to a file of its
// own. Stopped (killed) when the object goes.
class THostRun
{
public:
    explicit THostRun(const QStringList& arguments, const QProcessEnvironment& environment =
                                                        QProcessEnvironment::systemEnvironment());
    ~THostRun();

    // Waits until a process owns name on the session bus.
    bool WaitForBusName(const QString& name, int timeoutMs = 20000) const;
    // Waits for the host to end; false when it is still running after that.
    bool WaitForExit(int timeoutMs = 30000);
    // Ctrl+C, or SIGTERM.
    void Signal(int signal);

    int ExitCode() const { return m_process.exitCode(); }
    QString Stdout();
    QString Stderr();
    std::vector<TLoggedCall> Calls() const;
    QStringList CallTexts() const;

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_logFile;
    QProcess m_process;
    QByteArray m_stdout, m_stderr;
};

// The twelve reads of the viewer's connection, as logged.
QStringList ConnectionReads();

} // namespace skyglide::test
