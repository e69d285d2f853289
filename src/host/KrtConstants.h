#pragma once

#include <cstdint>
#include <span>

namespace skyglide {

// The host's reference tables: the vocabulary of its file formats. The
// viewer itself reads none of them; they are kept so that every part of
// the program names the host's files, fields and units alike.

// A kind of host file: its category (0 header or database, 1 main data
// file, 2 auxiliary file), its extensions (separated by ",") and its
// description.
struct TFileExt
{
    std::uint8_t Category;
    const char* Extensions;
    const char* Description;
};
std::span<const TFileExt> FileExtTable(); // 49 rows

// A field of a documentation file as the host's editors show it: caption,
// how it is edited (the host's code) and the values it allows (separated by
// ","; names with blanks are quoted).
struct TFieldProp
{
    const char* Caption;
    std::uint8_t EditKind;
    const char* Allowed;
};
std::span<const TFieldProp> FieldPropTable(); // 63 rows

// A unit name with its abbreviation.
struct TConvEntry
{
    const char* LongName;
    const char* Abbreviation;
};
std::span<const TConvEntry> ConvTable(); // 11 rows

} // namespace skyglide
