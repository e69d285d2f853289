#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skyglide {

class IKartovaAPIServer;

// The host's file-type codes that the viewer uses.
inline constexpr int ftRaster = 1;
inline constexpr int ftPalette = 12;
inline constexpr int ftReference = 61;

// Sets text to the default extension of a host file type (a list separated
// by ";" where a type has several). Types -1 and 79 give the empty text;
// types without an extension of their own, and codes outside -1…132, leave
// text as it is.
void FileTypeExtension(int fileType, std::string& text);

// Reasons that ResolveFileName() gives in code.
inline constexpr std::int32_t rfFound = 0;
inline constexpr std::int32_t rfEmptyName = -2014;  // also: not found
inline constexpr std::int32_t rfDeviceName = -1145; // the reserved name CON
inline constexpr std::int32_t rfNoBaseName = -2001; // nothing before the extension
inline constexpr std::int32_t rfLinkFile = -942;

// Completes a file name of the given host file type in place: trims it,
// gives it the type's extension and looks it up, first as it stands when it
// has a folder, then in the host's working folder, its resource folders and
// the special folder of the type (reference systems, palettes and symbols,
// sounds and spectra). Returns true when a file was found (or the name is
// the reference-system keyword "plane"); the name then carries the folder it
// was found in. On false the name keeps its completed form and code says why.
// The folders are asked of server; without one only the name as it stands
// is tried.
bool ResolveFileName(IKartovaAPIServer* server, int fileType, std::string& name,
                     std::int32_t& code);

// The folders a host names for the look-up, for a program that resolves
// names as the viewer does without a host (the working folder, the resource
// folders in order, and the special folders of reference systems, of
// palettes and symbols, and of sounds and spectra).
struct THostFolders
{
    std::string WorkingFolder;
    std::vector<std::string> ResourceFolders;
    std::string ReferenceFolder;
    std::string PaletteFolder;
    std::string SoundFolder;
};
bool ResolveFileName(const THostFolders& folders, int fileType, std::string& name,
                     std::int32_t& code);

} // namespace skyglide
