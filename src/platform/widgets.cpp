#include "platform/widgets.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// The colours of the old 3D controls: a light grey face lit from the top left.
const QColor kFace(192, 192, 192);
const QColor kLight(255, 255, 255);
const QColor kShadow(128, 128, 128);
const QColor kOutline(0, 0, 0);

// Bevel width for a control of the given size: 2 pixels, 3 on large controls.
int bevelWidth(const QSize &size)
{
    return std::min(size.width(), size.height()) >= 60 ? 3 : 2;
}

// Draws a bevel of the given width just inside the rectangle: light on the
// top and left edges and dark on the bottom and right when raised, the
// reverse when sunken.
void drawBevel(QPainter &painter, const QRect &rect, int width, bool raised)
{
    const QColor topLeft = raised ? kLight : kShadow;
    const QColor bottomRight = raised ? kShadow : kLight;
    for (int i = 0; i < width; ++i) {
        const QRect r = rect.adjusted(i, i, -i, -i);
        if (r.width() <= 0 || r.height() <= 0)
            break;
        painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
        painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
        painter.fillRect(QRect(r.left() + 1, r.bottom(), r.width() - 1, 1), bottomRight);
        painter.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 1), bottomRight);
    }
}

void drawOutline(QPainter &painter, const QRect &rect)
{
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), kOutline);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), kOutline);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), kOutline);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), kOutline);
}

} // namespace

// ---------------------------------------------------------------- Button3D

Button3D::Button3D(QWidget *parent) : QAbstractButton(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Button3D::setPicture(const Picture &picture)
{
    m_picture = picture;
    update();
}

void Button3D::setFaceColor(const QColor &color)
{
    m_face = color;
    update();
}

QSize Button3D::sizeHint() const
{
    return QSize(55, 75);
}

void Button3D::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect all = rect();
    const bool sunken = isDown();
    const int bevel = bevelWidth(all.size());

    painter.fillRect(all, m_face.isValid() ? m_face : kFace);
    drawOutline(painter, all);
    const QRect inside = all.adjusted(1, 1, -1, -1);
    drawBevel(painter, inside, bevel, !sunken);

    // The content sits within the bevel with a small margin, and moves one
    // pixel down and right while the button is held down.
    const int margin = bevel + 3;
    QRect content = inside.adjusted(margin, margin, -margin, -margin);
    if (sunken)
        content.translate(1, 1);
    if (content.isEmpty())
        return;

    // With a caption too, the picture keeps its shape above the caption's line.
    if (!m_picture.isNull() && !text().isEmpty()) {
        const int line = QFontMetrics(font()).height();
        const QRect above = content.adjusted(0, 0, 0, -line);
        const int side = std::max(0, std::min(above.width(), above.height()));
        m_picture.paint(painter, QRectF(above.center().x() - side / 2.0 + 0.5, above.top(), side, side));
        painter.setFont(font());
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        painter.drawText(QRect(content.left(), content.bottom() - line + 1, content.width(), line),
                         Qt::AlignCenter | Qt::TextSingleLine, text());
        return;
    }

    if (!m_picture.isNull())
        m_picture.paint(painter, QRectF(content));

    if (!text().isEmpty()) {
        painter.setFont(font());
        painter.setPen(isEnabled() ? palette().color(QPalette::Active, QPalette::ButtonText)
                                   : palette().color(QPalette::Disabled, QPalette::ButtonText));
        painter.drawText(content, Qt::AlignCenter | Qt::TextWordWrap, text());
    }
}

// ----------------------------------------------------------------- Panel3D

Panel3D::Panel3D(QWidget *parent) : QFrame(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Panel3D::setText(const QString &text)
{
    m_text = text;
    update();
}

void Panel3D::setTextColor(const QColor &color)
{
    m_textColor = color;
    update();
}

void Panel3D::setBackground(const QColor &color)
{
    m_background = color;
    update();
}

void Panel3D::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void Panel3D::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect all = rect();
    const int bevel = 2;
    painter.fillRect(all, m_background);
    drawBevel(painter, all, bevel, true);

    if (m_text.isEmpty())
        return;
    const QRect inside = all.adjusted(bevel + 1, bevel, -(bevel + 1), -bevel);
    painter.setFont(font());
    painter.setPen(m_textColor);
    painter.setClipRect(inside);
    painter.drawText(inside, int(m_alignment) | Qt::TextSingleLine, m_text);
}

void Panel3D::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        emit doubleClicked();
        return;
    }
    QFrame::mouseDoubleClickEvent(event);
}

// ------------------------------------------------------------ PictureImage

PictureImage::PictureImage(QWidget *parent) : QWidget(parent) {}

void PictureImage::setPicture(const Picture &picture)
{
    m_picture = picture;
    update();
}

QSize PictureImage::displaySize() const
{
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void PictureImage::clear()
{
    m_picture = Picture();
    update();
}

void PictureImage::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    // A picture that cannot be touched just now is drawn faded.
    if (!isEnabled())
        painter.setOpacity(0.25);
    m_picture.paint(painter, QRectF(rect()));
}

void PictureImage::mousePressEvent(QMouseEvent *event)
{
    // A press starts a new touch: a double click whose release never came
    // (the pointer left the window) must not swallow the next click.
    if (event->button() == Qt::LeftButton)
        m_doubleClickPending = false;
    QWidget::mousePressEvent(event);
}

void PictureImage::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    // The release that ends a double click makes no second click.
    if (m_doubleClickPending) {
        m_doubleClickPending = false;
        return;
    }
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

void PictureImage::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    m_doubleClickPending = true;
    emit doubleClicked();
}

// --------------------------------------------------------------- ShapeRect

ShapeRect::ShapeRect(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeRect::setOutline(const QColor &color, int widthPx)
{
    m_color = color;
    m_width = std::max(1, widthPx);
    m_filled = false;
    update();
}

void ShapeRect::setFill(const QColor &color)
{
    m_color = color;
    m_filled = true;
    update();
}

void ShapeRect::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect all = rect();
    if (m_filled) {
        painter.fillRect(all, m_color);
        return;
    }
    // The outline lies wholly inside the rectangle, as the original drew it.
    const int w = std::min({m_width, (all.width() + 1) / 2, (all.height() + 1) / 2});
    painter.fillRect(QRect(all.left(), all.top(), all.width(), w), m_color);
    painter.fillRect(QRect(all.left(), all.bottom() - w + 1, all.width(), w), m_color);
    painter.fillRect(QRect(all.left(), all.top(), w, all.height()), m_color);
    painter.fillRect(QRect(all.right() - w + 1, all.top(), w, all.height()), m_color);
}

// ----------------------------------------------------------------- speaker

PictureImage *makeSpeaker(QWidget *parent, const QString &objectName, const QString &spokenWords)
{
    auto *speaker = new PictureImage(parent);
    speaker->setObjectName(objectName);
    speaker->setAccessibleName(spokenWords);
    speaker->setCursor(Qt::PointingHandCursor);
    speaker->setPicture(Picture::fromResource(QStringLiteral(":/assets/speaker.svg")));
    return speaker;
}
