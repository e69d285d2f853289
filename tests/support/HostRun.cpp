#include "HostRun.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace skyglide::test {

QString TLoggedCall::Text() const
{
    QByteArray args = QJsonDocument(Args).toJson(QJsonDocument::Compact);
    args[0] = '(';
    args[args.size() - 1] = ')';
    return Method + QString::fromUtf8(args);
}

THostRun::THostRun(const QStringList& arguments, const QProcessEnvironment& environment)
{
    static int runs = 0;
    m_logFile = QString::fromStdString(
        (TestFolder("-host" + std::to_string(++runs)) / "calls.jsonl").string());
    m_process.setProcessEnvironment(environment);
    m_process.start(ProgramPath(QStringLiteral("skyglide-host")),
                    QStringList{QStringLiteral("--log"), m_logFile} + arguments);
    EXPECT_TRUE(m_process.waitForStarted(30000)) << qPrintable(m_process.errorString());
}

THostRun::~THostRun()
{
    m_process.kill();
    m_process.waitForFinished(10000);
}

bool THostRun::WaitForBusName(const QString& name) const
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return WaitUntil([&] { return bus->isServiceRegistered(name).value(); });
}

QString THostRun::read(QByteArray& kept, QProcess::ProcessChannel channel)
{
    QCoreApplication::processEvents(); // lets the process's pipes be read
    m_process.setReadChannel(channel);
    kept += m_process.readAll();
    return QString::fromUtf8(kept);
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

QString SendWindowMessage(const QString& triple)
{
    // Typed: without them gdbus takes plain numbers as int32 whenever its
    // look-up of the method's signature is slow, and the call is refused.
    QStringList arguments = QStringLiteral("call --session --dest org.kartova.skyglide_msghndlr "
                                           "--object-path /skyglide_msghndlr --method "
                                           "org.kartova.MessageWindow.SendMessage --")
                                .split(QLatin1Char(' '));
    const QStringList values = triple.split(QLatin1Char(' '));
    const char* types[] = {"uint32 ", "uint64 ", "int64 "};
    for (int i = 0; i < values.size(); ++i)
        arguments << (values.size() == 3 ? QLatin1String(types[i]) + values[i] : values[i]);
    QProcess gdbus;
    gdbus.start(QStringLiteral("gdbus"), arguments);
    EXPECT_TRUE(gdbus.waitForFinished(30000));
    return QString::fromUtf8(gdbus.readAllStandardOutput() + gdbus.readAllStandardError())
        .trimmed();
}

} // namespace skyglide::test
