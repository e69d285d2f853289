#include "render/TerrainTile.h"

#include "data/Bitmap.h"
#include "render/HeightSource.h"
#include "render/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

namespace skyglide {

// ---- topology ----------------------------------------------------------------------

int TileVertexCount(int tileCells)
{
    const int side = tileCells + 1;
    return side * side + 4 * side;
}

TTileIndices TileIndices(int tileCells)
{
    const int side = tileCells + 1;
    TTileIndices result;
    std::vector<std::uint16_t>& out = result.Indices;
    out.reserve(std::size_t(6 * tileCells * tileCells + 24 * tileCells));
    auto quad = [&out](int north0, int south0, int north1, int south1) {
        // The strips' order: (north0, south0, north1), (north1, south0, south1).
        for (int v : {north0, south0, north1, north1, south0, south1})
            out.push_back(std::uint16_t(v));
    };
    for (int k = 0; k < tileCells; ++k)
        for (int m = 0; m < tileCells; ++m)
            quad(k * side + m, (k + 1) * side + m, k * side + m + 1, (k + 1) * side + m + 1);
    result.SurfaceCount = int(out.size());

    // Each skirt joins its edge to the row of vertices hanging under it.
    const int skirts = side * side;
    for (int edge = 0; edge < 4; ++edge) {
        auto edgeVertex = [&](int m) {
            switch (edge) {
            case 0:
                return m;
            case 1:
                return tileCells * side + m;
            case 2:
                return m * side;
            default:
                return m * side + tileCells;
            }
        };
        const int hanging = skirts + edge * side;
        for (int m = 0; m < tileCells; ++m)
            quad(edgeVertex(m), hanging + m, edgeVertex(m + 1), hanging + m + 1);
    }
    return result;
}

// ---- drape layout ------------------------------------------------------------------

namespace {

int powerOfTwoAbove(int value)
{
    int power = 1;
    while (power < value)
        power <<= 1;
    return power;
}

// Texels a span of `pixels` drape pixels needs at a pyramid level, at most:
// its own, and one more at each end for the filter's neighbours.
int texelsFor(double pixels, int level)
{
    return int(std::ceil(pixels / double(1 << level))) + 3;
}

} // namespace

TDrapeLayout::TDrapeLayout(const TTerrainLayout& layout, int drapeWidth, int drapeHeight,
                           int maxSide, bool powerOfTwo)
    : m_columns(layout.Columns()), m_rows(layout.Rows()), m_drapeWidth(drapeWidth),
      m_drapeHeight(drapeHeight), m_powerOfTwo(powerOfTwo)
{
    if (Empty() || layout.Levels() == 0) {
        m_drapeWidth = m_drapeHeight = 0;
        return;
    }
    int deepest = 0;
    while ((1 << deepest) < std::max(drapeWidth, drapeHeight))
        ++deepest;
    for (int level = 0; level < layout.Levels(); ++level) {
        const int span = layout.TileSpan(level);
        m_tileSpan.push_back(span);
        const double across = double(span) * drapeWidth / double(m_columns - 1);
        const double down = double(span) * drapeHeight / double(m_rows - 1);
        int p = 0;
        auto side = [&](double pixels) {
            const int texels = texelsFor(pixels, p);
            return powerOfTwo ? powerOfTwoAbove(texels) : texels;
        };
        while (p < deepest && (side(across) > maxSide || side(down) > maxSide))
            ++p;
        m_levelOf.push_back(p);
    }
}

int TDrapeLayout::PyramidLevels() const
{
    return m_levelOf.empty() ? 0 : *std::max_element(m_levelOf.begin(), m_levelOf.end()) + 1;
}

TDrapePlacement TDrapeLayout::Place(const TTileKey& key) const
{
    TDrapePlacement placement;
    if (Empty())
        return placement;
    const int p = LevelOf(key.Level);
    placement.Level = p;
    const double scale = 1.0 / double(1 << p);
    const int levelWidth = (m_drapeWidth + (1 << p) - 1) >> p;
    const int levelHeight = (m_drapeHeight + (1 << p) - 1) >> p;
    const int span = m_tileSpan[std::size_t(key.Level)];
    const int c0 = key.I * span;
    const int r0 = key.J * span;
    const double u0 = double(c0) / double(m_columns - 1) * m_drapeWidth * scale;
    const double u1 = double(c0 + span) / double(m_columns - 1) * m_drapeWidth * scale;
    const double v0 = (1.0 - double(r0 + span) / double(m_rows - 1)) * m_drapeHeight * scale;
    const double v1 = (1.0 - double(r0) / double(m_rows - 1)) * m_drapeHeight * scale;
    auto texel = [](double at, int limit) { return std::clamp(int(std::floor(at)), 0, limit - 1); };
    placement.X0 = texel(u0 - 0.5, levelWidth);
    placement.Y0 = texel(v0 - 0.5, levelHeight);
    placement.Width = texel(u1 + 0.5, levelWidth) - placement.X0 + 1;
    placement.Height = texel(v1 + 0.5, levelHeight) - placement.Y0 + 1;
    placement.TextureWidth = m_powerOfTwo ? powerOfTwoAbove(placement.Width) : placement.Width;
    placement.TextureHeight = m_powerOfTwo ? powerOfTwoAbove(placement.Height) : placement.Height;
    return placement;
}

void TDrapeLayout::TexCoord(const TDrapePlacement& placement, int column, int row, float& s,
                            float& t) const
{
    if (Empty()) {
        s = t = 0.0f;
        return;
    }
    const double scale = 1.0 / double(1 << placement.Level);
    const double u = double(column) / double(m_columns - 1) * m_drapeWidth * scale;
    const double v = (1.0 - double(row) / double(m_rows - 1)) * m_drapeHeight * scale;
    s = float((u - placement.X0) / placement.TextureWidth);
    t = float((v - placement.Y0) / placement.TextureHeight);
}

TTexelSizes TDrapeLayout::TexelSizes() const
{
    TTexelSizes sizes;
    for (int p : m_levelOf) {
        sizes.X.push_back(p > 0 ? double(1 << p) / m_drapeWidth : 0.0);
        sizes.Y.push_back(p > 0 ? double(1 << p) / m_drapeHeight : 0.0);
    }
    return sizes;
}

// ---- pyramid -----------------------------------------------------------------------

TDrapePyramid::TDrapePyramid(std::shared_ptr<const TBitmap> picture) : m_picture(std::move(picture))
{
    if (!m_picture || (m_picture->PixelFormat() != TPixelFormat::pf8bit &&
                       m_picture->PixelFormat() != TPixelFormat::pf24bit))
        throw std::invalid_argument(
            "TDrapePyramid: the drape must be an 8-bit palette or a 24-bit picture");
}

int TDrapePyramid::Width(int level) const
{
    return (m_picture->Width() + (1 << level) - 1) >> level;
}

int TDrapePyramid::Height(int level) const
{
    return (m_picture->Height() + (1 << level) - 1) >> level;
}

void TDrapePyramid::baseRow(int y, int x, int count, std::uint8_t* rgb) const
{
    const std::uint8_t* line = m_picture->ScanLine(y);
    if (m_picture->PixelFormat() == TPixelFormat::pf8bit) {
        const TPalette& palette = m_picture->Palette();
        for (int k = 0; k < count; ++k, rgb += 3) {
            const TPaletteEntry& entry = palette[line[x + k]];
            rgb[0] = entry.Red;
            rgb[1] = entry.Green;
            rgb[2] = entry.Blue;
        }
    } else {
        const std::uint8_t* p = line + 3 * std::ptrdiff_t(x);
        for (int k = 0; k < count; ++k, rgb += 3, p += 3) {
            rgb[0] = p[2];
            rgb[1] = p[1];
            rgb[2] = p[0];
        }
    }
}

namespace {

// Texels x … x + count − 1 of row y of an image `factor` times coarser than
// a finer one of width × height, each the rounded mean of the finer pixels
// under it (fewer along the finer image's east and south edges), as RGB.
// finerRow(y, x, count, rgb) reads the finer image.
template <class F>
void meanRow(F&& finerRow, int width, int height, int factor, int y, int x, int count,
             std::uint8_t* rgb)
{
    const int first = x * factor;
    const int last = std::min((x + count) * factor, width);
    std::vector<std::uint8_t> line(std::size_t(last - first) * 3);
    std::vector<unsigned> sums(std::size_t(count) * 3, 0u);
    int rows = 0;
    for (int fy = y * factor; fy < std::min((y + 1) * factor, height); ++fy, ++rows) {
        finerRow(fy, first, last - first, line.data());
        for (int fx = first; fx < last; ++fx) {
            const std::size_t k = std::size_t(fx / factor - x) * 3;
            const std::size_t f = std::size_t(fx - first) * 3;
            sums[k] += line[f];
            sums[k + 1] += line[f + 1];
            sums[k + 2] += line[f + 2];
        }
    }
    for (int k = 0; k < count; ++k) {
        const int columns = std::min((x + k + 1) * factor, width) - (x + k) * factor;
        const unsigned n = unsigned(std::max(columns, 1) * std::max(rows, 1));
        for (int channel = 0; channel < 3; ++channel)
            rgb[3 * k + channel] = std::uint8_t((sums[std::size_t(3 * k + channel)] + n / 2) / n);
    }
}

} // namespace

bool TDrapePyramid::Build(int levels, int threads, const std::atomic<bool>& cancel)
{
    m_levels.clear();
    auto baseRows = [this](int y, int x, int count, std::uint8_t* rgb) {
        baseRow(y, x, count, rgb);
    };
    for (int level = cFirstKept; level < levels; ++level) {
        const int width = Width(level);
        std::vector<std::uint8_t> texels(std::size_t(width) * std::size_t(Height(level)) * 3);
        const std::vector<std::uint8_t>* finer = m_levels.empty() ? nullptr : &m_levels.back();
        const int finerWidth = Width(level - 1);
        auto finerRows = [finer, finerWidth](int y, int x, int count, std::uint8_t* rgb) {
            const std::uint8_t* p =
                finer->data() + (std::size_t(y) * std::size_t(finerWidth) + std::size_t(x)) * 3;
            std::copy(p, p + std::size_t(count) * 3, rgb);
        };
        ParallelFor(Height(level), threads, [&](int y) {
            if (cancel)
                return;
            std::uint8_t* out = texels.data() + std::size_t(y) * std::size_t(width) * 3;
            // The first kept level straight from the drape, the others from
            // the level below.
            if (!finer)
                meanRow(baseRows, m_picture->Width(), m_picture->Height(), 1 << level, y, 0, width,
                        out);
            else
                meanRow(finerRows, finerWidth, Height(level - 1), 2, y, 0, width, out);
        });
        if (cancel)
            return false;
        m_levels.push_back(std::move(texels));
    }
    return true;
}

void TDrapePyramid::Row(int level, int yFromTop, int x, int count, std::uint8_t* rgba) const
{
    std::vector<std::uint8_t> rgb(std::size_t(count) * 3);
    if (level == 0) {
        baseRow(yFromTop, x, count, rgb.data());
    } else if (level < cFirstKept) {
        meanRow([this](int y, int from, int n, std::uint8_t* out) { baseRow(y, from, n, out); },
                m_picture->Width(), m_picture->Height(), 1 << level, yFromTop, x, count,
                rgb.data());
    } else {
        const std::uint8_t* p =
            m_levels[std::size_t(level - cFirstKept)].data() +
            (std::size_t(yFromTop) * std::size_t(Width(level)) + std::size_t(x)) * 3;
        std::copy(p, p + rgb.size(), rgb.begin());
    }
    for (int k = 0; k < count; ++k) {
        std::copy_n(rgb.begin() + 3 * k, 3, rgba + 4 * k);
        rgba[4 * k + 3] = 255;
    }
}

std::size_t TDrapePyramid::StoredBytes() const
{
    std::size_t bytes = 0;
    for (const auto& level : m_levels)
        bytes += level.size();
    return bytes;
}

// ---- tile texture ------------------------------------------------------------------

std::size_t TTileImage::Bytes() const
{
    std::size_t bytes = 0;
    for (const auto& level : Levels)
        bytes += level.size();
    return bytes;
}

TTileImage BuildTileImage(const TDrapePyramid& pyramid, const TDrapePlacement& placement)
{
    TTileImage image;
    image.Width = placement.TextureWidth;
    image.Height = placement.TextureHeight;
    if (image.Width <= 0 || image.Height <= 0)
        return image;
    const int p = placement.Level;
    const int levelHeight = pyramid.Height(p);
    std::vector<std::uint8_t> base(std::size_t(image.Width) * std::size_t(image.Height) * 4);
    for (int y = 0; y < image.Height; ++y) {
        std::uint8_t* row = base.data() + std::size_t(y) * std::size_t(image.Width) * 4;
        const int fromSouth = placement.Y0 + std::min(y, placement.Height - 1);
        pyramid.Row(p, levelHeight - 1 - fromSouth, placement.X0, placement.Width, row);
        // Columns past the drape's texels (a power-of-two texture) repeat the last.
        for (int x = placement.Width; x < image.Width; ++x)
            std::copy(row + 4 * (placement.Width - 1), row + 4 * placement.Width, row + 4 * x);
    }
    image.Levels.push_back(std::move(base));

    // Mipmaps by 2 × 2 means, as the driver would make them.
    int width = image.Width;
    int height = image.Height;
    while (width > 1 || height > 1) {
        const std::vector<std::uint8_t>& finer = image.Levels.back();
        const int w = std::max(1, width / 2);
        const int h = std::max(1, height / 2);
        std::vector<std::uint8_t> level(std::size_t(w) * std::size_t(h) * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int xs[2] = {std::min(2 * x, width - 1), std::min(2 * x + 1, width - 1)};
                const int ys[2] = {std::min(2 * y, height - 1), std::min(2 * y + 1, height - 1)};
                for (int k = 0; k < 4; ++k) {
                    unsigned sum = 0;
                    for (int yy : ys)
                        for (int xx : xs)
                            sum +=
                                finer[(std::size_t(yy) * std::size_t(width) + std::size_t(xx)) * 4 +
                                      std::size_t(k)];
                    level[(std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4 + std::size_t(k)] =
                        std::uint8_t((sum + 2) / 4);
                }
            }
        image.Levels.push_back(std::move(level));
        width = w;
        height = h;
    }
    return image;
}

// ---- tile mesh ---------------------------------------------------------------------

namespace {

// How far the tile's edge may lie above what another tile shows along the
// same seam. line(first, step, count, out) reads the full-resolution
// heights along the seam at positions first + k × step (clamped past the
// grid); the edge starts at `start`, spans `span` cells and has a vertex
// every `spacing`.
float seamGap(const std::function<void(int, int, int, float*)>& line, int start, int span,
              int spacing, int rootLevel)
{
    const int vertices = span / spacing + 1;
    std::vector<float> edge(static_cast<std::size_t>(vertices));
    line(start, spacing, vertices, edge.data());
    float gap = 0.0f;

    // A finer neighbour: at its finest it shows every cell under the edge,
    // and any coarser one of its levels lies between those (the edge is
    // straight between our vertices, so the cells bound every gap).
    if (spacing > 1) {
        std::vector<float> cells(std::size_t(span) + 1);
        line(start, 1, span + 1, cells.data());
        for (int t = 0; t <= span; ++t) {
            const int m = std::min(t / spacing, vertices - 2);
            const float f = float(t - m * spacing) / float(spacing);
            const float ours =
                edge[std::size_t(m)] + (edge[std::size_t(m + 1)] - edge[std::size_t(m)]) * f;
            gap = std::max(gap, ours - cells[std::size_t(t)]);
        }
    }

    // A coarser neighbour of each level: straight between its own lattice
    // points, so the gap is largest at one of our vertices.
    std::vector<float> coarse;
    for (int level = 1; level <= rootLevel; ++level) {
        const int step = 1 << level;
        if (step <= spacing)
            continue;
        const int first = start - start % step;
        const int count = (start + span - first + step - 1) / step + 1;
        coarse.resize(std::size_t(count));
        line(first, step, count, coarse.data());
        for (int m = 0; m < vertices; ++m) {
            const int at = start + m * spacing;
            const int k = (at - first) / step;
            const float f = float(at - first - k * step) / float(step);
            const float next = k + 1 < count ? coarse[std::size_t(k + 1)] : coarse[std::size_t(k)];
            const float theirs = coarse[std::size_t(k)] + (next - coarse[std::size_t(k)]) * f;
            gap = std::max(gap, edge[std::size_t(m)] - theirs);
        }
    }
    return gap;
}

} // namespace

TTileMesh BuildTileMesh(const TTerrainTree& tree, const THeightSource& source,
                        const TDrapeLayout& drape, const TTileKey& key)
{
    const TTerrainLayout& layout = tree.Layout();
    const TClampedHeights heights(source);
    const int cells = layout.TileCells();
    const int side = cells + 1;
    const int spacing = TTerrainLayout::Spacing(key.Level);
    const int span = layout.TileSpan(key.Level);
    const int c0 = layout.FirstColumn(key);
    const int r0 = layout.FirstRow(key);
    const TDrapePlacement placement = drape.Place(key);

    TTileMesh mesh;
    mesh.Vertices.resize(std::size_t(TileVertexCount(cells)));
    // Normals as the mesh computes them from its neighbours, here always the
    // grid's own neighbours, one cell away (one-sided at the grid's edges,
    // where the clamped heights repeat the edge cell).
    const float invX = float(layout.Columns() - 1);
    const float invY = float(layout.Rows() - 1);
    const auto sideSize = static_cast<std::size_t>(side);
    std::vector<float> row(sideSize), west(sideSize), east(sideSize), north(sideSize),
        south(sideSize);
    for (int k = 0; k < side; ++k) {
        const int r = r0 + k * spacing;
        heights.Row(r, c0, spacing, side, row.data());
        heights.Row(r, c0 - 1, spacing, side, west.data());
        heights.Row(r, c0 + 1, spacing, side, east.data());
        heights.Row(r - 1, c0, spacing, side, north.data());
        heights.Row(r + 1, c0, spacing, side, south.data());
        for (int m = 0; m < side; ++m) {
            const int c = c0 + m * spacing;
            const std::size_t i = std::size_t(m);
            TTerrainVertex& v = mesh.Vertices[std::size_t(k * side + m)];
            v.X = float(layout.X(c));
            v.Y = float(layout.Y(r));
            v.Z = row[i];
            const TAffineVector n =
                normalized({(west[i] - east[i]) * invX, (south[i] - north[i]) * invY, 1.0f});
            v.NX = n.X;
            v.NY = n.Y;
            v.NZ = n.Z;
            drape.TexCoord(placement, c, r, v.S, v.T);
        }
    }

    // Skirts, except along the grid's own edges.
    const float margin = SkirtMargin(tree);
    const int lastColumn = layout.Columns() - 1;
    const int lastRow = layout.Rows() - 1;
    auto alongRow = [&heights](int r) {
        return [&heights, r](int first, int step, int count, float* out) {
            heights.Row(r, first, step, count, out);
        };
    };
    auto alongColumn = [&heights](int c) {
        return [&heights, c](int first, int step, int count, float* out) {
            heights.Column(c, first, step, count, out);
        };
    };
    const bool onEdge[4] = {r0 == 0, r0 + span >= lastRow, c0 == 0, c0 + span >= lastColumn};
    for (int edge = 0; edge < 4; ++edge) {
        if (onEdge[edge])
            continue;
        const bool horizontal = edge < 2;
        const int at = edge == 0 ? r0 : edge == 1 ? r0 + span : edge == 2 ? c0 : c0 + span;
        const auto line = horizontal ? std::function<void(int, int, int, float*)>(alongRow(at))
                                     : std::function<void(int, int, int, float*)>(alongColumn(at));
        mesh.SkirtDepth[edge] =
            seamGap(line, horizontal ? c0 : r0, span, spacing, layout.RootLevel()) + margin;
    }
    for (int edge = 0; edge < 4; ++edge) {
        for (int m = 0; m < side; ++m) {
            const int k = edge == 0 ? 0 : edge == 1 ? cells : m;
            const int n = edge == 0 || edge == 1 ? m : edge == 2 ? 0 : cells;
            TTerrainVertex skirt = mesh.Vertices[std::size_t(k * side + n)];
            skirt.Z -= mesh.SkirtDepth[edge];
            mesh.Vertices[std::size_t(side * side + edge * side + m)] = skirt;
        }
    }
    return mesh;
}

} // namespace skyglide
