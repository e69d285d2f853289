#include "app/ViewerOverlay.h"


#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <array>

namespace skyglide {

namespace {

struct TCardLine
{
    const char* Keys; // empty: a heading
    const char* Action;
};

// clang-format off
constexpr std::array<TCardLine, 19> CardLines = {{
    {"", "Keys"},
    {"Up / Down", "fly forward / back"},
    {"Left / Right", "turn"},
    {"Page Up, S / Page Down, X", "tilt up / down"},
    {"Shift, A / Ctrl, Z", "rise / sink"},
    {"F5 / F6 / F7", "velocity down / restore / up"},
    {"F8", "record a path"},
    {"F9 / F10, Space", "play / pause"},
    {"F11, Esc / F12", "stop / restart"},
    {"Ctrl+P", "save picture"},
    {"F1", "help"},
    {"? or H", "this card"},
    {"", ""},
    {"", "Mouse"},
    {"left drag across", "turn"},
    {"left drag up / down", "tilt up / down"},
    {"middle drag up / down", "rise / sink"},
    {"wheel", "velocity, 1.25 times a notch"},
    {"right button", "menu"},
}};
// clang-format on

const QColor PanelColour(16, 20, 28, 190);
const QColor EdgeColour(255, 255, 255, 90);
const QColor TextColour(245, 245, 245);
const QColor HeadingColour(255, 214, 120);

void PaintPanel(QPainter& painter, const QRectF& rect)
{
    painter.fillRect(rect, PanelColour);
    painter.setPen(QPen(EdgeColour, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect);
}

} // namespace

void PaintKeyCard(QPainter& painter, const QRect& area, std::int32_t velocity)
{
    painter.save();
    const QFont font = painter.font();
    const QFontMetrics metrics(QFont(font.family(), font.pointSize(), QFont::Bold));
    const int line = metrics.height() + 2;
    int keysWidth = 0, actionWidth = 0;
    for (const TCardLine& card : CardLines) {
        keysWidth = std::max(keysWidth, metrics.horizontalAdvance(QString::fromLatin1(card.Keys)));
        actionWidth =
            std::max(actionWidth, metrics.horizontalAdvance(QString::fromLatin1(card.Action)));
    }
    const int margin = 12, padding = 10, gap = 16;
    const QString velocityText = QStringLiteral("Velocity %1").arg(velocity);
    // The card's last line, below a blank one.
    const int lines = int(CardLines.size()) + 2;
    const QRectF panel(area.left() + margin, area.top() + margin,
                       keysWidth + gap + actionWidth + 2 * padding, lines * line + 2 * padding);
    PaintPanel(painter, panel);

    int y = int(panel.top()) + padding;
    const int keysX = int(panel.left()) + padding;
    const int actionX = keysX + keysWidth + gap;
    QFont bold = font;
    bold.setBold(true);
    for (const TCardLine& card : CardLines) {
        const bool heading = !*card.Keys;
        painter.setFont(heading ? bold : font);
        painter.setPen(heading ? HeadingColour : TextColour);
        painter.drawText(QRect(keysX, y, keysWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromLatin1(card.Keys));
        painter.drawText(QRect(heading ? keysX : actionX, y, keysWidth + gap + actionWidth, line),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(card.Action));
        y += line;
    }
    painter.setFont(bold);
    painter.setPen(HeadingColour);
    painter.drawText(QRect(keysX, y + line, keysWidth + gap + actionWidth, line),
                     Qt::AlignLeft | Qt::AlignVCenter, velocityText);
    painter.restore();
}

void PaintVelocityNotice(QPainter& painter, const QRect& area, std::int32_t velocity)
{
    painter.save();
    QFont font = painter.font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    painter.setFont(font);
    const QString text = QStringLiteral("Velocity %1").arg(velocity);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(text) + 28;
    const int height = metrics.height() + 14;
    const QRectF panel(area.center().x() - width / 2.0, area.bottom() - height - 16, width, height);
    PaintPanel(painter, panel);
    painter.setPen(TextColour);
    painter.drawText(panel, Qt::AlignCenter, text);
    painter.restore();
}

} // namespace skyglide
