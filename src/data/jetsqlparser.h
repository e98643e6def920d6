#pragma once

// The parts of the Jet SQL translator (jetsql.h): its errors, its tokens,
// the SQL texts it writes, and the parser, whose expressions are translated
// in jetsqlexpressions.cpp and whose statements in jetsql.cpp.

#include "data/jetfunctiontable.h"
#include "data/jetsql.h"
#include "platform/apperror.h"
#include "platform/errornumbers.h"

#include <QStringList>

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace jetsql {

// ---------------------------------------------------------------------------
// Errors


// What an error message quotes of a text (a request file can hold a text of
// any length), and the errors the translator raises.
QString quoted(const QString &text);
[[noreturn]] void syntaxError(const QString &expression);
[[noreturn]] void stringError(const QString &expression);
[[noreturn]] void dateError(const QString &expression);
[[noreturn]] void unsupported(const QString &what, const QString &expression);
[[noreturn]] void tooComplex(const QString &expression);
[[noreturn]] void charactersAfterEnd(const QString &source);
[[noreturn]] void actionQuery(const QString &keyword, const QString &source);
[[noreturn]] void invalidStatement(const QString &keyword, const QString &source);
AppError tableError(const QString &name);
AppError unknownNameError(const QString &name);

// ---------------------------------------------------------------------------
// Tokens

enum class Tok { End, Name, Bracket, String, Number, Date, Punct };

struct Token
{
    Tok kind = Tok::End;
    QString text;       // name, string value, number, date content or punctuation
    qsizetype pos = 0;  // where it starts in the source
    qsizetype end = 0;  // just past it
};

inline bool isNameStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_');
}

inline bool isNamePart(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c.isMark();
}

std::vector<Token> tokenize(const QString &src);

// ---------------------------------------------------------------------------
// SQL text

QString quoteName(const QString &name);
QString quoteText(const QString &text, bool postgres = false);
QString collateSql(bool postgres = false);
// PostgreSQL's test of a text against a literal Jet pattern with wildcards.
QString postgresLike(const QString &valueSql, const QString &pattern);
QString dateLiteral(const QString &content, const QString &context);
// A table as the FROM clause names it (in its schema for PostgreSQL), and
// what identifies one of its rows.
QString qualifiedTable(const QString &name, const SqlDialect &dialect);
QString rowKey(const QString &table, const SqlDialect &dialect);

// ---------------------------------------------------------------------------
// Parser

enum class Kind { Unknown, Text, Number, Date };

// What the function table says of a result (a truth value is a number with
// its truth flag set).
inline Kind kindOf(JetResult result)
{
    switch (result) {
    case JetResult::Text: return Kind::Text;
    case JetResult::Number:
    case JetResult::Truth: return Kind::Number;
    case JetResult::Date: return Kind::Date;
    case JetResult::Unknown: break;
    }
    return Kind::Unknown;
}

// How deep parentheses, Not, signs and function calls may nest, and how tall
// the expression tree SQLite builds from a translation may grow (SQLite
// itself refuses a tree taller than 1000; a long chain of Or is as tall as
// it is long).
constexpr int kMaxNesting = 64;
constexpr int kMaxHeight = 800;
// A translation longer than this is refused too: no construct may multiply
// the text it is given.
constexpr qsizetype kMaxSqlLength = 1000000;

struct Expr
{
    QString sql;
    Kind kind = Kind::Unknown;
    bool truth = false;         // an SQL truth value (1, 0 or Null): a comparison, Like, And...
    bool stringLiteral = false; // a quoted text, whose value is in `literal`
    QString literal;
    bool column = false;        // a plain column reference
    int height = 1;             // of the tree SQLite builds from `sql`, at most
};

inline Expr atom(QString sql, Kind kind)
{
    Expr e;
    e.sql = std::move(sql);
    e.kind = kind;
    return e;
}

// Texts and fields, whose type only the row knows.
inline bool textual(const Expr &e)
{
    return e.kind == Kind::Text || e.kind == Kind::Unknown;
}

struct ScopeTable
{
    const SchemaTable *table = nullptr;
    QString alias; // empty when the table has none

    QString qualifier() const { return quoteName(alias.isEmpty() ? table->name : alias); }
};

// Every column of a table of the FROM clause, qualified: what "*" means on
// the server, whose tables hold a key column that is not a field.
QStringList starColumns(const ScopeTable &scope);

inline bool isKeyword(const Token &t, const char *word)
{
    return t.kind == Tok::Name && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

inline bool isReserved(const Token &t)
{
    static constexpr const char *words[] = {
        "SELECT", "FROM", "WHERE", "GROUP", "BY", "HAVING", "ORDER", "AND", "OR", "NOT", "XOR", "EQV", "IMP",
        "LIKE", "BETWEEN", "IN", "IS", "MOD", "AS", "ON", "JOIN", "INNER", "LEFT", "RIGHT", "OUTER", "UNION",
        "DISTINCT", "DISTINCTROW", "TOP", "ASC", "DESC", "ALL", "PERCENT", "INTO", "PIVOT", "TRANSFORM"};
    if (t.kind != Tok::Name)
        return false;
    for (const char *w : words) {
        if (isKeyword(t, w))
            return true;
    }
    return false;
}

// Only letters with a case partner or non-ASCII characters can make a
// collation-equal text differ in bytes; a literal free of them can be looked
// up in a binary index.
inline bool indexFriendly(const QString &literal)
{
    if (literal.isEmpty())
        return false;
    for (QChar c : literal) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u >= 0x7F || c.isLetter())
            return false;
    }
    return true;
}

inline bool hasWildcard(const QString &pattern)
{
    for (QChar c : pattern) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('#') || c == QLatin1Char('['))
            return true;
    }
    return false;
}

inline bool isInterval(const QString &name)
{
    static const QStringList intervals = {QStringLiteral("yyyy"), QStringLiteral("q"), QStringLiteral("m"),
                                          QStringLiteral("y"),    QStringLiteral("d"), QStringLiteral("w"),
                                          QStringLiteral("ww"),   QStringLiteral("h"), QStringLiteral("n"),
                                          QStringLiteral("s")};
    return intervals.contains(name.trimmed(), Qt::CaseInsensitive);
}

class Parser
{
public:
    Parser(const QString &source, const Schema &schema, const SqlDialect &dialect)
        : m_src(source), m_schema(schema), m_dialect(dialect), m_pg(dialect.postgres()), m_t(tokenize(source)),
          m_clause(source)
    {
    }

    TranslatedSelect parseSelectStatement();
    QString parseConditionFor(const QString &tableName);

private:
    const Token &peek(size_t k = 0) const { return m_t[std::min(m_i + k, m_t.size() - 1)]; }
    const Token &next() { return m_t[std::min(m_i++, m_t.size() - 1)]; }
    bool atPunct(const char *p, size_t k = 0) const
    {
        return peek(k).kind == Tok::Punct && peek(k).text == QLatin1String(p);
    }
    bool acceptPunct(const char *p)
    {
        if (!atPunct(p))
            return false;
        ++m_i;
        return true;
    }
    bool acceptKeyword(const char *w)
    {
        if (!isKeyword(peek(), w))
            return false;
        ++m_i;
        return true;
    }
    void expectPunct(const char *p)
    {
        if (!acceptPunct(p))
            fail();
    }
    void expectKeyword(const char *w)
    {
        if (!acceptKeyword(w))
            fail();
    }
    [[noreturn]] void fail() const { syntaxError(m_clause); }
    // The end of the statement: nothing may follow but one ';'.
    void expectEnd() const
    {
        if (peek().kind == Tok::End)
            return;
        if (atPunct(";") && peek(1).kind == Tok::End)
            return;
        if (atPunct(";"))
            charactersAfterEnd(m_src);
        fail();
    }

    // One more level of parentheses, Not, sign or function call; every
    // recursion of the descent goes through one, so that no text, however
    // deeply nested, can exhaust the stack.
    class Nested
    {
    public:
        explicit Nested(Parser &parser) : m_parser(parser)
        {
            if (++m_parser.m_depth > kMaxNesting)
                tooComplex(m_parser.m_clause);
        }
        ~Nested() { --m_parser.m_depth; }
        Nested(const Nested &) = delete;
        Nested &operator=(const Nested &) = delete;

    private:
        Parser &m_parser;
    };

    // The text of a clause starting at token `from`, up to the next clause
    // keyword outside parentheses: what an error message names.
    QString clauseText(size_t from) const;
    size_t findOutside(size_t from, const char *keyword) const;

    // A new expression built on `from`, `extra` levels taller in SQLite's tree.
    Expr make(const QString &sql, Kind kind, std::initializer_list<const Expr *> from, int extra = 2) const;
    Expr makeTruth(const QString &sql, std::initializer_list<const Expr *> from, int extra = 2) const;
    // An expression as a value: a truth value becomes Jet's True (-1) or False (0).
    Expr value(const Expr &e) const;
    // As a number: a date becomes its serial number, days since 30/12/1899.
    Expr number(const Expr &e) const;
    // As a text: a date is written day first, as Jet wrote it in French.
    Expr text(const Expr &e) const;
    // As a truth value (1, 0 or Null), for Xor, Eqv and Imp.
    Expr truthOf(const Expr &e) const;
    // As a condition: PostgreSQL takes only truth values where SQLite takes
    // any number.
    Expr condition(const Expr &e) const;
    QString collate() const { return collateSql(m_pg); }
    QString literal(const QString &text) const { return quoteText(text, m_pg); }
    // What the PostgreSQL translation does not do yet.
    [[noreturn]] void notYet(const QString &what) const;
    // A function PostgreSQL runs inline or from postgresqlJetFunctions(),
    // nullopt when it is not one.
    std::optional<Expr> postgresFunction(const QString &f, const std::vector<Expr> &args);

    // Terms joined by one operator, written flat: "(a OR b OR c)" nests no
    // deeper in the SQL text however many terms there are, while SQLite's
    // tree still grows one level a term.
    Expr chain(const std::vector<Expr> &terms, const QString &op, Kind kind, bool truth) const;

    // Expressions, lowest precedence first.
    Expr parseExpression()
    {
        const Nested nested(*this);
        return parseImp();
    }
    Expr parseImp();
    Expr parseEqv();
    Expr parseXor();
    Expr parseOr();
    Expr parseAnd();
    Expr parseNot();
    Expr parseComparison();
    Expr parseConcat();
    Expr parseAdditive();
    Expr parseMod();
    Expr parseIntDivision();
    Expr parseMultiplicative();
    Expr parseUnary();
    Expr parsePower();
    Expr parsePrimary();
    Expr parseFunction(const QString &name);
    Expr parseColumn();

    Expr compare(const Expr &l, const QString &op, const Expr &r) const;
    // Two texts compared on PostgreSQL, trailing blanks aside.
    Expr postgresTextCompare(const Expr &l, const QString &op, const Expr &r) const;
    Expr like(const Expr &value, const Expr &pattern, bool negated) const;
    Expr inList(const Expr &value, const std::vector<Expr> &items, bool negated) const;
    Expr between(const Expr &value, const Expr &lo, const Expr &hi, bool negated) const;

    void parseFromClause();
    void parseFromItem();
    void addTable(const Token &nameToken);

    QString m_src;
    const Schema &m_schema;
    const SqlDialect &m_dialect;
    bool m_pg = false;
    std::vector<Token> m_t;
    size_t m_i = 0;
    int m_depth = 0;
    QString m_clause;
    std::vector<ScopeTable> m_scope;
    QList<QPair<QString, QString>> m_aliases; // select-list names usable in ORDER BY
    bool m_allowAliases = false;
    bool m_sawAggregate = false;
    bool m_readsClock = false;
    QString m_fromSql;
    bool m_joined = false;
    // Errors other than syntax wait until the whole text has parsed: a
    // syntax error is reported first, as Jet did.
    std::optional<AppError> m_pending;
    std::deque<SchemaTable> m_missingTables;

    void defer(AppError error)
    {
        if (!m_pending)
            m_pending.emplace(std::move(error));
    }
    Expr unknownName(const QString &name)
    {
        defer(unknownNameError(name));
        Expr e = atom(QStringLiteral("NULL"), Kind::Unknown);
        e.column = true;
        return e;
    }
    void throwPending() const
    {
        if (m_pending)
            throw *m_pending;
    }
};

} // namespace jetsql
