#include "app/intentionpret.h"

#include "data/cursor.h"
#include "platform/apperror.h"
#include "platform/paths.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <unistd.h>

namespace {

const QString kDossier = QStringLiteral("\\EN-COURS");
const QString kExtension = QStringLiteral(".PRET");

QString dossier(Module11 &module)
{
    return module.CheminBase() + kDossier;
}

QString dossierCree(Module11 &module)
{
    const QString folder = nativePath(dossier(module));
    TextFile::makeFolder(folder);
    return folder;
}

// Settles the intents no living kiosk holds; the caller holds the lending lock.
int regleIntentions(Module11 &module);

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

IntentionPret IntentionPret::ecrit(Module11 &module, const Module11::EntreeJournal &entree, const QString &inventaire,
                                   const QHash<QString, QString> &avant)
{
    const QString folder = dossierCree(module);
    QList<QPair<QString, QByteArray>> values{
        // The day's journal by its name: another kiosk may reach the data
        // folder by another path.
        {QStringLiteral("journal"), QFileInfo(entree.fichier).fileName().toUtf8()},
        {QStringLiteral("entree"), entree.octets},
        // What follows this size, if the kiosk dies, is its own torn entry.
        {QStringLiteral("journal.taille"), QByteArray::number(TextFile::sizeBeforeAppend(entree.fichier))},
        {QStringLiteral("inventaire"), inventaire.toUtf8()},
    };
    for (auto it = avant.constBegin(); it != avant.constEnd(); ++it)
        values.append({QStringLiteral("avant.") + it.key(), it.value().toUtf8()});
    values.append({QStringLiteral("fin"), QByteArray("1")}); // a file cut short has no end mark
    // A name no other kiosk can take: machine, process, moment.
    const QString name = QStringLiteral("%1-%2-%3")
                             .arg(QSysInfo::machineHostName(), QString::number(::getpid()),
                                  QString::number(QDateTime::currentMSecsSinceEpoch()));
    IntentionPret intention;
    for (int attempt = 0;; ++attempt) {
        try {
            intention.m_fichier = TextFile::HeldFile::create(folder + QLatin1Char('/') + name + QLatin1Char('-') +
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

TextFile::FileLock verrouPrets(Module11 &module)
{
    TextFile::FileLock lock = TextFile::FileLock::take(dossierCree(module) + QStringLiteral("/PRETS.LCK"));
    regleIntentions(module);
    return lock;
}

int reprendIntentions(Module11 &module)
{
    if (!isFolder(dossier(module)))
        return 0;
    TextFile::FileLock lock = TextFile::FileLock::take(dossierCree(module) + QStringLiteral("/PRETS.LCK"));
    return regleIntentions(module);
}

namespace {

int regleIntentions(Module11 &module)
{
    const QString folder = dossier(module);
    int written = 0;
    for (const QString &name : filesWithExtension(folder, kExtension)) {
        // Under the lending lock every intent left is a dead kiosk's: intents
        // live only while their kiosk holds that lock. A kiosk being killed
        // may still hold its intent's lock for an instant after the lending
        // lock went (the system lets go of a dead program's files one by
        // one): wait for it rather than skip an intent that is about to be
        // free, and find the journal changed after it.
        TextFile::HeldFile held = TextFile::HeldFile::claim(nativePath(folder + QLatin1Char('\\') + name), true);
        if (!held.isHeld())
            continue; // settled by the kiosk itself and gone
        module.trapped([&] {
            const QHash<QString, QByteArray> values = decode(held.content());
            if (!values.contains(QStringLiteral("fin"))) {
                held.done(); // cut short before anything was saved
                return;
            }
            const QString inventaire = QString::fromUtf8(values.value(QStringLiteral("inventaire")));
            Cursor catalogue(QStringLiteral("luma"));
            catalogue.setDatabaseName(nativePath(module.CheminBase() + QStringLiteral("\\LUMA.MDB")));
            catalogue.setRecordSource(QStringLiteral("SELECT * FROM luma WHERE inventaire = '") +
                                      QString(inventaire).replace(QLatin1Char('\''), QStringLiteral("''")) +
                                      QStringLiteral("'"));
            catalogue.refresh();
            // The record still as it was before: the save never happened.
            bool unchanged = catalogue.hasCurrentRecord();
            for (auto it = values.constBegin(); it != values.constEnd() && unchanged; ++it) {
                if (it.key().startsWith(QStringLiteral("avant.")))
                    unchanged = catalogue.field(it.key().mid(6)) == QString::fromUtf8(it.value());
            }
            catalogue.close();
            if (!unchanged) {
                const QString journal = QString::fromUtf8(values.value(QStringLiteral("journal")));
                if (!isSafeFileName(journal))
                    throw AppError(ErrorNumber::BadFileName, QStringLiteral("Nom de fichier incorrect : %1").arg(journal));
                const Module11::EntreeJournal entree{
                    nativePath(module.CheminBase() + QLatin1Char('\\') + journal), values.value(QStringLiteral("entree"))};
                bool sized = false;
                const qint64 before = values.value(QStringLiteral("journal.taille")).toLongLong(&sized);
                if (module.repriseAuJournal(entree, sized ? before : -1))
                    ++written;
            }
            held.done();
        });
    }
    return written;
}

} // namespace
