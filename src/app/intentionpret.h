#pragma once

#include "app/module11.h"
#include "platform/textfile.h"

#include <QHash>
#include <QString>

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
class IntentionPret
{
public:
    IntentionPret() = default;

    // Writes the intent; throws AppError when it cannot be written (nothing
    // must then be saved).
    static IntentionPret ecrit(Module11 &module, const Module11::EntreeJournal &entree, const QString &inventaire,
                               const QHash<QString, QString> &avant);
    // The entry is written (or nothing was saved): the intent goes.
    void termine();

private:
    TextFile::HeldFile m_fichier;
};

// Takes the lending lock (waiting for another kiosk's loan to end) and
// settles the intents dead kiosks left; returns the lock, held until the
// caller has saved its own loan.
TextFile::FileLock verrouPrets(Module11 &module);

// At start: takes the lending lock and settles the intents dead kiosks left;
// returns how many entries it wrote. Each intent that cannot be settled is
// reported and kept.
int reprendIntentions(Module11 &module);
