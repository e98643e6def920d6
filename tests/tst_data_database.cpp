#include "cursors.h"
#include "data/database.h"
#include "data/repair.h"
#include "platform/apperror.h"
#include "errors.h"
#include "files.h"
#include "groups.h"
#include "samples.h"
#include "testdb.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace {

// Overwrites one page of a database file with bytes no page can hold.
void damagePage(const QString &path, int pageNumber)
{
    const int pageSize = TestDb::scalar(path, "PRAGMA page_size").toInt();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(qint64(pageNumber - 1) * pageSize));
    file.write(QByteArray(pageSize, char(0x7f)));
}

// Changes the stored text of one schema object, as another tool may have.
void setStoredSql(const QString &path, const QString &name, const QString &sql)
{
    QString quoted = sql;
    quoted.replace('\'', "''");
    TestDb::exec(path, QStringLiteral("PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = '%1' WHERE name = "
                                      "'%2'; PRAGMA writable_schema = OFF;")
                           .arg(quoted, name));
}

// Runs SQL on a file in write-ahead log mode and leaves its changes in the
// log, not yet copied into the file, as a program that stopped would.
void writeIntoLog(const QString &path, const QString &sql)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    int persist = 1;
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    QCOMPARE(sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0", nullptr, nullptr, nullptr),
             SQLITE_OK);
    QCOMPARE(sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// The files of a folder, but for SQLite's shared-memory index, which a
// reader of a file in log mode may make.
QSet<QString> filesIn(const QString &folder)
{
    QSet<QString> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (!name.endsWith("-shm"))
            files.insert(name);
    return files;
}

QString inventory(int i)
{
    return QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0'));
}

// A kiosk lending the documents one after the other, a loan every
// millisecond or so (a loop without pause would keep the file locked so
// much of the time that a repair could wait its whole timeout), until `stop`
// exists, through a cursor that stays open: each loan saved is written to
// `channel` as its number, each save refused as -1, after which the cursor is
// refreshed and the loan tried again. Never returns.
[[noreturn]] void lendUntilStopped(const QString &file, const QString &stop, int channel, int documents)
{
    Cursor cursor(QStringLiteral("luma"));
    cursor.setDatabaseName(file);
    cursor.setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
    try {
        cursor.refresh();
    } catch (const AppError &) {
        _exit(2);
    }
    for (int i = 1; i <= documents && !QFileInfo::exists(stop);) {
        try {
            cursor.findFirst(QStringLiteral("inventaire = '%1'").arg(inventory(i)));
            const QHash<QString, QString> shown{{QStringLiteral("emprunté"), cursor.field(QStringLiteral("emprunté"))}};
            cursor.setField(QStringLiteral("emprunté"), QStringLiteral("O"));
            cursor.setField(QStringLiteral("emprunteur"), QStringLiteral("E") + inventory(i));
            if (cursor.updateIfUnchanged(shown) && ::write(channel, &i, sizeof i) != sizeof i)
                _exit(3);
            ++i;
            ::usleep(1000);
        } catch (const AppError &) {
            const int refused = -1;
            if (::write(channel, &refused, sizeof refused) != sizeof refused)
                _exit(3);
            try {
                cursor.refresh();
            } catch (const AppError &) {
            }
        }
    }
    _exit(0);
}

} // namespace

class TestDataDatabase : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;

    QString path(const QString &name) { return m_dir.filePath(QStringLiteral("%1-%2").arg(++m_counter).arg(name)); }

    // A catalogue of many pages: long titles put a few rows on each page.
    QString bigCatalogue(int rows)
    {
        const QString file = path("LUMA.MDB");
        TestDb::createCatalogue(file);
        TestDb::addNumbered(file, rows, "'Titre ' || i || ' ' || hex(zeroblob(150))");
        return file;
    }

    // The leaf page of the table in the middle of the file, and how many rows it holds.
    QPair<int, int> middleLeaf(const QString &file)
    {
        const QString page = TestDb::scalar(file, "SELECT pageno FROM dbstat WHERE name = 'luma' AND pagetype = 'leaf' "
                                                  "ORDER BY path LIMIT 1 OFFSET (SELECT count(*) / 2 FROM dbstat "
                                                  "WHERE name = 'luma' AND pagetype = 'leaf')");
        const QString cells = TestDb::scalar(file, QStringLiteral("SELECT ncell FROM dbstat WHERE pageno = %1").arg(page));
        return {page.toInt(), cells.toInt()};
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // A file the engine cannot use is refused, by the repair and a cursor
    // too, and left as it is (a missing one is not created), with nothing
    // beside it; an Access file is told as one, even when it may be written.
    void unusableFilesAreLeftAsTheyAre_data()
    {
        QTest::addColumn<QString>("sample"); // an Access sample file, or none
        QTest::addColumn<QByteArray>("bytes"); // "<none>": no file
        QTest::addColumn<int>("error");
        QTest::newRow("missing") << QString() << QByteArray("<none>") << int(ErrorNumber::DatabaseNotFound);
        QTest::newRow("text") << QString() << QByteArray("Ceci n'est pas une base de données.\r\n").repeated(200)
                              << int(ErrorNumber::DatabaseDamaged);
        QTest::newRow("empty") << QString() << QByteArray() << int(ErrorNumber::DatabaseDamaged);
        QTest::newRow("header then garbage") << QString() << QByteArray("SQLite format 3\0", 16) + QByteArray(8192, 0x55)
                                             << int(ErrorNumber::DatabaseDamaged);
        const QStringList samples =
            QDir(AccessSamples::folder()).entryList({"*.mdb", "*.accdb"}, QDir::Files, QDir::Name);
        for (const QString &sample : samples)
            QTest::newRow(qPrintable(sample)) << sample << QByteArray() << int(ErrorNumber::AccessFormat);
        if (samples.isEmpty())
            QTest::newRow("no Access sample") << QString("-") << QByteArray() << 0; // fails or skips below
    }

    void unusableFilesAreLeftAsTheyAre()
    {
        QFETCH(QString, sample);
        QFETCH(QByteArray, bytes);
        QFETCH(int, error);
        QTemporaryDir folder;
        const QString file = folder.filePath("LUMA.MDB");
        if (!sample.isEmpty()) {
            NEED_ACCESS_SAMPLES();
            QVERIFY(QFile::copy(AccessSamples::file(sample), file));
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
            bytes = fileContents(file);
        } else if (bytes != "<none>") {
            QVERIFY(writeFileBytes(file, bytes));
        }
        const auto cursor = opened("luma", file, {}, false);
        QCOMPARE(QList<int>({errorNumberOf([&] { Database::open(file); }), errorNumberOf([&] { RepairDatabase(file); }),
                             errorNumberOf([&] { cursor->refresh(); })}),
                 QList<int>({error, error, error}));
        QVERIFY(!cursor->isOpen());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 bytes == "<none>" ? QStringList() : QStringList{"LUMA.MDB"});
        QCOMPARE(fileContents(file), bytes == "<none>" ? QByteArray() : bytes);
        const QString told = errorTextOf([&] { Database::open(file); });
        if (error == ErrorNumber::DatabaseNotFound)
            QVERIFY2(told.contains(QDir::toNativeSeparators(file)), qPrintable(told));
        if (error == ErrorNumber::AccessFormat)
            QVERIFY2(told.contains("Access") && told.contains("converti"), qPrintable(told));
    }

    // Another program writing the file: the save waits for it until the
    // deadline, calling the wait's callback meanwhile, then gives up with
    // 3218, nothing written; a write that ends during the wait lets it save.
    void busyFileIsWaitedForUntilTheDeadline_data()
    {
        QTest::addColumn<bool>("otherEnds");
        QTest::newRow("held past the deadline") << false;
        QTest::newRow("let go during the wait") << true;
    }
    void busyFileIsWaitedForUntilTheDeadline()
    {
        QFETCH(bool, otherEnds);
        const QString file = path("LUMA.MDB");
        TestDb::createCatalogue(file);
        TestDb::addDocument(file, "00001", "Le loup");
        Cursor cursor(QStringLiteral("luma"));
        int waits = 0;
        LockWait wait;
        wait.deadline = std::chrono::milliseconds(400);
        sqlite3 *other = nullptr;
        wait.waiting = [&] {
            if (++waits == 3 && otherEnds)
                sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        };
        cursor.setLockWait(wait);
        cursor.setDatabaseName(file);
        cursor.refresh();

        QCOMPARE(sqlite3_open(file.toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        QElapsedTimer timer;
        timer.start();
        cursor.setField("titre", "Le loup gris");
        QCOMPARE(errorNumberOf([&] { cursor.update(); }), otherEnds ? 0 : ErrorNumber::OtherKioskBusy);
        const qint64 elapsed = timer.elapsed();
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QVERIFY(waits >= 3);
        if (otherEnds) {
            QVERIFY2(elapsed < 400, qPrintable(QString::number(elapsed)));
            QCOMPARE(TestDb::scalar(file, "SELECT titre FROM luma"), QString("Le loup gris"));
        } else {
            QVERIFY2(elapsed >= 400 && elapsed < 3000, qPrintable(QString::number(elapsed)));
            QCOMPARE(TestDb::scalar(file, "SELECT titre FROM luma"), QString("Le loup"));
        }
    }

    void repairKeepsEveryReadableRow()
    {
        const int rows = 2000;
        const QString file = bigCatalogue(rows);
        TestDb::exec(file, "CREATE INDEX titres ON luma(titre)");
        const auto [page, cells] = middleLeaf(file);
        QVERIFY(page > 2 && cells > 0);
        damagePage(file, page);
        const QByteArray damaged = fileContents(file);
        // The schema reads: the damage shows only when the table is read.
        QCOMPARE(errorNumberOf([&] { Database::open(file); }), 0);
        const auto reader = opened("luma", file, {}, false);
        QCOMPARE(errorNumberOf([&] { reader->refresh(); }), ErrorNumber::DatabaseDamaged);
        QVERIFY(!reader->isOpen());

        const RepairReport report = RepairDatabase(file);
        QCOMPARE(report.kept, rows - cells);
        QCOMPARE(report.setAside, 0);

        const QStringList backups = QDir(QFileInfo(file).path())
                                        .entryList({QFileInfo(file).fileName() + ".endommage-*"}, QDir::Files);
        QCOMPARE(backups.size(), 1);
        QCOMPARE(report.backup, QFileInfo(file).path() + '/' + backups.first());
        QCOMPARE(fileContents(report.backup), damaged);
        QVERIFY(QDir(QFileInfo(file).path()).entryList({"*reparation*"}, QDir::Files).isEmpty());

        QCOMPARE(TestDb::scalar(file, "PRAGMA integrity_check"), QString("ok"));
        // Rows before and after the damaged page are there; nothing is doubled.
        QCOMPARE(TestDb::scalar(file, "SELECT printf('%d %d %s-%s', count(*), count(DISTINCT inventaire), "
                                      "min(inventaire), max(inventaire)) FROM luma"),
                 QStringLiteral("%1 %1 00001-02000").arg(rows - cells));
        QCOMPARE(TestDb::scalar(file, "SELECT count(*) FROM sqlite_master WHERE name = 'titres'"), QString("1"));

        // The program reads the repaired file, even through the cursor that met the damage.
        reader->setRecordSource("SELECT * FROM luma ORDER BY inventaire DESC");
        reader->refresh();
        QCOMPARE(reader->recordCount(), rows - cells);
        QCOMPARE(reader->field("inventaire"), QString("02000"));
    }

    void aCursorNeverWritesIntoAFileReplaced_data()
    {
        QTest::addColumn<QString>("journalMode");
        QTest::addColumn<bool>("onlyIfUnchanged");
        QTest::newRow("update") << "DELETE" << false;
        QTest::newRow("update if unchanged") << "DELETE" << true;
        QTest::newRow("update, write-ahead log") << "WAL" << false;
        QTest::newRow("update if unchanged, write-ahead log") << "WAL" << true;
    }

    void aCursorNeverWritesIntoAFileReplaced()
    {
        QFETCH(QString, journalMode);
        QFETCH(bool, onlyIfUnchanged);
        const QString file = bigCatalogue(50);
        TestDb::exec(file, "PRAGMA journal_mode = " + journalMode);
        const auto cursor = opened("luma", file, "SELECT * FROM luma ORDER BY inventaire ASC");
        const auto save = [&] {
            const QHash<QString, QString> shown{{"emprunté", cursor->field("emprunté")}};
            cursor->setField("emprunté", "O");
            if (onlyIfUnchanged)
                QVERIFY(cursor->updateIfUnchanged(shown));
            else
                cursor->update();
        };
        QCOMPARE(RepairDatabase(file).kept, 50);

        // The cursor still holds the file the repair replaced: the loan would
        // be lost with it.
        QCOMPARE(errorNumberOf(save), 3197);
        QCOMPARE(TestDb::scalar(file, "SELECT emprunté FROM luma WHERE inventaire = '00001'"), QString("N"));

        // The next refresh opens the file now under the name.
        TestDb::exec(file, "DELETE FROM luma WHERE inventaire = '00050'");
        cursor->refresh();
        QCOMPARE(cursor->recordCount(), 49);
        QCOMPARE(errorNumberOf(save), 0);
        QCOMPARE(TestDb::scalar(file, "SELECT emprunté FROM luma WHERE inventaire = '00001'"), QString("O"));
    }

    void loansSavedDuringRepairsAreKept_data()
    {
        QTest::addColumn<QString>("journalMode");
        QTest::newRow("rollback journal") << "DELETE";
        QTest::newRow("write-ahead log") << "WAL";
    }

    void loansSavedDuringRepairsAreKept()
    {
        QFETCH(QString, journalMode);
        const int documents = 4000;
        const QString file = path("LUMA.MDB");
        TestDb::createCatalogue(file);
        TestDb::exec(file, "PRAGMA journal_mode = " + journalMode);
        TestDb::addNumbered(file, documents);
        const QString stop = path("stop");
        int channel[2];
        QCOMPARE(::pipe(channel), 0);
        const pid_t kiosk = ::fork();
        QVERIFY(kiosk >= 0);
        if (kiosk == 0) {
            ::close(channel[0]);
            lendUntilStopped(file, stop, channel[1], documents);
        }
        ::close(channel[1]);

        QList<int> saved;
        int refused = 0;
        bool lastSaved = false;
        // Reads what the kiosk tells until `enough`, or until it has stopped.
        const auto readUntil = [&](const std::function<bool()> &enough) {
            int number = 0;
            while (!enough() && ::read(channel[0], &number, sizeof number) == sizeof number) {
                lastSaved = number >= 0;
                if (lastSaved)
                    saved << number;
                else
                    ++refused;
            }
        };

        // Repairs, one after the other, once the other kiosk lends.
        readUntil([&] { return !saved.isEmpty(); });
        QList<RepairReport> reports;
        std::optional<AppError> failure;
        for (int i = 0; i < 4 && !failure; ++i) {
            failure = errorOf([&] { reports << RepairDatabase(file); });
            QThread::msleep(40);
        }
        // It lends on after meeting a replaced file (or would never meet one).
        QElapsedTimer since;
        since.start();
        readUntil([&] { return (refused >= 1 && lastSaved) || since.hasExpired(2000); });
        QVERIFY(writeFileBytes(stop, ""));
        readUntil([] { return false; });
        ::close(channel[0]);
        int status = 0;
        QCOMPARE(::waitpid(kiosk, &status, 0), kiosk);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QVERIFY2(!failure, failure ? qPrintable(failure->description()) : "");
        for (const RepairReport &report : std::as_const(reports))
            QCOMPARE(report.kept, documents);

        // Every loan the kiosk was told saved is in the file, and no other.
        QStringList told;
        for (int i : std::as_const(saved))
            told << inventory(i) + ":E" + inventory(i);
        told.sort();
        QCOMPARE(TestDb::scalar(file, "SELECT group_concat(loan, ' ') FROM (SELECT inventaire || ':' || emprunteur "
                                      "AS loan FROM luma WHERE emprunté = 'O' ORDER BY loan)"),
                 told.join(' '));
        // Its cursor met the files replaced under it.
        QVERIFY(refused >= 1);
        QCOMPARE(TestDb::scalar(file, "PRAGMA integrity_check"), QString("ok"));
    }

    void rowsTheirTableRefusesAreSetAside_data()
    {
        QTest::addColumn<QString>("made");      // the file as its tool made it
        QTest::addColumn<QString>("object");    // the object whose definition another tool changed since
        QTest::addColumn<QString>("changedTo"); // which the rows no longer all meet
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QString>("refused"); // its rowid, first column and how its reason begins
        QTest::addColumn<QString>("sideTable");

        QTest::newRow("empty field that must be filled")
            << "CREATE TABLE équipe(équipenuméro TEXT, équipeinstituteur TEXT);"
               "INSERT INTO équipe VALUES('01', 'Mme Durand'), (NULL, 'M. Petit'), ('03', 'Mme Roux');"
            << "équipe" << "CREATE TABLE équipe(équipenuméro TEXT NOT NULL, équipeinstituteur TEXT)" << "équipe"
            << 2 << "2|<null>|champ obligatoire vide" << "équipe réparation";
        QTest::newRow("value a rule refuses")
            << "CREATE TABLE luma(inventaire TEXT, titre TEXT);"
               "INSERT INTO luma VALUES('00001', 'Le loup'), ('00002', 'La ferme'), ('3', 'Le renard');"
            << "luma" << "CREATE TABLE luma(inventaire TEXT CHECK(length(inventaire) = 5), titre TEXT)" << "luma"
            << 2 << "3|3|règle de validité" << "luma réparation";
        QTest::newRow("side table of an earlier repair already there")
            << "CREATE TABLE [luma+](descripteur TEXT); CREATE INDEX d ON [luma+](descripteur);"
               "CREATE TABLE [luma+ réparation](descripteur, motif);"
               "INSERT INTO [luma+] VALUES('loup'), ('loup');"
            << "d" << "CREATE UNIQUE INDEX d ON [luma+](descripteur)" << "luma+" << 1 << "2|loup|doublon"
            << "luma+ réparation 2";
    }

    void rowsTheirTableRefusesAreSetAside()
    {
        QFETCH(QString, made);
        QFETCH(QString, object);
        QFETCH(QString, changedTo);
        QFETCH(QString, table);
        QFETCH(int, kept);
        QFETCH(QString, refused);
        QFETCH(QString, sideTable);
        const QString file = path("BASE.MDB");
        TestDb::exec(file, made);
        setStoredSql(file, object, changedTo);
        const QString side = '"' + sideTable + '"';

        const RepairReport report = RepairDatabase(file);
        QCOMPARE(QString("%1 %2 %3").arg(report.kept).arg(report.setAside).arg(report.sideTables.join('|')),
                 QString("%1 1 %2").arg(kept).arg(sideTable));
        // The definition stays as it was; the row it refuses is beside it.
        QCOMPARE(TestDb::scalar(file, "SELECT sql FROM sqlite_master WHERE name = '" + object + "'"), changedTo);
        QCOMPARE(TestDb::scalar(file, "SELECT (SELECT count(*) FROM \"" + table + "\") || ' ' || count(*) FROM " + side),
                 QString("%1 1").arg(kept));
        const QString row = TestDb::scalar(file, "SELECT rowid FROM " + side) + '|' +
                            TestDb::scalar(file, "SELECT * FROM " + side) + '|' +
                            TestDb::scalar(file, "SELECT motif FROM " + side);
        QVERIFY2(row.startsWith(refused), qPrintable(row));
        QCOMPARE(TestDb::scalar(file, "PRAGMA integrity_check"), QString("ok"));
    }

    void storedSchemaRunsOnlyAsOneCreateOfItsObject_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("storedSql");
        QTest::addColumn<QString>("told"); // what the refusal says; empty when the repair is made
        QTest::newRow("a statement after it")
            << "titres" << "CREATE INDEX titres ON luma(titre); CREATE TABLE intrus(x)" << "titres";
        QTest::newRow("a temporary table") << "luma" << "CREATE TEMP TABLE luma(inventaire TEXT, titre TEXT)"
                                           << "luma";
        QTest::newRow("comments and line ends inside")
            << "titres" << "CREATE INDEX titres -- par titre\n ON luma(titre /* seul */)" << "";
    }

    void storedSchemaRunsOnlyAsOneCreateOfItsObject()
    {
        QFETCH(QString, object);
        QFETCH(QString, storedSql);
        QFETCH(QString, told);
        const QString file = path("LUMA.MDB");
        TestDb::exec(file, "CREATE TABLE luma(inventaire TEXT, titre TEXT); CREATE TABLE prêts(inventaire TEXT);"
                           "INSERT INTO luma VALUES('00001', 'Le loup');"
                           "CREATE INDEX titres ON luma(titre);"
                           "CREATE VIEW prêtés AS SELECT * FROM luma WHERE inventaire IN (SELECT inventaire FROM prêts);"
                           "CREATE TRIGGER marque AFTER INSERT ON luma BEGIN INSERT INTO prêts VALUES(new.inventaire); "
                           "END;");
        setStoredSql(file, object, storedSql);
        const QByteArray before = fileContents(file);
        const QSet<QString> filesBefore = filesIn(QFileInfo(file).path());

        const std::optional<AppError> error = errorOf([&] { RepairDatabase(file); });
        if (told.isEmpty()) {
            QVERIFY2(!error, error ? qPrintable(error->description()) : "");
            QCOMPARE(TestDb::scalar(file, "SELECT sql FROM sqlite_master WHERE name = '" + object + "'"), storedSql);
            // Made after the rows were copied: the trigger did not run on them.
            QCOMPARE(TestDb::scalar(file, "SELECT count(*) FROM prêts"), QString("0"));
            return;
        }
        QVERIFY(error);
        QVERIFY2(error->description().contains(told), qPrintable(error->description()));
        QCOMPARE(fileContents(file), before);
        QCOMPARE(filesIn(QFileInfo(file).path()), filesBefore);
    }

    void journalsGoBesideTheCopyOrNowhere_data()
    {
        QTest::addColumn<int>("nameLength"); // of the database file's name
        QTest::addColumn<bool>("log");
        QTest::addColumn<bool>("journal");
        QTest::addColumn<bool>("repaired");
        // The copy's name is the file's followed by ".endommage-yyyymmdd-hhmmss"
        // (26 characters); its journals' add "-wal" or "-journal". Past 255
        // bytes the system refuses the name, and moving that journal fails.
        QTest::newRow("log and journal moved") << 8 << true << true << true;
        QTest::newRow("log cannot be moved") << 227 << true << false << false;
        QTest::newRow("journal cannot be moved") << 223 << false << true << false;
        QTest::newRow("log moved, journal cannot be") << 223 << true << true << false;
    }

    void journalsGoBesideTheCopyOrNowhere()
    {
        QFETCH(int, nameLength);
        QFETCH(bool, log);
        QFETCH(bool, journal);
        QFETCH(bool, repaired);
        QTemporaryDir folder;
        const QString file = folder.filePath(QString(nameLength - 4, 'L') + ".MDB");
        TestDb::createCatalogue(file);
        for (int i = 1; i <= 3; ++i)
            TestDb::addDocument(file, inventory(i), "Titre");
        if (log)
            writeIntoLog(file, "INSERT INTO luma(inventaire, titre) VALUES('00004', 'Dans le journal'), "
                               "('00005', 'Dans le journal')");
        if (journal) // what a journal left by a finished transaction may look like: not to be played back
            QVERIFY(writeFileBytes(file + "-journal", QByteArray(512, '\0') + "fin d'un ancien journal"));
        const QByteArray before = fileContents(file);
        const QByteArray logBefore = fileContents(file + "-wal");
        const QByteArray journalBefore = fileContents(file + "-journal");
        const QSet<QString> filesBefore = filesIn(folder.path());
        QCOMPARE(QFileInfo::exists(file + "-wal"), log);
        QCOMPARE(QFileInfo::exists(file + "-journal"), journal);

        const std::optional<AppError> error = errorOf([&] {
            const RepairReport report = RepairDatabase(file);
            QCOMPARE(report.kept, log ? 5 : 3); // the rows still in the log are kept
            QCOMPARE(fileContents(report.backup), before);
            QCOMPARE(fileContents(report.backup + "-wal"), logBefore);
            QCOMPARE(fileContents(report.backup + "-journal"), journalBefore);
        });
        if (repaired) {
            QVERIFY2(!error, error ? qPrintable(error->description()) : "");
            QVERIFY(!QFileInfo::exists(file + "-wal"));
            QVERIFY(!QFileInfo::exists(file + "-journal"));
            QCOMPARE(TestDb::scalar(file, "SELECT count(*) FROM luma"), QString("5"));
            return;
        }
        QVERIFY(error);
        QCOMPARE(fileContents(file), before);
        QCOMPARE(fileContents(file + "-wal"), logBefore);
        QCOMPARE(fileContents(file + "-journal"), journalBefore);
        QCOMPARE(filesIn(folder.path()), filesBefore);
    }

    // On a network disk the log's shared memory reaches no other computer:
    // a file in log mode goes back to the rollback journal, its rows in the
    // log kept, or is refused saying how, while another program has it open.
    void writeAheadLogOnANetworkDisk_data()
    {
        QTest::addColumn<bool>("local");
        QTest::addColumn<bool>("heldOpen");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("modeAfter");
        QTest::newRow("network disk: back to the rollback journal") << false << false << false << "delete";
        QTest::newRow("local disk: left in log mode") << true << false << false << "wal";
        QTest::newRow("network disk, open elsewhere: refused") << false << true << false << "wal";
        QTest::newRow("network disk, read only: refused") << false << false << true << "wal";
    }

    void writeAheadLogOnANetworkDisk()
    {
        QFETCH(bool, local);
        QFETCH(bool, heldOpen);
        QFETCH(bool, readOnly);
        QFETCH(QString, modeAfter);
        const QString file = bigCatalogue(20);
        writeIntoLog(file, "INSERT INTO luma(inventaire, titre) VALUES('00021', 'Dans le journal')");
        sqlite3 *other = nullptr;
        if (heldOpen) {
            QCOMPARE(sqlite3_open(file.toUtf8().constData(), &other), SQLITE_OK);
            QCOMPARE(sqlite3_exec(other, "SELECT count(*) FROM luma", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        const Database::LocalDiskTest disk = local ? +[](const QString &) { return true; }
                                                   : +[](const QString &) { return false; };
        const std::optional<AppError> error = errorOf([&] {
            const auto db = Database::open(file, readOnly ? Database::Mode::ReadOnly : Database::Mode::ReadWrite, {}, disk);
            int count = 0;
            forEachRow(*db, "SELECT * FROM luma", [&](const QStringList &) { ++count; });
            QCOMPARE(count, 21);
        });
        sqlite3_close(other);
        if (modeAfter == "wal" && !local) {
            QVERIFY(error);
            QCOMPARE(error->number(), 3051);
            QVERIFY2(error->description().contains("PRAGMA journal_mode=DELETE"), qPrintable(error->description()));
        } else {
            QVERIFY2(!error, error ? qPrintable(error->description()) : "");
        }
        QCOMPARE(TestDb::scalar(file, "PRAGMA journal_mode"), modeAfter);
        QCOMPARE(TestDb::scalar(file, "SELECT titre FROM luma WHERE inventaire = '00021'"), QString("Dans le journal"));
    }

    // The rebuilt file serves the accounts the damaged one served, and never
    // in log mode (a network disk would share its index with nobody).
    void repairKeepsWhoMayUseTheFile_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("otherGroup");
        QTest::addColumn<bool>("log");
        QTest::newRow("0640, own group") << 0640 << false << false;
        QTest::newRow("0660, another group") << 0660 << true << false;
        QTest::newRow("0600, another group, log mode") << 0600 << true << true;
        QTest::newRow("0664, own group, log mode") << 0664 << false << true;
    }

    void repairKeepsWhoMayUseTheFile()
    {
        QFETCH(int, mode);
        QFETCH(bool, otherGroup);
        QFETCH(bool, log);
        const QString file = bigCatalogue(20);
        if (log)
            writeIntoLog(file, "INSERT INTO luma(inventaire, titre) VALUES('00021', 'Dans le journal')");
        const std::optional<struct stat> before = giveAway(file, mode_t(mode), otherGroup);
        if (!before)
            QSKIP("This account belongs to no other group to give a file.");

        RepairDatabase(file);
        QVERIFY(replacedForTheSameAccounts(file, *before));
        QCOMPARE(TestDb::scalar(file, "PRAGMA journal_mode"), QString("delete"));
        QCOMPARE(TestDb::scalar(file, "SELECT count(*) FROM luma"), QString(log ? "21" : "20"));
    }
};

QTEST_GUILESS_MAIN(TestDataDatabase)
#include "tst_data_database.moc"
