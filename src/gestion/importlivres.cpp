#include "gestion/importlivres.h"

#include "data/pgbase.h"

#include "data/database.h"
#include "data/sqlitestatement.h"
#include "platform/apperror.h"
#include "platform/datafile.h"
#include "platform/textfile.h"

#include <QHash>

#include <csv.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>

namespace {

enum class Colonne { Inventaire, Titre, Editeur, Dewey, MotsCles, Emprunt, Aucune };

// A header cell as it is compared: case folded, accents, blanks and
// punctuation dropped ("N° d'inventaire" -> "ndinventaire").
QString cle(const QString &entete)
{
    QString cle;
    for (const QChar c : entete.normalized(QString::NormalizationForm_KD)) {
        if (c.isLetterOrNumber())
            cle.append(c);
    }
    return cle.toCaseFolded();
}

Colonne colonneNommee(const QString &entete)
{
    struct Nom
    {
        const char *cle;
        Colonne colonne;
    };
    static constexpr std::array kNoms = {
        Nom{"inventaire", Colonne::Inventaire},
        Nom{"numero", Colonne::Inventaire},
        Nom{"numeros", Colonne::Inventaire},
        Nom{"n", Colonne::Inventaire},
        Nom{"no", Colonne::Inventaire},
        Nom{"num", Colonne::Inventaire},
        Nom{"ninventaire", Colonne::Inventaire},
        Nom{"noinventaire", Colonne::Inventaire},
        Nom{"ndinventaire", Colonne::Inventaire},
        Nom{"numeroinventaire", Colonne::Inventaire},
        Nom{"numerodinventaire", Colonne::Inventaire},
        Nom{"titre", Colonne::Titre},
        Nom{"titres", Colonne::Titre},
        Nom{"titredulivre", Colonne::Titre},
        Nom{"editeur", Colonne::Editeur},
        Nom{"editeurs", Colonne::Editeur},
        Nom{"edition", Colonne::Editeur},
        Nom{"editions", Colonne::Editeur},
        Nom{"dewey", Colonne::Dewey},
        Nom{"cote", Colonne::Dewey},
        Nom{"cotedewey", Colonne::Dewey},
        Nom{"indicedewey", Colonne::Dewey},
        Nom{"motscles", Colonne::MotsCles},
        Nom{"motcles", Colonne::MotsCles},
        Nom{"motscle", Colonne::MotsCles},
        Nom{"motcle", Colonne::MotsCles},
        Nom{"motsclefs", Colonne::MotsCles},
        Nom{"motclef", Colonne::MotsCles},
        Nom{"pretable", Colonne::Emprunt},
        Nom{"emprunt", Colonne::Emprunt},
        Nom{"empruntable", Colonne::Emprunt},
        Nom{"pret", Colonne::Emprunt},
    };
    const QString c = cle(entete);
    for (const Nom &nom : kNoms) {
        if (c == QLatin1String(nom.cle))
            return nom.colonne;
    }
    return Colonne::Aucune;
}

// A cell as the catalogue keeps it: a line break inside a quoted cell, tabs
// and runs of blanks become one space, other control characters go.
QString nettoie(const QString &cellule)
{
    QString texte = cellule;
    texte.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 || (u >= 0x7F && u < 0xA0)) && !c.isSpace();
    });
    return texte.simplified();
}

struct Enregistrement
{
    int ligne;
    QStringList champs;
};

// The records of the file with their rows as a spreadsheet numbers them: a
// blank line is a row too, a line break inside quotes is not.
struct Lecteur
{
    QList<Enregistrement> enregistrements;
    QStringList champs;
    int ligne = 1;
    bool apresCR = false;
    bool tropDeLignes = false;

    static void champ(void *donnees, size_t taille, void *lecteur)
    {
        auto *l = static_cast<Lecteur *>(lecteur);
        // Columns past the last one a spreadsheet could mean are dropped
        // unread: a row of millions of separators must not fill the memory.
        if (l->champs.size() < 1000)
            l->champs.append(QString::fromUtf8(static_cast<const char *>(donnees), qsizetype(taille)));
        l->apresCR = false;
    }

    static void finDeLigne(int caractere, void *lecteur)
    {
        auto *l = static_cast<Lecteur *>(lecteur);
        if (!l->champs.isEmpty()) {
            const bool vide = std::all_of(l->champs.cbegin(), l->champs.cend(),
                                          [](const QString &c) { return c.trimmed().isEmpty(); });
            // The header and the books, no more than the catalogue can number.
            if (!vide && l->enregistrements.size() > ImportLivres::kNumeroMax)
                l->tropDeLignes = true;
            else if (!vide)
                l->enregistrements.append({l->ligne, l->champs});
            l->champs.clear();
            ++l->ligne;
        } else if (!(caractere == CSV_LF && l->apresCR)) {
            ++l->ligne; // a blank line; the LF of a CR LF is not one
        }
        l->apresCR = caractere == CSV_CR;
    }
};

// The separator of the header line, ';' or ',' (the more frequent outside
// quotes; ';' as a French spreadsheet writes it when neither is there).
char separateurDe(const QString &texte)
{
    int pointsVirgules = 0;
    int virgules = 0;
    bool entreGuillemets = false;
    bool debut = true;
    for (const QChar c : texte) {
        if (c == u'"') {
            entreGuillemets = !entreGuillemets;
        } else if (!entreGuillemets) {
            if (c == u'\r' || c == u'\n') {
                if (!debut)
                    break;
                continue;
            }
            if (c == u';')
                ++pointsVirgules;
            else if (c == u',')
                ++virgules;
        }
        debut = false;
    }
    return virgules > pointsVirgules ? ',' : ';';
}

QList<Enregistrement> enregistrementsDe(const QByteArray &utf8, char separateur)
{
    csv_parser parser;
    if (csv_init(&parser, CSV_REPALL_NL) != 0)
        throw AppError(ErrorNumber::OutOfMemory, QStringLiteral("Mémoire insuffisante pour lire le fichier."));
    csv_set_delim(&parser, static_cast<unsigned char>(separateur));
    Lecteur lecteur;
    const size_t lus = csv_parse(&parser, utf8.constData(), size_t(utf8.size()), Lecteur::champ,
                                 Lecteur::finDeLigne, &lecteur);
    const bool complet = lus == size_t(utf8.size());
    csv_fini(&parser, Lecteur::champ, Lecteur::finDeLigne, &lecteur);
    csv_free(&parser);
    if (!complet)
        throw AppError(ErrorNumber::OutOfMemory, QStringLiteral("Mémoire insuffisante pour lire le fichier."));
    if (lecteur.tropDeLignes)
        throw AppError(ErrorNumber::InvalidArgument,
                       QStringLiteral("Le fichier a plus de %L1 lignes : le catalogue ne peut pas numéroter autant de livres.")
                           .arg(ImportLivres::kNumeroMax));
    return std::move(lecteur.enregistrements);
}

// A value of the file quoted in a reason, cut when long.
QString extrait(const QString &valeur)
{
    return valeur.size() <= 30 ? valeur : valeur.left(30) + QChar(0x2026);
}

QString enCinqChiffres(int numero)
{
    return QStringLiteral("%1").arg(numero, 5, 10, QLatin1Char('0'));
}

bool queDesChiffres(const QString &texte)
{
    return !texte.isEmpty() && std::all_of(texte.cbegin(), texte.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The value of a number written with digits only, or -1 past 99999.
int valeurDuNumero(const QString &chiffres)
{
    qsizetype debut = 0;
    while (debut < chiffres.size() - 1 && chiffres[debut] == u'0')
        ++debut;
    if (chiffres.size() - debut > 5)
        return -1;
    const int valeur = chiffres.mid(debut).toInt();
    return valeur <= ImportLivres::kNumeroMax ? valeur : -1;
}

// A lendable cell: 1 lendable, 0 not, -1 not understood.
int pretableDe(const QString &cellule)
{
    const QString c = cle(cellule);
    if (c.isEmpty() || c == u"o" || c == u"oui" || c == u"1" || c == u"x")
        return 1;
    if (c == u"n" || c == u"non" || c == u"0")
        return 0;
    return -1;
}

struct Ligne
{
    int ligne;
    QString numero; // as written, blanks aside
    int valeur;     // the number's value; 0 when empty, -1 when not a number up to 99999
    QString titre, editeur, dewey, motsCles, pretable;
};

const SchemaTable &tableLuma(Database &catalogue)
{
    const SchemaTable *table = catalogue.schema().findTable(QStringLiteral("luma"));
    if (!table)
        throw AppError(ErrorNumber::TableNotFound,
                       QStringLiteral("Le fichier « %1 » n'a pas de table « luma » : ce n'est pas un catalogue.")
                           .arg(catalogue.path()));
    return *table;
}

QString colonneDuCatalogue(Database &catalogue, const SchemaTable &table, const QString &nom)
{
    const QString colonne = table.findColumn(nom);
    if (colonne.isEmpty())
        throw AppError(ErrorNumber::FieldNotFound,
                       QStringLiteral("Le catalogue « %1 » n'a pas de colonne « %2 » : aucun livre n'a été ajouté.")
                           .arg(catalogue.path(), nom));
    return colonne;
}

void execute(sqlite3 *db, const char *sql)
{
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throwSqliteError(db, rc);
}

} // namespace

namespace {

// The numbers among the catalogue's texts of digits only, blanks aside.
void ajouteNumero(QSet<int> &numeros, const QString &texte)
{
    const QString numero = texte.trimmed();
    if (queDesChiffres(numero) && valeurDuNumero(numero) >= 0)
        numeros.insert(valeurDuNumero(numero));
}

const std::array<const char *, 11> kColonnes = {"inventaire", "titre",      "éditeur",  "dewey",
                                                "motsclés",   "emprunt",    "emprunté", "emprunteur",
                                                "catégorieemprunteur", "dateemprunt", "cumul"};

// A new book's fields, in the order of kColonnes.
std::array<QString, 11> valeursDe(const LivreImporte &livre)
{
    return {livre.inventaire, livre.titre, livre.editeur, livre.dewey, livre.motsCles,
            livre.pretable ? QStringLiteral("O") : QStringLiteral("N"), QStringLiteral("N"), QStringLiteral(""),
            QStringLiteral(""), QStringLiteral(""), QStringLiteral("0")};
}

// The numbers of the books already taken (each one once), or none.
QStringList dejaPris(QSet<int> pris, const QList<LivreImporte> &livres)
{
    QStringList dejaPris;
    for (const LivreImporte &livre : livres) {
        const int valeur = valeurDuNumero(livre.inventaire);
        if (pris.contains(valeur))
            dejaPris << livre.inventaire;
        pris.insert(valeur);
    }
    return dejaPris;
}

const SchemaTable &tableDuServeur(BaseServeur &serveur)
{
    const SchemaTable *table = serveur.schema(QStringLiteral("luma")).findTable(QStringLiteral("luma"));
    if (!table)
        throw AppError(ErrorNumber::TableNotFound,
                       QStringLiteral("Le serveur n'a pas de table « luma » : ce n'est pas un catalogue."));
    return *table;
}

QString colonneDuServeur(const SchemaTable &table, const QString &nom)
{
    const QString colonne = table.findColumn(nom);
    if (colonne.isEmpty())
        throw AppError(ErrorNumber::FieldNotFound,
                       QStringLiteral("Le catalogue du serveur n'a pas de colonne « %1 » : aucun livre n'a été ajouté.")
                           .arg(nom));
    return colonne;
}

QSet<int> numerosSurServeur(PgConnexion &c, const SchemaTable &table)
{
    QSet<int> numeros;
    const PgConnexion::Lignes lignes = c.execute(
        QStringLiteral("SELECT %1 FROM luma.%2")
            .arg(quoteIdentifier(colonneDuServeur(table, QStringLiteral("inventaire"))), quoteIdentifier(table.name)));
    for (const QStringList &ligne : lignes)
        ajouteNumero(numeros, ligne.value(0));
    return numeros;
}

} // namespace

QSet<int> ImportLivres::numerosDuCatalogue(Database &catalogue)
{
    const SchemaTable &table = tableLuma(catalogue);
    const QString colonne = colonneDuCatalogue(catalogue, table, QStringLiteral("inventaire"));
    SqliteStatement lecture(catalogue.handle(), QStringLiteral("SELECT %1 FROM %2")
                                                    .arg(quoteIdentifier(colonne), quoteIdentifier(table.name)));
    lecture.throwIfNotPrepared();
    QSet<int> numeros;
    int rc;
    while ((rc = lecture.step()) == SQLITE_ROW) {
        const auto *texte = reinterpret_cast<const char *>(sqlite3_column_text(lecture.get(), 0));
        ajouteNumero(numeros, QString::fromUtf8(texte, sqlite3_column_bytes(lecture.get(), 0)));
    }
    if (rc != SQLITE_DONE)
        throwSqliteError(catalogue.handle(), rc);
    return numeros;
}

QSet<int> ImportLivres::numerosDuCatalogue(BaseServeur &serveur)
{
    const SchemaTable &table = tableDuServeur(serveur);
    return serveur.lecture([&](PgConnexion &c) { return numerosSurServeur(c, table); });
}

LectureLivres ImportLivres::lit(const QString &cheminFichier, BaseServeur &serveur)
{
    const QByteArray contenu = DataFile::readAll(cheminFichier, kTailleMax);
    return analyse(contenu, numerosDuCatalogue(serveur));
}

AjoutLivres ImportLivres::ajoute(BaseServeur &serveur, const QList<LivreImporte> &livres, const LockWait &attente)
{
    const SchemaTable &table = tableDuServeur(serveur);
    QStringList colonnes, marques;
    for (const char *nom : kColonnes) {
        colonnes << quoteIdentifier(colonneDuServeur(table, QString::fromUtf8(nom)));
        marques << QStringLiteral("$%1").arg(marques.size() + 1);
    }
    const QString insertion = QStringLiteral("INSERT INTO luma.%1 (%2) VALUES (%3)")
                                  .arg(quoteIdentifier(table.name), colonnes.join(u','), marques.join(u','));
    AjoutLivres ajout;
    PgConnexion &c = serveur.connexion();
    {
        PgTransaction transaction(c);
        // Under the write lock: no other program gives a number until the commit.
        c.verrouilleTransaction(BaseServeur::cleEcriture(QStringLiteral("luma")), attente, QStringLiteral("LUMA.MDB"));
        ajout.dejaPris = dejaPris(numerosSurServeur(c, table), livres);
        if (!ajout.dejaPris.isEmpty())
            return ajout; // rolled back: nothing written
        for (const LivreImporte &livre : livres) {
            const std::array<QString, 11> valeurs = valeursDe(livre);
            c.execute(insertion, QStringList(valeurs.begin(), valeurs.end()));
            ++ajout.ajoutes;
        }
        transaction.commit();
    }
    try {
        serveur.signaleChangement();
    } catch (const AppError &) {
        // Written: the kiosks see it at their next change anyway.
    }
    return ajout;
}

LectureLivres ImportLivres::analyse(const QByteArray &contenu, const QSet<int> &numerosPris)
{
    LectureLivres lecture;
    const QString texte = TextFile::decodeWritten(contenu);
    const char separateur = separateurDe(texte);
    lecture.separateur = QLatin1Char(separateur);
    const QList<Enregistrement> enregistrements = enregistrementsDe(texte.toUtf8(), separateur);
    if (enregistrements.isEmpty())
        throw AppError(ErrorNumber::InputPastEnd, QStringLiteral("Le fichier est vide : il n'a pas même une ligne de titres de colonnes."));

    // Which column of the file feeds which field; the first of two alike wins.
    const QStringList &entetes = enregistrements.front().champs;
    QHash<Colonne, qsizetype> indices;
    for (qsizetype i = 0; i < entetes.size(); ++i) {
        const QString entete = nettoie(entetes[i]);
        const Colonne colonne = colonneNommee(entete);
        if (colonne != Colonne::Aucune && !indices.contains(colonne))
            indices.insert(colonne, i);
        else if (!entete.isEmpty())
            lecture.colonnesIgnorees.append(extrait(entete));
    }
    if (!indices.contains(Colonne::Titre))
        throw AppError(ErrorNumber::FieldNotFound,
                       QStringLiteral("Le fichier n'a pas de colonne « Titre » : sa première ligne doit nommer les "
                                      "colonnes (Numéro, Titre, Éditeur, Dewey, Mots-clés, Prêtable)."));
    const auto cellule = [&indices](const Enregistrement &e, Colonne colonne) {
        const qsizetype i = indices.value(colonne, -1);
        return i >= 0 ? nettoie(e.champs.value(i)) : QString();
    };

    QList<Ligne> lignes;
    QHash<int, QList<int>> lignesDuNumero;
    int plusGrand = 0;
    for (const int numero : numerosPris)
        plusGrand = std::max(plusGrand, numero);
    for (qsizetype i = 1; i < enregistrements.size(); ++i) {
        const Enregistrement &e = enregistrements[i];
        Ligne l{e.ligne,
                cellule(e, Colonne::Inventaire),
                0,
                cellule(e, Colonne::Titre),
                cellule(e, Colonne::Editeur),
                cellule(e, Colonne::Dewey),
                cellule(e, Colonne::MotsCles),
                cellule(e, Colonne::Emprunt)};
        if (!l.numero.isEmpty()) {
            l.valeur = queDesChiffres(l.numero) ? valeurDuNumero(l.numero) : -1;
            if (l.valeur >= 0) {
                lignesDuNumero[l.valeur].append(l.ligne);
                plusGrand = std::max(plusGrand, l.valeur);
            }
        }
        lignes.append(l);
    }

    int prochain = plusGrand + 1;
    for (const Ligne &l : std::as_const(lignes)) {
        QStringList raisons;
        if (!l.numero.isEmpty() && !queDesChiffres(l.numero)) {
            raisons << QStringLiteral("le numéro « %1 » doit n'avoir que des chiffres").arg(extrait(l.numero));
        } else if (l.valeur < 0) {
            raisons << QStringLiteral("le numéro %1 dépasse 99999").arg(extrait(l.numero));
        } else if (!l.numero.isEmpty()) {
            if (numerosPris.contains(l.valeur))
                raisons << QStringLiteral("le numéro %1 est déjà au catalogue").arg(enCinqChiffres(l.valeur));
            // A few of the others: a number on every row must not make each
            // reason list them all.
            QStringList autres;
            for (const int autre : std::as_const(lignesDuNumero[l.valeur])) {
                if (autres.size() == 3) {
                    autres << QStringLiteral("…");
                    break;
                }
                if (autre != l.ligne)
                    autres << QString::number(autre);
            }
            if (!autres.isEmpty())
                raisons << QStringLiteral("le numéro %1 est aussi celui de la ligne %2")
                               .arg(enCinqChiffres(l.valeur), autres.join(QStringLiteral(", ")));
        }
        if (l.titre.isEmpty())
            raisons << QStringLiteral("le titre est vide");
        // A longer cell is refused rather than cut without a word.
        const std::array<std::pair<const char *, const QString *>, 4> textes = {
            {{"le titre", &l.titre}, {"l'éditeur", &l.editeur}, {"la cote Dewey", &l.dewey}, {"les mots-clés", &l.motsCles}}};
        for (const auto &[nom, texte] : textes) {
            if (texte->size() > kLongueurMax)
                raisons << QStringLiteral("%1 a plus de %2 caractères").arg(QString::fromUtf8(nom)).arg(kLongueurMax);
        }
        if (l.dewey.isEmpty())
            raisons << QStringLiteral("la cote Dewey est vide");
        else if (l.dewey.front() < u'0' || l.dewey.front() > u'9')
            raisons << QStringLiteral("la cote Dewey « %1 » ne commence pas par un chiffre").arg(extrait(l.dewey));
        const int pretable = pretableDe(l.pretable);
        if (pretable < 0)
            raisons << QStringLiteral("« %1 » n'est pas une valeur de Prêtable (O, N, oui, non, 1, 0, x ou vide)")
                           .arg(extrait(l.pretable));
        const bool attribue = l.numero.isEmpty();
        if (raisons.isEmpty() && attribue && prochain > kNumeroMax)
            raisons << QStringLiteral("plus aucun numéro libre après 99999");
        if (!raisons.isEmpty()) {
            QString raison = raisons.join(QStringLiteral(" ; "));
            raison[0] = raison[0].toUpper();
            lecture.refus.append({l.ligne, raison});
            continue;
        }
        LivreImporte livre;
        livre.ligne = l.ligne;
        livre.inventaire = enCinqChiffres(attribue ? prochain++ : l.valeur);
        livre.numeroAttribue = attribue;
        livre.titre = l.titre;
        livre.editeur = l.editeur;
        livre.dewey = l.dewey;
        livre.motsCles = l.motsCles;
        livre.pretable = pretable == 1;
        lecture.livres.append(livre);
    }
    return lecture;
}

LectureLivres ImportLivres::lit(const QString &cheminFichier, Database &catalogue)
{
    const QByteArray contenu = DataFile::readAll(cheminFichier, kTailleMax);
    return analyse(contenu, numerosDuCatalogue(catalogue));
}

AjoutLivres ImportLivres::ajoute(Database &catalogue, const QList<LivreImporte> &livres)
{
    const SchemaTable &table = tableLuma(catalogue);
    QStringList colonnes, marques;
    for (const char *nom : kColonnes) {
        colonnes << quoteIdentifier(colonneDuCatalogue(catalogue, table, QString::fromUtf8(nom)));
        marques << QStringLiteral("?");
    }

    AjoutLivres ajout;
    sqlite3 *db = catalogue.handle();
    execute(db, "BEGIN IMMEDIATE");
    try {
        // Under the write lock: no other program can give a number until COMMIT.
        ajout.dejaPris = dejaPris(numerosDuCatalogue(catalogue), livres);
        if (!ajout.dejaPris.isEmpty()) {
            execute(db, "ROLLBACK");
            return ajout;
        }
        SqliteStatement insertion(db, QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
                                          .arg(quoteIdentifier(table.name), colonnes.join(u','), marques.join(u',')));
        insertion.throwIfNotPrepared();
        for (const LivreImporte &livre : livres) {
            const std::array<QString, 11> valeurs = valeursDe(livre);
            sqlite3_reset(insertion.get());
            for (int i = 0; i < int(valeurs.size()); ++i) {
                const QByteArray utf8 = valeurs[size_t(i)].toUtf8();
                sqlite3_bind_text(insertion.get(), i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            }
            const int rc = insertion.step();
            if (rc != SQLITE_DONE)
                throwSqliteError(db, rc);
            ++ajout.ajoutes;
        }
        execute(db, "COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return ajout;
}
