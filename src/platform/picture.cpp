#include "platform/picture.h"

#include "platform/apperror.h"
#include "platform/datafile.h"
#include "platform/paths.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

struct Picture::Data
{
    QString source;
    // One of the two: a drawing, rendered afresh at the target's size and
    // device pixel ratio, or a bitmap.
    std::unique_ptr<QSvgRenderer> drawing;
    QImage bitmap;
};

namespace {

// Decoded whole, a picture takes four bytes a pixel, and a file of a few
// kilobytes may announce 20000 x 20000 of them. Formats that decode at the
// size asked cost little more than that size; the others (PNG, BMP, GIF) are
// decoded whole and then scaled, so they are refused beyond this many pixels
// (16 MB decoded, and a touch held for a fraction of a second). Qt's own
// allocation limit, 256 MB a picture, is far above what a kiosk can give.
constexpr qint64 kMaxWholePixels = 4 * 1024 * 1024;
// A sequential JPEG decodes at an eighth of its size when asked: a camera's
// photograph stays within reach, a picture of gigapixels does not. (A
// progressive one keeps all its coefficients, six bytes a pixel: whole.)
constexpr qint64 kMaxJpegPixels = 64 * 1024 * 1024;
// Where the display size is not known.
constexpr QSize kDefaultBound(1024, 1024);

// The raster format of the file by its first bytes, whatever its name says:
// the data folder holds PNG or JPEG under .BMP names, and a drawing (SVG) or
// any other format is no picture of it.
QByteArray rasterFormat(QIODevice &device)
{
    const QByteArray head = device.peek(8);
    if (head.startsWith("BM"))
        return "bmp";
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return "png";
    if (head.startsWith("\xff\xd8\xff"))
        return "jpeg";
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return "gif";
    return {};
}

// Whether a JPEG is progressive, from its frame header; one whose frame
// header is not found near the start counts as progressive.
bool isProgressiveJpeg(QIODevice &device)
{
    const QByteArray head = device.peek(128 * 1024);
    qsizetype i = 2;
    while (i + 4 <= head.size()) {
        if (quint8(head[i]) != 0xFF)
            return true;
        const quint8 marker = quint8(head[i + 1]);
        if (marker == 0xFF) { // fill byte
            ++i;
            continue;
        }
        // Start of frame: C0 to CF but for the tables C4, C8 and CC.
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
        i += 2 + ((quint8(head[i + 2]) << 8) | quint8(head[i + 3]));
    }
    return true;
}

// Reads the picture of the device scaled down to fit within the bound (in
// device pixels); a null image, with the reason, when it is not a picture
// that can be decoded within the limits above.
QImage decode(QIODevice &device, QSize bound, QString &why)
{
    const QByteArray format = rasterFormat(device);
    if (format.isEmpty()) {
        why = QStringLiteral("ce n'est pas une image BMP, PNG, JPEG ou GIF");
        return {};
    }
    // Before the reader moves on in the device.
    const bool scaledWhileDecoded = format == "jpeg" && !isProgressiveJpeg(device);
    QImageReader reader(&device, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        why = QStringLiteral("image illisible");
        return {};
    }
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels > (scaledWhileDecoded ? kMaxJpegPixels : kMaxWholePixels)) {
        why = QStringLiteral("image trop grande (%1 x %2 points)").arg(size.width()).arg(size.height());
        return {};
    }
    if (bound.isEmpty())
        bound = kDefaultBound;
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        bound.transpose();
    if (size.width() > bound.width() || size.height() > bound.height())
        reader.setScaledSize(size.scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull())
        why = QStringLiteral("image illisible (%1)").arg(reader.errorString());
    return image;
}

// A picture file of the data folder, read safely (see DataFile). Skipped
// pictures are told on the standard error: a child meets them, and a box
// would mean nothing to a child.
QImage readBitmap(const QString &path, QSize bound)
{
    QString why;
    QImage image;
    try {
        const std::unique_ptr<QFile> file = DataFile::open(path, DataFile::kMediaLimit);
        image = decode(*file, bound, why);
    } catch (const AppError &error) {
        why = error.description();
    }
    if (image.isNull())
        DataFile::reportSkipped(path, why);
    return image;
}

} // namespace

Picture Picture::fromResource(const QString &resourcePath)
{
    if (resourcePath.isEmpty() || !QFile::exists(resourcePath))
        return {};
    auto data = std::make_shared<Data>();
    data->source = resourcePath;
    if (resourcePath.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        auto renderer = std::make_unique<QSvgRenderer>(resourcePath);
        if (!renderer->isValid())
            return {};
        renderer->setAspectRatioMode(Qt::IgnoreAspectRatio);
        data->drawing = std::move(renderer);
    } else {
        data->bitmap = QImage(resourcePath);
        if (data->bitmap.isNull())
            return {};
    }
    Picture picture;
    picture.m_data = std::move(data);
    return picture;
}

Picture Picture::fromFile(const QString &nativePath, QSize bound)
{
    if (nativePath.isEmpty())
        return {};
    auto data = std::make_shared<Data>();
    data->source = nativePath;
    data->bitmap = readBitmap(nativePath, bound);
    if (data->bitmap.isNull())
        return {};
    Picture picture;
    picture.m_data = std::move(data);
    return picture;
}

Picture Picture::fromDataFile(const QString &windowsPath, QSize bound)
{
    const QString native = presentFilePath(windowsPath);
    return native.isEmpty() ? Picture() : fromFile(native, bound);
}

QImage Picture::readThumbnail(const QString &nativePath, QSize bound)
{
    if (nativePath.isEmpty() || bound.isEmpty())
        return {};
    return readBitmap(nativePath, bound);
}

QString Picture::source() const
{
    return m_data ? m_data->source : QString();
}

void Picture::paint(QPainter &painter, const QRectF &target) const
{
    if (!m_data || target.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_data->drawing)
        m_data->drawing->render(&painter, target);
    else
        painter.drawImage(target, m_data->bitmap);
    painter.restore();
}
