#pragma once

#include "app/SceneComposition.h"
#include "movie/MovieRender.h"
#include "paths/PathResampler.h"
#include "render/SceneBuffer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace skyglide {

class TBitmap;
class TOffscreenRenderContext;
class TRasterFile;

// What a rendered movie shows beside the path: the surface and its picture
// laid out as the scene window lays them out at start-up, and the window's
// view settings.
struct TMovieScene
{
    // The heights, read while the first frame is rendered (the mesh is
    // sampled once). Null or an empty grid: no surface.
    TRasterFile* Surface = nullptr;
    // The drape's picture; null leaves the surface untextured.
    std::shared_ptr<const TBitmap> Picture;
    float Exaggeration = 1.0f;
    std::uint8_t MeshSamplingFactor = 10;
    bool Sky = false;
    bool Axes = false;
    bool SmoothPixel = false;
    // Every cell of the surface through the level-of-detail surface, as the
    // window's Full Detail shows it; each frame waits for the tiles it needs.
    bool FullDetail = false;
    // Red, green, blue in 0 to 1; the viewer starts black.
    TVector4f Background{0, 0, 0, 1};
};

// Frames up to this many pixels are drawn whole. Larger ones are drawn in
// bands of rows, each into the same framebuffer of a band's size: its colour
// and depth take 8 bytes a pixel on a software renderer (66 MB at 3840 x
// 2160, 33 MB in two bands), while each band draws the scene again.
constexpr long long MovieBandPixels = 2LL * 1920 * 1080;

// Renders the frames of a path into a framebuffer of its own, with no window
// on screen: a scene composed as the viewer's, the rig put into each frame's
// pose, one frame rendered and read back. The same surface, pose and size
// give the same pixels as the viewer's own frame.
//
// Needs a QGuiApplication on a display with OpenGL; main thread only.
class TMovieFrameRenderer : public TMovieFrameSource
{
public:
    // Throws TRenderContextError when no framebuffer of width × height can
    // be made.
    TMovieFrameRenderer(const TMovieScene& scene, TPathResampler frames, int width, int height,
                        long long bandPixels = MovieBandPixels);
    ~TMovieFrameRenderer() override;
    TMovieFrameRenderer(const TMovieFrameRenderer&) = delete;
    TMovieFrameRenderer& operator=(const TMovieFrameRenderer&) = delete;

    int FrameCount() const override { return m_frames.FrameCount(); }
    // RGBA rows bottom first, valid until the next frame.
    TRGBFrame RenderFrame(int index) override;

    TSceneComposition& Composition() { return m_scene; }

private:
    TSceneComposition m_scene;
    TPathResampler m_frames;
    // Rows of a band: the whole frame up to a size, bands beyond it.
    int m_bandRows;
    std::unique_ptr<TOffscreenRenderContext> m_context;
    TSceneBuffer m_buffer;
    std::vector<std::uint8_t> m_pixels;
};

} // namespace skyglide
