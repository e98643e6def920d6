#include "accessimport.h"

#include "data/database.h"
#include "errors.h"
#include "testdb.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <QtTest>

#include <sqlite3.h>

#include <limits>

namespace {

QString sample(const QString &name)
{
    return QStringLiteral(LUMA_ACCESS_SAMPLES "/") + name;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(sample(QStringLiteral("testV1997.mdb"))))
            QSKIP("The sample Access files are not beside the repository.");
    }

    void importsTablesAndColumns_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("tables");
        QTest::addColumn<QStringList>("columns"); // of the first table
        QTest::addColumn<qint64>("rows");

        QTest::newRow("Jet 3") << "testV1997.mdb" << QStringList{"Table1", "Table2", "Table3", "Table4"}
                               << QStringList{"A", "B", "C", "D", "E", "F", "G", "H", "I"} << qint64(2);
        QTest::newRow("Jet 4, compressed Unicode")
            << "testUnicodeCompV2003.mdb" << QStringList{"Table"} << QStringList{"ID", "Unicode"} << qint64(8);
        QTest::newRow("ACE, accented column")
            << "odbcLinkerTestV2007.accdb" << QStringList{"Lokal"}
            << QStringList{"ID", "Version", "Användare", "Fysisk plats", "Mallar plats", "Rapport plats",
                           "DropboxPath", "LogPath", "BackEnd", "KiddeArkivPath", "Staging"}
            << qint64(1);
        QTest::newRow("non-Latin column name") << "noRoman.mdb" << QStringList{"t_noroman"}
                                               << QStringList{"ID", "end", "q3¹²³¼½¾ß€Ð×ÝÞðýþäüöß"} << qint64(0);
        QTest::newRow("table name with blanks and signs") << "weirdObjectNames.mdb" << QStringList{"19 MB 01 BEZAHLT ???"}
                                                          << QStringList{"ID", "TextField"} << qint64(1);
    }

    void importsTablesAndColumns()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, tables);
        QFETCH(QStringList, columns);
        QFETCH(qint64, rows);

        QTemporaryDir dir;
        const QString destination = dir.filePath(QStringLiteral("LUMA.MDB"));
        const QByteArray before = contents(sample(file));
        const ImportResult result = importAccessFile(sample(file), destination);
        QCOMPARE(contents(sample(file)), before);
        QCOMPARE(result.tables, tables.size());
        QCOMPARE(result.rows, rows);
        // Only the destination is left in the folder: no temporary file.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"LUMA.MDB"});
        // With the mode of any new file, not the temporary file's owner-only one.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(destination).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0666 & ~mask);

        const auto db = Database::open(destination);
        QStringList found;
        for (const SchemaTable &t : db->schema().tables)
            found << t.name;
        found.sort();
        QCOMPARE(found, tables);
        const SchemaTable *imported = db->schema().findTable(tables.first());
        QVERIFY(imported);
        QCOMPARE(imported->columns, columns);
    }

    void convertsValues_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");

        const QString unicode = QStringLiteral("SELECT Unicode FROM [Table] WHERE ID = '%1'");
        QTest::newRow("compressed Latin") << "testUnicodeCompV2003.mdb" << "" << unicode.arg(2) << "ääkkösiä";
        QTest::newRow("Japanese") << "testUnicodeCompV2003.mdb" << "" << unicode.arg(5) << "漢字仮名交じり文";
        // Dates before the Gregorian reform stay proleptic, as Access counts them.
        const QString oldDate = QStringLiteral("SELECT DateField FROM Table1 WHERE ID = '%1'");
        QTest::newRow("day before 15/10/1582") << "oldDatesV2007.accdb" << "" << oldDate.arg(2) << "14/10/1582";
        QTest::newRow("1392") << "oldDatesV2007.accdb" << "" << oldDate.arg(4) << "10/01/1392";
        const QString project = QStringLiteral("SELECT %1 FROM MSP_PROJECTS");
        QTest::newRow("Yes") << "test2V2003.mdb" << "" << project.arg("PROJ_OPT_CALC_ACT_COSTS") << "-1";
        QTest::newRow("No") << "test2V2003.mdb" << "" << project.arg("PROJ_IS_RES_POOL") << "0";
        QTest::newRow("NULL text") << "test2V2003.mdb" << "" << project.arg("PROJ_PROP_CATEGORY") << "<null>";
        QTest::newRow("memo, whole") << "test2V2003.mdb" << "" << project.arg("length(PROJ_PROP_AUTHOR)") << "348";
        const QString jet3 = QStringLiteral("SELECT %1 FROM Table1 WHERE A = 'abcdefg'");
        QTest::newRow("Jet 3 double") << "testV1997.mdb" << "" << jet3.arg("F") << "444.555";
        QTest::newRow("Jet 3 long") << "testV1997.mdb" << "" << jet3.arg("E") << "333333333";
        QTest::newRow("Jet 3 in GBK") << "charsetGBK.mdb" << "GBK" << "SELECT field1 FROM table1" << "GBK编码";
    }

    void convertsValues()
    {
        QFETCH(QString, file);
        QFETCH(QString, charset);
        QFETCH(QString, sql);
        QFETCH(QString, expected);

        QTemporaryDir dir;
        const QString destination = dir.filePath(QStringLiteral("LUMA.MDB"));
        importAccessFile(sample(file), destination, ImportOptions{charset});
        QCOMPARE(TestDb::scalar(destination, sql), expected);
    }

    void refusesAndLeavesNothing_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<int>("error"); // 58: the destination exists

        QTest::newRow("existing destination") << sample("testV1997.mdb") << "" << 58;
        QTest::newRow("not an Access file") << sample("README.md") << "" << 3049;
        QTest::newRow("missing source") << sample("absent.mdb") << "" << 53;
        QTest::newRow("unknown code page") << sample("charsetGBK.mdb") << "NO-SUCH-CODE-PAGE" << 5;
    }

    void refusesAndLeavesNothing()
    {
        QFETCH(QString, source);
        QFETCH(QString, charset);
        QFETCH(int, error);
        const bool destinationExists = error == 58;

        QTemporaryDir dir;
        const QString destination = dir.filePath(QStringLiteral("LUMA.MDB"));
        if (destinationExists)
            TestDb::createCatalogue(destination);
        const QByteArray before = contents(destination);

        const auto raised = errorOf([&] { importAccessFile(source, destination, ImportOptions{charset}); });
        QVERIFY(raised);
        QCOMPARE(raised->number(), error);
        QVERIFY(!raised->description().isEmpty());
        QCOMPARE(contents(destination), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 destinationExists ? QStringList{"LUMA.MDB"} : QStringList{});
    }

    void indexesInventory_data()
    {
        QTest::addColumn<QStringList>("inventories");
        QTest::addColumn<QString>("warning"); // none: the index is unique

        QTest::newRow("distinct numbers, blanks allowed") << QStringList{"101", "102", "", ""} << "";
        QTest::newRow("duplicates kept, index plain") << QStringList{"101", "102", "101"} << "(101)";
    }

    void indexesInventory()
    {
        QFETCH(QStringList, inventories);
        QFETCH(QString, warning);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("LUMA.MDB"));
        TestDb::exec(path, QStringLiteral("CREATE TABLE luma(inventaire TEXT, titre TEXT)"));
        for (const QString &inventory : inventories)
            TestDb::insert(path, QStringLiteral("luma"), {"inventaire", "titre"},
                           {inventory.isEmpty() ? QVariant() : QVariant(inventory), QStringLiteral("Titre")});

        const auto db = Database::open(path);
        QStringList warnings;
        indexInventory(db->handle(), QStringLiteral("luma"), QStringLiteral("inventaire"), warnings);
        QCOMPARE(TestDb::scalar(path, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'luma'"),
                 QStringLiteral("1"));
        const int rc = sqlite3_exec(db->handle(), "INSERT INTO luma VALUES('102', 'x')", nullptr, nullptr, nullptr);
        QCOMPARE(rc & 0xff, warning.isEmpty() ? SQLITE_CONSTRAINT : SQLITE_OK);
        QCOMPARE(warnings.size(), warning.isEmpty() ? 0 : 1);
        QVERIFY2(warning.isEmpty() || warnings[0].contains(warning), qPrintable(warnings.join('\n')));
    }

    void formatsJetValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("negative day, time forward") << jetDateText(-1.25) << "29/12/1899 06:00:00";
        QTest::newRow("rounding to midnight") << jetDateText(1.9999999) << "01/01/1900";
        QTest::newRow("first Jet day") << jetDateText(-657434) << "01/01/0100";
        QTest::newRow("out of range") << jetDateText(1e9) << "1000000000";
        QTest::newRow("single") << decimalText(0.1f) << "0.1";
        QTest::newRow("large double") << decimalText(1e20) << "100000000000000000000";
        QTest::newRow("small double") << decimalText(-2.5e-7) << "-0.00000025";
        QTest::newRow("negative zero") << decimalText(-0.0) << "0";
        QTest::newRow("currency cents") << currencyText(-5000) << "-0.5";
        QTest::newRow("currency minimum") << currencyText(std::numeric_limits<qint64>::min())
                                          << "-922337203685477.5808";
    }

    void formatsJetValues()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
