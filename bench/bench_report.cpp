// "Qui a quel livre ?" on a large school.
//
//   bench_report [documents] [children] [loans] [runs]
//
// Builds a demo data folder in a temporary directory (100000 documents and
// 5000 children by default), lends exactly `loans` documents (500) to as many
// children, a third of them late, and gives every borrower a photograph and
// every document a cover, all named in lower case as a copy from Windows may
// leave them (the slowest case: every picture is looked up without regard to
// case in a folder of 100000, read and drawn). Prints the median, in milliseconds, of reading the folder into the
// report, writing the PDF, writing the HTML page, and a whole run of the
// command (target < 3 s). Meanwhile another connection saves a loan every few
// milliseconds, as a kiosk would: the longest of those saves shows how long
// the report keeps a kiosk waiting.

#include "benchsupport.h"
#include "commande.h"
#include "demogenerator.h"
#include "rapport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using namespace bench;

// Exactly `loans` loans, spread over the catalogue and the children.
void lend(const QString &root, int documents, int children, int loans)
{
    sqlite3 *school = nullptr;
    sqlite3_open_v2((root + "/ALTEMARE/ALTEMARE.MDB").toUtf8().constData(), &school, SQLITE_OPEN_READONLY, nullptr);
    QStringList matricules;
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(school, "SELECT matricule FROM enfants", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        matricules << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(school);

    sqlite3 *catalogue = openNew(root + "/LALUMA/LUMA.MDB");
    exec(catalogue, "BEGIN; UPDATE luma SET emprunté = 'N', emprunteur = '', catégorieemprunteur = '' "
                    "WHERE emprunté = 'O'");
    Inserter update(catalogue, "UPDATE luma SET emprunt = 'O', emprunté = 'O', emprunteur = ?2, "
                               "catégorieemprunteur = 'école', dateemprunt = ?3 WHERE inventaire = ?1");
    const QDate today = QDate::currentDate();
    QStringList borrowers, lent;
    for (int i = 0; i < loans; ++i) {
        lent << demoInventory(int(qint64(i) * documents / loans));
        borrowers << matricules.at(int(qint64(i) * children / loans));
        update.row({lent.last(), borrowers.last(), today.addDays(-(i % 33)).toString("dd/MM/yyyy")});
    }
    exec(catalogue, "COMMIT");
    sqlite3_close(catalogue);

    // Pictures copied from Windows in lower case, every document with its
    // cover: each name differs in case from the one looked for, in a folder
    // of as many covers as documents.
    const auto lowerCase = [](const QString &folder) {
        for (const QString &name : QDir(folder).entryList(QDir::Files))
            QFile::rename(folder + "/" + name, folder + "/" + name.toLower());
    };
    lowerCase(root + "/ALTEMARE");
    lowerCase(root + "/LALUMA/LIVRES");
    const QString photo = root + "/ALTEMARE/" + QDir(root + "/ALTEMARE").entryList({"1*.bmp"}, QDir::Files).value(0);
    const QString cover = root + "/LALUMA/LIVRES/" + QDir(root + "/LALUMA/LIVRES").entryList(QDir::Files).value(0);
    for (const QString &matricule : std::as_const(borrowers))
        QFile::copy(photo, root + "/ALTEMARE/" + matricule + ".bmp");
    for (const QString &inventaire : std::as_const(lent))
        QFile::copy(cover, root + "/LALUMA/LIVRES/" + inventaire + ".bmp");
    for (int i = 0; i < documents; ++i) {
        QFile file(root + "/LALUMA/LIVRES/" + demoInventory(i) + ".bmp");
        if (!file.exists())
            file.open(QIODevice::WriteOnly); // never read: only its name counts
    }
}

// A kiosk saving loans on the same catalogue: how long each save waits.
class Kiosk
{
public:
    explicit Kiosk(const QString &catalogue)
    {
        sqlite3_open(catalogue.toUtf8().constData(), &m_db);
        sqlite3_busy_timeout(m_db, 5000);
        m_thread = std::thread([this] {
            while (!m_stop) {
                const auto start = std::chrono::steady_clock::now();
                const int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE; UPDATE luma SET cumul = cumul "
                                                  "WHERE inventaire = '00001'; COMMIT",
                                            nullptr, nullptr, nullptr);
                const double ms =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
                if (rc != SQLITE_OK) {
                    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
                    ++m_failed;
                }
                m_longest = std::max(m_longest.load(), ms);
                ++m_saves;
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
        });
    }
    ~Kiosk()
    {
        m_stop = true;
        m_thread.join();
        sqlite3_close(m_db);
    }
    double longest() const { return m_longest; }
    int saves() const { return m_saves; }
    int failed() const { return m_failed; }

private:
    sqlite3 *m_db = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_longest{0};
    std::atomic<int> m_saves{0};
    std::atomic<int> m_failed{0};
};

class Now : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int documents = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int children = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int loans = argc > 3 ? std::atoi(argv[3]) : 500;
    const int runs = argc > 4 ? std::atoi(argv[4]) : 5;

    QTemporaryDir dir;
    QElapsedTimer build;
    build.start();
    const DemoReport demo = generateDemo(DemoOptions{dir.path(), documents, children, false, 1});
    if (!demo.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(demo.error));
        return 1;
    }
    lend(dir.path(), documents, children, loans);
    std::printf("data folder: %d documents, %d children, %d loans, built in %.1f s\n", documents, children, loans,
                double(build.elapsed()) / 1000);

    const DossiersLuma dossiers = dossiersDuRapport(dir.path() + "/LALUMA");
    const QString pdf = dir.path() + "/prets.pdf";
    const QString html = dir.path() + "/prets.html";
    std::vector<double> reading, writingPdf, writingHtml, whole;
    Messages messages;
    Now clock;
    RapportPrets rapport;
    double longestSave = 0;
    int saves = 0, failedSaves = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        rapport = lisRapport(dossiers, clock.now(), kRetardParDefaut);
        reading.push_back(msSince(timer));
        timer.restart();
        ecrisPdf(rapport, pdf);
        writingPdf.push_back(msSince(timer));
        timer.restart();
        ecrisHtml(rapport, html);
        writingHtml.push_back(msSince(timer));

        // The whole command, with a kiosk saving loans all along.
        Kiosk kiosk(dossiers.base + "/LUMA.MDB");
        int code = -1;
        timer.restart();
        code = lanceRapport({dir.path() + "/LALUMA", "-o", pdf}, ServicesRapport{
                                clock, messages, [](const QString &) { return true; }, [](const QString &) {},
                                [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); }});
        whole.push_back(msSince(timer));
        longestSave = std::max(longestSave, kiosk.longest());
        saves += kiosk.saves();
        failedSaves += kiosk.failed();
        if (code != 0)
            return 1;
    }
    int photos = 0, covers = 0;
    for (const ClasseRapport &classe : rapport.classes)
        for (const EnfantRapport &enfant : classe.enfants) {
            photos += enfant.photo.isNull() ? 0 : 1;
            for (const PretRapport &pret : enfant.prets)
                covers += pret.couverture.isNull() ? 0 : 1;
        }
    std::printf("report: %d loans (%d late) of %d children in %lld classes, %d photographs and %d covers found; "
                "PDF %lld kB, HTML %lld kB\n",
                rapport.prets, rapport.retards, rapport.enfantsAvecPret, static_cast<long long>(rapport.classes.size()),
                photos, covers, QFileInfo(pdf).size() / 1024, QFileInfo(html).size() / 1024);
    report(QStringLiteral("reading the folder (databases and pictures)"), reading);
    report(QStringLiteral("writing the PDF"), writingPdf);
    report(QStringLiteral("writing the HTML page"), writingHtml);
    report(QStringLiteral("whole command, PDF"), whole, 3000);
    std::printf("a kiosk saving meanwhile: %d saves, %d failed, longest %.1f ms\n", saves, failedSaves, longestSave);
    return 0;
}
