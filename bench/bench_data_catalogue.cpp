// Scale and latency of the catalogue cursor on a generated catalogue.
//
//   bench_data_catalogue [documents] [runs]
//
// Builds a catalogue of `documents` records (100000 by default) in a
// temporary folder, then times, as the median of `runs` runs, the cursor's
// operations that the screens use, each beside the nearest plain SQLite query
// run through the C API in the same process, and the memory the cursor holds.

#include "data/cursor.h"
#include "platform/apperror.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

QString pick(QRandomGenerator &random, const QStringList &words)
{
    return words[int(random.bounded(quint32(words.size())))];
}

// Titles and keywords of a school library, with accents and mixed case.
void generate(const QString &path, int documents, int inventoryWidth)
{
    static const QStringList starts = {"Le", "La", "Les", "Un", "Une", "Mon", "Ma", "Petit", "Où est", "Quand"};
    static const QStringList nouns = {"loup", "chèvre", "éléphant", "ours", "renard", "école", "forêt", "maison",
                                      "lune", "soleil", "château", "dragon", "hérisson", "pirate", "bébé", "chat",
                                      "chien", "poule", "crocodile", "sorcière", "princesse", "tracteur", "pomme",
                                      "arbre", "étoile", "baleine", "île", "neige", "été", "Noël"};
    static const QStringList adjectives = {"petit", "grand", "gentil", "méchant", "bleu", "rouge", "perdu",
                                           "courageux", "gourmand", "endormi", "curieux", "joyeux"};
    static const QStringList places = {"dans la forêt", "à l'école", "sur la lune", "au zoo", "à la mer",
                                       "chez grand-mère", "en hiver", "la nuit", "", "", ""};
    static const QStringList publishers = {"L'École des loisirs", "Gallimard Jeunesse", "Nathan", "Milan",
                                           "Flammarion", "Bayard", "Hachette", "Casterman"};

    sqlite3 *db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db, "open");
    check(sqlite3_exec(db,
                       "CREATE TABLE luma(inventaire TEXT UNIQUE, titre TEXT, éditeur TEXT, dewey TEXT, "
                       "motsclés TEXT, emprunt TEXT, emprunté TEXT, emprunteur TEXT, catégorieemprunteur TEXT, "
                       "dateemprunt TEXT, cumul TEXT); BEGIN;",
                       nullptr, nullptr, nullptr),
          db, "create");
    sqlite3_stmt *insert = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO luma VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)", -1, &insert,
                             nullptr),
          db, "prepare");
    QRandomGenerator random(20091130);
    // Rows are inserted in a shuffled order, as years of cataloguing leave them.
    std::vector<int> numbers(static_cast<size_t>(documents));
    for (int i = 0; i < documents; ++i)
        numbers[size_t(i)] = i;
    std::shuffle(numbers.begin(), numbers.end(), std::mt19937(12345));
    for (int number : numbers) {
        const QString title = QStringLiteral("%1 %2 %3 %4")
                                  .arg(pick(random, starts), pick(random, nouns), pick(random, adjectives),
                                       pick(random, places))
                                  .trimmed();
        const QString keywords = QStringLiteral("%1 ; %2 ; %3").arg(pick(random, nouns), pick(random, nouns),
                                                                    pick(random, adjectives));
        const bool lent = random.bounded(10) == 0;
        const QString fields[11] = {
            QStringLiteral("%1").arg(number, inventoryWidth, 10, QLatin1Char('0')),
            title,
            pick(random, publishers),
            QString::number(random.bounded(1000)).rightJustified(3, '0') + (random.bounded(2) ? ".4" : ""),
            keywords,
            random.bounded(20) == 0 ? QStringLiteral("N") : QStringLiteral("O"),
            lent ? QStringLiteral("O") : QStringLiteral("N"),
            lent ? QString::number(1000 + random.bounded(2000)) : QString(),
            lent ? QStringLiteral("école") : QString(),
            QStringLiteral("%1/%2/2009").arg(1 + random.bounded(28), 2, 10, QLatin1Char('0')).arg(1 + random.bounded(12), 2, 10, QLatin1Char('0')),
            QString::number(random.bounded(40)),
        };
        for (int i = 0; i < 11; ++i) {
            const QByteArray utf8 = fields[i].toUtf8();
            sqlite3_bind_text(insert, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT; ANALYZE;", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
}

// `before`, when given, runs ahead of each timed run, outside the time.
double medianMs(int runs, const std::function<void()> &work, const std::function<void()> &before = {})
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (before)
            before();
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Times `work` and `floor` in turns, so that a machine busier for a while
// slows both alike; the medians of each.
std::pair<double, double> medianPairMs(int runs, const std::function<void()> &work,
                                       const std::function<void()> &floor, const std::function<void()> &before)
{
    std::vector<double> first, second;
    for (int i = 0; i < runs; ++i) {
        for (int which = 0; which < 2; ++which) {
            before();
            QElapsedTimer timer;
            timer.start();
            (which == 0 ? work : floor)();
            (which == 0 ? first : second).push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }
    std::sort(first.begin(), first.end());
    std::sort(second.begin(), second.end());
    return {first[first.size() / 2], second[second.size() / 2]};
}

// The nearest plain query: every row of the result stepped through.
long long runDirect(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *stmt = nullptr;
    check(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), db, sql);
    long long rows = 0;
    long long sum = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        sum += sqlite3_column_int64(stmt, 0);
        ++rows;
    }
    check(rc, db, sql);
    sqlite3_finalize(stmt);
    return rows + (sum & 0);
}

struct Row
{
    const char *name;
    double cursorMs;
    double directMs;
    double targetMs;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int documents = argc > 1 ? std::max(1000, atoi(argv[1])) : 100000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 7;
    const int width = std::max(5, int(QString::number(documents - 1).size()));

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("LUMA.MDB"));
    QElapsedTimer building;
    building.start();
    generate(path, documents, width);
    std::printf("catalogue of %d documents generated in %.1f s (%s)\n", documents, building.elapsed() / 1000.0,
                qPrintable(path));

    const QString wanted = QStringLiteral("%1").arg(54321 % documents, width, 10, QLatin1Char('0'));
    const QString inventoryFind = QStringLiteral("emprunt like 'O' AND inventaire like '%1'").arg(wanted);
    const QString loanFind = QStringLiteral("emprunt like 'O' AND catégorieemprunteur like 'école' AND emprunteur "
                                            "like '1234' AND emprunté like 'O'");
    const QString catalogue = QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC");
    const QString words = QStringLiteral("SELECT * FROM luma WHERE (titre LIKE '*loup*' OR motsclés LIKE '*loup*') "
                                         "AND (dewey LIKE '*') ORDER BY inventaire ASC");

    sqlite3 *direct = nullptr;
    check(sqlite3_open_v2(path.toUtf8().constData(), &direct, SQLITE_OPEN_READONLY, nullptr), direct, "open");
    // Read as the program reads a local file: through a memory map.
    sqlite3_exec(direct, "PRAGMA mmap_size = 268435456", nullptr, nullptr, nullptr);
    // Another program writing the catalogue: the cursor must then run its query again.
    sqlite3 *writer = nullptr;
    check(sqlite3_open_v2(path.toUtf8().constData(), &writer, SQLITE_OPEN_READWRITE, nullptr), writer, "open");
    const auto otherProgramWrites = [writer] {
        sqlite3_exec(writer, "UPDATE luma SET cumul = CASE cumul WHEN '1' THEN '2' ELSE '1' END WHERE rowid = 1", nullptr, nullptr, nullptr);
    };

    try {
        const size_t heapBefore = mallinfo2().uordblks + mallinfo2().hblkhd;
        Cursor cursor(QStringLiteral("luma"));
        cursor.setDatabaseName(path);
        cursor.setRecordSource(catalogue);
        cursor.refresh(); // opens the file once, as the program does at start
        const size_t heapAfter = mallinfo2().uordblks + mallinfo2().hblkhd;
        std::printf("catalogue cursor: %lld rows, heap held %.2f MB after refresh (target < 10 MB)\n",
                    cursor.recordCount(), double(heapAfter - heapBefore) / (1024.0 * 1024.0));

        std::vector<Row> rows;
        // The floor of a refresh after another program's write is the same
        // read by the C API after the same write: both then find their page
        // cache stale and fetch the pages again.
        const char *rawOrder = "SELECT rowid FROM luma ORDER BY inventaire";
        const auto [refreshMs, rawMs] = medianPairMs(
            runs, [&] { cursor.refresh(); }, [&] { runDirect(direct, rawOrder); }, otherProgramWrites);
        rows.push_back({"refresh SELECT * FROM luma ORDER BY inventaire", refreshMs, rawMs, 20});
        rows.push_back({"  direct, nothing written before (direct only)", -1,
                        medianMs(runs, [&] { runDirect(direct, rawOrder); }), 20});
        rows.push_back({"  same, the catalogue unchanged since", medianMs(runs, [&] { cursor.refresh(); }), -1, 20});
        rows.push_back({"  same, reading the key too (direct only)", -1, medianMs(runs, [&] { runDirect(direct, "SELECT rowid, inventaire FROM luma ORDER BY inventaire"); }),
                        20});
        const std::string directInventory =
            QStringLiteral("SELECT rowid FROM luma WHERE emprunt = 'O' AND inventaire = '%1'").arg(wanted).toStdString();
        rows.push_back({"findFirst inventory number",
                        medianMs(runs, [&] { cursor.moveFirst(); cursor.findFirst(inventoryFind); }),
                        medianMs(runs, [&] { runDirect(direct, directInventory.c_str()); }), 2});
        const bool inventoryFound = !cursor.noMatch() && cursor.field("inventaire") == wanted;
        rows.push_back({"findFirst current loan of a child",
                        medianMs(runs, [&] { cursor.moveFirst(); cursor.findFirst(loanFind); }),
                        medianMs(runs, [&] {
                            runDirect(direct, "SELECT rowid FROM luma WHERE emprunt = 'O' AND catégorieemprunteur = "
                                              "'école' AND emprunteur = '1234' AND emprunté = 'O'");
                        }),
                        20});
        Cursor search(QStringLiteral("luma"));
        search.setDatabaseName(path);
        search.setRecordSource(words);
        search.refresh();
        rows.push_back({"refresh word query *loup*", medianMs(runs, [&] { search.refresh(); }, otherProgramWrites),
                        medianMs(runs, [&] {
                            runDirect(direct, "SELECT rowid FROM luma WHERE (titre LIKE '%loup%' OR motsclés LIKE "
                                              "'%loup%') ORDER BY inventaire");
                        }),
                        100});

        std::printf("\n%-48s %10s %10s %7s %8s\n", "operation (median of runs)", "cursor ms", "direct ms", "ratio",
                    "target");
        bool allMet = true;
        for (const Row &row : rows) {
            if (row.cursorMs < 0) {
                std::printf("%-48s %10s %10.2f\n", row.name, "", row.directMs);
                continue;
            }
            const bool met = row.cursorMs < row.targetMs;
            allMet = allMet && met;
            if (row.directMs < 0)
                std::printf("%-48s %10.2f %10s %7s %6.0f %s\n", row.name, row.cursorMs, "", "", row.targetMs,
                            met ? "ok" : "MISSED");
            else
                std::printf("%-48s %10.2f %10.2f %7.1f %6.0f %s\n", row.name, row.cursorMs, row.directMs,
                            row.cursorMs / row.directMs, row.targetMs, met ? "ok" : "MISSED");
        }
        std::printf("\nword query: %lld documents; inventory %s %s\n", search.recordCount(), qPrintable(wanted),
                    inventoryFound ? "found" : "NOT FOUND");
        sqlite3_close(direct);
        sqlite3_close(writer);
        return allMet && inventoryFound ? 0 : 2;
    } catch (const AppError &error) {
        std::fprintf(stderr, "error %d: %s\n", error.number(), qPrintable(error.description()));
        sqlite3_close(direct);
        sqlite3_close(writer);
        return 1;
    }
}
