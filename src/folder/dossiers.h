#pragma once

#include <QString>

class FolderListings;

// The data folder and the school folder the program works in, found from the
// folder it is started in: the school folder is a sibling ALTEMARE of a data
// folder named LALUMA, else the fixed C:\ALTEMARE, else the data folder
// itself (wherever ALTEMARE.MDB is not; a folder whose BASE.INI puts the
// databases on a server needs only the sibling folder). Native paths, no
// trailing separator.
struct DossiersLuma
{
    QString base;
    QString ecole;
};
DossiersLuma trouveDossiers(const QString &dossierDeDepart);

// The picture files of the data folders, as native paths, each empty when
// nothing is there or its name could lead outside the folder (what is there
// may still be no picture: Picture::fromFile checks): a child's
// photograph (matricule + .BMP in the school folder), a class picture
// (CLASSE01.BMP for class 1) and a document's cover (LIVRES\ + number + .BMP
// in the data folder). Listings serve many lookups (paths.h).
QString fichierPhotoEnfant(const QString &cheminEcole, const QString &matricule, FolderListings *listings = nullptr);
QString fichierImageClasse(const QString &cheminEcole, int numero, FolderListings *listings = nullptr);
QString fichierCouverture(const QString &cheminBase, const QString &inventaire, FolderListings *listings = nullptr);
