#pragma once

#include <QList>
#include <QString>

// A class sheet to print: the class and its teacher as a title, then every
// child's photograph with the first name and the surname under it, in the
// order the kiosk shows them, so that a teacher sees at a glance a missing
// or wrong photograph.

struct EnfantFiche
{
    QString matricule; // names the photograph, <matricule>.BMP in the school folder
    QString prenom;
    QString nom;
};

struct ClasseFiche
{
    int numero = 0;
    QString instituteur;
    QList<EnfantFiche> enfants;
};

// The children in the kiosk's order: by surname, then first name, in the
// database's French text order (case ignored).
QList<EnfantFiche> enfantsDansLOrdre(QList<EnfantFiche> enfants);

// How many children one page of the sheet holds.
int enfantsParPageFiche();

// Writes the class sheet to an A4 PDF that replaces `fichier` whole or not
// at all; photographs are looked for in the school folder `dossierEcole`
// (native path). Throws AppError with a French description when the file
// cannot be written.
void ecrisFicheDeClasse(const QString &fichier, const ClasseFiche &classe, const QString &dossierEcole);
