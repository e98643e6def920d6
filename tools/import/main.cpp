// luma-import: converts a real Access file (ALTEMARE.MDB, LUMA.MDB,
// COTATION.MDB...) into the database format the program opens.

#include "accessimport.h"

#include "platform/apperror.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

QString usage()
{
    return QStringLiteral(
        "Usage : luma-import SOURCE.MDB DESTINATION.MDB [--charset CODEPAGE]\n"
        "Convertit le fichier Access SOURCE.MDB en une base de La LUMA, DESTINATION.MDB, qui ne doit pas\n"
        "encore exister. Le fichier Access n'est que lu.\n"
        "  --charset CODEPAGE  jeu de caractères du texte d'un fichier Access 97 quand son en-tête se\n"
        "                      trompe (par exemple CP1252, CP850, GBK)");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();

    QStringList files;
    ImportOptions options;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            print(stdout, usage());
            return 0;
        } else if (arg == QLatin1String("--charset")) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty()) {
                print(stderr, QStringLiteral("luma-import : --charset attend un jeu de caractères.\n") + usage());
                return 2;
            }
            options.charset = args[++i];
        } else if (arg.startsWith(QLatin1String("--"))) {
            print(stderr, QStringLiteral("luma-import : option inconnue « %1 ».\n").arg(arg) + usage());
            return 2;
        } else {
            files << arg;
        }
    }
    if (files.size() != 2) {
        print(stderr, usage());
        return 2;
    }

    try {
        const ImportResult result = importAccessFile(files[0], files[1], options);
        for (const QString &warning : result.warnings)
            print(stderr, QStringLiteral("luma-import : ") + warning);
        print(stdout, QStringLiteral("%1 %2, %3 %4")
                          .arg(result.tables)
                          .arg(result.tables > 1 ? QStringLiteral("tables") : QStringLiteral("table"))
                          .arg(result.rows)
                          .arg(result.rows > 1 ? QStringLiteral("lignes importées") : QStringLiteral("ligne importée")));
        return 0;
    } catch (const AppError &error) {
        print(stderr, QStringLiteral("luma-import : ") + error.description());
        print(stderr, QStringLiteral("Rien n'a été écrit."));
        return 1;
    }
}
