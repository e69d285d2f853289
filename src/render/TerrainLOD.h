#pragma once

#include "render/HeightFieldMesh.h"
#include "render/SceneObject.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace skyglide {

class TGLResourceOwner;
class THeightSource;
class TTerrainTileLoader;
struct TBuiltTile;
struct TGLExtensions;
struct TRenderContextInfo;
struct TTerrainData;
struct TTileKey;

/// What the last frame of a TTerrainLOD drew.
struct TTerrainLODStatistics
{
    /// Tiles the view asked for, and how many of them were drawn at their
    /// own level (the others were stood in for by a coarser tile, or, while
    /// nothing was there yet, left out).
    int SelectedTiles = 0;
    int DrawnAtLevel = 0;
    /// Tiles drawn, stand-ins included, and their triangles (skirts included).
    int DrawnTiles = 0;
    long long Triangles = 0;
    /// The largest screen-space error of the selection, in pixels, and
    /// whether the tile budget held it above the bound.
    float MaxScreenError = 0.0f;
    bool BudgetLimited = false;
    /// The bounds and the drape pyramid were still being prepared: nothing drawn.
    bool Preparing = false;
    /// Tiles held in the context, with their vertex and texture bytes.
    int ResidentTiles = 0;
    std::size_t ResidentBytes = 0;
    /// Tiles uploaded in this frame.
    int UploadedTiles = 0;
};

/// The level-of-detail surface: every cell of a grid, in the same place and
/// with the same light, material, drape and exaggeration as the THeightField
/// mesh that would sample every cell (column c at local x = c / (W − 1), row
/// r at y = 1 − r / (H − 1), heights along z; Scale, Position, Direction and
/// Up place it as they place the mesh). No vertex colours are sent: the
/// heights carry none, as the viewer's mesh (colour mode hfcmNone) has none.
///
/// The grid is cut into a quadtree of square tiles with skirts (see
/// docs/terrain-lod.md). Every frame the tiles whose screen-space error is
/// within ErrorBound are chosen for the viewer's size and field of view,
/// at most TileBudget of them; worker threads make the tiles that are not
/// there yet (vertices and drape pieces), and the frame uploads what they
/// finished into vertex buffers and textures of its context. A tile not
/// there yet is stood in for by the nearest coarser one that is.
///
/// Use:
///   auto& surface = parent.AddNewChild<TTerrainLOD>();
///   surface.OnTilesReady = [viewer] { post viewer->update() to the main thread };
///   surface.SetHeightSource(std::make_shared<TBitmapHeightSource>(cells, min, max));
///   surface.Material().Texture().SetImage(std::move(drapeBitmap));
///   surface.Material().Texture().SetDisabled(false);
///   place it with Scale, Position, Direction and Up as the mesh.
/// The drape is never uploaded whole: each tile takes its own piece. Texture
/// settings (MagFilter for Smooth Pixel, MinFilter, FilteringQuality,
/// TextureMode) apply to every piece from the next frame on.
///
/// A frame with tiles missing or stood in for is incomplete
/// (FrameComplete()); the surface asks for another frame when tiles have
/// arrived: OnTilesReady from a worker thread, and a change notice at the
/// next cadencer step (DoProgress). Needs OpenGL 1.5 (vertex buffer objects).
class TTerrainLOD : public TSceneObject
{
public:
    TTerrainLOD();
    /// Stops the worker threads; the GL names go back to their context's
    /// owner, which deletes them at its next frame.
    ~TTerrainLOD() override;

    const std::shared_ptr<const THeightSource>& HeightSource() const { return m_source; }
    /// The heights (null: nothing is drawn). The workers start preparing at
    /// the next frame; the tiles of an earlier source are dropped.
    void SetHeightSource(std::shared_ptr<const THeightSource> source);

    /// Largest screen-space error in pixels (default 2): how far, on screen,
    /// a tile's surface may lie from the full-resolution one, and how large
    /// a drape texel may appear where a tile shows the drape coarser than it
    /// is. Values below 0.1 are taken as 0.1.
    float ErrorBound() const { return m_errorBound; }
    void SetErrorBound(float pixels);
    /// Most tiles drawn in a frame (default 1536, at least 1). When the bound
    /// would need more, the largest errors are reduced first and
    /// Statistics().BudgetLimited tells.
    int TileBudget() const { return m_tileBudget; }
    void SetTileBudget(int tiles);
    /// Quads along a tile's side, a power of two from 2 to 128 (default 16:
    /// smaller tiles follow the error bound more closely, at the price of
    /// more draw calls); a change drops every tile.
    int TileCells() const { return m_tileCells; }
    void SetTileCells(int cells);
    /// Bytes of tiles kept in the context beyond those of the current frame
    /// (default 96 MiB); the least recently drawn go first.
    std::size_t CacheBytes() const { return m_cacheBytes; }
    void SetCacheBytes(std::size_t bytes) { m_cacheBytes = bytes; }

    /// hfoTwoSided and hfoTextureCoordinates as for the mesh (default both).
    THeightFieldOptions Options() const { return m_options; }
    void SetOptions(THeightFieldOptions value);

    /// Draws the surface from vertex buffers, never into a display list:
    /// uploads what the workers finished, selects, asks for what is missing,
    /// draws. Rethrows a failure of the height source.
    void DoRender(TRenderContextInfo& rci) override;

    const TTerrainLODStatistics& Statistics() const { return m_statistics; }
    /// The last frame drew every selected tile at its own level.
    bool FrameComplete() const;
    /// Tiles (or the prepared bounds) arrived since the last frame: another
    /// frame would show more. Safe from any thread.
    bool TilesWaiting() const;
    /// Waits (at most timeoutMs) until a frame is worth drawing: the tiles
    /// the last frame asked for are all made, or tiles have been waiting for
    /// a tenth of a second; or until the workers have nothing left to do.
    /// Returns TilesWaiting(). For benchmarks and tests that draw without an
    /// event loop.
    bool WaitForTiles(int timeoutMs);

    /// Called on a worker thread when a frame becomes worth drawing (as
    /// WaitForTiles returns), not for every tile: drawing a frame per tile
    /// would take the processor from the workers. Set it before the first
    /// frame and leave it; it must be safe to call from any thread.
    std::function<void()> OnTilesReady;

    /// A cadencer step: a change notice when a frame is worth drawing, so
    /// that a viewer driven by the cadencer draws the tiles that arrived.
    void DoProgress(double deltaTime, double newTime) override;

private:
    /// A tile in the context: its vertex buffer and texture names.
    struct TResidentTile
    {
        unsigned int Buffer = 0;
        unsigned int Texture = 0;
        std::size_t Bytes = 0;
        long long LastFrame = 0;
        /// The texture settings its texture was given last.
        unsigned int TextureSettings = ~0u;
        bool CrossesEdge = false;
        /// The skirts its neighbours need (bit e for edge e: north, south,
        /// west, east), worked out for each frame's tiles.
        unsigned int Skirts = 0;
        std::uint64_t Key = 0;
    };

    void adoptContext(const TRenderContextInfo& rci);
    void startIfChanged(const TRenderContextInfo& rci);
    void upload(std::vector<TBuiltTile> tiles, const TRenderContextInfo& rci);
    /// 0 while a face turned away from the eye might be seen; otherwise the
    /// winding (GL_CCW or GL_CW) of the faces turned towards it.
    unsigned int farSidesHidden(const TMatrix4f& modelView,
                                const std::function<bool(const TTileKey&)>& drawnAtLevel) const;
    void draw(const std::vector<TResidentTile*>& tiles, unsigned int frontFace,
              TRenderContextInfo& rci);
    void releaseAll();
    void evict();

    std::shared_ptr<const THeightSource> m_source;
    float m_errorBound = 2.0f;
    int m_tileBudget = 1536;
    int m_tileCells = 16;
    std::size_t m_cacheBytes = std::size_t(96) << 20;
    THeightFieldOptions m_options{THeightFieldOption::hfoTwoSided,
                                  THeightFieldOption::hfoTextureCoordinates};

    std::unique_ptr<TTerrainTileLoader> m_loader;
    std::shared_ptr<const TTerrainData> m_data;
    std::weak_ptr<TGLResourceOwner> m_resources;
    bool m_powerOfTwoTextures = false;
    unsigned int m_indexBuffer = 0;
    int m_indexCells = 0;
    int m_surfaceIndices = 0;
    int m_allIndices = 0;
    std::unordered_map<std::uint64_t, TResidentTile> m_resident;
    std::size_t m_residentBytes = 0;
    long long m_frame = 0;
    unsigned int m_textureSettings = 0;
    TTerrainLODStatistics m_statistics;
};

} // namespace skyglide
