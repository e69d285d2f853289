// One path tick of Save as AVI in the scene window on the machine's GL
// (llvmpipe under Xvfb): the next line applied to the rig (PlaybackStep), a
// frame rendered for it and read back, and the frame encoded and written
// (AddMovieFrame), over the sample terrain at detail 1 with the view at
// 827 × 530, next to the 60 ms the tick comes every.
//
// - BM_SaveAVITick: the tick alone (Timer2Timer).
// - BM_SaveAVITickShown: the tick and the window's next paint, which shows
//   the frame the tick rendered.
//
// Counters: "tick" the share of the 60 ms tick, and the milliseconds of each
// part of the tick measured on their own.
//
// Run: tests/harness/with-display <build>/bin/skyglide_bench_save_avi
// with LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe QT_QPA_PLATFORM=xcb.

#include "app/FlightPath.h"
#include "app/SceneData.h"
#include "app/SceneForm.h"
#include "app/SceneLoader.h"
#include "app/SkyGlideApplication.h"
#include "host/HostLink.h"
#include "paths/PathFile.h"
#include "render/SceneViewer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include "RunBenchmarks.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>

using namespace skyglide;

namespace {

constexpr int ViewWidth = 827;
constexpr int ViewHeight = 530;
constexpr double TickSeconds = 0.060;

void Settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The scene window on Trinidad at detail 1 (step 2, a mesh vertex every 20
// cells), loaded as the start-up load does, without a host.
class TWindow
{
public:
    TWindow()
    {
        const std::string surface = SKYGLIDE_SAMPLES_DIR "/trinidad.rst";
        m_data.SurfaceRaster = std::make_unique<TRasterFile>();
        m_data.DrapeRaster = std::make_unique<TRasterFile>();
        TRasterFile& heights = *m_data.SurfaceRaster;
        TRasterFile& drape = *m_data.DrapeRaster;
        heights.SetFileName(surface);
        drape.SetFileName(surface);
        drape.SetPalletFile(SKYGLIDE_SAMPLES_DIR "/palettes/elevation.smp");
        const std::uint16_t step = DecimationStep(1, heights.Doc().Columns, heights.Doc().Rows);
        heights.SetStep(step);
        drape.SetStep(step);
        m_data.MeshSamplingFactor = ResolutionBoxFor(1).MeshSamplingFactor;
        drape.LoadImage(surface, true, 16);
        heights.LoadSurface(surface);
        Form = std::make_unique<TSceneFrm>(m_data, m_host, nullptr);
        Form->Navigation().SetDefaultVelocity(100);
        Form->Navigation().ChangeVelocity(TVelocityChange::vcRestore);
        Form->show();
        const QSize view(ViewWidth, ViewHeight);
        Form->resize(view + Form->size() - Form->SceneViewer1().size());
        Settle(1000);
        Form->Action(TSceneCommand::actSky).trigger();
        // The benchmark runs the ticks itself.
        Form->Flight().Timer2().stop();
        Settle(200);
    }
    ~TWindow()
    {
        Form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A level flight northwards over the surface, 15 units a line, held as
    // the loaded path with the cursor at its start.
    void LoadFlight(int lines)
    {
        TPathFile& path = Form->Flight().PathFile();
        path.Clear();
        const double tilt = 8 * std::numbers::pi / 180;
        TPose pose{{-600, 95, 0}, {0, 0, 1}, {0, float(std::sin(tilt)), float(1 - std::cos(tilt))}};
        for (int i = 0; i < lines; ++i) {
            pose.ObserverPosition[2] = float(40 + 550.0 * i / lines);
            path.Add(formatPoseLine(i, pose));
        }
        path.Rewind();
    }

    bool OpenMovie(const std::string& file)
    {
        TAVIRecorder& recorder = Form->Flight().AVIRecorder1();
        recorder.SetFilename(file);
        recorder.OnConfirmOverwrite = [](const std::string&) { return true; };
        if (!recorder.OpenMovieFile(0))
            return false;
        Form->Flight().SetPathState(TPathState::psSavingMovie);
        return true;
    }

    std::unique_ptr<TSceneFrm> Form;

private:
    THostLink m_host; // none: the window runs without a host
    TSceneData m_data;
};

std::unique_ptr<TWindow> g_window;

TWindow& Window()
{
    if (!g_window)
        g_window = std::make_unique<TWindow>();
    return *g_window;
}

std::string MovieFile()
{
    return (QDir::tempPath() +
            QStringLiteral("/skyglide-bench-tick-%1.avi").arg(QCoreApplication::applicationPid()))
        .toStdString();
}

double Milliseconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

void SaveAVITick(benchmark::State& state, bool shown)
{
    TWindow& window = Window();
    TFlightController& flight = window.Form->Flight();
    TSceneViewer& viewer = window.Form->SceneViewer1();
    if (viewer.size() != QSize(ViewWidth, ViewHeight)) {
        state.SkipWithError("the viewer did not take the size 827 x 530");
        return;
    }
    const int lines = 400;
    window.LoadFlight(lines);
    const std::string movie = MovieFile();
    if (!window.OpenMovie(movie)) {
        state.SkipWithError("the movie did not open");
        return;
    }
    using TClock = std::chrono::steady_clock;
    TClock::duration ticks{};
    const auto& statistics = viewer.Buffer().Statistics();
    const auto rendered = statistics.FramesRendered;
    for (auto _ : state) {
        if (flight.PathFile().CurrentLine() >= lines - 1) {
            state.PauseTiming();
            flight.PathFile().Rewind();
            state.ResumeTiming();
        }
        const auto begin = TClock::now();
        flight.Timer2Timer();
        if (shown)
            QCoreApplication::processEvents();
        ticks += TClock::now() - begin;
    }
    const std::int32_t frames = flight.AVIRecorder1().FrameIndex();
    const double renders =
        double(statistics.FramesRendered - rendered) / double(state.iterations());
    if (flight.AVIRecorder1().Writing())
        flight.AVIRecorder1().CloseMovieFile(false);
    flight.SetPathState(TPathState::psStopped);

    // The two halves of the tick, each timed on its own: the line applied
    // (with the progress bar), and the frame rendered, read back, encoded
    // and written.
    double step = 0, frame = 0;
    const int parts = 20;
    window.OpenMovie(movie);
    flight.PathFile().Rewind();
    for (int i = 0; i < parts; ++i) {
        const auto t0 = TClock::now();
        flight.PlaybackStep();
        const auto t1 = TClock::now();
        flight.AVIRecorder1().AddMovieFrame();
        const auto t2 = TClock::now();
        step += Milliseconds(t1 - t0);
        frame += Milliseconds(t2 - t1);
    }
    flight.AVIRecorder1().CloseMovieFile(true);
    flight.SetPathState(TPathState::psStopped);
    QFile::remove(QString::fromStdString(movie));

    const double seconds = std::chrono::duration<double>(ticks).count();
    state.counters["tick"] = seconds / double(state.iterations()) / TickSeconds;
    state.counters["frames"] = frames;
    state.counters["renders/tick"] = renders;
    state.counters["step_ms"] = step / parts;
    state.counters["frame_ms"] = frame / parts;
}

void BM_SaveAVITick(benchmark::State& state)
{
    SaveAVITick(state, false);
}
BENCHMARK(BM_SaveAVITick)->Unit(benchmark::kMillisecond)->MinTime(5.0);

void BM_SaveAVITickShown(benchmark::State& state)
{
    SaveAVITick(state, true);
}
BENCHMARK(BM_SaveAVITickShown)->Unit(benchmark::kMillisecond)->MinTime(5.0);

} // namespace

int main(int argc, char** argv)
{
    TSceneViewer::SetDefaultSurfaceFormat();
    TSkyGlideApplication application(argc, argv);
    const int status = RunBenchmarks(argc, argv);
    g_window.reset();
    return status;
}
