#include "ScriptedHost.h"
#include "TestSupport.h"

#include "host/KrtSupport.h"

#include <filesystem>

namespace skyglide::test {
namespace {

struct TResolveCase
{
    const char* Name;
    int FileType;
    std::string Input;
    std::string Expected;
    std::int32_t Code; // 0: found
};

// A host's folders on disk with the files the cases look for; {W}, {R1},
// {R2}, {P}, {G} and {S} in a case stand for them.
class ResolveFileNameOnDisk : public testing::TestWithParam<TResolveCase>
{
protected:
    void SetUp() override
    {
        Root = TestFolder();
        for (const char* file :
             {"{R2}greyscale.smp", "{W}both.smp", "{R1}both.smp", "{R1}order.smp", "{R2}order.smp",
              "{R2}late.smp", "{P}late.smp", "{P}special.smp", "{R1}latlong.ref", "{G}utm.ref",
              "{S}beep.wav", "{W}sub/x.rst", "{W}v1.2/pal.smp"}) {
            const std::filesystem::path path = Expand(file);
            std::filesystem::create_directories(path.parent_path());
            WriteBytes(path, "x");
        }
        std::filesystem::create_directories(Expand("{W}dir.smp")); // a folder, not a file
    }

    // Folder texts end in "/", as the host hands them out.
    std::string Expand(std::string text) const
    {
        static const std::pair<const char*, const char*> folders[] = {
            {"{W}", "working"},  {"{R1}", "resource1"}, {"{R2}", "resource2"},
            {"{P}", "palettes"}, {"{G}", "georef"},     {"{S}", "sounds"}};
        for (const auto& [key, folder] : folders) {
            const std::string path = (Root / folder).string() + "/";
            for (auto at = text.find(key); at != std::string::npos; at = text.find(key))
                text.replace(at, std::string(key).size(), path);
        }
        return text;
    }

    std::filesystem::path Root;
};

TEST_P(ResolveFileNameOnDisk, FindsTheFileInTheHostsFolders)
{
    const TResolveCase& row = GetParam();
    THostScript script;
    script.WorkingFolder = Expand("{W}");
    script.ResourceFolders = {Expand("{R1}"), Expand("{R2}")};
    script.Folder13 = Expand("{G}");
    script.Folder52 = Expand("{P}");
    script.Folder54 = Expand("{S}");
    TScriptedHost host(script);

    std::string name = Expand(row.Input);
    std::int32_t code = 1;
    EXPECT_EQ(ResolveFileName(&host, row.FileType, name, code), row.Code == 0);
    EXPECT_EQ(name, Expand(row.Expected));
    EXPECT_EQ(code, row.Code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveFileNameOnDisk,
    testing::Values(
        TResolveCase{"paletteInAResourceFolder", 12, "greyscale", "{R2}greyscale.smp", 0},
        TResolveCase{"extensionReplaced", 12, "  greyscale.pal  ", "{R2}greyscale.smp", 0},
        TResolveCase{"workingFolderFirst", 12, "both", "{W}both.smp", 0},
        TResolveCase{"resourceFoldersInOrder", 12, "order", "{R1}order.smp", 0},
        TResolveCase{"resourceBeforePaletteFolder", 12, "late", "{R2}late.smp", 0},
        TResolveCase{"paletteFolderLast", 12, "special", "{P}special.smp", 0},
        TResolveCase{"notFound", 12, "nowhere", "nowhere.smp", -2014},
        TResolveCase{"folderIsNoFile", 12, "dir", "dir.smp", -2014},
        TResolveCase{"deviceName", 12, "con", "con", -1145},
        TResolveCase{"deviceNameWithExtension", 12, "  CON.smp  ", "CON.smp", -1145},
        TResolveCase{"latLong", 61, "lat/long", "{R1}latlong.ref", 0},
        TResolveCase{"latLongWithBlank", 9, "LAT LONG", "{R1}latlong.ref", 0},
        TResolveCase{"latLongBackslash", 61, "Lat\\Long", "{R1}latlong.ref", 0},
        TResolveCase{"plane", 61, "plane", "plane", 0},
        TResolveCase{"referenceFolder", 61, "utm", "{G}utm.ref", 0},
        TResolveCase{"soundFolder", 26, "beep", "{S}beep.wav", 0},
        TResolveCase{"blanksOnly", 12, "   ", "", -2014},
        TResolveCase{"extensionOnly", 12, ".smp", ".smp", -2014},
        TResolveCase{"nameWithFolder", 1, "{W}sub/x", "{W}sub/x.rst", 0},
        TResolveCase{"folderWithADot", 12, "{W}v1.2/pal", "{W}v1.2/pal.smp", 0},
        TResolveCase{"relativeNameWithFolder", 1, "sub/x", "sub/x.rst", -2014},
        TResolveCase{"typeThatKeepsItsName", 0, "both.smp", "{W}both.smp", 0}),
    [](const testing::TestParamInfo<TResolveCase>& info) { return info.param.Name; });

} // namespace
} // namespace skyglide::test
