// The Jet LIKE matcher against a slow reference written from the rules alone:
// '*' any run, '?' one character, '#' one digit 0-9, [abc], [a-z], [!abc],
// [*] a literal star; '%' and '_' plain; letters compared without regard to
// case, accents significant. Where the rules leave it open, as the engine
// documents: a '[' never closed stands for itself, "[]" matches nothing (it is
// dropped), "[!]" any one character, a '-' first or last in brackets stands
// for itself, a range may be written high to low.
//
// The same answer is wanted from jetLike(), from the SQL like() function on
// the bytes, and from the translator's own forms of a literal pattern
// (equality, prefix range) run on a real table.

#include "fuzzsupport.h"

#include "data/jetfunctions.h"
#include "data/jetsql.h"
#include "data/schema.h"

#include <QRegularExpression>
#include <QString>

#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

char32_t folded(char32_t c)
{
    return QChar::toCaseFolded(c);
}

struct Element
{
    enum Kind { One, Any, Digit, Run, Set };
    Element(Kind k, char32_t c = 0) : kind(k), ch(c) {}

    Kind kind;
    char32_t ch = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    bool matches(char32_t c) const
    {
        switch (kind) {
        case One:
            return folded(ch) == folded(c);
        case Any:
            return true;
        case Digit:
            return c >= U'0' && c <= U'9';
        case Set: {
            bool in = false;
            for (auto [lo, hi] : ranges)
                in = in || (folded(lo) <= folded(c) && folded(c) <= folded(hi))
                     || (folded(hi) <= folded(c) && folded(c) <= folded(lo));
            return in != negated;
        }
        case Run:
            break;
        }
        return false;
    }
};

std::vector<Element> parse(const std::u32string &p)
{
    std::vector<Element> out;
    for (size_t i = 0; i < p.size(); ++i) {
        const char32_t c = p[i];
        if (c == U'*') {
            out.push_back(Element(Element::Run));
        } else if (c == U'?') {
            out.push_back(Element(Element::Any));
        } else if (c == U'#') {
            out.push_back(Element(Element::Digit));
        } else if (c == U'[') {
            const size_t close = p.find(U']', i + 1);
            if (close == std::u32string::npos) {
                out.push_back(Element(Element::One, c));
                continue;
            }
            std::u32string inside = p.substr(i + 1, close - i - 1);
            i = close;
            Element set(Element::Set);
            if (!inside.empty() && inside[0] == U'!') {
                set.negated = true;
                inside.erase(0, 1);
            }
            if (inside.empty() && !set.negated)
                continue; // "[]"
            for (size_t k = 0; k < inside.size();) {
                if (k + 2 < inside.size() && inside[k + 1] == U'-') {
                    set.ranges.emplace_back(inside[k], inside[k + 2]);
                    k += 3;
                } else {
                    set.ranges.emplace_back(inside[k], inside[k]);
                    k += 1;
                }
            }
            out.push_back(set);
        } else {
            out.push_back(Element(Element::One, c));
        }
    }
    return out;
}

// matched[i][j]: the first i elements match the first j characters.
bool reference(const std::u32string &pattern, const std::u32string &value)
{
    const std::vector<Element> el = parse(pattern);
    const size_t n = el.size(), m = value.size();
    std::vector<std::vector<char>> matched(n + 1, std::vector<char>(m + 1, 0));
    matched[0][0] = 1;
    for (size_t i = 1; i <= n; ++i) {
        const Element &e = el[i - 1];
        for (size_t j = 0; j <= m; ++j) {
            if (e.kind == Element::Run)
                matched[i][j] = matched[i - 1][j] || (j > 0 && matched[i][j - 1]);
            else
                matched[i][j] = j > 0 && matched[i - 1][j - 1] && e.matches(value[j - 1]);
        }
    }
    return matched[n][m];
}

std::u32string codePoints(const QString &text)
{
    const QList<uint> ucs4 = text.toUcs4();
    return std::u32string(ucs4.begin(), ucs4.end());
}

QString jetQuoted(const QString &text)
{
    QString inner = text;
    inner.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

struct Connection
{
    sqlite3 *db = nullptr;
    Schema schema;
    Connection()
    {
        sqlite3_open(":memory:", &db);
        installJetFunctions(db);
        // Untyped, as another tool may leave a column: a value may be stored
        // as a number.
        sqlite3_exec(db, "CREATE TABLE t(v, p); CREATE INDEX t_v ON t(v)", nullptr, nullptr, nullptr);
        schema.tables << SchemaTable{QStringLiteral("t"), {QStringLiteral("v"), QStringLiteral("p")}};
    }
    ~Connection() { sqlite3_close(db); }

    // Rows of the statement's first column, as integers (-1 for NULL).
    std::vector<int> column(const QByteArray &sql, const QByteArray &a = {}, const QByteArray &b = {},
                            bool bind = false)
    {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
            fuzz::finding(QStringLiteral("statement refused: %1 (%2)")
                              .arg(QString::fromUtf8(sql), QString::fromUtf8(sqlite3_errmsg(db))));
        if (bind) {
            sqlite3_bind_text(stmt, 1, a.constData(), int(a.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(stmt, 2, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        }
        std::vector<int> out;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            out.push_back(sqlite3_column_type(stmt, 0) == SQLITE_NULL ? -1 : sqlite3_column_int(stmt, 0));
        if (rc != SQLITE_DONE)
            fuzz::finding(QStringLiteral("statement failed: %1 (%2)")
                              .arg(QString::fromUtf8(sql), QString::fromUtf8(sqlite3_errmsg(db))));
        sqlite3_finalize(stmt);
        return out;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Connection c;
    FuzzedDataProvider in(data, size);
    const std::string rawPattern = in.ConsumeRandomLengthString(200);
    const std::string rawValue = in.ConsumeRandomLengthString(200);

    // Any bytes go through like() without harm.
    c.column("SELECT like(?1, ?2)", QByteArray::fromStdString(rawPattern), QByteArray::fromStdString(rawValue),
             true);

    // Texts as SQLite holds them: valid UTF-8.
    const QString pattern = QString::fromUtf8(rawPattern.data(), qsizetype(rawPattern.size()));
    const QString value = QString::fromUtf8(rawValue.data(), qsizetype(rawValue.size()));
    const bool expected = reference(codePoints(pattern), codePoints(value));
    const QString what = QStringLiteral("'%1' Like '%2': expected %3").arg(fuzz::shown(value), fuzz::shown(pattern))
                             .arg(expected);

    fuzz::check(jetLike(value, pattern) == expected, what + QStringLiteral(" from jetLike"));
    const std::vector<int> direct = c.column("SELECT like(?1, ?2)", pattern.toUtf8(), value.toUtf8(), true);
    fuzz::check(direct == std::vector<int>{expected ? 1 : 0}, what + QStringLiteral(" from like()"));

    // Through the translator, on a stored row: a literal pattern (rewritten
    // as an equality or a range where it can be) and a pattern from a field.
    // A value that reads as a number may be stored as one; LIKE then sees
    // its text as SQLite writes it.
    sqlite3_exec(c.db, "DELETE FROM t", nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(c.db, "INSERT INTO t VALUES(?1, ?2)", -1, &insert, nullptr);
    const QByteArray v8 = value.toUtf8(), p8 = pattern.toUtf8();
    bool isInteger = false, isReal = false;
    const qint64 integer = value.toLongLong(&isInteger);
    const double real = value.toDouble(&isReal);
    const int storage = in.ConsumeIntegralInRange(0, 2);
    if (storage == 1 && isInteger)
        sqlite3_bind_int64(insert, 1, integer);
    else if (storage == 2 && isReal && std::isfinite(real))
        sqlite3_bind_double(insert, 1, real);
    else
        sqlite3_bind_text(insert, 1, v8.constData(), int(v8.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, p8.constData(), int(p8.size()), SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_finalize(insert);
    QString stored = value;
    {
        sqlite3_stmt *read = nullptr;
        sqlite3_prepare_v2(c.db, "SELECT CAST(v AS TEXT) FROM t", -1, &read, nullptr);
        if (sqlite3_step(read) == SQLITE_ROW)
            stored = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(read, 0)),
                                       sqlite3_column_bytes(read, 0));
        sqlite3_finalize(read);
    }
    const bool storedMatches = reference(codePoints(pattern), codePoints(stored));
    const QString storedWhat = QStringLiteral("stored '%1' Like '%2': expected %3")
                                   .arg(fuzz::shown(stored), fuzz::shown(pattern))
                                   .arg(storedMatches);
    for (const QString &condition : {QStringLiteral("v Like %1").arg(jetQuoted(pattern)),
                                     QStringLiteral("Not v Like %1").arg(jetQuoted(pattern)),
                                     QStringLiteral("v Like p")}) {
        QString sql;
        try {
            sql = translateRecordSource(QStringLiteral("SELECT 1 FROM t WHERE ") + condition, c.schema).sql;
        } catch (const AppError &error) {
            fuzz::finding(storedWhat + QStringLiteral(", translation refused %1: %2")
                                           .arg(error.number())
                                           .arg(error.description()));
        }
        const bool negated = condition.startsWith(QLatin1String("Not"));
        // Jet: a literal pattern without wildcard is an equality, with its
        // rules (trailing blanks aside).
        const bool equality = !condition.endsWith(QLatin1String(" p")) &&
                              !pattern.contains(QRegularExpression(QStringLiteral("[*?#[]")));
        // Without letters (inventory numbers), exactly equal but for the
        // trailing blanks; otherwise equal under the text comparison.
        QString fixed = pattern, storedFixed = stored;
        while (fixed.endsWith(QLatin1Char(' ')))
            fixed.chop(1);
        while (storedFixed.endsWith(QLatin1Char(' ')))
            storedFixed.chop(1);
        const bool noLetters = !fixed.isEmpty() && std::all_of(fixed.begin(), fixed.end(), [](QChar ch) {
            return ch.unicode() >= 0x20 && ch.unicode() < 0x7F && !ch.isLetter();
        });
        const bool found = !equality ? storedMatches
                           : noLetters ? storedFixed == fixed
                                       : jetCompare(stored, pattern) == 0;
        const std::vector<int> rows = c.column(sql.toUtf8());
        fuzz::check(rows.size() == ((found != negated) ? 1u : 0u), storedWhat + QStringLiteral(" from ") + sql);
    }
    return 0;
}
