#pragma once

#include <QByteArray>
#include <QColor>

namespace skyglide {

// What the scene window remembers between runs: its view options and its
// placement, in the user's settings of organisation "Kartova", application
// "Sky Glide". The velocity is not among them: the host sets it at every
// start, as it sets whether the window starts maximized.
struct TViewSettings
{
    bool Sky = false;
    bool Axes = false;
    bool SmoothPixel = false;
    QColor Background{Qt::black};
    bool KeepAboveGround = false;
    bool ShowFrameRate = false;
    // QWidget::saveGeometry's form; empty: the window's own placement.
    QByteArray Geometry;

    friend bool operator==(const TViewSettings&, const TViewSettings&) = default;
};

inline constexpr const char* SettingsOrganisation = "Kartova";
inline constexpr const char* SettingsApplication = "Sky Glide";

// The stored settings; a home without any (or with a value that does not
// read) gives the defaults above for what is missing.
TViewSettings ReadViewSettings();
// Stores the view options; the placement only when it is not empty.
void WriteViewSettings(const TViewSettings& settings);

} // namespace skyglide
