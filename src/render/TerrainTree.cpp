#include "render/TerrainTree.h"

#include "render/HeightSource.h"
#include "render/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <queue>
#include <stdexcept>
#include <string>

namespace skyglide {

// ---- layout ------------------------------------------------------------------------

namespace {

// Grids wider than this are not asked for (a bitmap holds at most 4 GiB); it
// keeps every span of the lattice well inside an int.
constexpr int cMaxGridSide = 1 << 24;

int ceilDiv(int a, int b)
{
    return (a + b - 1) / b;
}

} // namespace

TTerrainLayout::TTerrainLayout(int columns, int rows, int tileCells)
    : m_columns(columns), m_rows(rows), m_tileCells(tileCells)
{
    if (tileCells < 2 || tileCells > 128 || (tileCells & (tileCells - 1)) != 0)
        throw std::invalid_argument("TTerrainLayout: tile size " + std::to_string(tileCells) +
                                    " is not a power of two from 2 to 128");
    if (columns > cMaxGridSide || rows > cMaxGridSide)
        throw std::invalid_argument("TTerrainLayout: a grid of " + std::to_string(columns) + " x " +
                                    std::to_string(rows) + " cells is too large");
    if (columns < 2 || rows < 2)
        return;
    int level = 0;
    while (TilesAcross(level) > 1 || TilesDown(level) > 1)
        ++level;
    m_levels = level + 1;
}

int TTerrainLayout::TilesAcross(int level) const
{
    return std::max(1, ceilDiv(m_columns - 1, TileSpan(level)));
}

int TTerrainLayout::TilesDown(int level) const
{
    return std::max(1, ceilDiv(m_rows - 1, TileSpan(level)));
}

bool TTerrainLayout::Exists(const TTileKey& key) const
{
    return key.Level >= 0 && key.Level < m_levels && key.I >= 0 && key.J >= 0 &&
           key.I < TilesAcross(key.Level) && key.J < TilesDown(key.Level);
}

bool TTerrainLayout::CrossesEdge(const TTileKey& key) const
{
    const int span = TileSpan(key.Level);
    return FirstColumn(key) + span > m_columns - 1 || FirstRow(key) + span > m_rows - 1;
}

// ---- bounds ------------------------------------------------------------------------

TTerrainTree::TTerrainTree(const TTerrainLayout& layout) : m_layout(layout)
{
    m_bounds.resize(std::size_t(layout.Levels()));
    for (int level = 0; level < layout.Levels(); ++level)
        m_bounds[std::size_t(level)].resize(std::size_t(layout.TilesAcross(level)) *
                                            std::size_t(layout.TilesDown(level)));
}

namespace {

constexpr float cInfinity = std::numeric_limits<float>::infinity();

// One pass over the lattice of level − 1 for the tiles of one row J of
// `level`: how far the level's surface strays from the finer one at the
// finer vertices, per tile. For level 1 it also finds the height range of
// the level-0 tiles, whose rows it reads in full.
class TDeviationPass
{
public:
    TDeviationPass(const TTerrainLayout& layout, const TClampedHeights& heights, int level)
        : m_layout(layout), m_heights(heights), m_spacing(1 << (level - 1)),
          m_tileLattice(2 * layout.TileCells()), m_lastX(ceilDiv(layout.Columns() - 1, m_spacing)),
          m_lastY(ceilDiv(layout.Rows() - 1, m_spacing))
    {
    }

    // Returns the largest deviation of each tile of row j (false when
    // cancelled); fills the level-0 ranges of tile rows 2j and 2j + 1.
    bool Run(int j, std::vector<float>& deviation, std::vector<TTileBounds>* level0,
             const std::atomic<bool>& cancel) const
    {
        const auto count = static_cast<std::size_t>(m_lastX + 2);
        std::vector<float> previous(count), current(count), next(count);
        const int q0 = j * m_tileLattice;
        const int q1 = std::min((j + 1) * m_tileLattice, m_lastY);
        readRow(q0 - 1, previous);
        readRow(q0, current);
        for (int q = q0; q <= q1; ++q) {
            if (cancel)
                return false;
            readRow(q + 1, next);
            if (q % 2 == 0)
                evenRow(current, deviation);
            else
                oddRow(previous, current, next, deviation);
            if (level0 && q <= m_layout.Rows() - 1)
                rangeRow(j, q, current, *level0);
            std::swap(previous, current);
            std::swap(current, next);
        }
        return true;
    }

private:
    void readRow(int q, std::vector<float>& row) const
    {
        m_heights.Row(q * m_spacing, 0, m_spacing, int(row.size()), row.data());
    }

    // The largest of at(i) over each tile's points i (from its west edge on,
    // every `step`, up to and with its east edge: a point on the line
    // between two tiles counts for both).
    template <class F>
    void noteTiles(std::vector<float>& deviation, int offset, int step, F&& at) const
    {
        for (std::size_t t = 0; t < deviation.size(); ++t) {
            const int west = int(t) * m_tileLattice;
            const int east = std::min(west + m_tileLattice, m_lastX);
            float worst = deviation[t];
            for (int i = west + offset; i <= east; i += step)
                worst = std::max(worst, at(i));
            deviation[t] = worst;
        }
    }

    // Row of the coarse lattice: the odd points lie midway along its edges.
    void evenRow(const std::vector<float>& row, std::vector<float>& deviation) const
    {
        noteTiles(deviation, 1, 2, [&row](int i) {
            const std::size_t k = std::size_t(i);
            return std::abs(row[k] - 0.5f * (row[k - 1] + row[k + 1]));
        });
    }

    // Row midway between two coarse rows: even points lie midway along the
    // coarse columns, odd points on the cell's diagonal, which runs from its
    // south-west corner to its north-east corner (as the mesh's strips cut
    // their quads).
    void oddRow(const std::vector<float>& north, const std::vector<float>& row,
                const std::vector<float>& south, std::vector<float>& deviation) const
    {
        noteTiles(deviation, 0, 1, [&](int i) {
            const std::size_t k = std::size_t(i);
            const float between =
                i % 2 == 0 ? 0.5f * (north[k] + south[k]) : 0.5f * (south[k - 1] + north[k + 1]);
            return std::abs(row[k] - between);
        });
    }

    void rangeRow(int j, int r, const std::vector<float>& row,
                  std::vector<TTileBounds>& level0) const
    {
        const int cells = m_layout.TileCells();
        const int lastColumn = m_layout.Columns() - 1;
        const int across = m_layout.TilesAcross(0);
        for (int tileRow : {r / cells, r / cells - 1}) {
            if (tileRow < 2 * j || tileRow > 2 * j + 1 || tileRow >= m_layout.TilesDown(0))
                continue;
            if (tileRow == r / cells - 1 && r % cells != 0)
                continue;
            for (int i = 0; i < across; ++i) {
                const int c0 = i * cells;
                const int c1 = std::min(c0 + cells, lastColumn);
                const auto [low, high] =
                    std::minmax_element(row.begin() + c0, row.begin() + c1 + 1);
                TTileBounds& bounds =
                    level0[std::size_t(tileRow) * std::size_t(across) + std::size_t(i)];
                bounds.ZMin = std::min(bounds.ZMin, *low);
                bounds.ZMax = std::max(bounds.ZMax, *high);
            }
        }
    }

    const TTerrainLayout& m_layout;
    const TClampedHeights& m_heights;
    int m_spacing;
    int m_tileLattice;
    int m_lastX;
    int m_lastY;
};

// Coarser levels measured against a finer base level: for every tile of the
// base, the largest difference between each coarser level's surface and the
// heights at the base's vertices, exactly; the base's own bound then adds
// the rest of the way to the full resolution. (Adding up each level's
// largest step instead counts differences that partly cancel: about twice
// the true error from the third level on.)
class TLevelDifferencePass
{
public:
    TLevelDifferencePass(const TTerrainLayout& layout, const TClampedHeights& heights, int base,
                         int first)
        : m_layout(layout), m_heights(heights), m_base(base), m_first(first), m_spacing(1 << base),
          m_lastX(ceilDiv(layout.Columns() - 1, m_spacing)),
          m_lastY(ceilDiv(layout.Rows() - 1, m_spacing))
    {
    }

    // difference[L − first][t]: for the tiles t of row j of the base level.
    bool Run(int j, std::vector<std::vector<float>>& difference,
             const std::atomic<bool>& cancel) const
    {
        const int cells = m_layout.TileCells();
        const int across = m_layout.TilesAcross(m_base);
        struct TLattice
        {
            int North = -1;
            std::vector<float> NorthRow, SouthRow;
        };
        std::vector<TLattice> lattices(difference.size());
        for (std::size_t k = 0; k < lattices.size(); ++k) {
            const int spacing = 1 << (m_first + int(k));
            const auto count = std::size_t(ceilDiv(m_layout.Columns() - 1, spacing) + 2);
            lattices[k].NorthRow.resize(count);
            lattices[k].SouthRow.resize(count);
        }
        std::vector<float> row(std::size_t(m_lastX + 1));
        const int q1 = std::min((j + 1) * cells, m_lastY);
        for (int q = j * cells; q <= q1; ++q) {
            if (cancel)
                return false;
            const int r = q * m_spacing;
            m_heights.Row(r, 0, m_spacing, int(row.size()), row.data());
            for (std::size_t k = 0; k < lattices.size(); ++k) {
                const int level = m_first + int(k);
                const int spacing = 1 << level;
                TLattice& lattice = lattices[k];
                const int north = r - r % spacing;
                if (lattice.North != north) {
                    lattice.North = north;
                    const int count = int(lattice.NorthRow.size());
                    m_heights.Row(north, 0, spacing, count, lattice.NorthRow.data());
                    m_heights.Row(north + spacing, 0, spacing, count, lattice.SouthRow.data());
                }
                const float v = float(r - north) / float(spacing);
                float* out = difference[k].data() + std::size_t(j) * std::size_t(across);
                for (int t = 0; t < across; ++t) {
                    const int west = t * cells;
                    const int east = std::min(west + cells, m_lastX);
                    float worst = out[t];
                    for (int i = west; i <= east; ++i) {
                        const int c = i * m_spacing;
                        const std::size_t cell = std::size_t(c >> level);
                        const float u = float(c - (int(cell) << level)) / float(spacing);
                        const float nw = lattice.NorthRow[cell], ne = lattice.NorthRow[cell + 1];
                        const float sw = lattice.SouthRow[cell], se = lattice.SouthRow[cell + 1];
                        // The cell's two triangles, cut from south-west to north-east.
                        const float surface =
                            u + v <= 1.0f ? nw + u * (ne - nw) + v * (sw - nw)
                                          : se + (1.0f - u) * (sw - se) + (1.0f - v) * (ne - se);
                        worst = std::max(worst, std::abs(surface - row[std::size_t(i)]));
                    }
                    out[t] = worst;
                }
            }
        }
        return true;
    }

private:
    const TTerrainLayout& m_layout;
    const TClampedHeights& m_heights;
    int m_base;
    int m_first;
    int m_spacing;
    int m_lastX;
    int m_lastY;
};

// Level 1 adds its largest step to level 0; levels 2 to 4 are measured
// against every cell, exactly, the rest against level 2. A finer base is
// tighter and costs four times as many points per level: measured against
// level 1, level 2's bound came to half again its true error, which drew a
// fifth more triangles flying low.
struct TMeasuredLevels
{
    int Base;
    int First;
    int Last;
};
constexpr TMeasuredLevels cMeasuredLevels[] = {{0, 2, 4}, {2, 5, 1 << 20}};

} // namespace

bool TTerrainTree::Build(const THeightSource& source, int threads, const std::atomic<bool>& cancel)
{
    const int levels = m_layout.Levels();
    if (levels == 0)
        return true;
    const TClampedHeights heights(source);
    std::vector<TTileBounds>& level0 = m_bounds[0];
    for (TTileBounds& bounds : level0)
        bounds = {0.0f, cInfinity, -cInfinity};

    if (levels == 1) {
        // One tile holds every cell: only its range is wanted.
        std::vector<float> row(std::size_t(m_layout.Columns()));
        for (int r = 0; r < m_layout.Rows(); ++r) {
            if (cancel)
                return false;
            heights.Row(r, 0, 1, int(row.size()), row.data());
            const auto [low, high] = std::minmax_element(row.begin(), row.end());
            level0[0].ZMin = std::min(level0[0].ZMin, *low);
            level0[0].ZMax = std::max(level0[0].ZMax, *high);
        }
        return true;
    }

    // Level 1: its largest step from level 0, exactly its error.
    {
        const TDeviationPass pass(m_layout, heights, 1);
        const int across = m_layout.TilesAcross(1);
        std::vector<TTileBounds>& bounds = m_bounds[1];
        ParallelFor(m_layout.TilesDown(1), threads, [&](int j) {
            std::vector<float> deviation(std::size_t(across), 0.0f);
            if (!pass.Run(j, deviation, &level0, cancel))
                return;
            for (int i = 0; i < across; ++i) {
                TTileBounds& tile = bounds[std::size_t(j) * std::size_t(across) + std::size_t(i)];
                tile = fromChildren(1, i, j);
                tile.Error += deviation[std::size_t(i)];
            }
        });
        if (cancel)
            return false;
    }

    for (const TMeasuredLevels& stage : cMeasuredLevels) {
        const int last = std::min(stage.Last, levels - 1);
        if (stage.First > last)
            break;
        const TLevelDifferencePass pass(m_layout, heights, stage.Base, stage.First);
        const int baseAcross = m_layout.TilesAcross(stage.Base);
        const int baseDown = m_layout.TilesDown(stage.Base);
        std::vector<std::vector<float>> difference(
            std::size_t(last - stage.First + 1),
            std::vector<float>(std::size_t(baseAcross) * std::size_t(baseDown), 0.0f));
        ParallelFor(baseDown, threads, [&](int j) { pass.Run(j, difference, cancel); });
        if (cancel)
            return false;
        const std::vector<TTileBounds>& base = m_bounds[std::size_t(stage.Base)];
        for (int level = stage.First; level <= last; ++level) {
            const std::vector<float>& measured = difference[std::size_t(level - stage.First)];
            const int per = 1 << (level - stage.Base);
            for (int j = 0; j < m_layout.TilesDown(level); ++j)
                for (int i = 0; i < m_layout.TilesAcross(level); ++i) {
                    TTileBounds tile = fromChildren(level, i, j);
                    tile.Error = 0.0f;
                    for (int bj = j * per; bj < std::min((j + 1) * per, baseDown); ++bj)
                        for (int bi = i * per; bi < std::min((i + 1) * per, baseAcross); ++bi) {
                            const std::size_t b =
                                std::size_t(bj) * std::size_t(baseAcross) + std::size_t(bi);
                            tile.Error = std::max(tile.Error, measured[b] + base[b].Error);
                        }
                    m_bounds[std::size_t(level)][m_layout.Index({level, i, j})] = tile;
                }
        }
    }
    return true;
}

TTileBounds TTerrainTree::fromChildren(int level, int i, int j) const
{
    const int childAcross = m_layout.TilesAcross(level - 1);
    const int childDown = m_layout.TilesDown(level - 1);
    const std::vector<TTileBounds>& children = m_bounds[std::size_t(level - 1)];
    TTileBounds tile{0.0f, cInfinity, -cInfinity};
    for (int cj = 2 * j; cj <= std::min(2 * j + 1, childDown - 1); ++cj)
        for (int ci = 2 * i; ci <= std::min(2 * i + 1, childAcross - 1); ++ci) {
            const TTileBounds& child =
                children[std::size_t(cj) * std::size_t(childAcross) + std::size_t(ci)];
            tile.Error = std::max(tile.Error, child.Error);
            tile.ZMin = std::min(tile.ZMin, child.ZMin);
            tile.ZMax = std::max(tile.ZMax, child.ZMax);
        }
    return tile;
}

// ---- view --------------------------------------------------------------------------

TTileView::TTileView(const TTerrainTree& tree, const TTexelSizes& texels, const TTerrainView& view)
    : m_tree(tree), m_texels(texels)
{
    double projection[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            m_modelView[i][j] = view.ModelView.M[i][j];
            projection[i][j] = view.Projection.M[i][j];
        }
    // Points are rows multiplied from the left: clip = local × modelview × projection.
    double clip[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            clip[i][j] = 0.0;
            for (int k = 0; k < 4; ++k)
                clip[i][j] += m_modelView[i][k] * projection[k][j];
        }
    // −w ≤ x, y, z ≤ w, each as a plane a · (x, y, z, 1) ≥ 0 in local coordinates.
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side) {
            double* plane = m_planes[2 * axis + side];
            const double sign = side == 0 ? 1.0 : -1.0;
            for (int i = 0; i < 4; ++i)
                plane[i] = clip[i][3] + sign * clip[i][axis];
        }
    auto length = [this](int row) {
        return std::sqrt(m_modelView[row][0] * m_modelView[row][0] +
                         m_modelView[row][1] * m_modelView[row][1] +
                         m_modelView[row][2] * m_modelView[row][2]);
    };
    m_unitX = length(0);
    m_unitY = length(1);
    m_unitZ = length(2);
    m_perspective = projection[2][3] != 0.0;
    m_pixelsPerUnit = std::max(std::abs(projection[0][0]) * view.ViewportWidth * 0.5,
                               std::abs(projection[1][1]) * view.ViewportHeight * 0.5);
    const TTerrainLayout& layout = tree.Layout();
    if (layout.Levels() > 0)
        m_skirtFloor = tree.Bounds(layout.Root()).ZMin;
}

namespace {

struct TBox
{
    double Low[3];
    double High[3];
};

TBox tileBox(const TTerrainLayout& layout, const TTileKey& key, double zMin, double zMax)
{
    const int span = layout.TileSpan(key.Level);
    const int c0 = layout.FirstColumn(key);
    const int r0 = layout.FirstRow(key);
    const int c1 = std::min(c0 + span, layout.Columns() - 1);
    const int r1 = std::min(r0 + span, layout.Rows() - 1);
    return {{layout.X(c0), layout.Y(r1), zMin}, {layout.X(c1), layout.Y(r0), zMax}};
}

} // namespace

bool TTileView::Visible(const TTileKey& key) const
{
    const TTileBounds& bounds = m_tree.Bounds(key);
    // The skirts hang below the tile, at most as far as the lowest point of
    // the surface less the tile's own height range: through a crack one may
    // see a skirt whose tile is out of view.
    const double floor =
        double(m_skirtFloor) - double(bounds.ZMax - bounds.ZMin) - double(SkirtMargin(m_tree));
    const TBox box = tileBox(m_tree.Layout(), key, floor, bounds.ZMax);
    for (const double* plane : m_planes) {
        double distance = plane[3];
        for (int axis = 0; axis < 3; ++axis)
            distance += plane[axis] * (plane[axis] >= 0.0 ? box.High[axis] : box.Low[axis]);
        if (distance < 0.0)
            return false;
    }
    return true;
}

float TTileView::ScreenError(const TTileKey& key, float& distance) const
{
    const TTileBounds& bounds = m_tree.Bounds(key);
    const TBox box = tileBox(m_tree.Layout(), key, bounds.ZMin, bounds.ZMax);
    double low[3] = {cInfinity, cInfinity, cInfinity};
    double high[3] = {-cInfinity, -cInfinity, -cInfinity};
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {(corner & 1) ? box.High[0] : box.Low[0],
                             (corner & 2) ? box.High[1] : box.Low[1],
                             (corner & 4) ? box.High[2] : box.Low[2]};
        for (int j = 0; j < 3; ++j) {
            const double e = p[0] * m_modelView[0][j] + p[1] * m_modelView[1][j] +
                             p[2] * m_modelView[2][j] + m_modelView[3][j];
            low[j] = std::min(low[j], e);
            high[j] = std::max(high[j], e);
        }
    }
    double squared = 0.0;
    for (int j = 0; j < 3; ++j) {
        const double outside = std::max({0.0, low[j], -high[j]});
        squared += outside * outside;
    }
    const double d = std::sqrt(squared);
    distance = float(d);

    const std::size_t level = std::size_t(key.Level);
    const double texelX = level < m_texels.X.size() ? m_texels.X[level] : 0.0;
    const double texelY = level < m_texels.Y.size() ? m_texels.Y[level] : 0.0;
    const double size =
        std::max({double(bounds.Error) * m_unitZ, texelX * m_unitX, texelY * m_unitY});
    if (size <= 0.0)
        return 0.0f;
    if (!m_perspective)
        return float(size * m_pixelsPerUnit);
    if (d <= 0.0)
        return cInfinity;
    return float(size * m_pixelsPerUnit / d);
}

float SkirtMargin(const TTerrainTree& tree)
{
    const TTerrainLayout& layout = tree.Layout();
    if (layout.Levels() == 0)
        return 0.0f;
    const TTileBounds& root = tree.Bounds(layout.Root());
    return 1e-3f * std::max(root.ZMax - root.ZMin, 1e-3f);
}

// ---- selection ---------------------------------------------------------------------

TTileSelection SelectTiles(const TTerrainTree& tree, const TTexelSizes& texels,
                           const TTerrainView& view, const TSelectionSettings& settings)
{
    TTileSelection selection;
    const TTerrainLayout& layout = tree.Layout();
    if (layout.Levels() == 0)
        return selection;
    const TTileView tiles(tree, texels, view);
    const TTileKey root = layout.Root();
    if (!tiles.Visible(root))
        return selection;

    auto rated = [&tiles](const TTileKey& key) {
        TSelectedTile tile{key, 0.0f, 0.0f};
        tile.Error = tiles.ScreenError(key, tile.Distance);
        return tile;
    };
    auto lessError = [](const TSelectedTile& a, const TSelectedTile& b) {
        return a.Error < b.Error;
    };
    std::priority_queue<TSelectedTile, std::vector<TSelectedTile>, decltype(lessError)> open(
        lessError);
    open.push(rated(root));
    const int budget = std::max(1, settings.TileBudget);
    int count = 1;
    std::vector<TSelectedTile> children;
    while (!open.empty()) {
        const TSelectedTile tile = open.top();
        if (tile.Error <= settings.ErrorBound || tile.Key.Level == 0) {
            // The worst tile left meets the bound, or has nothing finer to give.
            if (tile.Key.Level > 0)
                break;
            open.pop();
            selection.Tiles.push_back(tile);
            continue;
        }
        children.clear();
        const int level = tile.Key.Level - 1;
        for (int j = 2 * tile.Key.J; j <= 2 * tile.Key.J + 1; ++j)
            for (int i = 2 * tile.Key.I; i <= 2 * tile.Key.I + 1; ++i) {
                const TTileKey child{level, i, j};
                if (layout.Exists(child) && tiles.Visible(child))
                    children.push_back(rated(child));
            }
        if (count - 1 + int(children.size()) > budget) {
            selection.BudgetLimited = true;
            break;
        }
        open.pop();
        count += int(children.size()) - 1;
        for (const TSelectedTile& child : children)
            open.push(child);
    }
    for (; !open.empty(); open.pop())
        selection.Tiles.push_back(open.top());
    for (const TSelectedTile& tile : selection.Tiles)
        selection.MaxError = std::max(selection.MaxError, tile.Error);
    std::sort(
        selection.Tiles.begin(), selection.Tiles.end(),
        [](const TSelectedTile& a, const TSelectedTile& b) { return a.Distance < b.Distance; });
    return selection;
}

} // namespace skyglide
