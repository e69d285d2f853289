// Loads a generated 8000 x 8000 integer raster (128 MB) the ways the viewer
// does, next to one plain read() of the same bytes, in MB/s of file bytes
// read. Each load also reports its peak memory above the level before it
// ("peak_MB") beside the budget of one bitmap plus one row buffer
// ("budget_MB").
#include "data/RasterFile.h"

#include <benchmark/benchmark.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Size = 8000;
constexpr std::size_t RowBytes = Size * 2;
constexpr std::size_t FileBytes = RowBytes * Size;

std::filesystem::path g_folder;
std::string g_raster;
std::string g_palette;

std::string docLine(const std::string& label, const std::string& value)
{
    std::string line = label;
    line.resize(14, ' ');
    return line + value + "\r\n";
}

void writeFile(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "skyglide_bench_data: cannot write %s\n", file.c_str());
        std::exit(1);
    }
}

/// Rolling hills from 0 to 4000 m, row by row, so the file never sits in
/// memory twice.
void makeRaster()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/skyglide-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "skyglide_bench_data: cannot make a temporary folder: %s\n",
                     std::strerror(errno));
        std::exit(1);
    }
    g_folder = pattern;
    g_raster = (g_folder / "bench.rst").string();
    g_palette = (g_folder / "ramp.smp").string();

    std::ofstream out(g_raster, std::ios::binary);
    std::vector<char> row(RowBytes);
    for (int r = 0; r < Size; ++r) {
        for (int c = 0; c < Size; ++c) {
            const double h = 2000.0 + 1000.0 * std::sin(c * 0.003) + 1000.0 * std::cos(r * 0.002);
            const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(h));
            row[2 * static_cast<std::size_t>(c)] = static_cast<char>(v & 0xFF);
            row[2 * static_cast<std::size_t>(c) + 1] = static_cast<char>(v >> 8);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    if (!out) {
        std::fprintf(stderr, "skyglide_bench_data: cannot write %s\n", g_raster.c_str());
        std::exit(1);
    }
    out.close();

    const std::vector<std::string> values = {"Kartova Raster A.1",
                                             "bench",
                                             "integer",
                                             "binary",
                                             std::to_string(Size),
                                             std::to_string(Size),
                                             "plane",
                                             "m",
                                             "1",
                                             "0",
                                             "8000",
                                             "0",
                                             "8000",
                                             "unknown",
                                             "1",
                                             "0",
                                             "4000",
                                             "0",
                                             "4000",
                                             "m",
                                             "unknown",
                                             "none",
                                             "none",
                                             "0"};
    std::string doc;
    for (const auto& value : values) {
        doc += docLine("label       :", value);
    }
    writeFile(g_folder / "bench.rdc", doc);

    std::string palette(18 + 768, '\0');
    palette[11] = 18;
    palette[12] = static_cast<char>(255);
    palette[16] = static_cast<char>(255);
    for (int i = 0; i < 256; ++i) {
        palette[18 + 3 * static_cast<std::size_t>(i)] = static_cast<char>(i);
        palette[19 + 3 * static_cast<std::size_t>(i)] = static_cast<char>(i);
        palette[20 + 3 * static_cast<std::size_t>(i)] = static_cast<char>(i);
    }
    writeFile(g_palette, palette);
}

long statusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, n, field) == 0) {
            return std::atol(line.c_str() + n + 1);
        }
    }
    return -1;
}

/// Measures the peak resident memory that `work` adds: the kernel's
/// high-water mark is reset first, so earlier benchmarks do not count.
template <typename F> double peakMegabytes(F&& work)
{
    // Memory freed by earlier runs would otherwise be reused unseen.
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKb("VmRSS:");
    work();
    const long peak = statusKb("VmHWM:");
    return static_cast<double>(peak - before) * 1024.0 / 1e6;
}

void BM_PlainRead(benchmark::State& state)
{
    for (auto _ : state) {
        const int fd = ::open(g_raster.c_str(), O_RDONLY);
        std::unique_ptr<char[]> bytes(new char[FileBytes]);
        std::size_t done = 0;
        while (done < FileBytes) {
            const ssize_t got = ::read(fd, bytes.get() + done, FileBytes - done);
            if (got <= 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        ::close(fd);
        benchmark::DoNotOptimize(bytes.get());
        if (done != FileBytes) {
            state.SkipWithError("short read");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FileBytes));
}

void load(bool image, std::uint16_t step)
{
    skyglide::TRasterFile raster;
    raster.SetStep(step);
    if (image) {
        raster.SetPalletFile(g_palette);
        raster.LoadImage(g_raster, true, 16);
    } else {
        raster.LoadSurface(g_raster);
    }
    benchmark::DoNotOptimize(raster.Bitmap().ScanLine(0));
    if (raster.Bitmap().Width() != Size / step) {
        std::fprintf(stderr, "skyglide_bench_data: load gave a %d wide bitmap\n",
                     raster.Bitmap().Width());
        std::exit(1);
    }
}

void loadBenchmark(benchmark::State& state, bool image)
{
    const auto step = static_cast<std::uint16_t>(state.range(0));
    for (auto _ : state) {
        load(image, step);
    }
    const std::size_t rows = static_cast<std::size_t>(Size / step);
    const std::size_t bitmapRow =
        (static_cast<std::size_t>(Size / step) * (image ? 1 : 2) + 3) & ~std::size_t{3};
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rows * RowBytes));
    state.counters["peak_MB"] = peakMegabytes([&] { load(image, step); });
    state.counters["budget_MB"] = static_cast<double>(bitmapRow * rows + RowBytes) / 1e6;
}

void BM_LoadSurface(benchmark::State& state)
{
    loadBenchmark(state, false);
}

void BM_LoadImagePalette(benchmark::State& state)
{
    loadBenchmark(state, true);
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadSurface)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadImagePalette)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    makeRaster();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
    return 0;
}
