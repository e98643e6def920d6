#include "drawings.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QtMath>

namespace DemoDrawings {

namespace {

const QColor Black(40, 30, 30);
const QColor White(255, 255, 255);

// Small drawing vocabulary in the motif's 100 x 100 design space.
class Pen
{
public:
    explicit Pen(QPainter &painter) : p(painter) {}

    void ellipse(double cx, double cy, double rx, double ry, const QColor &fill, bool outline = true)
    {
        setup(fill, outline);
        p.drawEllipse(QPointF(cx, cy), rx, ry);
    }
    void circle(double cx, double cy, double r, const QColor &fill, bool outline = true)
    {
        ellipse(cx, cy, r, r, fill, outline);
    }
    void rect(double x, double y, double w, double h, const QColor &fill, double radius = 0, bool outline = true)
    {
        setup(fill, outline);
        p.drawRoundedRect(QRectF(x, y, w, h), radius, radius);
    }
    void polygon(std::initializer_list<QPointF> points, const QColor &fill, bool outline = true)
    {
        setup(fill, outline);
        p.drawPolygon(QPolygonF(QList<QPointF>(points)));
    }
    void path(const QPainterPath &path, const QColor &fill, bool outline = true)
    {
        setup(fill, outline);
        p.drawPath(path);
    }
    void line(double x1, double y1, double x2, double y2, const QColor &colour, double width)
    {
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
    }
    void arc(double cx, double cy, double rx, double ry, int startDeg, int spanDeg, const QColor &colour,
             double width)
    {
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(cx - rx, cy - ry, 2 * rx, 2 * ry), startDeg * 16, spanDeg * 16);
    }
    void smile(double cx, double cy, double r) { arc(cx, cy - r * 0.4, r, r * 0.8, 200, 140, Black, 2.2); }
    void eye(double cx, double cy, double r)
    {
        circle(cx, cy, r, White);
        circle(cx + r * 0.15, cy + r * 0.1, r * 0.55, Black, false);
        circle(cx + r * 0.35, cy - r * 0.2, r * 0.18, White, false);
    }

private:
    void setup(const QColor &fill, bool outline)
    {
        p.setBrush(fill);
        if (outline)
            p.setPen(QPen(Black, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        else
            p.setPen(Qt::NoPen);
    }
    QPainter &p;
};

enum class Ears { Pointy, Round, Long, Small, BigRound };

struct AnimalFace
{
    QColor fur, inner, snout;
    Ears ears;
    bool whiskers = false;
    bool pigNose = false;
    QColor mane = QColor();
};

void drawAnimal(Pen &d, const AnimalFace &a)
{
    if (a.mane.isValid()) {
        for (int i = 0; i < 14; ++i) {
            const double t = i * 2 * M_PI / 14;
            d.circle(50 + 34 * qCos(t), 55 + 32 * qSin(t), 11, a.mane);
        }
    }
    switch (a.ears) {
    case Ears::Pointy:
        d.polygon({{22, 45}, {26, 10}, {46, 32}}, a.fur);
        d.polygon({{78, 45}, {74, 10}, {54, 32}}, a.fur);
        d.polygon({{27, 38}, {29, 18}, {40, 31}}, a.inner, false);
        d.polygon({{73, 38}, {71, 18}, {60, 31}}, a.inner, false);
        break;
    case Ears::Round:
        d.circle(26, 30, 11, a.fur);
        d.circle(74, 30, 11, a.fur);
        d.circle(26, 30, 6, a.inner, false);
        d.circle(74, 30, 6, a.inner, false);
        break;
    case Ears::BigRound:
        d.circle(22, 30, 17, a.fur);
        d.circle(78, 30, 17, a.fur);
        d.circle(22, 30, 11, a.inner, false);
        d.circle(78, 30, 11, a.inner, false);
        break;
    case Ears::Long:
        d.ellipse(36, 18, 8, 22, a.fur);
        d.ellipse(64, 18, 8, 22, a.fur);
        d.ellipse(36, 18, 4, 16, a.inner, false);
        d.ellipse(64, 18, 4, 16, a.inner, false);
        break;
    case Ears::Small:
        d.polygon({{28, 40}, {28, 22}, {42, 32}}, a.fur);
        d.polygon({{72, 40}, {72, 22}, {58, 32}}, a.fur);
        break;
    }
    d.ellipse(50, 56, 32, 30, a.fur);
    d.eye(38, 49, 6);
    d.eye(62, 49, 6);
    if (a.pigNose) {
        d.ellipse(50, 66, 12, 8, a.snout);
        d.ellipse(46, 66, 2, 3, Black, false);
        d.ellipse(54, 66, 2, 3, Black, false);
        d.smile(50, 80, 6);
    } else {
        d.ellipse(50, 69, 15, 11, a.snout);
        d.ellipse(50, 63, 5, 3.5, Black, false);
        d.smile(50, 73, 6);
    }
    d.circle(30, 64, 4, QColor(255, 150, 160, 150), false);
    d.circle(70, 64, 4, QColor(255, 150, 160, 150), false);
    if (a.whiskers) {
        for (int s : {-1, 1}) {
            d.line(50 + s * 12, 68, 50 + s * 28, 64, Black, 1);
            d.line(50 + s * 12, 71, 50 + s * 28, 72, Black, 1);
        }
    }
}

void drawStar(Pen &d, double cx, double cy, double r, const QColor &fill)
{
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const double radius = (i % 2 == 0) ? r : r * 0.45;
        const double t = -M_PI / 2 + i * M_PI / 5;
        const QPointF point(cx + radius * qCos(t), cy + radius * qSin(t));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    d.path(path, fill);
}

void drawHeart(Pen &d, double cx, double cy, double s, const QColor &fill)
{
    QPainterPath path;
    path.moveTo(cx, cy + s * 0.9);
    path.cubicTo(cx - s * 1.4, cy, cx - s * 0.8, cy - s * 1.1, cx, cy - s * 0.45);
    path.cubicTo(cx + s * 0.8, cy - s * 1.1, cx + s * 1.4, cy, cx, cy + s * 0.9);
    d.path(path, fill);
}

void drawMotifInUnitBox(QPainter &painter, Motif motif)
{
    Pen d(painter);
    const QColor skin(245, 200, 160);
    switch (motif) {
    case Motif::Loup:
        drawAnimal(d, {QColor(140, 140, 155), QColor(230, 200, 200), QColor(225, 225, 230), Ears::Pointy});
        break;
    case Motif::Chat:
        drawAnimal(d, {QColor(250, 160, 60), QColor(255, 200, 200), QColor(255, 235, 210), Ears::Pointy, true});
        break;
    case Motif::Ours:
        drawAnimal(d, {QColor(160, 105, 60), QColor(220, 170, 120), QColor(230, 190, 140), Ears::Round});
        break;
    case Motif::Lapin:
        drawAnimal(d, {QColor(235, 235, 240), QColor(255, 170, 190), QColor(255, 255, 255), Ears::Long, true});
        break;
    case Motif::Cochon:
        drawAnimal(d, {QColor(255, 170, 190), QColor(240, 120, 150), QColor(255, 140, 170), Ears::Small, false,
                       true});
        break;
    case Motif::Souris:
        drawAnimal(d, {QColor(170, 170, 180), QColor(255, 180, 200), QColor(220, 220, 225), Ears::BigRound, true});
        break;
    case Motif::Renard:
        drawAnimal(d, {QColor(235, 110, 30), QColor(60, 40, 40), QColor(255, 250, 245), Ears::Pointy, true});
        break;
    case Motif::Lion:
        drawAnimal(d, {QColor(250, 200, 80), QColor(220, 150, 60), QColor(255, 235, 180), Ears::Round, true, false,
                       QColor(200, 110, 30)});
        break;
    case Motif::Poule:
        d.line(42, 82, 40, 95, QColor(240, 150, 0), 3);
        d.line(58, 82, 60, 95, QColor(240, 150, 0), 3);
        d.ellipse(50, 62, 30, 24, QColor(255, 225, 60));
        d.ellipse(56, 64, 14, 9, QColor(245, 195, 40));
        d.circle(38, 35, 17, QColor(255, 225, 60));
        d.circle(32, 17, 5, QColor(230, 40, 40));
        d.circle(39, 15, 5, QColor(230, 40, 40));
        d.circle(46, 18, 5, QColor(230, 40, 40));
        d.polygon({{20, 36}, {8, 40}, {20, 44}}, QColor(250, 140, 0));
        d.eye(34, 32, 4.5);
        break;
    case Motif::Poisson:
        d.polygon({{74, 50}, {96, 30}, {96, 70}}, QColor(250, 120, 40));
        d.ellipse(46, 50, 34, 24, QColor(255, 150, 50));
        d.polygon({{40, 28}, {58, 16}, {60, 30}}, QColor(250, 120, 40));
        d.arc(58, 50, 8, 16, 120, 120, Black, 1.6);
        d.eye(28, 45, 6);
        d.smile(22, 60, 4);
        d.circle(10, 20, 4, QColor(190, 230, 255));
        d.circle(16, 8, 3, QColor(190, 230, 255));
        break;
    case Motif::Hibou:
        d.polygon({{22, 30}, {26, 8}, {40, 24}}, QColor(140, 90, 50));
        d.polygon({{78, 30}, {74, 8}, {60, 24}}, QColor(140, 90, 50));
        d.ellipse(50, 56, 32, 38, QColor(150, 100, 60));
        d.ellipse(50, 68, 20, 22, QColor(230, 200, 150), false);
        d.circle(37, 38, 12, White);
        d.circle(63, 38, 12, White);
        d.circle(38, 39, 6, Black, false);
        d.circle(62, 39, 6, Black, false);
        d.polygon({{45, 48}, {55, 48}, {50, 58}}, QColor(250, 160, 0));
        break;
    case Motif::Coccinelle:
        d.line(40, 22, 32, 8, Black, 2);
        d.line(60, 22, 68, 8, Black, 2);
        d.circle(50, 30, 13, Black);
        d.circle(50, 58, 32, QColor(225, 30, 30));
        d.line(50, 27, 50, 90, Black, 2.5);
        for (QPointF s : {QPointF(36, 48), QPointF(64, 48), QPointF(32, 68), QPointF(68, 68), QPointF(42, 80),
                          QPointF(58, 80)})
            d.circle(s.x(), s.y(), 5.5, Black, false);
        d.circle(45, 28, 3, White, false);
        d.circle(55, 28, 3, White, false);
        break;
    case Motif::Papillon:
        d.ellipse(30, 36, 20, 22, QColor(150, 90, 230));
        d.ellipse(70, 36, 20, 22, QColor(150, 90, 230));
        d.ellipse(33, 70, 15, 16, QColor(250, 120, 200));
        d.ellipse(67, 70, 15, 16, QColor(250, 120, 200));
        for (int s : {-1, 1}) {
            d.circle(50 + s * 20, 34, 7, QColor(255, 230, 80), false);
            d.circle(50 + s * 17, 72, 5, QColor(255, 255, 255), false);
        }
        d.ellipse(50, 52, 5, 32, Black);
        d.line(48, 22, 40, 8, Black, 1.8);
        d.line(52, 22, 60, 8, Black, 1.8);
        break;
    case Motif::Tortue: {
        const QColor leg(150, 200, 90);
        for (double x : {28.0, 72.0})
            d.ellipse(x, 78, 8, 10, leg);
        d.circle(86, 58, 11, leg);
        d.eye(89, 55, 3.5);
        QPainterPath shell;
        shell.moveTo(12, 75);
        shell.cubicTo(12, 20, 88, 20, 88, 75);
        shell.closeSubpath();
        d.path(shell, QColor(60, 150, 70));
        for (QPointF s : {QPointF(35, 55), QPointF(50, 45), QPointF(65, 55), QPointF(50, 64)})
            d.circle(s.x(), s.y(), 7, QColor(120, 200, 100));
        break;
    }
    case Motif::Dinosaure: {
        const QColor green(90, 190, 90);
        QPainterPath body;
        body.moveTo(8, 78);
        body.cubicTo(25, 62, 35, 50, 55, 52);
        body.cubicTo(62, 40, 62, 22, 72, 16);
        body.cubicTo(86, 10, 96, 20, 88, 26);
        body.cubicTo(80, 30, 76, 34, 76, 56);
        body.cubicTo(80, 76, 60, 82, 40, 80);
        body.closeSubpath();
        for (double x : {30.0, 40.0, 50.0})
            d.polygon({{x - 5, 60 - (x - 30) * 0.2}, {x, 48 - (x - 30) * 0.3}, {x + 5, 58 - (x - 30) * 0.2}},
                      QColor(250, 150, 50));
        d.rect(38, 74, 9, 18, green, 3);
        d.rect(60, 74, 9, 18, green, 3);
        d.path(body, green);
        d.eye(82, 19, 3.5);
        d.arc(86, 22, 5, 3, 200, 120, Black, 1.4);
        break;
    }
    case Motif::Lune: {
        QPainterPath moon, bite;
        moon.addEllipse(QPointF(45, 52), 34, 34);
        bite.addEllipse(QPointF(62, 42), 30, 30);
        d.path(moon.subtracted(bite), QColor(255, 225, 80));
        drawStar(d, 78, 72, 9, QColor(255, 240, 120));
        drawStar(d, 86, 20, 6, QColor(255, 240, 120));
        drawStar(d, 62, 88, 5, QColor(255, 240, 120));
        d.circle(30, 50, 2.5, Black, false);
        break;
    }
    case Motif::Soleil:
        for (int i = 0; i < 12; ++i) {
            const double t = i * M_PI / 6;
            d.line(50 + 30 * qCos(t), 50 + 30 * qSin(t), 50 + 46 * qCos(t), 50 + 46 * qSin(t), QColor(250, 170, 0),
                   5);
        }
        d.circle(50, 50, 28, QColor(255, 215, 40));
        d.eye(40, 45, 4.5);
        d.eye(60, 45, 4.5);
        d.smile(50, 60, 10);
        break;
    case Motif::Etoile:
        drawStar(d, 50, 54, 46, QColor(255, 215, 40));
        d.eye(42, 52, 4);
        d.eye(58, 52, 4);
        d.smile(50, 64, 6);
        break;
    case Motif::Ecole:
        d.rect(14, 44, 72, 50, QColor(250, 235, 200));
        d.polygon({{6, 46}, {50, 12}, {94, 46}}, QColor(220, 60, 50));
        d.rect(42, 66, 16, 28, QColor(60, 120, 200), 2);
        d.rect(20, 54, 16, 14, QColor(170, 220, 255));
        d.rect(64, 54, 16, 14, QColor(170, 220, 255));
        d.circle(50, 34, 6, QColor(255, 255, 255));
        d.line(50, 34, 50, 30, Black, 1.2);
        d.line(50, 34, 53, 34, Black, 1.2);
        break;
    case Motif::Bateau:
        d.line(50, 12, 50, 64, QColor(110, 70, 40), 3);
        d.polygon({{53, 14}, {53, 60}, {84, 60}}, White);
        d.polygon({{47, 22}, {47, 60}, {24, 60}}, QColor(250, 90, 90));
        d.polygon({{12, 64}, {88, 64}, {76, 80}, {24, 80}}, QColor(170, 100, 50));
        for (int i = 0; i < 5; ++i)
            d.arc(10 + i * 20, 88, 10, 6, 0, 180, QColor(40, 120, 220), 3);
        break;
    case Motif::Arbre:
        d.rect(43, 56, 14, 38, QColor(140, 90, 50));
        d.circle(50, 34, 24, QColor(70, 170, 70));
        d.circle(30, 48, 18, QColor(70, 170, 70));
        d.circle(70, 48, 18, QColor(70, 170, 70));
        for (QPointF s : {QPointF(38, 30), QPointF(60, 26), QPointF(28, 52), QPointF(72, 50), QPointF(52, 48)})
            d.circle(s.x(), s.y(), 4.5, QColor(230, 40, 40));
        break;
    case Motif::Fleur:
        d.line(50, 50, 50, 96, QColor(60, 150, 60), 4);
        d.ellipse(38, 78, 10, 5, QColor(80, 180, 80));
        d.ellipse(62, 72, 10, 5, QColor(80, 180, 80));
        for (int i = 0; i < 6; ++i) {
            const double t = i * M_PI / 3;
            d.circle(50 + 18 * qCos(t), 38 + 18 * qSin(t), 12, QColor(250, 110, 160));
        }
        d.circle(50, 38, 12, QColor(255, 215, 40));
        d.smile(50, 42, 5);
        break;
    case Motif::Coeur:
        drawHeart(d, 50, 50, 38, QColor(230, 40, 70));
        d.ellipse(34, 32, 6, 4, QColor(255, 160, 170), false);
        break;
    case Motif::Chateau: {
        const QColor stone(200, 200, 210);
        d.rect(22, 42, 56, 52, stone);
        for (double x : {6.0, 76.0}) {
            d.rect(x, 28, 18, 66, stone);
            d.polygon({{x - 3, 28}, {x + 9, 8}, {x + 21, 28}}, QColor(70, 90, 200));
        }
        for (int i = 0; i < 4; ++i)
            d.rect(24 + i * 14, 34, 8, 8, stone, 0);
        QPainterPath door;
        door.moveTo(40, 94);
        door.lineTo(40, 74);
        door.arcTo(QRectF(40, 64, 20, 20), 180, -180);
        door.lineTo(60, 94);
        door.closeSubpath();
        d.path(door, QColor(140, 90, 50));
        d.line(50, 42, 50, 20, Black, 1.5);
        d.polygon({{50, 20}, {64, 25}, {50, 30}}, QColor(230, 40, 40));
        d.rect(11, 44, 8, 12, QColor(60, 60, 80), 3);
        d.rect(81, 44, 8, 12, QColor(60, 60, 80), 3);
        break;
    }
    case Motif::Voiture:
        d.polygon({{28, 46}, {36, 26}, {66, 26}, {76, 46}}, QColor(170, 220, 255));
        d.rect(6, 44, 88, 28, QColor(230, 50, 50), 10);
        d.line(50, 28, 50, 46, Black, 1.5);
        d.circle(28, 74, 11, Black);
        d.circle(72, 74, 11, Black);
        d.circle(28, 74, 4, QColor(200, 200, 200), false);
        d.circle(72, 74, 4, QColor(200, 200, 200), false);
        d.circle(90, 52, 3.5, QColor(255, 240, 120));
        break;
    case Motif::Note: {
        const QColor ink(60, 40, 120);
        d.ellipse(28, 76, 11, 8, ink);
        d.ellipse(72, 68, 11, 8, ink);
        d.line(38, 76, 38, 20, ink, 4);
        d.line(82, 68, 82, 12, ink, 4);
        d.polygon({{36, 18}, {84, 10}, {84, 22}, {36, 30}}, ink);
        break;
    }
    case Motif::Flocon: {
        const QColor ice(80, 160, 230);
        for (int i = 0; i < 6; ++i) {
            const double t = i * M_PI / 3;
            const double c = qCos(t), s = qSin(t);
            d.line(50, 50, 50 + 42 * c, 50 + 42 * s, ice, 5);
            for (double k : {0.5, 0.75}) {
                const double bx = 50 + 42 * k * c, by = 50 + 42 * k * s;
                for (double side : {-1.0, 1.0}) {
                    const double u = t + side * M_PI / 4;
                    d.line(bx, by, bx + 12 * qCos(u), by + 12 * qSin(u), ice, 3.5);
                }
            }
        }
        d.circle(50, 50, 7, QColor(200, 230, 255));
        break;
    }
    case Motif::Gateau:
        d.rect(14, 60, 72, 30, QColor(150, 90, 60), 6);
        d.rect(20, 40, 60, 24, QColor(255, 170, 200), 6);
        for (int i = 0; i < 6; ++i)
            d.circle(24 + i * 10.4, 41, 5, White, false);
        for (double x : {34.0, 50.0, 66.0}) {
            d.rect(x - 3, 20, 6, 20, QColor(120, 170, 255), 1);
            d.ellipse(x, 14, 3.5, 6, QColor(255, 170, 30));
        }
        d.circle(40, 74, 3, QColor(255, 230, 80), false);
        d.circle(60, 78, 3, QColor(120, 220, 120), false);
        break;
    case Motif::Crayon: {
        const QList<QColor> colours{QColor(230, 50, 50), QColor(250, 200, 30), QColor(50, 120, 230)};
        for (int i = 0; i < 3; ++i) {
            painter.save();
            painter.translate(30 + i * 20, 50);
            painter.rotate(-18 + i * 18);
            Pen pen(painter);
            pen.rect(-7, -30, 14, 50, colours[i]);
            pen.polygon({{-7, 20}, {7, 20}, {0, 38}}, QColor(245, 215, 170));
            pen.polygon({{-2.5, 32}, {2.5, 32}, {0, 38}}, colours[i], false);
            pen.rect(-7, -36, 14, 7, QColor(255, 160, 180));
            painter.restore();
        }
        break;
    }
    case Motif::Fusee:
        d.ellipse(42, 86, 9, 14, QColor(255, 160, 30), false);
        d.ellipse(42, 84, 5, 9, QColor(255, 230, 80), false);
        d.polygon({{28, 60}, {16, 82}, {32, 76}}, QColor(230, 50, 50));
        d.polygon({{56, 60}, {68, 82}, {52, 76}}, QColor(230, 50, 50));
        d.ellipse(42, 46, 16, 32, QColor(240, 240, 250));
        d.path([] {
            QPainterPath nose;
            nose.moveTo(29, 28);
            nose.cubicTo(32, 14, 38, 14, 42, 14);
            nose.cubicTo(46, 14, 52, 14, 55, 28);
            nose.closeSubpath();
            return nose;
        }(), QColor(230, 50, 50));
        d.circle(42, 44, 7, QColor(120, 200, 255));
        drawStar(d, 80, 20, 7, QColor(255, 230, 80));
        drawStar(d, 84, 62, 5, QColor(255, 230, 80));
        break;
    case Motif::Livre:
        d.polygon({{50, 30}, {8, 22}, {8, 80}, {50, 88}}, QColor(255, 250, 235));
        d.polygon({{50, 30}, {92, 22}, {92, 80}, {50, 88}}, QColor(255, 250, 235));
        for (int i = 0; i < 4; ++i) {
            d.line(16, 36 + i * 11, 42, 41 + i * 11, QColor(150, 150, 170), 2);
            d.line(58, 41 + i * 11, 84, 36 + i * 11, QColor(150, 150, 170), 2);
        }
        d.polygon({{8, 80}, {50, 88}, {92, 80}, {92, 86}, {50, 94}, {8, 86}}, QColor(60, 130, 220));
        break;
    case Motif::Globe:
        d.circle(50, 50, 42, QColor(70, 150, 235));
        d.path([] {
            QPainterPath land;
            land.addEllipse(QPointF(36, 36), 16, 12);
            land.addEllipse(QPointF(44, 64), 10, 16);
            land.addEllipse(QPointF(70, 44), 12, 18);
            return land.simplified();
        }(), QColor(90, 190, 90));
        d.arc(50, 50, 42, 14, 180, 180, QColor(255, 255, 255, 120), 1.5);
        break;
    case Motif::Parapluie:
        for (QPointF s : {QPointF(14, 20), QPointF(86, 30), QPointF(20, 60), QPointF(84, 70)})
            d.ellipse(s.x(), s.y(), 3, 5, QColor(90, 160, 240), false);
        d.line(50, 48, 50, 84, QColor(90, 60, 40), 3.5);
        d.arc(44, 84, 6, 6, 180, 180, QColor(90, 60, 40), 3.5);
        d.path([] {
            QPainterPath canopy;
            canopy.moveTo(10, 50);
            canopy.cubicTo(12, 10, 88, 10, 90, 50);
            for (int i = 0; i < 4; ++i)
                canopy.quadTo(80 - i * 20, 42, 70 - i * 20, 50);
            canopy.closeSubpath();
            return canopy;
        }(), QColor(240, 70, 110));
        break;
    case Motif::Enfant:
        d.line(40, 76, 38, 96, Black, 4);
        d.line(60, 76, 62, 96, Black, 4);
        d.line(34, 50, 14, 36, skin, 5);
        d.line(66, 50, 86, 36, skin, 5);
        d.polygon({{50, 40}, {26, 80}, {74, 80}}, QColor(60, 170, 230));
        d.circle(50, 28, 17, skin);
        d.arc(50, 22, 17, 13, 0, 180, QColor(120, 70, 30), 7);
        d.circle(44, 27, 2.2, Black, false);
        d.circle(56, 27, 2.2, Black, false);
        d.smile(50, 36, 5);
        break;
    }
}

QFont boldFont(double pixelSize)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setBold(true);
    font.setPixelSize(qMax(6, int(pixelSize)));
    return font;
}

// The largest bold font, from maxPixels down, whose wrapped text fits the box.
QFont fittingFont(const QString &text, const QRectF &box, double maxPixels)
{
    for (double size = maxPixels; size > 8; size -= 1) {
        const QFont font = boldFont(size);
        const QRectF needed = QFontMetricsF(font).boundingRect(box, Qt::AlignCenter | Qt::TextWordWrap, text);
        if (needed.width() <= box.width() && needed.height() <= box.height()) {
            // A word cut in the middle fits but reads badly: every word alone must fit the width.
            bool wordsFit = true;
            for (const QString &word : text.split(' '))
                wordsFit = wordsFit && QFontMetricsF(font).horizontalAdvance(word) <= box.width();
            if (wordsFit)
                return font;
        }
    }
    return boldFont(8);
}

void outlinedText(QPainter &painter, const QRectF &box, int flags, const QString &text, const QColor &fill,
                  const QColor &outline)
{
    painter.setPen(outline);
    for (QPointF offset : {QPointF(-1.5, 0), QPointF(1.5, 0), QPointF(0, -1.5), QPointF(0, 1.5)})
        painter.drawText(box.translated(offset), flags, text);
    painter.setPen(fill);
    painter.drawText(box, flags, text);
}

QImage blankImage(int width, int height, const QColor &background)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

QColor lighter(const QColor &colour, int amount)
{
    return QColor(qMin(255, colour.red() + amount), qMin(255, colour.green() + amount),
                  qMin(255, colour.blue() + amount));
}

} // namespace

void drawMotif(QPainter &painter, const QRectF &rect, Motif motif)
{
    const double side = qMin(rect.width(), rect.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(side / 100.0, side / 100.0);
    drawMotifInUnitBox(painter, motif);
    painter.restore();
}

QColor brightColour(DemoRandom &random)
{
    static const QList<QColor> colours{
        QColor(255, 214, 102), QColor(129, 212, 250), QColor(165, 214, 167), QColor(255, 171, 145),
        QColor(206, 147, 216), QColor(255, 245, 157), QColor(128, 203, 196), QColor(244, 143, 177),
        QColor(179, 157, 219), QColor(255, 204, 128), QColor(197, 225, 165), QColor(144, 202, 249),
    };
    return random.pick(colours);
}

ChildLook childLook(DemoRandom &random)
{
    static const QList<QColor> skins{QColor(255, 224, 196), QColor(241, 194, 150), QColor(224, 172, 125),
                                     QColor(198, 134, 90),  QColor(141, 85, 54),   QColor(250, 210, 180)};
    static const QList<QColor> hairs{QColor(40, 28, 20),   QColor(90, 56, 30),   QColor(150, 95, 45),
                                     QColor(230, 190, 100), QColor(190, 80, 30),  QColor(20, 20, 25),
                                     QColor(245, 215, 140)};
    static const QList<QColor> shirts{QColor(230, 60, 60),  QColor(60, 130, 230), QColor(70, 180, 90),
                                      QColor(250, 190, 40), QColor(160, 90, 210), QColor(250, 120, 180),
                                      QColor(40, 170, 180), QColor(250, 140, 50)};
    static const QList<QColor> eyes{QColor(70, 45, 30), QColor(50, 110, 170), QColor(70, 130, 80),
                                    QColor(40, 30, 25)};
    ChildLook look;
    look.background = brightColour(random);
    look.skin = random.pick(skins);
    look.hair = random.pick(hairs);
    look.shirt = random.pick(shirts);
    look.eyes = random.pick(eyes);
    look.hairStyle = random.below(6);
    look.glasses = random.chance(12);
    look.freckles = random.chance(20);
    return look;
}

QImage childPhoto(const ChildLook &look)
{
    QImage image = blankImage(165, 237, look.background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // A soft lighter halo behind the head, like a studio portrait.
    painter.setPen(Qt::NoPen);
    painter.setBrush(lighter(look.background, 40));
    painter.drawEllipse(QPointF(82, 95), 75, 80);

    painter.scale(165.0 / 100.0, 237.0 / 144.0);
    Pen d(painter);
    const QColor hairDark = look.hair.darker(120);
    // Hair that falls behind the head.
    if (look.hairStyle == 1)
        d.rect(20, 30, 60, 75, look.hair, 22);
    if (look.hairStyle == 2)
        for (int i = 0; i < 12; ++i) {
            const double t = M_PI + i * M_PI / 11;
            d.circle(50 + 33 * qCos(t), 52 + 36 * qSin(t), 11, look.hair);
        }
    if (look.hairStyle == 3) {
        d.ellipse(14, 62, 10, 16, look.hair);
        d.ellipse(86, 62, 10, 16, look.hair);
        d.circle(22, 48, 4, QColor(250, 80, 120));
        d.circle(78, 48, 4, QColor(250, 80, 120));
    }
    if (look.hairStyle == 4)
        d.circle(50, 14, 13, look.hair);
    // Shoulders and shirt.
    d.path([] {
        QPainterPath body;
        body.moveTo(4, 144);
        body.cubicTo(6, 112, 24, 104, 50, 104);
        body.cubicTo(76, 104, 94, 112, 96, 144);
        body.closeSubpath();
        return body;
    }(), look.shirt);
    d.rect(42, 88, 16, 20, look.skin, 4);
    d.arc(50, 104, 10, 6, 180, 180, look.shirt.darker(130), 2);
    // Ears and head.
    d.ellipse(19, 62, 6, 9, look.skin);
    d.ellipse(81, 62, 6, 9, look.skin);
    d.ellipse(50, 60, 31, 36, look.skin);
    // Hair on top of the head.
    switch (look.hairStyle) {
    case 5:
        for (int i = 0; i < 7; ++i)
            d.polygon({{20.0 + i * 9, 40}, {24.0 + i * 9, 16.0 + (i % 2) * 5}, {32.0 + i * 9, 40}}, look.hair);
        [[fallthrough]];
    case 0:
    case 4:
        d.path([] {
            QPainterPath cap;
            cap.moveTo(18, 58);
            cap.cubicTo(14, 14, 86, 14, 82, 58);
            cap.cubicTo(70, 40, 40, 36, 18, 58);
            return cap;
        }(), look.hair);
        break;
    case 1:
    case 3:
        d.path([] {
            QPainterPath fringe;
            fringe.moveTo(18, 62);
            fringe.cubicTo(14, 16, 86, 16, 82, 62);
            fringe.cubicTo(76, 46, 66, 40, 50, 42);
            fringe.cubicTo(36, 42, 24, 46, 18, 62);
            return fringe;
        }(), look.hair);
        break;
    case 2:
        for (int i = 0; i < 9; ++i)
            d.circle(22 + i * 7, 30 + (i % 2) * 4 - (i > 1 && i < 7 ? 6 : 0), 9, look.hair);
        break;
    }
    d.arc(50, 36, 14, 8, 20, 60, hairDark, 1.5);
    // Face.
    for (int s : {-1, 1}) {
        const double x = 50 + s * 12;
        d.ellipse(x, 60, 5.5, 6.5, White);
        d.circle(x + 0.5, 61, 3.6, look.eyes, false);
        d.circle(x + 0.5, 61, 1.8, Black, false);
        d.circle(x + 1.8, 59.5, 1.1, White, false);
        d.arc(x, 50, 6, 3, 30, 120, hairDark, 2);
        d.circle(50 + s * 20, 74, 5, QColor(255, 120, 130, 90), false);
    }
    if (look.freckles)
        for (int s : {-1, 1})
            for (int i = 0; i < 3; ++i)
                d.circle(50 + s * (16 + i * 3), 70 + (i % 2) * 2, 0.9, QColor(170, 100, 60), false);
    if (look.glasses) {
        for (int s : {-1, 1}) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(QColor(50, 50, 120), 1.8));
            painter.drawEllipse(QPointF(50 + s * 12, 60), 8.5, 8);
        }
        d.line(46, 59, 54, 59, QColor(50, 50, 120), 1.8);
    }
    d.arc(50, 67, 3, 3, 200, 140, look.skin.darker(140), 1.8);
    d.path([] {
        QPainterPath mouth;
        mouth.moveTo(40, 78);
        mouth.cubicTo(44, 88, 56, 88, 60, 78);
        mouth.closeSubpath();
        return mouth;
    }(), QColor(200, 60, 70));
    d.ellipse(50, 84, 5, 2, QColor(250, 140, 150), false);
    painter.end();
    return image;
}

QImage classPicture(int number, const DemoContent::ClassTheme &theme, const QString &teacher,
                    const QColor &background)
{
    QImage image = blankImage(240, 300, background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // A border of coloured dots, like a classroom garland.
    static const QList<QColor> garland{QColor(230, 60, 60), QColor(250, 190, 40), QColor(60, 130, 230),
                                       QColor(70, 180, 90), QColor(160, 90, 210)};
    painter.setPen(Qt::NoPen);
    int k = 0;
    for (int x = 10; x <= 230; x += 20) {
        painter.setBrush(garland[k++ % garland.size()]);
        painter.drawEllipse(QPointF(x, 10), 7, 7);
        painter.setBrush(garland[k % garland.size()]);
        painter.drawEllipse(QPointF(x, 290), 7, 7);
    }
    for (int y = 30; y <= 270; y += 20) {
        painter.setBrush(garland[k++ % garland.size()]);
        painter.drawEllipse(QPointF(10, y), 7, 7);
        painter.setBrush(garland[k % garland.size()]);
        painter.drawEllipse(QPointF(230, y), 7, 7);
    }
    painter.setBrush(lighter(background, 60));
    painter.setPen(QPen(QColor(80, 60, 60), 2));
    painter.drawRoundedRect(QRectF(24, 24, 192, 252), 16, 16);

    painter.setFont(boldFont(96));
    outlinedText(painter, QRectF(24, 20, 192, 110), Qt::AlignCenter, QString::number(number), QColor(230, 50, 60),
                 White);
    drawMotif(painter, QRectF(55, 118, 130, 110), theme.motif);
    painter.setFont(fittingFont(theme.name, QRectF(30, 226, 180, 26), 24));
    painter.setPen(QColor(40, 40, 120));
    painter.drawText(QRectF(30, 226, 180, 26), Qt::AlignCenter, theme.name);
    painter.setFont(fittingFont(teacher, QRectF(30, 252, 180, 20), 16));
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(QRectF(30, 252, 180, 20), Qt::AlignCenter, teacher);
    painter.end();
    return image;
}

QImage cover(const QString &title, const QString &publisher, Motif motif, const QColor &background)
{
    QImage image = blankImage(233, 289, background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // The spine's shadow, and a light panel where the picture sits.
    painter.fillRect(QRectF(0, 0, 10, 289), background.darker(125));
    painter.setPen(Qt::NoPen);
    painter.setBrush(lighter(background, 50));
    painter.drawEllipse(QPointF(121, 180), 90, 72);
    drawMotif(painter, QRectF(46, 112, 150, 140), motif);

    const QRectF titleBox(18, 8, 206, 100);
    painter.setFont(fittingFont(title, titleBox, 34));
    outlinedText(painter, titleBox, Qt::AlignCenter | Qt::TextWordWrap, title, QColor(255, 255, 255),
                 background.darker(220));
    const QRectF publisherBox(14, 262, 208, 22);
    painter.setFont(fittingFont(publisher, publisherBox, 14));
    painter.setPen(background.darker(250));
    painter.drawText(publisherBox, Qt::AlignCenter, publisher);
    painter.end();
    return image;
}

QImage requestPicture(Motif motif, const QColor &background)
{
    QImage image = blankImage(100, 80, background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(lighter(background, 50));
    painter.drawEllipse(QPointF(50, 40), 44, 36);
    drawMotif(painter, QRectF(14, 4, 72, 72), motif);
    painter.end();
    return image;
}

} // namespace DemoDrawings
