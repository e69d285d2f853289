#include "app/MovieFrameRenderer.h"

#include "app/FlightPath.h"
#include "app/SurfaceReadout.h"
#include "render/HeightFieldMesh.h"
#include "render/OffscreenContext.h"
#include "render/SkyDome.h"
#include "render/TerrainLOD.h"

namespace skyglide {

namespace {
// A frame whose tiles keep coming after this many redraws is taken as it is.
constexpr int MaxDetailRedraws = 100;
} // namespace

TMovieFrameRenderer::TMovieFrameRenderer(const TMovieScene& scene, TPathResampler frames,
                                         int width, int height)
    : m_frames(std::move(frames)),
      m_context(std::make_unique<TOffscreenRenderContext>(width, height)),
      m_pixels(std::size_t(width) * std::size_t(height) * 4)
{
    // The picture is shared, not taken from a drape raster: the scene window
    // hands over the one its own texture shows.
    m_scene.ShowSurface(scene.Surface, nullptr, scene.Exaggeration, scene.MeshSamplingFactor);
    TRasterFile* surface = scene.Surface;
    m_scene.HeightField1->SetOnGetHeight(
        [surface](float x, float y, float& z, TVector4f&, TTexPoint&) {
            z = SurfaceHeight(surface, x, y);
        });
    TTexture& texture = m_scene.HeightField1->Material().Texture();
    if (scene.Picture) {
        texture.SetImage(scene.Picture);
        texture.SetDisabled(false);
    }
    texture.SetMagFilter(scene.SmoothPixel ? TMagFilter::maLinear : TMagFilter::maNearest);
    m_scene.HeightField1->SetShowAxes(scene.Axes);
    m_scene.SkyDome1->SetVisible(scene.Sky);
    // Made last: it takes the mesh's texture, filters and axes.
    m_scene.ShowFullDetail(scene.Surface, scene.FullDetail);

    m_buffer.Resize(width, height);
    m_buffer.SetBackgroundColor(scene.Background);
    m_buffer.CreateRC(*m_context);
    m_buffer.SetCamera(m_scene.Camera);
}

TMovieFrameRenderer::~TMovieFrameRenderer()
{
    // The level-of-detail workers stop first, as in the window; the lists,
    // buffers and textures go in the context that made them.
    m_scene.DropFullDetail();
    m_buffer.DestroyRC();
}

TRGBFrame TMovieFrameRenderer::RenderFrame(int index)
{
    ApplyRigPose(m_scene, m_frames.Frame(index));
    m_buffer.RenderFrame();
    // A frame of the level-of-detail surface is drawn again until every tile
    // it needs has been made: the movie never shows a coarser stand-in, and
    // the same command gives the same frames.
    for (int redraw = 0; redraw < MaxDetailRedraws && m_scene.FullDetail &&
                         !m_scene.FullDetail->FrameComplete() &&
                         m_scene.FullDetail->WaitForTiles(10000);
         ++redraw)
        m_buffer.RenderFrame();
    m_context->ReadPixels(m_pixels.data());
    return {m_context->Width(), m_context->Height(), m_pixels.data(), 4, 0, true};
}

} // namespace skyglide
