#pragma once

#include "folder/contexteprets.h"
#include "folder/journal.h"

#include <QString>

class BaseServeur;
class PgConnexion;

// Loans of a data folder whose catalogue is on its PostgreSQL server.
//
// Every program that lends takes one lock of the server (an advisory lock,
// the lending lock) for the length of a loan: the kiosks of every data
// folder naming that server save one loan at a time. Holding it, a kiosk
// saves the record and, in the same transaction, a row of pending entries
// (the day's journal, its size before, the entry itself); once committed it
// appends the entry to the journal, then deletes the row. A kiosk that dies
// on the way leaves its row behind, and the server lets go of its lock: the
// next kiosk of the same data folder to take the lock appends the entry
// (once: repriseAuJournal finds a whole copy already there and cuts a torn
// one) and deletes the row. A row is there only if its loan was saved: no
// comparison with the record is needed. Rows of other data folders are left
// to their kiosks, which alone reach their journals.

// The lending lock, let go when this goes (or when the program's connection
// to the server ends).
class VerrouPretsServeur
{
public:
    VerrouPretsServeur() = default;
    VerrouPretsServeur(VerrouPretsServeur &&other) noexcept;
    VerrouPretsServeur &operator=(VerrouPretsServeur &&other) noexcept;
    ~VerrouPretsServeur();
    // Takes over the lock, taken already on the server's connection.
    explicit VerrouPretsServeur(BaseServeur *serveur) : m_serveur(serveur) {}

private:
    BaseServeur *m_serveur = nullptr;
};

// Takes the lending lock (within the deadline of attenteVerrou, else 3218)
// and settles this folder's rows left by dead kiosks; a row that cannot be
// settled (its journal cannot be written) is kept, its error kept in
// `erreurs` when given, else thrown.
VerrouPretsServeur verrouPretsServeur(ContextePrets &module, BaseServeur &serveur,
                                      ErreursDifferees *erreurs = nullptr);

// The pending entry of a loan being saved, written in the loan's transaction;
// returns its row's key.
qint64 inscritPretEnCours(PgConnexion &connexion, ContextePrets &module, const EntreeJournal &entree,
                          const QString &inventaire);
// The entry is in the journal: its row goes.
void effacePretEnCours(BaseServeur &serveur, qint64 cle);

// At start: takes the lending lock, settles this folder's rows and lets the
// lock go; returns how many entries it wrote. Errors as verrouPretsServeur.
int reprendPretsServeur(ContextePrets &module, BaseServeur &serveur);

// The folder's name among the pending entries: the same for every kiosk
// that reaches the folder by the same path.
QString identiteDossier(const QString &cheminBase);
