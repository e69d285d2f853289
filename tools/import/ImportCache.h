#pragma once

#include "import/GdalImport.h"

#include <QString>

#include <functional>

namespace skyglide {

/// Imports of foreign rasters kept in Sky Glide's cache folder, so that a
/// source is converted once and flown as often as wanted.
///
/// Each import has a folder of its own, named by a hash of the source's
/// absolute path, size and modification time (a drape's also of its
/// surface's), so that a changed source is imported afresh. The folder
/// holds the raster pair and a file "source" naming what it was made from;
/// once a new import of the same source is complete, the folders of its
/// earlier versions are removed.
class TImportCache
{
public:
    /// `root` is the folder the imports go into; empty: the user's cache
    /// folder, <cache>/Kartova/Sky Glide/rasters.
    explicit TImportCache(QString root = {});

    const QString& Root() const { return m_root; }

    /// The image file (".rst") of the import of `source`, importing it
    /// first unless a current import is there. Throws TImportError.
    QString Surface(const QString& source, const TImportOptions& options);
    /// The same for a drape fitted onto `surface` (a raster pair or a
    /// foreign raster).
    QString Drape(const QString& drape, const QString& surface, const TImportOptions& options);

    /// Called as an import starts, with the source and the folder it goes to.
    std::function<void(const QString& source, const QString& folder)> OnImport;

private:
    QString cached(const QString& identity, const QString& stamp, const QString& source,
                   const std::function<void(const std::string&)>& importInto);

    QString m_root;
};

} // namespace skyglide
