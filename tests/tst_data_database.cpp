#include "data/cursor.h"
#include "data/database.h"
#include "data/repair.h"
#include "platform/apperror.h"
#include "errors.h"
#include "testdb.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray hashOf(const QString &path)
{
    return QCryptographicHash::hash(contents(path), QCryptographicHash::Sha256);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Overwrites one page of a database file with bytes no page can hold.
void damagePage(const QString &path, int pageNumber)
{
    const int pageSize = TestDb::scalar(path, "PRAGMA page_size").toInt();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(qint64(pageNumber - 1) * pageSize));
    file.write(QByteArray(pageSize, char(0x7f)));
}

const QString kAccessSamples = QStringLiteral("/work/shared/testdata/access");

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
        TestDb::exec(file, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                          "INSERT INTO luma(inventaire, titre, emprunt, emprunté) "
                                          "SELECT printf('%05d', i), 'Titre ' || i || ' ' || hex(zeroblob(150)), "
                                          "'O', 'N' FROM n")
                               .arg(rows));
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

    void missingFileIsNeverCreated()
    {
        const QString file = path("ABSENT.MDB");
        QCOMPARE(errorNumberOf([&] { Database::open(file); }), ErrorNumber::DatabaseNotFound);
        QVERIFY(!QFile::exists(file));
        QCOMPARE(errorNumberOf([&] { RepairDatabase(file); }), ErrorNumber::DatabaseNotFound);
        QVERIFY(!QFile::exists(file));
        Cursor cursor(QStringLiteral("luma"));
        cursor.setDatabaseName(file);
        QCOMPARE(errorNumberOf([&] { cursor.refresh(); }), ErrorNumber::DatabaseNotFound);
        QVERIFY(!cursor.isOpen());
        QVERIFY(!QFile::exists(file));
        QVERIFY(errorTextOf([&] { Database::open(file); }).contains(QDir::toNativeSeparators(file)));
    }

    void notADatabase_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("Ceci n'est pas une base de données.\r\n").repeated(200);
        QTest::newRow("empty") << QByteArray();
        QByteArray header("SQLite format 3");
        header.append('\0');
        QTest::newRow("header then garbage") << header + QByteArray(8192, char(0x55));
    }

    void notADatabase()
    {
        QFETCH(QByteArray, bytes);
        const QString file = path("LUMA.MDB");
        writeFile(file, bytes);
        QCOMPARE(errorNumberOf([&] { Database::open(file); }), ErrorNumber::DatabaseDamaged);
        QCOMPARE(contents(file), bytes);
    }

    void damageFoundWhileReading()
    {
        const QString file = bigCatalogue(2000);
        const auto [page, cells] = middleLeaf(file);
        QVERIFY(page > 2 && cells > 0);
        damagePage(file, page);
        // The schema reads: the damage shows only when the table is read.
        QCOMPARE(errorNumberOf([&] { Database::open(file); }), 0);
        Cursor cursor(QStringLiteral("luma"));
        cursor.setDatabaseName(file);
        QCOMPARE(errorNumberOf([&] { cursor.refresh(); }), ErrorNumber::DatabaseDamaged);
        QVERIFY(!cursor.isOpen());
    }

    void accessFilesAreNeverTouched_data()
    {
        QTest::addColumn<QString>("sample");
        const QStringList samples =
            QDir(kAccessSamples).entryList({"*.mdb", "*.accdb"}, QDir::Files, QDir::Name);
        if (samples.isEmpty())
            QSKIP("no Access sample files on this machine");
        for (const QString &sample : samples)
            QTest::newRow(qPrintable(sample)) << sample;
    }

    void accessFilesAreNeverTouched()
    {
        QFETCH(QString, sample);
        const QString original = kAccessSamples + '/' + sample;
        const QByteArray originalHash = hashOf(original);
        QVERIFY(isAccessFile(original));
        // A writable copy, so that nothing but the program's care keeps it intact.
        QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("LUMA.MDB"));
        QVERIFY(QFile::copy(original, copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);

        for (const QString &file : {original, copy}) {
            QCOMPARE(errorNumberOf([&] { Database::open(file); }), ErrorNumber::AccessFormat);
            QCOMPARE(errorNumberOf([&] { RepairDatabase(file); }), ErrorNumber::AccessFormat);
            Cursor cursor(QStringLiteral("luma"));
            cursor.setDatabaseName(file);
            QCOMPARE(errorNumberOf([&] { cursor.refresh(); }), ErrorNumber::AccessFormat);
            QCOMPARE(hashOf(file), originalHash);
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"LUMA.MDB"});
        const QString description = errorTextOf([&] { Database::open(copy); });
        QVERIFY2(description.contains("Access") && description.contains("converti"), qPrintable(description));
    }

    void busyFileIsReportedAfterWaiting()
    {
        const QString file = path("LUMA.MDB");
        TestDb::createCatalogue(file);
        TestDb::addDocument(file, "00001", "Le loup");
        Cursor cursor(QStringLiteral("luma"));
        cursor.setDatabaseName(file);
        cursor.refresh();

        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(file.toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        QElapsedTimer timer;
        timer.start();
        cursor.setField("titre", "Le loup gris");
        QCOMPARE(errorNumberOf([&] { cursor.update(); }), ErrorNumber::RecordLocked);
        QVERIFY(timer.elapsed() >= 1000); // waited for the other program first
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QCOMPARE(TestDb::scalar(file, "SELECT titre FROM luma"), QString("Le loup"));
    }

    void repairKeepsEveryReadableRow()
    {
        const int rows = 2000;
        const QString file = bigCatalogue(rows);
        TestDb::exec(file, "CREATE INDEX titres ON luma(titre)");
        const auto [page, cells] = middleLeaf(file);
        damagePage(file, page);
        const QByteArray damaged = contents(file);

        const long long rebuilt = RepairDatabase(file);
        QCOMPARE(rebuilt, rows - cells);

        const QStringList backups = QDir(QFileInfo(file).path())
                                        .entryList({QFileInfo(file).fileName() + ".endommage-*"}, QDir::Files);
        QCOMPARE(backups.size(), 1);
        QCOMPARE(contents(QFileInfo(file).path() + '/' + backups.first()), damaged);
        QVERIFY(QDir(QFileInfo(file).path()).entryList({"*reparation*"}, QDir::Files).isEmpty());

        QCOMPARE(TestDb::scalar(file, "PRAGMA integrity_check"), QString("ok"));
        QCOMPARE(TestDb::scalar(file, "SELECT count(*) FROM luma"), QString::number(rows - cells));
        // Rows before and after the damaged page are there; nothing is doubled.
        QCOMPARE(TestDb::scalar(file, "SELECT min(inventaire) FROM luma"), QString("00001"));
        QCOMPARE(TestDb::scalar(file, "SELECT max(inventaire) FROM luma"), QString("02000"));
        QCOMPARE(TestDb::scalar(file, "SELECT count(DISTINCT inventaire) FROM luma"), QString::number(rows - cells));
        QCOMPARE(TestDb::scalar(file, "SELECT count(*) FROM sqlite_master WHERE name = 'titres'"), QString("1"));

        // The program reads the repaired file, even through a cursor that had it open before.
        Cursor cursor(QStringLiteral("luma"));
        cursor.setDatabaseName(file);
        cursor.setRecordSource("SELECT * FROM luma ORDER BY inventaire ASC");
        cursor.refresh();
        QCOMPARE(cursor.recordCount(), rows - cells);
        cursor.moveLast();
        QCOMPARE(cursor.field("inventaire"), QString("02000"));
    }

    void repairReplacesTheFileUnderAnOpenCursor()
    {
        const QString file = bigCatalogue(50);
        Cursor cursor(QStringLiteral("luma"));
        cursor.setDatabaseName(file);
        cursor.refresh();
        QCOMPARE(RepairDatabase(file), 50);
        TestDb::exec(file, "DELETE FROM luma WHERE inventaire = '00001'");
        cursor.refresh();
        QCOMPARE(cursor.recordCount(), 49);
    }

    void duplicatesKeptWhenAUniqueIndexCannotBeRebuilt()
    {
        const QString file = path("COTATION.MDB");
        TestDb::exec(file, "CREATE TABLE [luma+](descripteur TEXT); CREATE UNIQUE INDEX d ON [luma+](descripteur);"
                           "INSERT INTO [luma+] VALUES('loup'), ('renard');");
        // Another tool broke the index: the table now holds a value twice.
        TestDb::exec(file, "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = 'CREATE INDEX d ON "
                           "[luma+](descripteur)' WHERE name = 'd'; PRAGMA writable_schema = OFF;");
        TestDb::exec(file, "INSERT INTO [luma+] VALUES('loup')");
        TestDb::exec(file, "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = 'CREATE UNIQUE INDEX d ON "
                           "[luma+](descripteur)' WHERE name = 'd'; PRAGMA writable_schema = OFF;");
        QCOMPARE(RepairDatabase(file), 3);
        QCOMPARE(TestDb::scalar(file, "SELECT count(*) FROM [luma+] WHERE descripteur = 'loup'"), QString("2"));
        QCOMPARE(TestDb::scalar(file, "PRAGMA integrity_check"), QString("ok"));
    }

    void failedRepairLeavesTheFileAlone()
    {
        const QString file = path("MEMBRES.MDB");
        const QByteArray garbage = QByteArray("pas une base").repeated(1000);
        writeFile(file, garbage);
        QCOMPARE(errorNumberOf([&] { RepairDatabase(file); }), ErrorNumber::DatabaseDamaged);
        QCOMPARE(contents(file), garbage);
        QCOMPARE(QDir(QFileInfo(file).path()).entryList({QFileInfo(file).fileName() + "*"}, QDir::Files),
                 QStringList{QFileInfo(file).fileName()});
    }
};

QTEST_GUILESS_MAIN(TestDataDatabase)
#include "tst_data_database.moc"
