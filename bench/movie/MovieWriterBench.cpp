// Encoding rendered frames into a movie file, without the render.
//
//   skyglide_bench_movie_writer [--benchmark_filter=...]
//
// The frames pan across a terrain-like picture, 4 pixels a frame, as a
// renderer's read-back would hand them over (RGBA, bottom row first). Each
// run writes a movie of as many frames as the benchmark takes and completes
// it; the time includes draining the encoder and completing the file.
// Counters: "frames/s"; "x30fps" the movie's own duration over the time it
// took at 30 frames a second (above 1: faster than it plays); "MB/frame" the
// file's size per frame; "peak MB" the resident memory the writer added at
// its highest. Movies go to $TMPDIR (or /tmp) and are deleted afterwards.

#include "TerrainPicture.h"
#include "movie/MovieWriter.h"

#include "RunBenchmarks.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace skyglide;
namespace fs = std::filesystem;

namespace {

constexpr int kPan = 4;         // pixels per frame
constexpr int kPanFrames = 128; // frames before the pan starts again

// One wide picture, bottom row first; frame k is the window kPan × k pixels
// from its left edge.
class Panorama
{
public:
    Panorama(int width, int height)
        : m_width(width), m_height(height), m_wide(width + kPan * kPanFrames)
    {
        m_pixels.resize(std::size_t(m_wide) * height * 4);
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < m_wide; ++x) {
                std::uint8_t* p = m_pixels.data() + (std::size_t(row) * m_wide + x) * 4;
                bench::terrainPixel(x, height - 1 - row, height, 0, p);
                p[3] = 255;
            }
    }
    TRGBFrame frame(std::int64_t index) const
    {
        const std::size_t left = std::size_t(index % kPanFrames) * kPan * 4;
        return {m_width, m_height, m_pixels.data() + left, 4, std::ptrdiff_t(m_wide) * 4, true};
    }

private:
    int m_width, m_height, m_wide;
    std::vector<std::uint8_t> m_pixels;
};

long statusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0)
            return std::atol(line.c_str() + n + 1);
    return -1;
}

void writeMovie(benchmark::State& state, TMovieFormat format, int width, int height)
{
    const char* tmp = std::getenv("TMPDIR");
    const fs::path file =
        fs::path(tmp ? tmp : "/tmp") /
        ("skyglide-bench-" + std::to_string(::getpid()) + "." + movieFormatName(format));
    // 827 x 530 becomes 826 x 530 for H.264.
    const TMovieSettings settings = CheckMovieSettings({file.string(), format, width, height, 30});
    const Panorama panorama(settings.Width, settings.Height);
    // The kernel's high-water mark, reset, shows what the writer adds.
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKb("VmRSS:");

    const auto start = std::chrono::steady_clock::now();
    std::int64_t frames = 0;
    {
        TMovieWriter writer(settings);
        for (auto _ : state)
            writer.Write(panorama.frame(frames++));
        writer.Finish();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["frames/s"] = double(frames) / seconds;
    state.counters["x30fps"] = double(frames) / 30 / seconds;
    state.counters["peak MB"] = double(statusKb("VmHWM:") - before) * 1024 / 1e6;
    std::uintmax_t bytes = 0; // a file, or a folder of pictures
    if (fs::is_directory(file))
        for (const auto& picture : fs::directory_iterator(file))
            bytes += picture.file_size();
    else
        bytes = fs::file_size(file);
    state.counters["MB/frame"] = double(bytes) / 1e6 / double(frames);
    fs::remove_all(file);
}

} // namespace

int main(int argc, char** argv)
{
    struct Run
    {
        TMovieFormat format;
        int width, height;
    };
    const Run runs[] = {
        {TMovieFormat::mfMP4, 827, 530},       {TMovieFormat::mfMP4, 1920, 1080},
        {TMovieFormat::mfMP4, 3840, 2160},     {TMovieFormat::mfPNG, 1920, 1080},
        {TMovieFormat::mfAVIDivX, 1920, 1080}, {TMovieFormat::mfAVIRaw, 1920, 1080}};
    for (const Run& r : runs)
        benchmark::RegisterBenchmark(
            ("WriteMovie/" + std::string(movieFormatName(r.format)) + "/" +
             std::to_string(r.width) + "x" + std::to_string(r.height))
                .c_str(),
            [r](benchmark::State& state) { writeMovie(state, r.format, r.width, r.height); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(r.width > 2000 ? 60 : 150);
    return RunBenchmarks(argc, argv);
}
