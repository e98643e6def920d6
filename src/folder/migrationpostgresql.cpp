#include "folder/migrationpostgresql.h"

#include "data/database.h"
#include "data/pgconnexion.h"
#include "data/pginstallation.h"
#include "data/rowvalues.h"
#include "data/sqlitestatement.h"
#include "folder/baseini.h"
#include "folder/contexteprets.h"
#include "folder/dossiers.h"
#include "folder/intentionpret.h"
#include "platform/apperror.h"
#include "platform/durablefile.h"
#include "platform/ownership.h"
#include "platform/paths.h"
#include "platform/textfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kColonneCle = QStringLiteral("luma_cle");
const QString kArchive = QStringLiteral("AVANT-POSTGRESQL");
// PostgreSQL cuts longer names (NAMEDATALEN - 1 bytes), silently.
constexpr qsizetype kNomMax = 63;
constexpr qint64 kPasProgression = 5000;
// A file's journals, which go wherever it goes.
const QStringList kJournaux{QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")};

// The four files, in the order they are copied.
struct Fichier
{
    QString nom;
    QString schema;
    bool ecole;
    bool requis;
};
const QList<Fichier> &fichiers()
{
    static const QList<Fichier> liste{{QStringLiteral("LUMA.MDB"), QStringLiteral("luma"), false, true},
                                      {QStringLiteral("COTATION.MDB"), QStringLiteral("cotation"), false, false},
                                      {QStringLiteral("MEMBRES.MDB"), QStringLiteral("membres"), false, false},
                                      {QStringLiteral("ALTEMARE.MDB"), QStringLiteral("ecole"), true, true}};
    return liste;
}

QString natif(const QString &chemin)
{
    return QDir::toNativeSeparators(chemin);
}

QString nomQualifie(const QString &schema, const QString &table)
{
    return schema + QLatin1Char('.') + quoteIdentifier(table);
}

bool existe(const QString &chemin)
{
    struct stat etat {};
    return ::lstat(QFile::encodeName(chemin).constData(), &etat) == 0;
}

// Renames without ever replacing what has the new name.
bool renommeSansRemplacer(const QString &de, const QString &vers)
{
    const QByteArray a = QFile::encodeName(de), b = QFile::encodeName(vers);
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: the caller holds the lending lock.
    if (existe(vers)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(a.constData(), b.constData()) == 0;
}

// The folder's lending lock as a kiosk takes it, loans that dead kiosks left
// under way settled first.
class ContexteMigration : public ContextePrets
{
public:
    ContexteMigration(QString base, LockWait attente) : m_base(std::move(base)), m_attente(std::move(attente)) {}
    const QString &CheminBase() const override { return m_base; }
    LockWait attenteVerrou() override { return m_attente; }
    void GestionErreur(const AppError &) override {}
    bool programEnded() const override { return false; }

private:
    QString m_base;
    LockWait m_attente;
};

DurableFile::FileLock verrouDuDossier(const QString &base, const LockWait &attente)
{
    ContexteMigration contexte(base, attente);
    DurableFile::FileLock verrou = verrouPrets(contexte);
    // One that could not be settled names a row of LUMA.MDB: the file must
    // stay until a kiosk has reported it.
    const QString enCours = base + QStringLiteral("\\EN-COURS");
    if (isFolder(enCours) && !filesWithExtension(enCours, QStringLiteral(".PRET")).isEmpty())
        throw AppError(ErrorNumber::InvalidOperation,
                       QStringLiteral("Un prêt inachevé attend dans le dossier « %1 » : démarrez un kiosque pour qu'il "
                                      "le signale et le règle, puis recommencez. Rien n'a été copié.")
                           .arg(natif(nativePath(enCours))));
    return verrou;
}

// --- Towards the server ------------------------------------------------------

struct Source
{
    Fichier fichier;
    QString chemin;
    std::shared_ptr<Database> base;
    FichierMigre resultat;
};

[[noreturn]] void refuseNom(const QString &fichier, const QString &quoi, const QString &nom, const QString &raison)
{
    throw AppError(ErrorNumber::InvalidArgument,
                   QStringLiteral("« %1 » ne peut pas être copié sur le serveur : %2 « %3 » %4. Rien n'a été écrit.")
                       .arg(natif(fichier), quoi, nom, raison));
}

void verifieNoms(const QString &fichier, const Schema &schema)
{
    for (const SchemaTable &table : schema.tables) {
        if (table.name.toUtf8().size() > kNomMax || table.name.isEmpty())
            refuseNom(fichier, QStringLiteral("la table"), table.name,
                      QStringLiteral("a un nom vide ou de plus de %1 octets").arg(kNomMax));
        for (const QString &colonne : table.columns) {
            if (sameName(colonne, kColonneCle))
                refuseNom(fichier, QStringLiteral("la colonne"), table.name + QLatin1Char('.') + colonne,
                          QStringLiteral("porte le nom que le serveur réserve à la clé de chaque ligne ; renommez-la "
                                         "d'abord"));
            if (colonne.toUtf8().size() > kNomMax || colonne.isEmpty())
                refuseNom(fichier, QStringLiteral("la colonne"), table.name + QLatin1Char('.') + colonne,
                          QStringLiteral("a un nom vide ou de plus de %1 octets").arg(kNomMax));
        }
    }
}

// The tables of the files that the server already has, under any case;
// dropped when asked, refused otherwise.
void tablesDejaLa(PgConnexion &connexion, const QList<Source> &sources, bool remplacer)
{
    const PgConnexion::Lignes presentes = connexion.execute(
        QStringLiteral("SELECT n.nspname, c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                       "WHERE n.nspname IN ('luma', 'cotation', 'membres', 'ecole') "
                       "AND c.relkind IN ('r', 'p', 'v', 'm', 'f') ORDER BY 1, 2"));
    QStringList trouvees;
    for (const QStringList &presente : presentes) {
        for (const Source &source : sources) {
            if (source.fichier.schema != presente[0])
                continue;
            if (source.base->schema().findTable(presente[1])) {
                trouvees << nomQualifie(presente[0], presente[1]);
                break;
            }
        }
    }
    if (trouvees.isEmpty())
        return;
    if (!remplacer)
        throw AppError(ErrorNumber::FileAlreadyExists,
                       QStringLiteral("Le serveur PostgreSQL a déjà %1 : rien n'a été écrit. Pour les remplacer par "
                                      "celles des fichiers, relancez la copie en demandant de les remplacer (luma-import "
                                      "--remplacer).")
                           .arg(trouvees.size() > 1 ? QStringLiteral("les tables ") + trouvees.join(QStringLiteral(", "))
                                                    : QStringLiteral("la table ") + trouvees[0]));
    for (const QString &table : trouvees)
        connexion.executeScript(QStringLiteral("DROP TABLE ") + table);
}

// A column as the program reads it; an empty text stays a text.
QString valeur(sqlite3_stmt *requete, int colonne)
{
    if (sqlite3_column_type(requete, colonne) == SQLITE_NULL)
        return {};
    const QString texte = rowvalues::columnText(requete, colonne);
    return texte.isNull() ? QStringLiteral("") : texte;
}

qint64 compte(Database &base, const QString &table)
{
    SqliteStatement requete(base.handle(), QStringLiteral("SELECT count(*) FROM ") + quoteIdentifier(table));
    requete.throwIfNotPrepared();
    const int rc = requete.step();
    if (rc != SQLITE_ROW)
        throwSqliteError(base.handle(), rc);
    return sqlite3_column_int64(requete.get(), 0);
}

void copieTable(PgConnexion &connexion, Source &source, const SchemaTable &table, const OptionsMigration &options)
{
    QStringList colonnes, definitions{kColonneCle + QStringLiteral(" bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY")};
    for (const QString &colonne : table.columns) {
        colonnes << quoteIdentifier(colonne);
        definitions << quoteIdentifier(colonne) + QStringLiteral(" text COLLATE luma.jet");
    }
    const QString cible = nomQualifie(source.fichier.schema, table.name);
    connexion.executeScript(QStringLiteral("CREATE TABLE %1 (%2)").arg(cible, definitions.join(QStringLiteral(", "))));

    ProgressionCopie progression{source.chemin, table.name, 0, compte(*source.base, table.name), false};
    const auto signale = [&] {
        if (options.progression)
            options.progression(progression);
    };
    signale();
    SqliteStatement lecture(source.base->handle(), QStringLiteral("SELECT %1 FROM %2")
                                                       .arg(colonnes.join(QStringLiteral(", ")), quoteIdentifier(table.name)));
    lecture.throwIfNotPrepared();
    const int n = int(table.columns.size());
    connexion.copieVersServeur(
        QStringLiteral("COPY %1 (%2) FROM STDIN").arg(cible, colonnes.join(QStringLiteral(", "))),
        [&](QStringList &ligne) {
            const int rc = lecture.step();
            if (rc == SQLITE_DONE)
                return false;
            if (rc != SQLITE_ROW)
                throwSqliteError(source.base->handle(), rc);
            for (int c = 0; c < n; ++c)
                ligne << valeur(lecture.get(), c);
            if (++progression.lignes % kPasProgression == 0)
                signale();
            return true;
        });
    progression.finie = true;
    signale();
    source.resultat.tables += 1;
    source.resultat.lignes += progression.lignes;
}

// The file and its journals into AVANT-POSTGRESQL beside it, under the first
// free name; returns where it is now.
QString range(const QString &chemin)
{
    const QFileInfo info(chemin);
    const QString dossier = nativePath(info.absolutePath() + QLatin1Char('/') + kArchive);
    DurableFile::makeFolder(dossier);
    for (int n = 1;; ++n) {
        const QString nom = n == 1 ? info.fileName()
                                   : QStringLiteral("%1-%2.%3").arg(info.completeBaseName()).arg(n).arg(info.suffix());
        const QString cible = dossier + QLatin1Char('/') + nom;
        if (!renommeSansRemplacer(chemin, cible)) {
            if (errno == EEXIST)
                continue;
            DurableFile::throwFileError(errno, natif(chemin));
        }
        for (const QString &journal : kJournaux) {
            if (existe(chemin + journal) && !renommeSansRemplacer(chemin + journal, cible + journal))
                DurableFile::throwFileError(errno, natif(chemin + journal));
        }
        DurableFile::syncFolder(dossier);
        DurableFile::syncFolder(info.absolutePath());
        return cible;
    }
}

void verifieEcriture(const QString &dossier)
{
    if (::access(QFile::encodeName(dossier).constData(), W_OK | X_OK) != 0)
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("Le dossier « %1 » n'est pas accessible en écriture : rien n'a été copié.")
                           .arg(natif(dossier)));
}

QString cheminBaseIni(const QString &base)
{
    const QString present = presentFilePath(base + QStringLiteral("\\BASE.INI"));
    return present.isEmpty() ? nativePath(base) + QStringLiteral("/BASE.INI") : present;
}

} // namespace

ServeurPostgresql serveurParDefaut(const QString &dossierBase)
{
    if (const std::optional<ServeurPostgresql> serveur = lisBaseIni(dossierBase))
        return *serveur;
    return {QStringLiteral("luma"), QString()};
}

ResultatMigration versPostgresql(const QString &dossierBase, const ServeurPostgresql &serveur,
                                 const OptionsMigration &options)
{
    // The school folder is found beside the data folder's full path.
    const DossiersLuma dossiers = trouveDossiers(QDir::cleanPath(QFileInfo(dossierBase).absoluteFilePath()));
    const QString base = nativePath(dossiers.base);
    if (!isFolder(base))
        throw AppError(ErrorNumber::PathNotFound,
                       QStringLiteral("Le dossier de données « %1 » n'existe pas.").arg(natif(dossierBase)));

    // What BASE.INI will say must read back as this server (no password, a
    // valid service name) before anything is done.
    const QString baseIni = cheminBaseIni(base);
    std::optional<ServeurPostgresql> relu;
    try {
        relu = serveurDeBaseIni(TextFile::decodeWritten(texteBaseIni(serveur)), natif(baseIni));
    } catch (const AppError &erreur) {
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("Le serveur donné ne peut pas être nommé dans BASE.INI. %1\nRien n'a été copié.")
                           .arg(erreur.description()));
    }
    if (!relu || relu->service != serveur.service || relu->conninfo != serveur.conninfo)
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("Le serveur donné ne peut pas être nommé dans « %1 » (une ligne à lui seul) : rien "
                                      "n'a été copié.")
                           .arg(natif(baseIni)));

    QList<Source> sources;
    for (const Fichier &fichier : fichiers()) {
        const QString dossier = fichier.ecole ? dossiers.ecole : base;
        const QString chemin = presentFilePath(dossier + QStringLiteral("\\") + fichier.nom);
        if (chemin.isEmpty()) {
            if (fichier.requis)
                throw AppError(ErrorNumber::FileNotFound,
                               (fichier.ecole ? QStringLiteral("Le fichier %1 est introuvable, ni dans le dossier ALTEMARE "
                                                               "voisin du dossier de données, ni dans /ALTEMARE, ni "
                                                               "dans « %2 » : rien n'a été copié.")
                                              : QStringLiteral("Le fichier %1 est introuvable dans « %2 » : rien n'a été "
                                                               "copié."))
                                   .arg(fichier.nom, natif(nativePath(dossier))));
            continue;
        }
        if (isAccessFile(chemin))
            throw AppError(ErrorNumber::AccessFormat,
                           QStringLiteral("« %1 » est encore au format Access : convertissez d'abord le dossier avec la "
                                          "commande %2, puis recommencez. Rien n'a été copié.")
                               .arg(natif(chemin), accessImportCommand(base)));
        verifieEcriture(QFileInfo(chemin).absolutePath());
        sources << Source{fichier, chemin, nullptr, {natif(chemin), fichier.schema, 0, 0, 0, {}}};
    }

    // An unreachable server stops here, before the folder is touched.
    PgConnexion connexion(serveur);
    const DurableFile::FileLock verrou = verrouDuDossier(base, options.attente);

    // Each file read in one read transaction held until it is moved: a
    // program that would write it meanwhile waits, and gives up.
    for (Source &source : sources) {
        source.base = Database::open(source.chemin, Database::Mode::ReadOnly, options.attente);
        verifieNoms(source.chemin, source.base->schema());
        char *message = nullptr;
        if (sqlite3_exec(source.base->handle(), "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr, &message)
            != SQLITE_OK) {
            sqlite3_free(message);
            throwSqliteError(source.base->handle(), sqlite3_extended_errcode(source.base->handle()));
        }
    }

    // Where a failure happened, for its message.
    QString etape = QStringLiteral("Préparation du serveur");
    try {
        PgTransaction transaction(connexion);
        installeDansTransaction(connexion);
        tablesDejaLa(connexion, sources, options.remplacer);
        for (Source &source : sources) {
            QElapsedTimer chrono;
            chrono.start();
            for (const SchemaTable &table : source.base->schema().tables) {
                etape = QStringLiteral("Copie de la table « %1 » de « %2 »").arg(table.name, natif(source.chemin));
                copieTable(connexion, source, table, options);
            }
            for (const SchemaTable &table : source.base->schema().tables)
                connexion.executeScript(QStringLiteral("ANALYZE ") + nomQualifie(source.fichier.schema, table.name));
            source.resultat.millisecondes = chrono.elapsed();
        }
        etape = QStringLiteral("Fin de la copie");
        // Again, for what follows the tables: the catalogue's indexes, the
        // change counters.
        etape = QStringLiteral("Index et compteurs des tables");
        installeDansTransaction(connexion);
        transaction.commit();
    } catch (const AppError &erreur) {
        // The refusal of tables already there says all by itself.
        if (erreur.number() == ErrorNumber::FileAlreadyExists)
            throw;
        throw AppError(erreur.number(), QStringLiteral("%1 : %2\nRien n'a été écrit, ni sur le serveur ni dans le dossier.")
                                            .arg(etape, erreur.description()));
    }

    ResultatMigration resultat;
    try {
        DurableFile::writeFileAtomically(baseIni, texteBaseIni(serveur));
        resultat.baseIni = baseIni;
    } catch (const AppError &erreur) {
        throw AppError(erreur.number(),
                       QStringLiteral("Les bases sont copiées sur le serveur, mais « %1 » n'a pas pu être écrit : %2\nLes "
                                      "fichiers .MDB restent en usage. Pour recommencer, demandez de remplacer les tables "
                                      "du serveur.")
                           .arg(natif(baseIni), erreur.description()));
    }
    for (Source &source : sources) {
        try {
            source.resultat.archive = natif(range(source.chemin));
        } catch (const AppError &erreur) {
            throw AppError(erreur.number(),
                           QStringLiteral("Les bases sont sur le serveur et « %1 » le nomme, mais « %2 » n'a pas pu être "
                                          "rangé dans %3 : %4\nDéplacez-le à la main : il n'est plus lu.")
                               .arg(natif(baseIni), natif(source.chemin), kArchive, erreur.description()));
        }
        resultat.fichiers << source.resultat;
    }
    return resultat;
}

// --- Back from the server ----------------------------------------------------

namespace {

// Where ALTEMARE.MDB goes back: the school folder it was moved out of (the
// one holding AVANT-POSTGRESQL/ALTEMARE.MDB), found as the program finds it.
QString dossierEcole(const QString &base)
{
    const QString ecole = trouveDossiers(base).ecole;
    if (ecole != base)
        return ecole;
    QString candidat = QStringLiteral("C:\\ALTEMARE");
    if (base.toUpper().endsWith(QStringLiteral("/LALUMA")))
        candidat = base.chopped(7) + QStringLiteral("\\ALTEMARE");
    if (isNormalFile(candidat + QLatin1Char('\\') + kArchive + QStringLiteral("\\ALTEMARE.MDB")))
        return nativePath(candidat);
    return base;
}

struct Cible
{
    Fichier fichier;
    QString chemin; // where the file goes
    QString temporaire;
    QList<std::pair<QString, qint64>> tables; // name, oid
};

// A new SQLite file being written, closed at the end of its scope.
class FichierSqlite
{
public:
    explicit FichierSqlite(const QString &chemin)
    {
        if (sqlite3_open_v2(QFile::encodeName(chemin).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            const int rc = m_db ? sqlite3_extended_errcode(m_db) : SQLITE_NOMEM;
            sqlite3_close(m_db);
            m_db = nullptr;
            throw AppError(ErrorNumber::CannotOpenFile,
                           QStringLiteral("« %1 » ne peut pas être écrit : %2").arg(natif(chemin), QString::fromUtf8(sqlite3_errstr(rc))));
        }
        // Made whole and renamed only once complete: no journal needed.
        execute(QStringLiteral("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN"));
    }
    ~FichierSqlite() { sqlite3_close_v2(m_db); }
    FichierSqlite(const FichierSqlite &) = delete;
    FichierSqlite &operator=(const FichierSqlite &) = delete;

    void execute(const QString &sql)
    {
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throwSqliteError(m_db, sqlite3_extended_errcode(m_db));
    }
    sqlite3 *handle() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
};

// Numbers found twice (byte for byte, as SQLite's UNIQUE compares), the first
// ten of them.
QStringList doublons(PgConnexion &connexion, const QString &table, const QString &colonne)
{
    QStringList numeros;
    for (const QStringList &ligne :
         connexion.execute(QStringLiteral("SELECT %1 COLLATE \"C\" FROM %2 WHERE %1 IS NOT NULL GROUP BY 1 "
                                          "HAVING count(*) > 1 ORDER BY 1 LIMIT 11")
                               .arg(quoteIdentifier(colonne), table)))
        numeros << ligne[0];
    return numeros;
}

void ecrisTable(PgConnexion &connexion, FichierSqlite &fichier, Cible &cible, const QString &table, qint64 oid,
                FichierMigre &resultat, ResultatMigration &migration, const OptionsMigration &options)
{
    const QStringList colonnes = [&] {
        QStringList noms;
        for (const QStringList &ligne : connexion.execute(
                 QStringLiteral("SELECT attname FROM pg_attribute WHERE attrelid = $1 AND attnum > 0 AND NOT "
                                "attisdropped AND attname <> $2 ORDER BY attnum"),
                 {QString::number(oid), kColonneCle}))
            noms << ligne[0];
        return noms;
    }();
    const QString source = nomQualifie(cible.fichier.schema, table);
    QStringList quoted, definitions;
    for (const QString &colonne : colonnes)
        quoted << quoteIdentifier(colonne);

    // The catalogue's number is unique, as the program makes the file,
    // unless the numbers already repeat.
    QString inventaire;
    if (cible.fichier.schema == QLatin1String("luma") && sameName(table, QStringLiteral("luma"))) {
        for (const QString &colonne : colonnes)
            inventaire = sameName(colonne, QStringLiteral("inventaire")) ? colonne : inventaire;
    }
    QStringList repetes;
    if (!inventaire.isEmpty())
        repetes = doublons(connexion, source, inventaire);
    for (const QString &colonne : colonnes)
        definitions << quoteIdentifier(colonne)
                           + (colonne == inventaire && repetes.isEmpty() ? QStringLiteral(" TEXT UNIQUE") : QStringLiteral(" TEXT"));
    fichier.execute(QStringLiteral("CREATE TABLE %1(%2)").arg(quoteIdentifier(table), definitions.join(QStringLiteral(", "))));
    if (!repetes.isEmpty()) {
        fichier.execute(QStringLiteral("CREATE INDEX %1 ON %2(%3)")
                            .arg(quoteIdentifier(table + QLatin1Char('_') + inventaire), quoteIdentifier(table),
                                 quoteIdentifier(inventaire)));
        if (repetes.size() > 10)
            repetes.last() = QStringLiteral("…");
        migration.avertissements << QStringLiteral("Dans « %1 », la table « %2 » a des numéros en double (%3) : son index "
                                                   "sur « %4 » n'est donc pas unique. Corrigez ces numéros.")
                                        .arg(natif(cible.chemin), table, repetes.join(QStringLiteral(", ")), inventaire);
    }

    ProgressionCopie progression{natif(cible.chemin), table, 0,
                                 connexion.execute(QStringLiteral("SELECT count(*) FROM ") + source)[0][0].toLongLong(), false};
    const auto signale = [&] {
        if (options.progression)
            options.progression(progression);
    };
    signale();
    QStringList marques;
    for (qsizetype i = 1; i <= colonnes.size(); ++i)
        marques << QStringLiteral("?%1").arg(i);
    SqliteStatement insertion(fichier.handle(), QStringLiteral("INSERT INTO %1(%2) VALUES (%3)")
                                                    .arg(quoteIdentifier(table), quoted.join(QStringLiteral(", ")),
                                                         marques.join(QStringLiteral(", "))));
    insertion.throwIfNotPrepared();
    sqlite3_stmt *requete = insertion.get();
    connexion.copieDepuisServeur(
        QStringLiteral("COPY (SELECT %1 FROM %2 ORDER BY %3) TO STDOUT")
            .arg(quoted.join(QStringLiteral(", ")), source, kColonneCle),
        [&](const QStringList &ligne) {
            sqlite3_reset(requete);
            for (int c = 0; c < ligne.size(); ++c) {
                if (ligne[c].isNull()) {
                    sqlite3_bind_null(requete, c + 1);
                } else {
                    const QByteArray utf8 = ligne[c].toUtf8();
                    sqlite3_bind_text(requete, c + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
                }
            }
            if (sqlite3_step(requete) != SQLITE_DONE)
                throwSqliteError(fichier.handle(), sqlite3_extended_errcode(fichier.handle()));
            if (++progression.lignes % kPasProgression == 0)
                signale();
        });
    progression.finie = true;
    signale();
    resultat.tables += 1;
    resultat.lignes += progression.lignes;
}

// A new file takes the group and permissions of the one put away in its
// place (every kiosk account must write the catalogue), else those of any
// new file.
void donneLesDroits(const QString &temporaire, const QString &cible)
{
    const QFileInfo info(cible);
    const QString ancien = presentFilePath(info.absolutePath() + QLatin1Char('\\') + kArchive + QLatin1Char('\\') + info.fileName());
    struct stat etat {};
    if (!ancien.isEmpty() && ::stat(QFile::encodeName(ancien).constData(), &etat) == 0 && takeOwnershipOf(temporaire, etat))
        return;
    const mode_t masque = ::umask(0);
    ::umask(masque);
    ::chmod(QFile::encodeName(temporaire).constData(), 0666 & ~masque);
}

// Temporary files removed, unless they took their names.
struct Temporaires
{
    QStringList chemins;
    ~Temporaires()
    {
        for (const QString &chemin : chemins)
            QFile::remove(chemin);
    }
};

} // namespace

ResultatMigration versSqlite(const QString &dossierBase, const OptionsMigration &options)
{
    const QString base = nativePath(trouveDossiers(QDir::cleanPath(QFileInfo(dossierBase).absoluteFilePath())).base);
    const std::optional<ServeurPostgresql> serveur = lisBaseIni(base);
    if (!serveur)
        throw AppError(ErrorNumber::FileNotFound,
                       QStringLiteral("Le dossier « %1 » n'a pas de fichier BASE.INI qui nomme un serveur PostgreSQL : ses "
                                      "bases sont déjà des fichiers .MDB.")
                           .arg(natif(dossierBase)));
    const QString baseIni = cheminBaseIni(base);
    const QString ecole = dossierEcole(base);

    PgConnexion connexion(*serveur);
    // Loans are not made on the server while it is read (the kiosks of the
    // folder take this lock for each one).
    const QString enCours = nativePath(base + QStringLiteral("\\EN-COURS"));
    DurableFile::makeFolder(enCours);
    const DurableFile::FileLock verrou = DurableFile::FileLock::take(enCours + QStringLiteral("/PRETS.LCK"), options.attente);

    PgTransaction transaction(connexion);
    connexion.executeScript(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"));
    // The tables the import made: an identity column luma_cle.
    const PgConnexion::Lignes tables = connexion.execute(
        QStringLiteral("SELECT n.nspname, c.relname, c.oid FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                       "WHERE n.nspname IN ('luma', 'cotation', 'membres', 'ecole') AND c.relkind IN ('r', 'p') "
                       "AND EXISTS (SELECT 1 FROM pg_attribute a WHERE a.attrelid = c.oid AND a.attname = $1 "
                       "AND a.attidentity <> '') ORDER BY c.oid"),
        {kColonneCle});

    QList<Cible> cibles;
    for (const Fichier &fichier : fichiers()) {
        Cible cible{fichier, (fichier.ecole ? ecole : base) + QLatin1Char('/') + fichier.nom, {}, {}};
        for (const QStringList &table : tables) {
            if (table[0] == fichier.schema)
                cible.tables.append({table[1], table[2].toLongLong()});
        }
        if (cible.tables.isEmpty()) {
            if (fichier.requis)
                throw AppError(ErrorNumber::TableNotFound,
                               QStringLiteral("Le serveur n'a aucune table de %1 (schéma %2) : rien n'a été écrit.")
                                   .arg(fichier.nom, fichier.schema));
            continue;
        }
        // A journal left beside the name would be played into the new file.
        QString deja = presentFilePath(cible.chemin);
        for (const QString &journal : {QStringLiteral("-journal"), QStringLiteral("-wal")})
            deja = deja.isEmpty() ? presentFilePath(cible.chemin + journal) : deja;
        if (!deja.isEmpty())
            throw AppError(ErrorNumber::FileAlreadyExists,
                           QStringLiteral("« %1 » existe déjà : rien n'a été écrit. Rangez-le ailleurs, puis recommencez.")
                               .arg(natif(deja)));
        cibles << cible;
    }

    ResultatMigration resultat;
    Temporaires temporaires;
    for (Cible &cible : cibles) {
        QElapsedTimer chrono;
        chrono.start();
        {
            QTemporaryFile temporaire(cible.chemin + QStringLiteral(".copie-XXXXXX"));
            temporaire.setAutoRemove(false);
            if (!temporaire.open())
                throw AppError(ErrorNumber::PermissionDenied,
                               QStringLiteral("Impossible d'écrire dans le dossier « %1 » : %2")
                                   .arg(natif(QFileInfo(cible.chemin).absolutePath()), temporaire.errorString()));
            cible.temporaire = temporaire.fileName();
            temporaires.chemins << cible.temporaire;
        }
        FichierMigre migre{natif(cible.chemin), cible.fichier.schema, 0, 0, 0, {}};
        {
            FichierSqlite fichier(cible.temporaire);
            for (const auto &[table, oid] : cible.tables)
                ecrisTable(connexion, fichier, cible, table, oid, migre, resultat, options);
            fichier.execute(QStringLiteral("COMMIT"));
        }
        donneLesDroits(cible.temporaire, cible.chemin);
        DurableFile::flushToDisk(cible.temporaire);
        migre.millisecondes = chrono.elapsed();
        resultat.fichiers << migre;
    }

    // All written: each takes its name; should one fail, those already in
    // place go again (the server still has everything).
    QStringList places;
    for (const Cible &cible : cibles) {
        if (!renommeSansRemplacer(cible.temporaire, cible.chemin)) {
            const int erreur = errno;
            for (const QString &place : places)
                QFile::remove(place);
            DurableFile::throwFileError(erreur, natif(cible.chemin));
        }
        places << cible.chemin;
        temporaires.chemins.removeOne(cible.temporaire);
        DurableFile::syncFolder(QFileInfo(cible.chemin).absolutePath());
    }

    const QString ancien = baseIni + QStringLiteral(".ANCIEN");
    if (::rename(QFile::encodeName(baseIni).constData(), QFile::encodeName(ancien).constData()) != 0)
        throw AppError(ErrorNumber::PermissionDenied,
                       QStringLiteral("Les fichiers .MDB sont écrits, mais « %1 » n'a pas pu être renommé : renommez-le "
                                      "à la main, sans quoi le serveur reste en usage.")
                           .arg(natif(baseIni)));
    DurableFile::syncFolder(base);
    resultat.baseIni = natif(ancien);
    return resultat;
}
