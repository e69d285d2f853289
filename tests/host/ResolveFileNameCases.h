#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace skyglide::test {

// A host's folders laid out on disk, with the files the resolver cases look
// for. Folder texts end in "/", as the host hands them out.
struct THostFolders
{
    std::filesystem::path Root;
    std::string Working, Resource1, Resource2, Palettes, References, Sounds;

    // References and sounds live in the working folder when the host keeps
    // them there (the stand-in host does).
    static THostFolders Create(bool specialsInWorking);
    void Remove() const;
    // Replaces {W}, {R1}, {R2}, {P}, {G} and {S} with the folders.
    std::string Expand(const std::string& text) const;
};

struct TResolveCase
{
    const char* Name;
    int FileType;
    std::string Input;
    bool Found;
    std::string Expected;
    std::int32_t Code;
};

std::vector<TResolveCase> ResolveCases();

} // namespace skyglide::test
