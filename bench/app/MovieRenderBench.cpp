// A movie of the sample flight rendered off-screen as skyglide-movie renders
// it, over the Trinidad sample at detail 1 with the elevation palette and
// the sky, on the machine's GL (llvmpipe under Xvfb):
//
// - BM_RenderFrame/W/H: a frame rendered and read back, nothing encoded.
// - BM_RenderMovie/W/H: frames rendered, read back and encoded into an MP4
//   (CRF 18, 30 frames/s) by the movie render loop, as the tool does.
//
// Counters: "frames/s"; "x_duration", the render's time over the movie's own
// duration at 30 frames/s; "peak_MiB", the process's peak memory above what
// it held with the terrain loaded (meaningful for the first benchmark run,
// so run one size at a time for it: --benchmark_filter=Movie/3840).
// Encoding alone is skyglide_bench_movie_writer.
//
// Run: tests/harness/with-display <build>/bin/skyglide_bench_movie_render
// with LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe QT_QPA_PLATFORM=xcb.

#include "app/MovieFrameRenderer.h"
#include "app/SceneLoader.h"
#include "data/RasterFile.h"
#include "movie/MovieRender.h"
#include "paths/PathFile.h"
#include "render/SceneViewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include "RunBenchmarks.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>

using namespace skyglide;

namespace {

constexpr int FPS = 30;

// The process's peak resident memory so far, in MiB (VmHWM).
double PeakMiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            double kB = 0;
            status >> kB;
            return kB / 1024;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

// The sample loaded as skyglide-movie loads it with --palette elevation.
struct TTerrain
{
    TTerrain()
    {
        const std::string surface = SKYGLIDE_SAMPLES_DIR "/trinidad.rst";
        Heights.SetFileName(surface);
        TRasterFile drape;
        drape.SetFileName(surface);
        drape.SetPalletFile(SKYGLIDE_SAMPLES_DIR "/palettes/elevation.smp");
        const std::uint16_t step = DecimationStep(1, Heights.Doc().Columns, Heights.Doc().Rows);
        Heights.SetStep(step);
        drape.SetStep(step);
        drape.LoadImage(surface, true, 16);
        Heights.LoadSurface(surface);
        Scene.Surface = &Heights;
        Scene.Picture = std::make_shared<const TBitmap>(std::move(drape.Bitmap()));
        Scene.MeshSamplingFactor = ResolutionBoxFor(1).MeshSamplingFactor;
        Scene.Sky = true;
        TPathFile path;
        path.LoadFromFile(SKYGLIDE_SAMPLES_DIR "/trinidad-flight.csv");
        Poses = RecordedPoses(path);
        Loaded = PeakMiB();
    }
    TRasterFile Heights;
    TMovieScene Scene;
    std::vector<TPose> Poses;
    double Loaded = 0;
};

TTerrain& Terrain()
{
    static TTerrain terrain;
    return terrain;
}

void BM_RenderFrame(benchmark::State& state)
{
    TTerrain& terrain = Terrain();
    TMovieFrameRenderer frames(terrain.Scene,
                               TPathResampler(terrain.Poses, TPathSmoothing::smSpline, FPS),
                               int(state.range(0)), int(state.range(1)));
    int index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(frames.RenderFrame(index).Pixels);
        index = (index + 1) % frames.FrameCount();
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["peak_MiB"] = PeakMiB() - terrain.Loaded;
}
BENCHMARK(BM_RenderFrame)
    ->Args({827, 530})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// The first `count` frames of the movie (the whole path is 445).
void BM_RenderMovie(benchmark::State& state)
{
    TTerrain& terrain = Terrain();
    const int count = 90;
    TMovieSettings settings;
    settings.FileName = QDir::tempPath().toStdString() + "/skyglide-bench-movie.mp4";
    settings.Width = int(state.range(0));
    settings.Height = int(state.range(1));
    settings.FPS = FPS;
    settings = CheckMovieSettings(settings);
    std::vector<TPose> poses(terrain.Poses.begin(),
                             terrain.Poses.begin() + std::lround(count / (FPS * 0.060)));
    for (auto _ : state) {
        TMovieFrameRenderer frames(terrain.Scene,
                                   TPathResampler(poses, TPathSmoothing::smSpline, FPS),
                                   settings.Width, settings.Height);
        TMovieRender render;
        if (render.Render(frames, settings) != TMovieRenderResult::mrFinished)
            state.SkipWithError("the render stopped");
        state.counters["frames"] = frames.FrameCount();
    }
    const double frames = state.counters["frames"] * double(state.iterations());
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    // The render's seconds over the movie's seconds.
    state.counters["x_duration"] = benchmark::Counter(
        frames / FPS, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["peak_MiB"] = PeakMiB() - terrain.Loaded;
    QFile::remove(QString::fromStdString(settings.FileName));
}
BENCHMARK(BM_RenderMovie)
    ->Args({827, 530})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    TSceneViewer::SetDefaultSurfaceFormat();
    QApplication application(argc, argv);
    return RunBenchmarks(argc, argv);
}
