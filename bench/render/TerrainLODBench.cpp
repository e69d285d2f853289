// The level-of-detail surface over a generated grid of 16 384 × 16 384
// 16-bit cells at 827 × 530 on the machine's GL (llvmpipe under Xvfb):
//
// - the grid: the middle 1201 × 1201 cells of the Trinidad sample, upsampled
//   bilinearly and given fractal detail (value noise, periods of 2 to 64
//   cells), with a palette drape of the same size made from it; generated
//   once per run, not stored;
// - preparing the tile bounds and the drape pyramid, and making one tile;
// - time to the first complete frame from the scene window's start pose;
// - frames per second flying low (three cell widths above the ground,
//   looking level at the horizon, three cells a frame) at error bounds of
//   2 and 1 pixels, with the tiles streaming in behind;
// - the process's peak memory against 1.5 × (cell bytes + drape bytes);
// - a picture of the low pose with the surface, and of the same pose over
//   the mesh the scene window shows at detail level 1 (written to $TMPDIR).
//
// Run: tests/harness/with-display <build>/bin/skyglide_bench_terrain_lod
// with LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe QT_QPA_PLATFORM=xcb.

#include "data/Bitmap.h"
#include "data/RasterFile.h"
#include "render/Bitmap32.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/HeightFieldMesh.h"
#include "render/HeightSource.h"
#include "render/LightSource.h"
#include "render/OffscreenContext.h"
#include "render/ParallelFor.h"
#include "render/Scene.h"
#include "render/SceneBuffer.h"
#include "render/TerrainLOD.h"
#include "render/TerrainTile.h"
#include "render/TerrainTree.h"

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include "RunBenchmarks.h"

#include <benchmark/benchmark.h>

using namespace skyglide;

namespace {

constexpr int cWidth = 827;
constexpr int cHeight = 530;
constexpr int cSide = 16384;

// ---- the generated grid --------------------------------------------------------------

std::uint32_t hash(std::int32_t x, std::int32_t y, std::uint32_t seed)
{
    std::uint32_t h = std::uint32_t(x) * 0x8da6b343u ^ std::uint32_t(y) * 0xd8163841u ^ seed;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return h ^ (h >> 15);
}

// Value noise of the given period in cells: −1 to 1, smooth between lattice points.
double noise(int c, int r, int period, std::uint32_t seed)
{
    const int x0 = c / period, y0 = r / period;
    auto smooth = [](double t) { return t * t * (3.0 - 2.0 * t); };
    const double fx = smooth(double(c % period) / period), fy = smooth(double(r % period) / period);
    auto value = [&](int x, int y) { return double(hash(x, y, seed) & 0xFFFF) / 32767.5 - 1.0; };
    const double top = value(x0, y0) + (value(x0 + 1, y0) - value(x0, y0)) * fx;
    const double bottom = value(x0, y0 + 1) + (value(x0 + 1, y0 + 1) - value(x0, y0 + 1)) * fx;
    return top + (bottom - top) * fy;
}

struct TGeneratedSurface
{
    std::shared_ptr<TBitmap> Cells;
    std::shared_ptr<TBitmap> Drape;
    double MinValue = 0;
    double MaxValue = 0;
    std::shared_ptr<const THeightSource> Source;

    std::size_t CellBytes() const { return Cells->SizeBytes(); }
    std::size_t DrapeBytes() const { return Drape->SizeBytes(); }
};

const TGeneratedSurface& surface()
{
    static const TGeneratedSurface generated = [] {
        const std::string file = std::string(SKYGLIDE_SAMPLES_DIR) + "/trinidad.rst";
        TRasterFile trinidad;
        trinidad.SetFileName(file);
        trinidad.LoadSurface(file);
        trinidad.CloseStream();
        // The middle square of the sample, read once so that the threads
        // below share nothing that changes.
        const int sampleSide = 1201, first = 600;
        std::vector<double> sample(std::size_t(sampleSide) * sampleSide);
        for (int r = 0; r < sampleSide; ++r)
            for (int c = 0; c < sampleSide; ++c)
                trinidad.GetValue(first + c, r,
                                  sample[std::size_t(r) * sampleSide + std::size_t(c)]);

        TGeneratedSurface s;
        s.Cells = std::make_shared<TBitmap>();
        s.Cells->SetSize(cSide, cSide, TPixelFormat::pf16bit);
        const double scale = double(sampleSide - 1) / double(cSide - 1);
        ParallelFor(cSide, 2, [&](int r) {
            std::uint8_t* line = s.Cells->ScanLine(r);
            const double sy = r * scale;
            const int y0 = std::min(int(sy), sampleSide - 2);
            for (int c = 0; c < cSide; ++c) {
                const double sx = c * scale;
                const int x0 = std::min(int(sx), sampleSide - 2);
                double v[4];
                for (int k = 0; k < 4; ++k)
                    v[k] = sample[std::size_t(y0 + k / 2) * sampleSide + std::size_t(x0 + k % 2)];
                const double fx = sx - x0, fy = sy - y0;
                double z =
                    (v[0] + (v[1] - v[0]) * fx) * (1 - fy) + (v[2] + (v[3] - v[2]) * fx) * fy;
                for (int period = 2; period <= 64; period *= 2)
                    z += 0.35 * std::pow(double(period), 0.85) *
                         noise(c, r, period, std::uint32_t(period));
                const auto cell = std::int16_t(std::lround(z));
                line[2 * c] = std::uint8_t(cell & 0xFF);
                line[2 * c + 1] = std::uint8_t((cell >> 8) & 0xFF);
            }
        });
        s.MinValue = 32767;
        s.MaxValue = -32768;
        for (int r = 0; r < cSide; ++r) {
            const auto* line = reinterpret_cast<const std::int16_t*>(s.Cells->ScanLine(r));
            const auto [low, high] = std::minmax_element(line, line + cSide);
            s.MinValue = std::min(s.MinValue, double(*low));
            s.MaxValue = std::max(s.MaxValue, double(*high));
        }

        // The drape as the scene window makes it from the surface: its values
        // stretched over a palette ramp, green through brown to white.
        s.Drape = std::make_shared<TBitmap>();
        s.Drape->SetSize(cSide, cSide, TPixelFormat::pf8bit);
        TPalette palette;
        for (int i = 0; i < 256; ++i) {
            const double t = i / 255.0;
            palette[std::size_t(i)] = {std::uint8_t(60 + 180 * t),
                                       std::uint8_t(130 + 100 * t * (1 - t) + 60 * t * t),
                                       std::uint8_t(50 + 190 * t * t), PaletteNoCollapse};
        }
        s.Drape->SetPalette(palette);
        const double range = s.MaxValue - s.MinValue;
        ParallelFor(cSide, 2, [&](int r) {
            const auto* cells = reinterpret_cast<const std::int16_t*>(s.Cells->ScanLine(r));
            std::uint8_t* out = s.Drape->ScanLine(r);
            for (int c = 0; c < cSide; ++c)
                out[c] =
                    std::uint8_t(std::clamp((cells[c] - s.MinValue) / range * 255.0, 0.0, 255.0));
        });
        s.Source = std::make_shared<TBitmapHeightSource>(s.Cells, s.MinValue, s.MaxValue);
        return s;
    }();
    return generated;
}

// Processor time of every thread of the process so far, in seconds.
double processSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

double peakMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

void memoryCounters(benchmark::State& state)
{
    const TGeneratedSurface& s = surface();
    state.counters["peak_MiB"] = peakMiB();
    state.counters["target_MiB"] = 1.5 * double(s.CellBytes() + s.DrapeBytes()) / (1 << 20);
}

// ---- the scene -----------------------------------------------------------------------

// The scene window's arrangement: a light, the surface placed as the mesh
// would be, the camera on its own with a target ahead.
struct TLodScene
{
    TScene Scene;
    TTerrainLOD* Surface = nullptr;
    THeightField* Mesh = nullptr;
    TDummyCube* Target = nullptr;
    TCamera* Camera = nullptr;
    float Width, Height, ZScale;

    explicit TLodScene(int side, bool lod = true)
        : Width(float(side)), Height(float(side)), ZScale(0.05f * float(side))
    {
        Scene.SetObjectsSorting(TObjectsSorting::osNone);
        auto& lightCube = Scene.Objects().AddNewChild<TDummyCube>();
        lightCube.Position().SetAsAffineVector({-50, 6, 50});
        auto& light = lightCube.AddNewChild<TLightSource>();
        light.Position().SetAsAffineVector({-1, 0, 0});
        light.SetSpotCutOff(180);
        TSceneObject* placed = nullptr;
        if (lod) {
            Surface = &Scene.Objects().AddNewChild<TTerrainLOD>();
            placed = Surface;
        } else {
            Mesh = &Scene.Objects().AddNewChild<THeightField>();
            Mesh->SetOptions(
                {THeightFieldOption::hfoTextureCoordinates, THeightFieldOption::hfoTwoSided});
            placed = Mesh;
        }
        placed->Direction().SetAsAffineVector({0, 1, 0});
        placed->Up().SetAsAffineVector({0, 0, 1});
        placed->Scale().SetAsAffineVector({Width, Height, ZScale});
        TTexture& texture = placed->Material().Texture();
        texture.SetMagFilter(TMagFilter::maNearest);
        texture.SetFilteringQuality(TTextureFilteringQuality::tfAnisotropic);
        Target = &Scene.Objects().AddNewChild<TDummyCube>();
        Camera = &Scene.Objects().AddNewChild<TCamera>();
        Camera->Up().SetAsAffineVector({0, 1, 0});
        Camera->SetFocalLength(100);
        Camera->SetDepthOfView(100000);
        Camera->SetTargetObject(Target);
    }

    void look(const TAffineVector& eye, const TAffineVector& direction)
    {
        Camera->Position().SetAsAffineVector(eye);
        Target->Position().SetAsAffineVector(eye + direction);
    }

    // The scene window's start pose: beyond the corner at X = 0, Z = 0,
    // 1.5 times as high as the surface reaches, towards the middle, 2° down.
    void startPose()
    {
        const TAffineVector eye{0.4f * Width, 1.5f * ZScale, -0.4f * Height};
        const TAffineVector middle{-0.5f * Width, 0.0f, 0.5f * Height};
        TAffineVector level = normalized({middle.X - eye.X, 0.0f, middle.Z - eye.Z});
        const float down = 2.0f * cPIdiv180;
        look(eye, {level.X * std::cos(down), -std::sin(down), level.Z * std::cos(down)});
    }
};

// A scene buffer on an off-screen 827 × 530 framebuffer.
struct TOffscreenView
{
    TOffscreenRenderContext Context{cWidth, cHeight};
    TSceneBuffer Buffer;

    explicit TOffscreenView(TCamera* camera)
    {
        Buffer.Resize(cWidth, cHeight);
        Buffer.SetBackgroundColor({0.7f, 0.8f, 0.95f, 1});
        Buffer.CreateRC(Context);
        Buffer.SetCamera(camera);
    }
    ~TOffscreenView() { Buffer.DestroyRC(); }
};

void attach(TTerrainLOD& lod, float errorBound)
{
    const TGeneratedSurface& s = surface();
    lod.SetErrorBound(errorBound);
    lod.SetHeightSource(s.Source);
    lod.Material().Texture().SetImage(std::shared_ptr<const TBitmap>(s.Drape));
    lod.Material().Texture().SetDisabled(false);
}

// Frames until the surface drew every tile it selected; false after 60 s.
bool renderUntilComplete(TOffscreenView& view, TTerrainLOD& lod)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    view.Buffer.RenderFrame();
    while (!lod.FrameComplete()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        lod.WaitForTiles(1000);
        view.Buffer.RenderFrame();
    }
    return true;
}

// The ground's height in world units under world point (x, z), the highest
// cell within `radius` cells.
float groundHeight(const TLodScene& scene, float x, float z, int radius)
{
    const TGeneratedSurface& s = surface();
    const int c = std::clamp(int(-x), radius, cSide - 1 - radius);
    const int r = std::clamp(int(scene.Height - z), radius, cSide - 1 - radius);
    float highest = 0;
    std::vector<float> row(std::size_t(2 * radius + 1));
    for (int dr = -radius; dr <= radius; ++dr) {
        s.Source->ReadRow(r + dr, c - radius, 1, int(row.size()), row.data());
        highest = std::max(highest, *std::max_element(row.begin(), row.end()));
    }
    return highest * scene.ZScale;
}

// The low flight: from the middle of the grid north-westwards over the
// ridges, three cell widths above the highest ground near the observer.
struct TLowFlight
{
    float X = -8192, Z = 6000;
    const TAffineVector Heading = normalized({-0.5f, 0.0f, 0.85f});

    void pose(TLodScene& scene) const
    {
        const float eyeHeight = groundHeight(scene, X, Z, 4) + 3.0f;
        scene.look({X, eyeHeight, Z}, Heading);
    }
    void advance(float cells)
    {
        X += Heading.X * cells;
        Z += Heading.Z * cells;
    }
};

// ---- benchmarks ----------------------------------------------------------------------

void BM_GenerateSurface(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(surface().Cells.get());
    const TGeneratedSurface& s = surface();
    state.counters["cell_MiB"] = double(s.CellBytes()) / (1 << 20);
    state.counters["drape_MiB"] = double(s.DrapeBytes()) / (1 << 20);
    memoryCounters(state);
}
BENCHMARK(BM_GenerateSurface)->Unit(benchmark::kSecond)->Iterations(1);

// The preparation before any tile: the bounds of every tile on two threads.
void BM_PrepareTileBounds(benchmark::State& state)
{
    const TGeneratedSurface& s = surface();
    const std::atomic<bool> cancel{false};
    for (auto _ : state) {
        TTerrainTree tree(TTerrainLayout(cSide, cSide, 16));
        tree.Build(*s.Source, 2, cancel);
        benchmark::DoNotOptimize(tree.Bounds(tree.Layout().Root()).Error);
    }
}
BENCHMARK(BM_PrepareTileBounds)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_PrepareDrapePyramid(benchmark::State& state)
{
    const TGeneratedSurface& s = surface();
    const std::atomic<bool> cancel{false};
    const TDrapeLayout layout(TTerrainLayout(cSide, cSide, 16), cSide, cSide, 260, false);
    for (auto _ : state) {
        TDrapePyramid pyramid(s.Drape);
        pyramid.Build(layout.PyramidLevels(), 2, cancel);
        state.counters["pyramid_MiB"] = double(pyramid.StoredBytes()) / (1 << 20);
    }
}
BENCHMARK(BM_PrepareDrapePyramid)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// One tile of the finest level and one of the root: vertices, skirts and
// the drape piece with its mipmaps, as a worker makes them.
void BM_MakeTile(benchmark::State& state)
{
    const TGeneratedSurface& s = surface();
    const std::atomic<bool> cancel{false};
    const TTerrainLayout layout(cSide, cSide, 16);
    TTerrainTree tree(layout);
    tree.Build(*s.Source, 2, cancel);
    const TDrapeLayout drape(layout, cSide, cSide, 260, false);
    TDrapePyramid pyramid(s.Drape);
    pyramid.Build(drape.PyramidLevels(), 2, cancel);
    const TTileKey key = state.range(0) == 0 ? TTileKey{0, 512, 512} : layout.Root();
    for (auto _ : state) {
        TTileMesh mesh = BuildTileMesh(tree, *s.Source, drape, key);
        TTileImage image = BuildTileImage(pyramid, drape.Place(key));
        benchmark::DoNotOptimize(mesh.Vertices.data());
        benchmark::DoNotOptimize(image.Levels.data());
    }
    state.SetLabel(state.range(0) == 0 ? "finest" : "root");
}
BENCHMARK(BM_MakeTile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// From a new surface to its first complete frame at the start pose: the
// preparation, the tiles, their upload and the frames in between; tiles of
// range(0) cells, a budget of range(1).
void BM_FirstCompleteFrame(benchmark::State& state)
{
    surface();
    TLodScene scene(cSide);
    scene.startPose();
    TOffscreenView view(scene.Camera);
    int frames = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TTerrainLOD& lod = scene.Scene.Objects().AddNewChild<TTerrainLOD>();
        lod.Direction().SetAsAffineVector({0, 1, 0});
        lod.Up().SetAsAffineVector({0, 0, 1});
        lod.Scale().SetAsAffineVector({scene.Width, scene.Height, scene.ZScale});
        lod.SetTileCells(int(state.range(0)));
        lod.SetTileBudget(int(state.range(1)));
        attach(lod, 2.0f);
        const long long before = view.Buffer.Statistics().FramesRendered;
        const double cpuBefore = processSeconds();
        if (!renderUntilComplete(view, lod))
            state.SkipWithError("no complete frame within 60 s");
        frames = int(view.Buffer.Statistics().FramesRendered - before);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.counters["cpu_ms"] = (processSeconds() - cpuBefore) * 1000.0;
        state.counters["tiles"] = lod.Statistics().DrawnTiles;
        state.counters["triangles"] = double(lod.Statistics().Triangles);
        scene.Scene.Objects().DeleteChild(lod);
    }
    state.counters["frames"] = frames;
    memoryCounters(state);
}
BENCHMARK(BM_FirstCompleteFrame)
    ->Args({16, 1536})
    ->Args({32, 384})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseManualTime();

// The low flight's first pose drawn complete, with the surface set up from
// the benchmark's arguments: an error bound of range(0) / 10 pixels, tiles
// of range(1) cells, the drape filtered anisotropically (range(2) = 1, as
// the viewer sets it) or not, a budget of range(3) tiles.
struct TLowFlightView
{
    TLodScene Scene{cSide};
    std::unique_ptr<TOffscreenView> View;
    TLowFlight Flight;

    explicit TLowFlightView(benchmark::State& state)
    {
        TTerrainLOD& surface = *Scene.Surface;
        surface.SetTileCells(int(state.range(1)));
        surface.SetTileBudget(int(state.range(3)));
        attach(surface, float(state.range(0)) / 10.0f);
        if (state.range(2) == 0)
            surface.Material().Texture().SetFilteringQuality(TTextureFilteringQuality::tfIsotropic);
        View = std::make_unique<TOffscreenView>(Scene.Camera);
        Flight.pose(Scene);
        if (!renderUntilComplete(*View, surface))
            state.SkipWithError("no complete frame within 60 s");
    }
};

// Flying low (arguments as TLowFlightView), frames drawn as fast as they
// come, tiles arriving behind them.
void BM_FlyLow(benchmark::State& state)
{
    surface();
    TLowFlightView low(state);
    TLodScene& scene = low.Scene;
    TOffscreenView& view = *low.View;
    TLowFlight& flight = low.Flight;
    long long triangles = 0, tiles = 0;
    int complete = 0, limited = 0;
    std::size_t resident = 0;
    const double cpuBefore = processSeconds();
    for (auto _ : state) {
        flight.advance(3.0f);
        flight.pose(scene);
        view.Buffer.RenderFrame();
        const TTerrainLODStatistics& s = scene.Surface->Statistics();
        triangles += s.Triangles;
        tiles += s.DrawnTiles;
        complete += scene.Surface->FrameComplete();
        limited += s.BudgetLimited;
        resident = std::max(resident, s.ResidentBytes);
    }
    const double n = double(state.iterations());
    state.counters["frames_per_s"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
    // Every thread's time (the renderer's, the workers'), per frame: what
    // the frame costs on a machine that gives it all its cores.
    state.counters["cpu_ms"] = (processSeconds() - cpuBefore) * 1000.0 / n;
    state.counters["triangles"] = double(triangles) / n;
    state.counters["tiles"] = double(tiles) / n;
    state.counters["complete"] = complete / n;
    state.counters["budget_limited"] = limited / n;
    // The most the tiles held in the context at any frame.
    state.counters["tiles_MiB"] = double(resident) / (1 << 20);
    memoryCounters(state);
}
BENCHMARK(BM_FlyLow)
    ->Args({20, 16, 1, 1536})
    ->Args({10, 16, 1, 1536})
    ->Args({20, 16, 0, 1536})
    ->Args({10, 16, 0, 1536})
    ->Args({20, 32, 0, 384})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(300)
    ->UseRealTime();

// The same low pose drawn again and again with every tile there: what a
// frame costs without tiles being made meanwhile (arguments as
// TLowFlightView).
void BM_FrameStill(benchmark::State& state)
{
    surface();
    TLowFlightView low(state);
    TLodScene& scene = low.Scene;
    TOffscreenView& view = *low.View;
    const double cpuBefore = processSeconds();
    for (auto _ : state)
        view.Buffer.RenderFrame();
    const double n = double(state.iterations());
    state.counters["frames_per_s"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
    state.counters["cpu_ms"] = (processSeconds() - cpuBefore) * 1000.0 / n;
    state.counters["tiles"] = scene.Surface->Statistics().DrawnTiles;
    state.counters["triangles"] = double(scene.Surface->Statistics().Triangles);
}
BENCHMARK(BM_FrameStill)
    ->Args({20, 16, 1, 1536})
    ->Args({20, 16, 0, 1536})
    ->Args({20, 32, 0, 384})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(60)
    ->UseRealTime();

// ---- pictures ------------------------------------------------------------------------

void savePicture(TSceneBuffer& buffer, const std::string& name)
{
    const TBitmap32 frame = buffer.ReadFrameImage();
    QImage image(frame.Width(), frame.Height(), QImage::Format_RGBA8888);
    for (int y = 0; y < frame.Height(); ++y)
        std::memcpy(image.scanLine(y), frame.ScanLine(frame.Height() - 1 - y),
                    std::size_t(frame.Width()) * 4);
    const char* folder = std::getenv("TMPDIR");
    const std::string path = std::string(folder ? folder : "/tmp") + "/" + name;
    image.convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(path), "PNG");
    std::fprintf(stderr, "picture: %s\n", path.c_str());
}

// The low pose with the surface, and the same pose over what the scene
// window shows at detail level 1: the grid decimated by 21 (780 × 780
// cells) and meshed every 20th of those, everything scaled by 780 / 16 384.
void BM_LowPosePictures(benchmark::State& state)
{
    const TGeneratedSurface& s = surface();
    TLowFlight flight;
    flight.advance(600.0f);
    for (auto _ : state) {
        TLodScene lodScene(cSide);
        attach(*lodScene.Surface, 2.0f);
        flight.pose(lodScene);
        const TAffineVector eye = lodScene.Camera->Position().AsAffineVector();
        {
            TOffscreenView view(lodScene.Camera);
            renderUntilComplete(view, *lodScene.Surface);
            savePicture(view.Buffer, "terrain-lod-16k-on.png");
        }

        const int step = TRasterFile::CalcStep(cSide, cSide, 1024, 768);
        const int side = cSide / step;
        TLodScene meshScene(side, false);
        auto drape = std::make_shared<TBitmap>();
        drape->SetSize(side, side, TPixelFormat::pf8bit);
        drape->SetPalette(s.Drape->Palette());
        for (int r = 0; r < side; ++r)
            for (int c = 0; c < side; ++c)
                drape->ScanLine(r)[c] = s.Drape->ScanLine(r * step)[c * step];
        THeightField& mesh = *meshScene.Mesh;
        mesh.XSamplingScale().SetMax(1);
        mesh.YSamplingScale().SetMax(1);
        mesh.XSamplingScale().SetStep(20.0f / float(side));
        mesh.YSamplingScale().SetStep(20.0f / float(side));
        mesh.SetOnGetHeight([&s, side, step](float x, float y, float& z, TVector4f&, TTexPoint&) {
            const int c = int(std::nearbyint(double(side - 1) * x)) * step;
            const int r = int(std::nearbyint(double(side - 1) * (1.0 - y))) * step;
            s.Source->ReadRow(r, c, 1, 1, &z);
        });
        mesh.Material().Texture().SetImage(std::shared_ptr<const TBitmap>(drape));
        mesh.Material().Texture().SetDisabled(false);
        const float ratio = float(side) / float(cSide);
        meshScene.look(eye * ratio, flight.Heading);
        TOffscreenView view(meshScene.Camera);
        view.Buffer.RenderFrame();
        savePicture(view.Buffer, "terrain-lod-16k-off.png");
    }
}
BENCHMARK(BM_LowPosePictures)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    return RunBenchmarks(argc, argv);
}
