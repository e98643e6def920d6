// The path resolver on names taken from data (a cover's inventory number, a
// request's picture and sound, a child's matricule), with any bytes in any of
// the encodings they may come in: a name that isSafeFileName() lets through
// resolves to exactly one entry of its folder, never elsewhere, one that
// isSafeRelativePath() lets through to something inside the folder; and any
// path resolves without harm to an absolute path.

#include "fuzzsupport.h"

#include "platform/paths.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// A data folder whose names differ from what the program writes in case
// and composition, as one copied from Windows.
QString dataFolder()
{
    const QString base = fuzz::workFolder() + QStringLiteral("/LaLuma");
    for (const char *folder : {"Livres", "images", "SONS", "images/Sous"})
        QDir().mkpath(base + QLatin1Char('/') + QLatin1String(folder));
    for (const QString &file : {QStringLiteral("Livres/00042.bmp"), QStringLiteral("images/Éveil.BMP"),
                                QStringLiteral("images/e\u0301te\u0301.bmp"), QStringLiteral("SONS/Loup.wav"),
                                QStringLiteral("images/Sous/x.bmp"), QStringLiteral("secret.txt")}) {
        QFile f(base + QLatin1Char('/') + file);
        if (!f.open(QIODevice::WriteOnly))
            fuzz::finding(QStringLiteral("cannot make ") + file);
    }
    return base;
}

QString nameFrom(FuzzedDataProvider &in)
{
    const std::string raw = in.ConsumeRandomLengthString(64);
    const QByteArray bytes = QByteArray::fromStdString(raw);
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return QString::fromUtf8(bytes);
    case 1:
        return TextFile::decode1252(bytes);
    default: // any UTF-16, unpaired surrogates too
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString base = dataFolder();
    FuzzedDataProvider in(data, size);
    const QString name = nameFrom(in);

    // As the screens join a name from data to its folder.
    static const char *const folders[] = {"\\LIVRES\\", "\\IMAGES\\", "\\SONS\\"};
    const QString folder = QString::fromLatin1(folders[in.ConsumeIntegralInRange(0, 2)]);
    const QString suffix = in.ConsumeBool() ? QStringLiteral(".BMP") : QString();
    const QString what = QStringLiteral("name '%1' in %2").arg(fuzz::shown(name), folder);
    const QString resolved = nativePath(base + folder + name + suffix);
    fuzz::check(resolved.startsWith(u'/'), what + QStringLiteral(": not absolute: ") + fuzz::shown(resolved));
    if (isSafeFileName(name)) {
        const QString inside = nativePath(base + folder.chopped(1)) + QLatin1Char('/');
        fuzz::check(resolved.startsWith(inside) && !resolved.mid(inside.size()).contains(u'/') &&
                        resolved.size() > inside.size(),
                    what + QStringLiteral(" leads to ") + fuzz::shown(resolved));
        // The tests the screens make before loading it stay inside too.
        normalFilePath(base + folder + name + suffix);
        isFolder(base + folder + name);
    }

    // A request's picture or sound may go down into subfolders, never out.
    if (isSafeRelativePath(name)) {
        const QString inside = nativePath(base + folder.chopped(1)) + QLatin1Char('/');
        fuzz::check(resolved.startsWith(inside) && resolved.size() > inside.size(),
                    what + QStringLiteral(" leads to ") + fuzz::shown(resolved));
    }

    // A whole path, as a program setting could give it.
    const QString path = nameFrom(in);
    const QString anyPath = nativePath(path);
    fuzz::check(path.isEmpty() || anyPath.startsWith(u'/'), QStringLiteral("path '%1' resolves to '%2'")
                                                                .arg(fuzz::shown(path), fuzz::shown(anyPath)));
    return 0;
}
