#include "gestion/etatdossier.h"

#include "data/database.h"
#include "folder/baseini.h"
#include "folder/dossiers.h"
#include "platform/apperror.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

QString natif(const QString &chemin)
{
    return QDir::toNativeSeparators(chemin);
}

bool estSqlite(const QString &chemin)
{
    QFile fichier(chemin);
    return fichier.open(QIODevice::ReadOnly) && fichier.read(16) == QByteArray("SQLite format 3\0", 16);
}

} // namespace

EtatDossier etatDossier(const QString &dossier)
{
    EtatDossier etat;
    etat.dossier = dossier;
    const QFileInfo info(dossier);
    if (!info.exists() && !info.isSymLink()) {
        etat.genre = EtatDossier::Genre::Absent;
        return etat;
    }
    if (!info.isDir()) {
        etat.genre = EtatDossier::Genre::Autre;
        etat.message = QStringLiteral("« %1 » n'est pas un dossier.").arg(natif(dossier));
        return etat;
    }
    if (!info.isReadable() || !info.isExecutable()) {
        etat.genre = EtatDossier::Genre::Autre;
        etat.message = QStringLiteral("Le dossier « %1 » ne peut pas être lu.").arg(natif(dossier));
        return etat;
    }
    // Hidden names (a file manager's .directory) leave a folder empty: a
    // new library overwrites nothing anyway.
    if (QDir(dossier).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        etat.genre = EtatDossier::Genre::Vide;
        return etat;
    }

    const DossiersLuma dossiers = trouveDossiers(dossier);
    etat.ecole = dossiers.ecole;
    // The server named by BASE.INI keeps the databases, whatever files
    // were left in the folder.
    try {
        etat.serveur = lisBaseIni(dossiers.base).has_value();
    } catch (const AppError &erreur) {
        etat.genre = EtatDossier::Genre::Autre;
        etat.message = erreur.description();
        return etat;
    }
    if (etat.serveur) {
        etat.genre = EtatDossier::Genre::Bibliotheque;
        return etat;
    }
    const QString catalogue = presentFilePath(dossiers.base + QStringLiteral("\\LUMA.MDB"));
    QStringList enAccess;
    for (const QString &fichier : {dossiers.ecole + QStringLiteral("\\ALTEMARE.MDB"),
                                   dossiers.base + QStringLiteral("\\LUMA.MDB"),
                                   dossiers.base + QStringLiteral("\\COTATION.MDB"),
                                   dossiers.base + QStringLiteral("\\MEMBRES.MDB")}) {
        const QString chemin = normalFilePath(fichier);
        if (!chemin.isEmpty() && isAccessFile(chemin))
            enAccess << natif(chemin);
    }
    if (!enAccess.isEmpty()) {
        etat.genre = EtatDossier::Genre::Access;
        etat.message = enAccess.join(QLatin1Char('\n'));
        return etat;
    }
    if (!catalogue.isEmpty() && QFileInfo(catalogue).isFile() && estSqlite(catalogue)) {
        etat.genre = EtatDossier::Genre::Bibliotheque;
        return etat;
    }
    etat.genre = EtatDossier::Genre::Autre;
    etat.message = catalogue.isEmpty()
                       ? QStringLiteral("Le dossier « %1 » n'est pas une bibliothèque de La LUMA : il ne contient "
                                        "pas de catalogue LUMA.MDB, et il n'est pas vide.")
                             .arg(natif(dossier))
                       : QStringLiteral("« %1 » n'est pas une base de données de La LUMA : ce fichier est "
                                        "illisible ou d'un autre programme.")
                             .arg(natif(catalogue));
    return etat;
}
