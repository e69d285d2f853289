// The committed samples must be exactly what samples/regenerate makes from
// the shared terrain data, so a change to the tool or to the commands that
// alters them is caught.
#include "ToolRun.h"

#include "../../data/DataTestFiles.h"

namespace skyglide {
namespace {

using namespace skyglide::testing;

TEST(SampleDriftTest, RegeneratesByteForByte)
{
    const char* samplesEnv = std::getenv("SKYGLIDE_SAMPLES_DIR");
    const std::filesystem::path samples = samplesEnv ? samplesEnv : "samples";
    // The shared data folder beside the checkout, unless SKYGLIDE_SHARED_DATA names one.
    const char* sharedEnv = std::getenv("SKYGLIDE_SHARED_DATA");
    const std::filesystem::path shared =
        sharedEnv ? std::filesystem::path(sharedEnv)
                  : samples.parent_path().parent_path() / "shared" / "data";
    const std::vector<std::tuple<const char*, std::vector<std::string>, std::vector<std::string>>>
        groups = {
            {"palettes", {}, {"palettes/greyscale.smp", "palettes/elevation.smp"}},
            {"olinda",
             {"olinda_dem_utm25s.f32", "olinda_L7_ETM_rgb.rgb"},
             {"olinda.rst", "olinda.rdc", "olinda_drape.rst", "olinda_drape.rdc"}},
            {"trinidad", {"trinidad_co_usgs_1deg_dem.i16"}, {"trinidad.rst", "trinidad.rdc"}}};
    const auto folder = testFolder();
    std::vector<std::string> missing;
    for (const auto& [group, sources, files] : groups) {
        if (std::any_of(sources.begin(), sources.end(),
                        [&](const auto& s) { return !std::filesystem::exists(shared / s); })) {
            missing.push_back(group);
            continue;
        }
        const TRun run = runProgram((samples / "regenerate").string(),
                                    {binDir(), shared.string(), folder.string(), group});
        ASSERT_EQ(run.Status, 0) << run.Err;
        for (const auto& file : files) {
            const std::string made = readFile(folder / file);
            EXPECT_TRUE(!made.empty() && made == readFile(samples / file))
                << "samples/" << file << " differs from what samples/regenerate makes";
        }
    }
    if (!missing.empty()) {
        GTEST_SKIP() << "sources under " << shared << " not present for: " << missing.front()
                     << (missing.size() > 1 ? " and others" : "");
    }
}

} // namespace
} // namespace skyglide
