#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <memory>

class QPainter;
class QSvgRenderer;

// A picture shown by a button or an image: one of our drawings (an SVG compiled
// in as a resource, ":/assets/door.svg") or a picture file of the data folder
// (a BMP cover, photograph or class picture). Copies share the same picture;
// two copies are the same picture (sameAs), which is how a screen can tell
// which button's picture another button carries.
class Picture
{
public:
    Picture() = default;

    static Picture fromResource(const QString &resourcePath);
    // A picture file (native path), decoded to fit within the bound, the size
    // it is shown at in device pixels (an empty bound: a moderate default),
    // its proportions kept. Only BMP, PNG, JPEG and GIF, told by the content
    // whatever the name; a regular file of at most 32 MB, and not so many
    // pixels that decoding it would hold the screen or fill the memory.
    // Otherwise a null picture, and one line on the standard error.
    static Picture fromFile(const QString &nativePath, QSize bound);
    // A picture of the data folder named the Windows way (CheminBase +
    // "\\LIVRES\\00042.BMP"): a null picture when no file is there.
    // The path is resolved once.
    static Picture fromDataFile(const QString &windowsPath, QSize bound);
    // A picture file read straight into a small image, as fromFile(). A null
    // image when the file cannot be read.
    static QImage readThumbnail(const QString &nativePath, QSize bound);

    bool isNull() const { return !m_data; }
    bool sameAs(const Picture &other) const { return m_data == other.m_data; }
    QString source() const;

    // Draws the picture stretched to fill the rectangle.
    void paint(QPainter &painter, const QRectF &target) const;

private:
    struct Data;
    std::shared_ptr<const Data> m_data;
};
