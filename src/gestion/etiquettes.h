#pragma once

#include <QList>
#include <QRectF>
#include <QString>

#include <vector>

// Number labels for the books: the children read the number on a book and
// type it on the kiosk's number pad, so each label carries the number in
// large digits, the book's cover beside it when the data folder has one, and
// the title small. The labels are printed on A4 sheets of self-adhesive
// labels, whose geometry is the maker's.

// One kind of label sheet, in millimetres from the sheet's top left corner.
struct PlancheEtiquettes
{
    QString nom;          // "Avery L7160"
    int colonnes = 0;
    int lignes = 0;
    double largeur = 0;   // one label
    double hauteur = 0;
    double margeGauche = 0; // to the first label's left edge
    double margeHaut = 0;   // to the first label's top edge
    double pasHorizontal = 0; // from one label's left edge to the next one's
    double pasVertical = 0;

    int parPage() const { return colonnes * lignes; }
    // The label at a position of the sheet, 0 top left, then along the rows.
    QRectF rectangle(int position) const;
    // "Avery L7160 – 21 étiquettes (3 × 7) de 63,5 × 38,1 mm"
    QString libelle() const;
};

// The common A4 sheets, the most usual first.
const std::vector<PlancheEtiquettes> &planchesEtiquettes();

struct LivreEtiquette
{
    QString inventaire; // as the catalogue holds it, "00042"
    QString titre;
};

// Where the label of the book at `index` of the list falls when the first
// sheet's labels before `premierePosition` (from 1) are already used.
struct PlaceEtiquette
{
    int page = 0;     // from 0
    int position = 0; // on that page, from 0
};
PlaceEtiquette placeEtiquette(const PlancheEtiquettes &planche, int premierePosition, int index);
int nombrePagesEtiquettes(const PlancheEtiquettes &planche, int premierePosition, int nombreLivres);

// Writes the labels of the books, in their order, to an A4 PDF that replaces
// `fichier` whole or not at all. Covers are looked for in the data folder
// `dossierBase` (native path; empty: no covers). Throws AppError with a
// French description: no book, a first position outside the sheet, a file
// that cannot be written.
void ecrisEtiquettes(const QString &fichier, const PlancheEtiquettes &planche, int premierePosition,
                     const QList<LivreEtiquette> &livres, const QString &dossierBase);
