#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QWidget;

// Places and sizes are given in twips (1440 to the inch) and converted here,
// and only here: 15 twips to a pixel at scale 1. The scale lets a whole screen
// be enlarged to fit the display.
class Geometry
{
public:
    explicit Geometry(double scale = 1.0) : m_scale(scale) {}

    double scale() const { return m_scale; }
    void setScale(double scale) { m_scale = scale; }

    int px(double twips) const;
    double twipsFromPx(int px) const;
    QRect rect(double left, double top, double width, double height) const;
    void place(QWidget *widget, double left, double top, double width, double height) const;

    // A font of the given point size (1 pt = 20 twips), scaled with the rest.
    QFont font(const QString &family, double points, bool bold = false) const;

    // Client size in pixels of a screen whose outer size is given in twips
    // (the original sizes include the window frame and caption).
    QSize clientSizeForOuter(double outerWidthTwips, double outerHeightTwips) const;

private:
    double m_scale;
};

// Every lending, search and menu screen is 9720 x 7320 twips outside.
constexpr double kScreenWidthTwips = 9720;
constexpr double kScreenHeightTwips = 7320;
