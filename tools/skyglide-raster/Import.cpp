// import: any raster GDAL opens into an image file and its documentation.
#include "Commands.h"

#include "import/Terminal.h"

namespace skyglide::rastertool {

TImportOptions parseImportOptions(const TOptions& options)
{
    TImportOptions settings;
    if (options.has("band")) {
        settings.Band = static_cast<int>(toInteger(options.get("band"), "--band", 1, 65535));
    }
    settings.Title = options.get("title");
    if (settings.Title.find_first_of("\r\n") != std::string::npos) {
        throw TUsageError("--title: a documentation value must be one line");
    }
    return settings;
}

int runImport(const TArgs& args)
{
    const TOptions options = TOptions::parse(args, {"band", "title"});
    if (options.Operands.size() != 2) {
        throw TUsageError("expected SOURCE and DEST.rst, got " +
                          std::to_string(options.Operands.size()) + " operands");
    }
    const std::string& destination = options.Operands[1];
    if (destination.size() < 5 || destination.compare(destination.size() - 4, 4, ".rst") != 0) {
        throw TUsageError("expected a destination ending in .rst but got '" + destination + "'");
    }
    TImportOptions settings = parseImportOptions(options);
    const TInterruptGuard interrupts;
    TProgressBar bar("Importing", false);
    settings.OnProgress = [&](double fraction) {
        bar.Show(fraction);
        return !TInterruptGuard::Interrupted();
    };
    ImportRaster(options.Operands[0], destination, settings);
    return 0;
}

} // namespace skyglide::rastertool
