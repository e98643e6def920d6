#include "data/jetsql.h"

#include "data/jetdate.h"
#include "data/jetfunctions.h"
#include "data/jetfunctiontable.h"
#include "platform/apperror.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Errors

// What an error message quotes of the text: a request file can hold a text
// of any length.
QString quoted(const QString &text)
{
    constexpr qsizetype kMost = 200;
    const QString t = text.trimmed();
    return t.size() <= kMost ? t : t.left(kMost) + QStringLiteral("…");
}

[[noreturn]] void syntaxError(const QString &expression)
{
    throw AppError(ErrorNumber::SyntaxError,
                   QStringLiteral("Erreur de syntaxe (opérateur absent) dans l'expression « %1 ».")
                       .arg(quoted(expression)));
}

[[noreturn]] void stringError(const QString &expression)
{
    throw AppError(ErrorNumber::SyntaxError,
                   QStringLiteral("Erreur de syntaxe dans la chaîne dans l'expression « %1 ».")
                       .arg(quoted(expression)));
}

[[noreturn]] void dateError(const QString &expression)
{
    throw AppError(ErrorNumber::SyntaxError,
                   QStringLiteral("Erreur de syntaxe dans la date dans l'expression « %1 ».")
                       .arg(quoted(expression)));
}

// A construction of Jet SQL this engine does not run: said plainly, as a
// syntax error, rather than taken for something else.
[[noreturn]] void unsupported(const QString &what, const QString &expression)
{
    throw AppError(ErrorNumber::SyntaxError,
                   QStringLiteral("Erreur de syntaxe : %1 ne sont pas prises en charge (« %2 »).")
                       .arg(what, quoted(expression)));
}

// An expression nested or chained beyond what the engine takes: a clean
// error rather than an exhausted stack.
[[noreturn]] void tooComplex(const QString &expression)
{
    throw AppError(ErrorNumber::SyntaxError,
                   QStringLiteral("Erreur de syntaxe : expression trop complexe (trop de niveaux d'imbrication ou "
                                  "d'opérateurs) dans l'expression « %1 ».")
                       .arg(quoted(expression)));
}

constexpr int kCharactersAfterEnd = 3142;
constexpr int kInvalidOperation = 3219;
constexpr int kInvalidStatement = 3129;
constexpr int kInvalidArgument = 5;

// A record source reads: a second statement, an action query or any other
// statement is refused before anything runs.
[[noreturn]] void charactersAfterEnd(const QString &source)
{
    throw AppError(kCharactersAfterEnd,
                   QStringLiteral("Caractères trouvés après la fin de l'instruction SQL : une source "
                                  "d'enregistrements est une seule requête SELECT (« %1 »).")
                       .arg(quoted(source)));
}

[[noreturn]] void actionQuery(const QString &keyword, const QString &source)
{
    throw AppError(kInvalidOperation,
                   QStringLiteral("Opération non valide : une requête %1 modifie la base de données ; une source "
                                  "d'enregistrements ne peut que la lire (« %2 »).")
                       .arg(keyword.toUpper(), quoted(source)));
}

[[noreturn]] void invalidStatement(const QString &keyword, const QString &source)
{
    throw AppError(kInvalidStatement,
                   QStringLiteral("Instruction SQL non valide : %1 n'est pas une instruction Jet ; une source "
                                  "d'enregistrements est une requête SELECT ou un nom de table (« %2 »).")
                       .arg(keyword.toUpper(), quoted(source)));
}

AppError tableError(const QString &name)
{
    return AppError(ErrorNumber::TableNotFound,
                   QStringLiteral("Le moteur de base de données ne peut pas trouver la table ou la requête "
                                  "source « %1 ». Vérifiez qu'elle existe et que son nom est correctement "
                                  "orthographié.")
                       .arg(quoted(name)));
}

AppError unknownNameError(const QString &name)
{
    return AppError(ErrorNumber::TooFewParameters,
                   QStringLiteral("Trop peu de paramètres. 1 attendu. (« %1 » n'est pas un champ connu.)")
                       .arg(quoted(name)));
}

constexpr int kAmbiguousField = 3079;
constexpr int kUndefinedFunction = 3085;

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

bool isNameStart(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_');
}

bool isNamePart(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c.isMark();
}

std::vector<Token> tokenize(const QString &src)
{
    std::vector<Token> out;
    const qsizetype n = src.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = src.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        Token t;
        t.pos = i;
        if (isNameStart(c)) {
            qsizetype j = i + 1;
            while (j < n && isNamePart(src.at(j)))
                ++j;
            t.kind = Tok::Name;
            t.text = src.mid(i, j - i);
            i = j;
        } else if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && src.at(i + 1).isDigit())) {
            qsizetype j = i;
            while (j < n && src.at(j).isDigit())
                ++j;
            if (j < n && src.at(j) == QLatin1Char('.')) {
                ++j;
                while (j < n && src.at(j).isDigit())
                    ++j;
            }
            if (j < n && (src.at(j) == QLatin1Char('e') || src.at(j) == QLatin1Char('E'))) {
                qsizetype k = j + 1;
                if (k < n && (src.at(k) == QLatin1Char('+') || src.at(k) == QLatin1Char('-')))
                    ++k;
                if (k < n && src.at(k).isDigit()) {
                    while (k < n && src.at(k).isDigit())
                        ++k;
                    j = k;
                }
            }
            t.kind = Tok::Number;
            t.text = src.mid(i, j - i);
            if (t.text.startsWith(QLatin1Char('.')))
                t.text.prepend(QLatin1Char('0'));
            if (t.text.endsWith(QLatin1Char('.')))
                t.text.append(QLatin1Char('0'));
            i = j;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // A doubled quote inside stands for one.
            qsizetype j = i + 1;
            QString value;
            bool closed = false;
            while (j < n) {
                if (src.at(j) == c) {
                    if (j + 1 < n && src.at(j + 1) == c) {
                        value += c;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                value += src.at(j++);
            }
            if (!closed)
                stringError(src);
            t.kind = Tok::String;
            t.text = value;
            i = j;
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = src.indexOf(QLatin1Char(']'), i + 1);
            t.text = src.mid(i + 1, close - i - 1);
            // (A name with a NUL in it could not be written into SQL.)
            if (close < 0 || close == i + 1 || t.text.contains(QChar(u'\0')))
                syntaxError(src);
            t.kind = Tok::Bracket;
            i = close + 1;
        } else if (c == QLatin1Char('#')) {
            const qsizetype close = src.indexOf(QLatin1Char('#'), i + 1);
            if (close < 0)
                dateError(src);
            t.kind = Tok::Date;
            t.text = src.mid(i + 1, close - i - 1);
            i = close + 1;
        } else {
            static constexpr const char *twoChar[] = {"<>", "<=", ">="};
            t.kind = Tok::Punct;
            for (const char *op : twoChar) {
                if (i + 1 < n && src.at(i) == QLatin1Char(op[0]) && src.at(i + 1) == QLatin1Char(op[1])) {
                    t.text = QString::fromLatin1(op);
                    break;
                }
            }
            if (t.text.isEmpty()) {
                if (!QStringLiteral("(),.!*+-/\\^&=<>;").contains(c))
                    syntaxError(src);
                t.text = c;
            }
            i += t.text.size();
        }
        t.end = i;
        out.push_back(t);
    }
    Token end;
    end.pos = end.end = n;
    out.push_back(end);
    return out;
}

// ---------------------------------------------------------------------------
// SQL text

QString quoteName(const QString &name)
{
    QString out = name;
    out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString quoteText(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\''), QStringLiteral("''"));
    out = QLatin1Char('\'') + out + QLatin1Char('\'');
    if (!text.contains(QChar(u'\0')))
        return out;
    // SQLite's text of a statement ends at a NUL: a text that holds one is
    // joined around char(0).
    out.replace(QChar(u'\0'), QStringLiteral("' || char(0) || '"));
    return QLatin1Char('(') + out + QLatin1Char(')');
}

QString collateSql()
{
    return QStringLiteral(" COLLATE ") + QLatin1String(kJetCollation);
}

// Jet date literals: month first ("#12/31/2024#"), or ISO ("#2024-12-31#"),
// optionally with a time; two-digit years 30-99 are the 1900s. The date as
// the SQL carries every date (jetfunctions.h).
QString dateLiteral(const QString &content, const QString &context)
{
    const std::optional<JetDate> date = JetDate::read(content, DateOrder::MonthFirst);
    if (!date)
        dateError(context);
    return quoteText(date->isoText());
}

// ---------------------------------------------------------------------------
// Parser

enum class Kind { Unknown, Text, Number, Date };

// What the function table says of a result (a truth value is a number with
// its truth flag set).
Kind kindOf(JetResult result)
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

Expr atom(QString sql, Kind kind)
{
    Expr e;
    e.sql = std::move(sql);
    e.kind = kind;
    return e;
}

// Texts and fields, whose type only the row knows.
bool textual(const Expr &e)
{
    return e.kind == Kind::Text || e.kind == Kind::Unknown;
}

struct ScopeTable
{
    const SchemaTable *table = nullptr;
    QString alias; // empty when the table has none

    QString qualifier() const { return quoteName(alias.isEmpty() ? table->name : alias); }
};

bool isKeyword(const Token &t, const char *word)
{
    return t.kind == Tok::Name && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isReserved(const Token &t)
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
bool indexFriendly(const QString &literal)
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

bool hasWildcard(const QString &pattern)
{
    for (QChar c : pattern) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('#') || c == QLatin1Char('['))
            return true;
    }
    return false;
}

bool isInterval(const QString &name)
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
    Parser(const QString &source, const Schema &schema)
        : m_src(source), m_schema(schema), m_t(tokenize(source)), m_clause(source)
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
    Expr like(const Expr &value, const Expr &pattern, bool negated) const;
    Expr inList(const Expr &value, const std::vector<Expr> &items, bool negated) const;
    Expr between(const Expr &value, const Expr &lo, const Expr &hi, bool negated) const;

    void parseFromClause();
    void parseFromItem();
    void addTable(const Token &nameToken);

    QString m_src;
    const Schema &m_schema;
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

size_t Parser::findOutside(size_t from, const char *keyword) const
{
    int depth = 0;
    for (size_t k = from; k < m_t.size(); ++k) {
        const Token &t = m_t[k];
        if (t.kind == Tok::Punct && t.text == QLatin1String("("))
            ++depth;
        else if (t.kind == Tok::Punct && t.text == QLatin1String(")"))
            --depth;
        else if (depth == 0 && isKeyword(t, keyword))
            return k;
    }
    return size_t(-1);
}

QString Parser::clauseText(size_t from) const
{
    static constexpr const char *stops[] = {"FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION"};
    int depth = 0;
    size_t k = from;
    for (; k < m_t.size() - 1; ++k) {
        const Token &t = m_t[k];
        if (t.kind == Tok::Punct && t.text == QLatin1String("("))
            ++depth;
        else if (t.kind == Tok::Punct && t.text == QLatin1String(")"))
            --depth;
        else if (t.kind == Tok::Punct && t.text == QLatin1String(";") && depth == 0)
            break;
        bool stop = false;
        if (depth == 0 && k > from) {
            for (const char *s : stops)
                stop = stop || isKeyword(t, s);
        }
        if (stop)
            break;
    }
    const qsizetype begin = m_t[from].pos;
    const qsizetype end = k > from ? m_t[k - 1].end : begin;
    return m_src.mid(begin, end - begin);
}

Expr Parser::make(const QString &sql, Kind kind, std::initializer_list<const Expr *> from, int extra) const
{
    int height = 0;
    for (const Expr *e : from)
        height = std::max(height, e->height);
    Expr e = atom(sql, kind);
    e.height = height + extra;
    if (e.height > kMaxHeight || e.sql.size() > kMaxSqlLength)
        tooComplex(m_clause);
    return e;
}

Expr Parser::makeTruth(const QString &sql, std::initializer_list<const Expr *> from, int extra) const
{
    Expr e = make(sql, Kind::Number, from, extra);
    e.truth = true;
    return e;
}

Expr Parser::value(const Expr &e) const
{
    if (!e.truth)
        return e;
    return make(QStringLiteral("(- %1)").arg(e.sql), Kind::Number, {&e}, 1);
}

Expr Parser::number(const Expr &e) const
{
    const Expr v = value(e);
    if (v.kind != Kind::Date)
        return v;
    return make(QStringLiteral("jet_datenum(%1)").arg(v.sql), Kind::Number, {&v}, 1);
}

Expr Parser::text(const Expr &e) const
{
    const Expr v = value(e);
    if (v.kind != Kind::Date)
        return v;
    return make(QStringLiteral("jet_frenchdate(%1)").arg(v.sql), Kind::Text, {&v}, 1);
}

Expr Parser::truthOf(const Expr &e) const
{
    if (e.truth)
        return e;
    // Twice Not: 1, 0 or Null, true exactly where the value is true in a WHERE.
    return makeTruth(QStringLiteral("(NOT NOT %1)").arg(e.sql), {&e});
}

Expr Parser::chain(const std::vector<Expr> &terms, const QString &op, Kind kind, bool truth) const
{
    QStringList parts;
    int height = 0;
    for (const Expr &t : terms) {
        parts << t.sql;
        height = std::max(height, t.height);
    }
    Expr base;
    base.height = height;
    Expr e = make(QLatin1Char('(') + parts.join(op) + QLatin1Char(')'), kind, {&base}, int(terms.size()));
    e.truth = truth;
    return e;
}

// Jet's precedence, from the loosest: Imp, Eqv, Xor, Or, And, Not.
Expr Parser::parseImp()
{
    Expr l = parseEqv();
    while (acceptKeyword("IMP")) {
        const Expr r = parseEqv();
        l = makeTruth(QStringLiteral("((NOT %1) OR %2)").arg(l.sql, r.sql), {&l, &r});
    }
    return l;
}

Expr Parser::parseEqv()
{
    Expr l = parseXor();
    while (acceptKeyword("EQV")) {
        const Expr a = truthOf(l);
        const Expr b = truthOf(parseXor());
        l = makeTruth(QStringLiteral("(%1 = %2)").arg(a.sql, b.sql), {&a, &b}, 1);
    }
    return l;
}

Expr Parser::parseXor()
{
    Expr l = parseOr();
    while (acceptKeyword("XOR")) {
        const Expr a = truthOf(l);
        const Expr b = truthOf(parseOr());
        l = makeTruth(QStringLiteral("(%1 <> %2)").arg(a.sql, b.sql), {&a, &b}, 1);
    }
    return l;
}

Expr Parser::parseOr()
{
    std::vector<Expr> terms{parseAnd()};
    while (acceptKeyword("OR"))
        terms.push_back(parseAnd());
    return terms.size() == 1 ? terms.front() : chain(terms, QStringLiteral(" OR "), Kind::Number, true);
}

Expr Parser::parseAnd()
{
    std::vector<Expr> terms{parseNot()};
    while (acceptKeyword("AND"))
        terms.push_back(parseNot());
    return terms.size() == 1 ? terms.front() : chain(terms, QStringLiteral(" AND "), Kind::Number, true);
}

Expr Parser::parseNot()
{
    if (acceptKeyword("NOT")) {
        const Nested nested(*this);
        const Expr e = parseNot();
        return makeTruth(QStringLiteral("(NOT %1)").arg(e.sql), {&e}, 1);
    }
    return parseComparison();
}

Expr Parser::parseComparison()
{
    Expr l = parseConcat();
    for (;;) {
        const Token &t = peek();
        if (t.kind == Tok::Punct
            && (t.text == QLatin1String("=") || t.text == QLatin1String("<>") || t.text == QLatin1String("<")
                || t.text == QLatin1String(">") || t.text == QLatin1String("<=")
                || t.text == QLatin1String(">="))) {
            const QString op = next().text;
            l = compare(l, op, parseConcat());
            continue;
        }
        const bool negated = isKeyword(t, "NOT")
                             && (isKeyword(peek(1), "LIKE") || isKeyword(peek(1), "IN")
                                 || isKeyword(peek(1), "BETWEEN"));
        if (negated)
            ++m_i;
        if (acceptKeyword("LIKE")) {
            l = like(l, parseConcat(), negated);
        } else if (acceptKeyword("BETWEEN")) {
            const Expr lo = parseConcat();
            expectKeyword("AND");
            l = between(l, lo, parseConcat(), negated);
        } else if (acceptKeyword("IN")) {
            expectPunct("(");
            std::vector<Expr> items;
            do {
                items.push_back(parseExpression());
            } while (acceptPunct(","));
            expectPunct(")");
            l = inList(l, items, negated);
        } else if (acceptKeyword("IS")) {
            const bool isNot = acceptKeyword("NOT");
            expectKeyword("NULL");
            const Expr v = value(l);
            l = makeTruth(QStringLiteral("(%1 IS %2NULL)").arg(v.sql, isNot ? QStringLiteral("NOT ") : QString()),
                          {&v}, 1);
        } else {
            return l;
        }
    }
}

Expr Parser::parseConcat()
{
    const Expr first = parseAdditive();
    if (!atPunct("&"))
        return first;
    std::vector<Expr> terms;
    auto add = [&](const Expr &e) {
        const Expr t = text(e);
        terms.push_back(make(QStringLiteral("coalesce(%1, '')").arg(t.sql), Kind::Text, {&t}, 1));
    };
    add(first);
    while (acceptPunct("&"))
        add(parseAdditive());
    return chain(terms, QStringLiteral(" || "), Kind::Text, false);
}

// A date plus or minus a number of days stays a date; two dates subtracted
// give the days between them. Where the row alone knows whether a field holds
// a number or a date, the engine's jet_add and jet_sub decide.
Expr Parser::parseAdditive()
{
    Expr l = parseMod();
    for (;;) {
        const bool plus = atPunct("+");
        if (!plus && !atPunct("-"))
            return l;
        ++m_i;
        const Expr a = value(l);
        const Expr b = value(parseMod());
        const bool numbers = a.kind == Kind::Number && b.kind == Kind::Number;
        if (plus && numbers)
            l = make(QStringLiteral("(%1 + %2)").arg(a.sql, b.sql), Kind::Number, {&a, &b}, 1);
        else if (!plus && numbers)
            l = make(QStringLiteral("(%1 - %2)").arg(a.sql, b.sql), Kind::Number, {&a, &b}, 1);
        else if (a.kind == Kind::Date && b.kind == Kind::Number)
            l = make(QStringLiteral("jet_dateplus(%1, %3%2%4)")
                         .arg(a.sql, b.sql, plus ? QString() : QStringLiteral("(- "),
                              plus ? QString() : QStringLiteral(")")),
                     Kind::Date, {&a, &b});
        else if (plus && a.kind == Kind::Number && b.kind == Kind::Date)
            l = make(QStringLiteral("jet_dateplus(%2, %1)").arg(a.sql, b.sql), Kind::Date, {&a, &b});
        else if (!plus && a.kind == Kind::Date && b.kind == Kind::Date)
            l = make(QStringLiteral("jet_sub(%1, %2)").arg(a.sql, b.sql), Kind::Number, {&a, &b}, 1);
        else
            l = make(QStringLiteral("%3(%1, %2)").arg(a.sql, b.sql, plus ? QStringLiteral("jet_add")
                                                                         : QStringLiteral("jet_sub")),
                     Kind::Unknown, {&a, &b}, 1);
    }
}

// Mod and \ work on whole numbers, rounded halves to even as Jet rounds them.
Expr Parser::parseMod()
{
    Expr l = parseIntDivision();
    while (acceptKeyword("MOD")) {
        const Expr a = number(l);
        const Expr b = number(parseIntDivision());
        l = make(QStringLiteral("(jet_clng(%1) % jet_clng(%2))").arg(a.sql, b.sql), Kind::Number, {&a, &b});
    }
    return l;
}

Expr Parser::parseIntDivision()
{
    Expr l = parseMultiplicative();
    while (acceptPunct("\\")) {
        const Expr a = number(l);
        const Expr b = number(parseMultiplicative());
        l = make(QStringLiteral("(jet_clng(%1) / jet_clng(%2))").arg(a.sql, b.sql), Kind::Number, {&a, &b});
    }
    return l;
}

Expr Parser::parseMultiplicative()
{
    Expr l = parseUnary();
    for (;;) {
        if (acceptPunct("*")) {
            const Expr a = number(l);
            const Expr b = number(parseUnary());
            l = make(QStringLiteral("(%1 * %2)").arg(a.sql, b.sql), Kind::Number, {&a, &b}, 1);
        } else if (acceptPunct("/")) {
            // Jet's '/' always divides as real numbers.
            const Expr a = number(l);
            const Expr b = number(parseUnary());
            l = make(QStringLiteral("(CAST(%1 AS REAL) / %2)").arg(a.sql, b.sql), Kind::Number, {&a, &b});
        } else {
            return l;
        }
    }
}

Expr Parser::parseUnary()
{
    if (acceptPunct("-")) {
        const Nested nested(*this);
        const Expr e = number(parseUnary());
        return make(QStringLiteral("(- %1)").arg(e.sql), Kind::Number, {&e}, 1);
    }
    if (acceptPunct("+")) {
        const Nested nested(*this);
        return parseUnary();
    }
    return parsePower();
}

Expr Parser::parsePower()
{
    Expr l = parsePrimary();
    while (acceptPunct("^")) {
        const Expr a = number(l);
        Expr b;
        if (acceptPunct("-")) {
            const Expr e = number(parsePrimary());
            b = make(QStringLiteral("(- %1)").arg(e.sql), Kind::Number, {&e}, 1);
        } else {
            b = number(parsePrimary());
        }
        l = make(QStringLiteral("jet_pow(%1, %2)").arg(a.sql, b.sql), Kind::Number, {&a, &b}, 1);
    }
    return l;
}

Expr Parser::parsePrimary()
{
    const Token &t = peek();
    switch (t.kind) {
    case Tok::Number:
        ++m_i;
        return atom(t.text, Kind::Number);
    case Tok::String: {
        ++m_i;
        Expr e = atom(quoteText(t.text), Kind::Text);
        e.stringLiteral = true;
        e.literal = t.text;
        return e;
    }
    case Tok::Date:
        ++m_i;
        return atom(dateLiteral(t.text, m_clause), Kind::Date);
    case Tok::Bracket:
        return parseColumn();
    case Tok::Name:
        if (isKeyword(t, "TRUE")) {
            ++m_i;
            return atom(QStringLiteral("-1"), Kind::Number);
        }
        if (isKeyword(t, "FALSE")) {
            ++m_i;
            return atom(QStringLiteral("0"), Kind::Number);
        }
        if (isKeyword(t, "NULL")) {
            ++m_i;
            return atom(QStringLiteral("NULL"), Kind::Unknown);
        }
        if (isKeyword(t, "SELECT"))
            unsupported(QStringLiteral("les sous-requêtes (SELECT dans une expression)"), m_clause);
        if (atPunct("(", 1)) {
            const QString name = next().text;
            return parseFunction(name);
        }
        if (isReserved(t))
            fail();
        return parseColumn();
    case Tok::Punct:
        if (acceptPunct("(")) {
            Expr e = parseExpression();
            expectPunct(")");
            if (!e.sql.startsWith(QLatin1Char('(')) || e.stringLiteral)
                e.sql = QLatin1Char('(') + e.sql + QLatin1Char(')');
            return e;
        }
        break;
    case Tok::End:
        break;
    }
    fail();
}

Expr Parser::parseColumn()
{
    const Token first = next();
    if (first.kind != Tok::Name && first.kind != Tok::Bracket)
        fail();
    auto columnExpr = [](const QString &sql) {
        Expr e = atom(sql, Kind::Unknown);
        e.column = true;
        return e;
    };
    if (atPunct(".") || atPunct("!")) {
        ++m_i;
        const Token second = next();
        if (second.kind != Tok::Name && second.kind != Tok::Bracket)
            fail();
        for (const ScopeTable &s : m_scope) {
            const bool named = s.alias.isEmpty() ? sameName(s.table->name, first.text) : sameName(s.alias, first.text);
            if (!named)
                continue;
            const QString column = s.table->findColumn(second.text);
            if (column.isEmpty())
                return unknownName(first.text + QLatin1Char('.') + second.text);
            return columnExpr(s.qualifier() + QLatin1Char('.') + quoteName(column));
        }
        return unknownName(first.text + QLatin1Char('.') + second.text);
    }
    const ScopeTable *found = nullptr;
    QString column;
    for (const ScopeTable &s : m_scope) {
        const QString c = s.table->findColumn(first.text);
        if (c.isEmpty())
            continue;
        if (found) {
            defer(AppError(kAmbiguousField,
                           QStringLiteral("Le champ spécifié « %1 » peut faire référence à plusieurs tables "
                                          "de la clause FROM.")
                               .arg(first.text)));
            break;
        }
        found = &s;
        column = c;
    }
    if (found)
        return columnExpr(m_scope.size() > 1 ? found->qualifier() + QLatin1Char('.') + quoteName(column)
                                             : quoteName(column));
    if (m_allowAliases) {
        for (const auto &[alias, sql] : std::as_const(m_aliases)) {
            if (sameName(alias, first.text))
                return atom(quoteName(alias), Kind::Unknown);
        }
    }
    return unknownName(first.text);
}

Expr Parser::parseFunction(const QString &name)
{
    expectPunct("(");
    const QString f = name.toLower();
    std::vector<Expr> args;
    bool star = false;
    if (!atPunct(")")) {
        if (f == QLatin1String("count") && atPunct("*")) {
            ++m_i;
            star = true;
        } else {
            do {
                args.push_back(parseExpression());
            } while (acceptPunct(","));
        }
    }
    expectPunct(")");
    const auto argc = args.size();
    auto need = [&](size_t lo, size_t hi) {
        if (argc < lo || argc > hi)
            fail();
    };
    // The arguments as Jet passes them: as values, as texts or as numbers.
    std::vector<const Expr *> from;
    for (const Expr &e : args)
        from.push_back(&e);
    auto v = [&](size_t k) { return value(args[k]).sql; };
    auto t = [&](size_t k) { return text(args[k]).sql; };
    auto n = [&](size_t k) { return number(args[k]).sql; };
    auto result = [&](const QString &sql, Kind kind) {
        int height = 0;
        for (const Expr *e : from)
            height = std::max(height, e->height);
        Expr base;
        base.height = height;
        return make(sql, kind, {&base}, 3);
    };
    // fn(converted arguments); `conversions` says how each is passed: 'v', 't' or 'n'.
    auto call = [&](const char *fn, const char *conversions, Kind kind) {
        QStringList parts;
        for (size_t k = 0; k < argc; ++k) {
            const char c = conversions[std::min(k, std::strlen(conversions) - 1)];
            parts << (c == 't' ? t(k) : c == 'n' ? n(k) : v(k));
        }
        return result(QStringLiteral("%1(%2)").arg(QLatin1String(fn), parts.join(QStringLiteral(", "))), kind);
    };
    auto checkInterval = [&](const char *function) {
        if (args[0].stringLiteral && !isInterval(args[0].literal))
            defer(AppError(kInvalidArgument,
                           QStringLiteral("Argument ou appel de procédure incorrect : « %1 » n'est pas un intervalle "
                                          "de %2 (yyyy, q, m, y, d, w, ww, h, n, s).")
                               .arg(args[0].literal, QLatin1String(function))));
    };
    auto datePart = [&](const char *interval) {
        need(1, 1);
        return result(QStringLiteral("jet_datepart('%1', %2)").arg(QLatin1String(interval), v(0)), Kind::Number);
    };
    // The kind the branches of IIf or Switch share, Unknown when they differ.
    auto commonKind = [&](const std::vector<size_t> &indexes) {
        std::optional<Kind> kind;
        for (size_t k : indexes) {
            const Kind each = value(args[k]).kind;
            if (kind && *kind != each)
                return Kind::Unknown;
            kind = each;
        }
        return kind.value_or(Kind::Unknown);
    };

    if (f == QLatin1String("instr") && argc == 2)
        return result(QStringLiteral("jet_instr(1, %1, %2)").arg(t(0), t(1)), Kind::Number);
    if (const JetFunction *fn = findJetFunction(f)) {
        need(size_t(fn->minArgs), size_t(fn->maxArgs));
        if (fn->interval)
            checkInterval(fn->jetName);
        if (fn->result != JetResult::Truth)
            return call(fn->sqlName, fn->arguments, kindOf(fn->result));
        Expr e = call(fn->sqlName, fn->arguments, Kind::Number);
        e.truth = true;
        return e;
    }
    if (f == QLatin1String("left")) {
        need(2, 2);
        return result(QStringLiteral("substr(%1, 1, %2)").arg(t(0), n(1)), Kind::Text);
    }
    if (f == QLatin1String("mid")) {
        need(2, 3);
        return call("substr", "tn", Kind::Text);
    }
    if (f == QLatin1String("iif")) {
        need(3, 3);
        return result(QStringLiteral("(CASE WHEN %1 THEN %2 ELSE %3 END)").arg(args[0].sql, v(1), v(2)),
                      commonKind({1, 2}));
    }
    if (f == QLatin1String("switch")) {
        // Switch(condition1, value1, condition2, value2...): the value of the
        // first true condition, Null when none is.
        if (argc == 0 || argc % 2 != 0)
            fail();
        QString sql = QStringLiteral("(CASE");
        std::vector<size_t> values;
        for (size_t k = 0; k < argc; k += 2) {
            sql += QStringLiteral(" WHEN %1 THEN %2").arg(args[k].sql, v(k + 1));
            values.push_back(k + 1);
        }
        return result(sql + QStringLiteral(" END)"), commonKind(values));
    }
    if (f == QLatin1String("nz")) {
        need(1, 2);
        const QString fallback = argc == 2 ? v(1) : QStringLiteral("''");
        return result(QStringLiteral("coalesce(%1, %2)").arg(v(0), fallback), value(args[0]).kind);
    }
    if (f == QLatin1String("isnull")) {
        need(1, 1);
        Expr e = result(QStringLiteral("(%1 IS NULL)").arg(v(0)), Kind::Number);
        e.truth = true;
        return e;
    }
    if (f == QLatin1String("cstr")) {
        need(1, 1);
        const Expr e = value(args[0]);
        if (e.kind == Kind::Date)
            return call("jet_frenchdate", "v", Kind::Text);
        return result(QStringLiteral("CAST(%1 AS TEXT)").arg(e.sql), Kind::Text);
    }
    if (f == QLatin1String("cdbl") || f == QLatin1String("csng")) {
        need(1, 1);
        return result(QStringLiteral("CAST(%1 AS REAL)").arg(n(0)), Kind::Number);
    }
    if (f == QLatin1String("date")) {
        need(0, 0);
        m_readsClock = true;
        return result(QStringLiteral("date('now', 'localtime')"), Kind::Date);
    }
    if (f == QLatin1String("now")) {
        need(0, 0);
        m_readsClock = true;
        return result(QStringLiteral("jet_date(datetime('now', 'localtime'))"), Kind::Date);
    }
    if (f == QLatin1String("year"))
        return datePart("yyyy");
    if (f == QLatin1String("month"))
        return datePart("m");
    if (f == QLatin1String("day"))
        return datePart("d");
    if (f == QLatin1String("hour"))
        return datePart("h");
    if (f == QLatin1String("minute"))
        return datePart("n");
    if (f == QLatin1String("second"))
        return datePart("s");
    if (f == QLatin1String("weekday")) {
        need(1, 2);
        const QString arguments = argc == 2 ? v(0) + QStringLiteral(", ") + n(1) : v(0);
        return result(QStringLiteral("jet_datepart('w', %1)").arg(arguments), Kind::Number);
    }
    if (f == QLatin1String("count")) {
        m_sawAggregate = true;
        if (star)
            return result(QStringLiteral("count(*)"), Kind::Number);
        need(1, 1);
        return call("count", "v", Kind::Number);
    }
    if (f == QLatin1String("sum") || f == QLatin1String("avg")) {
        m_sawAggregate = true;
        need(1, 1);
        return call(f == QLatin1String("sum") ? "sum" : "avg", "n", Kind::Number);
    }
    if (f == QLatin1String("min") || f == QLatin1String("max")) {
        m_sawAggregate = true;
        need(1, 1);
        const Expr e = value(args[0]);
        const QString arg = textual(e) ? e.sql + collateSql() : e.sql;
        return result(QStringLiteral("%1(%2)").arg(f, arg), e.kind);
    }
    defer(AppError(kUndefinedFunction,
                   QStringLiteral("Fonction « %1 » non définie dans l'expression « %2 ».").arg(name, quoted(m_clause))));
    return atom(QStringLiteral("NULL"), Kind::Unknown);
}

// Operands compared the way Jet compared them: numbers as numbers, dates as
// dates, texts as texts under the JETTEXT collation. A field (every stored
// value is text) compared with a number or a date is compared as a number or
// a date where its text reads as one, and as text where it does not
// (jet_cmpnum, jet_cmpdate).
Expr Parser::compare(const Expr &left, const QString &op, const Expr &right) const
{
    const Expr l = value(left);
    const Expr r = value(right);
    if (l.kind == r.kind && (l.kind == Kind::Number || l.kind == Kind::Date))
        return makeTruth(QStringLiteral("(%1 %2 %3)").arg(l.sql, op, r.sql), {&l, &r}, 1);
    if ((l.kind == Kind::Number && r.kind == Kind::Date) || (l.kind == Kind::Date && r.kind == Kind::Number)) {
        const Expr a = number(l);
        const Expr b = number(r);
        return makeTruth(QStringLiteral("(%1 %2 %3)").arg(a.sql, op, b.sql), {&a, &b}, 1);
    }
    if (textual(l) && textual(r))
        return makeTruth(QStringLiteral("(%1 %2 %3%4)").arg(l.sql, op, r.sql, collateSql()), {&l, &r});
    const QString function = l.kind == Kind::Number || r.kind == Kind::Number ? QStringLiteral("jet_cmpnum")
                                                                               : QStringLiteral("jet_cmpdate");
    return makeTruth(QStringLiteral("(%1(%2, %3) %4 0)").arg(function, l.sql, r.sql, op), {&l, &r});
}

// Jet takes the bounds in either order: "x Between 10 And 5" is "x Between 5
// And 10". Compared as compare() would, by jet_between, which names each
// operand once: nested Betweens do not multiply the text.
Expr Parser::between(const Expr &valueExpr, const Expr &lo, const Expr &hi, bool negated) const
{
    const Expr v = value(valueExpr);
    const Expr a = value(lo);
    const Expr b = value(hi);
    const bool anyDate = v.kind == Kind::Date || a.kind == Kind::Date || b.kind == Kind::Date;
    const bool anyNumber = v.kind == Kind::Number || a.kind == Kind::Number || b.kind == Kind::Number;
    const int domain = anyDate ? 2 : anyNumber ? 1 : 0;
    return makeTruth(QStringLiteral("(%1jet_between(%2, %3, %4, %5))")
                         .arg(negated ? QStringLiteral("NOT ") : QString(), v.sql, a.sql, b.sql,
                              QString::number(domain)),
                     {&v, &a, &b});
}

Expr Parser::inList(const Expr &valueExpr, const std::vector<Expr> &rawItems, bool negated) const
{
    const Expr v = value(valueExpr);
    std::vector<Expr> items;
    std::vector<const Expr *> from{&v};
    bool allNumbers = true, allDates = true, allTexts = true;
    for (const Expr &item : rawItems) {
        items.push_back(value(item));
        allNumbers = allNumbers && items.back().kind == Kind::Number;
        allDates = allDates && items.back().kind == Kind::Date;
        allTexts = allTexts && textual(items.back());
    }
    for (const Expr &item : items)
        from.push_back(&item);
    QStringList list;
    for (const Expr &item : items)
        list << item.sql;
    const QString notIn = negated ? QStringLiteral("NOT ") : QString();
    auto inSql = [&](const QString &left) {
        int height = 0;
        for (const Expr *e : from)
            height = std::max(height, e->height);
        Expr base;
        base.height = height;
        return makeTruth(QStringLiteral("(%1 %2IN (%3))").arg(left, notIn, list.join(QStringLiteral(", "))),
                         {&base});
    };
    if ((allNumbers && v.kind == Kind::Number) || (allDates && v.kind == Kind::Date))
        return inSql(v.sql);
    if (allTexts && textual(v))
        return inSql(v.sql + collateSql());
    // A field among numbers or dates: its text read as a number or a date.
    if (allNumbers && textual(v))
        return inSql(QStringLiteral("jet_num(%1)").arg(v.sql));
    if (allDates && textual(v))
        return inSql(QStringLiteral("jet_date(%1)").arg(v.sql));
    // Items of several kinds: each compared in turn.
    std::vector<Expr> tests;
    for (const Expr &item : items)
        tests.push_back(compare(v, QStringLiteral("="), item));
    QStringList parts;
    int height = 0;
    for (const Expr &e : tests) {
        parts << e.sql;
        height = std::max(height, e.height);
    }
    Expr base;
    base.height = height;
    return makeTruth(QStringLiteral("(%1(%2))").arg(notIn, parts.join(QStringLiteral(" OR "))), {&base},
                     int(parts.size()) + 1);
}

Expr Parser::like(const Expr &valueExpr, const Expr &patternExpr, bool negated) const
{
    const Expr value = text(valueExpr);
    const Expr pattern = text(patternExpr);
    QString sql;
    const bool literalPattern = pattern.stringLiteral && value.kind != Kind::Number;
    const QString &literal = pattern.literal;
    const bool prefix = literal.endsWith(QLatin1Char('*')) && !hasWildcard(literal.chopped(1));
    // Jet: a pattern without wildcard is an equality, with = 's rules (case
    // and trailing blanks aside). A value stored as a number by another tool
    // is compared as the text it reads as.
    const bool equality = literalPattern && !hasWildcard(literal);
    QString fixed = prefix ? literal.chopped(1) : literal;
    if (equality) {
        while (fixed.endsWith(QLatin1Char(' ')))
            fixed.chop(1);
    }
    const QString test = equality
                             ? QStringLiteral("(CAST(%1 AS TEXT) = %2%3)").arg(value.sql, quoteText(literal), collateSql())
                             : QStringLiteral("(%1 LIKE %2)").arg(value.sql, quoteText(literal));
    if (literalPattern && value.column && (prefix || equality) && indexFriendly(fixed)) {
        // Inventory numbers and Dewey classes, texts without letters: the
        // texts the pattern can match are those equal to it (trailing blanks
        // aside), or starting with the prefix ('5*'), a range an index can
        // serve. A value stored as a number (by another tool, in an untyped
        // column) sorts before any text: another range. The test itself
        // decides within them.
        QString next = fixed;
        if (prefix)
            next.back() = QChar(next.back().unicode() + 1); // printable ASCII: at most DEL
        else
            next += QLatin1Char('!'); // past the blanks that may follow
        const QString candidates =
            QStringLiteral("%1 >= %2 AND %1 < %3").arg(value.sql, quoteText(fixed), quoteText(next));
        // Without letters, the equality is exact but for the trailing blanks:
        // the collation would also let through what it ignores (control
        // characters), which the range leaves out.
        const QString exact = equality ? QStringLiteral("(rtrim(CAST(%1 AS TEXT), ' ') = %2)").arg(value.sql, quoteText(fixed))
                                       : test;
        // Two terms of an OR, each with its range, so that an OR of such
        // patterns is still served by the index.
        sql = QStringLiteral("((%1 AND %3) OR (%2 < '' AND %3))").arg(candidates, value.sql, exact);
    } else if (equality) {
        sql = test;
    } else {
        // A text compared under the collation would also match what LIKE
        // tells apart ('œ' and "oe", full-width letters): a pattern with
        // wildcards is the pattern's alone.
        sql = QStringLiteral("(%1 LIKE %2)").arg(value.sql, pattern.sql);
    }
    if (negated)
        sql = QStringLiteral("(NOT %1)").arg(sql);
    return makeTruth(sql, {&value, &pattern}, 5);
}

void Parser::addTable(const Token &nameToken)
{
    if (nameToken.kind != Tok::Name && nameToken.kind != Tok::Bracket)
        fail();
    if (nameToken.kind == Tok::Name && isReserved(nameToken))
        fail();
    const SchemaTable *table = m_schema.findTable(nameToken.text);
    if (!table) {
        defer(tableError(nameToken.text));
        m_missingTables.push_back(SchemaTable{nameToken.text, {}});
        table = &m_missingTables.back();
    }
    ScopeTable s{table, {}};
    QString sql = quoteName(table->name);
    const bool hasAs = acceptKeyword("AS");
    if (hasAs || ((peek().kind == Tok::Name && !isReserved(peek())) || peek().kind == Tok::Bracket)) {
        const Token alias = next();
        if ((alias.kind != Tok::Name && alias.kind != Tok::Bracket) || isReserved(alias))
            fail();
        s.alias = alias.text;
        sql += QStringLiteral(" AS ") + quoteName(alias.text);
    }
    m_scope.push_back(s);
    m_fromSql += sql;
}

void Parser::parseFromItem()
{
    if (acceptPunct("(")) {
        const Nested nested(*this);
        if (isKeyword(peek(), "SELECT"))
            unsupported(QStringLiteral("les sous-requêtes (SELECT dans la clause FROM)"), m_clause);
        m_fromSql += QLatin1Char('(');
        parseFromClause();
        expectPunct(")");
        m_fromSql += QLatin1Char(')');
        return;
    }
    addTable(next());
}

// Tables, joined by commas or by INNER / LEFT / RIGHT JOIN ... ON.
void Parser::parseFromClause()
{
    parseFromItem();
    for (;;) {
        if (acceptPunct(",")) {
            m_joined = true;
            m_fromSql += QStringLiteral(", ");
            parseFromItem();
            continue;
        }
        QString join;
        if (acceptKeyword("INNER"))
            join = QStringLiteral("INNER JOIN");
        else if (acceptKeyword("LEFT"))
            join = QStringLiteral("LEFT JOIN");
        else if (acceptKeyword("RIGHT"))
            join = QStringLiteral("RIGHT JOIN");
        else
            return;
        acceptKeyword("OUTER");
        expectKeyword("JOIN");
        m_joined = true;
        m_fromSql += QLatin1Char(' ') + join + QLatin1Char(' ');
        parseFromItem();
        expectKeyword("ON");
        const Expr on = parseExpression();
        m_fromSql += QStringLiteral(" ON ") + on.sql;
    }
}

TranslatedSelect Parser::parseSelectStatement()
{
    TranslatedSelect out;
    m_clause = m_src;
    expectKeyword("SELECT");
    bool distinct = false;
    if (acceptKeyword("DISTINCT"))
        distinct = true;
    else if (!acceptKeyword("DISTINCTROW"))
        acceptKeyword("ALL");
    QString limit;
    if (acceptKeyword("TOP")) {
        const Token n = next();
        bool ok = false;
        const qlonglong count = n.text.toLongLong(&ok);
        if (n.kind != Tok::Number || !ok || count < 0)
            fail();
        if (isKeyword(peek(), "PERCENT"))
            unsupported(QStringLiteral("les sélections en pourcentage (TOP n PERCENT)"), m_src);
        limit = QString::number(count);
    }

    const size_t listStart = m_i;
    const size_t fromAt = findOutside(listStart, "FROM");
    if (fromAt == size_t(-1) || fromAt == listStart)
        fail();

    // The tables first, so that the select list's names can be resolved.
    m_i = fromAt + 1;
    m_clause = clauseText(fromAt);
    parseFromClause();
    const size_t afterFrom = m_i;

    m_i = listStart;
    m_clause = clauseText(listStart);
    QStringList columns;
    bool hasAggregate = false;
    for (;;) {
        if (acceptPunct("*")) {
            columns << QStringLiteral("*");
        } else if ((peek().kind == Tok::Name || peek().kind == Tok::Bracket) && (atPunct(".", 1) || atPunct("!", 1))
                   && atPunct("*", 2)) {
            const Token table = next();
            m_i += 2;
            const ScopeTable *found = nullptr;
            for (const ScopeTable &s : m_scope) {
                if (s.alias.isEmpty() ? sameName(s.table->name, table.text) : sameName(s.alias, table.text))
                    found = &s;
            }
            if (found)
                columns << found->qualifier() + QStringLiteral(".*");
            else
                defer(tableError(table.text));
        } else {
            m_sawAggregate = false;
            const Expr e = value(parseExpression());
            hasAggregate = hasAggregate || m_sawAggregate;
            if (acceptKeyword("AS")) {
                const Token alias = next();
                if (alias.kind != Tok::Name && alias.kind != Tok::Bracket)
                    fail();
                columns << e.sql + QStringLiteral(" AS ") + quoteName(alias.text);
                m_aliases.append({alias.text, e.sql});
            } else {
                columns << e.sql;
            }
        }
        if (isKeyword(peek(), "INTO"))
            unsupported(QStringLiteral("les requêtes Création de table (SELECT … INTO)"), m_src);
        if (m_i == fromAt)
            break;
        expectPunct(",");
    }
    m_i = afterFrom;

    QString where, having;
    QStringList groupBy;
    if (isKeyword(peek(), "WHERE")) {
        m_clause = clauseText(m_i + 1);
        ++m_i;
        where = parseExpression().sql;
    }
    if (isKeyword(peek(), "GROUP")) {
        m_clause = clauseText(m_i);
        ++m_i;
        expectKeyword("BY");
        do {
            const Expr e = value(parseExpression());
            groupBy << (textual(e) ? e.sql + collateSql() : e.sql);
        } while (acceptPunct(","));
    }
    if (isKeyword(peek(), "HAVING")) {
        m_clause = clauseText(m_i + 1);
        ++m_i;
        having = parseExpression().sql;
    }
    if (isKeyword(peek(), "ORDER")) {
        m_clause = clauseText(m_i);
        ++m_i;
        expectKeyword("BY");
        m_allowAliases = true;
        do {
            const Expr e = value(parseExpression());
            QString direction = QStringLiteral("ASC");
            if (acceptKeyword("DESC"))
                direction = QStringLiteral("DESC");
            else
                acceptKeyword("ASC");
            out.orderByKeySql << e.sql;
            out.orderByBinarySql << e.sql + QLatin1Char(' ') + direction;
            out.orderBySql << (textual(e) ? e.sql + collateSql() : e.sql) + QLatin1Char(' ') + direction;
        } while (acceptPunct(","));
        m_allowAliases = false;
    }
    if (isKeyword(peek(), "UNION"))
        unsupported(QStringLiteral("les requêtes Union (UNION)"), m_src);
    m_clause = m_src;
    expectEnd();
    throwPending();

    out.readsClock = m_readsClock;
    out.columnsSql = columns.join(QStringLiteral(", "));
    out.fromSql = m_fromSql;
    out.whereSql = where;
    out.singleTable = m_scope.size() == 1 && !m_joined && !distinct && limit.isEmpty() && groupBy.isEmpty()
                      && having.isEmpty() && !hasAggregate;
    if (m_scope.size() == 1)
        out.table = m_scope.front().table->name;

    QString sql = QStringLiteral("SELECT ");
    if (distinct)
        sql += QStringLiteral("DISTINCT ");
    sql += out.columnsSql + QStringLiteral(" FROM ") + out.fromSql;
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    if (!groupBy.isEmpty())
        sql += QStringLiteral(" GROUP BY ") + groupBy.join(QStringLiteral(", "));
    if (!having.isEmpty())
        sql += QStringLiteral(" HAVING ") + having;
    if (!out.orderBySql.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + out.orderBySql.join(QStringLiteral(", "));
    if (!limit.isEmpty())
        sql += QStringLiteral(" LIMIT ") + limit;
    out.sql = sql;
    return out;
}

QString Parser::parseConditionFor(const QString &tableName)
{
    const SchemaTable *table = m_schema.findTable(tableName);
    if (!table)
        throw tableError(tableName);
    m_scope.push_back(ScopeTable{table, {}});
    m_clause = m_src;
    if (peek().kind == Tok::End)
        fail();
    const Expr e = parseExpression();
    expectEnd();
    throwPending();
    return e.sql;
}

// The word a statement starts with, letters only.
QString leadingWord(const QString &source)
{
    qsizetype end = 0;
    while (end < source.size() && isNamePart(source.at(end)))
        ++end;
    return source.left(end);
}

bool oneOf(const QString &word, std::initializer_list<const char *> words)
{
    for (const char *w : words) {
        if (word.compare(QLatin1String(w), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

TranslatedSelect translateRecordSource(const QString &jetSource, const Schema &schema)
{
    QString source = jetSource.trimmed();
    const QString word = leadingWord(source);
    if (oneOf(word, {"SELECT"})) {
        Parser parser(source, schema);
        return parser.parseSelectStatement();
    }
    // A record source only ever reads: what is not a SELECT nor a table name
    // is refused before anything reaches the database.
    if (oneOf(word, {"TRANSFORM"}))
        unsupported(QStringLiteral("les requêtes Analyse croisée (TRANSFORM … PIVOT)"), source);
    if (oneOf(word, {"PARAMETERS"}))
        unsupported(QStringLiteral("les requêtes paramétrées (PARAMETERS)"), source);
    if (oneOf(word, {"UPDATE", "DELETE", "INSERT", "DROP", "CREATE", "ALTER"}))
        actionQuery(word, source);
    if (oneOf(word, {"ATTACH", "DETACH", "PRAGMA", "VACUUM", "REINDEX", "ANALYZE", "BEGIN", "COMMIT", "END",
                     "ROLLBACK", "SAVEPOINT", "RELEASE", "REPLACE", "UPSERT", "WITH", "EXPLAIN", "VALUES"}))
        invalidStatement(word, source);

    // A table name, bracketed or not.
    if (source.endsWith(QLatin1Char(';')))
        source = source.chopped(1).trimmed();
    if (source.startsWith(QLatin1Char('[')) && source.endsWith(QLatin1Char(']')))
        source = source.mid(1, source.size() - 2);
    const SchemaTable *table = schema.findTable(source);
    if (!table) {
        if (source.contains(QLatin1Char(';')))
            charactersAfterEnd(jetSource);
        throw tableError(source);
    }
    TranslatedSelect out;
    out.singleTable = true;
    out.table = table->name;
    out.fromSql = quoteName(table->name);
    out.columnsSql = QStringLiteral("*");
    out.sql = QStringLiteral("SELECT * FROM ") + out.fromSql;
    return out;
}

QString translateCondition(const QString &jetCondition, const Schema &schema, const QString &table)
{
    Parser parser(jetCondition.trimmed(), schema);
    return parser.parseConditionFor(table);
}
