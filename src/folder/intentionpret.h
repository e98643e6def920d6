#pragma once

#include "folder/contexteprets.h"
#include "folder/journal.h"
#include "platform/durablefile.h"

#include <QHash>
#include <QString>
#include <QStringList>

// A loan or a return under way, so that a loan and its journal entry never
// disagree whatever instant the program dies at.
//
// Every kiosk saves its loans under one lock of the data folder (the lending
// lock, EN-COURS/PRETS.LCK). Holding it, a kiosk writes and flushes the intent
// (the entry, the journal's size before it, the document, and what its record
// held before), saves the record, appends the entry, and removes the intent.
// A kiosk that dies on the way lets the lock go and leaves its intent behind;
// whoever takes the lock next settles it before anything else: since no other
// kiosk could save while the dead one held the lock, the record shows exactly
// whether its save happened. If the record still holds what it held before,
// the intent is dropped; otherwise its entry is written (once), and only the
// bytes after the recorded size that begin that entry are cut as its torn
// entry. The management program, which does not take the lock, is the one
// writer this cannot see.
//
// An intent is a file of the shared folder like any other: what it says is
// checked before it is acted on. It names a day's journal (yy-mm-dd.JNL), its
// record by rowid and inventory number together (numbers may repeat), and the
// five loan fields; one that says anything else, or whose record is not found
// exactly, is kept and reported, never settled by guess. No message is shown
// while the lending lock is held: errors are reported once it is let go.
class IntentionPret
{
public:
    IntentionPret() = default;

    // Writes the intent; throws AppError when it cannot be written (nothing
    // must then be saved).
    // `avant` holds the loan fields (champsDuPret) of the record `rowid`.
    static IntentionPret ecrit(ContextePrets &module, const EntreeJournal &entree, qint64 rowid,
                               const QHash<QString, QString> &avant);
    // The entry is written (or nothing was saved): the intent goes.
    void termine();

private:
    DurableFile::HeldFile m_fichier;
};

// The loan fields a borrow or return checks before it writes, and an intent
// records: inventaire, emprunté, emprunteur, cumul, dateemprunt.
const QStringList &champsDuPret();

// Takes the lending lock (waiting for another kiosk's loan to end, within
// the deadline of ContextePrets::attenteVerrou) and settles the intents dead
// kiosks left; returns the lock, held until the caller has saved its own
// loan. Throws AppError, with no lock held, when it cannot: the caller must
// then write nothing. An intent that fails its checks is left for the next
// start to report.
DurableFile::FileLock verrouPrets(ContextePrets &module);

// At start: takes the lending lock and settles the intents dead kiosks left;
// returns how many entries it wrote. Each intent that cannot be settled is
// kept, and reported once the lock is let go. Throws AppError (3218) when the
// lock stays taken past the deadline.
int reprendIntentions(ContextePrets &module);
