#include "DataFiles.h"

#include "app/SurfaceReadout.h"
#include "data/RasterFile.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace skyglide::test {
namespace {

namespace files = skyglide::test;

// A 5 × 3 grid whose cell (c, r) holds 10 r + c, documented from minValue to
// maxValue over the map extent 0…40 by 0…30.
std::unique_ptr<TRasterFile> Grid(const std::string& minValue, const std::string& maxValue)
{
    const auto folder = files::TestFolder();
    std::vector<std::string> doc = files::docValues("integer", 5, 3);
    doc[15] = minValue;
    doc[16] = maxValue;
    std::vector<int> cells;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c)
            cells.push_back(10 * r + c);
    auto raster = std::make_unique<TRasterFile>();
    raster->LoadSurface(files::WriteRaster(folder, doc, files::int16Cells(cells)));
    EXPECT_EQ(raster->Bitmap().Width(), 5);
    return raster;
}

TEST(SurfaceHeight, TheCellUnderTheMeshPointScaledToTheDocumentedRange)
{
    const struct
    {
        const char* Name;
        const char *Min, *Max;
        float X, Y;
        float Expected;
    } rows[] = {
        {"west edge, north row", "0", "100", 0.0f, 1.0f, 0.00f},
        {"east edge, south row", "0", "100", 1.0f, 0.0f, 0.24f},
        {"1.5 columns and 1.5 rows round up to even", "0", "100", 0.375f, 0.25f, 0.22f},
        {"2.5 columns and 0.5 rows round down to even", "0", "100", 0.625f, 0.75f, 0.02f},
        {"the documented maximum is 1", "0", "24", 1.0f, 0.0f, 1.0f},
        {"below the documented minimum is negative", "5", "24", 0.0f, 1.0f, -5.0f / 19.0f},
        {"equal limits give a flat surface", "12", "12", 1.0f, 0.5f, 0.0f},
        {"equal limits, a cell at both", "12", "12", 0.5f, 0.5f, 0.0f},
    };
    for (const auto& row : rows)
        EXPECT_FLOAT_EQ(SurfaceHeight(Grid(row.Min, row.Max).get(), row.X, row.Y), row.Expected)
            << row.Name;
    EXPECT_EQ(SurfaceHeight(nullptr, 0.5f, 0.5f), 0.0f);

    const auto folder = files::TestFolder();
    files::WriteBytes(folder / "nan.rdc", files::docText(files::docValues("real", 2, 1)));
    files::WriteBytes(folder / "nan.rst",
                      files::floatCells({std::numeric_limits<float>::quiet_NaN(), 50.0f}));
    TRasterFile real;
    real.LoadSurface((folder / "nan.rst").string());
    EXPECT_EQ(SurfaceHeight(&real, 0.0f, 1.0f), 0.0f) << "a cell that is not a number";
    EXPECT_FLOAT_EQ(SurfaceHeight(&real, 1.0f, 1.0f), 0.5f);

    // Missing cells stand at the lowest valid height, never far below it.
    std::vector<std::string> holes = files::docValues("real", 3, 1);
    holes[15] = "20";
    holes[16] = "60";
    holes[21] = "-9999";
    holes[22] = "missing data";
    files::WriteBytes(folder / "holes.rdc", files::docText(holes));
    files::WriteBytes(folder / "holes.rst", files::floatCells({60.0f, -9999.0f, 30.0f}));
    real.LoadSurface((folder / "holes.rst").string());
    EXPECT_FLOAT_EQ(SurfaceHeight(&real, 0.5f, 1.0f), 0.25f);
}

// Where the observer is over the grid the read-out is checked in the scene
// window against the sample terrain; here what happens off the grid.
TEST(PositionReadout, OffTheGridKeepsTheValueReadLastAndClampsTheCell)
{
    auto grid = Grid("0", "100");
    const TAffineVector scale{5, 3, 2};
    const TPositionReadout inside = ReadPosition(*grid, {-2.7f, 1.0f, 1.2f}, scale);
    EXPECT_EQ(inside.Value, 12.0);
    EXPECT_EQ(inside.Column, 2);
    EXPECT_EQ(inside.Row, 1);
    EXPECT_NEAR(inside.MapX, 21.6, 1e-5); // 2.7 of 5 columns over 0 … 40
    EXPECT_NEAR(inside.MapY, 12.0, 1e-5); // 1.2 of 3 rows over 0 … 30
    EXPECT_EQ(inside.Height, 50.0);       // half the scale of 0 … 100
    const TPositionReadout outside = ReadPosition(*grid, {1.5f, -4.0f, 4.5f}, scale);
    EXPECT_EQ(outside.Column, -1);
    EXPECT_EQ(outside.Row, -1);
    EXPECT_EQ(outside.Value, 12.0);
    EXPECT_DOUBLE_EQ(outside.Height, -200.0);
    EXPECT_EQ(ReadPosition(*grid, {-1e20f, 0, 0}, scale).Column,
              std::numeric_limits<std::int32_t>::max());
}

} // namespace
} // namespace skyglide::test
