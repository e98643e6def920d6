#pragma once

#include "folder/dossiers.h"

#include <QDate>
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QString>

#include <optional>

// "Qui a quel livre ?": the books the children hold, read from the data
// folder exactly as the kiosk reads it (the same folders, paths, queries and
// loan dates) and never written. The report is built from this model; the PDF
// and HTML forms only lay it out.

// Long side of the pictures kept in the model: enough for a print at 300 dpi
// of the report's thumbnails, small enough for a school's 500 loans.
constexpr int kVignette = 128;

struct PretRapport
{
    QString inventaire;
    QString titre;
    QString editeur;
    QString emprunteur; // the borrower's matricule as the catalogue holds it
    QString dateTexte;  // dateemprunt as stored
    QDate date;         // invalid when the stored text is not a date
    std::optional<qint64> jours; // days since the loan, when the date reads
    bool enRetard = false;       // more than the delay's days
    QImage couverture;           // null when the document has no cover
};

struct EnfantRapport
{
    QString matricule;
    QString nom;
    QString prenom;
    QString niveau;
    QImage photo; // null when the child has no photograph
    QList<PretRapport> prets;
};

struct ClasseRapport
{
    QString numero;      // on two digits, as the children's class field holds it
    QString instituteur; // empty for a class the class list does not have
    bool connue = true;  // false: children whose class is not in the class list
    QImage image;        // the class picture, null when none
    int effectif = 0;    // children of the class
    int retards = 0;
    QList<EnfantRapport> enfants; // those holding a book, in the class list's order
};

struct LivreEmprunte
{
    QString inventaire;
    QString titre;
    double cumul = 0; // number of loans so far
    bool enPret = false;
    QImage couverture;
};

struct RapportPrets
{
    DossiersLuma dossiers;
    QDateTime maintenant;
    int retard = 21;
    QList<ClasseRapport> classes; // in class order; then classes not in the class list
    QList<PretRapport> inconnus;  // loans to a matricule that is no child's
    QList<LivreEmprunte> plusEmpruntes; // at most ten, most borrowed first
    int enfants = 0;         // children in the school database
    int enfantsAvecPret = 0;
    int prets = 0;
    int retards = 0;
};

constexpr int kRetardParDefaut = 21;

// The folders of a report started on a folder, as the kiosk started there
// finds them; a folder that holds a LALUMA data folder rather than being one
// is taken for it.
DossiersLuma dossiersDuRapport(const QString &dossier);

// Reads the school database and the catalogue read-only and builds the model.
// Throws AppError (French) when a database cannot be read.
RapportPrets lisRapport(const DossiersLuma &dossiers, const QDateTime &maintenant, int retard);

// French texts the two forms share.
namespace TexteRapport {
QString titre();                               // "Qui a quel livre ?"
QString dateLongue(const QDateTime &moment);   // "samedi 5 décembre 2026 à 14 h 30"
QString duree(const PretRapport &pret);        // "12 jours", "aujourd'hui", "date illisible"
QString datePret(const PretRapport &pret);     // "05/12/2026", or the stored text
QString nomEnfant(const EnfantRapport &enfant); // "Léa MARTIN"
QString titreClasse(const ClasseRapport &classe);
QString resumeClasse(const ClasseRapport &classe);
QString resumeGeneral(const RapportPrets &rapport);
QString motRetard();                           // "EN RETARD"
} // namespace TexteRapport

// The two forms, written whole to a temporary file then put in place: a
// failure leaves nothing (and no earlier file half overwritten). Throw
// AppError with a French message.
void ecrisPdf(const RapportPrets &rapport, const QString &fichier);
void ecrisHtml(const RapportPrets &rapport, const QString &fichier);
