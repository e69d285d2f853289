#pragma once

// Generated grids for the level-of-detail surface's tests: heights in memory
// as a height source, a terrain of sharp ridges and cliffs, and a drape
// coloured by height through a palette ramp.

#include "data/Bitmap.h"
#include "render/HeightSource.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace skyglide::test {

/// Heights in memory, row by row from the north row.
struct GridHeights final : THeightSource
{
    int W = 0;
    int H = 0;
    std::vector<float> Z;

    GridHeights(int w, int h) : W(w), H(h), Z(std::size_t(w) * std::size_t(h), 0.0f) {}
    int Columns() const override { return W; }
    int Rows() const override { return H; }
    void ReadRow(int row, int column, int step, int count, float* out) const override
    {
        for (int k = 0; k < count; ++k)
            out[k] = at(column + k * step, row);
    }
    float at(int c, int r) const { return Z[std::size_t(r) * std::size_t(W) + std::size_t(c)]; }
    float& at(int c, int r) { return Z[std::size_t(r) * std::size_t(W) + std::size_t(c)]; }
    /// The cell nearest to (c, r), cells past an edge repeating the edge.
    float clamped(int c, int r) const
    {
        return at(std::clamp(c, 0, W - 1), std::clamp(r, 0, H - 1));
    }
};

/// Rolling ground cut by sharp ridges (creases of |sin|) and two cliffs, one
/// straight down a diagonal and one ringing a plateau: heights 0 to 1.
inline std::shared_ptr<GridHeights> RidgesAndCliffs(int w, int h)
{
    auto grid = std::make_shared<GridHeights>(w, h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const double x = double(c) / (w - 1);
            const double y = double(r) / (h - 1);
            double z = 0.25 + 0.08 * std::sin(7.0 * x + 2.0) * std::cos(5.0 * y);
            z += 0.22 * (1.0 - std::abs(std::sin(9.0 * x + 4.0 * y)));  // ridges
            z += 0.12 * (1.0 - std::abs(std::sin(23.0 * y - 6.0 * x))); // finer ridges
            if (x + 0.7 * y > 0.8)
                z += 0.15; // diagonal cliff
            if ((x - 0.3) * (x - 0.3) + (y - 0.7) * (y - 0.7) < 0.02)
                z += 0.2; // plateau
            grid->at(c, r) = float(std::min(z, 1.0));
        }
    return grid;
}

/// A width × height palette drape of the grid's heights: the nearest cell's
/// height picks one of 64 colours from deep green through brown to white.
/// No colour has more blue than green or red, so magenta never appears.
inline std::shared_ptr<TBitmap> RampDrape(const GridHeights& grid, int width, int height)
{
    auto drape = std::make_shared<TBitmap>();
    drape->SetSize(width, height, TPixelFormat::pf8bit);
    TPalette palette = GreyscalePalette();
    for (int i = 0; i < 64; ++i) {
        const double t = i / 63.0;
        palette[std::size_t(i)] = {std::uint8_t(40 + 200 * t), std::uint8_t(120 + 110 * t),
                                   std::uint8_t(30 + 190 * t * t), PaletteNoCollapse};
    }
    drape->SetPalette(palette);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int c = int((x + 0.5) * grid.W / width);
            const int r = int((y + 0.5) * grid.H / height);
            drape->ScanLine(y)[x] = std::uint8_t(std::clamp(int(grid.at(c, r) * 63.0f), 0, 63));
        }
    return drape;
}

} // namespace skyglide::test
