#include "folder/journal.h"

#include "folder/champs.h"
#include "platform/durablefile.h"
#include "platform/paths.h"
#include "platform/textfile.h"

#include <QStringList>

namespace {

// Where the entry of a kiosk that died during a loan goes. `before` is the
// journal's size when its intent was written: under the lending lock, so no
// kiosk appended since. What follows is then its own entry, whole (written
// already: -1) or torn (cut, and written again), or someone else's bytes
// (kept: the entry goes after them).
qint64 placeOfInterruptedEntry(const QByteArray &journal, const QByteArray &entry, qint64 before)
{
    if (before < 0 || before > journal.size()) {
        // Size unknown, or the journal rewritten shorter since: nothing can be
        // cut; an entry that ends the journal is the one written.
        return journal.endsWith(entry) ? -1 : journal.size();
    }
    // As the append wrote it: after a CR LF when the journal did not end with one.
    const QByteArray head = journal.left(before);
    const QByteArray written = (before > 0 && !head.endsWith("\r\n") ? QByteArray("\r\n") : QByteArray()) + entry;
    const QByteArray tail = journal.mid(before);
    if (tail.startsWith(written))
        return -1;
    if (written.startsWith(tail))
        return before;
    return journal.size();
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString nomJournal(const QDateTime &moment)
{
    return moment.toString(QStringLiteral("yy-MM-dd")) + QStringLiteral(".JNL");
}

EntreeJournal composeJournal(const QString &cheminBase, const QDateTime &now, const QString &kind,
                             const JournalValues &v)
{
    const QString today = now.toString(QStringLiteral("dd/MM/yyyy"));
    const QString fichierJournal = nomJournal(now);

    QString line4;
    if (kind.compare(QStringLiteral("Emprunt d'un document"), Qt::CaseInsensitive) == 0) {
        line4 = QStringLiteral("emprunté le ") + v.dateemprunt;
    } else if (kind.compare(QStringLiteral("Restitution d'un document"), Qt::CaseInsensitive) == 0) {
        line4 = QStringLiteral("emprunté le ") + v.dateemprunt + QStringLiteral(" - restitué le ") + today;
        // A loan date that cannot be read still leaves its entry, as stored,
        // without the length of the loan.
        const QDate loan = parseLoanDate(v.dateemprunt);
        if (loan.isValid()) {
            const qint64 days = loan.daysTo(now.date());
            const QString length = days >= 0 ? QStringLiteral(" %1").arg(days) : QString::number(days);
            line4 += QStringLiteral(" - ") + length + (days < 2 ? QStringLiteral(" jour") : QStringLiteral(" jours"));
        }
    }

    // Values from the data are joined, never used as a format: a "%1" in a
    // name stays as it is.
    const QStringList lines = {
        quoted(today + QStringLiteral(" - ") + now.toString(QStringLiteral("HH:mm")) + QStringLiteral(" - ") + kind),
        quoted(QStringLiteral("Emprunteur : ") + v.matricule + QStringLiteral(" (emprunteur école - classe ") +
               v.classe + QStringLiteral(" - ") + v.niveau + QStringLiteral(") - ") + v.nomenfant +
               QStringLiteral(" ") + v.prénomenfant),
        quoted(QStringLiteral("Document : ") + v.inventaire + QStringLiteral(" - ") + v.titre + QStringLiteral(" - ") +
               v.éditeur),
        quoted(line4),
    };
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += TextFile::encode1252(line) + "\r\n";
    return {nativePath(cheminBase + QStringLiteral("\\") + fichierJournal), bytes};
}

bool ajouteAuJournal(const EntreeJournal &entree, const LockWait &attente)
{
    // The whole entry goes in one write, under the journal's lock, after
    // whatever the journal holds: nothing in it is ever removed.
    return DurableFile::appendLocked(
        entree.fichier, entree.octets, [](const QByteArray &journal) { return qint64(journal.size()); },
        attente);
}

bool repriseAuJournal(const EntreeJournal &entree, qint64 tailleAvant, const LockWait &attente)
{
    return DurableFile::appendLocked(
        entree.fichier, entree.octets,
        [&](const QByteArray &journal) { return placeOfInterruptedEntry(journal, entree.octets, tailleAvant); },
        attente);
}
