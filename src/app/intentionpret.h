#pragma once

#include "app/module11.h"
#include "platform/textfile.h"

#include <QHash>
#include <QString>

// A loan or a return under way, so that a loan and its journal entry never
// disagree whatever instant the program dies at: the intent (the entry, the
// document, and what its record held before) is written and flushed before
// the catalogue is saved, and removed once the entry is in the journal. A
// program that dies in between leaves it in the data folder's EN-COURS
// folder; the next start of any kiosk completes it (writes the entry when the
// record shows the change was saved) or drops it (when the record still holds
// what it held before). While its program runs, an intent is locked and no
// other kiosk touches it.
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

// Completes or drops the intents that no running program holds; returns how
// many entries it wrote. Each intent that cannot be settled is reported and
// kept for the next start.
int reprendIntentions(Module11 &module);
