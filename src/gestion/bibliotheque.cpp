#include "gestion/bibliotheque.h"

#include "data/database.h"
#include "data/pgbase.h"
#include "data/jetliteral.h"
#include "data/jetsql.h"
#include "data/sqlitestatement.h"
#include "folder/baseini.h"
#include "folder/champs.h"
#include "folder/intentionpret.h"
#include "folder/journal.h"
#include "folder/pretsserveur.h"
#include "platform/errornumbers.h"
#include "platform/paths.h"

#include <QCollator>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>

namespace {

const QStringList kChampsClasse{QStringLiteral("équipenuméro"), QStringLiteral("équipeinstituteur")};
const QStringList kChampsEnfant{QStringLiteral("matricule"), QStringLiteral("nomenfant"), QStringLiteral("prénomenfant"),
                                QStringLiteral("classe"), QStringLiteral("niveau")};
const QStringList kChampsLivre{QStringLiteral("inventaire"), QStringLiteral("titre"), QStringLiteral("éditeur"),
                               QStringLiteral("dewey"), QStringLiteral("motsclés"), QStringLiteral("emprunt"),
                               QStringLiteral("emprunté"), QStringLiteral("emprunteur"),
                               QStringLiteral("catégorieemprunteur"), QStringLiteral("dateemprunt"),
                               QStringLiteral("cumul")};
// The record's members in the order of kChampsLivre.
constexpr std::array<QString FicheLivre::*, 11> kMembresLivre{
    &FicheLivre::inventaire, &FicheLivre::titre,      &FicheLivre::editeur,   &FicheLivre::dewey,
    &FicheLivre::motscles,   &FicheLivre::emprunt,    &FicheLivre::emprunte,  &FicheLivre::emprunteur,
    &FicheLivre::categorie,  &FicheLivre::dateemprunt, &FicheLivre::cumul};
// The fields a teacher edits; the others are the loan's.
constexpr int kChampsCatalogue = 6;

struct Ligne
{
    qint64 rowid = -1;
    QStringList valeurs;
};

QString identifiantPg(const QString &nom)
{
    return QLatin1Char('"') + QString(nom).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// The statement's ? marks numbered $1, $2... for the server (the program's
// own statements: no ? within a literal).
QString numerote(const QString &sql)
{
    QString resultat;
    int n = 0;
    for (QChar c : sql)
        resultat += c == u'?' ? QStringLiteral("$%1").arg(++n) : QString(c);
    return resultat;
}

// An emptied field holds an empty text, as on the files, never NULL.
QStringList textes(QStringList valeurs)
{
    for (QString &v : valeurs)
        if (v.isNull())
            v = QStringLiteral("");
    return valeurs;
}

} // namespace

// One database of the folder: its file, or its schema on the folder's server.
class BaseDuDossier
{
public:
    std::shared_ptr<Database> fichier;
    BaseServeur *serveur = nullptr;
    QString schemaServeur;
    QString nomFichier;
    LockWait attente;

    const Schema &schema() const { return fichier ? fichier->schema() : serveur->schema(schemaServeur); }
    QString nom() const { return fichier ? fichier->path() : nomFichier; }
    PgConnexion &connexion() const { return serveur->connexion(); }
};

namespace {

// One table of a database, named as the database spells it (a file made by
// another tool may write "Titre" or "ÉQUIPE"). Rows are named by their rowid
// on the files, by their key column on the server.
class Table
{
public:
    // The fields of the row being read, from 0.
    using Champ = std::function<QString(int)>;

    Table(const BaseDuDossier &base, const QString &table, const QStringList &champs) : m_base(base)
    {
        const SchemaTable *t = base.schema().findTable(table);
        if (!t)
            throw AppError(ErrorNumber::TableNotFound,
                           QStringLiteral("La table « %1 » manque dans « %2 ».").arg(table, base.nom()));
        const auto quote = [&](const QString &n) { return base.serveur ? identifiantPg(n) : quoteIdentifier(n); };
        m_table = t->name;
        m_nom = base.serveur ? identifiantPg(base.schemaServeur) + QLatin1Char('.') + quote(t->name) : quote(t->name);
        m_cle = base.serveur ? QString::fromLatin1(BaseServeur::kColonneCle) : QStringLiteral("rowid");
        for (const QString &champ : champs) {
            const QString colonne = t->findColumn(champ);
            if (colonne.isEmpty())
                throw AppError(ErrorNumber::FieldNotFound, QStringLiteral("Le champ « %1 » manque dans la table « %2 » de « %3 ».")
                                                               .arg(champ, table, base.nom()));
            m_colonnes << quote(colonne);
        }
    }

    const QString &nom() const { return m_nom; }
    const QString &colonne(int i) const { return m_colonnes[i]; }
    int taille() const { return int(m_colonnes.size()); }

    QList<Ligne> lis(const QString &condition = {}, const QStringList &parametres = {}) const
    {
        QList<Ligne> lignes;
        parcours(condition, parametres, [&](qint64 rowid, const Champ &champ) {
            Ligne l;
            l.rowid = rowid;
            for (int i = 0; i < taille(); ++i)
                l.valeurs << champ(i);
            lignes << l;
        });
        return lignes;
    }

    // Each row in turn. On the server, within a write, the rows read are
    // locked until it ends: what is compared is what will be changed.
    void parcours(const QString &condition, const QStringList &parametres,
                  const std::function<void(qint64, const Champ &)> &ligne, bool pourModifier = false) const
    {
        QString sql = QStringLiteral("SELECT %1, %2 FROM %3").arg(m_cle, m_colonnes.join(QStringLiteral(", ")), m_nom);
        if (!condition.isEmpty())
            sql += QStringLiteral(" WHERE ") + condition;
        if (m_base.serveur) {
            if (pourModifier && m_base.connexion().enTransaction())
                sql += QStringLiteral(" FOR UPDATE");
            const PgConnexion::Lignes lignes = m_base.serveur->lecture(
                [&](PgConnexion &c) { return c.execute(numerote(sql), textes(parametres)); });
            for (const QStringList &l : lignes)
                ligne(l.front().toLongLong(), [&l](int i) { return l.value(i + 1); });
            return;
        }
        const Database &db = *m_base.fichier;
        SqliteStatement st(db.handle(), sql);
        st.throwIfNotPrepared();
        for (int i = 0; i < parametres.size(); ++i)
            lie(st.get(), i + 1, parametres[i]);
        const Champ champ = [&st](int i) { return texte(st.get(), i + 1); };
        int rc;
        while ((rc = st.step()) == SQLITE_ROW)
            ligne(sqlite3_column_int64(st.get(), 0), champ);
        if (rc != SQLITE_DONE)
            throwSqliteError(db.handle(), rc);
    }

    std::optional<Ligne> ligne(qint64 rowid) const
    {
        std::optional<Ligne> trouvee;
        parcours(m_cle + QStringLiteral(" = ") + QString::number(rowid), {}, [&](qint64 cle, const Champ &champ) {
            trouvee.emplace(Ligne{cle, {}});
            for (int i = 0; i < taille(); ++i)
                trouvee->valeurs << champ(i);
        }, true);
        return trouvee;
    }

    // Within the write: the record must still hold `avant` in the fields
    // given (all when none is).
    Ligne verifie(qint64 rowid, const QStringList &avant, const QString &quoi, int champs = -1) const
    {
        const std::optional<Ligne> l = ligne(rowid);
        if (!l)
            throw AppError(ErrorNumber::RecordDeleted,
                           QStringLiteral("%1 a été supprimé par un autre poste : rien n'a été enregistré.").arg(quoi));
        const int n = champs < 0 ? taille() : champs;
        if (l->valeurs.mid(0, n) != avant.mid(0, n))
            throw AppError(ErrorNumber::ChangedByAnother,
                           QStringLiteral("%1 a été modifié par un autre poste pendant que vous le modifiiez : rien "
                                          "n'a été enregistré. Voyez ce qu'il contient maintenant, puis recommencez.")
                               .arg(quoi));
        return *l;
    }

    void modifie(qint64 rowid, const QStringList &avant, const QStringList &apres) const
    {
        QStringList affectations;
        QStringList valeurs;
        for (int i = 0; i < taille(); ++i) {
            if (avant.value(i) == apres.value(i))
                continue;
            affectations << m_colonnes[i] + QStringLiteral(" = ?");
            valeurs << apres.value(i);
        }
        if (affectations.isEmpty())
            return;
        execute(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = %4")
                    .arg(m_nom, affectations.join(QStringLiteral(", ")), m_cle, QString::number(rowid)),
                valeurs);
    }

    qint64 insere(const QStringList &valeurs) const
    {
        QStringList marques;
        for (int i = 0; i < taille(); ++i)
            marques << QStringLiteral("?");
        const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(m_nom, m_colonnes.join(QStringLiteral(", ")), marques.join(QStringLiteral(", ")));
        if (m_base.serveur)
            return m_base.connexion().execute(numerote(sql) + QStringLiteral(" RETURNING ") + m_cle, textes(valeurs))
                .front().front().toLongLong();
        execute(sql, valeurs);
        return sqlite3_last_insert_rowid(m_base.fichier->handle());
    }

    // Compare and set of field i: false when the record no longer holds
    // `avant` (to the letter: the server's collation would take "Chat" for
    // "chat").
    bool remplaceSi(qint64 rowid, int i, const QString &avant, const QString &apres) const
    {
        if (m_base.serveur)
            return !m_base.connexion()
                        .execute(QStringLiteral("UPDATE %1 SET %2 = $1 WHERE %3 = %4 AND %2 COLLATE \"C\" = $2 RETURNING %3")
                                     .arg(m_nom, m_colonnes[i], m_cle, QString::number(rowid)),
                                 textes({apres, avant}))
                        .isEmpty();
        execute(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = %3 AND %2 = ?")
                    .arg(m_nom, m_colonnes[i], QString::number(rowid)),
                {apres, avant});
        return sqlite3_changes(m_base.fichier->handle()) > 0;
    }

    void supprime(qint64 rowid) const
    {
        execute(QStringLiteral("DELETE FROM %1 WHERE %2 = %3").arg(m_nom, m_cle, QString::number(rowid)), {});
    }

    // A Jet condition on this table, translated for its database.
    QString condition(const QString &jet) const
    {
        if (m_base.serveur)
            return translateCondition(jet, m_base.schema(), m_table, m_base.serveur->dialecte(m_base.schemaServeur));
        return translateCondition(jet, m_base.schema(), m_table);
    }

    // The first column of the first row of a statement (a count).
    qint64 nombre(const QString &sql) const
    {
        if (m_base.serveur)
            return m_base.serveur->lecture([&](PgConnexion &c) { return c.execute(sql); }).value(0).value(0).toLongLong();
        const Database &db = *m_base.fichier;
        SqliteStatement st(db.handle(), sql);
        st.throwIfNotPrepared();
        const int rc = st.step();
        if (rc != SQLITE_ROW)
            throwSqliteError(db.handle(), rc);
        return sqlite3_column_int64(st.get(), 0);
    }

    static QString texte(sqlite3_stmt *st, int i)
    {
        const auto *octets = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
        return octets ? QString::fromUtf8(octets, sqlite3_column_bytes(st, i)) : QString();
    }

private:
    static void lie(sqlite3_stmt *st, int i, const QString &valeur)
    {
        const QByteArray utf8 = valeur.toUtf8();
        sqlite3_bind_text(st, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }

    void execute(const QString &sql, const QStringList &valeurs) const
    {
        if (m_base.serveur) {
            m_base.connexion().execute(numerote(sql), textes(valeurs));
            return;
        }
        const Database &db = *m_base.fichier;
        SqliteStatement st(db.handle(), sql);
        st.throwIfNotPrepared();
        for (int i = 0; i < valeurs.size(); ++i)
            lie(st.get(), i + 1, valeurs[i]);
        const int rc = st.step();
        if (rc != SQLITE_DONE)
            throwSqliteError(db.handle(), rc);
    }

    const BaseDuDossier &m_base;
    QString m_table, m_nom;
    QString m_cle;
    QStringList m_colonnes;
};

// A write: on a file, a transaction taken at once with the file's write
// lock; on the server, a transaction holding the database's write lock
// (within one already open, it joins it: the two databases a renumbered
// child changes are then written together). Rolled back unless validated.
class Ecriture
{
public:
    explicit Ecriture(BaseDuDossier &base) : m_base(base)
    {
        if (!m_base.serveur) {
            run("BEGIN IMMEDIATE");
            return;
        }
        PgConnexion &c = m_base.connexion();
        if (!c.enTransaction()) {
            c.begin();
            m_proprietaire = true;
        }
        try {
            c.verrouilleTransaction(BaseServeur::cleEcriture(m_base.schemaServeur), m_base.attente, m_base.nomFichier);
        } catch (const AppError &) {
            abandonne();
            throw;
        }
    }
    ~Ecriture()
    {
        if (m_validee)
            return;
        if (!m_base.serveur)
            sqlite3_exec(m_base.fichier->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        else
            abandonne();
    }
    void valide()
    {
        if (!m_base.serveur) {
            run("COMMIT");
        } else if (m_proprietaire) {
            m_base.connexion().commit();
            m_base.serveur->signaleChangement();
        }
        m_validee = true;
    }

private:
    void abandonne()
    {
        if (!m_proprietaire)
            return;
        try {
            m_base.connexion().rollback();
        } catch (const AppError &) {
            // The connection went, and the transaction with it.
        }
    }
    void run(const char *sql)
    {
        const int rc = sqlite3_exec(m_base.fichier->handle(), sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throwSqliteError(m_base.fichier->handle(), rc);
    }
    BaseDuDossier &m_base;
    bool m_proprietaire = false;
    bool m_validee = false;
};

// The lending lock of the folder: its lock file, or the server's.
struct VerrouDesPrets
{
    std::optional<DurableFile::FileLock> fichiers;
    VerrouPretsServeur serveur;
};

VerrouDesPrets prendsVerrouPrets(ContextePrets &contexte, BaseServeur *serveur)
{
    VerrouDesPrets verrou;
    if (serveur)
        verrou.serveur = verrouPretsServeur(contexte, *serveur);
    else
        verrou.fichiers = verrouPrets(contexte);
    return verrou;
}

QStringList valeurs(const FicheEnfant &e) { return {e.matricule, e.nom, e.prenom, e.classe, e.niveau}; }

FicheEnfant ficheEnfant(const Ligne &l)
{
    const QStringList &v = l.valeurs;
    return {l.rowid, v[0], v[1], v[2], v[3], v[4]};
}

QStringList valeurs(const FicheLivre &f)
{
    return {f.inventaire, f.titre, f.editeur, f.dewey, f.motscles, f.emprunt,
            f.emprunte, f.emprunteur, f.categorie, f.dateemprunt, f.cumul};
}

FicheLivre ficheLivre(const Ligne &l)
{
    const QStringList &v = l.valeurs;
    return {l.rowid, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10]};
}

bool memeTexte(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

bool chiffres(const QString &texte)
{
    return !texte.isEmpty() && std::all_of(texte.begin(), texte.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

AppError refus(const QString &message)
{
    return AppError(ErrorNumber::ValidationRule, message);
}

// A matricule names the child's photograph: it must make a plain file name
// on this system and on Windows.
void verifieMatricule(const QString &matricule)
{
    if (matricule.isEmpty())
        throw refus(QStringLiteral("Le matricule est vide."));
    static const QString interdits = QStringLiteral("/\\:*?\"<>|");
    for (QChar c : matricule)
        if (c < u' ' || interdits.contains(c))
            throw refus(QStringLiteral("Le matricule « %1 » ne peut pas contenir le caractère « %2 ».").arg(matricule, c));
    if (matricule == u'.' || matricule == QStringLiteral("..") || matricule.size() > 40)
        throw refus(QStringLiteral("Le matricule « %1 » ne peut pas servir de nom de photographie.").arg(matricule));
}

void verifieLivre(const FicheLivre &f)
{
    if (Bibliotheque::inventaireNormalise(f.inventaire) != f.inventaire)
        throw refus(QStringLiteral("Le numéro « %1 » n'est pas un numéro d'inventaire : cinq chiffres au plus.").arg(f.inventaire));
    if (f.titre.trimmed().isEmpty())
        throw refus(QStringLiteral("Le titre est vide."));
    if (!f.dewey.isEmpty() && !f.dewey.front().isDigit())
        throw refus(QStringLiteral("La cote Dewey « %1 » doit commencer par un chiffre.").arg(f.dewey));
}

void supprimeFichier(const QString &chemin)
{
    if (!chemin.isEmpty() && QFileInfo(chemin).isFile())
        QFile::remove(chemin);
}

} // namespace

bool FicheLivre::pretable() const
{
    return memeTexte(emprunt, QStringLiteral("O"));
}

bool FicheLivre::sorti() const
{
    return memeTexte(emprunte, QStringLiteral("O"));
}

Bibliotheque::Bibliotheque(ContextePrets &contexte, const DossiersLuma &dossiers)
    : m_contexte(contexte), m_dossiers(dossiers), m_serveur(serveurDuDossier(dossiers.base))
{
}

// Read or written, a file is opened for writing: a file another program left
// half-written is put right rather than reported.
std::shared_ptr<BaseDuDossier> Bibliotheque::ouvre(const QString &fichier) const
{
    auto base = std::make_shared<BaseDuDossier>();
    base->attente = m_contexte.attenteVerrou();
    base->nomFichier = QFileInfo(fichier).fileName();
    if (m_serveur) {
        base->serveur = m_serveur.get();
        base->schemaServeur = BaseServeur::schemaDuFichier(fichier);
    } else {
        base->fichier = Database::open(fichier, Database::Mode::ReadWrite, base->attente);
    }
    return base;
}

QString Bibliotheque::fichierEcole() const
{
    return nativePath(m_dossiers.ecole + QStringLiteral("\\ALTEMARE.MDB"));
}

QString Bibliotheque::fichierCatalogue() const
{
    return nativePath(m_dossiers.base + QStringLiteral("\\LUMA.MDB"));
}

QString Bibliotheque::fichierDescripteurs() const
{
    return nativePath(m_dossiers.base + QStringLiteral("\\COTATION.MDB"));
}

QString Bibliotheque::inventaireNormalise(const QString &texte)
{
    const QString t = texte.trimmed();
    if (!chiffres(t) || t.size() > 5)
        return {};
    return t.rightJustified(5, u'0');
}

// ---- Classes

QList<FicheClasse> Bibliotheque::classes() const
{
    const auto db = ouvre(fichierEcole());
    QList<FicheClasse> classes;
    for (const Ligne &l : Table(*db, QStringLiteral("équipe"), kChampsClasse).lis())
        classes << FicheClasse{l.rowid, l.valeurs[0], int(valeurNumerique(l.valeurs[0])), l.valeurs[1]};
    std::stable_sort(classes.begin(), classes.end(), [](const auto &a, const auto &b) { return a.numero < b.numero; });
    return classes;
}

void Bibliotheque::enregistreClasse(const FicheClasse &avant, int numero, const QString &instituteur)
{
    if (numero < 1 || numero > 15)
        throw refus(QStringLiteral("Les classes vont de 1 à 15."));
    const auto db = ouvre(fichierEcole());
    const Table equipe(*db, QStringLiteral("équipe"), kChampsClasse);
    Ecriture ecriture(*db);
    if (avant.rowid >= 0) {
        const QStringList vu{avant.numeroTexte, avant.instituteur};
        equipe.verifie(avant.rowid, vu, QStringLiteral("La classe %1").arg(avant.numero));
        equipe.modifie(avant.rowid, vu, {vu[0], instituteur});
    } else {
        for (const Ligne &l : equipe.lis())
            if (int(valeurNumerique(l.valeurs[0])) == numero)
                throw AppError(ErrorNumber::ChangedByAnother,
                               QStringLiteral("La classe %1 vient d'être créée par un autre poste : rien n'a été "
                                              "enregistré. Voyez ce qu'elle contient maintenant, puis recommencez.")
                                   .arg(numero));
        equipe.insere({QString::number(numero), instituteur});
    }
    ecriture.valide();
}

// ---- Children

QList<FicheEnfant> Bibliotheque::enfants() const
{
    const auto db = ouvre(fichierEcole());
    QList<FicheEnfant> enfants;
    for (const Ligne &l : Table(*db, QStringLiteral("enfants"), kChampsEnfant).lis())
        enfants << ficheEnfant(l);
    QCollator francais(QLocale(QLocale::French, QLocale::France));
    francais.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(enfants.begin(), enfants.end(), [&](const FicheEnfant &a, const FicheEnfant &b) {
        const int c = francais.compare(a.nom, b.nom);
        return c != 0 ? c < 0 : francais.compare(a.prenom, b.prenom) < 0;
    });
    return enfants;
}

QList<FicheEnfant> Bibliotheque::enfantsDeClasse(int numero) const
{
    QList<FicheEnfant> classe;
    for (const FicheEnfant &e : enfants())
        if (int(valeurNumerique(e.classe)) == numero)
            classe << e;
    return classe;
}

QString Bibliotheque::prochainMatricule() const
{
    qint64 plusGrand = 0;
    for (const FicheEnfant &e : enfants())
        if (chiffres(e.matricule.trimmed()) && e.matricule.trimmed().size() < 16)
            plusGrand = std::max(plusGrand, e.matricule.trimmed().toLongLong());
    return QString::number(plusGrand + 1);
}

FicheEnfant Bibliotheque::ajouteEnfant(const FicheEnfant &nouveau)
{
    FicheEnfant e = nouveau;
    e.matricule = e.matricule.trimmed();
    verifieMatricule(e.matricule);
    if (e.nom.trimmed().isEmpty() && e.prenom.trimmed().isEmpty())
        throw refus(QStringLiteral("Donnez au moins le prénom de l'enfant."));
    const auto db = ouvre(fichierEcole());
    const Table table(*db, QStringLiteral("enfants"), kChampsEnfant);
    Ecriture ecriture(*db);
    for (const Ligne &l : table.lis())
        if (memeTexte(l.valeurs[0], e.matricule))
            throw refus(QStringLiteral("Le matricule « %1 » est déjà celui de %2 %3.").arg(e.matricule, l.valeurs[2], l.valeurs[1]));
    e.rowid = table.insere(valeurs(e));
    ecriture.valide();
    return e;
}

FicheEnfant Bibliotheque::modifieEnfant(const FicheEnfant &avant, const FicheEnfant &nouveau)
{
    FicheEnfant apres = nouveau;
    apres.rowid = avant.rowid;
    apres.matricule = apres.matricule.trimmed();
    verifieMatricule(apres.matricule);
    const bool renumerote = apres.matricule != avant.matricule;

    // The loans follow a renumbered child: no kiosk lends or takes back
    // meanwhile.
    std::optional<VerrouDesPrets> verrou;
    if (renumerote)
        verrou = prendsVerrouPrets(m_contexte, m_serveur.get());
    const auto db = ouvre(fichierEcole());
    const Table table(*db, QStringLiteral("enfants"), kChampsEnfant);
    Ecriture ecriture(*db);
    const QString quoi = QStringLiteral("La fiche de %1 %2").arg(avant.prenom, avant.nom);
    table.verifie(avant.rowid, valeurs(avant), quoi);
    QList<qint64> prets;
    std::shared_ptr<BaseDuDossier> catalogue;
    std::optional<Table> luma;
    if (renumerote) {
        for (const Ligne &l : table.lis())
            if (l.rowid != avant.rowid && memeTexte(l.valeurs[0], apres.matricule))
                throw refus(QStringLiteral("Le matricule « %1 » est déjà celui de %2 %3.").arg(apres.matricule, l.valeurs[2], l.valeurs[1]));
        catalogue = ouvre(fichierCatalogue());
        luma.emplace(*catalogue, QStringLiteral("luma"), kChampsLivre);
        Ecriture ecritureCatalogue(*catalogue);
        for (const Ligne &l : luma->lis()) {
            const FicheLivre f = ficheLivre(l);
            if (f.sorti() && memeTexte(f.emprunteur, avant.matricule)) {
                QStringList apresPret = l.valeurs;
                apresPret[7] = apres.matricule;
                luma->modifie(l.rowid, l.valeurs, apresPret);
                prets << l.rowid;
            }
        }
        ecritureCatalogue.valide();
    }
    table.modifie(avant.rowid, valeurs(avant), valeurs(apres));
    try {
        ecriture.valide();
    } catch (const AppError &) {
        // The school database refused: the loans go back to the old number
        // (on the server, one transaction held both and took them back).
        for (qint64 rowid : m_serveur ? QList<qint64>() : prets) {
            if (const auto l = luma->ligne(rowid)) {
                QStringList remis = l->valeurs;
                remis[7] = avant.matricule;
                luma->modifie(rowid, l->valeurs, remis);
            }
        }
        throw;
    }
    verrou.reset();
    if (renumerote) {
        const QString ancienne = fichierPhotoEnfant(m_dossiers.ecole, avant.matricule);
        const QString nouvelle = QDir(m_dossiers.ecole).filePath(apres.matricule + QStringLiteral(".BMP"));
        if (!ancienne.isEmpty() && QFileInfo(ancienne).isFile() && !QFileInfo::exists(nouvelle)
            && !QFile::rename(ancienne, nouvelle))
            m_contexte.GestionErreur(AppError(ErrorNumber::PermissionDenied,
                                              QStringLiteral("La photographie « %1 » n'a pas pu être renommée en « %2 ».")
                                                  .arg(ancienne, nouvelle)));
    }
    return apres;
}

void Bibliotheque::supprimeEnfant(const FicheEnfant &avant)
{
    // Under the lending lock: no kiosk lends to the child while it goes.
    VerrouDesPrets verrou = prendsVerrouPrets(m_contexte, m_serveur.get());
    const QList<FicheLivre> prets = livresEmpruntesPar(avant.matricule);
    if (!prets.isEmpty())
        throw AppError(ErrorNumber::InvalidOperation,
                       QStringLiteral("%1 %2 a encore « %3 » : rendez d'abord ce livre.")
                           .arg(avant.prenom, avant.nom, prets.front().titre));
    const auto db = ouvre(fichierEcole());
    const Table table(*db, QStringLiteral("enfants"), kChampsEnfant);
    Ecriture ecriture(*db);
    table.verifie(avant.rowid, valeurs(avant), QStringLiteral("La fiche de %1 %2").arg(avant.prenom, avant.nom));
    table.supprime(avant.rowid);
    ecriture.valide();
    // A child enrolled later under the same number must not get this photograph.
    bool autre = false;
    for (const FicheEnfant &e : enfants())
        autre = autre || memeTexte(e.matricule, avant.matricule);
    if (!autre)
        supprimeFichier(fichierPhotoEnfant(m_dossiers.ecole, avant.matricule));
}

// ---- Books

QList<FicheLivre> Bibliotheque::livres() const
{
    const auto db = ouvre(fichierCatalogue());
    QList<FicheLivre> livres;
    // A catalogue of 100,000 books: each read straight into its record.
    Table(*db, QStringLiteral("luma"), kChampsLivre).parcours({}, {}, [&](qint64 rowid, const Table::Champ &champ) {
        FicheLivre &f = livres.emplace_back();
        f.rowid = rowid;
        for (int i = 0; i < kChampsLivre.size(); ++i)
            f.*kMembresLivre[size_t(i)] = champ(i);
    });
    // Read in the table's order, which is most often already the numbers'.
    const auto parNumero = [](const FicheLivre &a, const FicheLivre &b) { return a.inventaire < b.inventaire; };
    if (!std::is_sorted(livres.begin(), livres.end(), parNumero))
        std::stable_sort(livres.begin(), livres.end(), parNumero);
    return livres;
}

std::optional<FicheLivre> Bibliotheque::livre(qint64 rowid) const
{
    const auto db = ouvre(fichierCatalogue());
    const auto l = Table(*db, QStringLiteral("luma"), kChampsLivre).ligne(rowid);
    if (!l)
        return std::nullopt;
    return ficheLivre(*l);
}

QList<FicheLivre> Bibliotheque::livresEmpruntesPar(const QString &matricule) const
{
    QList<FicheLivre> prets;
    for (const FicheLivre &f : livres())
        if (f.sorti() && memeTexte(f.emprunteur, matricule))
            prets << f;
    return prets;
}

QString Bibliotheque::prochainInventaire() const
{
    int plusGrand = 0;
    for (const FicheLivre &f : livres()) {
        const QString n = inventaireNormalise(f.inventaire);
        if (!n.isEmpty())
            plusGrand = std::max(plusGrand, n.toInt());
    }
    if (plusGrand >= 99999)
        throw refus(QStringLiteral("Tous les numéros d'inventaire jusqu'à 99999 sont pris."));
    return QString::number(plusGrand + 1).rightJustified(5, u'0');
}

FicheLivre Bibliotheque::ajouteLivre(const FicheLivre &nouveau)
{
    FicheLivre f = nouveau;
    f.inventaire = inventaireNormalise(f.inventaire).isEmpty() ? f.inventaire : inventaireNormalise(f.inventaire);
    f.emprunte = QStringLiteral("N");
    f.emprunteur.clear();
    f.categorie.clear();
    f.dateemprunt.clear();
    f.cumul = QStringLiteral("0");
    verifieLivre(f);
    const auto db = ouvre(fichierCatalogue());
    const Table luma(*db, QStringLiteral("luma"), kChampsLivre);
    Ecriture ecriture(*db);
    if (!luma.lis(luma.colonne(0) + QStringLiteral(" = ?"), {f.inventaire}).isEmpty())
        throw AppError(ErrorNumber::DuplicateKey,
                       QStringLiteral("Le numéro %1 est déjà celui d'un autre livre.").arg(f.inventaire));
    f.rowid = luma.insere(valeurs(f));
    ecriture.valide();
    return f;
}

FicheLivre Bibliotheque::modifieLivre(const FicheLivre &avant, const FicheLivre &nouveau)
{
    FicheLivre f = nouveau;
    f.inventaire = inventaireNormalise(f.inventaire).isEmpty() ? f.inventaire : inventaireNormalise(f.inventaire);
    verifieLivre(f);
    // Under the lending lock: a kiosk's intent names the book by its number.
    VerrouDesPrets verrou = prendsVerrouPrets(m_contexte, m_serveur.get());
    const auto db = ouvre(fichierCatalogue());
    const Table luma(*db, QStringLiteral("luma"), kChampsLivre);
    Ecriture ecriture(*db);
    const Ligne actuel = luma.verifie(avant.rowid, valeurs(avant), QStringLiteral("« %1 »").arg(avant.titre), kChampsCatalogue);
    if (f.inventaire != avant.inventaire
        && !luma.lis(luma.colonne(0) + QStringLiteral(" = ?"), {f.inventaire}).isEmpty())
        throw AppError(ErrorNumber::DuplicateKey,
                       QStringLiteral("Le numéro %1 est déjà celui d'un autre livre.").arg(f.inventaire));
    // The loan fields stay as they are now, whatever the form showed.
    QStringList apres = valeurs(f).mid(0, kChampsCatalogue) + actuel.valeurs.mid(kChampsCatalogue);
    luma.modifie(avant.rowid, actuel.valeurs, apres);
    ecriture.valide();
    verrou = {};
    if (f.inventaire != avant.inventaire) {
        const QString ancienne = fichierCouverture(m_dossiers.base, avant.inventaire);
        const QString nouvelle = nativePath(m_dossiers.base + QStringLiteral("\\LIVRES\\") + f.inventaire + QStringLiteral(".BMP"));
        if (!ancienne.isEmpty() && QFileInfo(ancienne).isFile() && !QFileInfo::exists(nouvelle)
            && !QFile::rename(ancienne, nouvelle))
            m_contexte.GestionErreur(AppError(ErrorNumber::PermissionDenied,
                                              QStringLiteral("La couverture « %1 » n'a pas pu être renommée en « %2 ».")
                                                  .arg(ancienne, nouvelle)));
    }
    FicheLivre resultat = ficheLivre(Ligne{avant.rowid, apres});
    return resultat;
}

void Bibliotheque::supprimeLivre(const FicheLivre &avant)
{
    VerrouDesPrets verrou = prendsVerrouPrets(m_contexte, m_serveur.get());
    const auto db = ouvre(fichierCatalogue());
    const Table luma(*db, QStringLiteral("luma"), kChampsLivre);
    Ecriture ecriture(*db);
    const QString quoi = QStringLiteral("« %1 »").arg(avant.titre);
    const FicheLivre actuel = ficheLivre(luma.verifie(avant.rowid, valeurs(avant), quoi));
    if (actuel.sorti())
        throw AppError(ErrorNumber::InvalidOperation, QStringLiteral("%1 est emprunté : rendez-le d'abord.").arg(quoi));
    luma.supprime(avant.rowid);
    ecriture.valide();
    if (luma.lis(luma.colonne(0) + QStringLiteral(" = ?"), {avant.inventaire}).isEmpty())
        supprimeFichier(fichierCouverture(m_dossiers.base, avant.inventaire));
}

FicheLivre Bibliotheque::rendsLivre(const FicheLivre &avant)
{
    const QString quoi = QStringLiteral("« %1 »").arg(avant.titre);
    if (!avant.sorti())
        throw AppError(ErrorNumber::InvalidOperation, QStringLiteral("%1 n'est pas emprunté.").arg(quoi));

    // The entry names the child as the kiosk's would: the borrower's record.
    JournalValues v;
    v.matricule = avant.emprunteur;
    for (const FicheEnfant &e : enfants()) {
        if (memeTexte(e.matricule, avant.emprunteur)) {
            v = {e.matricule, e.classe, e.niveau, e.nom, e.prenom, {}, {}, {}, {}};
            break;
        }
    }
    v.inventaire = avant.inventaire;
    v.titre = avant.titre;
    v.éditeur = avant.editeur;
    v.dateemprunt = avant.dateemprunt;
    const QDateTime maintenant = m_horloge();
    const EntreeJournal entree =
        composeJournal(m_dossiers.base, maintenant, QStringLiteral("Restitution d'un document"), v);

    FicheLivre apres = avant;
    apres.emprunte = QStringLiteral("N");
    apres.emprunteur.clear();
    apres.categorie.clear();
    apres.dateemprunt = maintenant.toString(QStringLiteral("dd/MM/yyyy"));

    VerrouDesPrets verrou = prendsVerrouPrets(m_contexte, m_serveur.get());
    const auto db = ouvre(fichierCatalogue());
    const Table luma(*db, QStringLiteral("luma"), kChampsLivre);
    const QStringList vu = valeurs(avant);
    if (m_serveur) {
        // As the kiosks lend there: the record and its pending entry in one
        // transaction, then the entry, then the row goes.
        qint64 enAttente = 0;
        {
            Ecriture ecriture(*db);
            luma.verifie(avant.rowid, vu, quoi);
            luma.modifie(avant.rowid, vu, valeurs(apres));
            enAttente = inscritPretEnCours(db->connexion(), m_contexte, entree, avant.inventaire);
            ecriture.valide();
        }
        // Without its entry the row stays, and whoever takes the lock next
        // writes it.
        if (ajouteAuJournal(entree, m_contexte.attenteVerrou()))
            effacePretEnCours(*m_serveur, enAttente);
        return apres;
    }
    // What the intent records is what the record holds under the lock.
    QHash<QString, QString> montre;
    for (const QString &champ : champsDuPret())
        montre.insert(champ, vu[kChampsLivre.indexOf(champ)]);
    luma.verifie(avant.rowid, vu, quoi);
    IntentionPret intention = IntentionPret::ecrit(m_contexte, entree, avant.rowid, montre);
    try {
        Ecriture ecriture(*db);
        luma.verifie(avant.rowid, vu, quoi);
        luma.modifie(avant.rowid, vu, valeurs(apres));
        ecriture.valide();
    } catch (...) {
        intention.termine();
        throw;
    }
    // Without its entry the intent stays, and whoever takes the lock next
    // writes it.
    if (ajouteAuJournal(entree, m_contexte.attenteVerrou()))
        intention.termine();
    return apres;
}

QStringList Bibliotheque::descripteurs() const
{
    const auto db = ouvre(fichierDescripteurs());
    QStringList mots;
    for (const Ligne &l : Table(*db, QStringLiteral("luma+"), {QStringLiteral("descripteur")}).lis())
        if (!l.valeurs[0].trimmed().isEmpty())
            mots << l.valeurs[0].trimmed();
    QCollator francais(QLocale(QLocale::French, QLocale::France));
    francais.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(mots.begin(), mots.end(), francais);
    mots.removeDuplicates();
    return mots;
}

// ---- Subject words

namespace {

// The condition of the kiosk's search by word (title or keywords), which a
// test holds equal to the kiosk's own.
QString conditionDuKiosque(const QString &mot)
{
    const QString motif = jetSearchWord(mot.trimmed());
    return QStringLiteral("(titre LIKE '*") + motif + QStringLiteral("*' OR motsclés LIKE '*") + motif +
           QStringLiteral("*')");
}

void verifieMotSujet(const QString &mot)
{
    if (mot.isEmpty())
        throw refus(QStringLiteral("Le mot est vide."));
    for (QChar c : mot) {
        // The kiosk's search keeps the Jet wildcards: "c*t" would find "chat"
        // and "cet" too.
        if (c == u'*' || c == u'?' || c == u'#')
            throw refus(QStringLiteral("Le mot « %1 » contient « %2 », que la recherche du kiosque prend pour un joker : "
                                       "elle trouverait d'autres mots. Écrivez-le sans ce signe.")
                            .arg(mot, c));
        if (c < u' ' || c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            throw refus(QStringLiteral("Le mot « %1 » contient un retour à la ligne ou un caractère invisible.").arg(mot));
    }
}

// The word alone in the keywords: no letter or digit either side.
QRegularExpression motEntier(const QString &mot)
{
    return QRegularExpression(QStringLiteral("(?<![\\p{L}\\p{N}])") + QRegularExpression::escape(mot.trimmed())
                                  + QStringLiteral("(?![\\p{L}\\p{N}])"),
                              QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
}

// The text with each match of motif replaced by nouveau, taken as it is
// (no back-references); nothing when no match.
std::optional<QString> remplaceMots(const QString &texte, const QRegularExpression &motif, const QString &nouveau)
{
    QString resultat;
    qsizetype fin = 0;
    QRegularExpressionMatchIterator it = motif.globalMatch(texte);
    if (!it.hasNext())
        return std::nullopt;
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        resultat += QStringView(texte).mid(fin, m.capturedStart() - fin);
        resultat += nouveau;
        fin = m.capturedEnd();
    }
    resultat += QStringView(texte).mid(fin);
    return resultat;
}

struct Remplacement
{
    qint64 rowid;
    QString avant, apres;
};

// The keywords (field 0 of luma) holding the word, and what they become.
QList<Remplacement> remplacements(const Table &luma, const QString &ancien, const QString &nouveau)
{
    QList<Remplacement> liste;
    const QRegularExpression motif = motEntier(ancien);
    const QString cherche = ancien.trimmed();
    luma.parcours({}, {}, [&](qint64 rowid, const Table::Champ &champ) {
        const QString texte = champ(0);
        if (!texte.contains(cherche, Qt::CaseInsensitive)) // cheaper than the expression
            return;
        if (const auto apres = remplaceMots(texte, motif, nouveau.trimmed()))
            liste << Remplacement{rowid, texte, *apres};
    });
    return liste;
}

} // namespace

QList<MotSujet> Bibliotheque::motsSujets() const
{
    QList<MotSujet> mots;
    {
        QHash<QString, qsizetype> rang;
        const auto db = ouvre(fichierDescripteurs());
        for (const Ligne &l : Table(*db, QStringLiteral("luma+"), {QStringLiteral("descripteur")}).lis()) {
            const QString mot = l.valeurs[0].trimmed();
            if (mot.isEmpty())
                continue;
            if (!rang.contains(mot)) {
                rang.insert(mot, mots.size());
                mots << MotSujet{mot, {}, 0};
            }
            mots[rang.value(mot)].lignes << l.rowid;
        }
    }
    QCollator francais(QLocale(QLocale::French, QLocale::France));
    francais.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(mots.begin(), mots.end(), [&](const MotSujet &a, const MotSujet &b) { return francais.compare(a.mot, b.mot) < 0; });

    const auto db = ouvre(fichierCatalogue());
    const Table luma(*db, QStringLiteral("luma"), {QStringLiteral("titre"), QStringLiteral("motsclés")});

    // A word without Jet wildcards is found by the kiosk's LIKE '*word*'
    // where the text, case folded as Jet folds it (code point by code point),
    // holds the word folded alike. So the catalogue is read once, its titles
    // and keywords folded into one UTF-8 text, and each word sought in it:
    // a few hundred words on 100,000 books take well under a second, where
    // running the condition once per word took seconds.
    QByteArray texte;
    std::vector<qsizetype> debuts; // where each book starts in texte
    luma.parcours({}, {}, [&](qint64, const Table::Champ &champ) {
        debuts.push_back(texte.size());
        // '\n' between the fields: no word counted here holds one.
        texte += champ(0).toCaseFolded().toUtf8() + '\n' + champ(1).toCaseFolded().toUtf8() + '\n';
    });
    for (MotSujet &m : mots) {
        const bool simple = std::none_of(m.mot.begin(), m.mot.end(), [](QChar c) {
            return c == u'*' || c == u'?' || c == u'#' || c == u'\n';
        });
        if (simple) {
            const QByteArray cherche = m.mot.toCaseFolded().toUtf8();
            int livres = 0;
            qsizetype depuis = 0;
            while (true) {
                const auto *trouve = static_cast<const char *>(
                    memmem(texte.constData() + depuis, size_t(texte.size() - depuis), cherche.constData(), size_t(cherche.size())));
                if (!trouve)
                    break;
                ++livres;
                // On to the next book.
                const auto livre = std::upper_bound(debuts.begin(), debuts.end(), trouve - texte.constData());
                if (livre == debuts.end())
                    break;
                depuis = *livre;
            }
            m.livres = livres;
            continue;
        }
        // A word from an older list that holds wildcards: the kiosk's own
        // condition, translated, on the catalogue.
        try {
            m.livres = int(luma.nombre(QStringLiteral("SELECT count(*) FROM %1 WHERE %2")
                                           .arg(luma.nom(), luma.condition(conditionDuKiosque(m.mot)))));
        } catch (const AppError &) {
            m.livres = -1; // the kiosk would report the error
        }
    }
    return mots;
}

MotSujet Bibliotheque::ajouteMotSujet(const QString &texte)
{
    const QString mot = texte.trimmed();
    verifieMotSujet(mot);
    const auto db = ouvre(fichierDescripteurs());
    const Table table(*db, QStringLiteral("luma+"), {QStringLiteral("descripteur")});
    Ecriture ecriture(*db);
    for (const Ligne &l : table.lis())
        if (memeTexte(l.valeurs[0], mot))
            throw refus(QStringLiteral("Le mot « %1 » est déjà dans la liste.").arg(l.valeurs[0].trimmed()));
    MotSujet nouveau{mot, {table.insere({mot})}, 0};
    ecriture.valide();
    return nouveau;
}

namespace {

// Under the write lock: the rows seen still hold the word; then every row
// holding it now.
QList<qint64> lignesDuMot(const Table &table, const MotSujet &avant)
{
    for (qint64 rowid : avant.lignes) {
        const std::optional<Ligne> l = table.ligne(rowid);
        if (!l)
            throw AppError(ErrorNumber::RecordDeleted,
                           QStringLiteral("Le mot « %1 » a été supprimé par un autre poste : rien n'a été enregistré.").arg(avant.mot));
        if (l->valeurs[0].trimmed() != avant.mot)
            throw AppError(ErrorNumber::ChangedByAnother,
                           QStringLiteral("Le mot « %1 » a été modifié par un autre poste (il est devenu « %2 ») : rien "
                                          "n'a été enregistré. Voyez la liste maintenant, puis recommencez.")
                               .arg(avant.mot, l->valeurs[0].trimmed()));
    }
    QList<qint64> lignes;
    for (const Ligne &l : table.lis())
        if (l.valeurs[0].trimmed() == avant.mot)
            lignes << l.rowid;
    return lignes;
}

} // namespace

void Bibliotheque::renommeMotSujet(const MotSujet &avant, const QString &texte)
{
    const QString mot = texte.trimmed();
    verifieMotSujet(mot);
    if (mot == avant.mot)
        return;
    const auto db = ouvre(fichierDescripteurs());
    const Table table(*db, QStringLiteral("luma+"), {QStringLiteral("descripteur")});
    Ecriture ecriture(*db);
    const QList<qint64> lignes = lignesDuMot(table, avant);
    for (const Ligne &l : table.lis())
        if (!lignes.contains(l.rowid) && memeTexte(l.valeurs[0], mot))
            throw refus(QStringLiteral("Le mot « %1 » est déjà dans la liste.").arg(l.valeurs[0].trimmed()));
    for (qint64 rowid : lignes)
        table.modifie(rowid, {QString()}, {mot});
    ecriture.valide();
}

void Bibliotheque::supprimeMotSujet(const MotSujet &avant)
{
    const auto db = ouvre(fichierDescripteurs());
    const Table table(*db, QStringLiteral("luma+"), {QStringLiteral("descripteur")});
    Ecriture ecriture(*db);
    for (qint64 rowid : lignesDuMot(table, avant))
        table.supprime(rowid);
    ecriture.valide();
}

int Bibliotheque::livresAvecMotCle(const QString &mot) const
{
    if (mot.trimmed().isEmpty())
        return 0;
    const auto db = ouvre(fichierCatalogue());
    return int(remplacements(Table(*db, QStringLiteral("luma"), {QStringLiteral("motsclés")}), mot, mot).size());
}

int Bibliotheque::remplaceMotCle(const QString &ancien, const QString &nouveau)
{
    if (ancien.trimmed().isEmpty())
        throw refus(QStringLiteral("Le mot à remplacer est vide."));
    verifieMotSujet(nouveau.trimmed());
    const auto db = ouvre(fichierCatalogue());
    const Table luma(*db, QStringLiteral("luma"), {QStringLiteral("motsclés")});
    // Read without the lock (a catalogue of 100,000 books), written under it.
    const QList<Remplacement> liste = remplacements(luma, ancien, nouveau);
    if (m_avantEcriture)
        m_avantEcriture();
    const QRegularExpression motif = motEntier(ancien);
    Ecriture ecriture(*db);
    int changes = 0;
    for (const Remplacement &r : liste) {
        if (r.apres == r.avant)
            continue;
        if (luma.remplaceSi(r.rowid, 0, r.avant, r.apres)) {
            ++changes;
            continue;
        }
        // Changed meanwhile: replaced in what it holds now.
        const std::optional<Ligne> l = luma.ligne(r.rowid);
        if (!l)
            continue;
        const auto apres = remplaceMots(l->valeurs[0], motif, nouveau.trimmed());
        if (apres && *apres != l->valeurs[0] && luma.remplaceSi(r.rowid, 0, l->valeurs[0], *apres))
            ++changes;
    }
    ecriture.valide();
    return changes;
}
