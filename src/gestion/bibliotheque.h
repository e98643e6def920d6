#pragma once

#include "folder/contexteprets.h"
#include "folder/dossiers.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <QDateTime>

#include <functional>
#include <memory>
#include <optional>

class BaseDuDossier;
class BaseServeur;

// One class of the school database (équipe); numero is the value the kiosk
// reads from équipenuméro, 1 to 15 for the slots it shows.
struct FicheClasse
{
    qint64 rowid = -1;
    QString numeroTexte; // as stored
    int numero = 0;
    QString instituteur;
    bool operator==(const FicheClasse &) const = default;
};

struct FicheEnfant
{
    qint64 rowid = -1;
    QString matricule, nom, prenom, classe, niveau;
    bool operator==(const FicheEnfant &) const = default;
};

// A subject word the kiosk offers, with the rows of [luma+] that hold it
// (the same word may be written several times) and the number of books the
// kiosk finds with it (title or keywords); -1 when the kiosk's search
// cannot use it.
struct MotSujet
{
    QString mot; // blanks around it taken away, as the kiosk searches it
    QList<qint64> lignes;
    int livres = 0;
    bool operator==(const MotSujet &) const = default;
};

struct FicheLivre
{
    qint64 rowid = -1;
    QString inventaire, titre, editeur, dewey, motscles, emprunt;
    // The loan fields: only a loan or a return changes them.
    QString emprunte, emprunteur, categorie, dateemprunt, cumul;
    bool operator==(const FicheLivre &) const = default;
    bool pretable() const;
    bool sorti() const; // out on loan
};

// The library of a data folder as the teachers' program reads and changes
// it: the classes and children of the school database, the catalogue, the
// subject words.
//
// The kiosks and the management program may change the same files at any
// moment. So every file is opened for one operation and closed after it (a
// file replaced by a repair meanwhile is then never written in its old
// copy), and a change is written only if the record still holds what the
// form showed (compared under the file's write lock): otherwise nothing is
// written and AppError 3197 says that another station changed it (3167 when
// the record is gone). Returns go under the kiosks' lending lock, with the
// same journal entry and intent as theirs.
class Bibliotheque
{
public:
    // dossier: the data folder (LALUMA); the school folder is found from it
    // as the kiosk finds it.
    Bibliotheque(ContextePrets &contexte, const DossiersLuma &dossiers);

    const DossiersLuma &dossiers() const { return m_dossiers; }
    QString fichierEcole() const;
    QString fichierCatalogue() const;
    QString fichierDescripteurs() const;
    // The folder's server; null when it keeps its databases in files.
    std::shared_ptr<BaseServeur> serveur() const { return m_serveur; }

    // Classes, in number order.
    QList<FicheClasse> classes() const;
    // Creates the class numero or changes its teacher.
    void enregistreClasse(const FicheClasse &avant, int numero, const QString &instituteur);

    // Every child, sorted as a class list is (surname, first name).
    QList<FicheEnfant> enfants() const;
    // The children of class numero (their classe read as a number).
    QList<FicheEnfant> enfantsDeClasse(int numero) const;
    QString prochainMatricule() const;
    // Throws AppError with a French message for a missing name, a
    // matricule already taken or one that cannot name a photograph file.
    FicheEnfant ajouteEnfant(const FicheEnfant &enfant);
    // Renumbering a child who holds books carries the loans over to the new
    // matricule (under the lending lock) and renames the photograph.
    FicheEnfant modifieEnfant(const FicheEnfant &avant, const FicheEnfant &apres);
    // Refused (3219) while the child holds a book: give it back first.
    void supprimeEnfant(const FicheEnfant &avant);

    // The whole catalogue, in inventory order.
    QList<FicheLivre> livres() const;
    std::optional<FicheLivre> livre(qint64 rowid) const;
    // The books the child of that matricule holds through the kiosk.
    QList<FicheLivre> livresEmpruntesPar(const QString &matricule) const;
    QString prochainInventaire() const;
    FicheLivre ajouteLivre(const FicheLivre &livre);
    // Changes the catalogue fields (never the loan fields): the loan fields
    // may change meanwhile (a kiosk lends the book), the others must not.
    FicheLivre modifieLivre(const FicheLivre &avant, const FicheLivre &apres);
    void supprimeLivre(const FicheLivre &avant);
    // A book given back by hand (lost, forgotten at home): the same fields,
    // the same journal entry and the same lock as the kiosk's return.
    FicheLivre rendsLivre(const FicheLivre &avant);

    // The subject words, sorted.
    QStringList descripteurs() const;
    // The same with their rows and books, counted in one pass over the
    // catalogue with the kiosk's own condition.
    QList<MotSujet> motsSujets() const;
    // Refused (3317) when empty, already there (case aside) or holding a
    // character the kiosk's search would not take as itself.
    MotSujet ajouteMotSujet(const QString &mot);
    // Every row that still holds the word; 3197 if one of the rows seen was
    // changed meanwhile, 3167 if removed.
    void renommeMotSujet(const MotSujet &avant, const QString &nouveau);
    void supprimeMotSujet(const MotSujet &avant);
    // Books whose keywords hold the word as a whole word, case aside.
    int livresAvecMotCle(const QString &mot) const;
    // Replaces those occurrences and nothing else; only the keywords are
    // written, each book compared and set, so that a loan made meanwhile
    // stays. Returns the number of books changed.
    int remplaceMotCle(const QString &ancien, const QString &nouveau);

    // The clock of the returns' dates and journal entries (tests set it).
    void setHorloge(std::function<QDateTime()> horloge) { m_horloge = std::move(horloge); }
    // Called between reading the keywords and writing them (tests play
    // another station there).
    void setAvantEcriture(std::function<void()> f) { m_avantEcriture = std::move(f); }

    // "00042": a number typed as 42 put on five digits; empty when the text
    // is not digits or is too long.
    static QString inventaireNormalise(const QString &texte);

private:
    std::shared_ptr<BaseDuDossier> ouvre(const QString &fichier) const;

    ContextePrets &m_contexte;
    DossiersLuma m_dossiers;
    std::shared_ptr<BaseServeur> m_serveur;
    std::function<QDateTime()> m_horloge = [] { return QDateTime::currentDateTime(); };
    std::function<void()> m_avantEcriture;
};
