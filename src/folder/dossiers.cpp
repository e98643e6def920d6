#include "folder/dossiers.h"

#include "platform/paths.h"

DossiersLuma trouveDossiers(const QString &dossierDeDepart)
{
    QString base = dossierDeDepart;
    if (base.endsWith(QLatin1Char('/')) || base.endsWith(QLatin1Char('\\')))
        base = base.chopped(1).trimmed();
    // A folder whose databases are on its server (BASE.INI) keeps only the
    // pictures in its school folder.
    return {base, schoolFolder(base, isNormalFile(base + QStringLiteral("\\BASE.INI")))};
}

QString fichierPhotoEnfant(const QString &cheminEcole, const QString &matricule, FolderListings *listings)
{
    if (!isSafeFileName(matricule))
        return {};
    return presentFilePath(cheminEcole + QStringLiteral("\\") + matricule + QStringLiteral(".BMP"), listings);
}

QString fichierImageClasse(const QString &cheminEcole, int numero, FolderListings *listings)
{
    if (numero < 0)
        return {};
    return presentFilePath(cheminEcole + QStringLiteral("\\CLASSE%1.BMP").arg(numero, 2, 10, QLatin1Char('0')),
                          listings);
}

QString fichierCouverture(const QString &cheminBase, const QString &inventaire, FolderListings *listings)
{
    if (!isSafeFileName(inventaire))
        return {};
    return presentFilePath(cheminBase + QStringLiteral("\\LIVRES\\") + inventaire + QStringLiteral(".BMP"), listings);
}
