// What keeps the loans whole when a kiosk dies, another holds a lock, or
// anyone else writes the data folder: the intents settled at the next start,
// the journal's other bytes, links, shared accounts and locks.

#include "files.h"
#include "lending.h"

#include "folder/intentionpret.h"
#include "lending/pret.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Every file of the data folder but the intents, with its bytes.
QHash<QString, QByteArray> snapshot(const QString &base)
{
    QHash<QString, QByteArray> files;
    for (const QFileInfo &info : QDir(base).entryInfoList(QDir::Files))
        files.insert(info.fileName(), fileContents(info.filePath()));
    return files;
}

// An intent as a kiosk leaves it, or as anyone may write it: one
// "key=base64" line per value.
using IntentValues = QList<QPair<QString, QByteArray>>;
QString writeIntent(const QString &base, const QString &name, const IntentValues &values)
{
    QDir().mkpath(base + "/EN-COURS");
    QByteArray bytes;
    for (const auto &[key, value] : values)
        bytes += key.toUtf8() + '=' + value.toBase64() + '\n';
    const QString path = base + "/EN-COURS/" + name;
    return writeFileBytes(path, bytes) ? path : QString();
}

// The intent of a borrow of `inventaire` (row `rowid`) from the shelf.
IntentValues borrowIntent(const QString &inventaire, qint64 rowid, const QByteArray &entry)
{
    return {{"journal", "26-12-05.JNL"}, {"entree", entry}, {"rowid", QByteArray::number(rowid)},
            {"inventaire", inventaire.toUtf8()}, {"avant.inventaire", inventaire.toUtf8()}, {"avant.emprunté", "N"},
            {"avant.emprunteur", ""}, {"avant.cumul", "2"}, {"avant.dateemprunt", "01/12/2026"}, {"fin", "1"}};
}

// What a child was shown of a book on the shelf, as the tests' catalogues hold it.
QHash<QString, QString> onTheShelf(const QString &inventaire)
{
    return {{"inventaire", inventaire}, {"emprunté", "N"}, {"emprunteur", ""}, {"cumul", "2"},
            {"dateemprunt", "01/12/2026"}};
}

qint64 rowidOf(const QString &catalogue, const QString &condition)
{
    return TestDb::scalar(catalogue, "SELECT rowid FROM luma WHERE " + condition).toLongLong();
}

} // namespace

class LendingRecoveryTest : public QObject
{
    Q_OBJECT

private slots:
    // A kiosk stopped at any point of a loan: the next start journals the
    // loan it saved, exactly once, drops what it never saved, and keeps
    // whatever else the journal holds byte for byte; only a torn entry that
    // the dead kiosk's intent proves its own is cut. The record looked at is
    // the very one the intent names: a number written with an apostrophe, or
    // shared by two books (the intent names "Le loup bis"). In the journals,
    // <E> stands for the loan's entry and <T> for its first 25 bytes.
    void interruptedLoansAreSettled_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("stopped"); // "": the loan ended; "cut": in its intent; "intent": after it
        QTest::addColumn<QString>("saved");   // title of the row saved since the intent
        QTest::addColumn<QByteArray>("before"); // the journal before the loan ("-": none)
        QTest::addColumn<QByteArray>("tail");   // written to it after the intent
        QTest::addColumn<QByteArray>("expected");
        const QByteArray none("-");
        QTest::newRow("intent cut short") << "00001" << "cut" << "" << none << QByteArray() << QByteArray();
        QTest::newRow("before the save") << "00001" << "intent" << "" << none << QByteArray() << QByteArray();
        QTest::newRow("after the save") << "00001" << "intent" << "Le loup" << none << QByteArray() << QByteArray("<E>");
        QTest::newRow("after the entry") << "00001" << "intent" << "Le loup" << none << QByteArray("<E>")
                                         << QByteArray("<E>");
        QTest::newRow("apostrophe in the number") << "00'01" << "intent" << "Le loup" << none << QByteArray()
                                                  << QByteArray("<E>");
        QTest::newRow("repeated number, its row saved") << "00002" << "intent" << "Le loup bis" << none
                                                        << QByteArray() << QByteArray("<E>");
        QTest::newRow("repeated number, the other row changed") << "00002" << "intent" << "Le loup" << none
                                                                << QByteArray() << QByteArray();
        QTest::newRow("LF-only journal") << "00001" << "" << "" << QByteArray("\"a\"\n\"b\"\n") << QByteArray()
                                         << QByteArray("\"a\"\n\"b\"\n\r\n<E>");
        QTest::newRow("foreign last line") << "00001" << "" << "" << QByteArray("\"a\"\r\nMot de la ma\xEEtresse")
                                           << QByteArray() << QByteArray("\"a\"\r\nMot de la ma\xEEtresse\r\n<E>");
        QTest::newRow("CR alone at the end") << "00001" << "" << "" << QByteArray("\"a\"\r") << QByteArray()
                                             << QByteArray("\"a\"\r\r\n<E>");
        QTest::newRow("torn entry, no intent") << "00001" << "" << "" << QByteArray("\"a\"\r\n<T>") << QByteArray()
                                               << QByteArray("\"a\"\r\n<T>\r\n<E>");
        QTest::newRow("torn entry of a killed kiosk") << "00001" << "intent" << "Le loup" << QByteArray("\"a\"\r\n")
                                                      << QByteArray("<T>") << QByteArray("\"a\"\r\n<E>");
        QTest::newRow("torn after a line without end") << "00001" << "intent" << "Le loup" << QByteArray("\"a\"")
                                                       << QByteArray("\r\n<T>") << QByteArray("\"a\"\r\n<E>");
        QTest::newRow("torn inside the line end") << "00001" << "intent" << "Le loup" << QByteArray("\"a\"")
                                                  << QByteArray("\r") << QByteArray("\"a\"\r\n<E>");
        QTest::newRow("torn in a new journal") << "00001" << "intent" << "Le loup" << none << QByteArray("<T>")
                                               << QByteArray("<E>");
        QTest::newRow("written whole, then killed") << "00001" << "intent" << "Le loup" << QByteArray("\"a\"\n")
                                                    << QByteArray("\r\n<E>") << QByteArray("\"a\"\n\r\n<E>");
        QTest::newRow("a teacher's line after the intent") << "00001" << "intent" << "Le loup"
                                                           << QByteArray("\"a\"\r\n") << QByteArray("\"note\"\n")
                                                           << QByteArray("\"a\"\r\n\"note\"\n\r\n<E>");
        QTest::newRow("journal rewritten shorter") << "00001" << "intent" << "Le loup"
                                                   << QByteArray("\"a\"\r\n\"b\"\r\n") << QByteArray("<rewritten>")
                                                   << QByteArray("\"a\"\n\r\n<E>");
    }
    void interruptedLoansAreSettled()
    {
        QFETCH(QString, number);
        QFETCH(QString, stopped);
        QFETCH(QString, saved);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, tail);
        QFETCH(QByteArray, expected);
        Lending run;
        oneClass(run, {"12"});
        const QString catalogue = run.folder.catalogue();
        withoutUniqueNumbers(catalogue);
        TestDb::addDocument(catalogue, number, "Le loup", "O", "N", "", "", "01/12/2026", "2");
        if (number == "00002")
            TestDb::addDocument(catalogue, number, "Le loup bis", "O", "N", "", "", "01/12/2026", "2");
        run.start();
        Module11 &m = run.t->module();
        const Module11::EntreeJournal entry =
            m.composeJournal("Emprunt d'un document",
                             {"12", "01", "MS", "N00", "P00", number, "Le loup", "", "05/12/2026"});
        const auto fill = [&](QByteArray text) {
            return text.replace("<E>", entry.octets).replace("<T>", entry.octets.left(25));
        };
        const QString journal = "LALUMA/26-12-05.JNL";
        if (before != "-")
            run.folder.writeFile(journal, fill(before));
        if (stopped.isEmpty()) {
            QVERIFY(m.ajouteAuJournal(entry));
        } else {
            const DurableFile::FileLock lock = verrouPrets(m);
            IntentionPret intent = IntentionPret::ecrit(
                m, entry, rowidOf(catalogue, number == "00002" ? "titre = 'Le loup bis'" : "1"), onTheShelf(number));
            // The kiosk stops here: its intent stays.
            const QString intentFile = run.folder.base() + "/EN-COURS/" + intents(run.folder.base()).value(0);
            if (stopped == "cut")
                QVERIFY(QFile::resize(intentFile, QFileInfo(intentFile).size() / 2));
            if (!saved.isEmpty())
                TestDb::exec(catalogue, "UPDATE luma SET emprunté = 'O', emprunteur = '12', cumul = '3', "
                                        "catégorieemprunteur = 'école', dateemprunt = '05/12/2026' WHERE titre = '" +
                                            saved + "'");
            if (tail == "<rewritten>")
                run.folder.writeFile(journal, "\"a\"\n");
            else if (!tail.isEmpty())
                run.folder.writeFile(journal, run.journal("26-12-05") + fill(tail));
        }

        // The next start, on this kiosk or another; once settled, a further
        // start changes nothing.
        const bool writtenAlready = run.journal("26-12-05") == fill(expected);
        TestContext next;
        next.module().setCheminBase(run.folder.base());
        QCOMPARE(reprendIntentions(next.module()), writtenAlready ? 0 : 1);
        QCOMPARE(reprendIntentions(next.module()), 0);
        QCOMPARE(run.journal("26-12-05"), fill(expected));
        QCOMPARE(intents(run.folder.base()), QStringList());
        QVERIFY(next.messages.shown.isEmpty());
    }

    // A link planted where the loan writes (today's journal, the lending
    // lock, the folder of intents), or a folder in the journal's place: the
    // loan tells so in one box, shown once the lending lock and the intent
    // are let go (another kiosk could take them while it is open), and
    // nothing is written: not the catalogue, nor where the link points.
    void loanThatCannotWriteTellsOnce_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::newRow("link: today's journal") << "26-12-05.JNL";
        QTest::newRow("link: lending lock") << "EN-COURS/PRETS.LCK";
        QTest::newRow("link: folder of intents") << "EN-COURS";
        QTest::newRow("folder: today's journal") << "26-12-05.JNL/";
    }
    void loanThatCannotWriteTellsOnce()
    {
        QFETCH(QString, planted);
        Lending run;
        oneChildOneBook(run);
        const QString base = run.folder.base();
        QTemporaryDir elsewhere;
        if (planted.endsWith('/')) {
            QVERIFY(QDir().mkpath(base + "/" + planted));
        } else {
            const QString target = planted == "EN-COURS" ? elsewhere.path() : elsewhere.filePath("precieux.txt");
            QVERIFY(planted == "EN-COURS" || writeFileBytes(target, "ne pas toucher\r\n"));
            QVERIFY(QDir().mkpath(QFileInfo(base + "/" + planted).path()));
            QVERIFY(QFile::link(target, base + "/" + planted));
        }
        const FileTree before = fileTree(elsewhere.path());
        run.start();
        QStringList held;
        run.t->messages.onShow = noteHeld(base, held);
        run.borrow();
        QCOMPARE(run.t->messages.shown.size(), 1);
        QCOMPARE(held, QStringList());
        COMPARE_TREES(fileTree(elsewhere.path()), before);
        QCOMPARE(run.field("00001", "emprunté"), QString("N"));
        QCOMPARE(intents(base), QStringList());
    }

    // Another program keeps the lending lock (a read lock, which any account
    // that can read the file can take; a kiosk stopped in its loan) or a
    // living kiosk's intent: the borrow gives up at the deadline through the
    // error report, writing nothing, and the start-up still finishes.
    void lendingGivesUpWhenALockIsKept_data()
    {
        QTest::addColumn<QString>("held");
        QTest::addColumn<int>("holder");
        QTest::addColumn<int>("count");
        QTest::newRow("lending lock read by another account") << "PRETS.LCK" << int(LockHolder::Kind::Read) << 1;
        QTest::newRow("lending lock of a stopped kiosk") << "PRETS.LCK" << int(LockHolder::Kind::Stopped) << 1;
        QTest::newRow("intents of living kiosks") << "AUTRE%1.PRET" << int(LockHolder::Kind::Write) << 4;
    }
    void lendingGivesUpWhenALockIsKept()
    {
        QFETCH(QString, held);
        QFETCH(int, holder);
        QFETCH(int, count);
        Lending run;
        oneChildOneBook(run);
        const QString base = run.folder.base();
        QDir().mkpath(base + "/EN-COURS");
        std::vector<std::unique_ptr<LockHolder>> others;
        QStringList kept;
        for (int i = 0; i < count; ++i) {
            const QString name = held.contains("%1") ? held.arg(i) : held;
            if (name.endsWith(".PRET")) {
                writeIntent(base, name, borrowIntent("00001", rowidOf(run.folder.catalogue(), "1"), "\"x\"\r\n"));
                kept << name;
            } else {
                QVERIFY(writeFileBytes(base + "/EN-COURS/" + name, {}));
            }
            others.push_back(std::make_unique<LockHolder>(base + "/EN-COURS/" + name, LockHolder::Kind(holder)));
            QVERIFY(others.back()->holds());
        }
        run.start();
        run.t->module().setDélaiVerrou(400ms);
        const QHash<QString, QByteArray> before = snapshot(base);

        // The screen keeps being served while the kiosk waits, under the
        // waiting pointer.
        bool servedWhileWaiting = false, hourglass = false;
        QElapsedTimer timer;
        timer.start();
        run.openClass(0, [&] {
            run.classe().Dessin1_Click(0);
            run.doc().Command3D1_Click(1);
            QTimer::singleShot(100ms, &run.doc(), [&] {
                servedWhileWaiting = true;
                hourglass = run.t->pointer.busy;
            });
            run.doc().Command3D4_Click();
        });
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE((QList<bool>{servedWhileWaiting, hourglass, run.t->pointer.busy}), (QList<bool>{true, true, false}));
        QCOMPARE(run.t->messages.shown.size(), 1);
        const ShownMessage &box = run.t->messages.shown[0];
        QVERIFY2(box.text.contains("3218") && box.text.contains("autre poste"), qPrintable(box.text));
        QCOMPARE(box.title, QString("La LUMA - cycle 1"));
        QCOMPARE(snapshot(base), before);
        QCOMPARE(intents(base), kept);

        // The next start finishes as well, waiting once, and says what it
        // could not do.
        TestContext next;
        next.module().setCheminBase(base);
        next.module().setDélaiVerrou(400ms);
        timer.restart();
        next.module().trapped([&] { reprendIntentions(next.module()); });
        QVERIFY2(timer.elapsed() < 1200, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(next.messages.shown.size(), count);
        for (const ShownMessage &shown : next.messages.shown)
            QVERIFY2(shown.text.contains("3218"), qPrintable(shown.text));
        QCOMPARE(snapshot(base), before);
        QCOMPARE(intents(base), kept);
    }

    // An intent is read as what anyone may have written: one that names
    // another file as its journal, other fields, or a record that cannot be
    // found exactly is kept and reported at each start (not at each loan),
    // and nothing is written by guess: not the catalogue, not a journal.
    void intentsAreCheckedBeforeTheyAreSettled_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // "<none>": left out
        QTest::newRow("journal named LUMA.MDB") << "journal" << "LUMA.MDB";
        QTest::newRow("journal outside the folder") << "journal" << "../26-12-05.JNL";
        QTest::newRow("journal not named by a day") << "journal" << "26-12-5.JNL";
        QTest::newRow("journal name with a line end") << "journal" << "26-12-05.JNL\n";
        QTest::newRow("unknown field") << "avant.titre" << "Le loup";
        QTest::newRow("loan field left out") << "avant.cumul" << "<none>";
        QTest::newRow("repeated number, no rowid") << "rowid" << "<none>";
        QTest::newRow("deleted book") << "rowid" << "<deleted>";
        QTest::newRow("rowid of another book") << "rowid" << "<other>";
        QTest::newRow("rowid not a number") << "rowid" << "1 OR 1=1";
        QTest::newRow("entry of five lines") << "entree" << "<five lines>";
        QTest::newRow("entry without its line ends") << "entree" << "\"05/12/2026 - 10:00 - Emprunt\"";
        QTest::newRow("intent linked to /dev/zero") << "<file>" << "<zero>";
        QTest::newRow("intent that is a pipe") << "<file>" << "<pipe>";
    }
    void intentsAreCheckedBeforeTheyAreSettled()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        Lending run;
        oneClass(run, {"12"});
        const QString catalogue = run.folder.catalogue();
        withoutUniqueNumbers(catalogue);
        // Two books numbered 00001: the first lent elsewhere (as if its save
        // happened), the second on the shelf as the intent says; 00002 for
        // a loan meanwhile.
        TestDb::addDocument(catalogue, "00001", "Le loup", "O", "O", "99", "école", "05/12/2026", "3");
        TestDb::addDocument(catalogue, "00001", "Le loup bis", "O", "N", "", "", "01/12/2026", "2");
        TestDb::addDocument(catalogue, "00002", "La chèvre", "O", "N", "", "", "01/12/2026", "2");
        TestDb::addDocument(catalogue, "00001", "Supprimé");
        const qint64 deleted = rowidOf(catalogue, "titre = 'Supprimé'");
        TestDb::exec(catalogue, "DELETE FROM luma WHERE titre = 'Supprimé'");
        const QString base = run.folder.base();
        const QByteArray earlier = "\"05/12/2026 - 09:00 - Emprunt d'un document\"\r\n\"Emprunteur : 7\"\r\n"
                                   "\"Document : 00009\"\r\n\"emprunté le 05/12/2026\"\r\n";
        run.folder.writeFile("LALUMA/26-12-05.JNL", earlier);

        IntentValues values = borrowIntent("00001", rowidOf(catalogue, "titre = 'Le loup'"),
                                           "\"05/12/2026 - 10:00 - Emprunt d'un document\"\r\n\"Emprunteur : 12\"\r\n"
                                           "\"Document : 00001\"\r\n\"emprunté le 05/12/2026\"\r\n");
        const auto at = std::find_if(values.begin(), values.end(), [&](const auto &v) { return v.first == key; });
        QByteArray stored = value.toUtf8();
        if (value == "<deleted>")
            stored = QByteArray::number(deleted);
        if (value == "<other>")
            stored = QByteArray::number(rowidOf(catalogue, "inventaire = '00002'"));
        if (value == "<five lines>")
            stored = values[1].second + "\"\"\r\n";
        if (value == "<none>")
            values.erase(at);
        else if (at != values.end())
            at->second = stored;
        else
            values.insert(values.size() - 1, {key, stored});
        const QString intent = writeIntent(base, "A.PRET", values);
        if (value == "<zero>")
            QVERIFY(QFile::remove(intent) && QFile::link("/dev/zero", intent));
        if (value == "<pipe>")
            QVERIFY(QFile::remove(intent) && ::mkfifo(QFile::encodeName(intent).constData(), 0644) == 0);
        const QHash<QString, QByteArray> before = snapshot(base);

        const auto start = [&] {
            TestContext next;
            next.module().setCheminBase(base);
            QStringList held;
            next.messages.onShow = noteHeld(base, held);
            QCOMPARE(reprendIntentions(next.module()), 0);
            QCOMPARE(held, QStringList());
            QCOMPARE(next.messages.shown.size(), 1);
            QVERIFY2(next.messages.shown[0].text.contains("A.PRET"), qPrintable(next.messages.shown[0].text));
            QCOMPARE(intents(base), QStringList{"A.PRET"});
        };
        start();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(snapshot(base), before);

        // A loan meanwhile passes the intent over without a word.
        run.start();
        run.borrow(2);
        QVERIFY(run.t->messages.shown.isEmpty());
        QCOMPARE(run.field("00002", "emprunteur"), QString("12"));
        const QByteArray journal = run.journal("26-12-05");
        QVERIFY(journal.startsWith(earlier));
        QCOMPARE(journal.count("\r\n"), 8);
        QVERIFY(journal.mid(earlier.size()).contains("Document : 00002"));

        // Reported again at the next start.
        start();
        QCOMPARE(run.journal("26-12-05"), journal);
    }
};

QTEST_MAIN(LendingRecoveryTest)
#include "tst_lending_recovery.moc"
