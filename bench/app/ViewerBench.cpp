// The viewer's start and its frames on the machine's GL (llvmpipe under
// Xvfb), through the stand-in host on the session bus:
//
// - from the start of the process skyglide to its first rendered frame, for
//   the sample terrain at detail levels 1, 2, 3 and other (0), and for a
//   generated 8000 × 8000 surface at detail 3 and 0; the phases of the
//   viewer's timing log (SKYGLIDE_TIMINGS=1) become counters in
//   milliseconds, with the peak resident memory in MiB at the first frame;
// - frames per second while the observer flies forward over the sample
//   terrain with the view at 827 × 530, at each detail level, and at detail
//   1 with Full Detail on as well as off, in the same run.
//
// Run: tests/harness/with-display <build>/bin/skyglide_bench_viewer
// with LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe QT_QPA_PLATFORM=xcb.

#include "app/SceneData.h"
#include "app/SceneForm.h"
#include "app/SceneLoader.h"
#include "app/SkyGlideApplication.h"
#include "app/ViewerSettings.h"
#include "host/MsgHandler.h"
#include "hostlink/HostLinkNames.h"
#include "render/DummyCube.h"
#include "render/SceneViewer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "RunBenchmarks.h"

#include <benchmark/benchmark.h>

using namespace skyglide;

namespace {

const QString Programs = QStringLiteral(SKYGLIDE_PROGRAMS_DIR);
const QString Trinidad = QStringLiteral(SKYGLIDE_SAMPLES_DIR "/trinidad.rst");

void Settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool WaitForBusName(const QString& name, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        Settle(5);
    }
    return true;
}

// The generated surface: 8000 × 8000 integer cells of rolling hills, written
// once into the temporary folder.
QString GeneratedSurface()
{
    const int cells = 8000;
    const QString base = QDir::tempPath() + QStringLiteral("/skyglide-bench-8000");
    const QString image = base + QStringLiteral(".rst");
    if (QFileInfo(image).size() == qint64(cells) * cells * 2)
        return image;
    QFile doc(base + QStringLiteral(".rdc"));
    if (!doc.open(QIODevice::WriteOnly))
        return {};
    const std::pair<const char*, std::string> lines[] = {{"file format", "Kartova Raster A.1"},
                                                         {"file title", "generated hills"},
                                                         {"data type", "integer"},
                                                         {"file type", "binary"},
                                                         {"columns", std::to_string(cells)},
                                                         {"rows", std::to_string(cells)},
                                                         {"ref. system", "plane"},
                                                         {"ref. units", "m"},
                                                         {"unit dist.", "1"},
                                                         {"min. X", "0"},
                                                         {"max. X", std::to_string(cells)},
                                                         {"min. Y", "0"},
                                                         {"max. Y", std::to_string(cells)},
                                                         {"pos'n error", "unknown"},
                                                         {"resolution", "1"},
                                                         {"min. value", "0"},
                                                         {"max. value", "3000"},
                                                         {"display min", "0"},
                                                         {"display max", "3000"},
                                                         {"value units", "m"},
                                                         {"value error", "unknown"},
                                                         {"flag value", "none"},
                                                         {"flag def'n", "none"},
                                                         {"legend cats", "0"}};
    for (const auto& [label, value] : lines) {
        std::string line = label;
        line.resize(12, ' ');
        line += ": " + value + "\r\n";
        doc.write(line.data(), qint64(line.size()));
    }
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    std::vector<std::int16_t> row(cells);
    for (int r = 0; r < cells; ++r) {
        for (int c = 0; c < cells; ++c)
            row[std::size_t(c)] =
                std::int16_t(1500 + 700 * std::sin(c / 300.0) * std::cos(r / 270.0) +
                             300 * std::sin((c + r) / 90.0));
        file.write(reinterpret_cast<const char*>(row.data()), qint64(row.size() * 2));
    }
    return image;
}

// skyglide-host serving one process on the session bus for viewers started
// by hand.
class THost
{
public:
    THost(const QString& surface, int detail)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(Programs + QStringLiteral("/skyglide-host"),
                        {QStringLiteral("--no-viewer"), QStringLiteral("--palette"),
                         QStringLiteral("elevation"), QStringLiteral("--detail"),
                         QString::number(detail), surface});
        Ready =
            m_process.waitForStarted() && WaitForBusName(QStringLiteral("org.kartova.APIServer"));
    }
    ~THost()
    {
        ::kill(pid_t(m_process.processId()), SIGINT);
        if (!m_process.waitForFinished(10000))
            m_process.kill();
    }
    bool Ready = false;

private:
    QProcess m_process;
};

void SendShutdownRequest()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(MessageWindowBusName), QString::fromLatin1(MessageWindowObjectPath),
        QString::fromLatin1(MessageWindowInterfaceName), QString::fromLatin1(SendMessageMethod));
    call << uint(ShutdownMessage) << qulonglong(ShutdownWParam) << qlonglong(ShutdownLParam);
    QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
}

double PeakResidentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression peak(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    return peak.match(QString::fromLatin1(status.readAll())).captured(1).toDouble() / 1024.0;
}

void StartToFirstFrame(benchmark::State& state, const QString& surface)
{
    const int detail = int(state.range(0));
    if (surface.isEmpty())
        return state.SkipWithError("the generated surface cannot be written");
    THost host(surface, detail);
    if (!host.Ready)
        return state.SkipWithError("skyglide-host did not start");
    const QRegularExpression phaseLine(QStringLiteral("skyglide: timing: (.+) ([0-9.]+) ms"));
    std::map<std::string, double> phases;
    double peak = 0;
    for (auto _ : state) {
        QProcess viewer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("SKYGLIDE_TIMINGS"), QStringLiteral("1"));
        viewer.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        viewer.start(Programs + QStringLiteral("/skyglide"), {QStringLiteral("krt1")});
        QString log;
        while (!log.contains(QStringLiteral("timing: total")) && clock.elapsed() < 120000 &&
               viewer.state() != QProcess::NotRunning) {
            viewer.waitForReadyRead(5);
            log += QString::fromLocal8Bit(viewer.readAllStandardError());
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) * 1e-9);
        peak = std::max(peak, PeakResidentMiB(viewer.processId()));
        for (const QString& line : log.split(QLatin1Char('\n'))) {
            QRegularExpressionMatch match = phaseLine.match(line);
            if (match.hasMatch())
                phases
                    [match.captured(1).replace(QLatin1Char(' '), QLatin1Char('_')).toStdString()] +=
                    match.captured(2).toDouble();
        }
        if (!log.contains(QStringLiteral("timing: total"))) {
            state.SkipWithError(qPrintable(QStringLiteral("no first frame: ") + log));
            viewer.kill();
            viewer.waitForFinished();
            break;
        }
        WaitForBusName(QString::fromLatin1(MessageWindowBusName));
        SendShutdownRequest();
        if (!viewer.waitForFinished(30000))
            viewer.kill();
    }
    // Milliseconds of each phase per start; the peak resident memory of
    // the starts.
    for (const auto& [phase, milliseconds] : phases)
        state.counters[phase] =
            benchmark::Counter(milliseconds, benchmark::Counter::kAvgIterations);
    state.counters["peak_MiB"] = peak;
}

void BM_StartToFirstFrame_Trinidad(benchmark::State& state)
{
    StartToFirstFrame(state, Trinidad);
}
BENCHMARK(BM_StartToFirstFrame_Trinidad)
    ->ArgName("detail")
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_StartToFirstFrame_Generated8000(benchmark::State& state)
{
    StartToFirstFrame(state, GeneratedSurface());
}
BENCHMARK(BM_StartToFirstFrame_Generated8000)
    ->ArgName("detail")
    ->Arg(3)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Frames while the observer flies forward at its velocity, the view at
// 827 × 530, Full Detail as range(1) says; one iteration is two seconds of
// flight.
void BM_FlyingTrinidad(benchmark::State& state)
{
    qputenv("SKYGLIDE_FULL_DETAIL", state.range(1) ? "1" : "0");
    // Every run starts where the viewer starts, not where the last one ended
    // (the window remembers its pose and options).
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(SettingsOrganisation),
              QString::fromLatin1(SettingsApplication))
        .clear();
    THost host(Trinidad, int(state.range(0)));
    if (!host.Ready)
        return state.SkipWithError("skyglide-host did not start");
    TSceneLoader loader;
    auto window = std::make_unique<Tmsghndlr>(
        loader.Host(), [&loader](Tmsghndlr& w) { loader.LoadScene(w, {std::string("krt1")}); });
    TSceneFrm* form = loader.SceneForm();
    if (!form)
        return state.SkipWithError("no scene window");
    TSceneViewer& viewer = form->SceneViewer1();
    form->resize(form->size() - viewer.size() + QSize(827, 530));
    Settle(500);
    TDummyCube& observer = *form->Scene().Observer;
    const TCadencerProgressEvent handler = form->Cadencer1().OnProgress;
    form->Cadencer1().OnProgress = [&, handler](TCadencer& sender, double dt, double time) {
        handler(sender, dt, time);
        observer.Move(float(form->Navigation().Velocity() * dt));
        // The viewer draws only while something moves it: each step of the
        // flight asks for the next, as a held key keeps it drawing.
        sender.RequestFrame();
    };
    form->Cadencer1().RequestFrame();
    // The first frames compile the renderer's shaders and upload the drape:
    // flown, not counted.
    Settle(1500);
    const TRenderStatistics& statistics = viewer.Buffer().Statistics();
    double frames = 0;
    double seconds = 0;
    for (auto _ : state) {
        const long long before = statistics.FramesRendered;
        QElapsedTimer clock;
        clock.start();
        Settle(2000);
        const double elapsed = double(clock.nsecsElapsed()) * 1e-9;
        const double drawn = double(statistics.FramesRendered - before);
        state.SetIterationTime(elapsed / std::max(drawn, 1.0));
        frames += drawn;
        seconds += elapsed;
    }
    state.counters["frames_per_second"] = frames / seconds;
    state.counters["view_width"] = viewer.width();
    state.counters["view_height"] = viewer.height();
    form->Cadencer1().OnProgress = handler;
    form->close();
    window.reset();
}
BENCHMARK(BM_FlyingTrinidad)
    ->ArgNames({"detail", "full_detail"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({3, 0})
    ->Args({0, 0})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    TSceneViewer::SetDefaultSurfaceFormat();
    TSkyGlideApplication application(argc, argv);
    return RunBenchmarks(argc, argv);
}
