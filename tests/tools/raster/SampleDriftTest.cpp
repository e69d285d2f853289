// The committed samples must be exactly what samples/regenerate makes from
// the shared terrain data, so an edit to the tool or the commands that
// changes them is caught.
#include "ToolRun.h"

namespace skyglide {
namespace {

using testing::readFile;
using testing::runProgram;
using testing::toolFolder;

std::filesystem::path samplesDir()
{
    const char* dir = std::getenv("SKYGLIDE_SAMPLES_DIR");
    return dir ? dir : "samples";
}

std::filesystem::path sourceDir()
{
    if (const char* dir = std::getenv("SKYGLIDE_SHARED_DATA")) {
        return dir;
    }
    return samplesDir().parent_path().parent_path() / "shared" / "data";
}

struct TGroup
{
    const char* Name;
    std::vector<std::string> Sources;
    std::vector<std::string> Files;
};

class SampleDriftTest : public ::testing::TestWithParam<TGroup>
{
};

TEST_P(SampleDriftTest, RegeneratesByteForByte)
{
    const TGroup& group = GetParam();
    for (const auto& source : group.Sources) {
        if (!std::filesystem::exists(sourceDir() / source)) {
            GTEST_SKIP() << "source " << (sourceDir() / source) << " not present";
        }
    }
    const auto folder = toolFolder();
    const auto out = folder / "samples";
    const auto run = runProgram((samplesDir() / "regenerate").string(),
                                {testing::binDir(), sourceDir().string(), out.string(), group.Name},
                                folder);
    ASSERT_EQ(run.Status, 0) << run.Err;
    for (const auto& file : group.Files) {
        SCOPED_TRACE(file);
        const std::string made = readFile(out / file);
        ASSERT_FALSE(made.empty());
        EXPECT_TRUE(made == readFile(samplesDir() / file))
            << "samples/" << file << " differs from what samples/regenerate makes";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleDriftTest,
    ::testing::Values(
        TGroup{"palettes", {}, {"palettes/greyscale.smp", "palettes/elevation.smp"}},
        TGroup{"olinda",
               {"olinda_dem_utm25s.f32", "olinda_L7_ETM_rgb.rgb"},
               {"olinda.rst", "olinda.rdc", "olinda_drape.rst", "olinda_drape.rdc"}},
        TGroup{"trinidad", {"trinidad_co_usgs_1deg_dem.i16"}, {"trinidad.rst", "trinidad.rdc"}}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace skyglide
