// The render engine's costs on the machine's GL (llvmpipe under Xvfb):
//
// - building a 1000 × 1000-sample mesh (the geometry builder alone, and
//   compiled into a display list as the first frame does);
// - frames of a 2-million-triangle textured, lit mesh at 827 × 530 replayed
//   from its display list, next to a minimal vertex-buffer program drawing
//   the same strips with the same state in the same run;
// - converting and uploading the Trinidad drape (2401 × 1201, palette) into
//   a 4096 × 2048 texture with mipmaps.
//
// Run: tests/harness/with-display <build>/bin/skyglide_bench_render

#define GL_GLEXT_PROTOTYPES 1

#include "data/Bitmap.h"
#include "data/RasterFile.h"
#include "render/Bitmap32.h"
#include "render/Camera.h"
#include "render/DummyCube.h"
#include "render/GLStateCache.h"
#include "render/HeightFieldMesh.h"
#include "render/LightSource.h"
#include "render/OffscreenContext.h"
#include "render/RenderContextInfo.h"
#include "render/Scene.h"
#include "render/SceneBuffer.h"
#include "render/TextureUpload.h"

#include <QGuiApplication>

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "RunBenchmarks.h"

#include <benchmark/benchmark.h>

using namespace skyglide;

namespace {

constexpr int cWidth = 827;
constexpr int cHeight = 530;

// A rolling surface of `cells` × `cells` heights looked up like the viewer's
// callback looks up its raster: nearest cell, rounded half to even.
struct Terrain
{
    int Cells;
    std::vector<float> Heights;

    explicit Terrain(int cells) : Cells(cells), Heights(std::size_t(cells) * std::size_t(cells))
    {
        for (int r = 0; r < cells; ++r)
            for (int c = 0; c < cells; ++c)
                Heights[std::size_t(r) * std::size_t(cells) + std::size_t(c)] =
                    0.5f + 0.25f * std::sin(float(c) * 0.02f) * std::cos(float(r) * 0.015f);
    }

    THeightFieldGetHeightEvent callback() const
    {
        return [this](float x, float y, float& z, TVector4f&, TTexPoint&) {
            const int c = int(std::nearbyint(double(Cells - 1) * double(x)));
            const int r = int(std::nearbyint(double(Cells - 1) * (1.0 - double(y))));
            z = Heights[std::size_t(r) * std::size_t(Cells) + std::size_t(c)];
        };
    }
};

// Samples 0, 1/1024, … up to `samples` − 1 of them: exact single steps.
void sampleExactly(THeightField& field, int samples)
{
    for (TSamplingScale* axis : {&field.XSamplingScale(), &field.YSamplingScale()}) {
        axis->SetMax(float(samples - 1) / 1024.0f);
        axis->SetStep(1.0f / 1024.0f);
    }
}

struct NullSink : THeightFieldSink
{
    std::int64_t Vertices = 0;
    void BeginStrip() override {}
    void Vertex(float, float, const THeightSample& s) override
    {
        ++Vertices;
        benchmark::DoNotOptimize(s.Z);
    }
    void EndStrip() override {}
};

void BM_MeshBuild1000x1000(benchmark::State& state)
{
    Terrain terrain(1000);
    THeightField field;
    sampleExactly(field, 1000);
    field.OnGetHeight = terrain.callback();
    for (auto _ : state) {
        NullSink sink;
        field.BuildMesh(sink);
        benchmark::DoNotOptimize(sink.Vertices);
    }
    state.counters["triangles"] = double(field.EmittedTriangles());
}
BENCHMARK(BM_MeshBuild1000x1000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same mesh as the first frame builds it: EmitGeometry into a display
// list, with normals and texture coordinates.
void BM_MeshCompile1000x1000(benchmark::State& state)
{
    TOffscreenRenderContext context(64, 64);
    context.Activate();
    Terrain terrain(1000);
    THeightField field;
    sampleExactly(field, 1000);
    field.SetOptions({THeightFieldOption::hfoTwoSided, THeightFieldOption::hfoTextureCoordinates});
    field.OnGetHeight = terrain.callback();
    TGLStateCache states;
    TRenderContextInfo rci;
    rci.GLStates = &states;
    const GLuint list = glGenLists(1);
    for (auto _ : state) {
        glNewList(list, GL_COMPILE);
        field.EmitGeometry(rci);
        glEndList();
        glFinish();
    }
    glDeleteLists(list, 1);
    CheckOpenGLError();
    context.Deactivate();
    state.counters["triangles"] = double(field.EmittedTriangles());
}
BENCHMARK(BM_MeshCompile1000x1000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// ---- 2 million triangles at 827 × 530 ---------------------------------------------

constexpr int cBigSamples = 1001; // 1000 × 1000 quads, 2 000 000 triangles

// A palette picture to drape the big mesh with.
std::shared_ptr<TBitmap> checkerPicture()
{
    auto picture = std::make_shared<TBitmap>();
    picture->SetSize(1024, 1024, TPixelFormat::pf8bit);
    TPalette palette = GreyscalePalette();
    palette[1] = {200, 120, 60, PaletteNoCollapse};
    palette[2] = {60, 160, 80, PaletteNoCollapse};
    picture->SetPalette(palette);
    for (int r = 0; r < 1024; ++r)
        for (int c = 0; c < 1024; ++c)
            picture->ScanLine(r)[c] = ((r / 32 + c / 32) % 2) ? 1 : 2;
    return picture;
}

// The viewer's arrangement scaled down: a light, the mesh seen whole from
// above its south-west corner.
struct BigMeshScene
{
    TScene Scene;
    Terrain Surface{1000};
    THeightField* Field = nullptr;
    TCamera* Camera = nullptr;

    BigMeshScene()
    {
        Scene.SetObjectsSorting(TObjectsSorting::osNone);
        auto& light = Scene.Objects().AddNewChild<TLightSource>();
        light.Position().SetAsAffineVector({-500, 800, 500});
        Field = &Scene.Objects().AddNewChild<THeightField>();
        Field->Direction().SetAsAffineVector({0, 1, 0});
        Field->Up().SetAsAffineVector({0, 0, 1});
        Field->Scale().SetAsAffineVector({1000, 1000, 100});
        sampleExactly(*Field, cBigSamples);
        Field->SetOptions(
            {THeightFieldOption::hfoTwoSided, THeightFieldOption::hfoTextureCoordinates});
        Field->OnGetHeight = Surface.callback();
        TTexture& texture = Field->Material().Texture();
        texture.SetMagFilter(TMagFilter::maNearest);
        texture.SetFilteringQuality(TTextureFilteringQuality::tfAnisotropic);
        texture.SetImage(std::shared_ptr<const TBitmap>(checkerPicture()));
        texture.SetDisabled(false);

        auto& target = Scene.Objects().AddNewChild<TDummyCube>();
        target.Position().SetAsAffineVector({-480, 0, 480});
        Camera = &Scene.Objects().AddNewChild<TCamera>();
        Camera->Position().SetAsAffineVector({300, 900, -300});
        Camera->SetFocalLength(100);
        Camera->SetDepthOfView(100000);
        Camera->SetTargetObject(&target);
    }
};

void frameCounters(benchmark::State& state, double trianglesPerFrame)
{
    state.counters["frames_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["triangles_per_s"] = benchmark::Counter(
        double(state.iterations()) * trianglesPerFrame, benchmark::Counter::kIsRate);
}

void BM_DisplayListFrame2M(benchmark::State& state)
{
    TOffscreenRenderContext context(cWidth, cHeight);
    BigMeshScene scene;
    TSceneBuffer buffer;
    buffer.Resize(cWidth, cHeight);
    buffer.SetBackgroundColor({0, 0, 0, 1});
    buffer.CreateRC(context);
    buffer.SetCamera(scene.Camera);
    buffer.RenderFrame(); // compiles the list and uploads the texture
    if (scene.Field->EmittedTriangles() != 2'000'000)
        state.SkipWithError("the mesh does not have 2 000 000 triangles");
    for (auto _ : state)
        buffer.RenderFrame(); // context.SwapBuffers() waits with glFinish
    frameCounters(state, scene.Field->EmittedTriangles());
    state.counters["lists_compiled"] = double(buffer.Statistics().ListsCompiled);
    buffer.DestroyRC();
}
BENCHMARK(BM_DisplayListFrame2M)->Unit(benchmark::kMillisecond)->MinTime(5.0)->UseRealTime();

// Interleaved vertex of the reference program: the display list's data.
struct PackedVertex
{
    float S, T;
    float NX, NY, NZ;
    float X, Y, Z, W;
};

struct CaptureSink : THeightFieldSink
{
    std::vector<PackedVertex> Vertices;
    std::vector<GLint> First;
    std::vector<GLsizei> Count;
    void BeginStrip() override { First.push_back(GLint(Vertices.size())); }
    void Vertex(float x, float y, const THeightSample& s) override
    {
        Vertices.push_back(
            {s.TexPoint.S, s.TexPoint.T, s.Normal.X, s.Normal.Y, s.Normal.Z, x, y, s.Z, 1.0f});
    }
    void EndStrip() override { Count.push_back(GLsizei(Vertices.size()) - GLsizei(First.back())); }
};

// What a minimal program does with the same triangles: one vertex buffer,
// one glDrawArrays per strip, the same light, material, texture,
// projection and view, clear and finish per frame.
void BM_VertexBufferFrame2M(benchmark::State& state)
{
    TOffscreenRenderContext context(cWidth, cHeight);
    BigMeshScene scene;

    // The state the display-list frame draws with, set up by a first frame of
    // the scene buffer: the texture (uploaded), the light, the matrices.
    TSceneBuffer buffer;
    buffer.Resize(cWidth, cHeight);
    buffer.CreateRC(context);
    buffer.SetCamera(scene.Camera);
    buffer.RenderFrame();

    CaptureSink mesh;
    scene.Field->BuildMesh(mesh);
    context.Activate();
    GLuint vbo = 0;
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(mesh.Vertices.size() * sizeof(PackedVertex)),
                 mesh.Vertices.data(), GL_STATIC_DRAW);
    const std::size_t triangles = mesh.Vertices.size() - 2 * mesh.First.size();
    mesh.Vertices = {};

    // Projection and view as the buffer set them; the mesh's own matrix on top.
    GLfloat projection[16];
    GLfloat modelview[16];
    glMatrixMode(GL_PROJECTION);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const TViewTransform view = scene.Camera->ViewTransform();
    gluLookAt(view.Eye.X, view.Eye.Y, view.Eye.Z, view.Centre.X, view.Centre.Y, view.Centre.Z,
              view.Up.X, view.Up.Y, view.Up.Z);
    GLfloat light[4] = {-500, 800, 500, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glMultMatrixf(scene.Field->LocalMatrix().Data());
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);

    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    glClearColor(0, 0, 0, 1);
    glViewport(0, 0, cWidth, cHeight);

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    const GLsizei stride = sizeof(PackedVertex);
    glTexCoordPointer(2, GL_FLOAT, stride, reinterpret_cast<const void*>(0));
    glNormalPointer(GL_FLOAT, stride, reinterpret_cast<const void*>(2 * sizeof(float)));
    glVertexPointer(4, GL_FLOAT, stride, reinterpret_cast<const void*>(5 * sizeof(float)));
    CheckOpenGLError();

    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(modelview);
        for (std::size_t i = 0; i < mesh.First.size(); ++i)
            glDrawArrays(GL_TRIANGLE_STRIP, mesh.First[i], mesh.Count[i]);
        glFinish();
    }
    CheckOpenGLError();
    frameCounters(state, double(triangles));

    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &vbo);
    context.Deactivate();
    buffer.DestroyRC();
}
BENCHMARK(BM_VertexBufferFrame2M)->Unit(benchmark::kMillisecond)->MinTime(5.0)->UseRealTime();

// ---- the drape --------------------------------------------------------------------

TBitmap& trinidadDrape()
{
    static TBitmap drape = [] {
        const std::string file = std::string(SKYGLIDE_SAMPLES_DIR) + "/trinidad.rst";
        TRasterFile raster;
        raster.SetFileName(file);
        raster.SetPalletFile(std::string(SKYGLIDE_SAMPLES_DIR) + "/palettes/elevation.smp");
        raster.LoadImage(file, true, 16);
        raster.CloseStream();
        return std::move(raster.Bitmap());
    }();
    return drape;
}

void BM_DrapeToRGBA(benchmark::State& state)
{
    const TBitmap& drape = trinidadDrape();
    for (auto _ : state) {
        TBitmap32 image = PictureToBitmap32(drape);
        benchmark::DoNotOptimize(image.Data());
    }
    state.counters["width"] = drape.Width();
    state.counters["height"] = drape.Height();
}
BENCHMARK(BM_DrapeToRGBA)->Unit(benchmark::kMillisecond);

// The scaling part of the upload alone: gluScaleImage from 2404 × 1201 RGBA
// to 4096 × 2048.
void BM_DrapeScale(benchmark::State& state)
{
    const TBitmap32 image = PictureToBitmap32(trinidadDrape());
    TOffscreenRenderContext context(64, 64);
    context.Activate();
    std::vector<std::uint8_t> scaled(std::size_t(4096) * 2048 * 4);
    for (auto _ : state) {
        gluScaleImage(GL_RGBA, image.Width(), image.Height(), GL_UNSIGNED_BYTE, image.Data(), 4096,
                      2048, GL_UNSIGNED_BYTE, scaled.data());
        benchmark::DoNotOptimize(scaled.data());
    }
    context.Deactivate();
}
BENCHMARK(BM_DrapeScale)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Conversion, scaling to 4096 × 2048 and the upload with mipmaps, as the
// first bind of the surface texture does it.
void BM_DrapeUpload(benchmark::State& state)
{
    const TBitmap& drape = trinidadDrape();
    TOffscreenRenderContext context(64, 64);
    context.Activate();
    const TGLExtensions extensions = TGLExtensions::Detect();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    for (auto _ : state) {
        UploadTexture(PictureToBitmap32(drape), true, extensions);
        glFinish();
    }
    GLint width = 0;
    GLint height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    state.counters["texture_width"] = width;
    state.counters["texture_height"] = height;
    state.counters["driver_mipmaps"] = extensions.GenerateMipmap ? 1 : 0;
    glDeleteTextures(1, &texture);
    context.Deactivate();
}
BENCHMARK(BM_DrapeUpload)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    return RunBenchmarks(argc, argv);
}
