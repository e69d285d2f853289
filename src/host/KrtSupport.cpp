#include "host/KrtSupport.h"

#include "hostlink/KartovaServer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>

namespace skyglide {

namespace {

// Extensions of types -1 … 132; nullptr leaves the caller's text unchanged.
constexpr int FirstFileType = -1;
// clang-format off
constexpr std::array<const char*, 134> Extensions = {
    "",         nullptr,    ".rst",     ".vct",     ".avl",     ".sig",     ".sgf",  // -1…5
    nullptr,    ".ts",      ".vec",     ".ref",     ".map",     ".bmp",     ".smp",  // 6…12
    ".tif",     ".sm0",     ".sm1",     ".sm2",     ".smt",     ".hsg",     ".cor",  // 13…19
    ".bna",     nullptr,    nullptr,    nullptr,    ".mdb",     ".krt",     ".wav",  // 20…26
    ".rdc",     ".dlg",     ".trl",     ".sbf",     ".ctg",     ".tin",     ".rcl",  // 27…33
    nullptr,    ".vct",     ".vct",     ".vct",     ".mif",     ".in",      nullptr, // 34…40
    ".vlx",     ".dsf",     nullptr,    ".exp",     ".iml",     ".dvc",     ".dvl",  // 41…47
    ".scr",     ".spf",     ".pcf",     ".vdc",     ".fil",     ".img",     nullptr, // 48…54
    nullptr,    ".avl",     ".adc",     ".doc",     ".val",     ".rgf",     ".ref",  // 55…61
    ".pal",     ".rnb",     ".iax",     ".col",     nullptr,    ".dxf",     ".dsc",  // 62…68
    ".bil",     nullptr,    ".isc",     ".rdc",     ".avi",     ".shp",     ".dbf",  // 69…75
    ".var",     ".prd",     ".cmd",     "",         ".dst",     ".ipf",     ".dat",  // 76…82
    ".grd",     ".wmf",     ".emf",     ".ikb",     ".ddf",     ".vxp",     ".vct;.vxp", // 83…89
    ".vct",     ".env",     ".tif;.jpg;.pcx;.tga;.clp;.png;.dcx;.wmf;.bmp;.rst",   // 90…92
    ".hdr",     ".asc",     ".fst",     ".flt",     ".l1r",     ".l1g",     ".jpg",  // 93…99
    ".pcx",     ".tga",     ".tfw",     ".txt",     "imag_*.dat", ".dmw",   ".imm",  // 100…106
    ".imp",     ".ims",     ".hgf",     ".sta",     ".ers",     ".rus",     ".gmd",  // 107…113
    ".bpn",     ".ecw",     ".tiff",    ".som",     ".art",     ".lcm",     ".rdc;.vdc", // 114…120
    ".csv",     ".jp2",     ".vgf",     ".eig",     ".tsm",     ".icm",     ".tsf",  // 121…127
    ".nc",      ".tsg",     ".bsq",     nullptr,    ".bip",                         // 128…132
};
// clang-format on

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

std::string Trimmed(const std::string& text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

std::string Upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

// Length of the folder part of a name, its final "/" included.
std::size_t FolderLength(const std::string& name)
{
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

bool FileExists(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// Where the reference-system keyword "lat/long" (or "lat\long", "lat long")
// starts in name, as the last part of it with at most an extension after
// it; npos when it is not there. Its "/" is part of the keyword, not a
// folder.
std::size_t LatLongKeyword(const std::string& name)
{
    const std::string upper = Upper(name);
    for (std::string_view keyword : {"LAT/LONG", "LAT\\LONG", "LAT LONG"}) {
        for (std::size_t at = upper.find(keyword); at != std::string::npos;
             at = upper.find(keyword, at + 1)) {
            const std::size_t end = at + keyword.size();
            const bool startsName = at == 0 || upper[at - 1] == '/';
            const bool endsName = end == upper.size() ||
                                  (upper[end] == '.' && upper.find('/', end) == std::string::npos);
            if (startsName && endsName)
                return at;
        }
    }
    return std::string::npos;
}

bool TryFolder(const std::string& folder, std::string& name)
{
    if (!FileExists(folder + name))
        return false;
    name = folder + name;
    return true;
}

} // namespace

void FileTypeExtension(int fileType, std::string& text)
{
    const int row = fileType - FirstFileType;
    if (row < 0 || row >= static_cast<int>(Extensions.size()))
        return;
    if (const char* extension = Extensions[static_cast<std::size_t>(row)])
        text = extension;
}

bool ResolveFileName(IKartovaAPIServer* server, int fileType, std::string& name, std::int32_t& code)
{
    code = rfEmptyName;
    name = Trimmed(name);

    const bool referenceType = fileType == 9 || fileType == 61;
    const std::size_t latLong = referenceType ? LatLongKeyword(name) : std::string::npos;

    const std::string fileName = name.substr(FolderLength(name));
    const std::string bareName = Upper(fileName.substr(0, fileName.find('.')));
    if (bareName.empty() && latLong == std::string::npos)
        return false;
    if (bareName == "CON") {
        code = rfDeviceName;
        return false;
    }
    if (fileType == 61 && bareName == "PLANE") {
        code = rfFound;
        return true;
    }
    if (latLong != std::string::npos)
        name = name.substr(0, latLong) + "latlong";

    // Only a dot in the file's own name starts its extension: a folder such
    // as "/data/v1.2/" keeps its dot.
    const std::size_t folderLength = FolderLength(name);
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= folderLength;
    const std::string base = hasExtension ? name.substr(0, dot) : name;
    std::string extension = hasExtension ? name.substr(dot) : std::string();
    const std::string baseName = base.substr(folderLength);
    if (baseName.empty() || baseName == ".") {
        code = rfNoBaseName;
        return false;
    }

    const bool keepsName =
        fileType == 0 || fileType == 21 || fileType == 22 || fileType == 34 || fileType == 66;
    if (!keepsName) {
        FileTypeExtension(fileType, extension);
        name = base + extension;
    }

    const std::string folderPart = name.substr(0, FolderLength(name));
    if (!folderPart.empty() && FileExists(name)) {
        code = rfFound;
        return true;
    }
    if (!server)
        return false;

    // From here on the whole name is put behind each folder in turn.
    bool found = TryFolder(folderPart.empty() ? server->GetWorkingFolder() : folderPart, name);
    if (!found) {
        const std::int32_t count = server->GetResourceFolderCount();
        for (std::int32_t i = 1; i <= count && !found; ++i)
            found = TryFolder(server->GetResourceFolder(i), name);
    }
    if (!found && referenceType)
        found = TryFolder(server->HostText13(), name);
    if (!found && (fileType == 12 || (fileType >= 14 && fileType <= 17)))
        found = TryFolder(server->HostText52(), name);
    if (!found && (fileType == 26 || fileType == 30 || fileType == 71))
        found = TryFolder(server->HostText54(), name);
    if (found)
        code = rfFound;
    return found;
}

} // namespace skyglide
