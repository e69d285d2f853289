// skyglide-raster: checks raster files as the viewer reads them, imports
// foreign rasters, and makes the project's sample rasters and palettes.
#include "Commands.h"

#include "import/ImportError.h"

#include "data/Bitmap.h"
#include "data/FileIO.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <string>

namespace {

constexpr const char* Usage = R"(usage:
  skyglide-raster info FILE.rst
  skyglide-raster info SOURCE [--band N] [--title T]
  skyglide-raster import SOURCE DEST.rst [--band N] [--title T]
      SOURCE: any raster GDAL reads (GeoTIFF, ASCII grid, HGT, IMG, VRT, ...)
  skyglide-raster values FILE.rst [--step N]
  skyglide-raster texture FILE.rst [--palette P.smp] [--step N] --out OUT.png
  skyglide-raster import-grid SOURCE --type integer|real|byte|rgb24 --columns N --rows N
      --extent MINX,MAXX,MINY,MAXY [--ref-system S] [--ref-units U] [--value-units U]
      [--value-range MIN,MAX] [--display MIN,MAX] [--source-order rgb|bgr] [--title T]
      [--lineage TEXT]... [--comment TEXT]... --out OUT.rst
  skyglide-raster make-palette greyscale|elevation|STOPS [--stretch FIRST,LAST] --out OUT.smp
      STOPS: INDEX:RED,GREEN,BLUE;INDEX:RED,GREEN,BLUE;...
)";

// The usage lines of one command: its own lines and their continuations.
std::string CommandUsage(const std::string& command)
{
    const std::string usage = Usage;
    const std::string own = "  skyglide-raster " + command + " ";
    std::string out = "usage:\n";
    bool inCommand = false;
    for (std::size_t start = usage.find('\n') + 1; start < usage.size();) {
        const std::size_t end = usage.find('\n', start);
        const std::string line = usage.substr(start, end - start);
        if (line.rfind("  skyglide-raster ", 0) == 0)
            inCommand = line.rfind(own, 0) == 0;
        if (inCommand)
            out += line + "\n";
        start = end + 1;
    }
    return out;
}

bool AsksForHelp(const std::string& argument)
{
    return argument == "--help" || argument == "-h";
}

} // namespace

int main(int argc, char** argv)
{
    using namespace skyglide::rastertool;
    const std::map<std::string, int (*)(const TArgs&)> commands = {
        {"info", runInfo},
        {"values", runValues},
        {"texture", runTexture},
        {"import", runImport},
        {"import-grid", runImportGrid},
        {"make-palette", runMakePalette},
    };
    if (argc < 2 || AsksForHelp(argv[1])) {
        (argc < 2 ? std::cerr : std::cout) << Usage;
        return argc < 2 ? 2 : 0;
    }
    if (std::string(argv[1]) == "--version") {
        std::cout << "skyglide-raster " << SKYGLIDE_VERSION << "\n";
        return 0;
    }
    const auto command = commands.find(argv[1]);
    if (command == commands.end()) {
        std::cerr << "skyglide-raster: unknown command '" << argv[1]
                  << "', expected info, values, texture, import, import-grid or make-palette\n";
        return 2;
    }
    if (std::any_of(argv + 2, argv + argc, AsksForHelp)) {
        std::cout << CommandUsage(argv[1]);
        return 0;
    }
    try {
        return command->second(TArgs(argv + 2, argv + argc));
    } catch (const TUsageError& error) {
        std::cerr << "skyglide-raster " << argv[1] << ": " << error.what()
                  << " (see skyglide-raster --help)\n";
        return 2;
    } catch (const skyglide::TImportError& error) {
        std::cerr << "skyglide-raster " << argv[1] << ": " << error.what() << "\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "skyglide-raster: " << error.what() << "\n";
        return 1;
    }
}
