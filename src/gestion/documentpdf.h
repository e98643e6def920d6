#pragma once

#include <QFont>
#include <QRectF>
#include <QString>

#include <functional>

class QPainter;
class QPdfWriter;

// What the teachers' program prints: A4 portrait pages drawn with Qt's PDF
// writer at 300 dots per inch, page coordinates in dots from the sheet's top
// left corner (no margin: the drawing places everything itself).
namespace DocumentPdf {

inline constexpr int kResolution = 300;

inline double mm(double millimetres)
{
    return millimetres * kResolution / 25.4;
}
inline QRectF mmRect(const QRectF &millimetres)
{
    return {mm(millimetres.x()), mm(millimetres.y()), mm(millimetres.width()), mm(millimetres.height())};
}

// The program's sans-serif font, its size given as a height in millimetres.
QFont police(double hauteurMm, bool gras = false);

// Writes the PDF that `dessine` draws (a newPage() on the writer between
// pages) to a file that is replaced whole or not at all: on any failure the
// former file, if any, stays as it was and an AppError with a French
// description naming the file is thrown. A link in the file's place is
// refused rather than followed.
void ecris(const QString &fichier, const QString &titre,
           const std::function<void(QPdfWriter &pdf, QPainter &painter)> &dessine);

} // namespace DocumentPdf
