#include "platform/textfile.h"

#include "platform/apperror.h"
#include "platform/datafile.h"

#include <QStringDecoder>

#include <array>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F. The five codes that
// Windows leaves unassigned there decode to the control character of the same
// value (as Windows itself does), so that any byte survives a round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

char encodeChar(char32_t code)
{
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF))
        return static_cast<char>(code);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == code)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

} // namespace

namespace TextFile {

QString decode1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte < 0xA0)
            text.append(QChar(kHighControls[byte - 0x80]));
        else
            text.append(QChar(byte));
    }
    return text;
}

QByteArray encode1252(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const char32_t code : text.toUcs4())
        bytes.append(encodeChar(code));
    return bytes;
}

} // namespace TextFile

QString TextFile::decodeWritten(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return decode1252(bytes);
    // The decoder keeps a byte-order mark as U+FEFF.
    return text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
}

QString TextFile::readWritten(const QString &nativePath)
{
    return decodeWritten(DataFile::readAll(nativePath, DataFile::kTextLimit));
}

QStringList TextFile::readValues(const QString &text, int count)
{
    QStringList values;
    const qsizetype n = text.size();
    qsizetype i = 0;
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    const auto isLineEnd = [](QChar c) { return c == u'\r' || c == u'\n'; };
    // Passes one separator: a comma, or a line end (CR LF, CR or LF).
    const auto skipSeparator = [&] {
        if (i < n && text[i] == u',') {
            ++i;
        } else if (i < n && isLineEnd(text[i])) {
            if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            ++i;
        }
    };
    while (int(values.size()) < count) {
        while (i < n && isBlank(text[i]))
            ++i;
        if (i >= n)
            break;
        if (text[i] == u'"') {
            const qsizetype close = text.indexOf(u'"', i + 1);
            const qsizetype end = close < 0 ? n : close;
            values << text.mid(i + 1, end - i - 1);
            i = close < 0 ? n : close + 1;
            // Anything between the closing quote and the separator is dropped.
            while (i < n && text[i] != u',' && !isLineEnd(text[i]))
                ++i;
        } else {
            qsizetype end = i;
            while (end < n && text[end] != u',' && !isLineEnd(text[end]))
                ++end;
            values << text.mid(i, end - i).trimmed();
            i = end;
        }
        skipSeparator();
    }
    if (int(values.size()) < count)
        throw AppError(ErrorNumber::InputPastEnd, QStringLiteral("L'entrée dépasse la fin du fichier"));
    return values;
}
