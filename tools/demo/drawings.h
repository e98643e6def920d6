#pragma once

#include "democontent.h"

#include <QColor>
#include <QImage>
#include <QString>

class QPainter;
class QRectF;

// The demo folder's pictures, drawn with QPainter: flat, bright shapes a small
// child recognises. Every picture is an RGB image, saved as a BMP by the caller.
namespace DemoDrawings {

// The motif fitted into the rectangle, keeping its proportions.
void drawMotif(QPainter &painter, const QRectF &rect, Motif motif);

// How a child's photograph looks; chosen at random by childLook().
struct ChildLook
{
    QColor background, skin, hair, shirt, eyes;
    int hairStyle = 0; // 0 short, 1 long, 2 curly, 3 pigtails, 4 bun, 5 spiky
    bool glasses = false;
    bool freckles = false;
};
ChildLook childLook(DemoRandom &random);

QImage childPhoto(const ChildLook &look);                      // 165 x 237
QImage classPicture(int number, const DemoContent::ClassTheme &theme,
                    const QString &teacher, const QColor &background);   // 240 x 300
QImage cover(const QString &title, const QString &publisher, Motif motif,
             const QColor &background);                       // 233 x 289
QImage requestPicture(Motif motif, const QColor &background); // 100 x 80

// A bright, friendly colour for backgrounds.
QColor brightColour(DemoRandom &random);

} // namespace DemoDrawings
