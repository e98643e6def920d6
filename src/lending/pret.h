#pragma once

#include <QHash>
#include <QString>

class Feuilleenfant;
class Module11;

// The borrow and the return themselves, apart from the screens: the loan
// fields of the current document of the catalogue cursor, for the current
// child of the children cursor, and the journal entry.
//
// A school may run several kiosks on one catalogue: a borrow or a return is
// saved only if the record still holds what the child was shown. A loan and
// its entry never disagree: the entry is composed and the intent written
// before the save, and the entry appended after it.

enum class IssuePret {
    Enregistre, // saved and journaled (or, when the journal failed, left for the next start to journal)
    Change,     // the record changed since it was shown: nothing written
    Echoue,     // an error, reported: nothing written
};

// The loan fields of the current document, as a screen shows them: what a
// borrow or return checks before it writes.
QHash<QString, QString> etatMontre(Feuilleenfant &donnees);

IssuePret Emprunte(Module11 &module, const QHash<QString, QString> &montre);
IssuePret Rend(Module11 &module, const QHash<QString, QString> &montre);

// A loan count stored as text, plus one, without overflow: an all-digit count
// of any length is counted in its digits; otherwise its leading number, and
// nothing (or not a number) counts as 0.
QString cumulPlusUn(const QString &cumul);
