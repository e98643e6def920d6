// The Jet SQL translation for PostgreSQL gives the rows the SQLite one gives,
// on the same data, against a throwaway server this suite starts.

#include "pgserveur.h"

#include "data/jetfunctions.h"
#include "data/jetsql.h"
#include "data/schema.h"
#include "platform/apperror.h"

#include <QtTest>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <memory>

namespace {

// Tables in both databases; PostgreSQL's have a key in place of the rowid.
const Schema kSchema{{{QStringLiteral("luma"), {"inventaire", "titre", "auteur", "cumul", "dateemprunt"}},
                      {QStringLiteral("enfants"), {"matricule", "nomenfant", "prénomenfant", "classe"}},
                      {QStringLiteral("luma+"), {"inventaire", "cote"}},
                      {QStringLiteral("mots"), {"v"}}}};
const char *const kRows = R"(
INSERT INTO %1 VALUES ('00001', 'Le loup et les sept chevreaux', 'Grimm', '3', '05/12/2026'),
 ('00002', 'Élodie au zoo', 'ANDRÉ', '10', '2026-12-04'), ('00003', 'le LOUP gris', 'andré', ' 12 ', '06/12/2026 10:30:00'),
 ('00004', '100% coton_bio', 'Back\slash', '', ''), ('00005', 'Zoé et l''ours', NULL, 'beaucoup', 'hier'),
 ('00006', 'ecole', 'Œuvre', '2,5', '31/02/2026'), ('00007', NULL, 'x', NULL, NULL), ('00008', 'école 5', 'Ëve', '-1', '01/01/2027'),
 ('00009', 'zoo  ', 'grimm ', '2.5', '29/02/2028'), ('00010', 'Ode', 'Yves', '-2,5', '31/12/2026 23:59:59');
INSERT INTO %2 VALUES ('E042', 'Martin', 'Élodie', '03'), ('E007', 'ANDRÉ', 'Zoé', '03'), ('E011', 'andré', 'Adam', '3'),
 ('E099', 'Bernard', 'Léa', '12');
INSERT INTO %3 VALUES ('00001', '398.2 GRI'), ('00002', '843 ELO');)";
// Values for every LIKE pattern, from the engine's own LIKE tests.
const char *const kWords[] = {"Le loup et l'agneau", "a", "159", "chét", "M", "d", "5*", "1_0%", "ecole", "école", "É",
                              "a😀b", "x[yz", "Ａ", "A1", "a%b", "a\\b", "ÉCOLE", "", "b-c", "^x", "[!l]*"};

} // namespace

class TestJetSqlPostgres : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<PgServeur>();
        LUMA_SERVEUR_PG_REQUIS(m_server);
        m_pg = PQconnectdb(qPrintable(m_server->conninfo()));
        QVERIFY2(PQstatus(m_pg) == CONNECTION_OK, PQerrorMessage(m_pg));
        QVERIFY(sqlite3_open(":memory:", &m_lite) == SQLITE_OK);
        installJetFunctions(m_lite);

        const QString tables = "CREATE TABLE %1(inventaire TEXT, titre TEXT, auteur TEXT, cumul TEXT, dateemprunt TEXT);"
                               "CREATE TABLE %2(matricule TEXT, nomenfant TEXT, \"prénomenfant\" TEXT, classe TEXT);"
                               "CREATE TABLE %3(inventaire TEXT, cote TEXT); CREATE TABLE %4(v TEXT);";
        // Every column under the collation, as the set-up creates them.
        pgExec("CREATE COLLATION jet (provider = icu, locale = 'und-u-ks-level2', deterministic = false);"
               "CREATE SCHEMA luma; CREATE SCHEMA ecole; CREATE SCHEMA cotation; "
               + tables.arg("luma.luma", "ecole.enfants", "cotation.\"luma+\"", "public.mots").replace("TEXT", "text COLLATE jet")
               + "ALTER TABLE luma.luma ADD id serial PRIMARY KEY;"
               + QString::fromUtf8(kRows).arg("luma.luma", "ecole.enfants", "cotation.\"luma+\""));
        for (const QString &function : postgresqlJetFunctions())
            pgExec(function);
        pgExec("CREATE INDEX luma_inventaire ON luma.luma (inventaire); CREATE EXTENSION pg_trgm;"
               "CREATE INDEX luma_titre_trgm ON luma.luma USING gin (titre COLLATE \"und-x-icu\" gin_trgm_ops)");
        liteExec(tables.arg("luma", "enfants", "\"luma+\"", "mots")
                 + QString::fromUtf8(kRows).arg("luma", "enfants", "\"luma+\""));
        for (const char *word : kWords) {
            const QString insert = "INSERT INTO mots VALUES ('" + QString::fromUtf8(word).replace("'", "''") + "')";
            liteExec(insert);
            pgExec(insert);
        }
        m_dialect.engine = SqlDialect::Engine::PostgreSQL;
        m_dialect.schemas = {{"luma", "luma"}, {"luma+", "cotation"}, {"enfants", "ecole"}};
        m_dialect.keyColumns = {{"luma", "id"}};
    }

    void cleanupTestCase()
    {
        PQfinish(m_pg);
        sqlite3_close(m_lite);
    }

    void sameRows_data()
    {
        QTest::addColumn<QString>("source");
        // Record sources and saved requests.
        for (const char *where :
             {"titre = 'LE LOUP GRIS'", "titre < 'f' AND Not auteur = 'andré'", "titre >= 'É' Or titre Is Null",
              "cumul > 4", "Not cumul > 4", "dateemprunt < #1/1/2027#", "cumul Between 12 And 2", "cumul In (3, 12)", "auteur In ('andre', 'ANDRÉ')",
              "dateemprunt = #12/5/2026#", "dateemprunt Between #12/6/2026# And #12/4/2026#",
              "dateemprunt > #12/31/2026#", "IsNull(auteur) Or IsNumeric(cumul)", "IsDate(dateemprunt) = False",
              "UCase(Left(titre, 2)) = 'LE'", "Len(Trim(cumul)) = 2", "Mid(titre, 4, 4) = 'loup'",
              "Right(inventaire, 1) In ('2', '4')", "InStr(titre, 'LOUP') = 4", "Val(cumul) < 3",
              "Nz(auteur, 'zz') > 'w'", "IIf(cumul > 5, 'grand', 'petit') = 'grand'", "Year(dateemprunt) = 2026",
              "cumul * 2 = 20", "(cumul = 3) = True", "titre & auteur Like '*lou*'", "Not titre Like 'le*'",
              "inventaire Like '0000#'", "titre Like '[!a-l]*'", "titre Like '*[0-9]'", "titre Like '100[%]*'",
              "titre Like '*%*'", "titre Like '*'", "cumul", "cumul > 4 Xor titre Like '*loup*'", "False Imp cumul = 3",
              "Switch(cumul > 5, 'a', True, 'b') = 'a'", "CStr(CDate(dateemprunt)) Like '*/12/2026*'",
              "dateemprunt < Now() And dateemprunt > Date() - 400", "dateemprunt - 1 = #12/4/2026#",
              "cumul + 1 > 5 Or titre + auteur Like '*GRIS*'", "dateemprunt + 21 > #12/26/2026# - 1",
              "dateemprunt - #12/1/2026# = 4",
              "dateemprunt > DateAdd('m', -1, #12/31/2026#)", "DateAdd('yyyy', 1, dateemprunt) > #1/1/2027#",
              "DateDiff('d', dateemprunt, #12/7/2026#) <= 2", "DateDiff('ww', #1/1/2026#, dateemprunt) = 48",
              "Weekday(dateemprunt) = 7 Or Hour(dateemprunt) = 10", "cumul Mod 4 = 2 Or 7 \\ cumul = 2",
              "2 ^ cumul = 8", "titre Like '*' & auteur & '*'", "auteur Like '*\\*'", "auteur Like 'œuvre'", "titre Like '*_*'"})
            QTest::newRow(where) << QStringLiteral("SELECT inventaire FROM luma WHERE %1").arg(QString::fromUtf8(where));
        // The Jet functions, edge values first: Null, 0, negative, past the
        // end, month ends and leap days.
        for (const char *where :
             {"InStr(4, titre, 'LOUP') = 4 Or InStr(1, titre, 'loup', 0) = 4", "InStr(30, titre, '') = 30",
              "InStr(3, titre, 'e') = 9 And InStr(2, auteur, Null) Is Null", "InStr(1, titre, 'É', 0) = 1",
              "InStrRev(titre, 'O') = Len(titre)", "InStrRev(titre, 'o', 5) = 5", "InStrRev(titre, 'E', -1, 0) = 0",
              "InStrRev(titre, '', 3) = 3 And InStrRev(titre, 'e', 40) = 0",
              "Replace(titre, 'LOUP', 'chat') = 'Le chat et les sept chevreaux'",
              "Replace(titre, 'e', '', 4, 2) = 'loup t ls sept chevreaux'", "Replace(titre, 'o', 'O', 1, -1, 0) Like '*OO*'",
              "Replace(titre, 'a', 'b', 30) = '' And Replace(titre, '', 'x') = titre",
              "StrComp(titre, 'LE LOUP GRIS') = 0", "StrComp(auteur, 'andré', 0) = -1", "StrComp(titre, 'ZOO') = 0",
              "StrComp(titre, 'zoo', 0) = 1 And StrComp(titre, Null) Is Null",
              "Str(Val(cumul)) = ' 3'", "Str(-Len(titre)) = '-3'", "Str(Val(cumul) / 4) = ' 2.5'", "Str(Val(cumul) * 0) = ' 0'",
              "Asc(titre) = 201", "Asc(auteur) = 140", "AscW(auteur) = 338 Or AscW(titre) = 233",
              "Chr(Asc(auteur)) = Left(auteur, 1)", "ChrW(cumul + 62) = 'A'", "Chr(128) & Chr(159) = auteur & '€Ÿ'",
              "CInt(cumul) = 2", "CInt(cumul) = -2", "CInt(cumul) = 12 And CLng(-2.5) = -2",
              "CLng(Val(cumul) * 1000000) > 32767 And CInt(Val(cumul) * 10000) Is Null",
              "DatePart('q', dateemprunt) = 4 And DatePart('y', dateemprunt) = 339", "DatePart('y', dateemprunt) = 60",
              "DatePart('ww', dateemprunt, 2, 2) = 53", "DatePart('ww', dateemprunt, 1, 3) = 52",
              "DatePart('w', dateemprunt, 0) = 6 Or DatePart('n', dateemprunt) = 30", "DatePart('s', dateemprunt) = 59",
              "Weekday(dateemprunt, 2) = 6", "Weekday(dateemprunt, 7) = 1",
              "DateDiff('ww', #11/29/2026#, dateemprunt, 2) = 1", "DateDiff('ww', #11/29/2026#, dateemprunt, 1, 2) = 1",
              "DateSerial(Year(dateemprunt), Month(dateemprunt) + 1, 0) = #12/31/2026#",
              "DateSerial(Year(dateemprunt), 3, 0) = #2/29/2028#", "DateSerial(26, -1, cumul) = #11/3/2025#",
              "DateSerial(cumul, 1, 1) Is Null Or DateSerial(28, 2, 29) = dateemprunt",
              "DateValue(dateemprunt) = #12/6/2026#", "DateValue(dateemprunt) = #12/31/2026#",
              "CDbl(CDate(dateemprunt)) = 46361", "CDate(dateemprunt) * 1 > 46362.4", "CDate(dateemprunt) * 2 = 93624",
              "#12/29/1899 12:00# * 1 = -1.5 And CDate(46812) = dateemprunt", "DateAdd('d', 1, 46360) = dateemprunt",
              "IsDate(46361) = False And Day(-1.5) = 29 And Hour(46361.75) = 18",
              // Trailing blanks are ignored as the engine's collation ignores them.
              "titre = 'ZOO'", "auteur = 'grimm'", "titre <= 'zoo' And titre > 'z'", "titre >= 'ZOO' And Not titre > 'zoo'",
              "auteur In ('GRIMM', 'x')", "titre Like 'zoo   '", "'grimm' < auteur", "auteur <> 'grimm'",
              "auteur & ' ' = 'Grimm'", "Trim(titre) = titre", "StrComp(titre, 'zoo ') = 0",
              "titre Between 'ZOO' And 'zoo'"})
            QTest::newRow(where) << QStringLiteral("SELECT inventaire FROM luma WHERE %1").arg(QString::fromUtf8(where));
        QTest::newRow("order by text") << "SELECT titre FROM luma ORDER BY titre DESC, inventaire";
        QTest::newRow("order by alias") << "SELECT UCase(auteur) AS A FROM luma ORDER BY [a], inventaire";
        QTest::newRow("top") << "SELECT TOP 3 inventaire, titre FROM luma WHERE titre Is Not Null ORDER BY titre";
        QTest::newRow("table alone") << "[LUMA+]";
        QTest::newRow("join, table!field")
            << "SELECT l.titre, [luma+]!cote FROM luma AS l INNER JOIN [luma+] ON l.inventaire = [luma+].inventaire";
        QTest::newRow("group by, classes 3 and 03 apart")
            << "SELECT classe, Count(*) AS n, Max(nomenfant) FROM enfants GROUP BY classe HAVING Count(*) >= 1";
        QTest::newRow("group by, case together") << "SELECT Count(*) FROM enfants GROUP BY nomenfant";
        QTest::newRow("accented names, any case")
            << "SELECT [PRÉNOMENFANT] FROM ENFANTS WHERE nomenfant = 'andre' Or Nomenfant = 'ANDRÉ' ORDER BY matricule";
        QTest::newRow("aggregates") << "SELECT Count(*), Min(titre), Max(cumul), Sum(Val(cumul)) FROM luma";
        QTest::newRow("distinct") << "SELECT DISTINCT CStr(Len(titre) > 10) FROM luma";
        QTest::newRow("every value a pattern") << "SELECT p.v, w.v FROM mots AS w, mots AS p WHERE w.v Like p.v & ''";
        // Each Jet pattern against every value.
        for (const char *pattern : {"*loup*", "", "5*", "ch?t", "[a-z]", "[!abc]", "5[*]", "1_0%", "école", "[à-ü]",
                                    "a?b", "*[y*", "a", "[a-c]#", "a[%]b", "a\\b", "*[^]*", "[b-]*", "[]a", "[!]"})
            QTest::newRow(qPrintable("like " + QString::fromUtf8(pattern)))
                << "SELECT v FROM mots WHERE v Like '" + QString::fromUtf8(pattern) + "'";
    }

    void sameRows()
    {
        QFETCH(QString, source);
        QString lite, pg;
        try {
            lite = translateRecordSource(source, kSchema).sql;
            pg = translateRecordSource(source, kSchema, m_dialect).sql;
        } catch (const AppError &e) {
            QFAIL(qPrintable(e.description()));
        }
        QStringList expected = liteRows(lite), found = pgRows(pg);
        if (!source.contains(QLatin1String("ORDER BY"))) {
            expected.sort();
            found.sort();
        }
        QVERIFY2(!expected.isEmpty(), qPrintable(lite));
        QVERIFY2(expected == found, qPrintable(QStringLiteral("SQLite %1: %2\nPostgreSQL %3: %4")
                                                   .arg(lite, expected.join(", "), pg, found.join(", "))));
    }

    // A row is read back by its key where SQLite reads it by rowid.
    void keyInPlaceOfRowid()
    {
        const TranslatedSelect s = translateRecordSource(QStringLiteral("SELECT * FROM luma WHERE titre Like '*loup*'"),
                                                         kSchema, m_dialect);
        const TranslatedSelect l = translateRecordSource(QStringLiteral("SELECT * FROM luma WHERE titre Like '*loup*'"),
                                                         kSchema);
        QVERIFY(s.singleTable);
        // Both numbered in the order the rows were written.
        const QString byKey = QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY 1");
        const QStringList keys = liteRows(byKey.arg(l.keySql, l.fromSql, l.whereSql));
        QCOMPARE(keys.size(), 2);
        QCOMPARE(pgRows(byKey.arg(s.keySql, s.fromSql, s.whereSql)), keys);
    }

    // A bad argument is an error on both sides, not a row less.
    void argumentErrors()
    {
        for (const char *condition : {"InStr(0, titre, 'a') = 1", "InStrRev(titre, 'a', 0) = 1", "Replace(titre, 'a', 'b', 0) = ''",
                                      "Replace(titre, 'a', 'b', 1, -2) = ''", "Asc(Mid(titre, 40)) = 1", "Chr(256) = 'a'",
                                      "ChrW(55296) = 'a'", "Chr(titre) = 'a'", "Str(titre) = 'a'",
                                      "DatePart('m', dateemprunt, 8) = 1", "DateDiff('ww', dateemprunt, Date(), 1, 4) = 1"}) {
            const QString source = QStringLiteral("SELECT * FROM luma WHERE ") + QString::fromUtf8(condition);
            sqlite3_stmt *stmt = nullptr;
            QVERIFY(sqlite3_prepare_v2(m_lite, translateRecordSource(source, kSchema).sql.toUtf8().constData(), -1, &stmt,
                                       nullptr) == SQLITE_OK);
            int rc;
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            }
            sqlite3_finalize(stmt);
            QVERIFY2(rc == SQLITE_ERROR, condition);
            QVERIFY2(pgRows(translateRecordSource(source, kSchema, m_dialect).sql).value(0).startsWith("<error"), condition);
        }
    }

    // The translations leave the set-up's indexes of use: the key's btree
    // for inventory numbers, the trigram index for words of a title.
    void indexesServe_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("index");
        for (const char *condition : {"inventaire = '00012'", "'00012' = inventaire", "inventaire Like '00012'",
                                      "inventaire In ('00012', '00013')", "inventaire >= '00012'", "inventaire < '00012'"})
            QTest::newRow(condition) << condition << "luma_inventaire";
        QTest::newRow("word") << "titre Like '*loup*'" << "luma_titre_trgm";
    }

    void indexesServe()
    {
        QFETCH(QString, condition);
        QFETCH(QString, index);
        const QString sql = translateRecordSource("SELECT * FROM luma WHERE " + condition, kSchema, m_dialect).sql;
        pgExec("SET enable_seqscan = off");
        const QString plan = pgRows("EXPLAIN " + sql).join('\n');
        pgExec("RESET enable_seqscan");
        QVERIFY2(plan.contains(index) && plan.contains("Index Cond"), qPrintable(plan));
    }

private:
    void liteExec(const QString &sql)
    {
        char *message = nullptr;
        const int rc = sqlite3_exec(m_lite, sql.toUtf8().constData(), nullptr, nullptr, &message);
        const QString error = QString::fromUtf8(message);
        sqlite3_free(message);
        QVERIFY2(rc == SQLITE_OK, qPrintable(error));
    }
    void pgExec(const QString &sql)
    {
        PGresult *r = PQexec(m_pg, sql.toUtf8().constData());
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
        const QString error = QString::fromUtf8(PQresultErrorMessage(r));
        PQclear(r);
        QVERIFY2(ok, qPrintable(error + sql));
    }
    // Every row, columns joined by '|', NULL as "<null>"; an error as a row.
    QStringList liteRows(const QString &sql) const
    {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(m_lite, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            return {"<error: " + QString::fromUtf8(sqlite3_errmsg(m_lite)) + ">"};
        QStringList out;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QStringList cols;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                cols << (sqlite3_column_type(stmt, c) == SQLITE_NULL
                             ? QStringLiteral("<null>")
                             : QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c))));
            out << cols.join(QLatin1Char('|'));
        }
        sqlite3_finalize(stmt);
        return out;
    }
    QStringList pgRows(const QString &sql) const
    {
        PGresult *r = PQexec(m_pg, sql.toUtf8().constData());
        QStringList out;
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            out << "<error: " + QString::fromUtf8(PQresultErrorMessage(r)) + ">";
        for (int row = 0; row < PQntuples(r); ++row) {
            QStringList cols;
            for (int c = 0; c < PQnfields(r); ++c)
                cols << (PQgetisnull(r, row, c) ? QStringLiteral("<null>") : QString::fromUtf8(PQgetvalue(r, row, c)));
            out << cols.join(QLatin1Char('|'));
        }
        PQclear(r);
        return out;
    }

    std::unique_ptr<PgServeur> m_server;
    PGconn *m_pg = nullptr;
    sqlite3 *m_lite = nullptr;
    SqlDialect m_dialect;
};

QTEST_GUILESS_MAIN(TestJetSqlPostgres)
#include "tst_data_jetsql_pg.moc"
