#pragma once

#include "folder/champs.h"
#include "folder/contexteprets.h"
#include "folder/couleurs.h"
#include "folder/descriptionerreur.h"
#include "folder/dossiers.h"
#include "folder/journal.h"
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
class Geometry;
class QWidget;

// The shared module: the values every screen reads (the data folders, the
// class colours, the Dewey filter, the last error message and answer) and the
// shared procedures (sounds, centring, colours, about box, error report,
// journal). The data folder's own layout, journal and loans are the folder
// library's; the module gives them its folder, its lock waits and its error
// report.
class Module11 : public ContextePrets
{
public:
    Module11(const PlatformServices &services, Feuilleenfant &données, Geometry &geometry);

    // Data folder and school folder, native paths without a trailing separator,
    // set once at start-up. Files are named from them the Windows way:
    // CheminBase() + "\\SONS\\FERME.WAV", resolved by nativePath().
    const QString &CheminBase() const override { return m_cheminBase; }
    const QString &CheminEcole() const { return m_cheminEcole; }
    void setCheminBase(const QString &path) { m_cheminBase = path; }
    void setCheminEcole(const QString &path) { m_cheminEcole = path; }

    // The ten class colours, one per Dewey main class.
    short Rouge(int i) const { return m_couleurs.rouge.at(i); }
    short Vert(int i) const { return m_couleurs.vert.at(i); }
    short Bleu(int i) const { return m_couleurs.bleu.at(i); }
    void setCouleur(int i, short rouge, short vert, short bleu);
    // The colour of class i, each component above 255 taken as 255.
    QColor couleurClasse(int i) const { return m_couleurs.couleur(i); }

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
    void GestionErreur(const AppError &error) override;
    int Reponse() const { return m_reponse; }
    void setReponse(int answer) { m_reponse = answer; }

    using JournalValues = ::JournalValues;
    using EntreeJournal = ::EntreeJournal;
    // Read from the current records, through the bound labels.
    JournalValues valeursJournal();

    // The journal of this data folder (journal.h), at the platform's clock,
    // waiting for its lock as every lock is waited for here.
    EntreeJournal composeJournal(const QString &kind, const JournalValues &values);
    bool ajouteAuJournal(const EntreeJournal &entree);
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
    bool programEnded() const override { return m_programEnded; }

    // Runs one step of a handler under its error trap: an error is reported by
    // GestionErreur and the handler goes on with its next step. Steps asked for
    // after the program has ended do not run. Returns false when the step
    // failed or did not run.
    bool trapped(const std::function<void()> &step);

    // How a lock another kiosk holds is waited for (the lending lock, an
    // intent, a journal, a database): the screen keeps painting under the
    // waiting pointer, and past the deadline (about 10 s; shorter in tests)
    // the step gives up with error 3218.
    LockWait attenteVerrou() override;
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
    CouleursClasses m_couleurs;
    QString m_filtreDewey = QStringLiteral("dewey LIKE '*'");
    QString m_messageErreur;
    int m_reponse = 0;
    QString m_fichierJournal;
    bool m_programEnded = false;
    bool m_voix = true;
    std::chrono::milliseconds m_délaiVerrou = LockWait::kDefaultDeadline;
    int m_attentesVerrou = 0;
};
