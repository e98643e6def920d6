#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <array>

// Pictures made byte by byte: a few kilobytes on disk that announce
// 20000 x 20000 points, as a hostile or careless file would.

inline quint32 crc32Of(const QByteArray &bytes)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t {};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char b : bytes)
        crc = table[(crc ^ quint8(b)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

inline QByteArray bigEndian32(quint32 v)
{
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char(v >> shift);
    return out;
}

inline QByteArray littleEndian(quint32 v, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out += char(v >> (8 * i));
    return out;
}

inline QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    return bigEndian32(quint32(data.size())) + type + data + bigEndian32(crc32Of(type + data));
}

// A valid black PNG, black and white or in colours: 50 KB for 20000 x 20000.
inline QByteArray blackPng(int width, int height, bool colours = false)
{
    const QByteArray header = bigEndian32(width) + bigEndian32(height) +
                              (colours ? QByteArray("\x08\x02\x00\x00\x00", 5) : QByteArray("\x01\x00\x00\x00\x00", 5));
    const QByteArray rows(qsizetype(height) * (1 + (colours ? qsizetype(width) * 3 : (width + 7) / 8)), '\0');
    return QByteArray("\x89PNG\r\n\x1a\n") + pngChunk("IHDR", header) + pngChunk("IDAT", qCompress(rows, 9).mid(4)) +
           pngChunk("IEND", {});
}

inline QByteArray bmpHeaders(int width, int height, int bits, int compression, int colours, qint64 dataSize)
{
    const qint64 offset = 14 + 40 + 4 * colours;
    QByteArray bytes = "BM" + littleEndian(quint32(offset + dataSize), 4) + littleEndian(0, 4) + littleEndian(quint32(offset), 4);
    bytes += littleEndian(40, 4) + littleEndian(width, 4) + littleEndian(height, 4) + littleEndian(1, 2) +
             littleEndian(bits, 2) + littleEndian(compression, 4) + littleEndian(quint32(dataSize), 4) +
             littleEndian(2835, 4) + littleEndian(2835, 4) + littleEndian(colours, 4) + littleEndian(0, 4);
    for (int c = 0; c < colours; ++c)
        bytes += littleEndian(c ? 0xFFFFFF : 0, 4);
    return bytes;
}

// An 8-bit run-length BMP: 3 MB for 20000 x 20000.
inline QByteArray rleBmp(int width, int height)
{
    QByteArray row;
    for (int left = width; left > 0; left -= 255)
        row += char(std::min(left, 255)), row += '\0';
    row += QByteArray(2, '\0'); // end of line
    const QByteArray data = row.repeated(height) + QByteArray("\x00\x01", 2);
    return bmpHeaders(width, height, 8, 1, 256, data.size()) + data;
}

inline QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A small real picture whose header is changed to announce another size.
inline QByteArray jpegAnnouncing(int width, int height)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QByteArray bytes = encoded(image, "JPEG");
    const qsizetype frame = bytes.indexOf("\xff\xc0");
    if (frame >= 0) {
        bytes[frame + 5] = char(height >> 8), bytes[frame + 6] = char(height);
        bytes[frame + 7] = char(width >> 8), bytes[frame + 8] = char(width);
    }
    return bytes;
}

inline QByteArray gifAnnouncing(int width, int height)
{
    const QByteArray size = littleEndian(width, 2) + littleEndian(height, 2);
    return "GIF89a" + size + QByteArray("\x80\x00\x00\x00\x00\x00\xff\xff\xff", 9) + "," + littleEndian(0, 4) + size +
           QByteArray("\x00\x02\x01\x2c\x00;", 6);
}

