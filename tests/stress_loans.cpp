// Several kiosks on one catalogue, some of them killed at random moments.
//
//   stress_loans [operations per process] [kills]
//   stress_loans --serveur [operations per process] [kills]
//
// With --serveur the folder's databases are on a throwaway PostgreSQL server
// (BASE.INI), eight kiosks run side by side, and the server is restarted
// while they lend.
//
// Processes, each with its own connections, borrow and return the same
// twenty books in random order through the lending code the screens use,
// first side by side, then while processes are killed with SIGKILL at random
// moments. Then, as the next start of a kiosk would, the interrupted loans are
// settled, and the files are checked: the catalogue is sound, every book's
// state is what its journal entries give, its count is its number of
// journaled loans, and no journal holds a torn entry. Prints what it found;
// the exit status is 0 only when nothing disagrees. With STRESS_KEEP=DIR set, a
// run that disagrees copies its data folder there to be looked at.

#include "datafolder.h"
#include "pgdossier.h"
#include "testcontext.h"
#include "testdb.h"

#include "data/pgbase.h"
#include "folder/baseini.h"
#include "folder/intentionpret.h"
#include "folder/pretsserveur.h"
#include "lending/pret.h"
#include "platform/datafile.h"
#include "platform/textfile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <limits>
#include <cstdio>
#include <random>

namespace {

constexpr int kBooks = 20;
constexpr int kChildren = 5;

QString book(int i)
{
    return QStringLiteral("%1").arg(i + 1, 5, 10, QLatin1Char('0'));
}

// One kiosk: a child shown a book, then touching borrow or return.
int worker(const QString &root, unsigned seed, int operations)
{
    TestContext t;
    Module11 &m = t.module();
    t.clock.current = QDateTime::currentDateTime();
    m.setCheminBase(root + QStringLiteral("/LALUMA"));
    m.setCheminEcole(root + QStringLiteral("/ALTEMARE"));
    Feuilleenfant &d = t.context.données();
    d.setServeur(serveurDuDossier(m.CheminBase()));
    Cursor &children = d.Donnée1();
    Cursor &catalogue = d.Donnée2();
    children.setDatabaseName(root + QStringLiteral("/ALTEMARE/ALTEMARE.MDB"));
    children.setRecordSource(QStringLiteral("SELECT * FROM enfants ORDER BY matricule"));
    catalogue.setDatabaseName(root + QStringLiteral("/LALUMA/LUMA.MDB"));
    catalogue.setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));

    std::mt19937 random(seed);
    for (int op = 0; op < operations && !m.programEnded(); ++op) {
        const QString inventaire = book(int(random() % kBooks));
        QHash<QString, QString> shown;
        QString borrower;
        const bool looked = m.trapped([&] {
            children.refresh();
            catalogue.refresh();
            catalogue.moveFirst();
            catalogue.findFirst(QStringLiteral("inventaire = '%1'").arg(inventaire));
            shown = etatMontre(d);
            borrower = shown.value(QStringLiteral("emprunteur"));
            children.moveFirst();
            if (shown.value(QStringLiteral("emprunté")) == QLatin1String("O"))
                children.findFirst(QStringLiteral("matricule = '%1'").arg(borrower));
            else
                for (int k = int(random() % kChildren); k > 0; --k)
                    children.moveNext();
        });
        if (!looked) {
            QThread::msleep(100);
            continue;
        }
        // The child hesitates a moment: long enough for another kiosk to
        // touch the same book.
        QThread::usleep(random() % 2000);
        const qsizetype before = t.messages.shown.size();
        if (shown.value(QStringLiteral("emprunté")) == QLatin1String("O"))
            Rend(m, shown);
        else
            Emprunte(m, shown);
        // A server restarting: the child waits a moment before touching again.
        if (t.messages.shown.size() > before)
            QThread::msleep(100);
    }
    for (const ShownMessage &message : std::as_const(t.messages.shown))
        std::fprintf(stderr, "worker %u: %s\n", seed, qPrintable(message.text));
    return 0;
}

QProcess *startWorker(const QString &root, unsigned seed, int operations)
{
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QCoreApplication::applicationFilePath(),
                   {QStringLiteral("worker"), root, QString::number(seed), QString::number(operations)});
    process->waitForStarted();
    return process;
}

void makeFolder(const DataFolder &folder)
{
    TestDb::createSchool(folder.schoolDb());
    TestDb::addClass(folder.schoolDb(), "1", "Mme Lefèvre");
    for (int c = 0; c < kChildren; ++c)
        TestDb::addChild(folder.schoolDb(), QString::number(10 + c), QStringLiteral("NOM%1").arg(c),
                         QStringLiteral("Prénom%1").arg(c), "01");
    TestDb::createCatalogue(folder.catalogue());
    for (int i = 0; i < kBooks; ++i)
        TestDb::addDocument(folder.catalogue(), book(i), QStringLiteral("Livre %1").arg(i + 1), "O", "N", "", "", "",
                            "");
}

// What the journals say of each book, and the torn entries they hold.
struct Replay
{
    QHash<QString, int> loans, returns;
    int entries = 0, torn = 0;
};

Replay replayJournals(const QString &base)
{
    Replay replay;
    static const QRegularExpression first(QStringLiteral("^\"\\d\\d/\\d\\d/\\d{4} - \\d\\d:\\d\\d - (.*)\"$"));
    static const QRegularExpression document(QStringLiteral("^\"Document : (\\d{5}) - "));
    for (const QFileInfo &file : QDir(base).entryInfoList({QStringLiteral("*.JNL")}, QDir::Files)) {
        const QString text = TextFile::decode1252(DataFile::readAll(file.filePath(), std::numeric_limits<qint64>::max() - 1));
        if (!text.isEmpty() && !text.endsWith(QStringLiteral("\r\n")))
            ++replay.torn;
        QStringList lines = text.split(QStringLiteral("\r\n"));
        lines.removeLast();
        if (lines.size() % 4 != 0)
            ++replay.torn;
        for (int i = 0; i + 3 < lines.size(); i += 4) {
            const auto kind = first.match(lines[i]);
            const auto doc = document.match(lines[i + 2]);
            if (!kind.hasMatch() || !doc.hasMatch()) {
                ++replay.torn;
                continue;
            }
            ++replay.entries;
            if (kind.captured(1) == QLatin1String("Emprunt d'un document"))
                ++replay.loans[doc.captured(1)];
            else
                ++replay.returns[doc.captured(1)];
        }
    }
    return replay;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.value(1) == QLatin1String("worker"))
        return worker(args.value(2), args.value(3).toUInt(), args.value(4).toInt());

    const bool surServeur = args.value(1) == QLatin1String("--serveur");
    const QStringList nombres = args.mid(surServeur ? 2 : 1);
    const int operations = !nombres.isEmpty() ? nombres.value(0).toInt() : surServeur ? 500 : 400;
    const int kills = nombres.size() > 1 ? nombres.value(1).toInt() : 25;
    const int sideBySideKiosks = surServeur ? 8 : 4;
    DataFolder folder;
    makeFolder(folder);
    std::unique_ptr<PgServeur> server;
    QString conninfo;
    if (surServeur) {
        server = std::make_unique<PgServeur>();
        if (!server->demarre()) {
            std::fprintf(stderr, "no server: %s\n", qPrintable(server->erreur()));
            return PgServeur::requis() ? 1 : 0;
        }
        conninfo = deplaceSurServeur(*server, QStringLiteral("stress"), folder);
    }
    QElapsedTimer clock;
    clock.start();
    std::mt19937 random(20261206);
    unsigned seed = 1;

    // Waits for a worker, killed first when asked.
    int killed = 0;
    const auto finish = [&](QProcess *process, bool kill) {
        if (kill) {
            ::kill(pid_t(process->processId()), SIGKILL);
            ++killed;
        }
        process->waitForFinished(-1);
        delete process;
    };

    // Kiosks side by side; on a server, it restarts while they lend.
    QList<QProcess *> side;
    for (int p = 0; p < sideBySideKiosks; ++p)
        side << startWorker(folder.root(), seed++, operations);
    bool restarted = false;
    if (server) {
        QThread::msleep(3000);
        restarted = server->redemarre();
    }
    for (QProcess *process : std::as_const(side))
        finish(process, false);
    const double sideBySide = double(clock.elapsed()) / 1000;

    // Three kiosks, one of them killed at a random moment, again and again.
    QList<QProcess *> running;
    for (int p = 0; p < 3; ++p)
        running << startWorker(folder.root(), seed++, 100000);
    while (killed < kills) {
        QThread::msleep(20 + random() % 200);
        finish(running.takeAt(int(random() % running.size())), true);
        running << startWorker(folder.root(), seed++, 100000);
    }
    for (QProcess *process : std::as_const(running))
        finish(process, true);

    // The next start of a kiosk settles what the killed ones left.
    TestContext next;
    next.module().setCheminBase(folder.base());
    const std::shared_ptr<BaseServeur> base = serveurDuDossier(folder.base());
    const int settled = base ? reprendPretsServeur(next.module(), *base) : reprendIntentions(next.module());
    std::unique_ptr<PgConnexion> pg = server ? std::make_unique<PgConnexion>(ServeurPostgresql{QString(), conninfo})
                                             : nullptr;
    const int leftOver =
        pg ? pg->execute(QStringLiteral("SELECT count(*) FROM luma_suivi.prets_en_cours"))[0][0].toInt()
           : int(QDir(folder.base() + QStringLiteral("/EN-COURS")).entryList({QStringLiteral("*.PRET")}, QDir::Files).size());
    const auto catalogue = [&](const QString &sql) {
        return pg ? pg->execute(sql).value(0).value(0) : TestDb::scalar(folder.catalogue(), sql);
    };

    const QString integrity = pg ? QStringLiteral("ok") : catalogue(QStringLiteral("PRAGMA integrity_check"));
    const Replay replay = replayJournals(folder.base());
    int disagreements = replay.torn + leftOver + int(next.messages.shown.size()) + (server && !restarted ? 1 : 0);
    int loans = 0;
    for (int i = 0; i < kBooks; ++i) {
        const QString b = book(i);
        const int l = replay.loans.value(b), r = replay.returns.value(b);
        loans += l;
        const QStringList row = catalogue(QStringLiteral("SELECT emprunté || '|' || coalesce(cumul, '') FROM "
                                                         "%1 WHERE inventaire = '%2'")
                                              .arg(pg ? QStringLiteral("luma.luma") : QStringLiteral("luma"), b))
                                    .split(u'|');
        const QString state = row.value(0), cumul = row.value(1);
        if (l != r + (state == QLatin1String("O") ? 1 : 0) || cumul.toInt() != l) {
            ++disagreements;
            std::fprintf(stderr, "book %s: %s, cumul %s, %d loans and %d returns journaled\n", qPrintable(b),
                         qPrintable(state), qPrintable(cumul), l, r);
        }
    }
    if (integrity != QLatin1String("ok"))
        ++disagreements;

    if (server)
        std::printf("on a PostgreSQL server, restarted while %d kiosks lent: %s\n", sideBySideKiosks,
                    restarted ? "yes" : "NO");
    std::printf("side by side: %d operations by %d processes in %.1f s; then %d processes killed\n",
                sideBySideKiosks * operations, sideBySideKiosks, sideBySide, killed);
    std::printf("at the next start: %d loans journaled; %d journal entries, %d loans, %d torn; integrity_check: %s; "
                "intents left: %d; disagreements: %d\n",
                settled, replay.entries, loans, replay.torn, qPrintable(integrity), leftOver, disagreements);
    if (disagreements && qEnvironmentVariableIsSet("STRESS_KEEP"))
        QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), folder.root(), qEnvironmentVariable("STRESS_KEEP")});
    return disagreements == 0 ? 0 : 1;
}
