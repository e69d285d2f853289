#include "app/Navigation.h"
#include "app/SceneLoader.h"

#include <Qt>

#include <gtest/gtest.h>

#include <limits>

namespace skyglide::test {
namespace {

TEST(ChangeVelocity, StepsByTenNeverBelowTenWithDerivedRates)
{
    using V = TVelocityChange;
    constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
    const struct
    {
        const char* Name;
        std::int32_t Velocity;
        std::uint8_t Default;
        V Kind;
        TNavigationRates Expected;
    } rows[] = {
        {"decrease at 10 stays", 10, 0, V::vcDecrease, {10, 5, 8}},
        {"decrease from 14 gives 10, not 4", 14, 0, V::vcDecrease, {10, 5, 8}},
        {"14 after one decrease from 24", 24, 0, V::vcDecrease, {14, 7, 11}},
        {"increase at 10 gives 20", 10, 0, V::vcIncrease, {20, 10, 16}},
        {"restore to 100", 30, 100, V::vcRestore, {100, 50, 80}},
        {"restore to 255", 10, 255, V::vcRestore, {255, 127, 204}},
        {"increase saturates", Max - 3, 0, V::vcIncrease, {Max, 1073741823, 1717986944}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ChangeVelocity(row.Velocity, row.Default, row.Kind), row.Expected) << row.Name;
}

TEST(KeyState, AutoRepeatNeitherPressesNorReleases)
{
    TKeyState keys;
    keys.KeyPressed(Qt::Key_Up, false);
    keys.KeyReleased(Qt::Key_Up, true); // the X server's repeat pair
    keys.KeyPressed(Qt::Key_Up, true);
    EXPECT_TRUE(keys.IsDown(Qt::Key_Up));
    keys.KeyPressed(Qt::Key_S, true);
    EXPECT_FALSE(keys.IsDown(Qt::Key_S)) << "a repeat is not a press";
    keys.KeyReleased(Qt::Key_Up, false);
    EXPECT_TRUE(keys.Empty());
    // Either key of a row makes the row act.
    keys.KeyPressed(Qt::Key_S, false);
    EXPECT_TRUE(keys.AnyDown(NavigationRows[0]));
    EXPECT_FALSE(keys.AnyDown(NavigationRows[1]));
}

TEST(DetailLevel, BoxStepAndSamplingFactor)
{
    const struct
    {
        int Mode, Columns, Rows, Step, Factor;
    } rows[] = {
        {1, 2000, 1000, 1, 20}, {1, 4000, 1000, 3, 20},   {1, 2401, 1201, 2, 20},
        {2, 2401, 1201, 1, 15}, {3, 8000, 8000, 3, 5},    {0, 8000, 8000, 1, 10},
        {4, 4000, 4000, 1, 10}, {255, 4000, 4000, 1, 10},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DecimationStep(std::uint8_t(row.Mode), row.Columns, row.Rows), row.Step)
            << "mode " << row.Mode << ", " << row.Columns << " x " << row.Rows;
        EXPECT_EQ(ResolutionBoxFor(std::uint8_t(row.Mode)).MeshSamplingFactor, row.Factor);
    }
}

} // namespace
} // namespace skyglide::test
