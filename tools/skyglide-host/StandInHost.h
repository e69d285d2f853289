#pragma once

#include "HostOptions.h"

#include "import/Terminal.h"

#include <QDBusContext>
#include <QFile>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <functional>

namespace skyglide {

// The host's automation server as the stand-in plays it: one process with
// the options' parameters, texts and folders. The generated adaptor calls
// these members, one per method of org.kartova.APIServer.
class TStandInHost : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    // The texts the host holds for its process.
    static constexpr const char* ProcessTextA = "Sky Glide";
    static constexpr const char* ProcessTextB = "skyglide";
    static constexpr const char* ProcessTextC = "3-D terrain fly-through";
    static constexpr const char* ProcessTextD = "skyglide-host";

    explicit TStandInHost(const THostOptions& options, QObject* parent = nullptr);

    // Opens the call log, if one was asked for; false (with a message) when
    // it cannot be written.
    bool OpenLog();

    int GetHostNumber();
    QString HostText13();
    QString HostText17();
    int ObtainProcessNumber();
    int AbandonProcess(int processNumber);
    int ReportProcessError(int processNumber, int code, const QString& textA, const QString& textB);
    int ReportProgress(int processNumber, double fraction);
    int ClearProgress(int processNumber);
    bool ConfirmProcess(int processNumber);
    QString GetProcessParameter(int processNumber, int index);
    int FinishProcess(int processNumber);
    QString HostText37();
    QString GetProcessTextA(int processNumber);
    QString GetProcessTextB(int processNumber);
    QString GetProcessTextC(int processNumber);
    QString GetProcessTextD(int processNumber);
    QString HostText52();
    QString HostText54();
    QString GetWorkingFolder();
    int GetResourceFolderCount();
    QString GetResourceFolder(int index);
    bool ConfirmNewProcess(int processNumber);
    QString HostCode71();
    QString HostCode72();
    QString HostCode73();
    QString HostCode74();
    QString HostCode75();
    QString HostCode76();
    QString ResolverText88(const QString& text);
    QString GetHostText();

    // Ends a progress bar that is still drawn, so that the terminal's next
    // line starts clean.
    void EndProgressLine();

signals:
    // A call has come in (answered, failed or stalled).
    void CallReceived(const QString& method);

private:
    // A refusal that the host answers with a D-Bus error.
    struct TRefusal
    {
        QString Message;
    };

    template <class T>
    T Answer(const char* method, const QVariantList& args, const std::function<T()>& result);
    void CheckProcess(int processNumber) const;
    void WriteLog(const char* method, const QVariantList& args, const QString& outcomeKey,
                  const QVariant& outcome);

    THostOptions m_options;
    QFile m_log;
    TProgressBar m_progress{"Loading", true};
};

} // namespace skyglide
