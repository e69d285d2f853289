// Import of a 16384 x 16384 integer GeoTIFF (DEFLATE, 256 x 256 tiles) by
// skyglide-raster, next to gdal_translate -of ENVI of the same file in the
// same run: MB/s of cells written, wall time and the peak resident memory of
// each program ("peak_MiB"). Both run as child processes, so each peak is its
// own. "baseline_MiB" is the peak of an import of a 256 x 256 raster: what
// the program holds whatever the size, so peak - baseline is what streaming
// by blocks costs. The summary line gives the ratio of the two times.
//
// Run: <build>/bin/skyglide_bench_import. The GeoTIFF (about 100 MB) is made
// once into $TMPDIR/skyglide-bench-import/ and kept for later runs.
#include <benchmark/benchmark.h>

#include <gdal_priv.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int Size = 16384;
constexpr double CellBytes = 2.0 * Size * Size;

std::filesystem::path g_folder;
double g_importSeconds = 0.0;
double g_translateSeconds = 0.0;

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "skyglide_bench_import: %s\n", message.c_str());
    std::exit(1);
}

/// Rolling hills from 0 to 4000 m with a little roughness, so that the
/// tiles compress about as real terrain does.
void makeGeoTiff(const std::string& file, int size)
{
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    char** options = nullptr;
    options = CSLSetNameValue(options, "TILED", "YES");
    options = CSLSetNameValue(options, "COMPRESS", "DEFLATE");
    options = CSLSetNameValue(options, "BIGTIFF", "IF_SAFER");
    const std::string part = file + ".part";
    GDALDataset* dataset = driver->Create(part.c_str(), size, size, 1, GDT_Int16, options);
    CSLDestroy(options);
    if (dataset == nullptr) {
        fail("cannot create " + part + ": " + CPLGetLastErrorMsg());
    }
    const double geo[6] = {500000.0, 10.0, 0.0, 4000000.0, 0.0, -10.0};
    dataset->SetGeoTransform(const_cast<double*>(geo));
    std::vector<std::int16_t> rows(static_cast<std::size_t>(size) * 256);
    for (int top = 0; top < size; top += 256) {
        const int count = std::min(256, size - top);
        for (int r = 0; r < count; ++r) {
            for (int c = 0; c < size; ++c) {
                const double y = top + r;
                const double h = 2000.0 + 1000.0 * std::sin(c * 0.003) +
                                 1000.0 * std::cos(y * 0.002) + 5.0 * std::sin(c * 0.7 + y * 1.3);
                rows[static_cast<std::size_t>(r) * size + static_cast<std::size_t>(c)] =
                    static_cast<std::int16_t>(h);
            }
        }
        if (dataset->GetRasterBand(1)->RasterIO(GF_Write, 0, top, size, count, rows.data(), size,
                                                count, GDT_Int16, 0, 0) != CE_None) {
            fail("cannot write " + part + ": " + CPLGetLastErrorMsg());
        }
    }
    GDALClose(dataset);
    std::filesystem::rename(part, file);
}

struct TChild
{
    double Seconds = 0.0;
    double PeakMiB = 0.0;
};

/// Runs a program to its end; its wall time and peak resident memory.
TChild run(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const auto& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        fail("cannot start " + command[0]);
    }
    int status = 0;
    struct rusage usage = {};
    ::wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fail(command[0] + " failed");
    }
    return {std::chrono::duration<double>(end - start).count(),
            static_cast<double>(usage.ru_maxrss) / 1024.0};
}

std::string tool()
{
    return std::string(SKYGLIDE_BIN_DIR) + "/skyglide-raster";
}

void report(benchmark::State& state, const TChild& child)
{
    state.SetIterationTime(child.Seconds);
    state.counters["MB_per_s"] = CellBytes / 1e6 / child.Seconds;
    state.counters["peak_MiB"] = child.PeakMiB;
}

void BM_Import(benchmark::State& state)
{
    const std::string small = (g_folder / "small.tif").string();
    const TChild baseline = run({tool(), "import", small, (g_folder / "small.rst").string()});
    for (auto _ : state) {
        const TChild child = run(
            {tool(), "import", (g_folder / "dem.tif").string(), (g_folder / "dem.rst").string()});
        report(state, child);
        g_importSeconds = child.Seconds;
    }
    state.counters["baseline_MiB"] = baseline.PeakMiB;
}

void BM_GdalTranslateEnvi(benchmark::State& state)
{
    for (auto _ : state) {
        const TChild child =
            run({"gdal_translate", "-q", "-of", "ENVI", (g_folder / "dem.tif").string(),
                 (g_folder / "dem.envi").string()});
        report(state, child);
        g_translateSeconds = child.Seconds;
    }
}

BENCHMARK(BM_Import)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_GdalTranslateEnvi)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

/// Makes the GeoTIFF in a process of its own: a child started later would
/// count the memory this process ever held in its own peak.
void makeGeoTiffApart(const std::string& file, int size)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        GDALAllRegister();
        makeGeoTiff(file, size);
        std::_Exit(0);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        fail("cannot make " + file);
    }
}

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const char* tmp = std::getenv("TMPDIR");
    g_folder = std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / "skyglide-bench-import";
    std::filesystem::create_directories(g_folder);
    if (!std::filesystem::exists(g_folder / "dem.tif")) {
        std::fprintf(stderr, "skyglide_bench_import: making %s (once)\n",
                     (g_folder / "dem.tif").c_str());
        makeGeoTiffApart((g_folder / "dem.tif").string(), Size);
    }
    makeGeoTiffApart((g_folder / "small.tif").string(), 256);
    std::ifstream load("/proc/loadavg");
    std::string average;
    std::getline(load, average);
    std::printf("load average before: %s\n", average.c_str());
    benchmark::RunSpecifiedBenchmarks();
    std::getline(std::ifstream("/proc/loadavg"), average);
    std::printf("load average after: %s\n", average.c_str());
    if (g_importSeconds > 0.0 && g_translateSeconds > 0.0) {
        std::printf("import time / gdal_translate -of ENVI time: %.2f (target at most 1.2)\n",
                    g_importSeconds / g_translateSeconds);
    }
    for (const char* name : {"dem.rst", "dem.rdc", "dem.envi", "dem.hdr", "dem.envi.aux.xml"}) {
        std::filesystem::remove(g_folder / name);
    }
    benchmark::Shutdown();
    return 0;
}
