#include "import/ImportCache.h"

#include "import/ImportError.h"
#include "import/PendingFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace skyglide {

namespace {

/// Size and modification time (to the nanosecond) of a file.
QString stampOf(const QString& file)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(file).constData(), &status) != 0) {
        throw TImportError("cannot open " + file.toStdString() + ": " + std::strerror(errno));
    }
    return QStringLiteral("%1 %2.%3\n")
        .arg(status.st_size)
        .arg(status.st_mtim.tv_sec)
        .arg(status.st_mtim.tv_nsec, 9, 10, QLatin1Char('0'));
}

} // namespace

TImportCache::TImportCache(QString root) : m_root(std::move(root))
{
    if (m_root.isEmpty()) {
        // Sky Glide's own cache folder, whichever of its programs asks.
        m_root = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                 QStringLiteral("/Kartova/Sky Glide/rasters");
    }
}

QString TImportCache::Surface(const QString& source, const TImportOptions& options)
{
    const QString path = QFileInfo(source).absoluteFilePath();
    return cached(QStringLiteral("surface\n") + path + QLatin1Char('\n'), stampOf(path), path,
                  [&](const std::string& destination) {
                      ImportRaster(path.toStdString(), destination, options);
                  });
}

QString TImportCache::Drape(const QString& drape, const QString& surface,
                            const TImportOptions& options)
{
    const QString path = QFileInfo(drape).absoluteFilePath();
    const QString surfacePath = QFileInfo(surface).absoluteFilePath();
    return cached(QStringLiteral("drape\n") + path + QLatin1Char('\n') + surfacePath +
                      QLatin1Char('\n'),
                  stampOf(path) + stampOf(surfacePath), path, [&](const std::string& destination) {
                      ImportDrape(path.toStdString(), SurfaceGridOf(surfacePath.toStdString()),
                                  destination, options);
                  });
}

QString TImportCache::cached(const QString& identity, const QString& stamp, const QString& source,
                             const std::function<void(const std::string&)>& importInto)
{
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash((identity + stamp).toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(32));
    const QString folder = m_root + QLatin1Char('/') + key;
    QString base = QFileInfo(source).completeBaseName();
    if (base.isEmpty()) {
        base = QStringLiteral("raster");
    }
    const QString image = folder + QLatin1Char('/') + base + QStringLiteral(".rst");
    // The documentation is written last: with it there, the pair is whole.
    if (QFileInfo::exists(image) &&
        QFileInfo::exists(folder + QLatin1Char('/') + base + QStringLiteral(".rdc"))) {
        return image;
    }
    if (!QDir().mkpath(folder)) {
        throw TImportError("cannot write " + folder.toStdString() + ": cannot make the folder");
    }
    if (OnImport) {
        OnImport(source, folder);
    }
    try {
        importInto(image.toStdString());
        WriteFileAtomically((folder + QStringLiteral("/source")).toStdString(),
                            identity.toStdString());
    } catch (...) {
        QDir(folder).removeRecursively();
        throw;
    }
    // Earlier imports of the same source are out of date now.
    const QStringList others = QDir(m_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& other : others) {
        QFile named(m_root + QLatin1Char('/') + other + QStringLiteral("/source"));
        if (other != key && named.open(QIODevice::ReadOnly) &&
            QString::fromUtf8(named.readAll()) == identity) {
            named.close();
            QDir(m_root + QLatin1Char('/') + other).removeRecursively();
        }
    }
    return image;
}

} // namespace skyglide
