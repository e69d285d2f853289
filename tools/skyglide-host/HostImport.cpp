#include "HostImport.h"

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

bool ImportForeignRasters(THostOptions& options)
{
    const bool surface = IsForeign(options.Surface);
    // A drape is fitted onto a surface that is there.
    const bool drape = IsForeign(options.Drape) && QFileInfo(options.Surface).isFile();
    if (!surface && !drape)
        return true;

    const TInterruptGuard interrupts;
    TProgressBar bar("Importing", false);
    TImportOptions settings;
    settings.OnProgress = [&bar](double fraction) {
        bar.Show(fraction);
        return !TInterruptGuard::Interrupted();
    };
    TImportCache cache;
    cache.OnImport = [&bar](const QString& source, const QString& folder) {
        bar.Restart();
        std::fprintf(stderr, "skyglide-host: importing %s into %s\n", qPrintable(source),
                     qPrintable(folder));
    };
    try {
        const QString original = options.Surface;
        if (surface)
            options.Surface = cache.Surface(original, settings);
        if (drape)
            options.Drape = cache.Drape(options.Drape, original, settings);
    } catch (const TImportError& error) {
        bar.End();
        std::fprintf(stderr, "skyglide-host: %s\n", error.what());
        return false;
    }
    return true;
}

} // namespace skyglide
