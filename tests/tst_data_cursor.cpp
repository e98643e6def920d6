#include "cursors.h"
#include "data/database.h"
#include "data/engineversion.h"
#include "platform/apperror.h"
#include "errors.h"
#include "testdb.h"

#include <QTemporaryDir>
#include <QtTest>

#include <QElapsedTimer>

#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <thread>

namespace {

// What `read` gives for every row, from the current one to the end.
QStringList walk(Cursor &cursor, const std::function<QString()> &read)
{
    QStringList seen;
    for (; !cursor.eof(); cursor.moveNext())
        seen << read();
    return seen;
}

} // namespace

class TestDataCursor : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_file;

    QString freshCatalogue(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        TestDb::createCatalogue(path);
        return path;
    }

    // Three documents, inserted out of inventory order.
    QString threeDocuments()
    {
        const QString path = freshCatalogue(QStringLiteral("trois-%1.db").arg(++m_counter));
        TestDb::addDocument(path, "00020", "Le loup");
        TestDb::addDocument(path, "00003", "La chèvre");
        TestDb::addDocument(path, "00100", "Le renard");
        return path;
    }

    int m_counter = 0;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
    }

    void movesThroughBothEnds()
    {
        auto cursor = opened("luma", threeDocuments(), "SELECT * FROM luma ORDER BY inventaire ASC");
        QCOMPARE(cursor->recordCount(), 3);
        // Where each move leaves it: "<" before the first row, ">" past the last.
        const QHash<QChar, void (Cursor::*)()> moves{{u'N', &Cursor::moveNext}, {u'P', &Cursor::movePrevious},
                                                     {u'F', &Cursor::moveFirst}, {u'L', &Cursor::moveLast}};
        QStringList seen;
        for (const QChar move : QStringLiteral(" NNNPFPNL")) {
            if (moves.contains(move))
                std::invoke(moves[move], *cursor);
            seen << (cursor->bof() ? "<" : "") + QString(cursor->eof() ? ">" : "") +
                        (cursor->hasCurrentRecord() ? cursor->field("titre") : QString());
        }
        QCOMPARE(seen, QStringList({"La chèvre", "Le loup", "Le renard", ">", "Le renard", "La chèvre", "<",
                                    "La chèvre", "Le renard"}));
        // One step beyond an end, not two, and no record there.
        cursor->moveNext();
        QCOMPARE(errorNumberOf([&] { cursor->field("titre"); }), ErrorNumber::NoCurrentRecord);
        QCOMPARE(errorNumberOf([&] { cursor->moveNext(); }), ErrorNumber::NoCurrentRecord);
        cursor->moveFirst();
        cursor->movePrevious();
        QCOMPARE(errorNumberOf([&] { cursor->movePrevious(); }), ErrorNumber::NoCurrentRecord);
    }

    void emptySetHasNoRecord()
    {
        auto cursor = opened("luma", threeDocuments(), "SELECT * FROM luma WHERE titre = 'Personne'");
        QVERIFY(cursor->bof());
        QVERIFY(cursor->eof());
        QCOMPARE(cursor->recordCount(), 0);
        for (const auto &operation : std::initializer_list<std::function<void()>>{
                 [&] { cursor->moveFirst(); }, [&] { cursor->moveLast(); }, [&] { cursor->moveNext(); },
                 [&] { cursor->movePrevious(); }, [&] { cursor->field("titre"); },
                 [&] { cursor->setField("titre", "x"); }})
            QCOMPARE(errorNumberOf(operation), ErrorNumber::NoCurrentRecord);
        cursor->findFirst(QStringLiteral("titre like '*'"));
        QVERIFY(cursor->noMatch());
    }

    // Names from the file go into the statement as names: a "%1" in a field
    // name is no placeholder.
    void fieldsMatchedWithoutRegardToCaseOrError3265()
    {
        const QString path = m_dir.filePath("casse.db");
        TestDb::exec(path, "CREATE TABLE Enfants(Matricule TEXT, NOMENFANT TEXT, PrénomEnfant TEXT, \"a%2\" TEXT, "
                           "\"b%1\" TEXT)");
        TestDb::insert(path, "Enfants", {"Matricule", "NOMENFANT", "PrénomEnfant", "a%2", "b%1"},
                       {"M1", "Martin", "Élodie", "x", "y"});
        auto cursor = opened("enfants", path);
        QCOMPARE(QStringList({cursor->field("matricule"), cursor->field("nomenfant"), cursor->field("PRÉNOMENFANT")}),
                 QStringList({"M1", "Martin", "Élodie"}));
        QCOMPARE(cursor->fieldNames().mid(0, 3), QStringList({"Matricule", "NOMENFANT", "PrénomEnfant"}));
        QCOMPARE(errorNumberOf([&] { cursor->field("auteur"); }), ErrorNumber::FieldNotFound);
        QCOMPARE(errorNumberOf([&] { cursor->setField("auteur", "x"); }), ErrorNumber::FieldNotFound);

        cursor->setField("PRÉNOMENFANT", "Zoé");
        bool found = false;
        QCOMPARE(cursor->pendingValue("prénomenfant", &found), QString("Zoé"));
        QVERIFY(found);
        QCOMPARE(cursor->field("prénomenfant"), QString("Élodie")); // not saved yet
        cursor->setField("a%2", "X");
        cursor->setField("b%1", "Y");
        cursor->update();
        cursor->pendingValue("prénomenfant", &found);
        QVERIFY(!found);
        QCOMPARE(cursor->field("prénomenfant"), QString("Zoé"));
        QCOMPARE(TestDb::scalar(path, "SELECT PrénomEnfant || \"a%2\" || \"b%1\" FROM Enfants"), QString("ZoéXY"));
    }

    void valuesReadAsText_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("null") << "NULL" << "";
        QTest::newRow("integer") << "42" << "42";
        QTest::newRow("whole real") << "3.0" << "3";
        QTest::newRow("real") << "2.5" << "2.5";
        QTest::newRow("text") << "'école'" << "école";
        QTest::newRow("blob") << "CAST('abc' AS BLOB)" << "abc";
    }

    void valuesReadAsText()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        // Columns without a declared type keep what another tool stored.
        const QString path = m_dir.filePath(QStringLiteral("valeur-%1.db").arg(++m_counter));
        TestDb::exec(path, "CREATE TABLE luma(inventaire, cumul)");
        TestDb::exec(path, QStringLiteral("INSERT INTO luma(inventaire, cumul) VALUES('00001', %1)").arg(stored));
        auto cursor = opened("luma", path);
        QCOMPARE(cursor->field("cumul"), shown);
    }

    // A search starts from the first row of the query, and stays within it.
    void findFirstStartsFromTheFirstRow()
    {
        const QString path = freshCatalogue("recherche.db");
        TestDb::addDocument(path, "00001", "A", "O", "O", "E7", "école");
        TestDb::addDocument(path, "00002", "B", "O", "N");
        TestDb::addDocument(path, "00003", "C", "o", "o", "e7", "ÉCOLE"); // case does not count
        TestDb::addDocument(path, "00004", "D", "N", "O", "E7", "école");
        auto cursor = opened("luma", path, "SELECT * FROM luma WHERE titre LIKE '[A-C]' ORDER BY inventaire DESC");
        cursor->moveLast();
        const QString loan = "emprunt like 'O' AND catégorieemprunteur like 'école' AND emprunteur like 'E7' "
                             "AND emprunté like 'O'";
        cursor->findFirst(loan);
        QVERIFY(!cursor->noMatch());
        QCOMPARE(cursor->field("inventaire"), QString("00003")); // first in the cursor's order

        cursor->moveNext();
        QCOMPARE(cursor->field("inventaire"), QString("00002"));
        cursor->findFirst("inventaire like '00004'"); // in the file, not in the query
        QVERIFY(cursor->noMatch());
        QCOMPARE(cursor->field("inventaire"), QString("00002")); // position kept

        cursor->findFirst("emprunt like 'O' AND inventaire like '00001'");
        QVERIFY(!cursor->noMatch());
        QCOMPARE(cursor->field("titre"), QString("A"));
    }

    // Only the edited fields are written: a field made NULL and what another
    // program changed since the row was read survive. A save checked against
    // what the child was shown refuses when any one of the compared fields
    // changed in the file since, and writes nothing.
    void updateWritesOnlyTheEditedFields_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("save"); // 0: plain update; 1: checked; -1: checked and refused
        QTest::newRow("inventaire") << "inventaire = '00004'" << -1;
        QTest::newRow("emprunté") << "emprunté = 'O'" << -1;
        QTest::newRow("emprunteur") << "emprunteur = '99'" << -1;
        QTest::newRow("cumul") << "cumul = '3'" << -1;
        QTest::newRow("dateemprunt") << "dateemprunt = '02/12/2026'" << -1;
        QTest::newRow("row deleted") << "DELETE" << -1;
        QTest::newRow("a field not shown") << "titre = 'Autre titre'" << 1;
        QTest::newRow("a field not shown, plain update") << "titre = 'Autre titre'" << 0;
    }
    void updateWritesOnlyTheEditedFields()
    {
        QFETCH(QString, change);
        QFETCH(int, save);
        const QString path = freshCatalogue(QStringLiteral("compare-%1.db").arg(++m_counter));
        TestDb::addDocument(path, "00003", "La chèvre", "O", "N", "", "", "01/12/2026", "2");
        auto cursor = opened("luma", path, "SELECT * FROM luma ORDER BY inventaire ASC");
        const QHash<QString, QString> shown{{"inventaire", "00003"}, {"emprunté", "N"}, {"emprunteur", ""},
                                            {"cumul", "2"}, {"dateemprunt", "01/12/2026"}};
        for (auto it = shown.constBegin(); it != shown.constEnd(); ++it)
            QCOMPARE(cursor->field(it.key()), it.value());
        TestDb::exec(path, "UPDATE luma SET éditeur = NULL; " +
                               (change == "DELETE" ? QString("DELETE FROM luma") : "UPDATE luma SET " + change));
        const QString state = "SELECT group_concat(emprunté || emprunteur || cumul || ' ' || titre || ' ' || "
                              "typeof(éditeur), '|') FROM luma";
        const QString before = TestDb::scalar(path, state);
        cursor->setField("emprunté", "O");
        cursor->setField("emprunteur", "12");
        cursor->setField("cumul", "3");
        if (save == 0)
            cursor->update();
        else
            QCOMPARE(cursor->updateIfUnchanged(shown), save > 0);
        QCOMPARE(TestDb::scalar(path, state), save >= 0 ? QString("O123 Autre titre null") : before);
    }

    void memoryMapOnlyOnALocalDisk()
    {
        QVERIFY(onLocalDisk(m_dir.path()));      // this machine's own disk
        QVERIFY(!onLocalDisk("/proc/self/stat")); // not a disk file system
        QVERIFY(!onLocalDisk(m_dir.filePath("no such folder/LUMA.MDB")));
    }

    void sqliteVersionChecked()
    {
        QVERIFY(sqliteTooOld().isEmpty()); // the one this machine has
        QVERIFY(sqliteTooOld(kOldestSqlite).isEmpty());
        const QString message = sqliteTooOld(3031001);
        QVERIFY2(message.contains("3.31.1") && message.contains("3.37.0"), qPrintable(message));
    }

    // A refresh may keep the rows it loaded only while nobody changed the file.
    void refreshSeesEveryChange()
    {
        const QString path = threeDocuments();
        auto cursor = opened("luma", path, "SELECT * FROM luma WHERE emprunté = 'N' ORDER BY inventaire ASC");
        QCOMPARE(cursor->recordCount(), 3);

        TestDb::addDocument(path, "00001", "Le hérisson"); // another program adds a document
        cursor->refresh();
        QCOMPARE(cursor->recordCount(), 4);
        QCOMPARE(cursor->field("inventaire"), QString("00001"));

        cursor->moveLast();
        cursor->refresh(); // nothing changed: the same rows, from the first
        QCOMPARE(cursor->recordCount(), 4);
        QCOMPARE(cursor->field("inventaire"), QString("00001"));

        cursor->setRecordSource("SELECT * FROM luma WHERE titre LIKE 'Le h*'");
        cursor->refresh();
        QCOMPARE(cursor->recordCount(), 1);
    }

    // The kiosk's own save of fields that neither sort nor select the rows
    // keeps the rows it loaded: the next refresh does not read them again,
    // yet shows the saved row as written. Any other save, or another
    // program's write, reads them again.
    void ownSaveKeepsTheRowsOnlyWhenTheyCannotMove_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("otherProgram");
        QTest::addColumn<bool>("readAgain");
        const QString byNumber = "SELECT * FROM luma ORDER BY inventaire ASC";
        QTest::newRow("loan field") << byNumber << "emprunteur" << false << false << false;
        QTest::newRow("loan field, checked save") << byNumber << "emprunteur" << true << false << false;
        QTest::newRow("sort key") << byNumber << "inventaire" << true << false << true;
        QTest::newRow("condition") << "SELECT * FROM luma WHERE emprunté = 'N' ORDER BY inventaire ASC"
                                   << "emprunté" << true << false << true;
        QTest::newRow("sorted by title") << "SELECT * FROM luma ORDER BY titre, inventaire" << "titre" << false
                                         << false << true;
        QTest::newRow("another program wrote too") << byNumber << "emprunteur" << true << true << true;
    }
    void ownSaveKeepsTheRowsOnlyWhenTheyCannotMove()
    {
        QFETCH(QString, source);
        QFETCH(QString, field);
        QFETCH(bool, checked);
        QFETCH(bool, otherProgram);
        QFETCH(bool, readAgain);
        const QString path = threeDocuments();
        auto cursor = opened("luma", path, source);
        cursor->moveNext();
        const QString inventaire = cursor->field("inventaire");
        const qint64 rowid = cursor->currentRowId();
        const qint64 reads = cursor->readsOfTheRows();
        if (otherProgram)
            TestDb::exec(path, "UPDATE luma SET cumul = '9' WHERE inventaire = '00003'");
        cursor->setField(field, "00000");
        if (checked)
            QVERIFY(cursor->updateIfUnchanged({{"inventaire", inventaire}}));
        else
            cursor->update();
        cursor->moveToLastModified();
        QCOMPARE(cursor->currentRowId(), rowid);
        QCOMPARE(cursor->field(field), QString("00000")); // the saved row, read again
        cursor->refresh();
        QCOMPARE(cursor->readsOfTheRows(), reads + (readAgain ? 1 : 0));
        QVERIFY(cursor->recordCount() >= 2);
    }

    void movesDropUnsavedEdits()
    {
        const QString path = threeDocuments();
        auto cursor = opened("luma", path);
        cursor->setField("titre", "Perdu");
        cursor->moveNext();
        cursor->movePrevious();
        cursor->update();
        QCOMPARE(TestDb::scalar(path, "SELECT count(*) FROM luma WHERE titre = 'Perdu'"), QString("0"));
    }

    void duplicateInventoryWritesNothing()
    {
        const QString path = threeDocuments();
        auto cursor = opened("luma", path, "SELECT * FROM luma ORDER BY inventaire ASC");
        cursor->setField("titre", "Titre changé");
        cursor->setField("inventaire", "00100"); // already taken
        QCOMPARE(errorNumberOf([&] { cursor->update(); }), ErrorNumber::DuplicateKey);
        bool pending = true;
        cursor->pendingValue("titre", &pending);
        QVERIFY(!pending);
        QCOMPARE(TestDb::scalar(path, "SELECT titre FROM luma WHERE inventaire = '00003'"), QString("La chèvre"));
        QCOMPARE(TestDb::scalar(path, "SELECT count(*) FROM luma WHERE inventaire = '00100'"), QString("1"));
        // The cursor goes on working.
        QCOMPARE(cursor->field("titre"), QString("La chèvre"));
        cursor->setField("titre", "La chèvre de M. Seguin");
        cursor->update();
        QCOMPARE(TestDb::scalar(path, "SELECT titre FROM luma WHERE inventaire = '00003'"),
                 QString("La chèvre de M. Seguin"));
    }

    void textOrderIsFrench_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("descending first key")
            << "SELECT * FROM enfants ORDER BY nomenfant DESC, prénomenfant"
            << QStringList{"Zoé Jean", "zoé Karim", "emma Léa", "emma Lucas", "Élodie Marc", "Bastien Anne",
                           "arthur Paul"};
    }

    void textOrderIsFrench()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, expected);
        const QString path = m_dir.filePath(QStringLiteral("ordre-%1.db").arg(++m_counter));
        TestDb::createSchool(path);
        const QList<QPair<QString, QString>> children = {{"zoé", "Karim"},  {"Élodie", "Marc"}, {"emma", "Lucas"},
                                                          {"arthur", "Paul"}, {"Zoé", "Jean"},  {"Bastien", "Anne"},
                                                          {"emma", "Léa"}};
        int n = 0;
        for (const auto &child : children)
            TestDb::addChild(path, QString::number(++n), child.first, child.second, "01");
        auto cursor = opened("enfants", path, source);
        QCOMPARE(walk(*cursor, [&] { return cursor->field("nomenfant") + ' ' + cursor->field("prénomenfant"); }),
                 expected);
    }

    void inventoryOrderFromTheIndex_data()
    {
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("digits") << QStringList{"00500", "00002", "10000", "00010", "09999"}
                                << QStringList{"00002", "00010", "00500", "09999", "10000"};
        // The index's byte order puts capitals first, and digits typed in
        // full width (an Asian keyboard) after every letter: put right.
        QTest::newRow("letters") << QStringList{"00500", "B0001", "00002", "A0002", "a0003"}
                                 << QStringList{"00002", "00500", "A0002", "a0003", "B0001"};
        QTest::newRow("full width") << QStringList{"00500", "\uFF10\uFF10\uFF10\uFF10\uFF11", "00002"}
                                    << QStringList{"\uFF10\uFF10\uFF10\uFF10\uFF11", "00002", "00500"};
    }

    void inventoryOrderFromTheIndex()
    {
        QFETCH(QStringList, numbers);
        QFETCH(QStringList, expected);
        const QString path = freshCatalogue(QStringLiteral("inventaire-%1.db").arg(++m_counter));
        for (const QString &number : numbers)
            TestDb::addDocument(path, number, "titre");
        auto cursor = opened("luma", path, "SELECT * FROM luma ORDER BY inventaire ASC");
        QCOMPARE(walk(*cursor, [&] { return cursor->field("inventaire"); }), expected);
    }

    void groupedQueryIsReadOnly()
    {
        const QString path = threeDocuments();
        TestDb::addDocument(path, "00200", "Le loup");
        auto cursor = opened("luma", path, "SELECT DISTINCT titre FROM luma ORDER BY titre");
        QCOMPARE(cursor->recordCount(), 3);
        QCOMPARE(cursor->field("titre"), QString("La chèvre"));
        cursor->findFirst("titre like '*renard'");
        QVERIFY(!cursor->noMatch());
        QCOMPARE(cursor->field("TITRE"), QString("Le renard"));
        cursor->setField("titre", "Autre");
        const int number = errorNumberOf([&] { cursor->update(); });
        QVERIFY(number != 0);
        QCOMPARE(TestDb::scalar(path, "SELECT count(*) FROM luma WHERE titre = 'Autre'"), QString("0"));
    }

    void tablesWithoutUsableRowid()
    {
        const QString path = m_dir.filePath("sans-rowid.db");
        TestDb::exec(path, "CREATE TABLE équipe(équipenuméro TEXT PRIMARY KEY, équipeinstituteur TEXT) WITHOUT ROWID;"
                           "INSERT INTO équipe VALUES('02', 'Mme Durand'), ('01', 'M. Petit');"
                           "CREATE TABLE enfants(rowid TEXT, matricule TEXT, nomenfant TEXT);"
                           "INSERT INTO enfants VALUES('x', 'E1', 'Martin'), ('y', 'E2', 'Bernard');");
        auto classes =
            opened("équipe", path, "SELECT équipenuméro, équipeinstituteur FROM équipe ORDER BY équipenuméro ASC");
        QCOMPARE(classes->recordCount(), 2);
        QCOMPARE(classes->field("équipeinstituteur"), QString("M. Petit"));
        classes->findFirst("équipenuméro like '02'");
        QCOMPARE(classes->field("équipeinstituteur"), QString("Mme Durand"));
        classes->setField("équipeinstituteur", "Mme Dupont");
        QVERIFY(errorNumberOf([&] { classes->update(); }) != 0);
        QCOMPARE(TestDb::scalar(path, "SELECT équipeinstituteur FROM équipe WHERE équipenuméro = '02'"),
                 QString("Mme Durand"));

        // A column that happens to be called rowid does not hide the row's identity.
        auto children = opened("enfants", path);
        children->moveLast();
        QCOMPARE(children->field("rowid"), QString("y"));
        children->setField("nomenfant", "Bernardin");
        children->update();
        QCOMPARE(TestDb::scalar(path, "SELECT nomenfant FROM enfants WHERE matricule = 'E2'"), QString("Bernardin"));
        QCOMPARE(TestDb::scalar(path, "SELECT nomenfant FROM enfants WHERE matricule = 'E1'"), QString("Martin"));
    }

    // Another program writes the file while the cursor stays open: a move
    // reads the row again, and a row deleted since is reported.
    void holdsNoLockBetweenCalls()
    {
        const QString path = threeDocuments();
        auto cursor = opened("luma", path);
        QCOMPARE(cursor->field("inventaire"), QString("00020"));
        cursor->findFirst("titre like 'Le*'");
        TestDb::exec(path, "UPDATE luma SET titre = 'Le grand loup' WHERE inventaire = '00020';"
                           "DELETE FROM luma WHERE inventaire = '00003'");
        cursor->moveNext();
        QCOMPARE(errorNumberOf([&] { cursor->field("titre"); }), ErrorNumber::RecordDeleted);
        cursor->moveNext();
        QCOMPARE(cursor->field("titre"), QString("Le renard"));
        cursor->moveFirst();
        QCOMPARE(cursor->field("titre"), QString("Le grand loup"));
    }

    // A saved request that joins the catalogue to itself ten times would run
    // for ever and fill the memory: whichever limit comes first stops it with
    // 3035, and the same cursor serves the next request.
    void runawayRequestIsStopped_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<qlonglong>("rows");
        QTest::addColumn<qlonglong>("bytes");

        QStringList copies, titles;
        for (int i = 0; i < 10; ++i) {
            copies << QStringLiteral("luma AS c%1").arg(i);
            titles << QStringLiteral("c%1.titre").arg(i);
        }
        const QString all = QStringLiteral("SELECT c0.titre, c9.inventaire FROM ") + copies.join(QStringLiteral(", "));
        const qlonglong never = 1LL << 60;
        QTest::newRow("time") << all << 300 << never << never;
        QTest::newRow("time, sorted before the first row")
            << all + QStringLiteral(" ORDER BY c3.titre, c9.inventaire") << 300 << never << never;
        // A condition on all ten copies: nothing is kept, every row is visited.
        QTest::newRow("rows visited") << all + QStringLiteral(" WHERE ") + titles.join(QStringLiteral(" & ")) + QStringLiteral(" = 'aucun'")
                                      << 60000 << 200000LL << never;
        QTest::newRow("rows kept in memory") << all << 60000 << never << (8LL << 20);
    }

    void runawayRequestIsStopped()
    {
        QFETCH(QString, source);
        QFETCH(int, milliseconds);
        QFETCH(qlonglong, rows);
        QFETCH(qlonglong, bytes);
        const QString path = freshCatalogue(QStringLiteral("dix-%1.db").arg(++m_counter));
        TestDb::addNumbered(path, 40);

        Cursor cursor(QStringLiteral("luma"));
        cursor.setDatabaseName(path);
        cursor.setQueryLimits(QueryLimits{milliseconds, rows, bytes});
        cursor.setRecordSource(source);
        QElapsedTimer timer;
        timer.start();
        const std::optional<AppError> error = errorOf([&] { cursor.refresh(); });
        QVERIFY(error);
        QCOMPARE(error->number(), ErrorNumber::QueryTooLong);
        QVERIFY2(error->description().contains(QStringLiteral("arrêtée")), qPrintable(error->description()));
        QVERIFY2(timer.elapsed() < std::min(milliseconds, 5000) + 2000, qPrintable(QString::number(timer.elapsed())));

        QVERIFY(!cursor.isOpen());
        QCOMPARE(errorNumberOf([&] { cursor.field(QStringLiteral("titre")); }), ErrorNumber::NoCurrentRecord);
        cursor.setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
        cursor.refresh();
        QCOMPARE(cursor.recordCount(), 40);
        cursor.findFirst(QStringLiteral("titre = 'Titre 2'"));
        QCOMPARE(cursor.field(QStringLiteral("inventaire")), QStringLiteral("00002"));
        // The same request through the report's way of reading, which keeps nothing.
        const auto db = Database::open(path);
        timer.restart();
        QCOMPARE(errorNumberOf([&] {
                     forEachRow(*db, source, [](const QStringList &) {}, QueryLimits{std::min(milliseconds, 300), rows, bytes});
                 }),
                 ErrorNumber::QueryTooLong);
        QVERIFY(timer.elapsed() < 2300);
        int count = 0;
        forEachRow(*db, QStringLiteral("SELECT * FROM luma"), [&](const QStringList &) { ++count; });
        QCOMPARE(count, 40);
    }

    // Waiting for another program's lock is not the request's work: a
    // request that waited longer than its time runs once the lock is gone.
    void lockWaitIsNotTheRequestsTime()
    {
        const QString path = freshCatalogue(QStringLiteral("attente-%1.db").arg(++m_counter));
        TestDb::addNumbered(path, 5000);
        Cursor cursor(QStringLiteral("luma"));
        cursor.setDatabaseName(path);
        cursor.refresh(); // the file open already: the wait is the request's
        std::promise<void> locked;
        std::thread other([&] {
            sqlite3 *db = nullptr;
            sqlite3_open(path.toUtf8().constData(), &db);
            sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
            locked.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        });
        locked.get_future().wait();
        cursor.setQueryLimits(QueryLimits{1000, QueryLimits::kRows, QueryLimits::kResultBytes});
        cursor.setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY titre"));
        QElapsedTimer timer;
        timer.start();
        const int error = errorNumberOf([&] { cursor.refresh(); });
        const qint64 waited = timer.elapsed();
        other.join();
        QCOMPARE(error, 0);
        QVERIFY2(waited >= 1200, qPrintable(QString::number(waited))); // it did wait
        QCOMPARE(cursor.recordCount(), 5000);
    }
};

QTEST_GUILESS_MAIN(TestDataCursor)
#include "tst_data_cursor.moc"
