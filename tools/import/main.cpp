// luma-import: converts the Access files of a data folder in place, or one
// Access file (ALTEMARE.MDB, LUMA.MDB, COTATION.MDB...) into a new file, into
// the database format the program opens.

#include "accessimport.h"
#include "folderimport.h"

#include "platform/apperror.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kFailure = 1;
constexpr int kBadUsage = 2;

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

QString usage()
{
    return QStringLiteral(
        "Usage : luma-import DOSSIER [--charset CODEPAGE]\n"
        "        luma-import SOURCE.MDB DESTINATION.MDB [--charset CODEPAGE]\n"
        "\n"
        "Première forme : convertit sur place les bases Access de La LUMA. DOSSIER est le dossier de\n"
        "données de La LUMA, celui de LUMA.MDB. Sont convertis, quand ils sont au format Access :\n"
        "ALTEMARE.MDB dans le dossier de l'école, trouvé comme au démarrage du programme (le dossier\n"
        "ALTEMARE voisin d'un dossier LALUMA, sinon /ALTEMARE, sinon DOSSIER lui-même), puis LUMA.MDB,\n"
        "COTATION.MDB et MEMBRES.MDB dans DOSSIER. Chaque original est rangé, inchangé, dans un dossier\n"
        "ACCESS à côté de lui (sous le nom suivant libre, LUMA-2.MDB..., si son nom y est déjà pris :\n"
        "rien n'y est jamais remplacé) et le fichier converti prend son nom, avec le propriétaire et les\n"
        "droits de l'original. Un fichier déjà converti est laissé tel quel : relancer la commande ne\n"
        "change rien. Si un seul fichier ne peut pas être converti, aucun n'est modifié. Fermez La LUMA\n"
        "sur tous les postes avant de convertir.\n"
        "\n"
        "Seconde forme : convertit le fichier Access SOURCE.MDB en une base de La LUMA, DESTINATION.MDB,\n"
        "qui ne doit pas encore exister. Le fichier Access n'est que lu.\n"
        "\n"
        "  --charset CODEPAGE  jeu de caractères du texte d'un fichier Access 97 quand son en-tête se\n"
        "                      trompe (par exemple CP1252, CP850, GBK)\n"
        "  --help              affiche cette aide\n"
        "\n"
        "Code de retour : 0 réussite, 1 échec (aucun fichier modifié), 2 mauvais usage.");
}

int badUsage(const QString &message)
{
    print(stderr, QStringLiteral("luma-import : %1\nPour l'aide : luma-import --help").arg(message));
    return kBadUsage;
}

QString seconds(qint64 milliseconds)
{
    return QLocale(QLocale::French).toString(double(milliseconds) / 1000.0, 'f', 2) + QStringLiteral(" s");
}

// The table being copied: a bar redrawn in place on a terminal, a line per
// table otherwise.
class ProgressDisplay
{
public:
    ProgressDisplay() : m_terminal(::isatty(STDOUT_FILENO) == 1) { m_sinceDrawn.start(); }

    void fileStarted(const QString &name) { print(stdout, QStringLiteral("Conversion de %1").arg(name)); }

    void table(const TableProgress &progress)
    {
        if (!m_terminal) {
            if (progress.finished)
                print(stdout, QStringLiteral("  %1 : %2 %3")
                                  .arg(progress.table)
                                  .arg(progress.rows)
                                  .arg(progress.rows > 1 ? QStringLiteral("lignes") : QStringLiteral("ligne")));
            return;
        }
        if (!progress.finished && progress.rows != 0 && m_sinceDrawn.elapsed() < 100)
            return;
        m_sinceDrawn.restart();
        constexpr int kWidth = 30;
        const qint64 total = std::max(progress.total, progress.rows);
        const int filled = total == 0 ? (progress.finished ? kWidth : 0) : int(progress.rows * kWidth / total);
        QString name = progress.table;
        if (name.size() > 24)
            name = name.left(23) + QStringLiteral("…");
        const QString line = QStringLiteral("\r  %1 [%2%3] %4/%5")
                                 .arg(name, -24)
                                 .arg(QString(filled, QLatin1Char('#')), QString(kWidth - filled, QLatin1Char('.')))
                                 .arg(progress.rows)
                                 .arg(total);
        std::fputs(line.toLocal8Bit().constData(), stdout);
        if (progress.finished)
            std::fputc('\n', stdout);
        std::fflush(stdout);
    }

private:
    bool m_terminal;
    QElapsedTimer m_sinceDrawn;
};

// A database file as the summary names it: from the folder above the data
// folder (LALUMA/LUMA.MDB, ALTEMARE/ALTEMARE.MDB), or in full when elsewhere.
QString shownName(const QString &path, const QString &dataFolder)
{
    const QString relative = QFileInfo(dataFolder).dir().relativeFilePath(path);
    return QDir::toNativeSeparators(relative.startsWith(QLatin1String("..")) ? path : relative);
}

void printSummary(const FolderImportResult &result)
{
    struct Line
    {
        QString file, tables, rows, time;
    };
    QList<Line> lines{{QStringLiteral("Fichier"), QStringLiteral("Tables"), QStringLiteral("Lignes"),
                       QStringLiteral("Durée")}};
    int tables = 0;
    qint64 rows = 0;
    qint64 time = 0;
    for (const FolderFile &file : result.files) {
        Line line{shownName(file.path, result.dataFolder), {}, {}, {}};
        switch (file.state) {
        case FolderFile::State::Absent: line.tables = QStringLiteral("absent"); break;
        case FolderFile::State::AlreadyConverted: line.tables = QStringLiteral("déjà converti"); break;
        case FolderFile::State::NotAccess: line.tables = QStringLiteral("pas au format Access, laissé tel quel"); break;
        case FolderFile::State::Converted:
            line.tables = QString::number(file.result.tables);
            line.rows = QString::number(file.result.rows);
            line.time = seconds(file.milliseconds);
            tables += file.result.tables;
            rows += file.result.rows;
            time += file.milliseconds;
            break;
        }
        lines << line;
    }
    if (result.converted() > 1)
        lines << Line{QStringLiteral("Total"), QString::number(tables), QString::number(rows), seconds(time)};

    qsizetype width = 0;
    for (const Line &line : lines)
        width = std::max(width, line.file.size());
    print(stdout, QString());
    for (const Line &line : lines) {
        QString text = line.file.leftJustified(width + 2);
        // A state takes the place of the figures.
        if (line.rows.isEmpty() && line.time.isEmpty())
            text += line.tables;
        else
            text += line.tables.rightJustified(6) + line.rows.rightJustified(12) + line.time.rightJustified(12);
        print(stdout, text);
    }
    print(stdout, QString());
}

int convertFolder(const QString &folder, const ImportOptions &importOptions)
{
    ProgressDisplay display;
    FolderImportOptions options;
    options.import = importOptions;
    options.import.progress = [&](const TableProgress &progress) { display.table(progress); };
    options.fileStarted = [&](const QString &file) { display.fileStarted(QDir::toNativeSeparators(file)); };

    FolderImportResult result;
    try {
        result = importDataFolder(folder, options);
    } catch (const AppError &error) {
        print(stderr, QStringLiteral("luma-import : ") + error.description());
        return kFailure;
    }
    for (const QString &leftover : result.removedLeftovers)
        print(stdout, QStringLiteral("Fichier temporaire d'une conversion interrompue supprimé : %1").arg(leftover));

    bool anyFile = false;
    for (const FolderFile &file : result.files)
        anyFile = anyFile || file.state != FolderFile::State::Absent;
    if (!anyFile) {
        print(stderr, QStringLiteral("luma-import : aucune base de La LUMA (LUMA.MDB, COTATION.MDB, MEMBRES.MDB, "
                                     "ALTEMARE.MDB) dans « %1 » : est-ce bien le dossier de données ?")
                          .arg(QDir::toNativeSeparators(result.dataFolder)));
        return kFailure;
    }

    printSummary(result);
    for (const FolderFile &file : result.files) {
        for (const QString &warning : file.result.warnings)
            print(stderr, QStringLiteral("luma-import : %1 : %2").arg(shownName(file.path, result.dataFolder), warning));
    }
    if (result.converted() == 0) {
        print(stdout, QStringLiteral("Rien à convertir : aucun fichier n'est au format Access. Aucun fichier n'a été "
                                     "modifié."));
        return 0;
    }
    print(stdout, result.converted() > 1 ? QStringLiteral("%1 fichiers convertis. Les originaux, inchangés, sont :")
                                               .arg(result.converted())
                                         : QStringLiteral("1 fichier converti. L'original, inchangé, est :"));
    for (const FolderFile &file : result.files) {
        if (file.state == FolderFile::State::Converted)
            print(stdout, QStringLiteral("  %1").arg(QDir::toNativeSeparators(file.archive)));
    }
    return 0;
}

int convertFile(const QString &source, const QString &destination, const ImportOptions &options)
{
    try {
        const ImportResult result = importAccessFile(source, destination, options);
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
        return kFailure;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();

    QStringList files;
    ImportOptions options;
    bool optionsEnded = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            files << arg;
        } else if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            print(stdout, usage());
            return 0;
        } else if (arg == QLatin1String("--charset")) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty())
                return badUsage(QStringLiteral("--charset attend un jeu de caractères (par exemple CP1252)."));
            options.charset = args[++i];
        } else if (arg.startsWith(QLatin1String("--charset="))) {
            options.charset = arg.section(QLatin1Char('='), 1);
            if (options.charset.isEmpty())
                return badUsage(QStringLiteral("--charset attend un jeu de caractères (par exemple CP1252)."));
        } else {
            return badUsage(QStringLiteral("option inconnue « %1 ».").arg(arg));
        }
    }

    if (files.size() == 1) {
        const QFileInfo folder(files[0]);
        if (folder.exists() && !folder.isDir())
            return badUsage(QStringLiteral("« %1 » n'est pas un dossier. Pour convertir un seul fichier : "
                                           "luma-import SOURCE.MDB DESTINATION.MDB")
                                .arg(files[0]));
        return convertFolder(files[0], options);
    }
    if (files.size() == 2)
        return convertFile(files[0], files[1], options);
    return badUsage(files.isEmpty() ? QStringLiteral("il manque le dossier de données à convertir.")
                                    : QStringLiteral("trop d'arguments (%1).").arg(files.size()));
}
