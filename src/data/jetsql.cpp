#include "data/jetsql.h"

#include "data/jetsqlparser.h"

namespace jetsql {

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
    return make((m_pg ? QStringLiteral("(- CAST(%1 AS integer))") : QStringLiteral("(- %1)")).arg(e.sql),
                Kind::Number, {&e}, 1);
}

Expr Parser::number(const Expr &e) const
{
    const Expr v = value(e);
    if (m_pg && textual(v)) // SQLite reads a text as a number by itself
        return make(QStringLiteral("jet_num(CAST(%1 AS text))").arg(v.sql), Kind::Number, {&v}, 1);
    if (v.kind != Kind::Date)
        return v;
    return make(QStringLiteral("jet_datenum(%1)").arg(v.sql), Kind::Number, {&v}, 1);
}

Expr Parser::text(const Expr &e) const
{
    const Expr v = value(e);
    if (m_pg && v.kind == Kind::Number)
        return make(QStringLiteral("CAST(%1 AS text)").arg(v.sql), Kind::Text, {&v}, 1);
    if (v.kind != Kind::Date)
        return v;
    return make(QStringLiteral("jet_frenchdate(%1)").arg(v.sql), Kind::Text, {&v}, 1);
}

Expr Parser::truthOf(const Expr &e) const
{
    if (e.truth)
        return e;
    if (m_pg)
        return condition(e);
    // Twice Not: 1, 0 or Null, true exactly where the value is true in a WHERE.
    return makeTruth(QStringLiteral("(NOT NOT %1)").arg(e.sql), {&e});
}

Expr Parser::condition(const Expr &e) const
{
    if (!m_pg || e.truth)
        return e;
    const Expr n = number(e);
    return makeTruth(QStringLiteral("(%1 <> 0)").arg(n.sql), {&n}, 1);
}

QString qualifiedTable(const QString &name, const SqlDialect &dialect)
{
    const QString schema = dialect.postgres() ? dialect.schemas.value(name) : QString();
    return schema.isEmpty() ? quoteName(name) : quoteName(schema) + QLatin1Char('.') + quoteName(name);
}

QStringList starColumns(const ScopeTable &scope)
{
    QStringList columns;
    for (const QString &column : scope.table->columns)
        columns << scope.qualifier() + QLatin1Char('.') + quoteName(column);
    return columns;
}

QString rowKey(const QString &table, const SqlDialect &dialect)
{
    return dialect.postgres() ? quoteName(dialect.keyColumns.value(table)) : QStringLiteral("rowid");
}

void Parser::notYet(const QString &what) const
{
    unsupported(what + QStringLiteral(" avec PostgreSQL"), m_clause);
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
    QString sql = qualifiedTable(table->name, m_dialect);
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
        const Expr on = condition(parseExpression());
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
    std::vector<std::pair<QString, bool>> columnValues; // each item's value and whether it is textual
    bool hasAggregate = false;
    for (;;) {
        if (acceptPunct("*")) {
            if (m_pg) {
                // The server's tables carry a key column of their own, which
                // is no field: every column of the files is named instead.
                for (const ScopeTable &s : m_scope)
                    columns << starColumns(s);
            } else {
                columns << QStringLiteral("*");
            }
        } else if ((peek().kind == Tok::Name || peek().kind == Tok::Bracket) && (atPunct(".", 1) || atPunct("!", 1))
                   && atPunct("*", 2)) {
            const Token table = next();
            m_i += 2;
            const ScopeTable *found = nullptr;
            for (const ScopeTable &s : m_scope) {
                if (s.alias.isEmpty() ? sameName(s.table->name, table.text) : sameName(s.alias, table.text))
                    found = &s;
            }
            if (found && m_pg)
                columns << starColumns(*found);
            else if (found)
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
                columnValues.emplace_back(e.sql, textual(e));
                m_aliases.append({alias.text, e.sql});
            } else {
                columns << e.sql;
                columnValues.emplace_back(e.sql, textual(e));
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
    QStringList groupBy, groupKeys;
    if (isKeyword(peek(), "WHERE")) {
        m_clause = clauseText(m_i + 1);
        ++m_i;
        where = condition(parseExpression()).sql;
    }
    if (isKeyword(peek(), "GROUP")) {
        m_clause = clauseText(m_i);
        ++m_i;
        expectKeyword("BY");
        do {
            const Expr e = value(parseExpression());
            groupBy << (textual(e) ? e.sql + collate() : e.sql);
            if (textual(e))
                groupKeys << e.sql;
        } while (acceptPunct(","));
    }
    if (isKeyword(peek(), "HAVING")) {
        m_clause = clauseText(m_i + 1);
        ++m_i;
        having = condition(parseExpression()).sql;
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
            // Jet puts Nulls first, as SQLite does; PostgreSQL puts them last.
            if (m_pg)
                direction += direction == QLatin1String("ASC") ? QStringLiteral(" NULLS FIRST")
                                                               : QStringLiteral(" NULLS LAST");
            out.orderByBinarySql << e.sql + QLatin1Char(' ') + direction;
            out.orderBySql << (textual(e) ? e.sql + collate() : e.sql) + QLatin1Char(' ') + direction;
        } while (acceptPunct(","));
        m_allowAliases = false;
    }
    if (isKeyword(peek(), "UNION"))
        unsupported(QStringLiteral("les requêtes Union (UNION)"), m_src);
    m_clause = m_src;
    expectEnd();
    throwPending();

    // PostgreSQL groups texts under the collation only if the selected
    // value is the grouped one, collation included.
    if (m_pg && !groupKeys.isEmpty()) {
        qsizetype item = 0;
        for (QString &column : columns) {
            if (column.endsWith(QLatin1String("*")))
                continue;
            const auto &[sql, isText] = columnValues[size_t(item++)];
            if (isText && groupKeys.contains(sql))
                column.replace(0, sql.size(), sql + collate());
        }
    }

    out.readsClock = m_readsClock;
    out.columnsSql = columns.join(QStringLiteral(", "));
    out.fromSql = m_fromSql;
    out.whereSql = where;
    out.singleTable = m_scope.size() == 1 && !m_joined && !distinct && limit.isEmpty() && groupBy.isEmpty()
                      && having.isEmpty() && !hasAggregate;
    if (m_scope.size() == 1) {
        out.table = m_scope.front().table->name;
        out.keySql = rowKey(out.table, m_dialect);
    }

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
    else if (m_pg && !groupBy.isEmpty())
        // SQLite, like Jet, gives groups in the order of their keys;
        // PostgreSQL in any order unless told.
        sql += QStringLiteral(" ORDER BY ") + groupBy.join(QStringLiteral(", "));
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
    const Expr e = condition(parseExpression());
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

} // namespace jetsql

using namespace jetsql;

TranslatedSelect translateRecordSource(const QString &jetSource, const Schema &schema, const SqlDialect &dialect)
{
    QString source = jetSource.trimmed();
    const QString word = leadingWord(source);
    if (oneOf(word, {"SELECT"})) {
        Parser parser(source, schema, dialect);
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
    out.keySql = rowKey(table->name, dialect);
    out.fromSql = qualifiedTable(table->name, dialect);
    out.columnsSql = dialect.postgres() ? starColumns(ScopeTable{table, {}}).join(QStringLiteral(", "))
                                        : QStringLiteral("*");
    out.sql = QStringLiteral("SELECT ") + out.columnsSql + QStringLiteral(" FROM ") + out.fromSql;
    return out;
}

QString translateCondition(const QString &jetCondition, const Schema &schema, const QString &table,
                           const SqlDialect &dialect)
{
    Parser parser(jetCondition.trimmed(), schema, dialect);
    return parser.parseConditionFor(table);
}
