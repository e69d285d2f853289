#include "ResolveFileNameCases.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace skyglide::test {

namespace fs = std::filesystem;

THostFolders THostFolders::Create(bool specialsInWorking)
{
    const char* tmp = std::getenv("SKYGLIDE_TEST_TMP");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/resolve-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("THostFolders: cannot create a folder from " + pattern);
    THostFolders folders;
    folders.Root = pattern;
    const auto folder = [&](const char* name) {
        fs::create_directories(folders.Root / name);
        return (folders.Root / name).string() + "/";
    };
    folders.Working = folder("working");
    folders.Resource1 = folder("resource1");
    folders.Resource2 = folder("resource2");
    folders.Palettes = folder("palettes");
    folders.References = specialsInWorking ? folders.Working : folder("georef");
    folders.Sounds = specialsInWorking ? folders.Working : folder("sounds");

    for (const char* file :
         {"{R2}greyscale.smp", "{W}both.smp", "{R1}both.smp", "{R1}order.smp", "{R2}order.smp",
          "{R2}late.smp", "{P}late.smp", "{P}special.smp", "{R1}latlong.ref", "{G}utm.ref",
          "{S}beep.wav", "{W}sub/x.rst", "{W}v1.2/pal.smp"}) {
        const fs::path path = folders.Expand(file);
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    }
    // A folder that looks like a palette file.
    fs::create_directories(folders.Expand("{W}dir.smp"));
    return folders;
}

void THostFolders::Remove() const
{
    std::error_code ignored;
    fs::remove_all(Root, ignored);
}

std::string THostFolders::Expand(const std::string& text) const
{
    std::string result = text;
    for (const auto& [key, value] :
         {std::pair{"{W}", &Working}, std::pair{"{R1}", &Resource1}, std::pair{"{R2}", &Resource2},
          std::pair{"{P}", &Palettes}, std::pair{"{G}", &References}, std::pair{"{S}", &Sounds}}) {
        for (std::size_t at = result.find(key); at != std::string::npos; at = result.find(key))
            result.replace(at, std::string(key).size(), *value);
    }
    return result;
}

std::vector<TResolveCase> ResolveCases()
{
    return {
        {"paletteInAResourceFolder", 12, "greyscale", true, "{R2}greyscale.smp", 0},
        {"extensionReplacedBlanksTrimmed", 12, "  greyscale.pal  ", true, "{R2}greyscale.smp", 0},
        {"workingFolderFirst", 12, "both", true, "{W}both.smp", 0},
        {"resourceFoldersInOrder", 12, "order", true, "{R1}order.smp", 0},
        {"resourceFoldersBeforePaletteFolder", 12, "late", true, "{R2}late.smp", 0},
        {"paletteFolderLast", 12, "special", true, "{P}special.smp", 0},
        {"notFound", 12, "nowhere", false, "nowhere.smp", -2014},
        {"folderIsNoFile", 12, "dir", false, "dir.smp", -2014},
        {"deviceName", 12, "con", false, "con", -1145},
        {"deviceNameInBlanks", 12, "  CON  ", false, "CON", -1145},
        {"deviceNameWithExtension", 12, "con.smp", false, "con.smp", -1145},
        {"latLong", 61, "lat/long", true, "{R1}latlong.ref", 0},
        {"latLongWithBlank", 9, "LAT LONG", true, "{R1}latlong.ref", 0},
        {"latLongBackslash", 61, "Lat\\Long", true, "{R1}latlong.ref", 0},
        {"plane", 61, "plane", true, "plane", 0},
        {"referenceFolder", 61, "utm", true, "{G}utm.ref", 0},
        {"soundFolder", 26, "beep", true, "{S}beep.wav", 0},
        {"empty", 12, "", false, "", -2014},
        {"blanksOnly", 12, "   ", false, "", -2014},
        {"extensionOnly", 12, ".smp", false, ".smp", -2014},
        {"nameWithFolderFoundAsItStands", 1, "{W}sub/x", true, "{W}sub/x.rst", 0},
        {"folderWithADot", 12, "{W}v1.2/pal", true, "{W}v1.2/pal.smp", 0},
        {"relativeNameWithFolder", 1, "sub/x", false, "sub/x.rst", -2014},
        {"typeThatKeepsItsName", 0, "both.smp", true, "{W}both.smp", 0},
    };
}

} // namespace skyglide::test
