#include "HostRun.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>

namespace skyglide::test {

QString TLoggedCall::Text() const
{
    QByteArray args = QJsonDocument(Args).toJson(QJsonDocument::Compact);
    args[0] = '(';
    args[args.size() - 1] = ')';
    return Method + QString::fromUtf8(args);
}

std::unique_ptr<QTemporaryDir> TestFolder()
{
    const QString root = qEnvironmentVariable("SKYGLIDE_TEST_TMP", QDir::tempPath());
    QDir().mkpath(root);
    auto folder = std::make_unique<QTemporaryDir>(root + QStringLiteral("/host-XXXXXX"));
    EXPECT_TRUE(folder->isValid());
    return folder;
}

bool PollUntil(const std::function<bool()>& done, int timeoutMs)
{
    for (QDeadlineTimer deadline(timeoutMs); !done(); QThread::msleep(20)) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
    }
    return true;
}

std::optional<QString> Xdotool(const QStringList& arguments)
{
    QProcess xdotool; // killed when it goes
    xdotool.start("xdotool", arguments);
    if (!xdotool.waitForFinished(15000) || xdotool.exitStatus() != QProcess::NormalExit ||
        xdotool.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

QStringList ConnectionReads()
{
    return {"GetWorkingFolder()", "HostText13()", "HostText52()", "HostText54()",
            "HostText37()",       "HostText17()", "HostCode74()", "HostCode73()",
            "HostCode72()",       "HostCode71()", "HostCode76()", "HostCode75()"};
}

THostRun::THostRun(const QStringList& arguments, const QProcessEnvironment& environment)
    : m_folder(TestFolder()), m_logFile(m_folder->filePath(QStringLiteral("calls.jsonl")))
{
    m_process.setProcessEnvironment(environment);
    m_process.start(ProgramPath(QStringLiteral("skyglide-host")),
                    QStringList{QStringLiteral("--log"), m_logFile} + arguments);
    EXPECT_TRUE(m_process.waitForStarted(10000)) << qPrintable(m_process.errorString());
}

bool THostRun::WaitForBusName(const QString& name, int timeoutMs) const
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return PollUntil([&] { return bus->isServiceRegistered(name).value(); }, timeoutMs);
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
        call.Method = object.value(QLatin1String("method")).toString();
        call.Args = object.value(QLatin1String("args")).toArray();
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

} // namespace skyglide::test
