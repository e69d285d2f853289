// AddMovieFrame() per compressor and viewer size.
//
//   skyglide_bench_movie [--benchmark_filter=...]
//
// Each frame is taken as the scene window takes it: a snapshot of the viewer
// (RGBA, bottom row first) drawn into the frame bitmap, then encoded and
// written. Counters: "tick" is the frame's share of the 60 ms path tick,
// "bytes/frame" the file's growth per frame. Movies go to $TMPDIR (or /tmp)
// and are deleted afterwards.

#include "TerrainPicture.h"
#include "movie/AVIRecorder.h"

#include "RunBenchmarks.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace skyglide;
namespace fs = std::filesystem;

namespace {

// A flight over terrain: a sky gradient above a textured, shaded ground that
// moves from frame to frame, so that encoders see the kind of picture and
// change they get from the viewer.
class FlightSource : public TAVIFrameSource
{
public:
    FlightSource(int width, int height) : m_width(width), m_height(height)
    {
        for (auto& frame : m_frames) {
            frame.resize(std::size_t(width) * height * 4);
            const int shift = int(&frame - m_frames) * 7;
            for (int row = 0; row < height; ++row) {
                const int y = height - 1 - row; // rows are stored bottom first
                for (int x = 0; x < width; ++x) {
                    std::uint8_t* p = frame.data() + (std::size_t(row) * width + x) * 4;
                    bench::terrainPixel(x, y, height, shift, p);
                    p[3] = 255;
                }
            }
        }
    }
    void SnapShot(TAVISnapshot& image) override
    {
        image.Width = m_width;
        image.Height = m_height;
        image.Pixels = m_frames[m_next++ % 8];
    }
    void RenderToBitmap(TBitmap&, int) override {}
    void CopyFrameBuffer(TBitmap&) override {}

private:
    int m_width, m_height;
    std::vector<std::uint8_t> m_frames[8];
    unsigned m_next = 0;
};

void addMovieFrame(benchmark::State& state, TAVICompressor compressor, int width, int height)
{
    const char* tmp = std::getenv("TMPDIR");
    const fs::path file =
        fs::path(tmp ? tmp : "/tmp") / ("skyglide-bench-" + std::to_string(::getpid()) + ".avi");
    FlightSource source(width, height);
    TAVIRecorder recorder;
    recorder.SetFPS(15);
    recorder.SetSizeRestriction(TAVISizeRestriction::srNoRestriction);
    recorder.SetWidth(width);
    recorder.SetHeight(height);
    recorder.SetImageRetrievalMode(TAVIImageRetrievalMode::irmSnapShot);
    recorder.SetSceneViewer(&source);
    recorder.SetCompressor(compressor);
    recorder.SetFilename(file.string());
    recorder.OnConfirmOverwrite = [](const std::string&) { return true; };
    if (!recorder.OpenMovieFile()) {
        state.SkipWithError("movie not opened");
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        recorder.AddMovieFrame();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto frames = double(state.iterations());
    recorder.CloseMovieFile();
    state.counters["tick"] = seconds / frames / 0.060;
    state.counters["bytes/frame"] = double(fs::file_size(file)) / frames;
    fs::remove(file);
}

} // namespace

int main(int argc, char** argv)
{
    struct Compressor
    {
        const char* name;
        TAVICompressor value;
    };
    const Compressor compressors[] = {{"Video1", TAVICompressor::acDefault},
                                      {"DivX", TAVICompressor::acDivX},
                                      {"Uncompressed", TAVICompressor::acShowDialog}};
    const std::pair<int, int> sizes[] = {{827, 530}, {1920, 1080}};
    for (const Compressor& c : compressors)
        for (const auto& [w, h] : sizes)
            benchmark::RegisterBenchmark(
                ("AddMovieFrame/" + std::string(c.name) + "/" + std::to_string(w) + "x" +
                 std::to_string(h))
                    .c_str(),
                [c, w = w, h = h](benchmark::State& state) { addMovieFrame(state, c.value, w, h); })
                ->Unit(benchmark::kMillisecond)
                ->MinTime(1.0);
    return RunBenchmarks(argc, argv);
}
