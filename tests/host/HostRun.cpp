#include "HostRun.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace skyglide::test {

QString TLoggedCall::Text() const
{
    QByteArray args = QJsonDocument(Args).toJson(QJsonDocument::Compact);
    args[0] = '(';
    args[args.size() - 1] = ')';
    return Method + QString::fromUtf8(args);
}

QString ProgramPath(const QString& name)
{
    return qEnvironmentVariable("SKYGLIDE_BIN_DIR") + QLatin1Char('/') + name;
}

std::unique_ptr<QTemporaryDir> TestFolder()
{
    QString root = qEnvironmentVariable("SKYGLIDE_TEST_TMP");
    if (root.isEmpty())
        root = QDir::tempPath();
    QDir().mkpath(root);
    auto folder = std::make_unique<QTemporaryDir>(root + QStringLiteral("/host-XXXXXX"));
    EXPECT_TRUE(folder->isValid());
    return folder;
}

THostRun::THostRun(const QStringList& arguments, const QProcessEnvironment& environment)
    : m_folder(TestFolder()), m_logFile(m_folder->filePath(QStringLiteral("calls.jsonl")))
{
    m_process.setProcessEnvironment(environment);
    m_process.setProgram(ProgramPath(QStringLiteral("skyglide-host")));
    m_process.setArguments(QStringList{QStringLiteral("--log"), m_logFile} + arguments);
    m_process.start();
    EXPECT_TRUE(m_process.waitForStarted(10000)) << qPrintable(m_process.errorString());
}

THostRun::~THostRun()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool THostRun::WaitForBusName(const QString& name, int timeoutMs) const
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); QThread::msleep(20)) {
        if (bus->isServiceRegistered(name).value())
            return true;
    }
    return false;
}

bool THostRun::WaitForExit(int timeoutMs)
{
    const bool ended = m_process.waitForFinished(timeoutMs);
    m_stdout += m_process.readAllStandardOutput();
    m_stderr += m_process.readAllStandardError();
    return ended;
}

void THostRun::Signal(int signal)
{
    ::kill(static_cast<pid_t>(m_process.processId()), signal);
}

QString THostRun::Stdout()
{
    QCoreApplication::processEvents(); // lets the process's pipes be read
    m_stdout += m_process.readAllStandardOutput();
    return QString::fromUtf8(m_stdout);
}

QString THostRun::Stderr()
{
    QCoreApplication::processEvents();
    m_stderr += m_process.readAllStandardError();
    return QString::fromUtf8(m_stderr);
}

std::vector<TLoggedCall> THostRun::Calls() const
{
    std::vector<TLoggedCall> calls;
    QFile file(m_logFile);
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.constData();
        TLoggedCall call;
        call.Method = object.value(QStringLiteral("method")).toString();
        call.Args = object.value(QStringLiteral("args")).toArray();
        for (const char* key : {"result", "error", "stalled"}) {
            if (object.contains(QLatin1String(key))) {
                call.Outcome = QLatin1String(key);
                call.Value = object.value(QLatin1String(key));
            }
        }
        EXPECT_FALSE(call.Outcome.isEmpty()) << line.constData();
        calls.push_back(call);
    }
    return calls;
}

QStringList THostRun::CallTexts() const
{
    QStringList texts;
    for (const TLoggedCall& call : Calls())
        texts << call.Text();
    return texts;
}

QStringList ConnectionReads()
{
    return {"GetWorkingFolder()", "HostText13()", "HostText52()", "HostText54()",
            "HostText37()",       "HostText17()", "HostCode74()", "HostCode73()",
            "HostCode72()",       "HostCode71()", "HostCode76()", "HostCode75()"};
}

} // namespace skyglide::test
