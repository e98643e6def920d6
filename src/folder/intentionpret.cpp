#include "folder/intentionpret.h"

#include "data/cursor.h"
#include "platform/apperror.h"
#include "platform/lockwait.h"
#include "platform/paths.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <unistd.h>

#include <algorithm>

namespace {

const QString kDossier = QStringLiteral("\\EN-COURS");
const QString kExtension = QStringLiteral(".PRET");

QString dossier(ContextePrets &module)
{
    return module.CheminBase() + kDossier;
}

QString dossierCree(ContextePrets &module)
{
    const QString folder = nativePath(dossier(module));
    DurableFile::makeFolder(folder);
    return folder;
}

// Settles the intents no living kiosk holds; the caller holds the lending
// lock. With `erreurs`, every failure is kept there and the next intent is
// settled; without, an intent that fails its checks is passed over and any
// other failure is thrown.
int regleIntentions(ContextePrets &module, ErreursDifferees *erreurs);

// One "key=base64" line per value: any text or byte survives.
QByteArray encode(const QList<QPair<QString, QByteArray>> &values)
{
    QByteArray bytes;
    for (const auto &[key, value] : values)
        bytes += key.toUtf8() + '=' + value.toBase64() + '\n';
    return bytes;
}

QHash<QString, QByteArray> decode(const QByteArray &bytes)
{
    QHash<QString, QByteArray> values;
    for (const QByteArray &line : bytes.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            values.insert(QString::fromUtf8(line.left(equals)), QByteArray::fromBase64(line.mid(equals + 1)));
    }
    return values;
}

} // namespace

IntentionPret IntentionPret::ecrit(ContextePrets &module, const EntreeJournal &entree, qint64 rowid,
                                   const QHash<QString, QString> &avant)
{
    const QString folder = dossierCree(module);
    QList<QPair<QString, QByteArray>> values{
        // The day's journal by its name: another kiosk may reach the data
        // folder by another path.
        {QStringLiteral("journal"), QFileInfo(entree.fichier).fileName().toUtf8()},
        {QStringLiteral("entree"), entree.octets},
        // What follows this size, if the kiosk dies, is its own torn entry.
        {QStringLiteral("journal.taille"), QByteArray::number(DurableFile::sizeBeforeAppend(entree.fichier))},
        {QStringLiteral("rowid"), QByteArray::number(rowid)},
        {QStringLiteral("inventaire"), avant.value(QStringLiteral("inventaire")).toUtf8()},
    };
    for (const QString &champ : champsDuPret())
        values.append({QStringLiteral("avant.") + champ, avant.value(champ).toUtf8()});
    values.append({QStringLiteral("fin"), QByteArray("1")}); // a file cut short has no end mark
    // A name no other kiosk can take: machine, process, moment.
    const QString name = QStringLiteral("%1-%2-%3")
                             .arg(QSysInfo::machineHostName(), QString::number(::getpid()),
                                  QString::number(QDateTime::currentMSecsSinceEpoch()));
    IntentionPret intention;
    for (int attempt = 0;; ++attempt) {
        try {
            intention.m_fichier = DurableFile::HeldFile::create(folder + QLatin1Char('/') + name + QLatin1Char('-') +
                                                       QString::number(attempt) + kExtension,
                                                   encode(values));
            return intention;
        } catch (const AppError &error) {
            if (error.number() != ErrorNumber::FileAlreadyExists || attempt > 100)
                throw;
        }
    }
}

void IntentionPret::termine()
{
    m_fichier.done();
}

const QStringList &champsDuPret()
{
    static const QStringList champs = {QStringLiteral("inventaire"), QStringLiteral("emprunté"),
                                       QStringLiteral("emprunteur"), QStringLiteral("cumul"),
                                       QStringLiteral("dateemprunt")};
    return champs;
}

DurableFile::FileLock verrouPrets(ContextePrets &module)
{
    DurableFile::FileLock lock =
        DurableFile::FileLock::take(dossierCree(module) + QStringLiteral("/PRETS.LCK"), module.attenteVerrou());
    regleIntentions(module, nullptr);
    return lock;
}

int reprendIntentions(ContextePrets &module)
{
    if (!isFolder(dossier(module)))
        return 0;
    ErreursDifferees erreurs(module);
    int written = 0;
    {
        DurableFile::FileLock lock =
            DurableFile::FileLock::take(dossierCree(module) + QStringLiteral("/PRETS.LCK"), module.attenteVerrou());
        written = regleIntentions(module, &erreurs);
    }
    erreurs.signale();
    return written;
}

namespace {

// An intent that cannot be acted on as it stands: kept for a person to look at.
struct IntentionRefusee
{
    AppError erreur;
};

[[noreturn]] void refuse(const QString &name, int number, const QString &why)
{
    throw IntentionRefusee{AppError(
        number, QStringLiteral("Le prêt inachevé « %1 » (dossier EN-COURS) n'a pas été repris : %2. Le fichier est "
                               "gardé tel quel ; rien n'a été écrit.")
                    .arg(name, why))};
}

// What an intent must say, and say only, before anything is done with it.
struct Intention
{
    QString journal;
    QByteArray entree;
    qint64 rowid = 0;
    QString inventaire;
    QHash<QString, QString> avant;
    // The journal's size when the intent was written; -1 when not said.
    qint64 tailleJournal = -1;
};

Intention litIntention(const QString &name, const QHash<QString, QByteArray> &values)
{
    Intention intention;
    intention.journal = QString::fromUtf8(values.value(QStringLiteral("journal")));
    // Only a day's journal of the data folder, as this program names them:
    // never a database or any other file.
    static const QRegularExpression dayJournal(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{2}-[0-9]{2}-[0-9]{2}\\.JNL")));
    if (!dayJournal.match(intention.journal).hasMatch())
        refuse(name, ErrorNumber::PathFileAccessError,
               QStringLiteral("« %1 » n'est pas le nom d'un journal du jour").arg(intention.journal));
    // The entry as this program composes it, nothing more: four lines in
    // quote marks, the first one dated.
    intention.entree = values.value(QStringLiteral("entree"));
    static const QRegularExpression entry(QRegularExpression::anchoredPattern(
        QStringLiteral("\"[0-9]{2}/[0-9]{2}/[0-9]{4} - [0-9]{2}:[0-9]{2} - [^\r\n]*\"\r\n(\"[^\r\n]*\"\r\n){3}")));
    if (intention.entree.size() > 4096 || !entry.match(QString::fromLatin1(intention.entree)).hasMatch())
        refuse(name, ErrorNumber::PathFileAccessError, QStringLiteral("il ne donne pas une entrée de journal"));
    const QByteArray rowid = values.value(QStringLiteral("rowid"));
    static const QRegularExpression digits(QRegularExpression::anchoredPattern(QStringLiteral("[1-9][0-9]{0,17}")));
    if (!digits.match(QString::fromLatin1(rowid)).hasMatch())
        refuse(name, ErrorNumber::RecordDeleted, QStringLiteral("il ne désigne pas sa fiche du catalogue"));
    intention.rowid = rowid.toLongLong();
    intention.inventaire = QString::fromUtf8(values.value(QStringLiteral("inventaire")));
    bool sized = false;
    const qint64 taille = values.value(QStringLiteral("journal.taille")).toLongLong(&sized);
    if (sized && taille >= 0)
        intention.tailleJournal = taille;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        if (!it.key().startsWith(QStringLiteral("avant.")))
            continue;
        const QString champ = it.key().mid(6);
        if (!champsDuPret().contains(champ))
            refuse(name, ErrorNumber::FieldNotFound, QStringLiteral("le champ « %1 » n'est pas un champ du prêt").arg(champ));
        intention.avant.insert(champ, QString::fromUtf8(it.value()));
    }
    for (const QString &champ : champsDuPret())
        if (!intention.avant.contains(champ))
            refuse(name, ErrorNumber::FieldNotFound, QStringLiteral("le champ « %1 » y manque").arg(champ));
    if (intention.avant.value(QStringLiteral("inventaire")) != intention.inventaire)
        refuse(name, ErrorNumber::RecordDeleted, QStringLiteral("il désigne deux documents"));
    return intention;
}

// Settles one intent, held by this kiosk; returns whether it wrote its entry.
bool regle(ContextePrets &module, const QString &name, DurableFile::HeldFile &held)
{
    QByteArray content;
    try {
        content = held.content();
    } catch (const AppError &error) {
        // Not a file this program wrote (a pipe, a link to a device, a huge
        // file): kept for a person to look at, and no loan waits for it.
        refuse(name, error.number(), error.description());
    }
    const QHash<QString, QByteArray> values = decode(content);
    if (!values.contains(QStringLiteral("fin"))) {
        held.done(); // cut short before anything was saved
        return false;
    }
    const Intention intention = litIntention(name, values);

    // Its record exactly: the row it names, still holding its number. Any
    // other row of the same number is another book.
    Cursor catalogue(QStringLiteral("luma"));
    catalogue.setLockWait(module.attenteVerrou());
    catalogue.setDatabaseName(nativePath(module.CheminBase() + QStringLiteral("\\LUMA.MDB")));
    catalogue.setRecordSource(QStringLiteral("SELECT * FROM luma WHERE inventaire = '") +
                              QString(intention.inventaire).replace(QLatin1Char('\''), QStringLiteral("''")) +
                              QStringLiteral("'"));
    catalogue.refresh();
    while (catalogue.hasCurrentRecord() &&
           (catalogue.currentRowId() != intention.rowid ||
            catalogue.field(QStringLiteral("inventaire")) != intention.inventaire))
        catalogue.moveNext();
    if (!catalogue.hasCurrentRecord())
        refuse(name, ErrorNumber::RecordDeleted,
               QStringLiteral("sa fiche (document %1) n'est plus dans le catalogue").arg(intention.inventaire));
    // The record still as it was before: the save never happened.
    bool unchanged = true;
    for (auto it = intention.avant.constBegin(); it != intention.avant.constEnd() && unchanged; ++it)
        unchanged = catalogue.field(it.key()) == it.value();
    catalogue.close();
    bool written = false;
    if (!unchanged) {
        const EntreeJournal entree{
            nativePath(module.CheminBase() + QLatin1Char('\\') + intention.journal), intention.entree};
        written = repriseAuJournal(entree, intention.tailleJournal, module.attenteVerrou());
    }
    held.done();
    return written;
}

// The intents' names, in an order that never depends on the folder's own:
// one reading of the folder, no look at each file (at every loan, the folder
// holds only the lock).
QStringList intentions(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, {QLatin1Char('*') + kExtension}, QDir::AllEntries | QDir::System | QDir::Hidden
                                                               | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString name = it.nextFileInfo().fileName();
        if (name.size() > kExtension.size())
            names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

int regleIntentions(ContextePrets &module, ErreursDifferees *erreurs)
{
    const QString folder = dossier(module);
    int written = 0;
    // One deadline for all: past it, the intents still kept are not waited
    // for one by one.
    bool patient = true;
    for (const QString &name : intentions(nativePath(folder))) {
        const auto step = [&] {
            // Under the lending lock every intent left is a dead kiosk's:
            // intents live only while their kiosk holds that lock. A kiosk
            // being killed may still hold its intent's lock for an instant
            // after the lending lock went (the system lets go of a dead
            // program's files one by one): wait for it, within the deadline,
            // rather than skip an intent that is about to be free.
            const QString path = nativePath(folder + QLatin1Char('\\') + name);
            DurableFile::HeldFile held;
            try {
                held = patient ? DurableFile::HeldFile::claim(path, module.attenteVerrou())
                               : DurableFile::HeldFile::claim(path);
            } catch (const AppError &error) {
                patient = patient && error.number() != ErrorNumber::OtherKioskBusy;
                throw;
            }
            if (!held.isHeld() && !patient && QFileInfo::exists(path))
                throwOtherKioskBusy(path);
            if (!held.isHeld())
                return; // settled by the kiosk itself and gone
            try {
                if (regle(module, name, held))
                    ++written;
            } catch (const IntentionRefusee &refused) {
                if (erreurs)
                    erreurs->ajoute(refused.erreur);
            }
        };
        if (erreurs)
            erreurs->essaie(step);
        else
            step();
    }
    return written;
}

} // namespace
