// A data folder moved to a PostgreSQL server and back (luma-import
// --vers-postgresql, --vers-sqlite), on a server started for the run: the
// same values both ways, and every refusal leaves the folder and the server
// as they were.
#include "data/database.h"
#include "data/pgconnexion.h"
#include "data/rowvalues.h"
#include "data/sqlitestatement.h"
#include "datafolder.h"
#include "errors.h"
#include "files.h"
#include "lockholder.h"
#include "folder/migrationpostgresql.h"
#include "pgserveur.h"
#include "testdb.h"

#include <QProcess>
#include <QtTest>

namespace {

// Every table of a file as the program reads it: name, columns, rows.
QStringList contenu(const QString &fichier)
{
    QStringList lu;
    const std::shared_ptr<Database> base = Database::open(fichier, Database::Mode::ReadOnly);
    for (const SchemaTable &table : base->schema().tables) {
        lu << table.name + QStringLiteral(": ") + table.columns.join(u',');
        SqliteStatement lecture(base->handle(), QStringLiteral("SELECT * FROM ") + quoteIdentifier(table.name));
        while (lecture.step() == SQLITE_ROW) {
            QStringList ligne;
            for (int c = 0; c < table.columns.size(); ++c)
                ligne << (sqlite3_column_type(lecture.get(), c) == SQLITE_NULL
                              ? QStringLiteral("<null>")
                              : u'[' + rowvalues::columnText(lecture.get(), c) + u']');
            lu << ligne.join(u'|');
        }
    }
    return lu;
}

} // namespace

class TestImportPostgresql : public QObject
{
    Q_OBJECT

    std::unique_ptr<PgServeur> m_serveur;
    QTemporaryDir m_services;
    int m_bases = 0;

    // A new empty database of the server for each test, also as the libpq
    // service "essai".
    ServeurPostgresql nouvelleBase()
    {
        const QString nom = QStringLiteral("essai%1").arg(++m_bases);
        PgConnexion(ServeurPostgresql{QString(), m_serveur->conninfo()}).execute(QStringLiteral("CREATE DATABASE ") + nom);
        const QString conninfo = m_serveur->conninfo().replace(QStringLiteral("dbname=postgres"), QStringLiteral("dbname=") + nom);
        writeFileBytes(m_services.filePath(QStringLiteral("pg_service.conf")),
                       "[essai]\n" + QString(conninfo).remove(u'\'').replace(u' ', u'\n').toUtf8() + '\n');
        return {QString(), conninfo};
    }
    static QString scalaire(const ServeurPostgresql &serveur, const QString &sql)
    {
        return PgConnexion(serveur).execute(sql)[0][0];
    }
    static QString tablesDuServeur(const ServeurPostgresql &serveur)
    {
        return scalaire(serveur, QStringLiteral("SELECT string_agg(schemaname || '.' || tablename, ' ' ORDER BY schemaname, tablename) FROM "
                                                "pg_tables WHERE schemaname IN ('luma', 'cotation', 'membres', 'ecole')"));
    }
    // The small school, the lending lock's folder already there, and a few
    // values the copy must carry as the program reads them.
    static void remplis(DataFolder &dossier)
    {
        dossier.fillSmallSchool();
        dossier.writeFile(QStringLiteral("LALUMA/EN-COURS/PRETS.LCK"), {});
        const QString membres = dossier.base() + QStringLiteral("/MEMBRES.MDB");
        TestDb::exec(membres, QStringLiteral("CREATE TABLE \"nombres+\"(nom, valeur); INSERT INTO \"nombres+\" VALUES "
                                             "('entier', 7), ('réel rond', 2.0), ('réel', 2.5), (NULL, ''), "
                                             "('Noël à l''école', 'tab\tligne\nfin\r\\\\N \\ œ 🐻')"));
    }

private slots:
    void initTestCase()
    {
        m_serveur = std::make_unique<PgServeur>();
        qputenv("PGSERVICEFILE", QFile::encodeName(m_services.filePath(QStringLiteral("pg_service.conf"))));
    }
    void cleanupTestCase() { m_serveur.reset(); }

    void allerRetour()
    {
        LUMA_SERVEUR_PG_REQUIS(m_serveur);
        const ServeurPostgresql serveur = nouvelleBase();
        DataFolder dossier;
        remplis(dossier);
        const QStringList fichiers{dossier.catalogue(), dossier.descriptors(),
                                   dossier.base() + QStringLiteral("/MEMBRES.MDB"), dossier.schoolDb()};
        QList<QStringList> avant;
        for (const QString &fichier : fichiers)
            avant << contenu(fichier);
        qint64 lignesSignalees = 0;
        OptionsMigration options;
        options.progression = [&](const ProgressionCopie &p) { lignesSignalees += p.finie ? p.lignes : 0; };

        const ResultatMigration copie = versPostgresql(dossier.base(), {QStringLiteral("essai"), QString()}, options);
        QCOMPARE(copie.fichiers.size(), 4);
        QCOMPARE(lignesSignalees, 4 + 1 + 5 + 2 + 3);
        // BASE.INI names the service; each file is put away, unchanged.
        QCOMPARE(dossier.readFile(QStringLiteral("LALUMA/BASE.INI")).contains("\r\nservice=essai\r\n"), true);
        for (const QString &fichier : fichiers) {
            QVERIFY(!QFileInfo::exists(fichier));
            const QFileInfo info(fichier);
            QCOMPARE(contenu(info.path() + QStringLiteral("/AVANT-POSTGRESQL/") + info.fileName()), avant[fichiers.indexOf(fichier)]);
        }
        QCOMPARE(tablesDuServeur(serveur), QStringLiteral("cotation.luma+ ecole.enfants ecole.équipe luma.luma "
                                                          "membres.membres membres.nombres+"));
        QCOMPARE(scalaire(serveur, QStringLiteral("SELECT string_agg(column_name || ' ' || data_type || ' ' || "
                                                  "coalesce(collation_name, '-'), ',' ORDER BY ordinal_position) FROM "
                                                  "information_schema.columns WHERE table_name = 'nombres+'")),
                 QStringLiteral("luma_cle bigint -,nom text jet,valeur text jet"));
        QCOMPARE(scalaire(serveur, QStringLiteral("SELECT string_agg(coalesce(valeur, '<null>'), '|' ORDER BY luma_cle) "
                                                  "FROM membres.\"nombres+\" WHERE nom IS DISTINCT FROM 'Noël à l''école'")),
                 QStringLiteral("7|2|2.5|"));
        QCOMPARE(scalaire(serveur, QStringLiteral("SELECT count(*) FROM membres.\"nombres+\" WHERE nom IS NULL")),
                 QStringLiteral("1"));
        // The catalogue's lookups are served by its indexes, its table analysed.
        PgConnexion c(serveur);
        c.executeScript(QStringLiteral("SET enable_seqscan = off"));
        for (const QString &condition : {QStringLiteral("titre COLLATE \"und-x-icu\" ILIKE '%loup%'"),
                                         QStringLiteral("\"motsclés\" COLLATE \"und-x-icu\" ILIKE '%loup%'"),
                                         QStringLiteral("inventaire = '00042'"), QStringLiteral("emprunteur = '12'")}) {
            const QString plan = c.execute(QStringLiteral("EXPLAIN SELECT * FROM luma.luma WHERE ") + condition)[0][0];
            QVERIFY2(plan.contains(QLatin1String("Index")) || plan.contains(QLatin1String("Bitmap Heap")), qPrintable(plan));
        }
        QCOMPARE(scalaire(serveur, QStringLiteral("SELECT count(*) FROM pg_stat_user_tables WHERE last_analyze IS NULL AND schemaname <> 'luma_suivi'")),
                 QStringLiteral("0"));

        // Back: refused while a file to write is there, nothing written.
        dossier.writeFile(QStringLiteral("LALUMA/membres.mdb"), "x");
        QCOMPARE(errorNumberOf([&] { versSqlite(dossier.base()); }), ErrorNumber::FileAlreadyExists);
        QVERIFY(!QFileInfo::exists(dossier.schoolDb()) && dossier.exists(QStringLiteral("LALUMA/BASE.INI")));
        QVERIFY(QFile::remove(dossier.base() + QStringLiteral("/membres.mdb")));
        // The catalogue comes back writable by the group, as the one put away.
        QVERIFY(QFile::setPermissions(dossier.base() + QStringLiteral("/AVANT-POSTGRESQL/LUMA.MDB"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup));

        const ResultatMigration retour = versSqlite(dossier.base(), options);
        QCOMPARE(retour.fichiers.size(), 4);
        for (const QString &fichier : fichiers)
            QCOMPARE(contenu(fichier), avant[fichiers.indexOf(fichier)]);
        QVERIFY(!dossier.exists(QStringLiteral("LALUMA/BASE.INI")) && dossier.exists(QStringLiteral("LALUMA/BASE.INI.ANCIEN")));
        QCOMPARE(QFileInfo(dossier.catalogue()).permissions() & 0x0fff,
                 QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup | QFile::WriteGroup);
        // The number stays unique, as the program makes the catalogue.
        bool doublonRefuse = false;
        try {
            TestDb::exec(dossier.catalogue(), QStringLiteral("INSERT INTO luma(inventaire) VALUES ('00001')"));
        } catch (const std::runtime_error &) {
            doublonRefuse = true;
        }
        QVERIFY(doublonRefuse);
    }

    void refus_data()
    {
        QTest::addColumn<int>("numero");
        QTest::newRow("server unreachable") << ErrorNumber::DiskIoError;
        QTest::newRow("password for BASE.INI") << ErrorNumber::InvalidArgument;
        QTest::newRow("table already there") << ErrorNumber::FileAlreadyExists;
        QTest::newRow("column luma_cle") << ErrorNumber::InvalidArgument;
        QTest::newRow("Access file") << ErrorNumber::AccessFormat;
        QTest::newRow("NUL in the last file") << ErrorNumber::InvalidArgument;
        QTest::newRow("a kiosk lending") << ErrorNumber::OtherKioskBusy;
    }
    // Nothing written: the folder as it was, no table on the server but
    // the one already there.
    void refus()
    {
        LUMA_SERVEUR_PG_REQUIS(m_serveur);
        QFETCH(int, numero);
        ServeurPostgresql serveur = nouvelleBase();
        DataFolder dossier;
        remplis(dossier);
        const QByteArray cas = QTest::currentDataTag();
        QString deja;
        if (cas == "server unreachable") {
            serveur.conninfo = QStringLiteral("host=/nonexistent dbname=luma");
        } else if (cas == "password for BASE.INI") {
            serveur.conninfo += QStringLiteral(" password=secret");
        } else if (cas == "table already there") {
            // Another case is the same name to the program.
            PgConnexion(serveur).executeScript(QStringLiteral("CREATE SCHEMA ecole; CREATE TABLE ecole.\"ÉQUIPE\"(x text)"));
            deja = QStringLiteral("ecole.ÉQUIPE");
        } else if (cas == "column luma_cle") {
            TestDb::exec(dossier.descriptors(), QStringLiteral("ALTER TABLE [luma+] ADD COLUMN Luma_Cle TEXT"));
        } else if (cas == "Access file") {
            dossier.writeFile(QStringLiteral("LALUMA/MEMBRES.MDB"), QByteArray("\0\1\0\0Standard Jet DB\0", 20));
        } else if (cas == "NUL in the last file") {
            TestDb::exec(dossier.schoolDb(), QStringLiteral("INSERT INTO équipe VALUES ('3', 'a' || char(0) || 'b')"));
        }
        std::optional<LockHolder> kiosque;
        if (cas == "a kiosk lending")
            kiosque.emplace(dossier.base() + QStringLiteral("/EN-COURS/PRETS.LCK"), LockHolder::Kind::Write);
        OptionsMigration options;
        options.attente.deadline = std::chrono::milliseconds(300);
        const FileTree avant = fileTree(dossier.root());
        QCOMPARE(errorNumberOf([&] { versPostgresql(dossier.base(), serveur, options); }), numero);
        QCOMPARE(treeDifferences(avant, fileTree(dossier.root())), QString());
        if (cas == "server unreachable")
            return;
        QCOMPARE(tablesDuServeur(serveur), deja);
        if (cas == "table already there") {
            OptionsMigration remplacer;
            remplacer.remplacer = true;
            versPostgresql(dossier.base(), serveur, remplacer);
            QCOMPARE(tablesDuServeur(serveur), QStringLiteral("cotation.luma+ ecole.enfants ecole.équipe luma.luma "
                                                              "membres.membres membres.nombres+"));
        }
    }

#ifdef LUMA_IMPORT_PROGRAM
    // The tool's arguments and exit codes, each run after the one before.
    void outil()
    {
        LUMA_SERVEUR_PG_REQUIS(m_serveur);
        const ServeurPostgresql serveur = nouvelleBase();
        DataFolder dossier;
        remplis(dossier);
        // A relative folder, as typed in a terminal.
        const QString d = QStringLiteral("LALUMA");
        const QList<std::pair<QStringList, int>> etapes{
            {{"--vers-postgresql", d, "--conninfo", serveur.conninfo}, 0},
            {{"--vers-postgresql", d, "--conninfo", serveur.conninfo}, 1}, // the files are gone
            {{"--vers-sqlite", d, "--remplacer"}, 2},
            {{"--vers-sqlite", d}, 0},
            {{"--vers-postgresql", d}, 1}, // no BASE.INI: the service luma, unknown here
            {{"--vers-postgresql", d, "essai"}, 1}, // the tables are there
            {{"--vers-postgresql", d, "essai", "--remplacer"}, 0},
        };
        for (const auto &[arguments, code] : etapes) {
            QProcess outil;
            outil.setWorkingDirectory(dossier.root());
            outil.start(QStringLiteral(LUMA_IMPORT_PROGRAM), arguments);
            QVERIFY(outil.waitForFinished(60000));
            QVERIFY2(outil.exitCode() == code, qPrintable(arguments.join(u' ') + u'\n' + outil.readAllStandardError()));
        }
        QVERIFY(dossier.readFile(QStringLiteral("LALUMA/BASE.INI")).contains("service=essai"));
    }
#endif
};

QTEST_GUILESS_MAIN(TestImportPostgresql)
#include "tst_import_postgresql.moc"
