#include "import/ForeignRasters.h"

#include "import/ImportCache.h"
#include "import/ImportError.h"
#include "import/Terminal.h"

#include <QFileInfo>

#include <cstdio>

namespace skyglide {

namespace {

bool IsForeign(const QString& name)
{
    return name != QLatin1String("none") && !name.endsWith(QLatin1String(".rst")) &&
           QFileInfo(name).isFile();
}

} // namespace

bool ImportForeignRasters(QString& surface, QString& drape, const char* program)
{
    const bool importSurface = IsForeign(surface);
    // A drape is fitted onto a surface that is there.
    const bool importDrape = IsForeign(drape) && QFileInfo(surface).isFile();
    if (!importSurface && !importDrape)
        return true;

    const TInterruptGuard interrupts;
    TProgressBar bar("Importing", false);
    TImportOptions settings;
    settings.OnProgress = [&bar](double fraction) {
        bar.Show(fraction);
        return !TInterruptGuard::Interrupted();
    };
    TImportCache cache;
    cache.OnImport = [&bar, program](const QString& source, const QString& folder) {
        bar.Restart();
        std::fprintf(stderr, "%s: importing %s into %s\n", program, qPrintable(source),
                     qPrintable(folder));
    };
    try {
        const QString original = surface;
        if (importSurface)
            surface = cache.Surface(original, settings);
        if (importDrape)
            drape = cache.Drape(drape, original, settings);
    } catch (const TImportError& error) {
        bar.End();
        std::fprintf(stderr, "%s: %s\n", program, error.what());
        return false;
    }
    return true;
}

} // namespace skyglide
