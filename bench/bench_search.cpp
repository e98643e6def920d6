// Latency of the search screens on a large catalogue.
//
//   bench_search [documents] [descriptors] [runs]
//
// Builds a data folder in a temporary directory (100000 documents and 5000
// descriptors by default; titles and keywords drawn from a small vocabulary,
// so that words are found in a few rows, in thousands, or in the keywords
// only; covers for the documents of the common word and for one document in
// 97), creates the program context and the search screens offscreen, and
// prints the median and the maximum, in milliseconds, of:
//  - a word search, from the touch of "je cherche" until the first document
//    found is shown and painted on the document display, for each word with
//    all classes and with two classes, target < 150 ms; beside it the same
//    query through the plain SQLite C API on the same file (SQLite's own
//    LIKE, every row stepped), as a reference;
//  - each "après" on the document display, the next document with its cover
//    read and painted, target < 5 ms;
//  - the descriptor list read at start-up, target < 100 ms.
// A figure passes when its median is under the target; the summary takes,
// for each figure, its slowest case.

#include "module/appcontext.h"
#include "benchsupport.h"
#include "search/feuilleaffichage.h"
#include "search/feuilledescripteurs.h"
#include "search/feuilleecriture.h"
#include "search/feuillerecherche.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

namespace {

using namespace bench;

// The subject words: accented, in mixed case, a few duplicated, a few empty,
// blank or NULL, inserted in a shuffled order.
void makeDescriptors(const QString &root, int descriptors)
{
    static const QStringList themes = {
        "animaux", "Animaux de la ferme", "animaux sauvages", "amitié", "Afrique", "alimentation", "alphabet",
        "anniversaire", "arbres", "arts plastiques", "automne", "bateaux", "bébés", "cirque", "colère", "comptines",
        "corps humain", "couleurs", "cuisine", "danse", "dinosaures", "eau", "école", "écriture", "électricité",
        "éléphants", "émotions", "énergie", "espace", "été", "Europe", "famille", "fées", "ferme", "fêtes",
        "fleurs", "forêt", "formes", "France", "fruits", "géants", "grands-parents", "habitat", "hiver",
        "hôpital", "humour", "igloo", "île", "insectes", "jardinage", "jeux", "jouets", "lecture", "légumes",
        "loup", "lune", "maison", "marché", "mer", "météo", "métiers", "montagne", "musique", "Noël", "nuit",
        "oiseaux", "ogres", "ours", "pain", "partage", "peinture", "peur", "pirates", "planètes", "plantes",
        "pluie", "poissons", "politesse", "pompiers", "préhistoire", "princesses", "printemps", "rivière",
        "robots", "saisons", "sciences", "sommeil", "sorcières", "sport", "téléphone", "temps", "transports",
        "trains", "vacances", "vélo", "village", "ville", "voitures", "volcan", "zoo", "Œufs"};
    static const QStringList aspects = {
        "", " (album)", " : documentaire", " : imagier", " : conte", " : comptine", " en Afrique", " en Asie",
        " en France", " d'autrefois", " d'aujourd'hui", " : jeux", " : bricolage", " : recettes", " : chansons",
        " : poésie", " la nuit", " en hiver", " en été", " au printemps", " en automne", " et les enfants",
        " : vocabulaire", " : expériences", " : histoire", " : géographie", " : théâtre", " : marionnettes",
        " : photographies", " : dessins", " : peur", " : humour", " : grands formats", " : petits formats",
        " : livres-CD", " : pop-up", " : tissu", " : bain", " : premiers mots", " : premiers pas",
        " : imaginaire", " : réalité", " : découverte", " : observation", " : classification", " : mesure",
        " : nombres", " : lettres", " : sons", " : rythmes", " : mouvement", " : lumière", " : ombres",
        " : miroir", " : aimants", " : air", " : feu", " : terre", " : glace", " : sable"};
    std::mt19937 random(4711);
    QStringList values;
    for (int i = 0; values.size() < descriptors; ++i) {
        if (i % 400 == 7)
            values << QString();
        else if (i % 700 == 11)
            values << QStringLiteral("   ");
        else if (i % 25 == 0 && !values.isEmpty())
            values << values[int(random() % unsigned(values.size()))];
        else
            values << themes[i % themes.size()] + aspects[(i / themes.size()) % aspects.size()];
    }
    std::shuffle(values.begin(), values.end(), random);

    sqlite3 *db = openNew(root + QStringLiteral("/LALUMA/COTATION.MDB"));
    exec(db, "CREATE TABLE [luma+](descripteur TEXT); BEGIN");
    {
        Inserter descriptor(db, "INSERT INTO [luma+] VALUES(?1)");
        for (const QString &value : values)
            descriptor.row({value});
    }
    for (int i = 0; i < 3; ++i)
        exec(db, "INSERT INTO [luma+] VALUES(NULL)");
    exec(db, "COMMIT");
    sqlite3_close(db);
}

void makeFolder(const QString &root, int documents, int descriptors)
{
    QDir(root).mkpath(QStringLiteral("LALUMA/LIVRES"));
    QDir(root).mkpath(QStringLiteral("LALUMA/SONS"));
    makeCatalogue(root, documents);
    makeDescriptors(root, descriptors);
}

// The same search through the plain C API: SQLite's LIKE, every row stepped.
// Returns the rows found. (SQLite serves this ORDER BY from the inventory
// index, reading the rows in its order rather than sorting those found.)
long long referenceSearch(sqlite3 *db, const QString &word, const QString &deweyCondition)
{
    const QByteArray sql = QStringLiteral("SELECT * FROM luma WHERE (titre LIKE '%%1%' OR motsclés LIKE '%%1%') "
                                          "AND (%2) ORDER BY inventaire")
                               .arg(word, deweyCondition)
                               .toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    long long rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        ++rows;
    sqlite3_finalize(stmt);
    return rows;
}

// A search of the word search screen: the word, the class condition as the
// search screen builds it and its SQLite form for the reference.
struct Case
{
    Case(QString w, QString f, QString sf, const char *c, bool p = false)
        : word(std::move(w)), filter(std::move(f)), sqliteFilter(std::move(sf)), classes(c), paged(p)
    {
    }
    QString word;
    QString filter;
    QString sqliteFilter;
    const char *classes;
    bool paged; // "après" is timed on its result
    std::vector<double> touchToShown, query, opened, reference;
    long long found = -1, referenceFound = -1;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int documents = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int descriptors = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int runs = std::max(1, argc > 3 ? std::atoi(argv[3]) : 9);
    const int pages = 200;

    QTemporaryDir dir;
    QElapsedTimer build;
    build.start();
    makeFolder(dir.path(), documents, descriptors);
    std::printf("data folder: %d documents, %d descriptors, built in %.1f s\n", documents, descriptors,
                double(build.elapsed()) / 1000);

    BenchRun run(dir.path() + QStringLiteral("/LALUMA"));
    AppContext &context = run.context;
    Module11 &module = context.module();
    Pointer &pointer = run.pointer;
    Messages &messages = run.messages;
    Feuilleenfant &d = context.données();
    {
        QElapsedTimer timer;
        timer.start();
        d.Donnée2().setDatabaseName(module.CheminBase() + QStringLiteral("/LUMA.MDB"));
        d.Donnée2().setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
        d.Donnée2().refresh();
        std::printf("whole catalogue in the cursor (start-up) in %.1f ms\n", msSince(timer));
    }

    // The descriptor list, as start-up reads it: the cursor already open on
    // the whole table (start-up's earlier step), then the sorted list read.
    feuilledescripteurs &descripteurs = context.FeuilleDescripteurs();
    std::vector<double> descriptorLoad;
    for (int run = 0; run < runs; ++run) {
        Cursor &cursor = d.Donnée3();
        cursor.setDatabaseName(module.CheminBase() + QStringLiteral("/COTATION.MDB"));
        cursor.setRecordSource(QStringLiteral("[luma+]"));
        cursor.refresh();
        QElapsedTimer timer;
        timer.start();
        module.trapped([&] { descripteurs.ChargeDescripteurs(); });
        descriptorLoad.push_back(msSince(timer));
    }
    const int listed = descripteurs.Liste1()->count();

    const QString all = QStringLiteral("dewey LIKE '*'");
    const QString two = QStringLiteral("dewey LIKE '5*' OR dewey LIKE '8*'");
    const QString sqliteAll = QStringLiteral("dewey LIKE '%'");
    const QString sqliteTwo = QStringLiteral("dewey LIKE '5%' OR dewey LIKE '8%'");
    // "après" is timed on the common word's documents, which have covers, and
    // on the keyword's, most of which have none.
    std::vector<Case> cases = {
        {kRare, all, sqliteAll, "all classes"},
        {kCommon, all, sqliteAll, "all classes", true},
        {kKeywordOnly, all, sqliteAll, "all classes", true},
        {kRare, two, sqliteTwo, "classes 5 and 8"},
        {kCommon, two, sqliteTwo, "classes 5 and 8"},
        {kKeywordOnly, two, sqliteTwo, "classes 5 and 8"},
    };

    sqlite3 *reference = nullptr;
    if (sqlite3_open_v2((module.CheminBase() + QStringLiteral("/LUMA.MDB")).toUtf8().constData(), &reference,
                        SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK)
        std::exit(1);

    Feuillerecherche &recherche = context.FeuilleRecherche();
    Feuilleécriture &ecriture = context.FeuilleÉcriture();
    feuilleaffichage &affichage = context.FeuilleAffichage();
    PaintCounter coverPaints;
    affichage.Dessin1()->installEventFilter(&coverPaints);
    ecriture.show();

    std::vector<double> pageWithCover, pageWithout, closeSearch;
    int repaintsForced = 0, notShown = 0;
    for (int run = 0; run < runs; ++run) {
        for (Case &c : cases) {
            module.setFiltreDewey(c.filter);
            ecriture.Texte1()->setText(c.word);
            QElapsedTimer timer;
            bool shown = false;
            // Runs once the display's modal loop has started: the first
            // document is set, the pending events are delivered and the
            // screen painted before the clock stops.
            QTimer::singleShot(0, &affichage, [&] {
                if (!affichage.isVisible())
                    return;
                shown = true;
                c.opened.push_back(msSince(timer));
                QApplication::processEvents();
                affichage.repaint();
                c.touchToShown.push_back(msSince(timer));
                c.query.push_back(pointer.queryDone);
                c.found = d.Donnée2().recordCount();
                pointer.watch(nullptr);

                // Paging: each "après" until its cover is painted.
                for (int page = 0; c.paged && page < pages && affichage.Commande2()->isEnabled(); ++page) {
                    const int paintsBefore = coverPaints.paints;
                    QElapsedTimer step;
                    step.start();
                    affichage.Commande2_Click();
                    QApplication::processEvents();
                    // Steps closer together than the platform's frame pacing
                    // (a few milliseconds) get their painting put off; a
                    // child's touches are further apart: it is done now.
                    if (coverPaints.paints == paintsBefore) {
                        affichage.repaint();
                        ++repaintsForced;
                    }
                    const double ms = msSince(step);
                    if (!d.Donnée2().hasCurrentRecord())
                        continue; // past the last document: an empty page
                    (affichage.Dessin1()->picture().isNull() ? pageWithout : pageWithCover).push_back(ms);
                }
                affichage.hide();
            });
            timer.start();
            pointer.watch(&timer);
            ecriture.Commande2_Click();
            pointer.watch(nullptr);
            if (!shown) {
                ++notShown;
                QApplication::processEvents(); // the timer, which finds the display hidden
            }

            QElapsedTimer ref;
            ref.start();
            c.referenceFound = referenceSearch(reference, c.word, c.sqliteFilter);
            c.reference.push_back(msSince(ref));
        }
        // The search screen's door puts the whole catalogue back.
        QElapsedTimer timer;
        timer.start();
        recherche.Command3D3_Click();
        closeSearch.push_back(msSince(timer));
    }
    sqlite3_close(reference);

    std::printf("\n");
    std::vector<std::vector<double>> searchCases, referenceCases;
    for (const Case &c : cases) {
        const QString name = QStringLiteral("\"%1\", %2").arg(c.word, QLatin1String(c.classes));
        std::printf("%s: %lld documents found (SQLite LIKE: %lld)\n", qPrintable(name), c.found, c.referenceFound);
        report(QStringLiteral("  touch until the first document is shown and painted"), c.touchToShown, 150);
        report(QStringLiteral("    touch until the query and its sort are done"), c.query);
        report(QStringLiteral("    touch until the display is up, before painting"), c.opened);
        report(QStringLiteral("  reference: the same query, plain SQLite"), c.reference);
        searchCases.push_back(c.touchToShown);
        referenceCases.push_back(c.reference);
    }
    std::printf("\n");
    report(QStringLiteral("\"après\", next document with a cover"), pageWithCover, 5);
    report(QStringLiteral("\"après\", next document without a cover"), pageWithout, 5);
    std::printf("  (%d step(s) whose painting the platform put off, repainted at once)\n", repaintsForced);
    report(QStringLiteral("search screen closed, whole catalogue back"), closeSearch);
    report(QStringLiteral("descriptor list read at start-up"), descriptorLoad, 100);
    std::printf("  (%d words listed)\n", listed);
    if (notShown)
        std::printf("%d search(es) showed no document\n", notShown);
    if (messages.shown)
        std::printf("%d message(s) shown\n", messages.shown);

    std::printf("\nsummary (%d documents, %d descriptors, %d runs; slowest case of each figure)\n", documents,
                descriptors, runs);
    verdict("word search, touch to first document shown", searchCases, 150);
    verdict("\"après\", next document shown", {pageWithCover, pageWithout}, 5);
    verdict("reference: the search in plain SQLite", referenceCases, 0);
    verdict("descriptor list load", {descriptorLoad}, 100);
    return 0;
}
