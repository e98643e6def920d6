// The Jet SQL translator's expressions: operators, columns, function calls,
// comparisons, Between, In and Like.

#include "data/jetsqlparser.h"

#include <cstring>

namespace jetsql {

// Jet's precedence, from the loosest: Imp, Eqv, Xor, Or, And, Not.
Expr Parser::parseImp()
{
    Expr l = parseEqv();
    while (acceptKeyword("IMP")) {
        l = condition(l);
        const Expr r = condition(parseEqv());
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
    if (terms.size() > 1)
        for (Expr &e : terms)
            e = condition(e);
    return terms.size() == 1 ? terms.front() : chain(terms, QStringLiteral(" OR "), Kind::Number, true);
}

Expr Parser::parseAnd()
{
    std::vector<Expr> terms{parseNot()};
    while (acceptKeyword("AND"))
        terms.push_back(parseNot());
    if (terms.size() > 1)
        for (Expr &e : terms)
            e = condition(e);
    return terms.size() == 1 ? terms.front() : chain(terms, QStringLiteral(" AND "), Kind::Number, true);
}

Expr Parser::parseNot()
{
    if (acceptKeyword("NOT")) {
        const Nested nested(*this);
        const Expr e = condition(parseNot());
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
        else if (m_pg && plus && textual(a) && textual(b)) // every stored value is text: '+' joins
            l = make(QStringLiteral("(%1 || %2)").arg(a.sql, b.sql), Kind::Text, {&a, &b}, 1);
        else if (m_pg)
            l = make(QStringLiteral("jet_addsub(CAST(%1 AS text), CAST(%2 AS text), %3)")
                         .arg(a.sql, b.sql, plus ? QStringLiteral("1") : QStringLiteral("-1")),
                     Kind::Unknown, {&a, &b}, 1);
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
        // Rounded halves to even too; by zero Null, as in SQLite.
        if (m_pg) {
            l = make(QStringLiteral("(CAST(%1 AS bigint) % NULLIF(CAST(%2 AS bigint), 0))").arg(a.sql, b.sql),
                     Kind::Number, {&a, &b});
            continue;
        }
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
        if (m_pg) {
            l = make(QStringLiteral("(CAST(%1 AS bigint) / NULLIF(CAST(%2 AS bigint), 0))").arg(a.sql, b.sql),
                     Kind::Number, {&a, &b});
            continue;
        }
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
            l = make(QStringLiteral("(CAST(%1 AS %3) / %2)")
                         .arg(a.sql, b.sql, m_pg ? QStringLiteral("double precision") : QStringLiteral("REAL")),
                     Kind::Number, {&a, &b});
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
        l = make((m_pg ? QStringLiteral("power(CAST(%1 AS double precision), %2)") : QStringLiteral("jet_pow(%1, %2)"))
                     .arg(a.sql, b.sql),
                 Kind::Number, {&a, &b}, 1);
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
        Expr e = atom(quoteText(t.text, m_pg), Kind::Text);
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
            defer(AppError(ErrorNumber::AmbiguousField,
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
                // PostgreSQL takes an output name alone, not in an expression.
                return atom(m_pg ? QLatin1Char('(') + sql + QLatin1Char(')') : quoteName(alias), Kind::Unknown);
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
            defer(AppError(ErrorNumber::InvalidArgument,
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

    const JetFunction *fn = findJetFunction(f);
    if (fn && fn->interval && argc > 0)
        checkInterval(fn->jetName);
    if (m_pg) {
        if (std::optional<Expr> e = postgresFunction(f, args))
            return *e;
    }
    if (f == QLatin1String("instr") && argc == 2)
        return result(QStringLiteral("jet_instr(1, %1, %2)").arg(t(0), t(1)), Kind::Number);
    if (fn) {
        need(size_t(fn->minArgs), size_t(fn->maxArgs));
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
        return result(QStringLiteral("(CASE WHEN %1 THEN %2 ELSE %3 END)").arg(condition(args[0]).sql, v(1), v(2)),
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
            sql += QStringLiteral(" WHEN %1 THEN %2").arg(condition(args[k]).sql, v(k + 1));
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
        const QString arg = textual(e) ? e.sql + collate() : e.sql;
        return result(QStringLiteral("%1(%2)").arg(f, arg), e.kind);
    }
    defer(AppError(ErrorNumber::UndefinedFunction,
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
    if (l.kind == r.kind && (l.kind == Kind::Number || l.kind == Kind::Date)) {
        // ISO dates compare as their bytes; a locale's order may skip punctuation.
        const QString bytes = m_pg && l.kind == Kind::Date ? QStringLiteral(" COLLATE \"C\"") : QString();
        return makeTruth(QStringLiteral("(%1 %2 %3%4)").arg(l.sql, op, r.sql, bytes), {&l, &r}, 1);
    }
    if ((l.kind == Kind::Number && r.kind == Kind::Date) || (l.kind == Kind::Date && r.kind == Kind::Number)) {
        const Expr a = number(l);
        const Expr b = number(r);
        return makeTruth(QStringLiteral("(%1 %2 %3)").arg(a.sql, op, b.sql), {&a, &b}, 1);
    }
    if (textual(l) && textual(r) && m_pg)
        return postgresTextCompare(l, op, r);
    if (textual(l) && textual(r))
        return makeTruth(QStringLiteral("(%1 %2 %3%4)").arg(l.sql, op, r.sql, collate()), {&l, &r});
    if (m_pg)
        return makeTruth(QStringLiteral("(jet_cmp(CAST(%1 AS text), CAST(%2 AS text), %3) %4 0)")
                             .arg(l.sql, r.sql, l.kind == Kind::Number || r.kind == Kind::Number ? "1" : "2", op),
                         {&l, &r});
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
    const QString asText = m_pg ? QStringLiteral("CAST(%1 AS text)") : QStringLiteral("%1");
    return makeTruth(QStringLiteral("(%1jet_between(%2, %3, %4, %5))")
                         .arg(negated ? QStringLiteral("NOT ") : QString(), asText.arg(v.sql), asText.arg(a.sql),
                              asText.arg(b.sql), QString::number(domain)),
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
    // PostgreSQL: each text compared in turn, trailing blanks aside.
    if (allTexts && textual(v) && !m_pg)
        return inSql(v.sql + collate());
    // A field among numbers or dates: its text read as a number or a date.
    if (allNumbers && textual(v))
        return inSql(QString::fromLatin1(m_pg ? "jet_num(CAST(%1 AS text))" : "jet_num(%1)").arg(v.sql));
    if (allDates && textual(v))
        return inSql(QString::fromLatin1(m_pg ? "jet_date(CAST(%1 AS text))" : "jet_date(%1)").arg(v.sql));
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
    if (m_pg) {
        // Without wildcard, an equality, which an index can serve.
        QString sql = !pattern.stringLiteral
                          ? QStringLiteral("(%1 COLLATE \"und-x-icu\" ~* jet_likeregex(%2))").arg(value.sql, pattern.sql)
                      : hasWildcard(pattern.literal)
                          ? postgresLike(value.sql, pattern.literal)
                          : postgresTextCompare(value, QStringLiteral("="), pattern).sql;
        if (negated)
            sql = QStringLiteral("(NOT %1)").arg(sql);
        return makeTruth(sql, {&value, &pattern}, 5);
    }
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

} // namespace jetsql
