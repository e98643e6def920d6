// Latency of the saved requests on a large catalogue.
//
//   bench_requests [documents] [requests] [runs]
//
// Builds a data folder in a temporary directory (the catalogue of the search
// benchmark, 100000 documents by default, and 500 request files, each with
// its 100 x 80 picture in IMAGES), creates the program context and the picture
// requests screen offscreen, and prints the median and the maximum, in
// milliseconds, of:
//  - the request list read at start-up, from the 500 files and from an empty
//    REQUETES folder in turns: the difference, target < 200 ms; and, when
//    bench_startup and luma-demo are built beside this program, the whole
//    start-up to the main menu in fresh processes on a demo data folder, with
//    its REQUETES folder empty and then holding the 500 files;
//  - each "après" and "avant" of the picture requests screen, from the click
//    until the page of 18 pictures is painted, target < 30 ms;
//  - a request run by a double click on its picture, until the first document
//    found is shown and painted on the document display, for requests of
//    several kinds with all classes and with two classes, target < 150 ms;
//    beside it the same query through the plain SQLite C API on the same file
//    (the Jet head written by hand in SQLite's SQL, every row stepped), as a
//    reference.
// A figure passes when its median is under the target; the summary takes,
// for each figure, its slowest case.

#include "module/appcontext.h"
#include "benchsupport.h"
#include "platform/textfile.h"
#include "search/feuilleaffichage.h"
#include "search/recherche1.h"
#include "search/requetes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

using namespace bench;

// A request head as a request file holds it, and the same condition written
// by hand for SQLite (its own LIKE, % for *).
struct Head
{
    const char *what;
    QString jet;
    QString sqlite;
};

// The requests that are run, first in the folder (slots 0.. of page 1): a
// keyword found in about 2% of the catalogue, one found in half of it, a
// Dewey prefix, and an OR of two keywords between parentheses, as the
// teachers write them.
const std::vector<Head> kHeads = {
    {"keyword \"loup\"", QStringLiteral("SELECT * FROM luma WHERE motsclés LIKE '*loup*'"),
     QStringLiteral("SELECT * FROM luma WHERE motsclés LIKE '%loup%'")},
    {"keyword \"animaux\"", QStringLiteral("SELECT * FROM luma WHERE motsclés LIKE '*animaux*'"),
     QStringLiteral("SELECT * FROM luma WHERE motsclés LIKE '%animaux%'")},
    {"Dewey 59*", QStringLiteral("SELECT * FROM luma WHERE dewey LIKE '59*'"),
     QStringLiteral("SELECT * FROM luma WHERE dewey LIKE '59%'")},
    {"\"volcan\" or \"hiver\"",
     QStringLiteral("SELECT * FROM luma WHERE (motsclés LIKE '*volcan*' OR motsclés LIKE '*hiver*')"),
     QStringLiteral("SELECT * FROM luma WHERE (motsclés LIKE '%volcan%' OR motsclés LIKE '%hiver%')")},
};

// `count` request files R0001.RQT... in `laluma`/REQUETES (created when
// missing), one value a line between double quotes, Windows-1252 and CR LF as
// they are written outside the program; the heads above in turns; each with
// its own picture, a 24-bit BMP of 100 x 80 in IMAGES, and a sound name
// whose file does not exist.
void writeRequests(const QString &laluma, int count)
{
    QDir(laluma).mkpath(QStringLiteral("REQUETES"));
    QDir(laluma).mkpath(QStringLiteral("IMAGES"));
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("R") + number(i + 1, 4);
        QImage picture(100, 80, QImage::Format_RGB888);
        picture.fill(QColor::fromHsv(i * 37 % 360, 90, 240));
        QPainter painter(&picture);
        painter.setBrush(QColor::fromHsv(i * 37 % 360, 220, 160));
        painter.drawEllipse(20, 10, 60, 60);
        painter.drawText(picture.rect(), Qt::AlignCenter, QString::number(i + 1));
        painter.end();
        const QString picturePath = laluma + QStringLiteral("/IMAGES/") + name + QStringLiteral(".BMP");
        if (!picture.save(picturePath, "BMP")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(picturePath));
            std::exit(1);
        }

        const QStringList values = {kHeads[size_t(i) % kHeads.size()].jet,
                                    QStringLiteral("Requête n° %1").arg(i + 1), name + QStringLiteral(".BMP"),
                                    name + QStringLiteral(".WAV")};
        QFile file(laluma + QStringLiteral("/REQUETES/") + name + QStringLiteral(".RQT"));
        if (!file.open(QIODevice::WriteOnly)
            || file.write(TextFile::encode1252(QLatin1Char('"') + values.join(QStringLiteral("\"\r\n\"")) +
                                               QStringLiteral("\"\r\n")))
                   < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            std::exit(1);
        }
    }
}

// The same request through the plain C API, every row stepped. Returns the
// rows found.
long long referenceRun(sqlite3 *db, const QString &head, const QString &deweyCondition)
{
    const QByteArray sql =
        (head + QStringLiteral(" AND (") + deweyCondition + QStringLiteral(") ORDER BY inventaire")).toUtf8();
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

// The whole start-up in fresh processes: bench_startup --once, started in a
// demo data folder made by luma-demo, prints the seconds from its process
// start to the main menu. The runs alternate between an empty REQUETES folder
// and one holding `requests` files, swapped in by renaming. Returns false
// when a tool is missing or fails.
bool startupInProcesses(const QString &root, int documents, int requests, int runs, std::vector<double> &none,
                        std::vector<double> &full)
{
    const QString here = QCoreApplication::applicationDirPath();
    const QString startup = here + QStringLiteral("/bench_startup");
    const QString demo = here + QStringLiteral("/../tools/luma-demo");
    if (!QFile::exists(startup) || !QFile::exists(demo)) {
        std::printf("bench_startup or luma-demo not built: start-up in fresh processes skipped\n");
        return false;
    }
    const QString folder = root + QStringLiteral("/demo");
    if (QProcess::execute(demo, {folder, QStringLiteral("--documents"), QString::number(std::min(documents, 100000)),
                                 QStringLiteral("--children"), QStringLiteral("5000"), QStringLiteral("--no-sounds")})
        != 0) {
        std::printf("luma-demo failed: start-up in fresh processes skipped\n");
        return false;
    }
    const QString laluma = folder + QStringLiteral("/LALUMA");
    QDir base(laluma);
    // The demo's own requests are put aside: the folder holds none or ours.
    // Our pictures stay in IMAGES for both, which start-up does not read.
    base.rename(QStringLiteral("REQUETES"), QStringLiteral("REQUETES.demo"));
    writeRequests(laluma, requests);
    base.rename(QStringLiteral("REQUETES"), QStringLiteral("REQUETES.full"));
    base.mkdir(QStringLiteral("REQUETES"));

    const auto once = [&](std::vector<double> &times) {
        QProcess process;
        process.setWorkingDirectory(laluma);
        process.start(startup, {QStringLiteral("--once")});
        bool ok = process.waitForFinished(30000) && process.exitCode() == 0;
        const double seconds = ok ? process.readAllStandardOutput().trimmed().toDouble(&ok) : 0;
        if (!ok) {
            std::printf("bench_startup --once failed: %s\n", process.readAllStandardError().constData());
            return false;
        }
        times.push_back(seconds * 1000);
        return true;
    };
    for (int run = 0; run < runs; ++run) {
        if (!once(none))
            return false;
        base.rename(QStringLiteral("REQUETES"), QStringLiteral("REQUETES.none"));
        base.rename(QStringLiteral("REQUETES.full"), QStringLiteral("REQUETES"));
        const bool ok = once(full);
        base.rename(QStringLiteral("REQUETES"), QStringLiteral("REQUETES.full"));
        base.rename(QStringLiteral("REQUETES.none"), QStringLiteral("REQUETES"));
        if (!ok)
            return false;
    }
    return true;
}

// A request run from page 1 of the screen: its slot, the class condition as
// the search screen builds it and its SQLite form for the reference.
struct Case
{
    Case(int s, QString f, QString sf, const char *c)
        : slot(s), filter(std::move(f)), sqliteFilter(std::move(sf)), classes(c)
    {
    }
    int slot;
    QString filter;
    QString sqliteFilter;
    const char *classes;
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
    const int requests = std::max(int(kHeads.size()), argc > 2 ? std::atoi(argv[2]) : 500);
    const int runs = std::max(1, argc > 3 ? std::atoi(argv[3]) : 9);

    QTemporaryDir dir;
    const QString laluma = dir.path() + QStringLiteral("/LALUMA");
    const QString empty = dir.path() + QStringLiteral("/VIDE");
    QElapsedTimer build;
    build.start();
    QDir(laluma).mkpath(QStringLiteral("LIVRES"));
    QDir(laluma).mkpath(QStringLiteral("SONS"));
    QDir(empty).mkpath(QStringLiteral("REQUETES"));
    makeCatalogue(dir.path(), documents);
    writeRequests(laluma, requests);
    std::printf("data folder: %d documents, %d requests, built in %.1f s\n", documents, requests,
                double(build.elapsed()) / 1000);

    BenchRun run(laluma);
    AppContext &context = run.context;
    Module11 &module = context.module();
    Pointer &pointer = run.pointer;
    Messages &messages = run.messages;
    Feuilleenfant &d = context.données();
    d.Donnée2().setDatabaseName(laluma + QStringLiteral("/LUMA.MDB"));
    d.Donnée2().setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
    d.Donnée2().refresh();

    // The request list as start-up reads it, from an empty folder and from
    // the full one in turns; the data folder is the only thing the list
    // takes from the module.
    std::vector<double> listNone, listFull, listDifference;
    for (int run = 0; run < runs; ++run) {
        RequetesSauvegardees none;
        module.setCheminBase(empty);
        QElapsedTimer timer;
        timer.start();
        none.ListeRequetes(module);
        listNone.push_back(msSince(timer));
        module.setCheminBase(laluma);
        timer.start();
        context.requêtes().ListeRequetes(module);
        listFull.push_back(msSince(timer));
        listDifference.push_back(listFull.back() - listNone.back());
    }
    const int listed = context.requêtes().NbRequetes();

    // Paging: every "après" to the last page, then every "avant" back, each
    // until the title band and every picture slot shown have been painted.
    Recherche1 &screen = context.FeuilleRecherche1();
    screen.premièrePage();
    screen.show();
    QApplication::processEvents();
    PaintCounter pagePaints;
    screen.Panel3D1()->installEventFilter(&pagePaints);
    for (int k = 0; k < Recherche1::kCases; ++k)
        screen.Dessin1(k)->installEventFilter(&pagePaints);
    std::vector<double> forward, back;
    int repaintsForced = 0;
    const auto turn = [&](void (Recherche1::*click)(), std::vector<double> &times) {
        const int paintsBefore = pagePaints.paints;
        QElapsedTimer timer;
        timer.start();
        (screen.*click)();
        QApplication::processEvents();
        int shown = 1; // the title band
        for (int k = 0; k < Recherche1::kCases; ++k)
            shown += screen.Dessin1(k)->isVisible() ? 1 : 0;
        // As on the document display: turns closer together than the
        // platform's frame pacing get their painting put off; a child's
        // touches are further apart, so it is done now.
        if (pagePaints.paints - paintsBefore < shown) {
            screen.repaint();
            ++repaintsForced;
        }
        times.push_back(msSince(timer));
    };
    for (int run = 0; run < runs; ++run) {
        while (!screen.Command3D1()->isHidden())
            turn(&Recherche1::Command3D1_Click, forward);
        while (!screen.Command3D2()->isHidden())
            turn(&Recherche1::Command3D2_Click, back);
    }

    // The requests run from page 1, where the heads above are the first
    // slots.
    const QString all = QStringLiteral("dewey LIKE '*'");
    const QString two = QStringLiteral("dewey LIKE '5*' OR dewey LIKE '8*'");
    const QString sqliteAll = QStringLiteral("dewey LIKE '%'");
    const QString sqliteTwo = QStringLiteral("dewey LIKE '5%' OR dewey LIKE '8%'");
    std::vector<Case> cases;
    for (int k = 0; k < int(kHeads.size()); ++k)
        cases.emplace_back(k, all, sqliteAll, "all classes");
    for (int k = 0; k < int(kHeads.size()); ++k)
        cases.emplace_back(k, two, sqliteTwo, "classes 5 and 8");

    sqlite3 *reference = nullptr;
    if (sqlite3_open_v2((laluma + QStringLiteral("/LUMA.MDB")).toUtf8().constData(), &reference,
                        SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK)
        std::exit(1);

    feuilleaffichage &affichage = context.FeuilleAffichage();
    screen.premièrePage();
    int notShown = 0;
    for (int run = 0; run < runs; ++run) {
        for (Case &c : cases) {
            module.setFiltreDewey(c.filter);
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
                affichage.hide();
            });
            // A double click on a picture: its click selects it, then the
            // double click runs it.
            timer.start();
            pointer.watch(&timer);
            screen.Dessin1_Click(c.slot);
            screen.Dessin1_DblClick(c.slot);
            pointer.watch(nullptr);
            if (!shown) {
                ++notShown;
                QApplication::processEvents(); // the timer, which finds the display hidden
            }

            QElapsedTimer ref;
            ref.start();
            c.referenceFound = referenceRun(reference, kHeads[size_t(c.slot)].sqlite, c.sqliteFilter);
            c.reference.push_back(msSince(ref));
        }
    }
    sqlite3_close(reference);

    std::vector<double> startNone, startFull;
    std::fflush(stdout); // before luma-demo's own line
    const bool processes = startupInProcesses(dir.path(), documents, requests, runs, startNone, startFull);
    std::vector<double> startDifference;
    for (size_t i = 0; i < startFull.size(); ++i)
        startDifference.push_back(startFull[i] - startNone[i]);

    std::printf("\n");
    report(QStringLiteral("request list read, empty REQUETES folder"), listNone);
    report(QStringLiteral("request list read, %1 request files").arg(requests), listFull);
    report(QStringLiteral("  difference, run by run"), listDifference, 200);
    std::printf("  (%d requests listed)\n", listed);
    if (processes) {
        report(QStringLiteral("start-up to the main menu, no request"), startNone);
        report(QStringLiteral("start-up to the main menu, %1 requests").arg(requests), startFull);
        report(QStringLiteral("  difference, run by run (clock ticks of 10 ms)"), startDifference, 200);
    }
    std::printf("\n");
    report(QStringLiteral("\"après\", next page painted"), forward, 30);
    report(QStringLiteral("\"avant\", previous page painted"), back, 30);
    std::printf("  (%d pages; %d turn(s) whose painting the platform put off, repainted at once)\n",
                context.requêtes().NbPages(), repaintsForced);
    std::printf("\n");
    std::vector<std::vector<double>> runCases, referenceCases;
    for (const Case &c : cases) {
        std::printf("%s, %s: %lld documents found (SQLite LIKE: %lld)\n", kHeads[size_t(c.slot)].what, c.classes,
                    c.found, c.referenceFound);
        report(QStringLiteral("  double click to first document shown and painted"), c.touchToShown, 150);
        report(QStringLiteral("    double click to query and sort done"), c.query);
        report(QStringLiteral("    double click to display up, before painting"), c.opened);
        report(QStringLiteral("  reference: the same query, plain SQLite"), c.reference);
        runCases.push_back(c.touchToShown);
        referenceCases.push_back(c.reference);
    }
    if (notShown)
        std::printf("%d request(s) showed no document\n", notShown);
    if (messages.shown)
        std::printf("%d message(s) shown\n", messages.shown);

    std::printf("\nsummary (%d documents, %d requests, %d runs; slowest case of each figure)\n", documents, requests,
                runs);
    verdict(qPrintable(QStringLiteral("start-up: request list, %1 files minus none").arg(requests)),
            {listDifference}, 200);
    if (processes)
        verdict(qPrintable(QStringLiteral("start-up to main menu, %1 minus none").arg(requests)), {startDifference},
                200);
    verdict("page turn, click to page painted", {forward, back}, 30);
    verdict("request run, double click to document shown", runCases, 150);
    verdict("reference: the request in plain SQLite", referenceCases, 0);
    return 0;
}
