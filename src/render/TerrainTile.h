#pragma once

// What a worker thread makes for one tile of the level-of-detail surface,
// without any GL: its vertices (positions, normals from the full-resolution
// grid, drape coordinates) with skirts deep enough to close every seam, and
// its piece of the drape with mipmaps. The drape is taken from a pyramid of
// box-filtered copies, so that a tile far away does not read every pixel it
// covers.

#include "render/TerrainTree.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace skyglide {

class TBitmap;
class THeightSource;

/// One vertex as the vertex buffer holds it: position in the surface's local
/// frame, unit normal, drape coordinate of the tile's texture.
struct TTerrainVertex
{
    float X, Y, Z;
    float NX, NY, NZ;
    float S, T;
};

/// Vertices of a tile: (TileCells + 1)² surface vertices row by row from the
/// north-west corner, then four rows of TileCells + 1 skirt vertices (north,
/// south, west and east edges), each under its edge vertex.
int TileVertexCount(int tileCells);

/// The triangles every tile shares: the surface first (each quad cut from
/// its south-west to its north-east corner, as the mesh's strips cut theirs,
/// counter-clockwise seen from above), then the skirts.
struct TTileIndices
{
    std::vector<std::uint16_t> Indices;
    int SurfaceCount = 0;
};
TTileIndices TileIndices(int tileCells);

/// Which texels of the drape a tile's texture holds.
struct TDrapePlacement
{
    /// Pyramid level: every texel averages 2^Level × 2^Level drape pixels.
    int Level = 0;
    /// First texel column (from the west) and row (from the south).
    int X0 = 0;
    int Y0 = 0;
    /// Texels taken from the pyramid level.
    int Width = 0;
    int Height = 0;
    /// Sides of the texture: Width and Height, or the powers of two above
    /// them for a context that needs those (the rest repeats the last texel).
    int TextureWidth = 0;
    int TextureHeight = 0;
};

/// How the drape is laid over the tiles. Drape coordinate S of column c is
/// c / (Columns − 1) and T of row r is 1 − r / (Rows − 1), as the mesh
/// gives them, S spanning the drape's width and T its height from the south
/// edge: the drape may have another size than the grid. Each level shows the
/// drape at the finest pyramid level whose tile textures fit in maxSide
/// texels.
class TDrapeLayout
{
public:
    /// No drape.
    TDrapeLayout() = default;
    TDrapeLayout(const TTerrainLayout& layout, int drapeWidth, int drapeHeight, int maxSide,
                 bool powerOfTwo);

    bool Empty() const { return m_drapeWidth <= 0 || m_drapeHeight <= 0; }
    /// Pyramid level of a tile level's textures.
    int LevelOf(int tileLevel) const { return m_levelOf[std::size_t(tileLevel)]; }
    /// Pyramid levels the tiles use (0 … PyramidLevels() − 1).
    int PyramidLevels() const;
    TDrapePlacement Place(const TTileKey& key) const;
    /// Drape coordinates of grid point (column, row) in the texture of placement.
    void TexCoord(const TDrapePlacement& placement, int column, int row, float& s, float& t) const;
    /// The texel sizes the tile selection weighs.
    TTexelSizes TexelSizes() const;

private:
    int m_columns = 0;
    int m_rows = 0;
    int m_drapeWidth = 0;
    int m_drapeHeight = 0;
    bool m_powerOfTwo = false;
    std::vector<int> m_tileSpan;
    std::vector<int> m_levelOf;
};

/// The drape at every pyramid level. Levels 0 to 2 are read from the drape
/// itself when asked for (averaging up to 4 × 4 pixels); the levels from 3
/// on are built once and kept as RGB: a sixty-fourth of the drape's pixels
/// and less, three bytes each.
class TDrapePyramid
{
public:
    /// picture: an 8-bit palette bitmap or a 24-bit (blue, green, red) one.
    /// Throws std::invalid_argument for other bitmaps.
    explicit TDrapePyramid(std::shared_ptr<const TBitmap> picture);

    /// Builds the kept levels below `levels` on up to `threads` threads; false
    /// when cancel became true meanwhile.
    bool Build(int levels, int threads, const std::atomic<bool>& cancel);

    int Width(int level) const;
    int Height(int level) const;
    /// count texels of row yFromTop of the level from column x as RGBA (alpha 255).
    void Row(int level, int yFromTop, int x, int count, std::uint8_t* rgba) const;
    /// Bytes of the kept levels.
    std::size_t StoredBytes() const;

private:
    /// count pixels of drape row y from column x as RGB.
    void baseRow(int y, int x, int count, std::uint8_t* rgb) const;

    /// The first level kept in memory.
    static constexpr int cFirstKept = 3;

    std::shared_ptr<const TBitmap> m_picture;
    std::vector<std::vector<std::uint8_t>> m_levels; // cFirstKept at index 0
};

/// A tile's texture: level 0 and its mipmaps down to 1 × 1, RGBA, rows from
/// the south (the texture's T = 0 edge).
struct TTileImage
{
    int Width = 0;
    int Height = 0;
    std::vector<std::vector<std::uint8_t>> Levels;

    std::size_t Bytes() const;
};
TTileImage BuildTileImage(const TDrapePyramid& pyramid, const TDrapePlacement& placement);

/// A tile's vertices, and how deep each skirt hangs (north, south, west,
/// east; 0 along the grid's own edges, which no other tile meets).
struct TTileMesh
{
    std::vector<TTerrainVertex> Vertices;
    float SkirtDepth[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

/// Builds the tile. A skirt reaches below every edge another tile can show
/// along that seam: a finer one (the full-resolution heights under the
/// edge) or a coarser one of any level (its interpolation of the lattice
/// points along the seam), plus SkirtMargin.
TTileMesh BuildTileMesh(const TTerrainTree& tree, const THeightSource& source,
                        const TDrapeLayout& drape, const TTileKey& key);

} // namespace skyglide
