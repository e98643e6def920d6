#include "gestion/bibliotheque.h"

#include "data/database.h"
#include "data/jetliteral.h"
#include "data/jetsql.h"
#include "data/sqlitestatement.h"
#include "folder/champs.h"
#include "folder/intentionpret.h"
#include "folder/journal.h"
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

// One table of an open file, named as the file spells it (a file made by
// another tool may write "Titre" or "ÉQUIPE").
class Table
{
public:
    Table(const Database &db, const QString &table, const QStringList &champs) : m_db(db)
    {
        const SchemaTable *t = db.schema().findTable(table);
        if (!t)
            throw AppError(ErrorNumber::TableNotFound,
                           QStringLiteral("La table « %1 » manque dans « %2 ».").arg(table, db.path()));
        m_nom = quoteIdentifier(t->name);
        for (const QString &champ : champs) {
            const QString colonne = t->findColumn(champ);
            if (colonne.isEmpty())
                throw AppError(ErrorNumber::FieldNotFound, QStringLiteral("Le champ « %1 » manque dans la table « %2 » de « %3 ».")
                                                               .arg(champ, table, db.path()));
            m_colonnes << quoteIdentifier(colonne);
        }
    }

    const QString &nom() const { return m_nom; }
    const QString &colonne(int i) const { return m_colonnes[i]; }
    int taille() const { return int(m_colonnes.size()); }

    QList<Ligne> lis(const QString &condition = {}, const QStringList &parametres = {}) const
    {
        QList<Ligne> lignes;
        parcours(condition, parametres, [&](qint64 rowid, sqlite3_stmt *st) {
            Ligne l;
            l.rowid = rowid;
            for (int i = 0; i < taille(); ++i)
                l.valeurs << texte(st, i + 1);
            lignes << l;
        });
        return lignes;
    }

    // Each row in turn, its fields in the columns 1 to taille() of st.
    void parcours(const QString &condition, const QStringList &parametres,
                  const std::function<void(qint64, sqlite3_stmt *)> &ligne) const
    {
        QString sql = QStringLiteral("SELECT rowid, %1 FROM %2").arg(m_colonnes.join(QStringLiteral(", ")), m_nom);
        if (!condition.isEmpty())
            sql += QStringLiteral(" WHERE ") + condition;
        SqliteStatement st(m_db.handle(), sql);
        st.throwIfNotPrepared();
        for (int i = 0; i < parametres.size(); ++i)
            lie(st.get(), i + 1, parametres[i]);
        int rc;
        while ((rc = st.step()) == SQLITE_ROW)
            ligne(sqlite3_column_int64(st.get(), 0), st.get());
        if (rc != SQLITE_DONE)
            throwSqliteError(m_db.handle(), rc);
    }

    static QString texte(sqlite3_stmt *st, int i)
    {
        const auto *octets = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
        return octets ? QString::fromUtf8(octets, sqlite3_column_bytes(st, i)) : QString();
    }

    std::optional<Ligne> ligne(qint64 rowid) const
    {
        const QList<Ligne> l = lis(QStringLiteral("rowid = ") + QString::number(rowid));
        if (l.isEmpty())
            return std::nullopt;
        return l.front();
    }

    // Under the write lock: the record must still hold `avant` in the fields
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
        execute(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = %3")
                    .arg(m_nom, affectations.join(QStringLiteral(", ")), QString::number(rowid)),
                valeurs);
    }

    qint64 insere(const QStringList &valeurs) const
    {
        QStringList marques;
        for (int i = 0; i < taille(); ++i)
            marques << QStringLiteral("?");
        execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                    .arg(m_nom, m_colonnes.join(QStringLiteral(", ")), marques.join(QStringLiteral(", "))),
                valeurs);
        return sqlite3_last_insert_rowid(m_db.handle());
    }

    // Compare and set of field i: false when the record no longer holds `avant`.
    bool remplaceSi(qint64 rowid, int i, const QString &avant, const QString &apres) const
    {
        execute(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = %3 AND %2 = ?")
                    .arg(m_nom, m_colonnes[i], QString::number(rowid)),
                {apres, avant});
        return sqlite3_changes(m_db.handle()) > 0;
    }

    void supprime(qint64 rowid) const
    {
        execute(QStringLiteral("DELETE FROM %1 WHERE rowid = %2").arg(m_nom, QString::number(rowid)), {});
    }

private:
    static void lie(sqlite3_stmt *st, int i, const QString &valeur)
    {
        const QByteArray utf8 = valeur.toUtf8();
        sqlite3_bind_text(st, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }

    void execute(const QString &sql, const QStringList &valeurs) const
    {
        SqliteStatement st(m_db.handle(), sql);
        st.throwIfNotPrepared();
        for (int i = 0; i < valeurs.size(); ++i)
            lie(st.get(), i + 1, valeurs[i]);
        const int rc = st.step();
        if (rc != SQLITE_DONE)
            throwSqliteError(m_db.handle(), rc);
    }

    const Database &m_db;
    QString m_nom;
    QStringList m_colonnes;
};

// A write transaction: taken at once with the file's write lock, rolled back
// unless validated.
class Ecriture
{
public:
    explicit Ecriture(Database &db) : m_db(db) { run("BEGIN IMMEDIATE"); }
    ~Ecriture()
    {
        if (!m_validee)
            sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void valide()
    {
        run("COMMIT");
        m_validee = true;
    }

private:
    void run(const char *sql)
    {
        const int rc = sqlite3_exec(m_db.handle(), sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throwSqliteError(m_db.handle(), rc);
    }
    Database &m_db;
    bool m_validee = false;
};

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
    : m_contexte(contexte), m_dossiers(dossiers)
{
}

// Read or written, a file is opened for writing: a file another program left
// half-written is put right rather than reported.
std::shared_ptr<Database> Bibliotheque::ouvre(const QString &fichier) const
{
    return Database::open(fichier, Database::Mode::ReadWrite, m_contexte.attenteVerrou());
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
    std::optional<DurableFile::FileLock> verrou;
    if (renumerote)
        verrou = verrouPrets(m_contexte);
    const auto db = ouvre(fichierEcole());
    const Table table(*db, QStringLiteral("enfants"), kChampsEnfant);
    Ecriture ecriture(*db);
    const QString quoi = QStringLiteral("La fiche de %1 %2").arg(avant.prenom, avant.nom);
    table.verifie(avant.rowid, valeurs(avant), quoi);
    QList<qint64> prets;
    std::shared_ptr<Database> catalogue;
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
        // The school database refused: the loans go back to the old number.
        for (qint64 rowid : prets) {
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
    DurableFile::FileLock verrou = verrouPrets(m_contexte);
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
    Table(*db, QStringLiteral("luma"), kChampsLivre).parcours({}, {}, [&](qint64 rowid, sqlite3_stmt *st) {
        FicheLivre &f = livres.emplace_back();
        f.rowid = rowid;
        for (int i = 0; i < kChampsLivre.size(); ++i)
            f.*kMembresLivre[size_t(i)] = Table::texte(st, i + 1);
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
    DurableFile::FileLock verrou = verrouPrets(m_contexte);
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
    DurableFile::FileLock verrou = verrouPrets(m_contexte);
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

    DurableFile::FileLock verrou = verrouPrets(m_contexte);
    const auto db = ouvre(fichierCatalogue());
    const Table luma(*db, QStringLiteral("luma"), kChampsLivre);
    // What the intent records is what the record holds under the lock.
    QHash<QString, QString> montre;
    const QStringList vu = valeurs(avant);
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
    luma.parcours({}, {}, [&](qint64 rowid, sqlite3_stmt *st) {
        const QString texte = Table::texte(st, 1);
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
    luma.parcours({}, {}, [&](qint64, sqlite3_stmt *st) {
        debuts.push_back(texte.size());
        // '\n' between the fields: no word counted here holds one.
        texte += Table::texte(st, 1).toCaseFolded().toUtf8() + '\n' + Table::texte(st, 2).toCaseFolded().toUtf8() + '\n';
    });
    const QString table = db->schema().findTable(QStringLiteral("luma"))->name;
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
            SqliteStatement st(db->handle(), QStringLiteral("SELECT count(*) FROM %1 WHERE %2")
                                                 .arg(luma.nom(), translateCondition(conditionDuKiosque(m.mot), db->schema(), table)));
            st.throwIfNotPrepared();
            const int rc = st.step();
            if (rc != SQLITE_ROW)
                throwSqliteError(db->handle(), rc);
            m.livres = sqlite3_column_int(st.get(), 0);
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
