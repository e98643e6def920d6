// The request file reader on any bytes (values, quotes, CR LF, UTF-8 or
// Windows-1252): four values or error 62, never anything else; the four
// values, written back quoted, read again the same; asking for fewer values
// reads the same first ones.

#include "fuzzsupport.h"

#include "platform/textfile.h"
#include "search/requetes.h"

#include <QFile>

namespace {

const QString &requestFile()
{
    static const QString path = fuzz::workFolder() + QStringLiteral("/LOUPS.RQT");
    return path;
}

void write(const QByteArray &bytes)
{
    QFile file(requestFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fuzz::finding(QStringLiteral("cannot write the request file"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    write(bytes);
    ContenuRequete read;
    try {
        read = LitRequete(requestFile());
    } catch (const AppError &error) {
        fuzz::expectNumber(error, {ErrorNumber::InputPastEnd});
        return 0;
    }
    const QStringList values{read.tete, read.titre, read.image, read.son};
    const QString text = TextFile::decodeWritten(bytes);
    for (int count = 1; count < 4; ++count)
        fuzz::check(TextFile::readValues(text, count) == values.mid(0, count),
                    QStringLiteral("the first %1 values read otherwise").arg(count));

    bool quotable = true;
    for (const QString &value : values)
        quotable = quotable && !value.contains(u'"');
    if (quotable) {
        QByteArray again;
        for (const QString &value : values)
            again += '"' + value.toUtf8() + "\"\r\n";
        write(again);
        const ContenuRequete back = LitRequete(requestFile());
        fuzz::check(QStringList({back.tete, back.titre, back.image, back.son}) == values,
                    QStringLiteral("values written back read otherwise: %1").arg(fuzz::shown(values.join(u'|'))));
    }
    return 0;
}
