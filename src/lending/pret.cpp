#include "lending/pret.h"

#include "data/pgbase.h"
#include "folder/intentionpret.h"
#include "folder/pretsserveur.h"
#include "module/module11.h"
#include "data/feuilleenfant.h"

#include <QRegularExpression>
#include <functional>
#include <optional>

namespace {

const QStringList &kChampsVerifies = champsDuPret();

// The same save on the data folder's server: the record and its pending
// entry in one transaction, under the server's lending lock.
IssuePret enregistreSurServeur(Module11 &m, BaseServeur &serveur, const QString &kind,
                               const QHash<QString, QString> &montre,
                               const std::function<Module11::JournalValues()> &valeurs)
{
    Cursor &catalogue = m.données().Donnée2();
    ErreursDifferees erreurs(m);
    IssuePret issue = IssuePret::Echoue;
    {
        Module11::EntreeJournal entree;
        VerrouPretsServeur verrou;
        bool inchange = false;
        const bool prepared = erreurs.essaie([&] {
            entree = m.composeJournal(kind, valeurs());
            verrou = verrouPretsServeur(m, serveur, &erreurs);
            catalogue.forgetReadRow();
            inchange = etatMontre(m.données()) == montre;
        });
        if (!prepared || !inchange) {
            erreurs.essaie([&] { catalogue.cancelUpdate(); });
            issue = prepared ? IssuePret::Change : IssuePret::Echoue;
        } else {
            bool saved = false;
            qint64 enAttente = 0;
            const bool ran = erreurs.essaie([&] {
                saved = catalogue.updateIfUnchanged(montre, [&] {
                    enAttente = inscritPretEnCours(serveur.connexion(), m, entree,
                                                   montre.value(QStringLiteral("inventaire")));
                });
            });
            if (!ran || !saved) {
                issue = ran ? IssuePret::Change : IssuePret::Echoue;
            } else {
                erreurs.essaie([&] { catalogue.moveToLastModified(); });
                // Without its entry the row stays, and the next loan or start
                // writes it.
                if (erreurs.essaie([&] { m.ajouteAuJournal(entree); }))
                    erreurs.essaie([&] { effacePretEnCours(serveur, enAttente); });
                issue = IssuePret::Enregistre;
            }
        }
    }
    erreurs.signale();
    return issue;
}

// The save shared by the borrow and the return, once the fields are edited.
IssuePret enregistre(Module11 &m, const QString &kind, const QHash<QString, QString> &montre,
                     const std::function<Module11::JournalValues()> &valeurs)
{
    Cursor &catalogue = m.données().Donnée2();
    if (const std::shared_ptr<BaseServeur> serveur = catalogue.serveur())
        return enregistreSurServeur(m, *serveur, kind, montre, valeurs);
    // Other kiosks wait for the lending lock: nothing is shown, asked or
    // repaired while it is held. Errors are reported once it is let go.
    ErreursDifferees erreurs(m);
    IssuePret issue = IssuePret::Echoue;
    {
        Module11::EntreeJournal entree;
        // Held until the entry is written: no other kiosk saves in between.
        DurableFile::FileLock verrou;
        std::optional<IntentionPret> intention;
        bool inchange = false;
        const bool prepared = erreurs.essaie([&] {
            entree = m.composeJournal(kind, valeurs());
            verrou = verrouPrets(m);
            // Read again under the lock: the intent must record what the
            // record holds now, which no other kiosk can change any more, not
            // what was shown a moment ago. Changed since, there is nothing to
            // save.
            catalogue.forgetReadRow();
            inchange = etatMontre(m.données()) == montre;
            if (inchange)
                intention = IntentionPret::ecrit(m, entree, catalogue.currentRowId(), montre);
        });
        if (!prepared || !inchange) {
            erreurs.essaie([&] { catalogue.cancelUpdate(); });
            issue = prepared ? IssuePret::Change : IssuePret::Echoue;
        } else {
            bool saved = false;
            const bool ran = erreurs.essaie([&] { saved = catalogue.updateIfUnchanged(montre); });
            if (!ran || !saved) {
                intention->termine();
                issue = ran ? IssuePret::Change : IssuePret::Echoue;
            } else {
                erreurs.essaie([&] { catalogue.moveToLastModified(); });
                // Without its entry the intent stays, and the next start writes it.
                if (erreurs.essaie([&] { m.ajouteAuJournal(entree); }))
                    intention->termine();
                issue = IssuePret::Enregistre;
            }
        }
    }
    erreurs.signale();
    return issue;
}

} // namespace

QHash<QString, QString> etatMontre(Feuilleenfant &d)
{
    QHash<QString, QString> shown;
    for (const QString &field : kChampsVerifies)
        shown.insert(field, d.Donnée2().field(field));
    return shown;
}

QString cumulPlusUn(const QString &cumul)
{
    const QString text = cumul.trimmed();
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    if (digits.match(text).hasMatch()) {
        QString sum = text;
        int i = int(sum.size()) - 1;
        for (; i >= 0 && sum[i] == u'9'; --i)
            sum[i] = u'0';
        if (i < 0)
            sum.prepend(u'1');
        else
            sum[i] = QChar(sum[i].unicode() + 1);
        // Leading zeros as a number has none.
        while (sum.size() > 1 && sum.front() == u'0')
            sum.remove(0, 1);
        return sum;
    }
    static const QRegularExpression leading(QStringLiteral("^([+-]?\\d{1,18})"));
    const auto match = leading.match(text);
    const long long value = match.hasMatch() ? match.captured(1).toLongLong() : 0;
    return QString::number(value + 1);
}

IssuePret Emprunte(Module11 &m, const QHash<QString, QString> &montre)
{
    Feuilleenfant &d = m.données();
    if (montre.isEmpty())
        return IssuePret::Change; // nothing known was shown: nothing to lend
    const QString today = m.services().clock.now().toString(QStringLiteral("dd/MM/yyyy"));
    m.trapped([&] { d.Etiquette6().setText(QStringLiteral("O")); });
    m.trapped([&] { d.Etiquette7().setText(d.Etiquette3().text()); });
    m.trapped([&] { d.Etiquette13().setText(today); });
    m.trapped([&] { d.Etiquette8().setText(QStringLiteral("école")); });
    m.trapped([&] { d.Etiquette12().setText(cumulPlusUn(montre.value(QStringLiteral("cumul")))); });
    // The entry shows the loan as saved: today's date.
    return enregistre(m, QStringLiteral("Emprunt d'un document"), montre, [&] { return m.valeursJournal(); });
}

IssuePret Rend(Module11 &m, const QHash<QString, QString> &montre)
{
    Feuilleenfant &d = m.données();
    if (montre.isEmpty())
        return IssuePret::Change;
    const QString today = m.services().clock.now().toString(QStringLiteral("dd/MM/yyyy"));
    // The entry needs the borrower and the loan date as they were.
    Module11::JournalValues avant;
    if (!m.trapped([&] { avant = m.valeursJournal(); }))
        return IssuePret::Echoue;
    m.trapped([&] { d.Etiquette6().setText(QStringLiteral("N")); });
    m.trapped([&] { d.Etiquette7().setText(QString()); });
    m.trapped([&] { d.Etiquette13().setText(today); });
    m.trapped([&] { d.Etiquette8().setText(QString()); });
    return enregistre(m, QStringLiteral("Restitution d'un document"), montre, [&] { return avant; });
}
