#include "platform/picture.h"

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

QImage readBitmap(const QString &path, QSize bound = {})
{
    QImageReader reader(path);
    // A data folder may hold a PNG or JPEG under a .BMP name.
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (!bound.isEmpty()) {
        const QSize size = reader.size();
        if (size.isValid() && (size.width() > bound.width() || size.height() > bound.height()))
            reader.setScaledSize(size.scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    return reader.read();
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
        data->bitmap = readBitmap(resourcePath);
        if (data->bitmap.isNull())
            return {};
    }
    Picture picture;
    picture.m_data = std::move(data);
    return picture;
}

Picture Picture::fromFile(const QString &nativePath)
{
    if (nativePath.isEmpty())
        return {};
    auto data = std::make_shared<Data>();
    data->source = nativePath;
    data->bitmap = readBitmap(nativePath);
    if (data->bitmap.isNull())
        return {};
    Picture picture;
    picture.m_data = std::move(data);
    return picture;
}

Picture Picture::fromDataFile(const QString &windowsPath)
{
    const QString native = normalFilePath(windowsPath);
    return native.isEmpty() ? Picture() : fromFile(native);
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
