// luma-import: converts the Access files of a data folder in place, or one
// Access file (ALTEMARE.MDB, LUMA.MDB, COTATION.MDB...) into a new file, into
// the database format the program opens; moves a folder's databases to a
// PostgreSQL server and back.

#include "accessimport.h"
#include "folderimport.h"

#include "platform/apperror.h"
#ifdef LUMA_POSTGRESQL
#include "folder/migrationpostgresql.h"
#endif

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
        "        luma-import --vers-postgresql DOSSIER [SERVICE | --conninfo CHAINE] [--remplacer]\n"
        "        luma-import --vers-sqlite DOSSIER\n"
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
        "--vers-postgresql : copie les bases du dossier (LUMA.MDB, COTATION.MDB, MEMBRES.MDB, et\n"
        "ALTEMARE.MDB du dossier de l'école) sur un serveur PostgreSQL, en une seule transaction :\n"
        "tout ou rien. Le serveur est le service SERVICE de libpq (pg_service.conf), ou la chaîne de\n"
        "connexion CHAINE ; sans l'un ni l'autre, celui que nomme le BASE.INI du dossier, sinon le\n"
        "service « luma ». Jamais de mot de passe : le fichier de mots de passe de PostgreSQL le donne.\n"
        "Ensuite BASE.INI nomme le serveur, et chaque fichier copié est rangé, inchangé, dans un dossier\n"
        "AVANT-POSTGRESQL à côté de lui. Les tables déjà sur le serveur sont refusées, sauf avec\n"
        "--remplacer. Aucun kiosque ne prête pendant la copie.\n"
        "\n"
        "--vers-sqlite : l'inverse : écrit depuis le serveur que nomme BASE.INI de nouveaux fichiers\n"
        "LUMA.MDB, COTATION.MDB, MEMBRES.MDB et ALTEMARE.MDB (refusé si l'un d'eux existe déjà), puis\n"
        "renomme BASE.INI en BASE.INI.ANCIEN. Le serveur n'est pas modifié.\n"
        "\n"
        "  --charset CODEPAGE  jeu de caractères du texte d'un fichier Access 97 quand son en-tête se\n"
        "                      trompe (par exemple CP1252, CP850, GBK)\n"
        "  --conninfo CHAINE   serveur PostgreSQL donné par une chaîne de connexion de libpq\n"
        "                      (par exemple \"host=serveur dbname=luma user=luma\")\n"
        "  --remplacer         remplace les tables que le serveur a déjà\n"
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

#ifdef LUMA_POSTGRESQL
// A copy to or from the server: a line per file, the tables' progress, then
// the same summary as a conversion.
int migre(const std::function<ResultatMigration(OptionsMigration &)> &migration, const QString &dossier)
{
    ProgressDisplay display;
    QString fichier;
    OptionsMigration options;
    options.progression = [&](const ProgressionCopie &p) {
        if (p.fichier != fichier) {
            fichier = p.fichier;
            print(stdout, QStringLiteral("Copie de %1").arg(p.fichier));
        }
        TableProgress table;
        table.table = p.table;
        table.rows = p.lignes;
        table.total = p.total;
        table.finished = p.finie;
        display.table(table);
    };
    ResultatMigration resultat;
    try {
        resultat = migration(options);
    } catch (const AppError &error) {
        print(stderr, QStringLiteral("luma-import : ") + error.description());
        return kFailure;
    }
    FolderImportResult resume;
    resume.dataFolder = QDir(dossier).absolutePath();
    for (const FichierMigre &migre : resultat.fichiers) {
        FolderFile file;
        file.path = migre.fichier;
        file.state = FolderFile::State::Converted;
        file.result.tables = migre.tables;
        file.result.rows = migre.lignes;
        file.milliseconds = migre.millisecondes;
        resume.files << file;
    }
    printSummary(resume);
    for (const QString &warning : resultat.avertissements)
        print(stderr, QStringLiteral("luma-import : ") + warning);
    return 0;
}

int versLeServeur(const QString &dossier, const ServeurPostgresql &donne, bool remplacer)
{
    ServeurPostgresql serveur = donne;
    if (serveur.service.isEmpty() && serveur.conninfo.isEmpty()) {
        try {
            serveur = serveurParDefaut(dossier);
        } catch (const AppError &error) {
            print(stderr, QStringLiteral("luma-import : ") + error.description());
            return kFailure;
        }
    }
    const QString nom = serveur.service.isEmpty() ? serveur.conninfo : QStringLiteral("service=") + serveur.service;
    print(stdout, QStringLiteral("Copie des bases vers le serveur PostgreSQL (%1)").arg(nom));
    ResultatMigration fait;
    const int code = migre(
        [&](OptionsMigration &options) {
            options.remplacer = remplacer;
            return fait = versPostgresql(dossier, serveur, options);
        },
        dossier);
    if (code != 0)
        return code;
    print(stdout, QStringLiteral("Les bases sont sur le serveur ; %1 le nomme. Les fichiers copiés sont rangés, "
                                 "inchangés, dans :")
                      .arg(fait.baseIni));
    for (const FichierMigre &migre : fait.fichiers)
        print(stdout, QStringLiteral("  %1").arg(migre.archive));
    return 0;
}

int versLesFichiers(const QString &dossier)
{
    print(stdout, QStringLiteral("Copie des bases du serveur PostgreSQL vers des fichiers .MDB"));
    ResultatMigration fait;
    const int code = migre([&](OptionsMigration &options) { return fait = versSqlite(dossier, options); }, dossier);
    if (code == 0)
        print(stdout, QStringLiteral("Les bases sont de nouveau des fichiers .MDB. BASE.INI est renommé %1 ; le serveur "
                                     "n'a pas été modifié.")
                          .arg(fait.baseIni));
    return code;
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();

    QStringList files;
    ImportOptions options;
    bool optionsEnded = false;
    enum class Direction { None, ToServer, ToFiles } direction = Direction::None;
    bool replace = false;
    QString conninfo;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            files << arg;
        } else if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            print(stdout, usage());
            return 0;
        } else if (arg == QLatin1String("--vers-postgresql") || arg == QLatin1String("--vers-sqlite")) {
            if (direction != Direction::None)
                return badUsage(QStringLiteral("--vers-postgresql et --vers-sqlite s'excluent."));
            direction = arg == QLatin1String("--vers-sqlite") ? Direction::ToFiles : Direction::ToServer;
        } else if (arg == QLatin1String("--remplacer")) {
            replace = true;
        } else if (arg == QLatin1String("--conninfo")) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty())
                return badUsage(QStringLiteral("--conninfo attend une chaîne de connexion (par exemple "
                                               "\"host=serveur dbname=luma\")."));
            conninfo = args[++i];
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

    if (direction != Direction::None) {
#ifdef LUMA_POSTGRESQL
        const int most = direction == Direction::ToServer && conninfo.isEmpty() ? 2 : 1;
        if (files.isEmpty() || files.size() > most)
            return badUsage(files.isEmpty() ? QStringLiteral("il manque le dossier de données.")
                                            : QStringLiteral("trop d'arguments (%1).").arg(files.size()));
        if (!QFileInfo(files[0]).isDir())
            return badUsage(QStringLiteral("« %1 » n'est pas un dossier.").arg(files[0]));
        if (direction == Direction::ToFiles) {
            if (replace || !conninfo.isEmpty())
                return badUsage(QStringLiteral("--vers-sqlite prend le serveur de BASE.INI, sans autre option."));
            return versLesFichiers(files[0]);
        }
        return versLeServeur(files[0], {files.value(1), conninfo}, replace);
#else
        return badUsage(QStringLiteral("ce programme est construit sans PostgreSQL (libpq)."));
#endif
    }
    if (replace || !conninfo.isEmpty())
        return badUsage(QStringLiteral("--remplacer et --conninfo vont avec --vers-postgresql."));
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
