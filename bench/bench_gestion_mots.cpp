// The subject words' page on a large catalogue: every word's books counted
// with the kiosk's search condition, in one pass over the catalogue, against
// one query per word; and a word replaced in the keywords.
//
// bench_gestion_mots [DOCUMENTS] [WORDS]   (100000 and 200 by default)

#include "benchsupport.h"
#include "contextebanc.h"

#include "data/database.h"
#include "data/jetliteral.h"
#include "data/jetsql.h"
#include "data/sqlitestatement.h"
#include "gestion/bibliotheque.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

using namespace bench;

namespace {

// Words of the catalogue's titles and keywords first, then words found in
// no book (each of them still reads the whole catalogue).
QStringList mots(int n)
{
    QStringList mots = {"loup", "ours", "lapin", "souris", "chat", "chien", "poule", "cochon", "vache", "renard",
                        "hérisson", "tortue", "éléphant", "girafe", "lion", "crocodile", "grenouille", "escargot",
                        "papillon", "abeille", "hibou", "baleine", "pingouin", "dinosaure", "dragon", "sorcière",
                        "princesse", "roi", "reine", "géant", "ogre", "fée", "pirate", "chevalier", "robot",
                        "fantôme", "monstre", "bébé", "animaux", "ferme", "nature", "amitié", "famille", "peur",
                        "nuit", "conte", "humour", "école", "saisons", "eau", "mer", "espace", "sciences",
                        "musique", "jeux", "comptines", "imagier", "histoire", "préhistoire", "Afrique", "Asie",
                        "planètes", "météo", "cuisine", "sport", "émotions", "colère", "Noël", "hiver", "forêt",
                        "montagne", "insectes", "oiseaux", "couleurs", "formes", "volcan", "hippopotame"};
    for (int i = 0; mots.size() < n; ++i)
        mots << QStringLiteral("sujet%1").arg(i);
    return mots.mid(0, n);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const int documents = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int nombre = argc > 2 ? std::atoi(argv[2]) : 200;
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir(root).mkpath(QStringLiteral("LALUMA/LIVRES"));
    QDir(root).mkpath(QStringLiteral("ALTEMARE"));
    makeCatalogue(root, documents);
    sqlite3 *cotation = openNew(root + QStringLiteral("/LALUMA/COTATION.MDB"));
    exec(cotation, "CREATE TABLE [luma+](descripteur TEXT); BEGIN");
    {
        Inserter mot(cotation, "INSERT INTO [luma+] VALUES(?1)");
        for (const QString &m : mots(nombre))
            mot.row({m});
    }
    exec(cotation, "COMMIT");
    sqlite3_close(cotation);

    ContexteBanc contexte(root + QStringLiteral("/LALUMA"));
    Bibliotheque bibliotheque(contexte, {root + QStringLiteral("/LALUMA"), root + QStringLiteral("/ALTEMARE")});

    std::vector<double> unPassage;
    qint64 total = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        total = 0;
        for (const MotSujet &m : bibliotheque.motsSujets())
            total += m.livres;
        unPassage.push_back(msSince(timer));
    }
    report(QStringLiteral("%1 words counted in one pass, %2 books").arg(nombre).arg(documents), unPassage, 2000);

    // The same counts, one query per word, for comparison.
    std::vector<double> parMot;
    {
        QElapsedTimer timer;
        timer.start();
        const auto db = Database::open(root + QStringLiteral("/LALUMA/LUMA.MDB"), Database::Mode::ReadOnly);
        qint64 verifie = 0;
        for (const QString &m : mots(nombre)) {
            const QString motif = jetSearchWord(m);
            const QString condition = translateCondition(QStringLiteral("(titre LIKE '*%1*' OR motsclés LIKE '*%1*')").arg(motif),
                                                         db->schema(), QStringLiteral("luma"));
            SqliteStatement st(db->handle(), QStringLiteral("SELECT count(*) FROM luma WHERE ") + condition);
            st.throwIfNotPrepared();
            st.step();
            verifie += sqlite3_column_int64(st.get(), 0);
        }
        parMot.push_back(msSince(timer));
        if (verifie != total)
            std::printf("counts differ: %lld against %lld\n", static_cast<long long>(verifie), static_cast<long long>(total));
    }
    report(QStringLiteral("%1 words counted one query each").arg(nombre), parMot);

    std::vector<double> remplace;
    for (const auto &[ancien, nouveau] : {std::pair{"volcan", "volcans"}, std::pair{"volcans", "volcan"}}) {
        QElapsedTimer timer;
        timer.start();
        const int n = bibliotheque.remplaceMotCle(QString::fromUtf8(ancien), QString::fromUtf8(nouveau));
        remplace.push_back(msSince(timer));
        std::printf("%d books changed\n", n);
    }
    report(QStringLiteral("a keyword replaced in %1 books").arg(documents), remplace, 2000);
    return 0;
}
