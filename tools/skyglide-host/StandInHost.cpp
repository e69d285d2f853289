#include "StandInHost.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cstdio>

namespace skyglide {

namespace {

const QString ErrorName = QStringLiteral("org.kartova.APIServer.Error");

// One JSON value as compact text.
QByteArray JsonText(const QJsonValue& value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

} // namespace

TStandInHost::TStandInHost(const THostOptions& options, QObject* parent)
    : QObject(parent), m_options(options)
{
}

bool TStandInHost::OpenLog()
{
    if (m_options.LogFile.isEmpty())
        return true;
    m_log.setFileName(m_options.LogFile);
    if (m_log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return true;
    std::fprintf(stderr, "skyglide-host: --log: cannot write %s: %s\n",
                 qPrintable(m_options.LogFile), qPrintable(m_log.errorString()));
    return false;
}

void TStandInHost::WriteLog(const char* method, const QVariantList& args, const QString& outcomeKey,
                            const QVariant& outcome)
{
    if (!m_log.isOpen())
        return;
    QByteArray line = "{\"method\":" + JsonText(QString::fromLatin1(method)) +
                      ",\"args\":" + JsonText(QJsonArray::fromVariantList(args)) + ",\"" +
                      outcomeKey.toLatin1() + "\":" + JsonText(QJsonValue::fromVariant(outcome)) +
                      "}\n";
    m_log.write(line);
    // Tests read the log while the host runs.
    m_log.flush();
}

template <class T>
T TStandInHost::Answer(const char* method, const QVariantList& args,
                       const std::function<T()>& result)
{
    const QString name = QString::fromLatin1(method);
    emit CallReceived(name);
    if (m_options.StallMethods.contains(name)) {
        // No answer ever comes: the caller's timeout has to end the wait.
        setDelayedReply(true);
        WriteLog(method, args, QStringLiteral("stalled"), true);
        return T();
    }
    try {
        if (m_options.FailMethods.contains(name))
            throw TRefusal{QStringLiteral("skyglide-host: %1 fails as asked (--fail)").arg(name)};
        T value = result();
        WriteLog(method, args, QStringLiteral("result"), QVariant::fromValue(value));
        return value;
    } catch (const TRefusal& refusal) {
        sendErrorReply(ErrorName, refusal.Message);
        WriteLog(method, args, QStringLiteral("error"), refusal.Message);
        return T();
    }
}

void TStandInHost::CheckProcess(int processNumber) const
{
    if (processNumber != m_options.ProcessNumber)
        throw TRefusal{QStringLiteral("skyglide-host: no process %1 (this host runs process %2)")
                           .arg(processNumber)
                           .arg(m_options.ProcessNumber)};
}

int TStandInHost::GetHostNumber()
{
    return Answer<int>("GetHostNumber", {}, [] { return 1; });
}

QString TStandInHost::HostText13()
{
    // The folder of reference-system files.
    return Answer<QString>("HostText13", {}, [this] { return m_options.WorkingFolder; });
}

QString TStandInHost::HostText17()
{
    return Answer<QString>("HostText17", {}, [] { return QStringLiteral("Kartova"); });
}

int TStandInHost::ObtainProcessNumber()
{
    return Answer<int>("ObtainProcessNumber", {}, [this] { return m_options.ProcessNumber; });
}

int TStandInHost::AbandonProcess(int processNumber)
{
    return Answer<int>("AbandonProcess", {processNumber}, [&] {
        CheckProcess(processNumber);
        return 0;
    });
}

int TStandInHost::ReportProcessError(int processNumber, int code, const QString& textA,
                                     const QString& textB)
{
    return Answer<int>("ReportProcessError", {processNumber, code, textA, textB}, [&] {
        CheckProcess(processNumber);
        EndProgressLine();
        std::fprintf(stderr, "skyglide-host: process %d reports error %d: %s: %s\n", processNumber,
                     code, qPrintable(textA), qPrintable(textB));
        return 0;
    });
}

int TStandInHost::ReportProgress(int processNumber, double fraction)
{
    return Answer<int>("ReportProgress", {processNumber, fraction}, [&] {
        CheckProcess(processNumber);
        m_progress.Show(fraction);
        return 0;
    });
}

int TStandInHost::ClearProgress(int processNumber)
{
    return Answer<int>("ClearProgress", {processNumber}, [&] {
        CheckProcess(processNumber);
        m_progress.Restart();
        return 0;
    });
}

bool TStandInHost::ConfirmProcess(int processNumber)
{
    return Answer<bool>("ConfirmProcess", {processNumber}, [&] {
        CheckProcess(processNumber);
        return !m_options.RefuseConfirm;
    });
}

QString TStandInHost::GetProcessParameter(int processNumber, int index)
{
    return Answer<QString>("GetProcessParameter", {processNumber, index}, [&] {
        CheckProcess(processNumber);
        const QString parameters[] = {
            QStringLiteral("skyglide"), m_options.Surface,  m_options.Drape,
            m_options.Palette,          m_options.Detail,   m_options.Velocity,
            m_options.Exaggeration,     m_options.Maximized};
        if (index < 1 || index > 8)
            throw TRefusal{QStringLiteral("skyglide-host: process %1 has no parameter %2 "
                                          "(it has 1 to 8)")
                               .arg(processNumber)
                               .arg(index)};
        return parameters[index - 1];
    });
}

int TStandInHost::FinishProcess(int processNumber)
{
    return Answer<int>("FinishProcess", {processNumber}, [&] {
        CheckProcess(processNumber);
        EndProgressLine();
        return 0;
    });
}

QString TStandInHost::HostText37()
{
    // The host's own program folder.
    return Answer<QString>(
        "HostText37", {}, [] { return QCoreApplication::applicationDirPath() + QLatin1Char('/'); });
}

QString TStandInHost::GetProcessTextA(int processNumber)
{
    return Answer<QString>("GetProcessTextA", {processNumber}, [&] {
        CheckProcess(processNumber);
        return QString::fromLatin1(ProcessTextA);
    });
}

QString TStandInHost::GetProcessTextB(int processNumber)
{
    return Answer<QString>("GetProcessTextB", {processNumber}, [&] {
        CheckProcess(processNumber);
        return QString::fromLatin1(ProcessTextB);
    });
}

QString TStandInHost::GetProcessTextC(int processNumber)
{
    return Answer<QString>("GetProcessTextC", {processNumber}, [&] {
        CheckProcess(processNumber);
        return QString::fromLatin1(ProcessTextC);
    });
}

QString TStandInHost::GetProcessTextD(int processNumber)
{
    return Answer<QString>("GetProcessTextD", {processNumber}, [&] {
        CheckProcess(processNumber);
        return QString::fromLatin1(ProcessTextD);
    });
}

QString TStandInHost::HostText52()
{
    // The folder of palettes and symbols.
    return Answer<QString>("HostText52", {}, [this] { return m_options.PaletteFolder; });
}

QString TStandInHost::HostText54()
{
    // The folder of sounds, sensor bands and spectral curves.
    return Answer<QString>("HostText54", {}, [this] { return m_options.WorkingFolder; });
}

QString TStandInHost::GetWorkingFolder()
{
    return Answer<QString>("GetWorkingFolder", {}, [this] { return m_options.WorkingFolder; });
}

int TStandInHost::GetResourceFolderCount()
{
    return Answer<int>("GetResourceFolderCount", {},
                       [this] { return static_cast<int>(m_options.ResourceFolders.size()); });
}

QString TStandInHost::GetResourceFolder(int index)
{
    return Answer<QString>("GetResourceFolder", {index}, [&] {
        if (index < 1 || index > m_options.ResourceFolders.size())
            throw TRefusal{QStringLiteral("skyglide-host: no resource folder %1 (there are %2)")
                               .arg(index)
                               .arg(m_options.ResourceFolders.size())};
        return m_options.ResourceFolders.at(index - 1);
    });
}

bool TStandInHost::ConfirmNewProcess(int processNumber)
{
    return Answer<bool>("ConfirmNewProcess", {processNumber}, [&] {
        CheckProcess(processNumber);
        return !m_options.RefuseNew;
    });
}

QString TStandInHost::HostCode71()
{
    return Answer<QString>("HostCode71", {}, [] { return QStringLiteral("en"); });
}

QString TStandInHost::HostCode72()
{
    return Answer<QString>("HostCode72", {}, [] { return QStringLiteral("m"); });
}

QString TStandInHost::HostCode73()
{
    return Answer<QString>("HostCode73", {}, [] { return QStringLiteral("utf8"); });
}

QString TStandInHost::HostCode74()
{
    return Answer<QString>("HostCode74", {}, [] { return QStringLiteral("KRT"); });
}

QString TStandInHost::HostCode75()
{
    return Answer<QString>("HostCode75", {}, [] { return QStringLiteral("deg"); });
}

QString TStandInHost::HostCode76()
{
    return Answer<QString>("HostCode76", {}, [] { return QStringLiteral("1"); });
}

QString TStandInHost::ResolverText88(const QString& text)
{
    // The stand-in keeps no vector links: nothing to resolve to.
    return Answer<QString>("ResolverText88", {text}, [] { return QString(); });
}

QString TStandInHost::GetHostText()
{
    return Answer<QString>("GetHostText", {}, [this] { return m_options.HelpFile; });
}

void TStandInHost::EndProgressLine()
{
    m_progress.End();
}

} // namespace skyglide
