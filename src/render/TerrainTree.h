#pragma once

// The tile hierarchy of the level-of-detail surface, without any GL: where
// each tile lies on the grid, how far its simplified surface may stray from
// the full-resolution one, and which tiles a view needs.
//
// Grid cell (c, r) lies at local x = c / (Columns − 1), y = 1 − r / (Rows − 1)
// (row 0, the north row, at y = 1), its height along z: the placement of the
// height-field mesh that samples every cell.

#include "render/VectorGeometry.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace skyglide {

class THeightSource;

/// One tile: its level (0 holds every cell) and its place at that level,
/// column I and row J of tiles from the north-west corner.
struct TTileKey
{
    int Level = 0;
    int I = 0;
    int J = 0;

    friend bool operator==(const TTileKey&, const TTileKey&) = default;
    /// One number per tile, for sets and maps.
    std::uint64_t Packed() const
    {
        return (std::uint64_t(Level) << 56) | (std::uint64_t(std::uint32_t(J)) << 28) |
               std::uint64_t(std::uint32_t(I));
    }
    static TTileKey FromPacked(std::uint64_t packed)
    {
        return {int(packed >> 56), int(packed & 0xFFFFFFFu), int((packed >> 28) & 0xFFFFFFFu)};
    }
};

/// Where the tiles lie. A tile of level L has TileCells() × TileCells()
/// quads with a vertex every 2^L cells, on the lattice of multiples of 2^L
/// from the north-west corner. The lattice runs on past the east and south
/// edges where the grid does not end on it; the heights there repeat the
/// edge cells, and the surface clips that part away (x > 1, y < 0), so that
/// every tile is a full square and the levels nest exactly.
class TTerrainLayout
{
public:
    TTerrainLayout() = default;
    /// tileCells is a power of two from 2 to 128. A grid narrower than 2
    /// cells in either direction has no tiles (Levels() is 0).
    TTerrainLayout(int columns, int rows, int tileCells);

    int Columns() const { return m_columns; }
    int Rows() const { return m_rows; }
    int TileCells() const { return m_tileCells; }
    /// Levels 0 … Levels() − 1; the last holds the one root tile.
    int Levels() const { return m_levels; }
    int RootLevel() const { return m_levels - 1; }
    TTileKey Root() const { return {RootLevel(), 0, 0}; }

    /// Cells from one vertex of a level to the next: 2^level.
    static int Spacing(int level) { return 1 << level; }
    /// Cells a tile of the level spans: TileCells() × 2^level.
    int TileSpan(int level) const { return m_tileCells << level; }
    int TilesAcross(int level) const;
    int TilesDown(int level) const;
    bool Exists(const TTileKey& key) const;
    /// First (west) column and first (north) row of the tile.
    int FirstColumn(const TTileKey& key) const { return key.I * TileSpan(key.Level); }
    int FirstRow(const TTileKey& key) const { return key.J * TileSpan(key.Level); }
    /// The tile reaches past the east or the south edge of the grid.
    bool CrossesEdge(const TTileKey& key) const;

    /// Local coordinates of column c and row r.
    double X(int column) const { return double(column) / double(m_columns - 1); }
    double Y(int row) const { return 1.0 - double(row) / double(m_rows - 1); }

    /// Index of the tile among those of its level, row by row.
    std::size_t Index(const TTileKey& key) const
    {
        return std::size_t(key.J) * std::size_t(TilesAcross(key.Level)) + std::size_t(key.I);
    }

private:
    int m_columns = 0;
    int m_rows = 0;
    int m_tileCells = 32;
    int m_levels = 0;
};

/// What a tile's simplified surface may be off by, and where it lies.
struct TTileBounds
{
    /// The largest height difference between the tile's surface and the
    /// full-resolution surface over the tile (an upper bound), in z units.
    float Error = 0.0f;
    float ZMin = 0.0f;
    float ZMax = 0.0f;
};

/// The bounds of every tile, computed once from the heights. The error of
/// level 1 is how far its surface strays from the cells at the cells; that of
/// a coarser level is how far it strays from a finer base level (1 for levels
/// 2 to 4, 2 for the others) at the base's vertices, exactly, plus the
/// base's own error, per tile of the base. Both bound the whole difference,
/// because every finer triangulation subdivides the coarser ones.
class TTerrainTree
{
public:
    explicit TTerrainTree(const TTerrainLayout& layout);

    const TTerrainLayout& Layout() const { return m_layout; }
    const TTileBounds& Bounds(const TTileKey& key) const
    {
        return m_bounds[std::size_t(key.Level)][m_layout.Index(key)];
    }

    /// Reads every cell once (and the coarser lattices again), on up to
    /// `threads` threads. Returns false, with the bounds incomplete, when
    /// cancel became true meanwhile. Exceptions of the source pass on.
    bool Build(const THeightSource& source, int threads, const std::atomic<bool>& cancel);

private:
    /// The largest error and the height range of the tile's children.
    TTileBounds fromChildren(int level, int i, int j) const;

    TTerrainLayout m_layout;
    std::vector<std::vector<TTileBounds>> m_bounds;
};

/// The least depth of a tile's skirts, in z units: a thousandth of the
/// surface's height range, so that seams where two tiles meet exactly are
/// covered too.
float SkirtMargin(const TTerrainTree& tree);

/// The size of one drape texel in local x and y units at each level, where
/// a level's tiles show the drape coarser than it is (0 where they show it
/// at full resolution, or where there is no drape).
struct TTexelSizes
{
    std::vector<double> X;
    std::vector<double> Y;
};

/// What the tiles are seen with: the matrices as OpenGL holds them while
/// the surface is drawn (local to eye, eye to clip) and the viewport.
struct TTerrainView
{
    TMatrix4f ModelView;
    TMatrix4f Projection;
    int ViewportWidth = 1;
    int ViewportHeight = 1;
};

struct TSelectionSettings
{
    /// Largest screen-space error in pixels.
    float ErrorBound = 2.0f;
    /// Largest number of tiles drawn.
    int TileBudget = 256;
};

struct TSelectedTile
{
    TTileKey Key;
    /// Screen-space error in pixels.
    float Error = 0.0f;
    /// Distance from the eye to the tile's box, in eye units.
    float Distance = 0.0f;
};

struct TTileSelection
{
    /// The visible tiles of the view, covering the visible part of the grid
    /// once, nearest first.
    std::vector<TSelectedTile> Tiles;
    /// The largest screen-space error among them.
    float MaxError = 0.0f;
    /// The budget stopped the refinement before every tile met the bound.
    bool BudgetLimited = false;
};

/// Screen-space error and culling of tiles for one view.
///
/// A tile's error in pixels is the larger of its height error and its
/// texel size, each carried into eye space, times the projection's pixels
/// per unit at unit distance, over the distance from the eye to the tile's
/// box (with the eye inside the box, infinite). Tiles whose box (skirts
/// included) lies outside the view volume are culled.
class TTileView
{
public:
    TTileView(const TTerrainTree& tree, const TTexelSizes& texels, const TTerrainView& view);
    bool Visible(const TTileKey& key) const;
    /// Error in pixels; distance is set to the eye-to-box distance.
    float ScreenError(const TTileKey& key, float& distance) const;

private:
    const TTerrainTree& m_tree;
    const TTexelSizes& m_texels;
    double m_modelView[4][4];
    double m_planes[6][4];
    double m_unitX = 0, m_unitY = 0, m_unitZ = 0;
    double m_pixelsPerUnit = 1;
    bool m_perspective = true;
    float m_skirtFloor = 0;
};

/// The tiles of a view: from the root, the visible tile with the largest
/// error is replaced by its visible children while that error exceeds the
/// bound and the budget allows. Never more tiles than the budget (at least
/// one); BudgetLimited tells when the bound could not be kept.
TTileSelection SelectTiles(const TTerrainTree& tree, const TTexelSizes& texels,
                           const TTerrainView& view, const TSelectionSettings& settings);

} // namespace skyglide
