#include "import/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace skyglide {

QString AsFolder(const QString& path)
{
    QString folder = QFileInfo(path).absoluteFilePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString BundledPaletteFolder()
{
    const QString installed = QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                              QStringLiteral(SKYGLIDE_INSTALLED_PALETTES);
    if (QFileInfo(installed).isDir())
        return AsFolder(QDir::cleanPath(installed));
    return AsFolder(QStringLiteral(SKYGLIDE_SOURCE_PALETTES));
}

} // namespace skyglide
