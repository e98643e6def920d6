#pragma once

#include "platform/picture.h"

#include <QAbstractButton>
#include <QColor>
#include <QFrame>
#include <QWidget>

// The controls the screens share: the raised 3D picture button and the 3D
// panel of the original toolkit, a picture stretched to its frame, a rectangle
// and the loudspeaker. Every one takes its objectName from the caller (the
// control's name) and its accessible name from what its loudspeaker says.

// Raised 3D button that shows a picture (stretched inside its bevel, keeping a
// margin), a caption, or both: the picture, square, above a line of caption.
// Sinks while pressed.
class Button3D : public QAbstractButton
{
    Q_OBJECT
public:
    explicit Button3D(QWidget *parent = nullptr);

    void setPicture(const Picture &picture);
    const Picture &picture() const { return m_picture; }
    void setFaceColor(const QColor &color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Picture m_picture;
    QColor m_face;
};

// Raised 3D panel with a text (the title band of every screen). A double click
// emits doubleClicked(); single clicks do nothing.
class Panel3D : public QFrame
{
    Q_OBJECT
public:
    explicit Panel3D(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    void setTextColor(const QColor &color);
    QColor textColor() const { return m_textColor; }
    void setBackground(const QColor &color);
    void setAlignment(Qt::Alignment alignment);

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QString m_text;
    QColor m_textColor{Qt::black};
    QColor m_background{Qt::lightGray};
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

// A picture stretched to fill its frame (the original "Image" control).
// Without a picture it draws nothing, so what lies behind it shows; disabled,
// it draws its picture faded and takes no click.
class PictureImage : public QWidget
{
    Q_OBJECT
public:
    explicit PictureImage(QWidget *parent = nullptr);

    void setPicture(const Picture &picture);
    void clear();
    const Picture &picture() const { return m_picture; }
    // The size a picture file is decoded at for this image: its own, in
    // device pixels.
    QSize displaySize() const;

signals:
    void clicked();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    Picture m_picture;
    bool m_doubleClickPending = false; // the release ending a double click is no click
};

// A rectangle: outlined (the red selection frame, 5 pixels wide) or filled.
// It never takes a click: clicks go to what lies under it.
class ShapeRect : public QWidget
{
    Q_OBJECT
public:
    explicit ShapeRect(QWidget *parent = nullptr);

    void setOutline(const QColor &color, int widthPx);
    void setFill(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color{Qt::red};
    int m_width = 5;
    bool m_filled = false;
};

// The loudspeaker picture beside a button: clicking it only speaks.
PictureImage *makeSpeaker(QWidget *parent, const QString &objectName, const QString &spokenWords);
