// Jet behaviour of the database engine: LIKE patterns, the JETTEXT collation,
// the Jet functions and the translation of Jet SQL, run on real SQLite files.

#include "data/jetfunctions.h"
#include "data/jetsql.h"
#include "data/schema.h"
#include "platform/apperror.h"
#include "errors.h"
#include "testdb.h"

#include <QCollator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

#include <algorithm>
#include <memory>

namespace {

// One connection with the Jet behaviour installed.
class Connection
{
public:
    explicit Connection(const QString &path = QStringLiteral(":memory:"))
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
            != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
        installJetFunctions(m_db);
    }
    ~Connection() { sqlite3_close(m_db); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *handle() const { return m_db; }

    void exec(const QString &sql)
    {
        char *message = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            const QString text = QString::fromUtf8(message);
            sqlite3_free(message);
            QTest::qFail(qPrintable(text + QStringLiteral(" in: ") + sql), __FILE__, __LINE__);
        }
    }

    // Every row of a query, columns joined by '|', NULL as "<null>". Values
    // bound as text, or NULL for a null QVariant.
    QStringList rows(const QString &sql, const QVariantList &params = {}) const
    {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            QTest::qFail(qPrintable(QString::fromUtf8(sqlite3_errmsg(m_db)) + QStringLiteral(" in: ") + sql),
                         __FILE__, __LINE__);
            return {QStringLiteral("<prepare failed>")};
        }
        for (int i = 0; i < params.size(); ++i) {
            if (params[i].isNull())
                sqlite3_bind_null(stmt, i + 1);
            else
                sqlite3_bind_text(stmt, i + 1, params[i].toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
        }
        QStringList out;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            QStringList cols;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                if (sqlite3_column_type(stmt, c) == SQLITE_NULL)
                    cols << QStringLiteral("<null>");
                else
                    cols << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)));
            }
            out << cols.join(QLatin1Char('|'));
        }
        if (rc != SQLITE_DONE)
            out << QStringLiteral("<error: %1>").arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_finalize(stmt);
        return out;
    }

    QString value(const QString &sql, const QVariantList &params = {}) const
    {
        const QStringList r = rows(sql, params);
        return r.isEmpty() ? QStringLiteral("<none>") : r.first();
    }

    // Tables and columns, as the file spells them.
    Schema schema() const
    {
        Schema s;
        for (const QString &name :
             rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"))) {
            SchemaTable t;
            t.name = name;
            const QString escaped = QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\""));
            for (const QString &row : rows(QStringLiteral("SELECT name FROM pragma_table_info(\"%1\")").arg(escaped)))
                t.columns << row;
            s.tables << t;
        }
        return s;
    }

private:
    sqlite3 *m_db = nullptr;
};

QString randomAscii(QRandomGenerator &random)
{
    // Mostly letters and digits, some punctuation, blanks and control
    // characters, so that ties, ignorable characters and case all occur.
    static const QString common = QStringLiteral("aAbBeEzZ09 -'.,_~!\t");
    const int length = random.bounded(0, 7);
    QString s;
    for (int i = 0; i < length; ++i) {
        if (random.bounded(3) == 0)
            s += QChar(char16_t(random.bounded(1, 128)));
        else
            s += common.at(random.bounded(int(common.size())));
    }
    return s;
}

} // namespace

class TestJetSql : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // LIKE
    void likePatterns_data();
    void likePatterns();
    void sqlValues_data();
    void sqlValues();
    void likeNullFieldIsNotFound();
    void likeCachedPatternFollowsEachRow();

    // JETTEXT
    void collationPairs_data();
    void collationPairs();
    void collationSortsFrenchDictionaryOrder();
    void collationAsciiFastPathAgreesWithCollator();

    // Jet functions and expressions
    void expressions_data();
    void expressions();

    // Names, record sources and conditions
    void namesMatchedWithoutRegardToCase_data();
    void namesMatchedWithoutRegardToCase();
    void tableNameRecordSource_data();
    void tableNameRecordSource();
    void selectParts();
    void programQueriesRun();
    void findConditionsRun();
    void likeRewritesKeepJetResults_data();
    void likeRewritesKeepJetResults();
    void indexServesNumberAndPrefixTerms_data();
    void indexServesNumberAndPrefixTerms();
    void joins();

    // Errors
    void errors_data();
    void errors();
    void syntaxErrorNamesTheExpression();
    void schemaNames_data();
    void schemaNames();

private:
    QTemporaryDir m_dir;
    QString m_catalogue;
    QString m_school;
    QString m_descriptors;
};

void TestJetSql::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_catalogue = m_dir.filePath(QStringLiteral("LUMA.MDB"));
    m_school = m_dir.filePath(QStringLiteral("ALTEMARE.MDB"));
    m_descriptors = m_dir.filePath(QStringLiteral("COTATION.MDB"));
    TestDb::createCatalogue(m_catalogue);
    TestDb::createSchool(m_school);
    TestDb::createDescriptors(m_descriptors);

    TestDb::addDocument(m_catalogue, "00012", "Le loup et les sept chevreaux", "O", "N", "", "", "", "3", "398.2");
    TestDb::addDocument(m_catalogue, "00003", "Élodie au zoo", "O", "o", "E042", "école", "02/03/2024", "7", "843");
    TestDb::addDocument(m_catalogue, "00027", "Les volcans", "N", "N", "", "", "", "", "551", "", "LOUP garou");
    TestDb::addDocument(m_catalogue, "54321", "Zoé et l'ours", "O", "N", "", "", "", "1", "5");
    TestDb::addDocument(m_catalogue, "00100", "Ecureuils", "O", "N", "", "", "", "", "599");
    TestDb::addDocument(m_catalogue, "00101", "écureuils", "O", "N", "", "", "", "", "");

    TestDb::addChild(m_school, "E042", "Martin", "Élodie", "03");
    TestDb::addChild(m_school, "E007", "ANDRÉ", "Zoé", "03");
    TestDb::addChild(m_school, "E011", "andré", "Adam", "03");
    TestDb::addChild(m_school, "E099", "Bernard", "Léa", "12");
    TestDb::addClass(m_school, "12", "Mme Durand");
    TestDb::addClass(m_school, "3", "M. Petit");
    TestDb::addClass(m_school, "03", "Mme Roux");

    for (const char *d : {"poisson", "Animaux", "école", "Ecole", "zèbre", "éléphant", "Eau"})
        TestDb::insert(m_descriptors, "luma+", {"descripteur"}, {QString::fromUtf8(d)});
}

// ---------------------------------------------------------------------------
// LIKE

void TestJetSql::likePatterns_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");

    QTest::newRow("star inside") << "Le loup et l'agneau" << "*loup*" << true;
    QTest::newRow("star finds later occurrence") << "lou loup" << "*loup" << true;
    QTest::newRow("star absent text") << "Les volcans" << "*loup*" << false;
    QTest::newRow("star alone matches empty") << "" << "*" << true;
    QTest::newRow("double star matches empty") << "" << "**" << true;
    QTest::newRow("empty pattern only empty") << "a" << "" << false;
    QTest::newRow("prefix") << "599.1" << "5*" << true;
    QTest::newRow("prefix not elsewhere") << "159" << "5*" << false;
    QTest::newRow("question one char") << "chat" << "ch?t" << true;
    QTest::newRow("question not zero chars") << "cht" << "ch?t" << false;
    QTest::newRow("question one accented char") << "chét" << "ch?t" << true;
    QTest::newRow("hash digit") << "a7" << "a#" << true;
    QTest::newRow("hash not letter") << "ab" << "a#" << false;
    QTest::newRow("five digits") << "00012" << "#####" << true;
    QTest::newRow("set") << "b" << "[abc]" << true;
    QTest::newRow("set miss") << "d" << "[abc]" << false;
    QTest::newRow("range") << "m" << "[a-z]" << true;
    QTest::newRow("range upper value") << "M" << "[a-z]" << true;
    QTest::newRow("range miss") << "5" << "[a-z]" << false;
    QTest::newRow("negated set") << "d" << "[!abc]" << true;
    QTest::newRow("negated set miss") << "A" << "[!abc]" << false;
    QTest::newRow("literal star") << "5*" << "5[*]" << true;
    QTest::newRow("literal star not any") << "55" << "5[*]" << false;
    QTest::newRow("literal question and hash") << "?#" << "[?][#]" << true;
    QTest::newRow("percent plain") << "100%" << "100%" << true;
    QTest::newRow("percent not wildcard") << "100 euros" << "100%" << false;
    QTest::newRow("underscore plain") << "a_b" << "a_b" << true;
    QTest::newRow("underscore not wildcard") << "axb" << "a_b" << false;
    QTest::newRow("case ascii") << "o" << "O" << true;
    QTest::newRow("case accented") << "ÉCOLE" << "école" << true;
    QTest::newRow("case accented in star") << "Une ÉCOLE" << "*école*" << true;
    QTest::newRow("case sharp s") << "STRAẞE" << "straße" << true;
    QTest::newRow("case greek") << "ΣΟΦΊΑ" << "σοφία" << true;
    QTest::newRow("accents count") << "ecole" << "école" << false;
    QTest::newRow("accents count in star") << "Une ecole" << "*école*" << false;
    QTest::newRow("accented range") << "É" << "[à-ü]" << true;
    QTest::newRow("outside BMP") << "a😀b" << "a?b" << true;
    QTest::newRow("empty value") << "" << "a*" << false;
    QTest::newRow("unclosed bracket literal") << "a[b" << "a[b" << true;
    QTest::newRow("unclosed bracket with star") << "x[yz" << "*[y*" << true;
    QTest::newRow("unclosed bracket no match") << "ab" << "a[b" << false;
    QTest::newRow("empty brackets drop") << "ab" << "a[]b" << true;
    QTest::newRow("many stars backtrack") << "aaaaaaaaaaaaaaaaaaaaaaaaaaaaab" << "*a*a*a*a*a*a*c" << false;
    QTest::newRow("trailing blank significant") << "O " << "O" << false;
}

void TestJetSql::likePatterns()
{
    QFETCH(QString, value);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);

    QCOMPARE(jetLike(value, pattern), matches);

    Connection db;
    QCOMPARE(db.value(QStringLiteral("SELECT ? LIKE ?"), {value, pattern}), matches ? "1" : "0");
    QCOMPARE(db.value(QStringLiteral("SELECT ? NOT LIKE ?"), {value, pattern}), matches ? "0" : "1");
    // What the translator emits for the same test.
    db.exec(QStringLiteral("CREATE TABLE t(v TEXT)"));
    db.rows(QStringLiteral("INSERT INTO t VALUES(?)"), {value});
    const QString where = translateCondition(QStringLiteral("v Like '%1'").arg(QString(pattern).replace("'", "''")),
                                             db.schema(), QStringLiteral("t"));
    // A pattern without wildcard is an equality, which ignores trailing blanks.
    const bool wildcardFree = !pattern.contains(QRegularExpression(QStringLiteral("[*?#[]")));
    const bool found = wildcardFree ? jetCompare(value, pattern) == 0 : matches;
    QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM t WHERE ") + where), found ? "1" : "0");
}

void TestJetSql::sqlValues_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");

    QTest::newRow("like null value") << "SELECT NULL LIKE 'a'" << "<null>";
    QTest::newRow("like null pattern") << "SELECT 'a' LIKE NULL" << "<null>";
    QTest::newRow("like null escape") << "SELECT 'a' LIKE 'a' ESCAPE NULL" << "<null>";
    QTest::newRow("escaped star") << "SELECT 'a*' LIKE 'a!*' ESCAPE '!'" << "1";
    QTest::newRow("escaped star is no wildcard") << "SELECT 'ab' LIKE 'a!*' ESCAPE '!'" << "0";
    QTest::newRow("star beside an escape") << "SELECT 'ab' LIKE 'a*' ESCAPE '!'" << "1";
    // The built-in NOCASE folds ASCII only; replacing it would corrupt
    // indexes other tools built with it.
    QTest::newRow("NOCASE left alone") << "SELECT 'é' = 'É' COLLATE NOCASE" << "0";
    QTest::newRow("JETTEXT ignores case") << "SELECT 'é' = 'É' COLLATE JETTEXT" << "1";
}

void TestJetSql::sqlValues()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QCOMPARE(Connection().value(sql), expected);
}

void TestJetSql::likeNullFieldIsNotFound()
{
    // A null field is not found even by '*'; an empty one is.
    Connection db;
    db.exec(QStringLiteral("CREATE TABLE t(v TEXT); INSERT INTO t VALUES(NULL), (''), ('x')"));
    QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM t WHERE v LIKE '*'")), "2");
    QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM t WHERE v NOT LIKE 'x'")), "1");
}

void TestJetSql::likeCachedPatternFollowsEachRow()
{
    Connection db;
    db.exec(QStringLiteral("CREATE TABLE t(v TEXT, p TEXT)"));
    db.exec(QStringLiteral("INSERT INTO t VALUES('loup', '*ou*'), ('LOUVE', 'l*'), ('chat', '*ou*'), "
                           "('é', 'É'), ('e', 'É'), ('12', '##'), ('1a', '##')"));
    // Constant pattern, compiled once for many rows.
    QCOMPARE(db.rows(QStringLiteral("SELECT v FROM t WHERE v LIKE '*ou*' ORDER BY rowid")),
             QStringList({"loup", "LOUVE"}));
    // Pattern changing from row to row.
    QCOMPARE(db.rows(QStringLiteral("SELECT v FROM t WHERE v LIKE p ORDER BY rowid")),
             QStringList({"loup", "LOUVE", "é", "12"}));
    // Many rows with the same constant pattern.
    db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                           "INSERT INTO t(v) SELECT CASE WHEN i % 10 = 0 THEN 'Au LOUP ' || i ELSE 'chat ' || i END "
                           "FROM n"));
    QCOMPARE(db.value(QStringLiteral("SELECT count(*) FROM t WHERE v LIKE '*loup*'")), "501");
}

// ---------------------------------------------------------------------------
// JETTEXT

void TestJetSql::collationPairs_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    QTest::newRow("accented capital before Z") << "Élodie" << "Zoé" << -1;
    QTest::newRow("e before é") << "e" << "é" << -1;
    QTest::newRow("é before f") << "é" << "f" << -1;
    QTest::newRow("école after ecole") << "école" << "ecole" << 1;
    QTest::newRow("école before ecoles") << "école" << "ecoles" << -1;
    QTest::newRow("case ignored ascii") << "ABC" << "abc" << 0;
    QTest::newRow("case ignored accented") << "ÉCOLE" << "école" << 0;
    QTest::newRow("trailing blanks ignored") << "abc " << "ABC" << 0;
    QTest::newRow("trailing blanks accented") << "é   " << "É" << 0;
    QTest::newRow("leading blank counts") << " abc" << "abc" << -1;
    QTest::newRow("digits in text order") << "10" << "9" << -1;
    QTest::newRow("inventory numbers") << "00012" << "00100" << -1;
    QTest::newRow("prefix shorter first") << "loup" << "loups" << -1;
    QTest::newRow("empty first") << "" << "a" << -1;
    QTest::newRow("blank equals empty") << "   " << "" << 0;
}

void TestJetSql::collationPairs()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);

    QCOMPARE(jetCompare(a, b), expected);
    QCOMPARE(jetCompare(b, a), -expected);
    Connection db;
    const QString sql = QStringLiteral("SELECT (? COLLATE JETTEXT > ?) - (? COLLATE JETTEXT < ?)");
    QCOMPARE(db.value(sql, {a, b, a, b}).toInt(), expected);
    QCOMPARE(db.value(sql, {b, a, b, a}).toInt(), -expected);
}

void TestJetSql::collationSortsFrenchDictionaryOrder()
{
    Connection db(m_descriptors);
    const TranslatedSelect s = translateRecordSource(
        QStringLiteral("SELECT descripteur FROM [luma+] ORDER BY descripteur ASC"), db.schema());
    QCOMPARE(db.rows(s.sql), QStringList({"Animaux", "Eau", "Ecole", "école", "éléphant", "poisson", "zèbre"}));
}

void TestJetSql::collationAsciiFastPathAgreesWithCollator()
{
    // The fast path runs inside SQLite on pure ASCII texts; jetCompare always
    // asks the collator. Both must agree on every pair.
    Connection db;
    db.exec(QStringLiteral("CREATE TABLE p(a TEXT, b TEXT)"));
    QRandomGenerator random(20240917);
    QList<QPair<QString, QString>> pairs;
    db.exec(QStringLiteral("BEGIN"));
    for (int i = 0; i < 20000; ++i) {
        QString a = randomAscii(random);
        QString b = random.bounded(4) == 0 ? a.toUpper() + QString(random.bounded(3), QLatin1Char(' '))
                                           : randomAscii(random);
        pairs.append({a, b});
        db.rows(QStringLiteral("INSERT INTO p VALUES(?, ?)"), {a, b});
    }
    db.exec(QStringLiteral("COMMIT"));
    const QStringList results =
        db.rows(QStringLiteral("SELECT (a COLLATE JETTEXT > b) - (a COLLATE JETTEXT < b) FROM p ORDER BY rowid"));
    QCOMPARE(results.size(), pairs.size());
    QCollator collator{QLocale(QLocale::French, QLocale::France)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    int disagreements = 0;
    for (int i = 0; i < pairs.size(); ++i) {
        const int expected = jetCompare(pairs[i].first, pairs[i].second);
        if (results[i].toInt() != expected && ++disagreements < 5)
            qWarning() << "fast path" << results[i] << "collator" << expected << pairs[i].first.toUtf8().toHex()
                       << pairs[i].second.toUtf8().toHex();
    }
    QCOMPARE(disagreements, 0);
    // And jetCompare is the French collator: punctuation weighs as it says.
    QCOMPARE(std::clamp(collator.compare(QStringLiteral("a-b"), QStringLiteral("a b")), -1, 1),
             jetCompare(QStringLiteral("a-b"), QStringLiteral("a b")));
}

// ---------------------------------------------------------------------------
// Expressions

void TestJetSql::expressions_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("expected");

    // Literals pass through untouched, whatever they hold.
    QTest::newRow("double-quoted string") << "\"titre\"" << "titre";
    QTest::newRow("quote doubled in double quotes") << "\"dit \"\"oui\"\"\"" << "dit \"oui\"";
    QTest::newRow("apostrophe in double quotes") << "\"l'ours\"" << "l'ours";
    QTest::newRow("quote doubled in single quotes") << "'l''ours'" << "l'ours";
    QTest::newRow("SQL-looking literal") << "'a & b \"c\" [d] #1# -- /* x'" << "a & b \"c\" [d] #1# -- /* x";
    QTest::newRow("keyword-looking literal") << "'SELECT * FROM luma WHERE'" << "SELECT * FROM luma WHERE";
    // Operators.
    QTest::newRow("concatenation") << "'a' & 'b'" << "ab";
    QTest::newRow("concatenation of number") << "1 & 2" << "12";
    QTest::newRow("concatenation with null") << "'a' & Null & 'b'" << "ab";
    QTest::newRow("concatenation with field") << "titre & '!'" << "Le loup!";
    QTest::newRow("concatenation below addition") << "1 + 2 & 3" << "33";
    QTest::newRow("plus joins texts") << "'a' + 'b'" << "ab";
    QTest::newRow("plus adds numbers") << "1 + 2" << "3";
    QTest::newRow("plus with null") << "'a' + Null" << "<null>";
    QTest::newRow("real division") << "7 / 2" << "3.5";
    QTest::newRow("integer division") << "7 \\ 2" << "3";
    QTest::newRow("mod") << "7 Mod 3" << "1";
    QTest::newRow("mod below multiplication") << "7 Mod 2 * 2" << "3";
    QTest::newRow("power") << "2 ^ 10" << "1024";
    QTest::newRow("power above negation") << "-2 ^ 2" << "-4";
    QTest::newRow("power of negative exponent") << "2 ^ -1" << "0.5";
    QTest::newRow("precedence") << "1 + 2 * 3" << "7";
    QTest::newRow("parentheses") << "(1 + 2) * 3" << "9";
    QTest::newRow("true") << "True" << "-1";
    QTest::newRow("false") << "False" << "0";
    QTest::newRow("not before and") << "Not 1 = 2 And 2 = 2" << "1";
    QTest::newRow("and before or") << "1 = 1 Or 1 = 2 And 1 = 2" << "1";
    QTest::newRow("xor") << "1 = 1 Xor 2 = 2" << "0";
    // Comparisons.
    QTest::newRow("text equality ignores case") << "'ÉCOLE' = 'école'" << "1";
    QTest::newRow("text equality accents count") << "'ecole' = 'école'" << "0";
    QTest::newRow("text less in French order") << "'Élodie' < 'Zoé'" << "1";
    QTest::newRow("field compared to text") << "titre = 'LE LOUP'" << "1";
    QTest::newRow("field compared to number") << "cumul = 3" << "1";
    QTest::newRow("number compared numerically") << "cumul < 10" << "1";
    QTest::newRow("between text") << "'b' Between 'A' And 'C'" << "1";
    QTest::newRow("not between") << "'d' Not Between 'A' And 'C'" << "1";
    QTest::newRow("between then and") << "2 Between 1 And 3 And 1 = 1" << "1";
    QTest::newRow("in text") << "'É' In ('a', 'é')" << "1";
    QTest::newRow("not in") << "'x' Not In ('a', 'é')" << "1";
    QTest::newRow("in numbers") << "cumul In (1, 3)" << "1";
    QTest::newRow("is null") << "éditeur Is Null" << "1";
    QTest::newRow("is not null") << "titre Is Not Null" << "1";
    QTest::newRow("like in expression") << "titre Like '*LOUP*'" << "1";
    QTest::newRow("not like") << "titre Not Like '*loup*'" << "0";
    QTest::newRow("like built pattern") << "titre Like '*' & 'loup' & '*'" << "1";
    // Dates, always month first.
    QTest::newRow("date") << "#12/31/2024#" << "2024-12-31";
    QTest::newRow("date month first") << "#02/03/2024#" << "2024-02-03";
    QTest::newRow("date short year") << "#1/2/99#" << "1999-01-02";
    QTest::newRow("date iso") << "#2024-05-06#" << "2024-05-06";
    QTest::newRow("date with time") << "#12/31/2024 3:04 PM#" << "2024-12-31 15:04:00";
    QTest::newRow("date compared to French text") << "dateemprunt = #3/2/2024#" << "1";
    // Functions.
    QTest::newRow("UCase accented") << "UCase('élodie')" << "ÉLODIE";
    QTest::newRow("LCase accented") << "LCase('ÉCOLE')" << "école";
    QTest::newRow("UCase null") << "UCase(Null)" << "<null>";
    QTest::newRow("Left") << "Left('Élodie', 2)" << "Él";
    QTest::newRow("Right") << "Right('Élodie', 3)" << "die";
    QTest::newRow("Right too long") << "Right('ab', 5)" << "ab";
    QTest::newRow("Mid") << "Mid('Élodie', 2, 3)" << "lod";
    QTest::newRow("Mid to end") << "Mid('Élodie', 4)" << "die";
    QTest::newRow("Len") << "Len('Élodie')" << "6";
    QTest::newRow("Len null") << "Len(Null)" << "<null>";
    QTest::newRow("Trim blanks only") << "'[' & Trim('  a b \t') & ']'" << "[a b \t]";
    QTest::newRow("LTrim") << "'[' & LTrim('  a ') & ']'" << "[a ]";
    QTest::newRow("RTrim") << "'[' & RTrim('  a ') & ']'" << "[  a]";
    QTest::newRow("Val") << "Val('  12 34abc')" << "1234";
    QTest::newRow("Val real") << "Val('3.5e2x')" << "350.0";
    QTest::newRow("Val negative") << "Val('-7')" << "-7";
    QTest::newRow("Val none") << "Val('abc')" << "0";
    QTest::newRow("Val hex") << "Val('&H1F')" << "31";
    QTest::newRow("Val of field") << "Val(cumul) + 1" << "4";
    QTest::newRow("InStr") << "InStr('Le loup', 'LOUP')" << "4";
    QTest::newRow("InStr accented case") << "InStr('une ÉCOLE', 'école')" << "5";
    QTest::newRow("InStr start") << "InStr(3, 'abab', 'a')" << "3";
    QTest::newRow("InStr absent") << "InStr('abc', 'z')" << "0";
    QTest::newRow("InStr binary") << "InStr(1, 'aA', 'A', 0)" << "2";
    QTest::newRow("IIf") << "IIf(1 = 2, 'oui', 'non')" << "non";
    QTest::newRow("IIf null condition") << "IIf(Null, 'oui', 'non')" << "non";
    QTest::newRow("Nz") << "Nz(éditeur, 'aucun')" << "aucun";
    QTest::newRow("Nz empty") << "'[' & Nz(Null) & ']'" << "[]";
    QTest::newRow("IsNull") << "IsNull(éditeur)" << "-1";
    QTest::newRow("IsNull set") << "IsNull(titre)" << "0";
    QTest::newRow("Str") << "Str(12)" << " 12";
    QTest::newRow("Str negative") << "Str(-12)" << "-12";
    QTest::newRow("CStr") << "CStr(12)" << "12";
    QTest::newRow("function names any case") << "ucase(lcase('Ab'))" << "AB";
    QTest::newRow("names in brackets") << "[titre] & [LUMA]![cumul] & luma.cumul" << "Le loup33";
}

void TestJetSql::expressions()
{
    QFETCH(QString, jet);
    QFETCH(QString, expected);

    Connection db;
    db.exec(QStringLiteral("CREATE TABLE luma(titre TEXT, cumul TEXT, éditeur TEXT, dateemprunt TEXT);"
                           "INSERT INTO luma VALUES('Le loup', '3', NULL, '02/03/2024')"));
    const TranslatedSelect s =
        translateRecordSource(QStringLiteral("SELECT %1 AS résultat FROM luma").arg(jet), db.schema());
    QCOMPARE(db.value(s.sql), expected);
}

// ---------------------------------------------------------------------------
// Names, record sources, conditions

void TestJetSql::namesMatchedWithoutRegardToCase_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("accented capitals in brackets")
        << "SELECT [ÉQUIPENUMÉRO], ÉquipeInstituteur FROM [ÉQUIPE] WHERE ÉQUIPENUMÉRO = '12'"
        << QStringList{"12|Mme Durand"};
    QTest::newRow("table!field") << "SELECT équipe!équipeinstituteur FROM équipe WHERE Équipe!équipenuméro = '3'"
                                 << QStringList{"M. Petit"};
    QTest::newRow("table.field") << "SELECT Équipe.ÉQUIPEINSTITUTEUR FROM ÉQUIPE WHERE équipe.équipenuméro = '3'"
                                 << QStringList{"M. Petit"};
    QTest::newRow("keywords any case") << "select Nomenfant from ENFANTS where Classe = '03' order by NOMENFANT desc, prénomenfant"
                                       << QStringList{"Martin", "andré", "ANDRÉ"};
    QTest::newRow("number compare on text field")
        << "SELECT équipeinstituteur FROM équipe WHERE équipenuméro = 3 ORDER BY équipeinstituteur"
        << QStringList{"M. Petit", "Mme Roux"};
    QTest::newRow("alias in order by")
        << "SELECT UCase(prénomenfant) AS [Prénom majuscule] FROM enfants WHERE classe = '03' ORDER BY [prénom majuscule]"
        << QStringList{"ADAM", "ÉLODIE", "ZOÉ"};
    QTest::newRow("top") << "SELECT TOP 2 matricule FROM enfants ORDER BY matricule" << QStringList{"E007", "E011"};
    QTest::newRow("distinct") << "SELECT DISTINCT classe FROM enfants ORDER BY classe" << QStringList{"03", "12"};
    QTest::newRow("group by") << "SELECT classe, Count(*) AS n FROM enfants GROUP BY classe HAVING Count(*) > 1"
                              << QStringList{"03|3"};
    QTest::newRow("min in French order") << "SELECT Min(prénomenfant) FROM enfants WHERE classe = '03'"
                                         << QStringList{"Adam"};
    QTest::newRow("trailing semicolon") << "SELECT matricule FROM enfants WHERE matricule = 'e099';"
                                        << QStringList{"E099"};
}

void TestJetSql::namesMatchedWithoutRegardToCase()
{
    QFETCH(QString, source);
    QFETCH(QStringList, expected);
    Connection db(m_school);
    const TranslatedSelect s = translateRecordSource(source, db.schema());
    QCOMPARE(db.rows(s.sql), expected);
}

void TestJetSql::tableNameRecordSource_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("table");

    QTest::newRow("plain") << "LUMA.MDB" << "luma" << "luma";
    QTest::newRow("bracketed plus") << "COTATION.MDB" << "[luma+]" << "luma+";
    QTest::newRow("plus unbracketed") << "COTATION.MDB" << "LUMA+" << "luma+";
    QTest::newRow("accented capitals") << "ALTEMARE.MDB" << "ÉQUIPE" << "équipe";
    QTest::newRow("bracketed accented") << "ALTEMARE.MDB" << " [Équipe] " << "équipe";
}

void TestJetSql::tableNameRecordSource()
{
    QFETCH(QString, file);
    QFETCH(QString, source);
    QFETCH(QString, table);
    Connection db(m_dir.filePath(file));
    const TranslatedSelect s = translateRecordSource(source, db.schema());
    QVERIFY(s.singleTable);
    QCOMPARE(s.table, table);
    QCOMPARE(s.columnsSql, "*");
    QVERIFY(s.whereSql.isEmpty());
    QVERIFY(s.orderBySql.isEmpty());
    QCOMPARE(db.rows(s.sql).size(), db.value(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)).toInt());
    QCOMPARE(db.rows(QStringLiteral("SELECT %1 FROM %2").arg(s.columnsSql, s.fromSql)), db.rows(s.sql));
}

void TestJetSql::selectParts()
{
    Connection db(m_catalogue);
    const Schema schema = db.schema();

    const TranslatedSelect all =
        translateRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"), schema);
    QVERIFY(all.singleTable);
    QCOMPARE(all.table, "luma");
    QCOMPARE(all.orderBySql.size(), 1);
    QVERIFY(all.orderBySql[0].contains(QLatin1String(kJetCollation)));
    QVERIFY(!all.orderByBinarySql[0].contains(QLatin1String(kJetCollation)));
    QVERIFY(!all.orderByKeySql[0].contains(QLatin1String("ASC")));
    // The parts put back together give the statement's rows, in either order.
    const QString base = QStringLiteral("SELECT %1 FROM %2").arg(all.columnsSql, all.fromSql);
    const QStringList expected = db.rows(all.sql);
    QCOMPARE(expected.size(), 6);
    QVERIFY(expected.first().startsWith(QLatin1String("00003|")));
    QCOMPARE(db.rows(base + QStringLiteral(" ORDER BY ") + all.orderByBinarySql.join(", ")), expected);
    QCOMPARE(db.rows(base + QStringLiteral(" ORDER BY ") + all.orderBySql.join(", ")), expected);

    const TranslatedSelect desc = translateRecordSource(
        QStringLiteral("SELECT titre, inventaire FROM luma WHERE dewey Like '5*' ORDER BY titre DESC, inventaire"),
        schema);
    QVERIFY(desc.singleTable);
    QCOMPARE(desc.orderBySql.size(), 2);
    QVERIFY(desc.orderBySql[0].endsWith(QLatin1String("DESC")));
    QVERIFY(desc.orderBySql[1].endsWith(QLatin1String("ASC")));
    QVERIFY(!desc.whereSql.isEmpty());
    QCOMPARE(db.rows(QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %4")
                         .arg(desc.columnsSql, desc.fromSql, desc.whereSql, desc.orderBySql.join(", "))),
             db.rows(desc.sql));
    QCOMPARE(db.rows(desc.sql),
             QStringList({"Zoé et l'ours|54321", "Les volcans|00027", "Ecureuils|00100"}));

    for (const char *notSingle : {"SELECT DISTINCT dewey FROM luma", "SELECT TOP 3 * FROM luma",
                                  "SELECT dewey, Count(*) FROM luma GROUP BY dewey", "SELECT Count(*) FROM luma"}) {
        const TranslatedSelect s = translateRecordSource(QString::fromUtf8(notSingle), schema);
        QVERIFY2(!s.singleTable, notSingle);
        QVERIFY2(!db.rows(s.sql).isEmpty(), notSingle);
    }
}

void TestJetSql::programQueriesRun()
{
    Connection school(m_school);
    QCOMPARE(school.rows(translateRecordSource(QStringLiteral("SELECT équipenuméro, équipeinstituteur FROM équipe "
                                                              "ORDER BY équipenuméro ASC"),
                                               school.schema())
                             .sql),
             QStringList({"03|Mme Roux", "12|Mme Durand", "3|M. Petit"}));

    Connection catalogue(m_catalogue);
    const Schema schema = catalogue.schema();
    auto inventories = [&](const QString &source) {
        QStringList out;
        for (const QString &row : catalogue.rows(translateRecordSource(source, schema).sql))
            out << row.section(QLatin1Char('|'), 0, 0);
        return out;
    };
    const QString filtre = QStringLiteral("dewey LIKE '3*' OR dewey LIKE '5*'");
    // Descriptor search (two blanks before AND) and word search (one).
    QCOMPARE(inventories(QStringLiteral("SELECT * FROM luma WHERE (titre LIKE '*LOUP*' OR motsclés LIKE '*LOUP*')  "
                                        "AND (%1) ORDER BY inventaire ASC")
                             .arg(filtre)),
             QStringList({"00012", "00027"}));
    QCOMPARE(inventories(QStringLiteral("SELECT * FROM luma WHERE (titre LIKE '*écureuils*' OR motsclés LIKE "
                                        "'*écureuils*') AND (dewey LIKE '*') ORDER BY inventaire ASC")),
             QStringList({"00101"}));
    // An empty word: '**' finds every document whose title or keywords are set.
    QCOMPARE(inventories(QStringLiteral("SELECT * FROM luma WHERE (titre LIKE '**' OR motsclés LIKE '**') AND "
                                        "(dewey LIKE '*') ORDER BY inventaire ASC"))
                 .size(),
             6);
    // A request file's head, joined to the class filter.
    QCOMPARE(inventories(QStringLiteral("SELECT * FROM luma WHERE motsclés Like \"*garou*\" AND (%1) "
                                        "ORDER BY inventaire ASC")
                             .arg(filtre)),
             QStringList({"00027"}));
}

void TestJetSql::findConditionsRun()
{
    Connection db(m_catalogue);
    const Schema schema = db.schema();
    auto find = [&](const QString &condition) {
        const QString where = translateCondition(condition, schema, QStringLiteral("luma"));
        return db.rows(QStringLiteral("SELECT inventaire FROM luma WHERE %1 ORDER BY inventaire").arg(where));
    };
    QCOMPARE(find(QStringLiteral("emprunt like 'O' AND inventaire like '00012'")), QStringList{"00012"});
    QCOMPARE(find(QStringLiteral("emprunt like 'O' AND inventaire like '12'")), QStringList());
    // Not lendable: not found by its number.
    QCOMPARE(find(QStringLiteral("emprunt like 'O' AND inventaire like '00027'")), QStringList());
    // The stored loan has a small o; case does not count, accents do.
    const QString loan = QStringLiteral("emprunt like 'O' AND catégorieemprunteur like '%1' AND emprunteur like '%2' "
                                        "AND emprunté like 'O'");
    QCOMPARE(find(loan.arg("école", "E042")), QStringList{"00003"});
    QCOMPARE(find(loan.arg("ÉCOLE", "e042")), QStringList{"00003"});
    QCOMPARE(find(loan.arg("ecole", "E042")), QStringList());
    QCOMPARE(find(QStringLiteral("dewey LIKE '5*'")), QStringList({"00027", "00100", "54321"}));
}

void TestJetSql::likeRewritesKeepJetResults_data()
{
    QTest::addColumn<QString>("pattern");

    // Wildcard-free and prefix terms are rewritten for the index; the rows
    // found must be those the like function finds.
    for (const char *p : {"54321", "00012", "5", "5*", "3*", "00*", "0001*", "99*", "", "*", "O", "o", "n",
                          "N", "école", "5 *", "5-1*", "a'b"})
        QTest::newRow(p) << QString::fromUtf8(p);
}

void TestJetSql::likeRewritesKeepJetResults()
{
    QFETCH(QString, pattern);
    Connection db;
    db.exec(QStringLiteral("CREATE TABLE t(v TEXT UNIQUE)"));
    for (const char *v : {"54321", "54321 ", "543210", "00012", "0001", "00012a", "5", "5 1", "5-1", "50", "3.1",
                          "30", "O", "o", "ó", "N", "école", "ÉCOLE", "ecole", "", "a'b", "A'B"})
        db.rows(QStringLiteral("INSERT INTO t VALUES(?)"), {QString::fromUtf8(v)});
    db.rows(QStringLiteral("INSERT INTO t VALUES(NULL)"));

    const QString where = translateCondition(
        QStringLiteral("v Like '%1'").arg(QString(pattern).replace("'", "''")), db.schema(), QStringLiteral("t"));
    QStringList expected;
    for (const QString &v : db.rows(QStringLiteral("SELECT v FROM t WHERE v IS NOT NULL ORDER BY v"))) {
        // Jet: a pattern without wildcard is an equality, trailing blanks aside.
        const bool wildcardFree = !pattern.contains(QLatin1Char('*'));
        if (wildcardFree ? jetCompare(v, pattern) == 0 : jetLike(v, pattern))
            expected << v;
    }
    QCOMPARE(db.rows(QStringLiteral("SELECT v FROM t WHERE %1 ORDER BY v").arg(where)), expected);
}

void TestJetSql::indexServesNumberAndPrefixTerms_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QString>("index");

    QTest::newRow("number") << "inventaire like '54321'" << "sqlite_autoindex_luma_1";
    QTest::newRow("number in find") << "emprunt like 'O' AND inventaire like '00012'" << "sqlite_autoindex_luma_1";
    QTest::newRow("prefix") << "dewey LIKE '5*'" << "luma_dewey";
    QTest::newRow("prefixes joined") << "dewey LIKE '3*' OR dewey LIKE '5*'" << "luma_dewey";
}

void TestJetSql::indexServesNumberAndPrefixTerms()
{
    QFETCH(QString, condition);
    QFETCH(QString, index);
    const QString path = m_dir.filePath(QStringLiteral("INDEXED.MDB"));
    if (!QFile::exists(path)) {
        TestDb::createCatalogue(path);
        TestDb::exec(path, QStringLiteral("CREATE INDEX luma_dewey ON luma(dewey)"));
        for (int i = 0; i < 200; ++i)
            TestDb::addDocument(path, QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0')),
                                QStringLiteral("Livre %1").arg(i), "O", "N", "", "", "", "",
                                QString::number(i % 10) + QStringLiteral("00"));
        TestDb::exec(path, QStringLiteral("ANALYZE"));
    }
    Connection db(path);
    const QString where = translateCondition(condition, db.schema(), QStringLiteral("luma"));
    const QString plan = db.rows(QStringLiteral("EXPLAIN QUERY PLAN SELECT rowid FROM luma WHERE ") + where)
                             .join(QLatin1Char('\n'));
    QVERIFY2(plan.contains(index), qPrintable(plan));
    QVERIFY2(!plan.contains(QLatin1String("SCAN luma")), qPrintable(plan));
}

void TestJetSql::joins()
{
    Connection db(m_school);
    const TranslatedSelect s = translateRecordSource(
        QStringLiteral("SELECT e.prénomenfant, q.équipeinstituteur FROM enfants AS e INNER JOIN équipe AS q "
                       "ON e.classe = q.équipenuméro WHERE q.équipenuméro = '12'"),
        db.schema());
    QVERIFY(!s.singleTable);
    QCOMPARE(db.rows(s.sql), QStringList{"Léa|Mme Durand"});
    // A name both tables could hold must be qualified.
    const TranslatedSelect cross =
        translateRecordSource(QStringLiteral("SELECT matricule, équipeinstituteur FROM enfants, équipe "
                                             "WHERE classe = équipenuméro ORDER BY matricule"),
                              db.schema());
    QCOMPARE(db.rows(cross.sql), QStringList({"E007|Mme Roux", "E011|Mme Roux", "E042|Mme Roux", "E099|Mme Durand"}));
}

// ---------------------------------------------------------------------------
// Errors

void TestJetSql::errors_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("number");

    const int syntax = ErrorNumber::SyntaxError;
    QTest::newRow("apostrophe in searched word")
        << "SELECT * FROM luma WHERE (titre LIKE '*l'ours*' OR motsclés LIKE '*l'ours*') AND (dewey LIKE '*') "
           "ORDER BY inventaire ASC"
        << syntax;
    QTest::newRow("apostrophe ends word")
        << "SELECT * FROM luma WHERE (titre LIKE '*l'*' OR motsclés LIKE '*l'*') AND (dewey LIKE '*') "
           "ORDER BY inventaire ASC"
        << syntax;
    QTest::newRow("apostrophe starts word")
        << "SELECT * FROM luma WHERE (titre LIKE '*'ours*' OR motsclés LIKE '*'ours*') AND (dewey LIKE '*') "
           "ORDER BY inventaire ASC"
        << syntax;
    QTest::newRow("apostrophe odd count")
        << "SELECT * FROM luma WHERE (titre LIKE '*aujourd'hui*') ORDER BY inventaire ASC" << syntax;
    QTest::newRow("unterminated double quote") << "SELECT * FROM luma WHERE titre = \"abc" << syntax;
    QTest::newRow("unterminated bracket") << "SELECT [titre FROM luma" << syntax;
    QTest::newRow("empty bracket") << "SELECT [] FROM luma" << syntax;
    QTest::newRow("unterminated date") << "SELECT * FROM luma WHERE dateemprunt = #12/31/2024" << syntax;
    QTest::newRow("impossible date") << "SELECT * FROM luma WHERE dateemprunt = #31/12/2024#" << syntax;
    QTest::newRow("missing operand") << "SELECT * FROM luma WHERE titre =" << syntax;
    QTest::newRow("missing operator") << "SELECT * FROM luma WHERE titre 'a'" << syntax;
    QTest::newRow("unbalanced parenthesis") << "SELECT * FROM luma WHERE (titre = 'a'" << syntax;
    QTest::newRow("extra parenthesis") << "SELECT * FROM luma WHERE titre = 'a')" << syntax;
    QTest::newRow("no FROM") << "SELECT titre" << syntax;
    QTest::newRow("empty select list") << "SELECT FROM luma" << syntax;
    QTest::newRow("stray character") << "SELECT * FROM luma WHERE titre = @a" << syntax;
    QTest::newRow("wrong argument count") << "SELECT Left(titre) FROM luma" << syntax;
    QTest::newRow("between without and") << "SELECT * FROM luma WHERE cumul Between 1" << syntax;
    QTest::newRow("syntax reported before unknown table") << "SELECT * FROM livres WHERE titre =" << syntax;
    QTest::newRow("syntax reported before unknown name") << "SELECT auteur FROM luma WHERE (x = 1" << syntax;
    QTest::newRow("unknown table") << "SELECT * FROM livres" << int(ErrorNumber::TableNotFound);
    QTest::newRow("unknown table name source") << "[livres+]" << int(ErrorNumber::TableNotFound);
    QTest::newRow("unknown column") << "SELECT * FROM luma WHERE auteur = 'x'" << int(ErrorNumber::TooFewParameters);
    QTest::newRow("unknown column in list") << "SELECT auteur FROM luma" << int(ErrorNumber::TooFewParameters);
    QTest::newRow("unknown order key") << "SELECT * FROM luma ORDER BY auteur" << int(ErrorNumber::TooFewParameters);
    QTest::newRow("parameter") << "SELECT * FROM luma WHERE titre = [Quel titre ?]"
                               << int(ErrorNumber::TooFewParameters);
    QTest::newRow("unknown function") << "SELECT Bidule(titre) FROM luma" << 3085;
}

void TestJetSql::errors()
{
    QFETCH(QString, source);
    QFETCH(int, number);
    Connection db(m_catalogue);
    const Schema schema = db.schema();
    const auto error = errorOf([&] { translateRecordSource(source, schema); });
    QVERIFY(error);
    QCOMPARE(error->number(), number);
    if (number == ErrorNumber::SyntaxError)
        QVERIFY2(error->description().contains(QLatin1String("syntaxe")), qPrintable(error->description()));
}

void TestJetSql::syntaxErrorNamesTheExpression()
{
    Connection db(m_catalogue);
    // The number of these errors is checked in errors().
    QCOMPARE(errorTextOf([&] {
                 translateRecordSource(QStringLiteral("SELECT * FROM luma WHERE (titre LIKE '*l'ours*' OR motsclés "
                                                      "LIKE '*l'ours*') AND (dewey LIKE '*') ORDER BY inventaire ASC"),
                                       db.schema());
             }),
             QStringLiteral("Erreur de syntaxe (opérateur absent) dans l'expression « (titre LIKE '*l'ours*' OR "
                            "motsclés LIKE '*l'ours*') AND (dewey LIKE '*') »."));
    const auto unterminated = errorOf([&] {
        translateCondition(QStringLiteral("emprunt like 'O' AND inventaire like '0001"), db.schema(), "luma");
    });
    QVERIFY(unterminated);
    QCOMPARE(unterminated->number(), int(ErrorNumber::SyntaxError));
    QVERIFY2(unterminated->description().contains(QLatin1String("inventaire like '0001")),
             qPrintable(unterminated->description()));
    QCOMPARE(errorNumberOf([&] { translateCondition(QStringLiteral("emprunt like 'O'"), db.schema(), "livres"); }),
             int(ErrorNumber::TableNotFound));
    QCOMPARE(errorNumberOf([&] { translateCondition(QStringLiteral("auteur like 'O'"), db.schema(), "luma"); }),
             int(ErrorNumber::TooFewParameters));
    QCOMPARE(errorNumberOf([&] { translateCondition(QStringLiteral("emprunt like 'O' AND"), db.schema(), "luma"); }),
             int(ErrorNumber::SyntaxError));
    QCOMPARE(errorNumberOf([&] { translateCondition(QStringLiteral("   "), db.schema(), "luma"); }),
             int(ErrorNumber::SyntaxError));
}

void TestJetSql::schemaNames_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");

    QTest::newRow("ascii case") << "LUMA" << "luma" << true;
    QTest::newRow("accented case") << "ÉQUIPE" << "équipe" << true;
    QTest::newRow("accents count") << "equipe" << "équipe" << false;
    QTest::newRow("plus sign") << "LUMA+" << "luma+" << true;
    QTest::newRow("different") << "luma" << "lumas" << false;
}

void TestJetSql::schemaNames()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    QCOMPARE(sameName(a, b), same);
    Schema schema;
    schema.tables << SchemaTable{b, {QStringLiteral("Catégorie"), b}};
    QCOMPARE(schema.findTable(a) != nullptr, same);
    QCOMPARE(schema.tables[0].findColumn(a), same ? b : QString());
    QCOMPARE(schema.tables[0].findColumn(QStringLiteral("CATÉGORIE")), QStringLiteral("Catégorie"));
}

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_data_jetsql.moc"
