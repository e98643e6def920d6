#include "gestion/nouvellebibliotheque.h"

#include "data/database.h"
#include "platform/apperror.h"
#include "platform/durablefile.h"
#include "platform/paths.h"
#include "platform/sharedaccess.h"
#include "platform/sonsboutons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The tables, exactly those of the Windows program's files.
const char *const kSqlEcole = "CREATE TABLE enfants(matricule TEXT, nomenfant TEXT, prénomenfant TEXT, "
                              "classe TEXT, niveau TEXT);"
                              "CREATE TABLE équipe(équipenuméro TEXT, équipeinstituteur TEXT);";
const char *const kSqlCatalogue = "CREATE TABLE luma(inventaire TEXT UNIQUE, titre TEXT, éditeur TEXT, dewey TEXT, "
                                  "motsclés TEXT, emprunt TEXT, emprunté TEXT, emprunteur TEXT, "
                                  "catégorieemprunteur TEXT, dateemprunt TEXT, cumul TEXT);";
// With a first list of subject words, which the kiosk's word list shows
// from the first day (with none, the kiosk says so at every start).
const char *const kSqlCotation =
    "CREATE TABLE [luma+](descripteur TEXT);"
    "INSERT INTO [luma+] VALUES ('alphabet'), ('amitié'), ('animaux'), ('chiffres'), ('comptines'), "
    "('contes'), ('corps'), ('couleurs'), ('cuisine'), ('dinosaures'), ('école'), ('émotions'), ('espace'), "
    "('famille'), ('ferme'), ('formes'), ('forêt'), ('hiver'), ('imagier'), ('jardin'), ('mer'), ('métiers'), "
    "('musique'), ('nature'), ('nuit'), ('oiseaux'), ('pirates'), ('saisons'), ('sport'), ('transports');";
// No table, but a real database file with its header: a table made and
// dropped leaves the file's first page written.
const char *const kSqlMembres = "CREATE TABLE vide(x); DROP TABLE vide;";

QString natif(const QString &chemin)
{
    return QDir::toNativeSeparators(chemin);
}

QByteArray encode(const QString &chemin)
{
    return QFile::encodeName(chemin);
}

bool existe(const QString &chemin)
{
    struct stat etat {};
    return ::lstat(encode(chemin).constData(), &etat) == 0;
}

// Renames without ever replacing what has the new name; false with errno
// EEXIST when the name is taken.
bool renommeSansRemplacer(const QString &de, const QString &vers)
{
    if (::renameat2(AT_FDCWD, encode(de).constData(), AT_FDCWD, encode(vers).constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag (some network shares): a hard link
    // fails on a taken name too.
    if (::link(encode(de).constData(), encode(vers).constData()) == 0) {
        ::unlink(encode(de).constData());
        return true;
    }
    if (errno == EEXIST)
        return false;
    if (existe(vers)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(encode(de).constData(), encode(vers).constData()) == 0;
}

class Creation
{
public:
    Creation(ResultatCreation &resultat, const OptionsCreation &options) : m_resultat(resultat), m_options(options) {}

    ~Creation()
    {
        if (!m_temporaire.isEmpty())
            ::unlink(encode(m_temporaire).constData());
    }

    // Removes what this creation made, the last first.
    void defait()
    {
        for (auto chemin = m_resultat.crees.crbegin(); chemin != m_resultat.crees.crend(); ++chemin) {
            if (QFileInfo(*chemin).isDir())
                QDir().rmdir(*chemin);
            else
                QFile::remove(*chemin);
        }
        m_resultat.crees.clear();
    }

    void dossier(const QString &chemin)
    {
        if (existe(chemin)) {
            // A link to a folder is fine (~/LALUMA often is one).
            if (!QFileInfo(chemin).isDir())
                throw AppError(ErrorNumber::PathNotFound,
                               QStringLiteral("« %1 » existe mais n'est pas un dossier.").arg(natif(chemin)));
            return;
        }
        etape();
        DurableFile::makeFolder(chemin);
        m_resultat.crees << chemin;
    }

    void base(const QString &chemin, const char *sql)
    {
        if (existe(chemin)) {
            m_resultat.gardes << chemin;
            return;
        }
        etape();
        const QString temporaire = nouveauTemporaire(chemin);
        sqlite3 *db = nullptr;
        int rc = sqlite3_open_v2(encode(temporaire).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        char *message = nullptr;
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(db, (QByteArray("BEGIN;") + sql + "COMMIT;").constData(), nullptr, nullptr, &message);
        const QString erreur = QString::fromUtf8(message ? message : (db ? sqlite3_errmsg(db) : ""));
        sqlite3_free(message);
        if (sqlite3_close(db) != SQLITE_OK && rc == SQLITE_OK)
            rc = SQLITE_ERROR;
        if (rc != SQLITE_OK)
            throw AppError(rc == SQLITE_FULL ? ErrorNumber::DiskFull : ErrorNumber::PermissionDenied,
                           QStringLiteral("La base « %1 » n'a pas pu être écrite : %2").arg(natif(chemin), erreur));
        nomme(chemin);
    }

    void copie(const QString &source, const QString &chemin)
    {
        if (existe(chemin)) {
            m_resultat.gardes << chemin;
            return;
        }
        QFile entree(source);
        if (!entree.open(QIODevice::ReadOnly)) {
            m_resultat.sonsManquants << QFileInfo(chemin).fileName();
            return;
        }
        const QByteArray octets = entree.readAll();
        etape();
        const QString temporaire = nouveauTemporaire(chemin);
        QFile sortie(temporaire);
        if (!sortie.open(QIODevice::WriteOnly) || sortie.write(octets) != octets.size() || !sortie.flush())
            DurableFile::throwFileError(ENOSPC, chemin);
        sortie.close();
        nomme(chemin);
    }

private:
    void etape()
    {
        if (m_options.avantEtape)
            m_options.avantEtape(m_etape);
        ++m_etape;
    }

    // An empty file beside `chemin`, shared as the data folder is.
    QString nouveauTemporaire(const QString &chemin)
    {
        for (int essai = 0;; ++essai) {
            const QString nom = chemin + QStringLiteral(".creation-%1").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                                             QLatin1Char('0'));
            const int fd = ::open(encode(nom).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd >= 0) {
                SharedAccess::apply(fd, false, SharedAccess::forNewIn(QFileInfo(chemin).absolutePath()));
                ::close(fd);
                m_temporaire = nom;
                return nom;
            }
            if (errno != EEXIST || essai > 100)
                DurableFile::throwFileError(errno, chemin);
        }
    }

    // The complete temporary file takes its name, if still free.
    void nomme(const QString &chemin)
    {
        DurableFile::flushToDisk(m_temporaire);
        if (!renommeSansRemplacer(m_temporaire, chemin)) {
            const int erreur = errno;
            ::unlink(encode(m_temporaire).constData());
            m_temporaire.clear();
            if (erreur != EEXIST)
                DurableFile::throwFileError(erreur, chemin);
            // Made meanwhile by another program: theirs is kept.
            m_resultat.gardes << chemin;
            return;
        }
        m_temporaire.clear();
        m_resultat.crees << chemin;
        DurableFile::syncFolder(QFileInfo(chemin).absolutePath());
    }

    ResultatCreation &m_resultat;
    const OptionsCreation &m_options;
    QString m_temporaire;
    int m_etape = 0;
};

// The school folder for a new library: one the kiosk already finds (with
// its ALTEMARE.MDB), else ALTEMARE beside a data folder named LALUMA, else
// the data folder itself, as the kiosk would look for it.
QString dossierEcole(const QString &base)
{
    const QString trouve = schoolFolder(base);
    if (trouve != base)
        return trouve;
    if (QFileInfo(base).fileName().compare(QStringLiteral("LALUMA"), Qt::CaseInsensitive) == 0)
        return nativePath(QFileInfo(base).absolutePath() + QStringLiteral("/ALTEMARE"));
    return base;
}

} // namespace

QString ResultatCreation::compteRendu() const
{
    QStringList lignes{QStringLiteral("La bibliothèque de « %1 » est prête.").arg(natif(dossier))};
    if (!gardes.isEmpty()) {
        QStringList noms;
        for (const QString &chemin : gardes)
            noms << natif(chemin);
        lignes << QStringLiteral("Déjà là, gardé tel quel :\n%1").arg(noms.join(QLatin1Char('\n')));
    }
    if (!sonsManquants.isEmpty())
        lignes << QStringLiteral("Les sons des boutons (%1) n'ont pas été trouvés : les boutons du kiosque resteront "
                                 "muets tant qu'ils ne seront pas copiés dans le dossier SONS.")
                      .arg(sonsManquants.join(QStringLiteral(", ")));
    lignes << QStringLiteral("Ajoutez maintenant au moins une classe et un enfant : le kiosque ne démarre pas sans "
                             "eux.");
    return lignes.join(QStringLiteral("\n\n"));
}

ResultatCreation creeBibliotheque(const QString &dossierDonnees, const OptionsCreation &options)
{
    ResultatCreation resultat;
    QString base = QDir::cleanPath(QFileInfo(dossierDonnees).absoluteFilePath());
    resultat.dossier = base;
    const QString parent = QFileInfo(base).absolutePath();
    if (!QFileInfo(parent).isDir())
        throw AppError(ErrorNumber::PathNotFound,
                       QStringLiteral("La bibliothèque n'a pas pu être créée : le dossier « %1 » n'existe pas.")
                           .arg(natif(parent)));

    Creation creation(resultat, options);
    try {
        creation.dossier(base);
        resultat.ecole = dossierEcole(base);
        const auto dans = [](const QString &dossier, const QString &nom) {
            return nativePath(dossier + QLatin1Char('/') + nom);
        };
        creation.base(dans(base, QStringLiteral("LUMA.MDB")), kSqlCatalogue);
        creation.base(dans(base, QStringLiteral("COTATION.MDB")), kSqlCotation);
        creation.base(dans(base, QStringLiteral("MEMBRES.MDB")), kSqlMembres);
        for (const char *nom : {"SONS", "LIVRES", "IMAGES", "REQUETES"})
            creation.dossier(dans(base, QLatin1String(nom)));
        const QString sons = options.sons.isEmpty() ? dossierSonsBoutons() : options.sons;
        for (const SonBouton &son : sonsBoutons()) {
            const QString destination = dans(dans(base, QStringLiteral("SONS")), son.fichier);
            if (sons.isEmpty() && !existe(destination))
                resultat.sonsManquants << son.fichier;
            else
                creation.copie(QDir(sons).filePath(son.fichier), destination);
        }
        creation.dossier(resultat.ecole);
        creation.base(dans(resultat.ecole, QStringLiteral("ALTEMARE.MDB")), kSqlEcole);
    } catch (const AppError &erreur) {
        creation.defait();
        throw AppError(erreur.number(), QStringLiteral("La bibliothèque n'a pas pu être créée : %1\nRien n'a été "
                                                       "laissé de ce qui avait été commencé.")
                                            .arg(erreur.description()));
    } catch (...) {
        creation.defait();
        throw;
    }
    return resultat;
}

QString dossierSonsBoutons()
{
    if (QCoreApplication::instance()) {
        const QString installe =
            QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/luma-cycle1/sons"));
        if (QFileInfo(installe).isDir())
            return installe;
    }
    const QString construit = QStringLiteral(LUMA_SONS_CONSTRUITS);
    return !construit.isEmpty() && QFileInfo(construit).isDir() ? construit : QString();
}
