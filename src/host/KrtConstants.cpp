#include "host/KrtConstants.h"

#include <iterator>

namespace skyglide {

namespace {

constexpr TFileExt FileExts[] = {
    {1, ".rst", "Raster Image"},
    {0, ".rdc", "Raster Header"},
    {1, ".vct", "Vector Features"},
    {0, ".vdc", "Vector Header"},
    {1, ".vgf", "Vector Group"},
    {1, ".rgf", "Raster Group"},
    {0, ".env", "Project"},
    {1, ".ref", "Reference"},
    {1, ".vlx", "Vector Link"},
    {2, ".mdb", "Access Database"},
    {1, ".avl", "Attribute Values"},
    {2, ".adc", "Attribute Values Header"},
    {1, ".map", "Map Composition"},
    {1, ".sm0,.sm1,.sm2,.smp,.smt", "Symbol"},
    {2, ".sm0", "Point Symbol"},
    {2, ".sm1", "Line Symbol"},
    {2, ".sm2", "Polygon Symbol"},
    {2, ".smt", "Text Symbol"},
    {2, ".smp", "Palette"},
    {2, ".cor", "Correspondence"},
    {1, ".sig,.spf", "Signature"},
    {1, ".sgf", "Signature Group"},
    {1, ".ts", "Time Series"},
    {2, ".iml", "Macro Script"},
    {2, ".pcf", "Pairwise Comparison"},
    {2, ".dsf", "Decision Support"},
    {2, ".dmw", "Decision Wizard"},
    {2, ".ikb", "Knowledge Base"},
    {2, ".exp", "Image Calculator"},
    {2, ".isc", "Spectral Curve"},
    {2, ".sbf", "Sensor Band"},
    {2, ".hsg", "Hyper Spectral"},
    {2, ".hgf", "Hyper Spectral Group"},
    {2, ".imm", "Macro Modeler Model"},
    {2, ".ims", "Macro Modeler Sub-Model"},
    {2, ".imp", "Macro Module Parameter"},
    {2, ".dif", "Interchange Format"},
    {0, ".dbf", "DBase Table"},
    {2, ".fil", "Filter File"},
    {0, ".img", "Old Image Format"},
    {0, ".vec", "Old Vector Format"},
    {0, ".doc", "Old Image Header"},
    {0, ".dvc", "Old Vector Header"},
    {2, ".prd", "Prediction Equation"},
    {2, ".rcl", "Reclassification Parameters"},
    {2, ".scf", "Spectral Curve"},
    {2, ".tin", "Triangulation"},
    {2, ".var", "Variogram"},
    {2, ".lcm", "Land Change Modeler"},
};
static_assert(std::size(FileExts) == 49);

// Edit kinds, as the host's editors know them: 0 shown only, 1 free text,
// 2 whole number, 3 real number, 4 one of the allowed values, 6 an allowed
// value or free text, 8 a file, 10 a folder, 11 a list of lines, 13 a
// database table, 15 a list of numbers.
constexpr const char* Units = "Meters,Feet,Miles,Kilometers,Degrees,Radians";
constexpr const char* ErrorKinds = "Unknown,Unspecified";

constexpr TFieldProp FieldProps[] = {
    {"Name", 0, ""},
    {"File path", 0, ""},
    {"Dataset", 1, ""},
    {"File format", 0, ""},
    {"File title", 1, ""},
    {"Data type", 4, "Byte,Integer,Real,RGB24,RGB8"},
    {"File type", 4, "ASCII,Binary,Packed"},
    {"Columns", 2, ""},
    {"Rows", 2, ""},
    {"Ref. system", 8, ""},
    {"Ref. units", 4, Units},
    {"Unit dist.", 3, ""},
    {"Min. X", 3, ""},
    {"Max. X", 3, ""},
    {"Min. Y", 3, ""},
    {"Max. Y", 3, ""},
    {"Pos'n error", 6, ErrorKinds},
    {"X Resolution", 3, ""},
    {"Y Resolution", 3, ""},
    {"Min. value", 3, ""},
    {"Max. value", 3, ""},
    {"Display min", 3, ""},
    {"Display max", 3, ""},
    {"Value units", 4, "Unknown,Unspecified,Meters,Feet,Miles,Kilometers,Degrees,Radians"},
    {"Value error", 6, ErrorKinds},
    {"Flag value", 6, "None"},
    {"Flag def'n", 6, "None,\"Missing Data\",Background"},
    {"Legend cats", 2, ""},
    {"Lineage", 11, ""},
    {"Code", 2, ""},
    {"Comment", 11, ""},
    {"Id type", 4, "Integer,Real"},
    {"Object type", 4, "Point,Line,Polygon,Text,Unknown"},
    {"Completeness", 11, ""},
    {"Consistency", 11, ""},
    {"Categories", 11, ""},
    {"Projection", 4,
     "\"Mercator\",\"Transverse Mercator\",\"Gauss-Kruger\",\"Lambert Conformal Conic\","
     "\"Plate Carree\",\"Hammer Aitoff\",\"Lambert North Polar Azimuthal Equal Area\","
     "\"Lambert South Polar Azimuthal Equal Area\","
     "\"Lambert Transverse Azimuthal Equal Area\",\"Lambert Oblique Azimuthal Equal Area\","
     "\"North Polar Stereographic\",\"South Polar Stereographic\","
     "\"Transverse Stereographic\",\"Oblique Stereographic\",\"Alber's Equal Area Conic\",None"},
    {"Datum", 1, ""},
    {"Delta WGS84", 15, ""},
    {"Ellipsoid", 1, ""},
    {"Major S-ax", 3, ""},
    {"Minor S-ax", 3, ""},
    {"Origin Long", 3, ""},
    {"Origin Lat", 3, ""},
    {"Origin X", 3, ""},
    {"Origin Y", 3, ""},
    {"Scale Fac", 3, ""},
    {"Units", 4, Units},
    {"Parameters", 2, ""},
    {"Stardard Lines", 2, ""},
    {"Stand ln", 15, ""},
    {"Records", 2, ""},
    {"Fields", 2, ""},
    {"Field", 1, ""},
    {"Vector file", 8, ""},
    {"Database", 8, ""},
    {"Table", 13, ""},
    {"Link field", 1, ""},
    {"Working folder", 10, ""},
    {"Resource folder", 10, ""},
    {"Group Count", 2, ""},
    {"Group Item", 8, ""},
    {"units/point", 3, ""},
};
static_assert(std::size(FieldProps) == 63);

constexpr TConvEntry ConvEntries[] = {
    {"Meters", "m"},     {"Feet", "ft"},     {"Miles", "mi"},   {"Kilometers", "km"},
    {"Degrees", "deg"},  {"Radians", "rad"}, {"Meter", "m"},    {"Mile", "mi"},
    {"Kilometer", "km"}, {"Degree", "deg"},  {"Radian", "rad"},
};
static_assert(std::size(ConvEntries) == 11);

} // namespace

std::span<const TFileExt> FileExtTable()
{
    return FileExts;
}

std::span<const TFieldProp> FieldPropTable()
{
    return FieldProps;
}

std::span<const TConvEntry> ConvTable()
{
    return ConvEntries;
}

} // namespace skyglide
