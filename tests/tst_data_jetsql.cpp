// Jet behaviour of the database engine: LIKE patterns, the JETTEXT collation,
// the Jet functions and the translation of Jet SQL, run on real SQLite files.

#include "data/cursor.h"
#include "data/jetdate.h"
#include "data/jetfunctions.h"
#include "data/jetfunctiontable.h"
#include "data/jetsql.h"
#include "data/schema.h"
#include "data/sqlitestatement.h"
#include "platform/apperror.h"
#include "errors.h"
#include "testdb.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>


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

    void exec(const QString &sql)
    {
        char *message = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK)
            QTest::qFail(qPrintable(QString::fromUtf8(message) + QStringLiteral(" in: ") + sql), __FILE__, __LINE__);
        sqlite3_free(message);
    }

    // Every row of a query, columns joined by '|', NULL as "<null>". Values
    // bound as text, or NULL for a null QVariant.
    QStringList rows(const QString &sql, const QVariantList &params = {}) const
    {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            QTest::qFail(qPrintable(QString::fromUtf8(sqlite3_errmsg(m_db)) + " in: " + sql), __FILE__, __LINE__);
            return {QStringLiteral("<prepare failed>")};
        }
        for (int i = 0; i < params.size(); ++i) // a null pointer binds NULL
            sqlite3_bind_text(stmt, i + 1, params[i].isNull() ? nullptr : params[i].toString().toUtf8().constData(),
                              -1, SQLITE_TRANSIENT);
        QStringList out;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            QStringList cols;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                cols << (sqlite3_column_type(stmt, c) == SQLITE_NULL
                             ? QStringLiteral("<null>")
                             : QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c))));
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

    // The rows of a Jet record source, translated.
    QStringList select(const QString &jetSource) const { return rows(translateRecordSource(jetSource, schema()).sql); }

    // Tables and columns, as the file spells them.
    Schema schema() const
    {
        Schema s;
        for (const QString &row : rows(QStringLiteral("SELECT m.name, p.name FROM sqlite_master AS m, "
                                                      "pragma_table_info(m.name) AS p WHERE m.type = 'table' "
                                                      "ORDER BY m.name, p.cid"))) {
            if (s.tables.isEmpty() || s.tables.last().name != row.section(QLatin1Char('|'), 0, 0))
                s.tables << SchemaTable{row.section(QLatin1Char('|'), 0, 0), {}};
            s.tables.last().columns << row.section(QLatin1Char('|'), 1);
        }
        return s;
    }

    sqlite3 *handle() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
};

QString randomAscii(QRandomGenerator &random)
{
    // Mostly letters and digits, some punctuation, blanks and control
    // characters, so that ties, ignorable characters and case all occur.
    static const QString common = QStringLiteral("aAbBeEzZ09 -'.,_~!\t");
    QString s;
    for (int length = random.bounded(0, 7); length > 0; --length)
        s += random.bounded(3) == 0 ? QChar(char16_t(random.bounded(1, 128)))
                                    : common.at(random.bounded(int(common.size())));
    return s;
}

} // namespace

class TestJetSql : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_catalogue = m_dir.filePath(QStringLiteral("LUMA.MDB"));
        m_school = m_dir.filePath(QStringLiteral("ALTEMARE.MDB"));
        TestDb::createCatalogue(m_catalogue);
        TestDb::createSchool(m_school);

        TestDb::addDocument(m_catalogue, "00012", "Le loup et les sept chevreaux", "O", "N", "", "", "", "3", "398.2");
        TestDb::addDocument(m_catalogue, "00003", "Élodie au zoo", "O", "o", "E042", "école", "02/03/2024", "7", "843");
        TestDb::addDocument(m_catalogue, "54321", "Zoé et l'ours", "O", "N", "", "", "", "1", "5");

        TestDb::addChild(m_school, "E042", "Martin", "Élodie", "03");
        TestDb::addChild(m_school, "E007", "ANDRÉ", "Zoé", "03");
        TestDb::addChild(m_school, "E011", "andré", "Adam", "03");
        TestDb::addChild(m_school, "E099", "Bernard", "Léa", "12");
        TestDb::addClass(m_school, "12", "Mme Durand");
        TestDb::addClass(m_school, "3", "M. Petit");
        TestDb::addClass(m_school, "03", "Mme Roux");
    }

    // LIKE

    void likePatterns_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");

        QTest::newRow("star inside") << "Le loup et l'agneau" << "*loup*" << true;
        QTest::newRow("empty pattern only empty") << "a" << "" << false;
        QTest::newRow("prefix not elsewhere") << "159" << "5*" << false;
        QTest::newRow("question one accented char") << "chét" << "ch?t" << true;
        QTest::newRow("range upper value") << "M" << "[a-z]" << true;
        QTest::newRow("negated set") << "d" << "[!abc]" << true;
        QTest::newRow("literal star") << "5*" << "5[*]" << true;
        QTest::newRow("percent and underscore plain") << "1_0%" << "1_0%" << true;
        QTest::newRow("accents count") << "ecole" << "école" << false;
        QTest::newRow("accented range") << "É" << "[à-ü]" << true;
        QTest::newRow("outside BMP") << "a😀b" << "a?b" << true;
        QTest::newRow("unclosed bracket with star") << "x[yz" << "*[y*" << true;
        QTest::newRow("many stars backtrack") << "aaaaaaaaaaaaaaaaaaaaaaaaaaaaab" << "*a*a*a*a*a*a*c" << false;
        QTest::newRow("full-width letter is no case") << "Ａ" << "a" << false;
    }

    void likePatterns()
    {
        QFETCH(QString, value);
        QFETCH(QString, pattern);
        QFETCH(bool, matches);

        QCOMPARE(jetLike(value, pattern), matches);

        Connection db;
        QCOMPARE(db.value(QStringLiteral("SELECT ? LIKE ?"), {value, pattern}), matches ? "1" : "0");
        QCOMPARE(db.value(QStringLiteral("SELECT ? NOT LIKE ?"), {value, pattern}), matches ? "0" : "1");
    }

    void sqlValues_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");

        // A date serial stored as a number: the time of day counts forward
        // from midnight, before day zero too.
        QTest::newRow("stored serial before day zero")
            << "SELECT jet_frenchdate(-1.25) || ' ' || jet_datenum(-1.25)" << "29/12/1899 06:00:00 -1.25";
        QTest::newRow("function's invalid argument")
            << "SELECT jet_replace('a', 'a', 'x', 0)" << "<error: #5#Argument incorrect pour Replace>";
        QTest::newRow("like null value") << "SELECT NULL LIKE 'a'" << "<null>";
        // A null field is not found even by '*'; an empty one is.
        const QString fields = "(SELECT NULL AS v UNION ALL SELECT '' UNION ALL SELECT 'x')";
        QTest::newRow("null field, star") << "SELECT count(*) FROM " + fields + " WHERE v LIKE '*'" << "2";
        // A constant pattern is compiled once for all rows; one read from the rows changes from row to row.
        QTest::newRow("constant pattern") << "SELECT group_concat(column1) FROM (VALUES ('loup'), ('LOUVE'), ('chat')) "
                                             "WHERE column1 LIKE '*ou*'"
                                          << "loup,LOUVE";
        QTest::newRow("pattern from each row")
            << "SELECT group_concat(column1) FROM (VALUES ('loup', '*ou*'), ('LOUVE', 'l*'), ('chat', '*ou*'), "
               "('é', 'É'), ('e', 'É'), ('12', '##'), ('1a', '##')) WHERE column1 LIKE column2"
            << "loup,LOUVE,é,12";
        QTest::newRow("escaped star") << "SELECT 'a*' LIKE 'a!*' ESCAPE '!'" << "1";
        // The built-in NOCASE folds ASCII only; replacing it would corrupt
        // indexes other tools built with it.
        QTest::newRow("NOCASE left alone") << "SELECT 'é' = 'É' COLLATE NOCASE" << "0";
        QTest::newRow("JETTEXT ignores case") << "SELECT 'é' = 'É' COLLATE JETTEXT" << "1";
    }

    void sqlValues()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        QCOMPARE(Connection().value(sql), expected);
    }

    // Val as Visual Basic reads it: blanks skipped anywhere, &H and &O, an
    // exponent; the SQL function and the function the program calls agree.
    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");

        QTest::newRow("blank inside the number") << "1 2" << 12.0;
        QTest::newRow("hexadecimal") << "&H10" << 16.0;
        QTest::newRow("octal") << "&o17" << 15.0;
        QTest::newRow("sign before &H is no number") << "-&H1" << 0.0;
        QTest::newRow("blanks and letters") << "  12 34abc" << 1234.0;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("Visual Basic's D exponent, trailing letter") << "3.5D2x" << 350.0;
        QTest::newRow("exponent without digits") << "2e" << 2.0;
        QTest::newRow("French comma ends the number") << "2,5" << 2.0;
        QTest::newRow("empty") << "" << 0.0;
    }

    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(jetVal(text), expected);
        QCOMPARE(Connection().value(QStringLiteral("SELECT jet_val(?)"), {text}).toDouble(), expected);
    }

    // Jet's instants: a text read in a day order, its serial as Access stores
    // it, and its ISO and French texts. "" where the text is no date.
    void jetDates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("monthFirst");
        QTest::addColumn<QString>("iso");
        QTest::addColumn<double>("serial");
        QTest::addColumn<QString>("french");

        QTest::newRow("day first") << "05/12/2026" << false << "2026-12-05" << 46361.0 << "05/12/2026";
        QTest::newRow("month first") << "05/12/2026" << true << "2026-05-12" << 46154.0 << "12/05/2026";
        QTest::newRow("ISO either way, with a time")
            << " 2026-12-05T10:30 " << true << "2026-12-05 10:30:00" << 46361.4375 << "05/12/2026 10:30:00";
        QTest::newRow("afternoon") << "12/31/2024 3:04 PM" << true << "2024-12-31 15:04:00" << 45657.0 + 904.0 / 1440
                                   << "31/12/2024 15:04:00";
        QTest::newRow("day zero") << "30.12.1899" << false << "1899-12-30" << 0.0 << "30/12/1899";
        QTest::newRow("before day zero, the time forward")
            << "29/12/1899 06:00:00" << false << "1899-12-29 06:00:00" << -1.25 << "29/12/1899 06:00:00";
        QTest::newRow("time alone, on day zero") << "10:30" << false << "1899-12-30 10:30:00" << 0.4375
                                                 << "30/12/1899 10:30:00";
        QTest::newRow("first Jet day") << "1/1/0100" << false << "0100-01-01" << -657434.0 << "01/01/0100";
        QTest::newRow("last Jet second") << "31/12/9999 23:59:59" << false << "9999-12-31 23:59:59"
                                         << 2958465.0 + 86399.0 / 86400 << "31/12/9999 23:59:59";
        QTest::newRow("two-digit year, 1900s") << "1/2/30" << false << "1930-02-01" << 10990.0 << "01/02/1930";
        QTest::newRow("two-digit year, 2000s") << "1/2/29" << false << "2029-02-01" << 47150.0 << "01/02/2029";
        QTest::newRow("leap day") << "29/02/2024" << false << "2024-02-29" << 45351.0 << "29/02/2024";
        QTest::newRow("no such day") << "29/02/2023" << false << "" << 0.0 << "";
        QTest::newRow("year before 100") << "01/01/0099" << false << "" << 0.0 << "";
        QTest::newRow("three-digit year written short") << "1/2/099" << false << "" << 0.0 << "";
        QTest::newRow("hour beyond the day") << "05/12/2026 24:00" << false << "" << 0.0 << "";
        QTest::newRow("words") << "hier" << false << "" << 0.0 << "";
    }

    void jetDates()
    {
        QFETCH(QString, text);
        QFETCH(bool, monthFirst);
        QFETCH(QString, iso);
        QFETCH(double, serial);
        QFETCH(QString, french);

        const std::optional<JetDate> date = JetDate::read(text, monthFirst ? DateOrder::MonthFirst : DateOrder::DayFirst);
        QCOMPARE(date ? date->isoText() : QString(), iso);
        if (!date)
            return;
        QVERIFY(qAbs(date->serial() - serial) < 1e-9);
        QCOMPARE(JetDate::fromSerial(serial), date);
        QCOMPARE(date->frenchText(), french);
        QCOMPARE(date->day(), QDate::fromString(iso.left(10), Qt::ISODate));
        QCOMPARE(JetDate::read(french, DateOrder::DayFirst), date);
        // The engine reads the stored serial and the French text alike.
        Connection db;
        QCOMPARE(db.value(QStringLiteral("SELECT jet_date(?1) || '|' || jet_date(CAST(?2 AS REAL))"),
                          {french, QString::number(serial, 'g', 17)}),
                 iso + QLatin1Char('|') + iso);
    }

    // The function table: every function can be called through SQLite with
    // each of its numbers of arguments (and no other), and the translator
    // knows every Jet function it names.
    void everyTableFunctionIsRegistered()
    {
        Connection db;
        db.exec(QStringLiteral("CREATE TABLE t(v TEXT)"));
        for (const JetFunction &f : jetFunctionTable()) {
            for (int argc = f.minArgs; argc <= f.maxArgs + 1; ++argc) {
                QStringList args;
                for (int k = 0; k < argc; ++k)
                    args << QStringLiteral("NULL");
                const QString sql = QStringLiteral("SELECT %1(%2)").arg(QLatin1String(f.sqlName), args.join(", "));
                sqlite3_stmt *stmt = nullptr;
                const int rc = sqlite3_prepare_v2(db.handle(), sql.toUtf8().constData(), -1, &stmt, nullptr);
                sqlite3_finalize(stmt);
                QVERIFY2((rc == SQLITE_OK) == (argc <= f.maxArgs), qPrintable(sql));
            }
            if (!f.jetName)
                continue;
            QStringList args{f.interval ? QStringLiteral("'d'") : QStringLiteral("v")};
            while (args.size() < f.minArgs)
                args << QStringLiteral("1");
            const QString call = QStringLiteral("%1(%2) Is Null").arg(QLatin1String(f.jetName), args.join(", "));
            const QString where = translateCondition(call, db.schema(), QStringLiteral("t"));
            QVERIFY2(where.contains(QLatin1String(f.sqlName)), qPrintable(call + " -> " + where));
        }
    }

    // JETTEXT

    void collationPairs_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");

        QTest::newRow("école after ecole") << "école" << "ecole" << 1;
        QTest::newRow("école before ecoles") << "école" << "ecoles" << -1;
        // France weighs accents from the first letter on (cote, coté, côte,
        // côté); French Canada from the last, which puts côte first.
        QTest::newRow("coté before côte") << "coté" << "côte" << -1;
        QTest::newRow("case ignored accented") << "ÉCOLE" << "école" << 0;
        QTest::newRow("trailing blanks accented") << "é   " << "É" << 0;
        QTest::newRow("leading blank counts") << " abc" << "abc" << -1;
        QTest::newRow("digits in text order") << "10" << "9" << -1;
        QTest::newRow("blank equals empty") << "   " << "" << 0;
    }

    void collationPairs()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);

        QCOMPARE(jetCompare(a, b), expected);
        QCOMPARE(jetCompare(b, a), -expected);
        Connection db;
        const QString sql = QStringLiteral("SELECT (? COLLATE JETTEXT > ?) - (? COLLATE JETTEXT < ?)");
        QCOMPARE(db.value(sql, {a, b, a, b}).toInt(), expected);
    }

    void collationAsciiFastPathAgreesWithCollator()
    {
        // The fast path runs inside SQLite on pure ASCII texts; jetCompare always
        // asks the collator. Both must agree on every pair.
        Connection db;
        QRandomGenerator random(20240917);
        const QString sql = QStringLiteral("SELECT (? COLLATE JETTEXT > ?) - (? COLLATE JETTEXT < ?)");
        for (int i = 0; i < 20000; ++i) {
            const QString a = randomAscii(random);
            const QString b = random.bounded(4) == 0 ? a.toUpper() + QString(random.bounded(3), QLatin1Char(' '))
                                                     : randomAscii(random);
            if (db.value(sql, {a, b, a, b}).toInt() != jetCompare(a, b))
                QFAIL(qPrintable(a.toUtf8().toHex() + " vs " + b.toUtf8().toHex()));
        }
    }

    // Expressions

    void expressions_data()
    {
        QTest::addColumn<QString>("jet");
        QTest::addColumn<QString>("expected");

        // Literals pass through untouched, whatever they hold.
        QTest::newRow("double-quoted string") << "\"titre\"" << "titre";
        QTest::newRow("SQL-looking literal, quote doubled")
            << "'l''a & b \"c\" [d] #1# -- /* x'" << "l'a & b \"c\" [d] #1# -- /* x";
        // Operators.
        QTest::newRow("concatenation with null") << "'a' & Null & 'b'" << "ab";
        QTest::newRow("concatenation below addition") << "1 + 2 & 3" << "33";
        QTest::newRow("plus joins texts") << "'a' + 'b'" << "ab";
        QTest::newRow("integer division, halves to even") << "7 \\ 2 & 5.5 \\ 1" << "36";
        QTest::newRow("mod below multiplication") << "7 Mod 2 * 2" << "3";
        QTest::newRow("power above negation") << "-2 ^ 2" << "-4";
        QTest::newRow("not before and") << "Not 1 = 2 And 2 = 2" << "-1";
        // Jet's True is -1 wherever a truth is a value; Null goes through the logic as Jet's did.
        QTest::newRow("truth in arithmetic") << "(cumul = 3) * 2" << "-2";
        QTest::newRow("xor null") << "Null Xor 1 = 1" << "<null>";
        QTest::newRow("imp false null") << "False Imp Null" << "-1";
        QTest::newRow("eqv") << "1 = 2 Eqv 3 = 4" << "-1";
        QTest::newRow("or binds before imp") << "True Or False Imp False" << "0";
        // Comparisons.
        QTest::newRow("field compared to number") << "cumul = 3" << "-1";
        QTest::newRow("like built pattern") << "titre Like '*' & 'loup' & '*'" << "-1";
        // Dates, always month first.
        QTest::newRow("date compared to French text") << "dateemprunt = #3/2/2024#" << "-1";
        // Date arithmetic keeps dates dates; a stored date reads day first.
        QTest::newRow("days plus a date") << "1 + #1/2/2024#" << "2024-01-03";
        QTest::newRow("date minus half a day") << "#1/2/2024# - 0.5" << "2024-01-01 12:00:00";
        QTest::newRow("date minus date") << "#3/1/2024# - #2/1/2024#" << "29";
        QTest::newRow("stored date plus days") << "dateemprunt + 1" << "2024-03-03";
        QTest::newRow("today") << "CStr(Date())" << QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
        QTest::newRow("now is today") << "Now() >= Date() And Now() < Date() + 1" << "-1";
        QTest::newRow("date in concatenation") << "'rendu le ' & DateAdd('d', 21, dateemprunt)" << "rendu le 23/03/2024";
        QTest::newRow("CStr of a date") << "CStr(#3/2/2024 10:30#)" << "02/03/2024 10:30:00";
        QTest::newRow("Year Month Day") << "Year(dateemprunt) & '-' & Month(dateemprunt) & '-' & Day(dateemprunt)"
                                        << "2024-3-2";
        QTest::newRow("Hour Minute Second") << "Hour(#1/1/2024 1:02:03 PM#) & Minute(#1/1/2024 1:02:03 PM#) & "
                                               "Second(#1/1/2024 1:02:03 PM#)"
                                            << "1323";
        QTest::newRow("DatePart week from Sunday") << "DatePart('ww', #1/7/2024#)" << "2";
        QTest::newRow("DatePart first four-day week") << "DatePart('ww', #1/1/2021#, 2, 2)" << "53";
        QTest::newRow("DateDiff midnights crossed") << "DateDiff('d', #1/1/2020 11:00 PM#, #1/2/2020 1:00 AM#)" << "1";
        QTest::newRow("DateDiff months crossed") << "DateDiff('m', #1/31/2024#, #2/1/2024#)" << "1";
        QTest::newRow("DateAdd month end") << "DateAdd('m', 1, #1/31/2024#)" << "2024-02-29";
        QTest::newRow("DateAdd hours") << "DateAdd('h', 36, dateemprunt)" << "2024-03-03 12:00:00";
        QTest::newRow("DateSerial carries") << "DateSerial(2024, 14, 0)" << "2025-01-31";
        QTest::newRow("DateValue drops the time") << "DateValue('05/12/2026 10:30:00')" << "2026-12-05";
        QTest::newRow("CDate keeps the time") << "CDate('05/12/2026 10:30')" << "2026-12-05 10:30:00";
        // Functions.
        QTest::newRow("UCase accented, names any case") << "ucase('élodie') & LCASE('Ab')" << "ÉLODIEab";
        QTest::newRow("Trim blanks only") << "'[' & Trim('  a b \t') & ']'" << "[a b \t]";
        QTest::newRow("InStr accented case") << "InStr('une ÉCOLE', 'école')" << "5";
        QTest::newRow("IIf null condition") << "IIf(Null, 'oui', 'non')" << "non";
        QTest::newRow("Str") << "Str(12)" << " 12";
        QTest::newRow("names in brackets") << "[titre] & [LUMA]![cumul] & luma.cumul" << "Le loup33";
        QTest::newRow("CInt half to even, CLng French text") << "CInt(2.5) & CLng('4,5')" << "24";
        QTest::newRow("CInt overflow") << "CInt(40000)" << "<null>";
        QTest::newRow("Asc in the western code page") << "Asc('é') & ' ' & Asc('€')" << "233 128";
        QTest::newRow("Chr") << "Chr(233) & Chr(128) & ChrW(8364)" << "é€€";
        QTest::newRow("Replace ignores case, binary")
            << "Replace('Le Loup et le loup', 'LOUP', 'chat') & Replace('aA', 'a', 'x', 1, -1, 0)"
            << "Le chat et le chatxA";
        QTest::newRow("InStrRev, binary") << "InStrRev('abcabc', 'bc') & InStrRev('aA', 'a', -1, 0)" << "51";
        QTest::newRow("StrComp French order, binary") << "StrComp('é', 'f') & StrComp('a', 'A', 0)" << "-11";
        QTest::newRow("Switch") << "Switch(cumul = 1, 'un', cumul = 3, 'trois')" << "trois";
    }

    void expressions()
    {
        QFETCH(QString, jet);
        QFETCH(QString, expected);

        Connection db;
        db.exec(QStringLiteral("CREATE TABLE luma(titre TEXT, cumul TEXT, éditeur TEXT, dateemprunt TEXT);"
                               "INSERT INTO luma VALUES('Le loup', '3', NULL, '02/03/2024')"));
        QCOMPARE(db.select(QStringLiteral("SELECT %1 AS résultat FROM luma").arg(jet)).value(0), expected);
    }

    // Every stored value is text. Compared with a number or a date, a text
    // that reads as one compares as one, as the original Number and Date
    // fields did; a blank one is Null; any other keeps the text comparison.
    void storedTextComparedAsJetFields_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QStringList>("found");

        QTest::newRow("number above") << "cumul > 10" << QStringList{"03", "05"};
        QTest::newRow("numbers between, reversed") << "cumul Between 12 And 2" << QStringList{"01", "02", "03", "06"};
        QTest::newRow("numbers in") << "cumul In (3, 12)" << QStringList{"01", "03"};
        QTest::newRow("truth equals True") << "(cumul = 3) = True" << QStringList{"01"};
        QTest::newRow("date equal, day first") << "dateemprunt = #12/5/2026#" << QStringList{"01"};
        QTest::newRow("dates between, reversed")
            << "dateemprunt Between #12/6/2026# And #12/4/2026#" << QStringList{"01", "02", "03", "08"};
        QTest::newRow("days since a date") << "dateemprunt - #12/1/2026# = 4" << QStringList{"01"};
        QTest::newRow("days to a date") << "DateDiff('d', dateemprunt, #12/7/2026#) <= 2" << QStringList{"01", "02", "08"};
        QTest::newRow("IsDate") << "IsDate(dateemprunt)" << QStringList{"01", "02", "03", "08"};
        QTest::newRow("not IsNumeric") << "Not IsNumeric(cumul)" << QStringList{"04", "05", "07"};
    }

    void storedTextComparedAsJetFields()
    {
        QFETCH(QString, condition);
        QFETCH(QStringList, found);
        Connection db;
        db.exec(QStringLiteral("CREATE TABLE luma(inventaire TEXT, cumul TEXT, dateemprunt TEXT);"
                               "INSERT INTO luma VALUES ('01', '3', '05/12/2026'), ('02', '10', '05/12/2026 10:30:00'),"
                               "('03', ' 12 ', '2026-12-04'), ('04', '', ''), ('05', 'beaucoup', 'hier'),"
                               "('06', '2,5', '31/02/2026'), ('07', NULL, NULL), ('08', '-1', '06/12/2026')"));
        QCOMPARE(db.select("SELECT inventaire FROM luma WHERE " + condition + " ORDER BY inventaire"), found);
    }

    // Names, record sources, conditions

    void namesMatchedWithoutRegardToCase_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("accented capitals in brackets")
            << "SELECT [ÉQUIPENUMÉRO], ÉquipeInstituteur FROM [ÉQUIPE] WHERE ÉQUIPENUMÉRO = '12'"
            << QStringList{"12|Mme Durand"};
        QTest::newRow("table!field") << "SELECT équipe!équipeinstituteur FROM équipe WHERE Équipe!équipenuméro = '3'"
                                     << QStringList{"M. Petit"};
        QTest::newRow("number compare on text field")
            << "SELECT équipeinstituteur FROM équipe WHERE équipenuméro = 3 ORDER BY équipeinstituteur"
            << QStringList{"M. Petit", "Mme Roux"};
        QTest::newRow("alias in order by")
            << "SELECT UCase(prénomenfant) AS [Prénom maj] FROM enfants WHERE classe = '03' ORDER BY [prénom MAJ]"
            << QStringList{"ADAM", "ÉLODIE", "ZOÉ"};
        QTest::newRow("group by") << "SELECT classe, Count(*) AS n FROM enfants GROUP BY classe HAVING Count(*) > 1"
                                  << QStringList{"03|3"};
        QTest::newRow("table name alone") << " [ÉQUIPE] " << QStringList{"12|Mme Durand", "3|M. Petit", "03|Mme Roux"};
        QTest::newRow("classes in text order")
            << "SELECT équipenuméro, équipeinstituteur FROM équipe ORDER BY équipenuméro ASC"
            << QStringList{"03|Mme Roux", "12|Mme Durand", "3|M. Petit"};
    }

    void namesMatchedWithoutRegardToCase()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, expected);
        QCOMPARE(Connection(m_school).select(source), expected);
    }

    void selectParts()
    {
        Connection db(m_catalogue);
        const TranslatedSelect all =
            translateRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"), db.schema());
        QVERIFY(all.singleTable);
        // The parts put back together give the statement's rows, in either order.
        const QString base = QStringLiteral("SELECT %1 FROM %2 ORDER BY ").arg(all.columnsSql, all.fromSql);
        const QStringList expected = db.rows(all.sql);
        QCOMPARE(db.rows(base + all.orderByBinarySql.join(", ")), expected);
        QCOMPARE(db.rows(base + all.orderBySql.join(", ")), expected);

        // A query on the clock is not served again from the rows of a former run.
        QVERIFY(!all.readsClock);
        QVERIFY(translateRecordSource(QStringLiteral("SELECT * FROM luma WHERE dateemprunt > DateAdd('d', -21, Date())"),
                                      db.schema())
                    .readsClock);

        for (const char *notSingle : {"SELECT DISTINCT dewey FROM luma", "SELECT TOP 3 * FROM luma",
                                      "SELECT dewey, Count(*) FROM luma GROUP BY dewey", "SELECT Count(*) FROM luma"}) {
            const TranslatedSelect s = translateRecordSource(QString::fromUtf8(notSingle), db.schema());
            QVERIFY2(!s.singleTable, notSingle);
            QVERIFY2(!db.rows(s.sql).isEmpty(), notSingle);
        }
    }

    void likeRewritesKeepJetResults_data()
    {
        QTest::addColumn<QString>("pattern");

        // Wildcard-free and prefix terms are rewritten for the index; the rows
        // found must be those the like function finds.
        for (const char *p : {"54321", "00012", "5", "5*", "3*", "00*", "0001*", "99*", "", "*", "O", "o", "n",
                              "N", "école", "5 *", "5-1*", "a'b"})
            QTest::newRow(p) << QString::fromUtf8(p);
        QTest::newRow("NUL") << QString::fromUtf8("a'b\0", 4);
    }

    void likeRewritesKeepJetResults()
    {
        QFETCH(QString, pattern);
        Connection db;
        // Untyped, as another tool may leave it: numbers stored as numbers.
        db.exec(QStringLiteral("CREATE TABLE t(v UNIQUE); INSERT INTO t VALUES (512), (3.25)"));
        for (const char *v : {"54321", "54321 ", "543210", "00012", "0001", "00012a", "5", "5 1", "5-1", "50", "3.1",
                              "30", "O", "o", "ó", "N", "école", "ÉCOLE", "ecole", "", "a'b", "A'B"})
            db.rows(QStringLiteral("INSERT INTO t VALUES(?)"), {QString::fromUtf8(v)});
        db.rows(QStringLiteral("INSERT INTO t VALUES(NULL)"));

        const QString where = translateCondition(
            QStringLiteral("v Like '%1'").arg(QString(pattern).replace("'", "''")), db.schema(), QStringLiteral("t"));
        QStringList expected;
        for (const QString &v : db.rows(QStringLiteral("SELECT v FROM t WHERE v IS NOT NULL ORDER BY v")))
            // Jet: a pattern without wildcard is an equality, trailing blanks aside.
            if (pattern.contains(QLatin1Char('*')) ? jetLike(v, pattern) : jetCompare(v, pattern) == 0)
                expected << v;
        QCOMPARE(db.rows(QStringLiteral("SELECT v FROM t WHERE %1 ORDER BY v").arg(where)), expected);
    }

    void indexServesNumberAndPrefixTerms_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("index");

        QTest::newRow("number") << "inventaire like '54321'" << "sqlite_autoindex_luma_1";
        QTest::newRow("number in find") << "emprunt like 'O' AND inventaire like '00012'" << "sqlite_autoindex_luma_1";
        QTest::newRow("prefixes joined") << "dewey LIKE '3*' OR dewey LIKE '5*'" << "luma_dewey";
    }

    void indexServesNumberAndPrefixTerms()
    {
        QFETCH(QString, condition);
        QFETCH(QString, index);
        const QString path = m_dir.filePath(QStringLiteral("INDEXED.MDB"));
        if (!QFile::exists(path)) {
            TestDb::createCatalogue(path);
            TestDb::exec(path, "CREATE INDEX luma_dewey ON luma(dewey); WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL "
                               "SELECT i + 1 FROM n WHERE i < 199) INSERT INTO luma(inventaire, titre, emprunt, dewey) "
                               "SELECT printf('%05d', i), 'Livre ' || i, 'O', (i % 10) || '00' FROM n; ANALYZE");
        }
        Connection db(path);
        const QString where = translateCondition(condition, db.schema(), QStringLiteral("luma"));
        const QString plan = db.rows(QStringLiteral("EXPLAIN QUERY PLAN SELECT rowid FROM luma WHERE ") + where)
                                 .join(QLatin1Char('\n'));
        QVERIFY2(plan.contains(index), qPrintable(plan));
        QVERIFY2(!plan.contains(QLatin1String("SCAN luma")), qPrintable(plan));
    }

    void joins()
    {
        Connection db(m_school);
        const TranslatedSelect s = translateRecordSource(
            QStringLiteral("SELECT e.prénomenfant, q.équipeinstituteur FROM enfants AS e INNER JOIN équipe AS q "
                           "ON e.classe = q.équipenuméro WHERE q.équipenuméro = '12'"),
            db.schema());
        QVERIFY(!s.singleTable);
        QCOMPARE(db.rows(s.sql), QStringList{"Léa|Mme Durand"});
        // A name both tables could hold must be qualified.
        QCOMPARE(db.select(QStringLiteral("SELECT matricule, équipeinstituteur FROM enfants, équipe "
                                          "WHERE classe = équipenuméro ORDER BY matricule")),
                 QStringList({"E007|Mme Roux", "E011|Mme Roux", "E042|Mme Roux", "E099|Mme Durand"}));
    }

    // Errors

    void errors_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("table"); // set: a find condition on that table
        QTest::addColumn<int>("number");

        const int syntax = ErrorNumber::SyntaxError;
        const int noTable = ErrorNumber::TableNotFound;
        const int unknownName = ErrorNumber::TooFewParameters;
        QTest::newRow("apostrophe in searched word")
            << "SELECT * FROM luma WHERE (titre LIKE '*l'ours*' OR motsclés LIKE '*l'ours*') AND (dewey LIKE '*') "
               "ORDER BY inventaire ASC"
            << "" << syntax;
        QTest::newRow("unterminated bracket") << "SELECT [titre FROM luma" << "" << syntax;
        QTest::newRow("unterminated date") << "SELECT * FROM luma WHERE dateemprunt = #12/31/2024" << "" << syntax;
        QTest::newRow("impossible date") << "SELECT * FROM luma WHERE dateemprunt = #31/12/2024#" << "" << syntax;
        QTest::newRow("missing operand") << "SELECT * FROM luma WHERE titre =" << "" << syntax;
        QTest::newRow("no FROM") << "SELECT titre" << "" << syntax;
        QTest::newRow("wrong argument count") << "SELECT Left(titre) FROM luma" << "" << syntax;
        QTest::newRow("syntax reported before unknown table") << "SELECT * FROM livres WHERE titre =" << "" << syntax;
        QTest::newRow("unknown table") << "SELECT * FROM livres" << "" << noTable;
        QTest::newRow("unknown column") << "SELECT * FROM luma WHERE auteur = 'x'" << "" << unknownName;
        QTest::newRow("parameter") << "SELECT * FROM luma WHERE titre = [Quel titre ?]" << "" << unknownName;
        QTest::newRow("unknown function") << "SELECT Bidule(titre) FROM luma" << "" << 3085;
        QTest::newRow("unknown interval") << "SELECT DateAdd('jour', 1, Date()) FROM luma" << "" << 5;
        QTest::newRow("second statement") << "SELECT * FROM luma; DELETE FROM luma WHERE 1 = 1" << "" << 3142;
        QTest::newRow("table then statement") << "luma; DROP TABLE luma" << "" << 3142;
        QTest::newRow("delete") << "DELETE FROM luma WHERE 1 = 1" << "" << 3219;
        QTest::newRow("attach") << "ATTACH 'AUTRE.MDB' AS autre" << "" << 3129;
        QTest::newRow("make-table query") << "SELECT * INTO copie FROM luma" << "" << syntax;
        QTest::newRow("union") << "SELECT * FROM luma UNION SELECT * FROM luma" << "" << syntax;
        QTest::newRow("sub-query") << "SELECT * FROM luma WHERE inventaire IN (SELECT inventaire FROM luma)" << ""
                                   << syntax;
        QTest::newRow("condition, second statement") << "cumul = 1; DELETE FROM luma" << "luma" << 3142;
        QTest::newRow("condition, unterminated") << "emprunt like 'O' AND inventaire like '0001" << "luma" << syntax;
        QTest::newRow("condition, unknown table") << "emprunt like 'O'" << "livres" << noTable;
    }

    void errors()
    {
        QFETCH(QString, source);
        QFETCH(QString, table);
        QFETCH(int, number);
        const Schema schema = Connection(m_catalogue).schema();
        const auto error = errorOf([&] {
            if (table.isEmpty())
                translateRecordSource(source, schema);
            else
                translateCondition(source, schema, table);
        });
        QVERIFY(error);
        QCOMPARE(error->number(), number);
        if (number == ErrorNumber::SyntaxError)
            QVERIFY2(error->description().contains(QLatin1String("syntaxe")), qPrintable(error->description()));
    }

    // The second guard, on what SQLite prepares from a translation: whatever
    // text reached it, only a statement that reads is prepared.
    void onlyReadingStatementsPrepared_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("prepared");

        QTest::newRow("select with Jet functions")
            << "SELECT count(*) FROM luma WHERE titre LIKE '*loup*' AND jet_ucase(titre) <> ''" << true;
        QTest::newRow("delete") << "DELETE FROM luma" << false;
        QTest::newRow("attach") << "ATTACH ':memory:' AS autre" << false;
        QTest::newRow("pragma set") << "PRAGMA user_version = 9" << false;
        QTest::newRow("two statements") << "SELECT 1; DELETE FROM luma" << false;
        QTest::newRow("delete behind a WITH") << "WITH x AS (SELECT 1) DELETE FROM luma" << false;
    }

    void onlyReadingStatementsPrepared()
    {
        QFETCH(QString, sql);
        QFETCH(bool, prepared);
        Connection db;
        db.exec(QStringLiteral("CREATE TABLE luma(titre TEXT)"));
        SqliteStatement statement(db.handle(), sql, SqliteStatement::Access::ReadOnly);
        QCOMPARE(statement.prepared(), prepared);
        QCOMPARE(errorNumberOf([&] { statement.throwIfNotPrepared(); }), prepared ? 0 : 3219);
    }

    // Nesting and chains a person could write run; beyond reason, a clean
    // syntax error, never an exhausted stack: from the translator's own
    // limits, or from SQLite's (its parser nests some thirty function calls
    // at most) said the same way.
    void nestedBeyondReason_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<bool>("accepted");

        const QString found = QStringLiteral("inventaire = '00012'");
        auto repeated = [](const char *text, int times) { return QString::fromUtf8(text).repeated(times); };
        QTest::newRow("parentheses") << repeated("(", 60) + found + repeated(")", 60) << true;
        QTest::newRow("parentheses beyond reason") << repeated("(", 5000) + found + repeated(")", 5000) << false;
        QTest::newRow("signs beyond reason") << "cumul = " + repeated("- ", 5000) + "3" << false;
        QTest::newRow("functions") << repeated("UCase(", 20) + "titre" + repeated(")", 20) + " Like '*LOUP*'" << true;
        QTest::newRow("functions beyond the engine's parser")
            << repeated("UCase(", 40) + "titre" + repeated(")", 40) + " Like '*LOUP*'" << false;
        QTest::newRow("Between nested beyond the engine's parser")
            << repeated("(", 40) + "cumul" + repeated(" Between 5 And 1)", 40) << false;
        QTest::newRow("100,000 unclosed parentheses") << QString(100000, QLatin1Char('(')) << false;
        QTest::newRow("Or chain") << found + repeated(" Or inventaire = 'x'", 600) << true;
        QTest::newRow("Or chain beyond reason") << found + repeated(" Or inventaire = 'x'", 5000) << false;
        QTest::newRow("long In list") << "inventaire In (" + repeated("'x', ", 5000) + "'00012')" << true;
    }

    void nestedBeyondReason()
    {
        QFETCH(QString, condition);
        QFETCH(bool, accepted);
        Cursor cursor(QStringLiteral("luma"));
        cursor.setDatabaseName(m_catalogue);
        cursor.setRecordSource("SELECT * FROM luma WHERE " + condition);
        const auto error = errorOf([&] { cursor.refresh(); });
        if (accepted) {
            QVERIFY2(!error, error ? qPrintable(error->description().left(300)) : "");
            QCOMPARE(cursor.recordCount(), 1);
            QCOMPARE(cursor.field(QStringLiteral("inventaire")), QStringLiteral("00012"));
            return;
        }
        QVERIFY(error);
        QCOMPARE(error->number(), int(ErrorNumber::SyntaxError));
        QVERIFY2(error->description().contains(QLatin1String("trop complexe")), qPrintable(error->description()));
        QVERIFY2(error->description().size() < 600, qPrintable(error->description()));
    }

    void schemaNames_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");

        QTest::newRow("ascii case") << "LUMA" << "luma" << true;
        QTest::newRow("accented case") << "ÉQUIPE" << "équipe" << true;
        QTest::newRow("accents count") << "equipe" << "équipe" << false;
        QTest::newRow("decomposed accent") << QString::fromUtf8("E\xCC\x81QUIPE") << "équipe" << true;
        QTest::newRow("different") << "luma" << "lumas" << false;
    }

    void schemaNames()
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

private:
    QTemporaryDir m_dir;
    QString m_catalogue;
    QString m_school;
};

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_data_jetsql.moc"
