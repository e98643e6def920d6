#include "data/jetsql.h"

#include "data/jetfunctions.h"
#include "platform/apperror.h"

#include <QDate>
#include <QTime>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Errors

[[noreturn]] void syntaxError(const QString &expression)
{
    throw AppError(ErrorNumber::SyntaxError,
                   QStringLiteral("Erreur de syntaxe (opérateur absent) dans l'expression « %1 ».")
                       .arg(expression.trimmed()));
}

[[noreturn]] void stringError(const QString &expression)
{
    throw AppError(ErrorNumber::SyntaxError,
                   QStringLiteral("Erreur de syntaxe dans la chaîne dans l'expression « %1 ».")
                       .arg(expression.trimmed()));
}

[[noreturn]] void dateError(const QString &expression)
{
    throw AppError(ErrorNumber::SyntaxError,
                   QStringLiteral("Erreur de syntaxe dans la date dans l'expression « %1 ».")
                       .arg(expression.trimmed()));
}

AppError tableError(const QString &name)
{
    return AppError(ErrorNumber::TableNotFound,
                   QStringLiteral("Le moteur de base de données ne peut pas trouver la table ou la requête "
                                  "source « %1 ». Vérifiez qu'elle existe et que son nom est correctement "
                                  "orthographié.")
                       .arg(name));
}

AppError unknownNameError(const QString &name)
{
    return AppError(ErrorNumber::TooFewParameters,
                   QStringLiteral("Trop peu de paramètres. 1 attendu. (« %1 » n'est pas un champ connu.)")
                       .arg(name));
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
            if (close < 0 || close == i + 1)
                syntaxError(src);
            t.kind = Tok::Bracket;
            t.text = src.mid(i + 1, close - i - 1);
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
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

QString collateSql()
{
    return QStringLiteral(" COLLATE ") + QLatin1String(kJetCollation);
}

// Jet date literals: month first ("#12/31/2024#"), or ISO ("#2024-12-31#"),
// optionally with a time; two-digit years 30-99 are the 1900s.
QString dateLiteral(const QString &content, const QString &context)
{
    const QStringList parts = content.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        dateError(context);
    QDate date(1899, 12, 30);
    QTime time;
    bool hasDate = false, hasTime = false;
    for (qsizetype p = 0; p < parts.size(); ++p) {
        const QString &part = parts[p];
        if (part.contains(QLatin1Char(':'))) {
            if (hasTime)
                dateError(context);
            const QStringList hms = part.split(QLatin1Char(':'));
            if (hms.size() < 2 || hms.size() > 3)
                dateError(context);
            bool ok1 = false, ok2 = false, ok3 = true;
            int h = hms[0].toInt(&ok1);
            const int m = hms[1].toInt(&ok2);
            const int s = hms.size() == 3 ? hms[2].toInt(&ok3) : 0;
            if (p + 1 < parts.size()) {
                const QString suffix = parts[p + 1].toUpper();
                if (suffix == QLatin1String("AM") || suffix == QLatin1String("PM")) {
                    if (h < 1 || h > 12)
                        dateError(context);
                    h = h % 12 + (suffix == QLatin1String("PM") ? 12 : 0);
                    ++p;
                }
            }
            time = QTime(h, m, s);
            if (!(ok1 && ok2 && ok3) || !time.isValid())
                dateError(context);
            hasTime = true;
        } else {
            if (hasDate)
                dateError(context);
            QStringList ymd;
            for (QChar sep : {QLatin1Char('/'), QLatin1Char('-'), QLatin1Char('.')}) {
                if (part.contains(sep)) {
                    ymd = part.split(sep);
                    break;
                }
            }
            if (ymd.size() != 3)
                dateError(context);
            bool ok1 = false, ok2 = false, ok3 = false;
            int y, m, d;
            if (ymd[0].size() == 4) {
                y = ymd[0].toInt(&ok1);
                m = ymd[1].toInt(&ok2);
                d = ymd[2].toInt(&ok3);
            } else {
                m = ymd[0].toInt(&ok1);
                d = ymd[1].toInt(&ok2);
                y = ymd[2].toInt(&ok3);
                if (ymd[2].size() <= 2)
                    y += y < 30 ? 2000 : 1900;
            }
            date = QDate(y, m, d);
            if (!(ok1 && ok2 && ok3) || !date.isValid())
                dateError(context);
            hasDate = true;
        }
    }
    QString out = date.toString(QStringLiteral("yyyy-MM-dd"));
    if (hasTime)
        out += time.toString(QStringLiteral(" HH:mm:ss"));
    return quoteText(out);
}

// ---------------------------------------------------------------------------
// Parser

enum class Kind { Unknown, Text, Number, Date };

struct Expr
{
    QString sql;
    Kind kind = Kind::Unknown;
    bool stringLiteral = false; // a quoted text, whose value is in `literal`
    QString literal;
    bool column = false;        // a plain column reference
};

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
        "SELECT", "FROM", "WHERE", "GROUP", "BY", "HAVING", "ORDER", "AND", "OR", "NOT", "XOR",
        "LIKE", "BETWEEN", "IN", "IS", "MOD", "AS", "ON", "JOIN", "INNER", "LEFT", "RIGHT",
        "OUTER", "UNION", "DISTINCT", "DISTINCTROW", "TOP", "ASC", "DESC", "ALL", "PERCENT"};
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

    // The text of a clause starting at token `from`, up to the next clause
    // keyword outside parentheses: what an error message names.
    QString clauseText(size_t from) const;
    size_t findOutside(size_t from, const char *keyword) const;

    // Expressions, lowest precedence first.
    Expr parseExpression() { return parseXor(); }
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
    QString m_clause;
    std::vector<ScopeTable> m_scope;
    QList<QPair<QString, QString>> m_aliases; // select-list names usable in ORDER BY
    bool m_allowAliases = false;
    bool m_sawAggregate = false;
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
        return Expr{QStringLiteral("NULL"), Kind::Unknown, false, {}, true};
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

Expr Parser::parseXor()
{
    Expr l = parseOr();
    while (acceptKeyword("XOR")) {
        const Expr r = parseOr();
        l.sql = QStringLiteral("((CASE WHEN %1 THEN 1 ELSE 0 END) <> (CASE WHEN %2 THEN 1 ELSE 0 END))")
                    .arg(l.sql, r.sql);
        l.kind = Kind::Number;
        l.stringLiteral = l.column = false;
    }
    return l;
}

Expr Parser::parseOr()
{
    Expr l = parseAnd();
    while (acceptKeyword("OR")) {
        const Expr r = parseAnd();
        l = Expr{QStringLiteral("(%1 OR %2)").arg(l.sql, r.sql), Kind::Number, false, {}, false};
    }
    return l;
}

Expr Parser::parseAnd()
{
    Expr l = parseNot();
    while (acceptKeyword("AND")) {
        const Expr r = parseNot();
        l = Expr{QStringLiteral("(%1 AND %2)").arg(l.sql, r.sql), Kind::Number, false, {}, false};
    }
    return l;
}

Expr Parser::parseNot()
{
    if (acceptKeyword("NOT")) {
        const Expr e = parseNot();
        return Expr{QStringLiteral("(NOT %1)").arg(e.sql), Kind::Number, false, {}, false};
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
            if (isKeyword(peek(), "SELECT"))
                fail(); // sub-queries are not supported
            do {
                items.push_back(parseExpression());
            } while (acceptPunct(","));
            expectPunct(")");
            l = inList(l, items, negated);
        } else if (acceptKeyword("IS")) {
            const bool isNot = acceptKeyword("NOT");
            expectKeyword("NULL");
            l = Expr{QStringLiteral("(%1 IS %2NULL)").arg(l.sql, isNot ? QStringLiteral("NOT ") : QString()),
                     Kind::Number, false, {}, false};
        } else {
            return l;
        }
    }
}

Expr Parser::parseConcat()
{
    Expr l = parseAdditive();
    while (acceptPunct("&")) {
        const Expr r = parseAdditive();
        l = Expr{QStringLiteral("(coalesce(%1, '') || coalesce(%2, ''))").arg(l.sql, r.sql), Kind::Text, false,
                 {}, false};
    }
    return l;
}

Expr Parser::parseAdditive()
{
    Expr l = parseMod();
    for (;;) {
        if (acceptPunct("+")) {
            const Expr r = parseMod();
            if (l.kind == Kind::Number && r.kind == Kind::Number)
                l = Expr{QStringLiteral("(%1 + %2)").arg(l.sql, r.sql), Kind::Number, false, {}, false};
            else
                l = Expr{QStringLiteral("jet_add(%1, %2)").arg(l.sql, r.sql), Kind::Unknown, false, {}, false};
        } else if (acceptPunct("-")) {
            const Expr r = parseMod();
            l = Expr{QStringLiteral("(%1 - %2)").arg(l.sql, r.sql), Kind::Number, false, {}, false};
        } else {
            return l;
        }
    }
}

Expr Parser::parseMod()
{
    Expr l = parseIntDivision();
    while (acceptKeyword("MOD")) {
        const Expr r = parseIntDivision();
        l = Expr{QStringLiteral("(CAST(round(%1) AS INTEGER) % CAST(round(%2) AS INTEGER))").arg(l.sql, r.sql),
                 Kind::Number, false, {}, false};
    }
    return l;
}

Expr Parser::parseIntDivision()
{
    Expr l = parseMultiplicative();
    while (acceptPunct("\\")) {
        const Expr r = parseMultiplicative();
        l = Expr{QStringLiteral("(CAST(round(%1) AS INTEGER) / CAST(round(%2) AS INTEGER))").arg(l.sql, r.sql),
                 Kind::Number, false, {}, false};
    }
    return l;
}

Expr Parser::parseMultiplicative()
{
    Expr l = parseUnary();
    for (;;) {
        if (acceptPunct("*")) {
            const Expr r = parseUnary();
            l = Expr{QStringLiteral("(%1 * %2)").arg(l.sql, r.sql), Kind::Number, false, {}, false};
        } else if (acceptPunct("/")) {
            // Jet's '/' always divides as real numbers.
            const Expr r = parseUnary();
            l = Expr{QStringLiteral("(CAST(%1 AS REAL) / %2)").arg(l.sql, r.sql), Kind::Number, false, {}, false};
        } else {
            return l;
        }
    }
}

Expr Parser::parseUnary()
{
    if (acceptPunct("-")) {
        const Expr e = parseUnary();
        return Expr{QStringLiteral("(- %1)").arg(e.sql), Kind::Number, false, {}, false};
    }
    if (acceptPunct("+"))
        return parseUnary();
    return parsePower();
}

Expr Parser::parsePower()
{
    Expr l = parsePrimary();
    while (acceptPunct("^")) {
        Expr r;
        if (acceptPunct("-")) {
            const Expr e = parsePrimary();
            r = Expr{QStringLiteral("(- %1)").arg(e.sql), Kind::Number, false, {}, false};
        } else {
            r = parsePrimary();
        }
        l = Expr{QStringLiteral("jet_pow(%1, %2)").arg(l.sql, r.sql), Kind::Number, false, {}, false};
    }
    return l;
}

Expr Parser::parsePrimary()
{
    const Token &t = peek();
    switch (t.kind) {
    case Tok::Number:
        ++m_i;
        return Expr{t.text, Kind::Number, false, {}, false};
    case Tok::String:
        ++m_i;
        return Expr{quoteText(t.text), Kind::Text, true, t.text, false};
    case Tok::Date:
        ++m_i;
        return Expr{dateLiteral(t.text, m_clause), Kind::Date, false, {}, false};
    case Tok::Bracket:
        return parseColumn();
    case Tok::Name:
        if (isKeyword(t, "TRUE")) {
            ++m_i;
            return Expr{QStringLiteral("-1"), Kind::Number, false, {}, false};
        }
        if (isKeyword(t, "FALSE")) {
            ++m_i;
            return Expr{QStringLiteral("0"), Kind::Number, false, {}, false};
        }
        if (isKeyword(t, "NULL")) {
            ++m_i;
            return Expr{QStringLiteral("NULL"), Kind::Unknown, false, {}, false};
        }
        if (atPunct("(", 1)) {
            const QString name = next().text;
            return parseFunction(name);
        }
        if (isReserved(t))
            fail();
        return parseColumn();
    case Tok::Punct:
        if (acceptPunct("(")) {
            if (isKeyword(peek(), "SELECT"))
                fail(); // sub-queries are not supported
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
            return Expr{s.qualifier() + QLatin1Char('.') + quoteName(column), Kind::Unknown, false, {}, true};
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
    if (found) {
        const QString sql = m_scope.size() > 1 ? found->qualifier() + QLatin1Char('.') + quoteName(column)
                                               : quoteName(column);
        return Expr{sql, Kind::Unknown, false, {}, true};
    }
    if (m_allowAliases) {
        for (const auto &[alias, sql] : std::as_const(m_aliases)) {
            if (sameName(alias, first.text))
                return Expr{quoteName(alias), Kind::Unknown, false, {}, false};
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
    auto a = [&](size_t k) { return args[k].sql; };
    auto call = [&](const char *fn, Kind kind) {
        QStringList parts;
        for (const Expr &e : args)
            parts << e.sql;
        return Expr{QStringLiteral("%1(%2)").arg(QLatin1String(fn), parts.join(QStringLiteral(", "))), kind,
                    false, {}, false};
    };

    if (f == QLatin1String("ucase")) {
        need(1, 1);
        return call("jet_ucase", Kind::Text);
    }
    if (f == QLatin1String("lcase")) {
        need(1, 1);
        return call("jet_lcase", Kind::Text);
    }
    if (f == QLatin1String("left")) {
        need(2, 2);
        return Expr{QStringLiteral("substr(%1, 1, %2)").arg(a(0), a(1)), Kind::Text, false, {}, false};
    }
    if (f == QLatin1String("right")) {
        need(2, 2);
        return call("jet_right", Kind::Text);
    }
    if (f == QLatin1String("mid")) {
        need(2, 3);
        return call("substr", Kind::Text);
    }
    if (f == QLatin1String("len")) {
        need(1, 1);
        return call("jet_len", Kind::Number);
    }
    if (f == QLatin1String("trim")) {
        need(1, 1);
        return call("jet_trim", Kind::Text);
    }
    if (f == QLatin1String("ltrim")) {
        need(1, 1);
        return call("jet_ltrim", Kind::Text);
    }
    if (f == QLatin1String("rtrim")) {
        need(1, 1);
        return call("jet_rtrim", Kind::Text);
    }
    if (f == QLatin1String("val")) {
        need(1, 1);
        return call("jet_val", Kind::Number);
    }
    if (f == QLatin1String("instr")) {
        need(2, 4);
        if (argc == 2)
            args.insert(args.begin(), Expr{QStringLiteral("1"), Kind::Number, false, {}, false});
        return call("jet_instr", Kind::Number);
    }
    if (f == QLatin1String("iif")) {
        need(3, 3);
        const Kind kind = args[1].kind == args[2].kind ? args[1].kind : Kind::Unknown;
        return Expr{QStringLiteral("(CASE WHEN %1 THEN %2 ELSE %3 END)").arg(a(0), a(1), a(2)), kind, false, {},
                    false};
    }
    if (f == QLatin1String("nz")) {
        need(1, 2);
        const QString fallback = argc == 2 ? a(1) : QStringLiteral("''");
        return Expr{QStringLiteral("coalesce(%1, %2)").arg(a(0), fallback), args[0].kind, false, {}, false};
    }
    if (f == QLatin1String("isnull")) {
        need(1, 1);
        return Expr{QStringLiteral("(CASE WHEN %1 IS NULL THEN -1 ELSE 0 END)").arg(a(0)), Kind::Number, false,
                    {}, false};
    }
    if (f == QLatin1String("str")) {
        need(1, 1);
        return call("jet_str", Kind::Text);
    }
    if (f == QLatin1String("cstr")) {
        need(1, 1);
        return Expr{QStringLiteral("CAST(%1 AS TEXT)").arg(a(0)), Kind::Text, false, {}, false};
    }
    if (f == QLatin1String("clng") || f == QLatin1String("cint")) {
        need(1, 1);
        return Expr{QStringLiteral("CAST(round(%1) AS INTEGER)").arg(a(0)), Kind::Number, false, {}, false};
    }
    if (f == QLatin1String("cdbl") || f == QLatin1String("csng")) {
        need(1, 1);
        return Expr{QStringLiteral("CAST(%1 AS REAL)").arg(a(0)), Kind::Number, false, {}, false};
    }
    if (f == QLatin1String("cdate") || f == QLatin1String("datevalue")) {
        need(1, 1);
        return call("jet_date", Kind::Date);
    }
    if (f == QLatin1String("date")) {
        need(0, 0);
        return Expr{QStringLiteral("date('now', 'localtime')"), Kind::Date, false, {}, false};
    }
    if (f == QLatin1String("now")) {
        need(0, 0);
        return Expr{QStringLiteral("datetime('now', 'localtime')"), Kind::Date, false, {}, false};
    }
    if (f == QLatin1String("count")) {
        m_sawAggregate = true;
        if (star)
            return Expr{QStringLiteral("count(*)"), Kind::Number, false, {}, false};
        need(1, 1);
        return call("count", Kind::Number);
    }
    if (f == QLatin1String("sum") || f == QLatin1String("avg")) {
        m_sawAggregate = true;
        need(1, 1);
        return call(f == QLatin1String("sum") ? "sum" : "avg", Kind::Number);
    }
    if (f == QLatin1String("min") || f == QLatin1String("max")) {
        m_sawAggregate = true;
        need(1, 1);
        const QString arg = args[0].kind == Kind::Number || args[0].kind == Kind::Date ? a(0) : a(0) + collateSql();
        return Expr{QStringLiteral("%1(%2)").arg(f, arg), args[0].kind, false, {}, false};
    }
    defer(AppError(kUndefinedFunction,
                   QStringLiteral("Fonction « %1 » non définie dans l'expression « %2 ».").arg(name, m_clause.trimmed())));
    return Expr{QStringLiteral("NULL"), Kind::Unknown, false, {}, false};
}

// Operands made comparable the way Jet compares them: numbers as numbers,
// dates as dates, anything else as text under the JETTEXT collation.
struct Harmonised
{
    std::vector<QString> sql;
    bool collate = false;
};

Harmonised harmonise(const std::vector<const Expr *> &operands)
{
    Harmonised h;
    bool anyNumber = false, anyDate = false, allNumber = true, allDate = true;
    for (const Expr *e : operands) {
        anyNumber = anyNumber || e->kind == Kind::Number;
        anyDate = anyDate || e->kind == Kind::Date;
        allNumber = allNumber && e->kind == Kind::Number;
        allDate = allDate && e->kind == Kind::Date;
    }
    for (const Expr *e : operands) {
        if (anyNumber && !allNumber && e->kind != Kind::Number)
            h.sql.push_back(QStringLiteral("CAST(%1 AS NUMERIC)").arg(e->sql));
        else if (!anyNumber && anyDate && !allDate && e->kind != Kind::Date)
            h.sql.push_back(QStringLiteral("jet_date(%1)").arg(e->sql));
        else
            h.sql.push_back(e->sql);
    }
    h.collate = !anyNumber && !anyDate;
    return h;
}

Expr Parser::compare(const Expr &l, const QString &op, const Expr &r) const
{
    const Harmonised h = harmonise({&l, &r});
    return Expr{QStringLiteral("(%1 %2 %3%4)").arg(h.sql[0], op, h.sql[1], h.collate ? collateSql() : QString()),
                Kind::Number, false, {}, false};
}

Expr Parser::between(const Expr &value, const Expr &lo, const Expr &hi, bool negated) const
{
    const Harmonised h = harmonise({&value, &lo, &hi});
    const QString left = h.collate ? h.sql[0] + collateSql() : h.sql[0];
    return Expr{QStringLiteral("(%1 %2BETWEEN %3 AND %4)")
                    .arg(left, negated ? QStringLiteral("NOT ") : QString(), h.sql[1], h.sql[2]),
                Kind::Number, false, {}, false};
}

Expr Parser::inList(const Expr &value, const std::vector<Expr> &items, bool negated) const
{
    std::vector<const Expr *> operands{&value};
    for (const Expr &e : items)
        operands.push_back(&e);
    const Harmonised h = harmonise(operands);
    const QString left = h.collate ? h.sql[0] + collateSql() : h.sql[0];
    const QStringList list(h.sql.begin() + 1, h.sql.end());
    return Expr{QStringLiteral("(%1 %2IN (%3))")
                    .arg(left, negated ? QStringLiteral("NOT ") : QString(), list.join(QStringLiteral(", "))),
                Kind::Number, false, {}, false};
}

Expr Parser::like(const Expr &value, const Expr &pattern, bool negated) const
{
    QString sql;
    const bool canRewrite = pattern.stringLiteral && value.kind != Kind::Number && value.kind != Kind::Date;
    if (canRewrite && !hasWildcard(pattern.literal)) {
        // No wildcard: an equality, which a binary index can serve when the
        // text has no letters (inventory numbers).
        const QString equal = QStringLiteral("%1 = %2%3").arg(value.sql, quoteText(pattern.literal), collateSql());
        QString bound = pattern.literal;
        while (bound.endsWith(QLatin1Char(' ')))
            bound.chop(1);
        if (value.column && indexFriendly(bound)) {
            sql = QStringLiteral("(%1 >= %2 AND %1 <= %2 || char(1114111) AND %3)")
                      .arg(value.sql, quoteText(bound), equal);
        } else {
            sql = QLatin1Char('(') + equal + QLatin1Char(')');
        }
    } else if (canRewrite && value.column && pattern.literal.endsWith(QLatin1Char('*'))
               && !hasWildcard(pattern.literal.chopped(1)) && indexFriendly(pattern.literal.chopped(1))) {
        // A prefix ('5*'): a range an index can serve, then the test itself.
        const QString prefix = quoteText(pattern.literal.chopped(1));
        sql = QStringLiteral("(%1 >= %2 AND %1 <= %2 || char(1114111) AND (%1 LIKE %3))")
                  .arg(value.sql, prefix, quoteText(pattern.literal));
    } else {
        sql = QStringLiteral("(%1 LIKE %2)").arg(value.sql, pattern.sql);
    }
    if (negated)
        sql = QStringLiteral("(NOT %1)").arg(sql);
    return Expr{sql, Kind::Number, false, {}, false};
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
            fail(); // TOP n PERCENT is not supported
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
            const Expr e = parseExpression();
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
            const Expr e = parseExpression();
            groupBy << (e.kind == Kind::Number || e.kind == Kind::Date ? e.sql : e.sql + collateSql());
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
            const Expr e = parseExpression();
            QString direction = QStringLiteral("ASC");
            if (acceptKeyword("DESC"))
                direction = QStringLiteral("DESC");
            else
                acceptKeyword("ASC");
            const bool text = e.kind != Kind::Number && e.kind != Kind::Date;
            out.orderByKeySql << e.sql;
            out.orderByBinarySql << e.sql + QLatin1Char(' ') + direction;
            out.orderBySql << (text ? e.sql + collateSql() : e.sql) + QLatin1Char(' ') + direction;
        } while (acceptPunct(","));
        m_allowAliases = false;
    }
    acceptPunct(";");
    if (peek().kind != Tok::End) {
        m_clause = m_src;
        fail();
    }
    throwPending();

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
    if (peek().kind != Tok::End)
        fail();
    throwPending();
    return e.sql;
}

} // namespace

TranslatedSelect translateRecordSource(const QString &jetSource, const Schema &schema)
{
    QString source = jetSource.trimmed();
    if (source.left(6).compare(QLatin1String("SELECT"), Qt::CaseInsensitive) == 0
        && (source.size() == 6 || !isNamePart(source.at(6)))) {
        Parser parser(source, schema);
        return parser.parseSelectStatement();
    }

    // A table name, bracketed or not.
    if (source.endsWith(QLatin1Char(';')))
        source = source.chopped(1).trimmed();
    if (source.startsWith(QLatin1Char('[')) && source.endsWith(QLatin1Char(']')))
        source = source.mid(1, source.size() - 2);
    const SchemaTable *table = schema.findTable(source);
    if (!table)
        throw tableError(source);
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
