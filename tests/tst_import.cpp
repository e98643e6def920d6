#include "accessimport.h"
#include "folderimport.h"

#include "data/database.h"
#include "errors.h"
#include "files.h"
#include "groups.h"
#include "samples.h"
#include "testdb.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QtTest>

#include <sqlite3.h>

#include <limits>

namespace {

QString sample(const QString &name)
{
    return AccessSamples::file(name);
}

// A school as a teacher copies it from Windows: LALUMA and, beside it,
// ALTEMARE, each database a sample Access file.
struct SchoolCopy
{
    QTemporaryDir dir;
    QString base() const { return dir.filePath("LALUMA"); }

    // name: relative path under the temporary folder; sample: "" for none.
    void put(const QString &name, const QString &file)
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile::remove(path);
        QVERIFY(QFile::copy(sample(file), path));
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup
                                   | QFile::ReadOther);
    }
    // The four databases, the school's beside the data folder or in it,
    // names as given or in lower case; gives the sample of each.
    QMap<QString, QString> fill(bool schoolBeside = true, bool lowerCase = false)
    {
        const auto name = [&](const QString &n) { return lowerCase ? n.toLower() : n; };
        const QMap<QString, QString> samples{
            {schoolBeside ? "ALTEMARE/ALTEMARE.MDB" : "LALUMA/" + name("ALTEMARE.MDB"), "testV1997.mdb"},
            {"LALUMA/" + name("LUMA.MDB"), "test2V2003.mdb"},
            {"LALUMA/" + name("COTATION.MDB"), "testUnicodeCompV2003.mdb"},
            {"LALUMA/" + name("MEMBRES.MDB"), "odbcLinkerTestV2007.accdb"}};
        for (auto it = samples.begin(); it != samples.end(); ++it)
            put(it.key(), it.value());
        return samples;
    }
};

// The steps that change a name in a filled school: ACCESS made and the
// original linked there, in each folder, then the four renames.
constexpr int kPlacingSteps = 10;

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        NEED_ACCESS_SAMPLES();
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
        const QByteArray before = fileContents(sample(file));
        const ImportResult result = importAccessFile(sample(file), destination);
        QCOMPARE(fileContents(sample(file)), before);
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

        QCOMPARE(TestDb::scalar(destination, "SELECT group_concat(name, '|') FROM (SELECT name FROM sqlite_master "
                                             "WHERE type = 'table' ORDER BY name)"),
                 tables.join('|'));
        QCOMPARE(TestDb::scalar(destination, "SELECT group_concat(name, '|') FROM pragma_table_info('" +
                                                 QString(tables.first()).replace("'", "''") + "')"),
                 columns.join('|'));
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
        const QByteArray before = fileContents(destination);

        const auto raised = errorOf([&] { importAccessFile(source, destination, ImportOptions{charset}); });
        QVERIFY(raised);
        QCOMPARE(raised->number(), error);
        QVERIFY(!raised->description().isEmpty());
        QCOMPARE(fileContents(destination), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 destinationExists ? QStringList{"LUMA.MDB"} : QStringList{});
    }

    void indexesInventory_data()
    {
        QTest::addColumn<QStringList>("inventories");
        QTest::addColumn<QString>("report"); // none: the index is unique

        QTest::newRow("distinct numbers, blanks allowed") << QStringList{"101", "102", "", ""} << "";
        // Told with each repeated number's rows (numbered from 1) and titles.
        QTest::newRow("duplicates kept, told with their rows")
            << QStringList{"101", "102", "101", "205", "205"}
            << "101 : ligne 1 « Titre 1 », ligne 3 « Titre 3 »\n  n° 205 : ligne 4 « Titre 4 », ligne 5 « Titre 5 »";
    }

    void indexesInventory()
    {
        QFETCH(QStringList, inventories);
        QFETCH(QString, report);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("LUMA.MDB"));
        TestDb::exec(path, QStringLiteral("CREATE TABLE luma(inventaire TEXT, Titre TEXT)"));
        for (int i = 0; i < inventories.size(); ++i)
            TestDb::insert(path, QStringLiteral("luma"), {"inventaire", "Titre"},
                           {inventories[i].isEmpty() ? QVariant() : QVariant(inventories[i]),
                            QStringLiteral("Titre %1").arg(i + 1)});

        const auto db = Database::open(path);
        QStringList warnings;
        indexInventory(db->handle(), QStringLiteral("luma"), QStringLiteral("inventaire"), warnings);
        QCOMPARE(TestDb::scalar(path, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'luma'"),
                 QStringLiteral("1"));
        QCOMPARE(TestDb::scalar(path, "SELECT COUNT(*) FROM luma"), QString::number(inventories.size()));
        const int rc = sqlite3_exec(db->handle(), "INSERT INTO luma VALUES('102', 'x')", nullptr, nullptr, nullptr);
        QCOMPARE(rc & 0xff, report.isEmpty() ? SQLITE_CONSTRAINT : SQLITE_OK);
        QCOMPARE(warnings.size(), report.isEmpty() ? 0 : 1);
        QVERIFY2(report.isEmpty() || warnings[0].contains(report), qPrintable(warnings.join('\n')));
    }

    // The folder form: each Access file converted in place, its original
    // kept byte for byte in ACCESS; a second run changes nothing.
    void convertsDataFolderOnce_data()
    {
        QTest::addColumn<bool>("schoolBeside");    // else ALTEMARE.MDB in the data folder
        QTest::addColumn<bool>("lowerCase");       // names as a copy from Windows may have them
        QTest::addColumn<bool>("convertedBefore"); // COTATION.MDB is already converted
        QTest::addColumn<bool>("archiveTaken");    // ACCESS/LUMA.MDB is another file

        QTest::newRow("school folder beside") << true << false << false << false;
        QTest::newRow("school in the data folder, names in lower case") << false << true << false << false;
        QTest::newRow("one already converted, an archive name taken") << true << false << true << true;
    }

    void convertsDataFolderOnce()
    {
        QFETCH(bool, schoolBeside);
        QFETCH(bool, lowerCase);
        QFETCH(bool, convertedBefore);
        QFETCH(bool, archiveTaken);

        SchoolCopy school;
        const QMap<QString, QString> samples = school.fill(schoolBeside, lowerCase);
        // A school folder without ALTEMARE.MDB is not the school folder.
        if (!schoolBeside)
            QDir().mkpath(school.dir.filePath("ALTEMARE"));
        const QString cotation = school.dir.filePath(lowerCase ? "LALUMA/cotation.mdb" : "LALUMA/COTATION.MDB");
        if (convertedBefore) {
            QFile::remove(cotation);
            TestDb::exec(cotation, "CREATE TABLE [luma+](descripteur TEXT)");
        }
        const QByteArray otherArchive("an earlier original");
        if (archiveTaken) {
            QDir().mkpath(school.dir.filePath("LALUMA/ACCESS"));
            QVERIFY(writeFileBytes(school.dir.filePath("LALUMA/ACCESS/luma.mdb"), otherArchive));
        }
        const QByteArray cotationBefore = fileContents(cotation);

        const FolderImportResult result = importDataFolder(school.base());
        QCOMPARE(result.schoolFolder, school.dir.filePath(schoolBeside ? "ALTEMARE" : "LALUMA"));
        QCOMPARE(result.converted(), convertedBefore ? 3 : 4);
        for (const FolderFile &file : result.files) {
            const QString relative = QDir(school.dir.path()).relativeFilePath(file.path);
            QVERIFY2(samples.contains(relative), qPrintable(relative));
            if (convertedBefore && file.path == cotation) {
                QCOMPARE(file.state, FolderFile::State::AlreadyConverted);
                QCOMPARE(fileContents(cotation), cotationBefore);
                continue;
            }
            QCOMPARE(file.state, FolderFile::State::Converted);
            QCOMPARE(fileContents(file.archive), fileContents(sample(samples[relative])));
            QCOMPARE(QFileInfo(file.archive).fileName(),
                     archiveTaken && relative.endsWith("LUMA.MDB") && !relative.contains("ALTEMARE")
                         ? QStringLiteral("LUMA-2.MDB")
                         : QFileInfo(file.path).fileName());
            QCOMPARE(QFileInfo(file.archive).absolutePath(), QFileInfo(file.path).absolutePath() + "/ACCESS");
            QVERIFY(file.result.tables > 0);
            // The program opens it.
            QCOMPARE(Database::open(file.path)->schema().tables.size(), qsizetype(file.result.tables));
        }
        if (archiveTaken)
            QCOMPARE(fileContents(school.dir.filePath("LALUMA/ACCESS/luma.mdb")), otherArchive);
        // Only the databases and their originals: no temporary file is left.
        QCOMPARE(QDir(school.base()).entryList(QDir::Files | QDir::Hidden).size(), 4 - (schoolBeside ? 1 : 0));

        const auto before = fileTree(school.dir.path(), true);
        const FolderImportResult again = importDataFolder(school.base());
        QCOMPARE(again.converted(), 0);
        for (const FolderFile &file : again.files)
            QCOMPARE(file.state, FolderFile::State::AlreadyConverted);
        COMPARE_TREES(fileTree(school.dir.path(), true), before);
    }

    // The converted file takes the original's place for the same accounts:
    // its group and mode, its owner when run as administrator.
    void convertedFileKeepsWhoMayUseIt_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("otherGroup");
        QTest::newRow("0640, own group") << 0640 << false;
        QTest::newRow("0660, another group") << 0660 << true;
        QTest::newRow("0600, another group") << 0600 << true;
    }

    void convertedFileKeepsWhoMayUseIt()
    {
        QFETCH(int, mode);
        QFETCH(bool, otherGroup);
        SchoolCopy school;
        school.put("LALUMA/LUMA.MDB", "test2V2003.mdb");
        const QString file = school.dir.filePath("LALUMA/LUMA.MDB");
        const std::optional<struct stat> before = giveAway(file, mode_t(mode), otherGroup);
        if (!before)
            QSKIP("This account belongs to no other group to give a file.");

        QCOMPARE(importDataFolder(school.base()).converted(), 1);
        QVERIFY(replacedForTheSameAccounts(file, *before));
    }

    // Any failure leaves every file as it was: in the files themselves, at
    // each step that changes a name, and in what is around them.
    void failureChangesNothing_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("failingStep"); // -1: none
        QTest::addColumn<QString>("told");    // in the message

        QTest::newRow("truncated Access file") << "truncated" << -1 << "LALUMA/MEMBRES.MDB";
        QTest::newRow("a folder in a file's place") << "folder" << -1 << "LALUMA/COTATION.MDB";
        QTest::newRow("ACCESS is a file") << "ACCESS file" << -1 << "ALTEMARE/ACCESS";
        for (int step = 0; step < kPlacingSteps; ++step)
            QTest::addRow("failing at step %d", step) << "" << step << "étape";
        // As a crash leaves them: only the four renames are left to do.
        QTest::newRow("second names already made, last rename failing") << "second names" << 3 << "étape";
    }

    void failureChangesNothing()
    {
        QFETCH(QString, damage);
        QFETCH(int, failingStep);
        QFETCH(QString, told);

        SchoolCopy school;
        school.fill();
        if (damage == "truncated") {
            // An Access header, but the table list is cut off.
            QVERIFY(writeFileBytes(school.dir.filePath("LALUMA/MEMBRES.MDB"),
                                   fileContents(sample("testV1997.mdb")).left(20 * 1024)));
        } else if (damage == "folder") {
            QVERIFY(QFile::remove(school.dir.filePath("LALUMA/COTATION.MDB")));
            QVERIFY(QDir().mkpath(school.dir.filePath("LALUMA/COTATION.MDB")));
        } else if (damage == "ACCESS file") {
            QVERIFY(writeFileBytes(school.dir.filePath("ALTEMARE/ACCESS"), {}));
        } else if (damage == "second names") {
            for (const char *name : {"ALTEMARE/ALTEMARE", "LALUMA/LUMA", "LALUMA/COTATION", "LALUMA/MEMBRES"}) {
                const QString file = school.dir.filePath(QString::fromLatin1(name) + ".MDB");
                const QString access = QFileInfo(file).absolutePath() + "/ACCESS";
                QDir().mkpath(access);
                QCOMPARE(::link(QFile::encodeName(file).constData(),
                                QFile::encodeName(access + "/" + QFileInfo(file).fileName()).constData()),
                         0);
            }
        }
        const auto before = fileTree(school.dir.path(), true);

        FolderImportOptions options;
        int steps = 0;
        options.beforeStep = [&](int step) {
            ++steps;
            if (step == failingStep)
                throw AppError(ErrorNumber::DiskFull, QStringLiteral("étape %1 refusée").arg(step));
        };
        const auto error = errorOf([&] { importDataFolder(school.base(), options); });
        QVERIFY(error);
        QVERIFY2(error->description().contains(told), qPrintable(error->description()));
        QVERIFY2(error->description().endsWith("Aucun fichier n'a été modifié : tous sont comme avant la conversion."),
                 qPrintable(error->description()));
        COMPARE_TREES(fileTree(school.dir.path(), true), before);
        if (failingStep == kPlacingSteps - 1)
            QCOMPARE(steps, kPlacingSteps); // every step was tried
        if (damage == "second names")
            QCOMPARE(steps, 4);
    }

    // A run stopped dead between two steps (a crash, a power cut): the next
    // run finishes the work, with the result of an uninterrupted run.
    void runAfterACrashFinishesTheWork_data()
    {
        QTest::addColumn<int>("crashStep");
        for (int step = 0; step < kPlacingSteps; ++step)
            QTest::addRow("crash before step %d", step) << step;
        QTest::newRow("crash while converting") << -1;
    }

    void runAfterACrashFinishesTheWork()
    {
        QFETCH(int, crashStep);

        SchoolCopy clean;
        clean.fill();
        importDataFolder(clean.base());
        const auto expected = fileTree(clean.dir.path());

        SchoolCopy school;
        school.fill();
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            FolderImportOptions options;
            options.beforeStep = [&](int step) {
                if (step == crashStep)
                    ::_exit(0);
            };
            int tables = 0;
            options.import.progress = [&](const TableProgress &progress) {
                if (crashStep < 0 && progress.finished && ++tables == 6)
                    ::_exit(0);
            };
            try {
                importDataFolder(school.base(), options);
            } catch (...) {
            }
            ::_exit(1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0); // it did stop there

        const FolderImportResult result = importDataFolder(school.base());
        COMPARE_TREES(fileTree(school.dir.path()), expected);
    }

    // The command the program's message names, as a shell reads it back.
    void accessMessageCommandNamesTheFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "/srv/ecole/LALUMA";
        QTest::newRow("blanks and accents") << "/home/Mme Dupont/École maternelle/LALUMA";
        QTest::newRow("quote and signs") << "/home/l'école/$HOME `x` \\ \"LALUMA\"";
    }

    void accessMessageCommandNamesTheFolder()
    {
        QFETCH(QString, folder);
        const QString command = accessImportCommand(folder);
        QVERIFY(command.startsWith("luma-import "));
        QProcess shell;
        shell.start("/bin/sh", {"-c", "set -- " + command.mid(12) + "; printf '%s|%s' \"$#\" \"$1\""});
        QVERIFY(shell.waitForFinished());
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), "1|" + folder);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // in stdout, or in stderr for a failure

        QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage : luma-import DOSSIER [--charset CODEPAGE]";
        QTest::newRow("no argument") << QStringList{} << 2 << "il manque le dossier de données";
        QTest::newRow("unknown option") << QStringList{"--vite", "LALUMA"} << 2 << "option inconnue « --vite »";
        QTest::newRow("charset without value") << QStringList{"LALUMA", "--charset"} << 2 << "--charset attend";
        QTest::newRow("a file for a folder") << QStringList{"LALUMA/LUMA.MDB"} << 2 << "n'est pas un dossier";
        QTest::newRow("three paths") << QStringList{"a", "b", "c"} << 2 << "trop d'arguments";
        QTest::newRow("folder") << QStringList{"LALUMA", "--charset", "CP1252"} << 0
                                << "ALTEMARE/ALTEMARE.MDB       4           2";
        QTest::newRow("one file") << QStringList{"LALUMA/LUMA.MDB", "COPIE.MDB"} << 0 << "1 table, 1 ligne importée";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);

        SchoolCopy school;
        school.fill();
        QProcess run;
        run.setWorkingDirectory(school.dir.path());
        run.start(QStringLiteral(LUMA_IMPORT_PROGRAM), arguments);
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        const QString out = QString::fromLocal8Bit(status == 0 ? run.readAllStandardOutput() : run.readAllStandardError());
        QVERIFY2(out.contains(output), qPrintable(out));
        QCOMPARE(run.exitCode(), status);
    }

    void formatsJetValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("negative day, time forward") << dateFieldText(-1.25) << "29/12/1899 06:00:00";
        QTest::newRow("rounding to midnight") << dateFieldText(1.9999999) << "01/01/1900";
        QTest::newRow("first Jet day") << dateFieldText(-657434) << "01/01/0100";
        QTest::newRow("out of range") << dateFieldText(1e9) << "1000000000";
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
