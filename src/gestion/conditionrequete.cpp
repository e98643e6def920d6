#include "gestion/conditionrequete.h"

#include "data/cursor.h"
#include "data/database.h"
#include "data/jetliteral.h"
#include "data/jetsql.h"
#include "data/pgbase.h"
#include "folder/requete.h"
#include "platform/apperror.h"

#include <QRegularExpression>

namespace {

const QString kDebut = QStringLiteral("SELECT * FROM luma WHERE ");

QString dansTitreOuMotsCles(const QString &mot)
{
    const QString motif = jetSearchWord(mot.trimmed());
    return QStringLiteral("(titre LIKE '*") + motif + QStringLiteral("*' OR motsclés LIKE '*") + motif +
           QStringLiteral("*')");
}

QString groupe(const QStringList &termes, const QString &operateur)
{
    return termes.size() == 1 ? termes.first() : u'(' + termes.join(u' ' + operateur + u' ') + u')';
}

[[noreturn]] void refuse(const QString &explication)
{
    throw AppError(ErrorNumber::SyntaxError, explication);
}

// The kiosk's error, said so that a teacher knows what to change.
AppError explique(const AppError &erreur)
{
    switch (erreur.number()) {
    case ErrorNumber::InvalidOperation:
        return AppError(erreur.number(), QStringLiteral("Une recherche ne peut que lire le catalogue : UPDATE, DELETE, "
                                                        "INSERT, DROP, CREATE, ALTER et toute écriture sont refusés."));
    case ErrorNumber::InvalidStatement:
        return AppError(erreur.number(), QStringLiteral("Une recherche est une instruction SELECT : ATTACH, PRAGMA et "
                                                        "les autres instructions sont refusées."));
    case ErrorNumber::CharactersAfterEnd:
        return AppError(erreur.number(), QStringLiteral("Une recherche est une seule instruction : rien ne peut suivre "
                                                        "le point-virgule."));
    default:
        return AppError(erreur.number(),
                        QStringLiteral("La LUMA ne pourrait pas faire cette recherche : %1").arg(erreur.description()));
    }
}

} // namespace

QString teteDeChoix(const ChoixRequete &choix)
{
    QStringList parties;
    QStringList mots;
    for (const QString &mot : choix.motsSujets)
        if (!mot.trimmed().isEmpty())
            mots << dansTitreOuMotsCles(mot);
    if (!mots.isEmpty())
        parties << groupe(mots, choix.tousLesMots ? QStringLiteral("AND") : QStringLiteral("OR"));
    if (!choix.mot.trimmed().isEmpty())
        parties << dansTitreOuMotsCles(choix.mot);
    QStringList classes;
    for (int classe = 0; classe < 10; ++classe)
        if (choix.classes.contains(classe))
            classes << QStringLiteral("dewey LIKE '%1*'").arg(classe);
    if (!classes.isEmpty())
        parties << u'(' + classes.join(QStringLiteral(" OR ")) + u')';
    if (choix.pretablesSeulement)
        parties << QStringLiteral("(emprunt = 'O')");
    return parties.isEmpty() ? QString() : kDebut + parties.join(QStringLiteral(" AND "));
}

std::optional<ChoixRequete> choixDeTete(const QString &tete, const QStringList &motsSujets)
{
    if (!tete.startsWith(kDebut))
        return std::nullopt;
    // The words searched and the classes named; the head is then built again
    // from them and must come out the same, letter for letter.
    static const QRegularExpression mot(QStringLiteral("\\(titre LIKE '\\*((?:[^']|'')*)\\*' OR motsclés LIKE '\\*((?:[^']|'')*)\\*'\\)"));
    static const QRegularExpression classe(QStringLiteral("dewey LIKE '(\\d)\\*'"));
    QStringList trouves;
    for (auto it = mot.globalMatch(tete); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(1) != m.captured(2))
            return std::nullopt;
        QString texte = m.captured(1);
        texte.replace(QStringLiteral("''"), QStringLiteral("'"));
        texte.replace(QStringLiteral("[[]"), QStringLiteral("["));
        trouves << texte;
    }
    ChoixRequete base;
    for (auto it = classe.globalMatch(tete); it.hasNext();)
        base.classes << it.next().captured(1).toInt();
    base.pretablesSeulement = tete.contains(QStringLiteral("(emprunt = 'O')"));
    QStringList sujets, autres;
    for (const QString &t : std::as_const(trouves)) {
        const bool sujet = std::any_of(motsSujets.begin(), motsSujets.end(),
                                       [&](const QString &s) { return s.trimmed() == t; });
        (sujet ? sujets : autres) << t;
    }
    // One word out of the list is the typed word; with none, the last
    // subject word may be it.
    QList<ChoixRequete> essais;
    for (bool tous : {false, true}) {
        ChoixRequete c = base;
        c.tousLesMots = tous;
        if (autres.size() <= 1) {
            c.motsSujets = sujets;
            c.mot = autres.value(0);
            essais << c;
        }
        if (autres.isEmpty() && !sujets.isEmpty()) {
            c.motsSujets = sujets.mid(0, sujets.size() - 1);
            c.mot = sujets.last();
            essais << c;
        }
    }
    for (const ChoixRequete &c : std::as_const(essais))
        if (teteDeChoix(c) == tete)
            return c;
    return std::nullopt;
}

ApercuRequete apercuRequete(const QString &tete, const QString &catalogue, int combien,
                            const std::shared_ptr<BaseServeur> &serveur)
{
    if (tete.trimmed().isEmpty())
        refuse(QStringLiteral("La recherche n'a pas encore de condition : choisissez un mot-sujet, un mot ou une classe."));
    if (tete.contains(u'"'))
        refuse(QStringLiteral("Écrivez les textes entre apostrophes ('chat') : un guillemet droit (\") ne peut pas "
                              "être enregistré dans le fichier de la recherche."));
    ApercuRequete apercu;
    bool entiere = false;
    try {
        // The head alone: what the document display needs, every field of
        // the catalogue, and a condition for the kiosk to add the classes to.
        std::shared_ptr<Database> db;
        if (!serveur)
            db = Database::open(catalogue, Database::Mode::ReadOnly);
        const TranslatedSelect seule =
            translateRecordSource(tete, serveur ? serveur->schema(BaseServeur::schemaDuFichier(catalogue)) : db->schema());
        entiere = seule.singleTable && seule.table.compare(QStringLiteral("luma"), Qt::CaseInsensitive) == 0 &&
                  seule.columnsSql == QStringLiteral("*") && !seule.whereSql.isEmpty() && seule.orderBySql.isEmpty();
        // Then as the kiosk runs it, with its data cursor.
        if (entiere) {
            Cursor curseur(QStringLiteral("luma"));
            curseur.setServeur(serveur);
            curseur.setDatabaseName(catalogue);
            curseur.setRecordSource(sourceRequete(tete, filtreDewey({})));
            curseur.refresh();
            apercu.nombre = curseur.recordCount();
            for (int i = 0; i < combien && curseur.hasCurrentRecord(); ++i) {
                apercu.premiers.append(
                    {curseur.field(QStringLiteral("inventaire")), curseur.field(QStringLiteral("titre"))});
                curseur.moveNext();
            }
        }
    } catch (const AppError &erreur) {
        throw explique(erreur);
    }
    if (!entiere)
        refuse(QStringLiteral("Une recherche lit tous les champs du catalogue et finit par sa condition : "
                              "SELECT * FROM luma WHERE …"));
    return apercu;
}
