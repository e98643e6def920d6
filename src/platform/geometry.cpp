#include "platform/geometry.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwipsPerPixel = 15.0;
constexpr double kTwipsPerPoint = 20.0;

// Width of the original window frame on each side, and height of its caption.
constexpr double kFrameTwips = 60.0;
constexpr double kCaptionTwips = 345.0;

} // namespace

int Geometry::px(double twips) const
{
    return static_cast<int>(std::lround(twips / kTwipsPerPixel * m_scale));
}

double Geometry::twipsFromPx(int px) const
{
    return px * kTwipsPerPixel / m_scale;
}

QRect Geometry::rect(double left, double top, double width, double height) const
{
    // Converting the edges rather than the sizes keeps neighbouring controls
    // touching at any scale.
    const int x = px(left);
    const int y = px(top);
    return QRect(x, y, px(left + width) - x, px(top + height) - y);
}

void Geometry::place(QWidget *widget, double left, double top, double width, double height) const
{
    widget->setGeometry(rect(left, top, width, height));
}

QFont Geometry::font(const QString &family, double points, bool bold) const
{
    QFont font(family);
    font.setPixelSize(std::max(1, px(points * kTwipsPerPoint)));
    font.setBold(bold);
    return font;
}

QSize Geometry::clientSizeForOuter(double outerWidthTwips, double outerHeightTwips) const
{
    return QSize(px(outerWidthTwips - 2 * kFrameTwips), px(outerHeightTwips - 2 * kFrameTwips - kCaptionTwips));
}
