#include "../data/DataTestFiles.h"

#include "app/SurfaceReadout.h"
#include "data/RasterFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace skyglide::test {
namespace {

using skyglide::testing::docText;
using skyglide::testing::docValues;
using skyglide::testing::writeBytes;

// A 5 × 3 grid whose cell (c, r) holds 10 r + c, documented from minValue to
// maxValue over the map extent 0…40 by 0…30.
std::unique_ptr<TRasterFile> Grid(const std::string& minValue, const std::string& maxValue,
                                  const std::string& name = "grid")
{
    const auto folder = skyglide::testing::testFolder();
    std::vector<std::string> doc = docValues("integer", 5, 3);
    doc[15] = minValue;
    doc[16] = maxValue;
    writeBytes(folder / (name + ".rdc"), docText(doc));
    std::vector<int> cells;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c)
            cells.push_back(10 * r + c);
    writeBytes(folder / (name + ".rst"), skyglide::testing::int16Cells(cells));
    auto raster = std::make_unique<TRasterFile>();
    raster->LoadSurface((folder / (name + ".rst")).string());
    EXPECT_EQ(raster->Bitmap().Width(), 5);
    return raster;
}

TEST(SurfaceHeight, SamplesTheCellUnderTheMeshPointScaledToTheValueRange)
{
    auto grid = Grid("0", "100");
    const struct
    {
        const char* Name;
        float X, Y;
        float Expected;
    } rows[] = {
        {"west edge, north row", 0.0f, 1.0f, 0.00f},
        {"east edge, south row", 1.0f, 0.0f, 0.24f},
        {"1.5 columns and 1.5 rows round up to even", 0.375f, 0.25f, 0.22f},
        {"2.5 columns and 0.5 rows round down to even", 0.625f, 0.75f, 0.02f},
        {"middle", 0.5f, 0.5f, 0.12f},
    };
    for (const auto& row : rows)
        EXPECT_FLOAT_EQ(SurfaceHeight(grid.get(), row.X, row.Y), row.Expected) << row.Name;
}

TEST(SurfaceHeight, DocumentedRangeEndsAndRangesThatCannotScale)
{
    auto top = Grid("0", "24", "top");
    EXPECT_FLOAT_EQ(SurfaceHeight(top.get(), 1.0f, 0.0f), 1.0f) << "the documented maximum is 1";
    auto below = Grid("5", "24", "below");
    EXPECT_FLOAT_EQ(SurfaceHeight(below.get(), 0.0f, 1.0f), -5.0f / 19.0f)
        << "below the documented minimum is negative";
    auto flat = Grid("7", "7", "flat");
    for (float x : {0.0f, 0.5f, 1.0f})
        EXPECT_EQ(SurfaceHeight(flat.get(), x, 0.5f), 0.0f) << "equal limits give a flat surface";
    EXPECT_EQ(SurfaceHeight(nullptr, 0.5f, 0.5f), 0.0f);

    const auto folder = skyglide::testing::testFolder();
    writeBytes(folder / "nan.rdc", docText(docValues("real", 2, 1)));
    writeBytes(folder / "nan.rst",
               skyglide::testing::floatCells({std::numeric_limits<float>::quiet_NaN(), 50.0f}));
    TRasterFile real;
    real.LoadSurface((folder / "nan.rst").string());
    EXPECT_EQ(SurfaceHeight(&real, 0.0f, 1.0f), 0.0f) << "a cell that is not a number";
    EXPECT_FLOAT_EQ(SurfaceHeight(&real, 1.0f, 1.0f), 0.5f);
}

TEST(PositionReadout, GridCellMapCoordinatesHeightAndValue)
{
    auto grid = Grid("0", "100");
    const TAffineVector scale{5, 3, 2};
    const TPositionReadout inside = ReadPosition(*grid, {-2.7f, 1.0f, 1.2f}, scale);
    EXPECT_EQ(inside.Column, 2);
    EXPECT_EQ(inside.Row, 1);
    EXPECT_NEAR(inside.MapX, 2.7 / 5 * 40, 1e-5);
    EXPECT_NEAR(inside.MapY, 1.2 / 3 * 30, 1e-5);
    EXPECT_DOUBLE_EQ(inside.Height, 50.0);
    EXPECT_EQ(inside.Value, 12.0);

    // Off the surface to the east and north: the cell is outside, and the
    // value shown is the one read last.
    const TPositionReadout outside = ReadPosition(*grid, {1.5f, -4.0f, 4.5f}, scale);
    EXPECT_EQ(outside.Column, -1);
    EXPECT_EQ(outside.Row, -1);
    EXPECT_EQ(outside.Value, 12.0);
    EXPECT_DOUBLE_EQ(outside.Height, -200.0);

    // Far beyond the range of a cell index, the index stays at its end.
    EXPECT_EQ(ReadPosition(*grid, {-1e20f, 0, 0}, scale).Column,
              std::numeric_limits<std::int32_t>::max());
}

} // namespace
} // namespace skyglide::test
