// The level-of-detail surface without a GL context: the tiles' error bounds
// against the full-resolution surface, the selection over a sweep of views,
// the skirts against every neighbour a seam can have, and the tiles'
// vertices and drape pieces against the mesh and the drape.

#include "TerrainTestSupport.h"

#include "render/Camera.h"
#include "render/HeightFieldMesh.h"
#include "render/TerrainTile.h"
#include "render/TerrainTileLoader.h"
#include "render/TerrainTree.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

using namespace skyglide;
using namespace skyglide::test;

namespace {

const std::atomic<bool> cNoCancel{false};

TTerrainTree builtTree(const GridHeights& grid, int tileCells)
{
    TTerrainTree tree(TTerrainLayout(grid.W, grid.H, tileCells));
    EXPECT_TRUE(tree.Build(grid, 2, cNoCancel));
    return tree;
}

// The surface a tile of `level` shows at grid point (c, r): the lattice
// cell's two triangles, cut from south-west to north-east, over the heights
// with the cells past the grid's edges repeating the edge.
float levelSurface(const GridHeights& grid, int level, int c, int r)
{
    const int s = 1 << level;
    const int ca = c - c % s;
    const int ra = r - r % s;
    const double u = double(c - ca) / s;
    const double v = double(r - ra) / s;
    const double nw = grid.clamped(ca, ra), ne = grid.clamped(ca + s, ra);
    const double sw = grid.clamped(ca, ra + s), se = grid.clamped(ca + s, ra + s);
    if (u + v <= 1.0)
        return float(nw + u * (ne - nw) + v * (sw - nw));
    return float(se + (1.0 - u) * (sw - se) + (1.0 - v) * (ne - se));
}

// Calls visit(c, r) for the grid points a tile covers inside the grid.
template <class F> void forTilePoints(const TTerrainLayout& layout, const TTileKey& key, F&& visit)
{
    const int span = layout.TileSpan(key.Level);
    const int c0 = layout.FirstColumn(key), r0 = layout.FirstRow(key);
    for (int r = r0; r <= std::min(r0 + span, layout.Rows() - 1); ++r)
        for (int c = c0; c <= std::min(c0 + span, layout.Columns() - 1); ++c)
            visit(c, r);
}

std::vector<TTileKey> allTiles(const TTerrainLayout& layout)
{
    std::vector<TTileKey> keys;
    for (int level = 0; level < layout.Levels(); ++level)
        for (int j = 0; j < layout.TilesDown(level); ++j)
            for (int i = 0; i < layout.TilesAcross(level); ++i)
                keys.push_back({level, i, j});
    return keys;
}

TEST(TerrainTree, BoundsHoldTheFullResolutionSurfaceOnEveryTile)
{
    // Sides that end off the lattice, so that the tiles along the east and
    // south edges reach past the grid.
    const std::array<int, 3> grids[] = {{67, 45, 4}, {129, 129, 8}, {40, 97, 2}};
    for (const auto& [w, h, cells] : grids) {
        const auto grid = RidgesAndCliffs(w, h);
        const TTerrainTree tree = builtTree(*grid, cells);
        const TTerrainLayout& layout = tree.Layout();
        ASSERT_EQ(layout.TilesAcross(layout.RootLevel()), 1);
        ASSERT_EQ(layout.TilesDown(layout.RootLevel()), 1);
        for (const TTileKey& key : allTiles(layout)) {
            const TTileBounds& bounds = tree.Bounds(key);
            float worst = 0.0f;
            forTilePoints(layout, key, [&](int c, int r) {
                const float z = grid->at(c, r);
                EXPECT_GE(z, bounds.ZMin);
                EXPECT_LE(z, bounds.ZMax);
                worst = std::max(worst, std::abs(levelSurface(*grid, key.Level, c, r) - z));
            });
            EXPECT_LE(worst, bounds.Error + 1e-5f)
                << w << " x " << h << ", level " << key.Level << " tile " << key.I << ", " << key.J;
            if (key.Level == 0) {
                EXPECT_EQ(bounds.Error, 0.0f);
            }
        }
    }
}

TEST(TerrainTree, ACancelledBuildStopsAndSaysSo)
{
    const auto grid = RidgesAndCliffs(65, 65);
    TTerrainTree tree(TTerrainLayout(65, 65, 4));
    const std::atomic<bool> cancel{true};
    EXPECT_FALSE(tree.Build(*grid, 2, cancel));
    EXPECT_EQ(TTerrainLayout(1, 50, 4).Levels(), 0);
    EXPECT_THROW(TTerrainLayout(10, 10, 6), std::invalid_argument);
}

// ---- views ---------------------------------------------------------------------------

constexpr int cViewWidth = 827;
constexpr int cViewHeight = 530;

// gluLookAt as a matrix of row vectors.
TMatrix4f lookAt(const TAffineVector& eye, const TAffineVector& centre)
{
    const TAffineVector f = normalized(centre - eye);
    const TAffineVector s = normalized(crossProduct(f, {0, 1, 0}));
    const TAffineVector u = crossProduct(s, f);
    TMatrix4f m;
    const TAffineVector axes[3] = {s, u, -f};
    for (int j = 0; j < 3; ++j) {
        m.M[0][j] = axes[j].X;
        m.M[1][j] = axes[j].Y;
        m.M[2][j] = axes[j].Z;
        m.M[3][j] = -dotProduct(axes[j], eye);
    }
    return m;
}

// The viewer's projection of an 827 × 530 view (focal length 100).
TMatrix4f viewerProjection()
{
    TCamera camera;
    camera.SetFocalLength(100);
    camera.SetDepthOfView(100000);
    const TProjection p =
        *camera.LoadProjection({0, 0, cViewWidth, cViewHeight}, cViewWidth, cViewHeight, 96);
    TMatrix4f m;
    m.M[0][0] = float(2 * p.Near / (p.Right - p.Left));
    m.M[1][1] = float(2 * p.Near / (p.Top - p.Bottom));
    m.M[2][0] = float((p.Right + p.Left) / (p.Right - p.Left));
    m.M[2][1] = float((p.Top + p.Bottom) / (p.Top - p.Bottom));
    m.M[2][2] = float(-(p.Far + p.Near) / (p.Far - p.Near));
    m.M[3][2] = float(-2 * p.Far * p.Near / (p.Far - p.Near));
    m.M[2][3] = -1;
    m.M[3][3] = 0;
    return m;
}

// The surface placed as the scene window places the mesh: W × H cells,
// heights scaled by a twentieth of the larger side.
TMatrix4f surfacePlacement(int w, int h)
{
    TSceneObject surface;
    surface.Direction().SetAsAffineVector({0, 1, 0});
    surface.Up().SetAsAffineVector({0, 0, 1});
    surface.Scale().SetAsAffineVector({float(w), float(h), 0.05f * float(std::max(w, h))});
    return surface.LocalMatrix();
}

struct Pose
{
    const char* Name;
    TAffineVector Eye;
    TAffineVector Target;
};

// World poses over a grid of 257 × 257 (X from -256 to 0, Z from 0 to 256,
// heights up to 12.8).
const Pose cPoses[] = {
    {"start pose beyond the corner", {102, 19, -102}, {-128, 0, 128}},
    {"low, at the horizon", {-40, 9, 30}, {-200, 9, 220}},
    {"low, along the cliff", {-230, 10, 10}, {-60, 8, 200}},
    {"skimming a ridge", {-128, 7, 128}, {-128, 5, 250}},
    {"high, looking down", {-128, 200, 128}, {-130, 0, 126}},
    {"oblique from the east", {60, 40, 140}, {-100, 0, 120}},
    {"inside, looking out over the south-east corner", {-200, 11, 200}, {40, 0, -40}},
    {"far away", {2000, 400, -2000}, {-128, 0, 128}},
    {"turned away from the surface", {60, 20, -60}, {400, 20, -400}},
};

TTerrainView viewOf(const Pose& pose, int w, int h)
{
    TTerrainView view;
    view.ModelView = matrixMultiply(surfacePlacement(w, h), lookAt(pose.Eye, pose.Target));
    view.Projection = viewerProjection();
    view.ViewportWidth = cViewWidth;
    view.ViewportHeight = cViewHeight;
    return view;
}

// Every visible finest tile lies under exactly one selected tile, and no
// selected tile lies under another.
void expectCoverage(const TTerrainTree& tree, const TTexelSizes& texels, const TTerrainView& view,
                    const TTileSelection& selection, const std::string& what)
{
    const TTerrainLayout& layout = tree.Layout();
    std::set<std::uint64_t> selected;
    for (const TSelectedTile& tile : selection.Tiles)
        EXPECT_TRUE(selected.insert(tile.Key.Packed()).second) << what << ": a tile twice";
    const TTileView tiles(tree, texels, view);
    for (int j = 0; j < layout.TilesDown(0); ++j)
        for (int i = 0; i < layout.TilesAcross(0); ++i) {
            int covering = 0;
            for (TTileKey key{0, i, j}; key.Level < layout.Levels();
                 key = {key.Level + 1, key.I / 2, key.J / 2})
                covering += selected.contains(key.Packed());
            if (tiles.Visible({0, i, j}))
                EXPECT_EQ(covering, 1) << what << ": finest tile " << i << ", " << j;
            else
                EXPECT_LE(covering, 1) << what << ": finest tile " << i << ", " << j;
        }
}

TEST(TileSelection, KeepsItsBoundOrItsBudgetOverASweepOfViews)
{
    const int w = 257, h = 257;
    const auto grid = RidgesAndCliffs(w, h);
    const TTerrainTree tree = builtTree(*grid, 8);
    // A drape of the grid's size in tile textures of at most 40 texels: the
    // coarser levels show it coarser, and their texels count too.
    const TDrapeLayout drape(tree.Layout(), 256, 256, 40, false);
    const TTexelSizes texels = drape.TexelSizes();
    ASSERT_GT(texels.X.back(), 0.0);

    for (const float bound : {1.0f, 2.0f, 6.0f}) {
        for (const Pose& pose : cPoses) {
            const std::string what = std::string(pose.Name) + ", bound " + std::to_string(bound);
            const TTerrainView view = viewOf(pose, w, h);
            const TTileSelection selection = SelectTiles(tree, texels, view, {bound, 100000});
            EXPECT_FALSE(selection.BudgetLimited) << what;
            expectCoverage(tree, texels, view, selection, what);

            // The true difference to the full-resolution surface at every
            // grid point of a selected tile, carried into eye space and
            // seen from that point's own distance, stays within the bound;
            // so does a texel of the tile's drape seen from its nearest point.
            const double unitZ =
                std::hypot(view.ModelView.M[2][0], view.ModelView.M[2][1], view.ModelView.M[2][2]);
            const double unitX =
                std::hypot(view.ModelView.M[0][0], view.ModelView.M[0][1], view.ModelView.M[0][2]);
            const double pixelsPerUnit = std::max(view.Projection.M[0][0] * cViewWidth,
                                                  view.Projection.M[1][1] * cViewHeight) /
                                         2.0;
            for (const TSelectedTile& tile : selection.Tiles) {
                const double texel = texels.X[std::size_t(tile.Key.Level)] * unitX;
                forTilePoints(tree.Layout(), tile.Key, [&](int c, int r) {
                    const float z = grid->at(c, r);
                    const TAffineVector eye = transformPoint(
                        {float(tree.Layout().X(c)), float(tree.Layout().Y(r)), z}, view.ModelView);
                    const double distance = vectorLength(eye);
                    const double deviation =
                        std::abs(levelSurface(*grid, tile.Key.Level, c, r) - z) * unitZ;
                    EXPECT_LE(std::max(deviation, texel) * pixelsPerUnit / distance, bound * 1.001)
                        << what << ": level " << tile.Key.Level << " at cell " << c << ", " << r;
                });
            }
        }
    }

    // A budget too small for the bound still covers the view, with coarser tiles.
    const TTexelSizes none;
    for (const Pose& pose : cPoses) {
        const TTerrainView view = viewOf(pose, w, h);
        const int needed = int(SelectTiles(tree, none, view, {1.0f, 100000}).Tiles.size());
        for (const int budget : {1, 3, 7, 40, needed}) {
            const std::string what = std::string(pose.Name) + ", budget " + std::to_string(budget);
            const TTileSelection selection = SelectTiles(tree, none, view, {1.0f, budget});
            EXPECT_LE(int(selection.Tiles.size()), std::max(budget, 1)) << what;
            EXPECT_EQ(selection.BudgetLimited, budget < needed) << what;
            if (selection.BudgetLimited) {
                EXPECT_GT(selection.MaxError, 1.0f) << what;
            }
            expectCoverage(tree, none, view, selection, what);
        }
    }
}

// ---- skirts --------------------------------------------------------------------------

// The heights of a tile's edge at every cell along it, straight between the
// tile's vertices, and the depth of its skirt there.
struct Edge
{
    std::vector<float> Heights;
    float Depth = 0.0f;
};

enum TSide { sNorth, sSouth, sWest, sEast }; // side ^ 1 is the opposite side

Edge edgeOf(const TTerrainLayout& layout, const TTileMesh& mesh, const TTileKey& key, int side)
{
    const int cells = layout.TileCells();
    const int spacing = 1 << key.Level;
    std::vector<float> vertices;
    for (int n = 0; n <= cells; ++n) {
        const int k = side == sNorth ? 0 : side == sSouth ? cells : n;
        const int m = side == sWest ? 0 : side == sEast ? cells : n;
        vertices.push_back(mesh.Vertices[std::size_t(k * (cells + 1) + m)].Z);
    }
    Edge edge;
    edge.Depth = mesh.SkirtDepth[side];
    for (int t = 0; t <= cells * spacing; ++t) {
        const int m = std::min(t / spacing, cells - 1);
        const float f = float(t - m * spacing) / float(spacing);
        edge.Heights.push_back(vertices[std::size_t(m)] +
                               (vertices[std::size_t(m + 1)] - vertices[std::size_t(m)]) * f);
    }
    return edge;
}

TEST(TileSkirts, ReachBelowWhatEveryNeighbourShowsAlongTheSeam)
{
    const auto grid = RidgesAndCliffs(67, 45);
    const TTerrainTree tree = builtTree(*grid, 4);
    const TTerrainLayout& layout = tree.Layout();
    std::map<std::uint64_t, TTileMesh> meshes;
    auto mesh = [&](const TTileKey& key) -> const TTileMesh& {
        auto found = meshes.find(key.Packed());
        if (found == meshes.end())
            found = meshes.emplace(key.Packed(), BuildTileMesh(tree, *grid, {}, key)).first;
        return found->second;
    };

    int seamsChecked = 0;
    for (const TTileKey& key : allTiles(layout)) {
        const int span = layout.TileSpan(key.Level);
        const int c0 = layout.FirstColumn(key), r0 = layout.FirstRow(key);
        for (int side = sNorth; side <= sEast; ++side) {
            const bool horizontal = side == sNorth || side == sSouth;
            const int seam = side == sNorth   ? r0
                             : side == sSouth ? r0 + span
                             : side == sWest  ? c0
                                              : c0 + span;
            const int start = horizontal ? c0 : r0;
            const Edge ours = edgeOf(layout, mesh(key), key, side);
            const bool gridEdge =
                seam == 0 || seam >= (horizontal ? layout.Rows() : layout.Columns()) - 1;
            if (gridEdge) {
                EXPECT_EQ(ours.Depth, 0.0f) << "a skirt along the grid's own edge";
                continue;
            }
            EXPECT_GT(ours.Depth, 0.0f);
            // Across the seam, a tile of any level whose side lies on it.
            const int across = side == sNorth || side == sWest ? seam - 1 : seam;
            const int opposite = side ^ 1;
            for (int level = 0; level < layout.Levels(); ++level) {
                const int otherSpan = layout.TileSpan(level);
                if (level == key.Level || seam % otherSpan != 0)
                    continue;
                for (int t = 0; t <= span; ++t) {
                    const int along = std::min(start + t, start + span - 1);
                    const TTileKey other =
                        horizontal ? TTileKey{level, along / otherSpan, across / otherSpan}
                                   : TTileKey{level, across / otherSpan, along / otherSpan};
                    if (!layout.Exists(other))
                        continue;
                    const Edge theirs = edgeOf(layout, mesh(other), other, opposite);
                    const int otherStart =
                        horizontal ? layout.FirstColumn(other) : layout.FirstRow(other);
                    const float a = ours.Heights[std::size_t(t)];
                    const float b = theirs.Heights[std::size_t(start + t - otherStart)];
                    if (a > b) {
                        EXPECT_LE(a - ours.Depth, b + 1e-6f)
                            << "level " << key.Level << " tile " << key.I << ", " << key.J
                            << " side " << side << " against level " << level << " at " << t;
                    }
                    ++seamsChecked;
                }
            }
        }
    }
    EXPECT_GT(seamsChecked, 1000);
}

// ---- vertices and drape ---------------------------------------------------------------

struct CapturingSink : THeightFieldSink
{
    std::map<std::pair<float, float>, THeightSample> Samples;
    void BeginStrip() override {}
    void Vertex(float x, float y, const THeightSample& sample) override
    {
        Samples[{x, y}] = sample;
    }
    void EndStrip() override {}
};

TEST(TileMesh, FinestTilesHaveTheFullMeshsPositionsAndNormals)
{
    // 2^k + 1 samples a side: the mesh steps exactly onto every cell.
    const auto grid = RidgesAndCliffs(65, 33);
    THeightField field;
    for (TSamplingScale* axis : {&field.XSamplingScale(), &field.YSamplingScale()})
        axis->SetMax(1);
    field.XSamplingScale().SetStep(1.0f / 64);
    field.YSamplingScale().SetStep(1.0f / 32);
    field.OnGetHeight = [&grid](float x, float y, float& z, TVector4f&, TTexPoint&) {
        z = grid->at(int(std::nearbyint(64.0 * x)), int(std::nearbyint(32.0 * (1.0 - y))));
    };
    CapturingSink full;
    field.BuildMesh(full);
    ASSERT_EQ(full.Samples.size(), 65u * 33u);

    const TTerrainTree tree = builtTree(*grid, 8);
    int compared = 0;
    for (const TTileKey& key : allTiles(tree.Layout())) {
        if (key.Level != 0)
            continue;
        const TTileMesh mesh = BuildTileMesh(tree, *grid, {}, key);
        for (int v = 0; v < 81; ++v) {
            const TTerrainVertex& vertex = mesh.Vertices[std::size_t(v)];
            const auto found = full.Samples.find({vertex.X, vertex.Y});
            ASSERT_NE(found, full.Samples.end())
                << "no mesh sample at " << vertex.X << ", " << vertex.Y;
            EXPECT_EQ(vertex.Z, found->second.Z);
            EXPECT_NEAR(vertex.NX, found->second.Normal.X, 1e-5f);
            EXPECT_NEAR(vertex.NY, found->second.Normal.Y, 1e-5f);
            EXPECT_NEAR(vertex.NZ, found->second.Normal.Z, 1e-5f);
            ++compared;
        }
    }
    EXPECT_EQ(compared, 8 * 4 * 81);
}

TEST(TileMesh, DrapePiecesShowTheTexelTheWholeDrapeShowsThere)
{
    // A drape of another size than the grid, its palette index the texel's
    // own column and row, so that any shift or flip shows.
    const auto grid = RidgesAndCliffs(97, 65);
    auto drape = std::make_shared<TBitmap>();
    drape->SetSize(150, 90, TPixelFormat::pf8bit);
    TPalette palette;
    for (int i = 0; i < 256; ++i)
        palette[std::size_t(i)] = {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2), 0};
    drape->SetPalette(palette);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 150; ++x)
            drape->ScanLine(y)[x] = std::uint8_t((x * 7 + y * 13) % 256);
    const TTerrainTree tree = builtTree(*grid, 8);
    for (const bool powerOfTwo : {false, true}) {
        const TDrapeLayout layout(tree.Layout(), 150, 90, 300, powerOfTwo);
        TDrapePyramid pyramid(drape);
        ASSERT_TRUE(pyramid.Build(layout.PyramidLevels(), 1, cNoCancel));
        for (const TTileKey& key : allTiles(tree.Layout())) {
            const TDrapePlacement placement = layout.Place(key);
            ASSERT_EQ(placement.Level, 0);
            const TTileImage image = BuildTileImage(pyramid, placement);
            const TTileMesh mesh = BuildTileMesh(tree, *grid, layout, key);
            for (const TTerrainVertex& v : mesh.Vertices) {
                if (v.X > 1.0f || v.Y < 0.0f)
                    continue; // clipped away
                const double u = v.X * 150.0, w = (1.0 - v.Y) * 90.0;
                if (std::abs(u - std::round(u)) < 1e-3 || std::abs(w - std::round(w)) < 1e-3)
                    continue; // on a texel border
                const int x = std::min(int(u), 149), yFromTop = std::min(int(w), 89);
                const int tx = int(v.S * image.Width), ty = int(v.T * image.Height);
                const std::uint8_t* texel =
                    image.Levels[0].data() +
                    (std::size_t(ty) * std::size_t(image.Width) + std::size_t(tx)) * 4;
                const TPaletteEntry& expected = palette[drape->ScanLine(yFromTop)[x]];
                EXPECT_EQ(texel[0], expected.Red) << "texel " << x << ", " << yFromTop;
                EXPECT_EQ(texel[1], expected.Green) << "texel " << x << ", " << yFromTop;
            }
            if (powerOfTwo) {
                EXPECT_EQ(image.Width & (image.Width - 1), 0);
            }
            EXPECT_EQ(image.Levels.size(),
                      std::size_t(std::log2(std::max(image.Width, image.Height))) + 1);
        }
    }
}

TEST(TileMesh, CoarserDrapeLevelsAverageTheDrapesPixels)
{
    auto drape = std::make_shared<TBitmap>();
    drape->SetSize(150, 90, TPixelFormat::pf24bit);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 150; ++x)
            for (int k = 0; k < 3; ++k)
                drape->ScanLine(y)[3 * x + k] = std::uint8_t((x * (7 + k) + y * (13 - k)) % 251);
    TDrapePyramid pyramid(drape);
    ASSERT_TRUE(pyramid.Build(6, 2, cNoCancel));
    EXPECT_EQ(pyramid.StoredBytes(), std::size_t(19 * 12 + 10 * 6 + 5 * 3) * 3);
    for (int level = 1; level < 6; ++level) {
        const int size = 1 << level;
        for (int y = 0; y < 90 / size; ++y)
            for (int x = 0; x < 150 / size; ++x) {
                std::uint8_t rgba[4];
                pyramid.Row(level, y, x, 1, rgba);
                for (int k = 0; k < 3; ++k) {
                    double sum = 0;
                    for (int dy = 0; dy < size; ++dy)
                        for (int dx = 0; dx < size; ++dx)
                            sum += drape->ScanLine(y * size + dy)[3 * (x * size + dx) + 2 - k];
                    // Kept levels average the level below: a rounding each.
                    EXPECT_NEAR(rgba[k], sum / (size * size), level < 3 ? 0.5 : 0.5 * (level - 1))
                        << "level " << level << " texel " << x << ", " << y;
                }
                EXPECT_EQ(rgba[3], 255);
            }
    }
}

// ---- workers ---------------------------------------------------------------------------

// Takes tiles until every wanted one arrived (or 20 s passed).
std::map<std::uint64_t, TBuiltTile> takeAll(TTerrainTileLoader& loader, std::size_t wanted)
{
    std::map<std::uint64_t, TBuiltTile> tiles;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (tiles.size() < wanted && std::chrono::steady_clock::now() < deadline) {
        loader.Wait(1000);
        for (TBuiltTile& tile : loader.Take())
            tiles.emplace(tile.Key.Packed(), std::move(tile));
    }
    return tiles;
}

TEST(TileLoader, MakesTheWantedTilesOfTheCurrentSurfaceOnly)
{
    const auto first = RidgesAndCliffs(129, 97);
    const auto second = RidgesAndCliffs(65, 65);
    const auto drape = RampDrape(*first, 100, 80);
    std::atomic<int> ready{0};
    TTerrainTileLoader loader(2);
    loader.OnReady = [&ready] { ++ready; };

    TTerrainRecipe recipe{first, drape, 8, 64, false};
    loader.Start(recipe);
    while (!loader.Data())
        loader.Wait(1000);
    const TTerrainLayout& layout = loader.Data()->Tree.Layout();
    std::vector<TTileKey> wanted;
    for (const TTileKey& key : allTiles(layout))
        if (key.Level <= 1)
            wanted.push_back(key);
    loader.Want(wanted);
    const auto tiles = takeAll(loader, wanted.size());
    ASSERT_EQ(tiles.size(), wanted.size());
    EXPECT_GT(ready.load(), 0);
    EXPECT_FALSE(tiles.at(TTileKey{1, 2, 1}.Packed()).Image.Levels.empty());

    // A new surface while tiles of the old one are wanted: none of them
    // arrives afterwards, and the new one's do.
    loader.Want(wanted);
    loader.Start({second, nullptr, 8, 64, false});
    while (!loader.Data())
        loader.Wait(1000);
    EXPECT_EQ(loader.Data()->Tree.Layout().Columns(), 65);
    for (const TBuiltTile& tile : loader.Take())
        ADD_FAILURE() << "a tile of the old surface arrived: level " << tile.Key.Level;
    loader.Want({{0, 0, 0}, {1, 1, 1}});
    const auto fresh = takeAll(loader, 2);
    ASSERT_EQ(fresh.size(), 2u);
    EXPECT_TRUE(fresh.begin()->second.Image.Levels.empty()) << "no drape, no texture";
    EXPECT_EQ(loader.TakeError(), nullptr);

    // Given up in the middle of a preparation.
    loader.Start(recipe);
}

struct ThrowingHeights final : THeightSource
{
    int Columns() const override { return 40; }
    int Rows() const override { return 40; }
    void ReadRow(int, int, int, int, float*) const override
    {
        throw std::runtime_error("the surface cannot be read");
    }
};

TEST(TileLoader, HandsOnAFailingSourcesError)
{
    TTerrainTileLoader loader(2);
    loader.Start({std::make_shared<ThrowingHeights>(), nullptr, 8, 64, false});
    std::exception_ptr error;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!error && std::chrono::steady_clock::now() < deadline) {
        loader.Wait(1000);
        error = loader.TakeError();
    }
    ASSERT_NE(error, nullptr);
    EXPECT_THROW(std::rethrow_exception(error), std::runtime_error);
    EXPECT_EQ(loader.Data(), nullptr);
}

TEST(HeightSource, ScalesCellsOfEveryWidthAndClampsPastTheEdges)
{
    auto cells = std::make_shared<TBitmap>();
    cells->SetSize(3, 2, TPixelFormat::pf16bit);
    const std::int16_t values[6] = {-100, 0, 100, 300, 200, -100};
    for (int i = 0; i < 6; ++i) {
        std::uint8_t* p = cells->ScanLine(i / 3) + 2 * (i % 3);
        p[0] = std::uint8_t(values[i] & 0xFF);
        p[1] = std::uint8_t((values[i] >> 8) & 0xFF);
    }
    const TBitmapHeightSource source(cells, -100, 300);
    float row[3];
    source.ReadRow(0, 0, 1, 3, row);
    EXPECT_EQ(row[0], 0.0f);
    EXPECT_EQ(row[1], 0.25f);
    EXPECT_EQ(row[2], 0.5f);
    source.ReadRow(1, 0, 2, 2, row);
    EXPECT_EQ(row[0], 1.0f);
    EXPECT_EQ(row[1], 0.0f);

    // Equal limits and cells that are not numbers give the flat base.
    TBitmapHeightSource(cells, 5, 5).ReadRow(0, 2, 1, 1, row);
    EXPECT_EQ(row[0], 0.0f);
    auto reals = std::make_shared<TBitmap>();
    reals->SetSize(2, 1, TPixelFormat::pf32bit);
    const float real[2] = {std::nanf(""), 2.5f};
    std::memcpy(reals->ScanLine(0), real, sizeof real);
    TBitmapHeightSource(reals, 0, 10).ReadRow(0, 0, 1, 2, row);
    EXPECT_EQ(row[0], 0.0f);
    EXPECT_EQ(row[1], 0.25f);

    // Past the edges the edge cells repeat.
    const TClampedHeights clamped(source);
    float wide[7];
    clamped.Row(0, -2, 1, 7, wide);
    EXPECT_EQ(std::vector<float>(wide, wide + 7),
              (std::vector<float>{0.0f, 0.0f, 0.0f, 0.25f, 0.5f, 0.5f, 0.5f}));
    clamped.Column(2, -1, 1, 4, wide);
    EXPECT_EQ(std::vector<float>(wide, wide + 4), (std::vector<float>{0.5f, 0.5f, 0.0f, 0.0f}));
}

} // namespace
