#include "app/MovieFrameRenderer.h"

#include "app/FlightPath.h"
#include "app/SurfaceReadout.h"
#include "render/HeightFieldMesh.h"
#include "render/OffscreenContext.h"
#include "render/SkyDome.h"
#include "render/TerrainLOD.h"

#include <algorithm>

namespace skyglide {

namespace {
// A frame whose tiles keep coming after this many redraws is taken as it is.
constexpr int MaxDetailRedraws = 100;

int BandRows(int width, int height, long long bandPixels)
{
    const long long pixels = static_cast<long long>(width) * height;
    const long long perBand = std::max(bandPixels, 1LL);
    const long long bands = (pixels + perBand - 1) / perBand;
    return int((height + bands - 1) / bands);
}
} // namespace

TMovieFrameRenderer::TMovieFrameRenderer(const TMovieScene& scene, TPathResampler frames,
                                         int width, int height, long long bandPixels)
    : m_frames(std::move(frames)),
      m_bandRows(BandRows(width, height, bandPixels)),
      m_context(std::make_unique<TOffscreenRenderContext>(width, m_bandRows)),
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
    const int width = m_buffer.Width(), height = m_buffer.Height();
    for (int bottom = 0; bottom < height; bottom += m_bandRows) {
        m_buffer.SetBandOffset(bottom);
        m_buffer.RenderFrame();
        // A frame of the level-of-detail surface is drawn again until every
        // tile it needs has been made: the movie never shows a coarser
        // stand-in, and the same command gives the same frames. The tiles
        // are those of the whole frame, so the later bands find them there.
        for (int redraw = 0; redraw < MaxDetailRedraws && m_scene.FullDetail &&
                             !m_scene.FullDetail->FrameComplete() &&
                             m_scene.FullDetail->WaitForTiles(10000);
             ++redraw)
            m_buffer.RenderFrame();
        m_context->ReadRows(m_pixels.data() + std::size_t(bottom) * std::size_t(width) * 4,
                            std::min(m_bandRows, height - bottom));
    }
    return {width, height, m_pixels.data(), 4, 0, true};
}

} // namespace skyglide
