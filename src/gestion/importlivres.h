#pragma once

#include "platform/lockwait.h"

class BaseServeur;

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class Database;

// Books added to the catalogue (table luma of LUMA.MDB) from a spreadsheet
// saved as CSV: first read and checked for a preview, then written together.

// A book of the file, ready to join the catalogue.
struct LivreImporte
{
    int ligne = 0;               // its row in the spreadsheet, the header being row 1
    QString inventaire;          // five digits
    bool numeroAttribue = false; // the file left it empty: the next free number
    QString titre;
    QString editeur;
    QString dewey;
    QString motsCles;
    bool pretable = true;
};

// A row of the file that will not be added, and why (in French).
struct LigneRefusee
{
    int ligne = 0;
    QString raison;
};

struct LectureLivres
{
    QList<LivreImporte> livres;
    QList<LigneRefusee> refus;
    // Header cells that name no column of the catalogue, as the file writes
    // them (cut when long).
    QStringList colonnesIgnorees;
    QChar separateur;
    bool windows1252 = false; // the bytes were not UTF-8
};

struct AjoutLivres
{
    int ajoutes = 0;
    // Numbers that another program gave meanwhile: then nothing was written.
    QStringList dejaPris;
};

namespace ImportLivres {

// A spreadsheet of every book of a school fits many times over.
inline constexpr qint64 kTailleMax = 16 * 1024 * 1024;
inline constexpr int kNumeroMax = 99999;
// The longest text a field of the catalogue takes from the file.
inline constexpr qsizetype kLongueurMax = 255;

// The numbers the catalogue holds (its texts of digits only, blanks aside).
// Throws AppError when the file has no table luma.
QSet<int> numerosDuCatalogue(Database &catalogue);

// Reads a CSV file's bytes and checks each row against the numbers taken.
// A file that cannot be read as a list of books (empty, no title column, too
// many rows) throws AppError with a French description; a bad row is only
// refused.
LectureLivres analyse(const QByteArray &contenu, const QSet<int> &numerosPris);

// The same for a file on disk (native path), against the catalogue's numbers.
LectureLivres lit(const QString &cheminFichier, Database &catalogue);

// Adds the books in one transaction under the write lock. Their numbers are
// looked for again there: when another program gave one of them since the
// reading, nothing is written and they are returned. Any other failure
// (lock held too long, disk full...) throws AppError, nothing written.
AjoutLivres ajoute(Database &catalogue, const QList<LivreImporte> &livres);

// The same on the data folder's server: the catalogue's write lock is the
// server's advisory lock for it, waited for as `attente` says.
QSet<int> numerosDuCatalogue(BaseServeur &serveur);
LectureLivres lit(const QString &cheminFichier, BaseServeur &serveur);
AjoutLivres ajoute(BaseServeur &serveur, const QList<LivreImporte> &livres, const LockWait &attente);

} // namespace ImportLivres
