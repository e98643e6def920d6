#pragma once

#include "platform/apperror.h"
#include "platform/lockwait.h"
#include "platform/picture.h"
#include "platform/services.h"

#include <QColor>
#include <QString>
#include <array>
#include <chrono>
#include <functional>
#include <vector>

class Feuilleenfant;
class FolderListings;
class Geometry;
class QWidget;

// The shared module: the values every screen reads (the data folders, the
// class colours, the Dewey filter, the last error message and answer) and the
// shared procedures (sounds, centring, colours, about box, error report,
// journal).
class Module11
{
public:
    Module11(const PlatformServices &services, Feuilleenfant &données, Geometry &geometry);

    // Data folder and school folder, native paths without a trailing separator,
    // set once at start-up. Files are named from them the Windows way:
    // CheminBase() + "\\SONS\\FERME.WAV", resolved by nativePath().
    const QString &CheminBase() const { return m_cheminBase; }
    const QString &CheminEcole() const { return m_cheminEcole; }
    void setCheminBase(const QString &path) { m_cheminBase = path; }
    void setCheminEcole(const QString &path) { m_cheminEcole = path; }

    // The ten class colours, one per Dewey main class.
    short Rouge(int i) const { return m_rouge.at(i); }
    short Vert(int i) const { return m_vert.at(i); }
    short Bleu(int i) const { return m_bleu.at(i); }
    void setCouleur(int i, short rouge, short vert, short bleu);
    // The colour of class i, each component above 255 taken as 255.
    QColor couleurClasse(int i) const;

    // Reads COULEURS.INI, or sets the defaults and writes the file when it is
    // missing. Throws AppError on a malformed file: the colours read before the
    // fault are kept, the others stay black.
    void LitCouleurs();
    void EcritCouleurs();


    // The cover of a document (LIVRES\\ + number + .BMP), decoded for the
    // size it is shown at (device pixels); a null picture when it is missing
    // or the number could lead outside the folder.
    Picture couverture(const QString &inventaire, QSize taille) const;

    // Plays a WAV file of the data folder if it exists, without waiting;
    // never reports anything.
    void JoueSon(const QString &windowsPath);
    // Says a written word aloud (a title, a subject word, a first name,
    // digits) with the synthesized voice, unless the voice is off; nothing
    // for a text without words. Like a sound, it cuts the one playing and
    // never reports anything.
    void Dit(const QString &texte);
    // Plays the recorded sound when the data folder has that file (an empty
    // path: none), otherwise says the text: a recording always wins.
    void JoueSonOuDit(const QString &windowsPath, const QString &texte);
    // The synthesized voice, on unless the kiosk is told to keep quiet; the
    // recorded sounds play either way.
    void setVoix(bool on) { m_voix = on; }
    bool voix() const { return m_voix; }
    // "zéro" to "neuf".
    static QString motChiffre(int chiffre);
    // A number to be said digit by digit: each digit as its word, separated
    // by commas ("00012": "zéro, zéro, zéro, un, deux"); another sign is
    // said as it is, blanks are left out.
    static QString chiffreParChiffre(const QString &nombre);
    // Centres a screen on the display.
    void CentreFeuille(QWidget &feuille);
    // The about box.
    void APropos();

    // The error report: a French message chosen by the error's number, the
    // repair offer for a damaged database, or the end of the program. The
    // caller goes on with its next step unless programEnded() is then true.
    void GestionErreur(const AppError &error);
    const QString &MessageErreur() const { return m_messageErreur; }
    int Reponse() const { return m_reponse; }
    void setReponse(int answer) { m_reponse = answer; }

    // What a journal entry says of the child and the document.
    struct JournalValues
    {
        QString matricule, classe, niveau, nomenfant, prénomenfant;
        QString inventaire, titre, éditeur, dateemprunt;
    };
    // Read from the current records, through the bound labels.
    JournalValues valeursJournal();

    // One journal entry, composed: the day's file and its four lines as they
    // go to disk (Windows-1252, CR LF).
    struct EntreeJournal
    {
        QString fichier; // native path of the day's journal
        QByteArray octets;
    };
    // Composes an entry; kind is "Emprunt d'un document" or "Restitution d'un
    // document" (compared without regard to case). The date and time are
    // taken now.
    EntreeJournal composeJournal(const QString &kind, const JournalValues &values);
    // Appends an entry to its journal, under the journal's lock, after what
    // is there (after a CR LF when the journal does not end with one).
    // Returns whether it was written.
    bool ajouteAuJournal(const EntreeJournal &entree);
    // The entry of a kiosk that died during a loan, whose journal held
    // tailleAvant bytes before it (-1: unknown): a whole copy of it after them
    // means it was written already, part of it is its torn entry and is cut
    // first, anything else stays and the entry goes after it. Returns whether
    // it was written.
    bool repriseAuJournal(const EntreeJournal &entree, qint64 tailleAvant);

    // Appends one entry (four lines) to the day's journal: composeJournal,
    // then ajouteAuJournal. The first form takes the values from the current
    // records; a return, which changes the record, passes the values read
    // before the change.
    void EcritJournal(const QString &kind);
    void EcritJournal(const QString &kind, const JournalValues &values);
    const QString &FichierJournal() const { return m_fichierJournal; }

    // The Dewey class condition of a search; no class until the search
    // screen builds it.
    const QString &FiltreDewey() const { return m_filtreDewey; }
    void setFiltreDewey(const QString &filter) { m_filtreDewey = filter; }

    // Ends the program at once (closing the databases first).
    void endProgram();
    bool programEnded() const { return m_programEnded; }

    // Runs one step of a handler under its error trap: an error is reported by
    // GestionErreur and the handler goes on with its next step. Steps asked for
    // after the program has ended do not run. Returns false when the step
    // failed or did not run.
    bool trapped(const std::function<void()> &step);

    // How a lock another kiosk holds is waited for (the lending lock, an
    // intent, a journal, a database): the screen keeps painting under the
    // waiting pointer, and past the deadline (about 10 s; shorter in tests)
    // the step gives up with error 3218.
    LockWait attenteVerrou();
    void setDélaiVerrou(std::chrono::milliseconds délai);
    // True while such a wait is under way: the events it lets through to
    // keep the screen painting must not start anything else (the idle
    // return closing the screen whose handler waits).
    bool attendUnVerrou() const { return m_attentesVerrou > 0; }

    const PlatformServices &services() const { return m_services; }
    Feuilleenfant &données() { return m_données; }
    Geometry &geometry() { return m_geometry; }

    // Message box titles.
    static QString titreErreur() { return QStringLiteral("La LUMA - cycle 1"); }
    static QString titreProgramme() { return QStringLiteral("La LUMA - Cycle 1"); }

private:
    void reparerBases();

    PlatformServices m_services;
    Feuilleenfant &m_données;
    Geometry &m_geometry;
    QString m_cheminBase;
    QString m_cheminEcole;
    std::array<short, 10> m_rouge{};
    std::array<short, 10> m_vert{};
    std::array<short, 10> m_bleu{};
    QString m_filtreDewey = QStringLiteral("dewey LIKE '*'");
    QString m_messageErreur;
    int m_reponse = 0;
    QString m_fichierJournal;
    bool m_programEnded = false;
    bool m_voix = true;
    std::chrono::milliseconds m_délaiVerrou = LockWait::kDefaultDeadline;
    int m_attentesVerrou = 0;
};

// Errors of steps run while a lock other kiosks wait for is held: kept, and
// reported only once the lock is let go, so that a box left open on one
// kiosk never holds up the others.
class ErreursDifferees
{
public:
    explicit ErreursDifferees(Module11 &module) : m_module(module) {}

    // Runs one step; a failure is kept for later. Returns false when the step
    // failed or did not run (the program has ended).
    bool essaie(const std::function<void()> &step);
    void ajoute(const AppError &error) { m_erreurs.push_back(error); }
    bool vide() const { return m_erreurs.empty(); }
    // Reports each error kept, in order, through GestionErreur; the caller
    // holds no lock any more.
    void signale();

private:
    Module11 &m_module;
    std::vector<AppError> m_erreurs;
};

// Reads a loan date as the catalogue may hold it, as the database engine
// reads a stored date: d/m/yyyy as the lending screens write it, with or
// without a time (an Access date with a time comes over as "05/12/2026
// 10:30:00"), a two-digit year as Jet read it (00 to 29 in the 2000s, 30 to
// 99 in the 1900s), or ISO. An invalid date when it cannot be read: the
// journal then gives no length of loan.
QDate parseLoanDate(const QString &text);

// A French description of the platform's error numbers that the program may
// meet outside the database engine (13 type mismatch, 6 overflow...).
QString descriptionErreur(int number);

// The data folder and the school folder the program works in, found from the
// folder it is started in: the school folder is a sibling ALTEMARE of a data
// folder named LALUMA, else the fixed C:\ALTEMARE, else the data folder
// itself (wherever ALTEMARE.MDB is not). Native paths, no trailing separator.
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

// The numeric value of a text as Val() reads it (the database engine's own
// Val): the leading number, blanks skipped, 0 when there is none (class
// numbers, loan counts).
double valeurNumerique(const QString &text);

