#include "app/ViewerSettings.h"

#include <QSettings>

namespace skyglide {

namespace {

struct TStore : QSettings
{
    TStore()
        : QSettings(QSettings::NativeFormat, QSettings::UserScope,
                    QString::fromLatin1(SettingsOrganisation),
                    QString::fromLatin1(SettingsApplication))
    {
    }
};

// A value that is there but is not a boolean ("maybe") keeps the default.
bool ReadBool(const QSettings& store, const char* key, bool fallback)
{
    const QVariant value = store.value(QLatin1String(key));
    if (!value.isValid())
        return fallback;
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

} // namespace

TViewSettings ReadViewSettings()
{
    const TStore store;
    TViewSettings settings;
    settings.Sky = ReadBool(store, "View/Sky", settings.Sky);
    settings.Axes = ReadBool(store, "View/Axes", settings.Axes);
    settings.SmoothPixel = ReadBool(store, "View/SmoothPixel", settings.SmoothPixel);
    settings.KeepAboveGround = ReadBool(store, "View/KeepAboveGround", settings.KeepAboveGround);
    settings.ShowFrameRate = ReadBool(store, "View/ShowFrameRate", settings.ShowFrameRate);
    const QColor background(store.value(QStringLiteral("View/Background")).toString());
    if (background.isValid())
        settings.Background = background;
    settings.Geometry = store.value(QStringLiteral("Window/Geometry")).toByteArray();
    return settings;
}

void WriteViewSettings(const TViewSettings& settings)
{
    TStore store;
    store.setValue(QStringLiteral("View/Sky"), settings.Sky);
    store.setValue(QStringLiteral("View/Axes"), settings.Axes);
    store.setValue(QStringLiteral("View/SmoothPixel"), settings.SmoothPixel);
    store.setValue(QStringLiteral("View/Background"), settings.Background.name());
    store.setValue(QStringLiteral("View/KeepAboveGround"), settings.KeepAboveGround);
    store.setValue(QStringLiteral("View/ShowFrameRate"), settings.ShowFrameRate);
    if (!settings.Geometry.isEmpty())
        store.setValue(QStringLiteral("Window/Geometry"), settings.Geometry);
}

} // namespace skyglide
