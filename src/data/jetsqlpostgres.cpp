// What the Jet SQL translator writes differently for PostgreSQL: LIKE
// patterns, the Jet functions, and the SQL functions the database needs.

#include "data/jetsqlparser.h"

namespace jetsql {

namespace {

// A character as a regular expression (PostgreSQL's AREs) reads it alone or
// inside brackets.
QString regexChar(QChar c, bool inBrackets)
{
    static const QString outside = QStringLiteral("\\.^$|?*+()[]{}");
    static const QString inside = QStringLiteral("\\^]-[");
    return (inBrackets ? inside : outside).contains(c) ? QLatin1Char('\\') + c : QString(c);
}

} // namespace

// Jet's '*' and '?' are ILIKE's '%' and '_' (whose own '%', '_' and '\' are
// escaped), so that a trigram index serves '*word*'. A pattern with '#' or a
// set of characters becomes a regular expression. Both compare without
// regard to case, accents significant, as Jet's LIKE; PostgreSQL runs
// neither under the nondeterministic "jet" collation, hence ICU's
// deterministic "und-x-icu", the one the set-up's trigram indexes use.
QString postgresLike(const QString &valueSql, const QString &pattern)
{
    QString like, regex;
    bool needsRegex = false;
    const qsizetype n = pattern.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('*')) {
            like += QLatin1Char('%');
            regex += QStringLiteral(".*");
        } else if (c == QLatin1Char('?')) {
            like += QLatin1Char('_');
            regex += QLatin1Char('.');
        } else if (c == QLatin1Char('#')) {
            needsRegex = true;
            regex += QStringLiteral("[0-9]");
        } else if (c == QLatin1Char('[') && pattern.indexOf(QLatin1Char(']'), i + 1) > i) {
            // As the engine's LIKE: "[]" is dropped, "[!]" is any one
            // character, a set of one character is that character.
            const qsizetype close = pattern.indexOf(QLatin1Char(']'), i + 1);
            QString set = pattern.mid(i + 1, close - i - 1);
            i = close;
            const bool negated = set.startsWith(QLatin1Char('!'));
            if (negated)
                set.remove(0, 1);
            if (set.isEmpty() && !negated)
                continue;
            if (set.isEmpty()) {
                like += QLatin1Char('_');
                regex += QLatin1Char('.');
                continue;
            }
            if (set.size() == 1 && !negated) {
                const QChar only = set.at(0);
                like += only == QLatin1Char('%') || only == QLatin1Char('_') || only == QLatin1Char('\\')
                            ? QLatin1Char('\\') + QString(only)
                            : QString(only);
                regex += regexChar(only, false);
                continue;
            }
            needsRegex = true;
            QString inside;
            for (qsizetype j = 0; j < set.size(); ++j) {
                if (j + 2 < set.size() && set.at(j + 1) == QLatin1Char('-')) {
                    QChar lo = set.at(j), hi = set.at(j + 2);
                    if (hi < lo)
                        std::swap(lo, hi);
                    inside += regexChar(lo, true) + QLatin1Char('-') + regexChar(hi, true);
                    j += 2;
                } else {
                    inside += regexChar(set.at(j), true);
                }
            }
            regex += QLatin1Char('[') + (negated ? QStringLiteral("^") : QString()) + inside + QLatin1Char(']');
        } else {
            like += c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\') ? QLatin1Char('\\') + QString(c)
                                                                                              : QString(c);
            regex += regexChar(c, false);
        }
    }
    if (needsRegex)
        return QStringLiteral("(%1 COLLATE \"und-x-icu\" ~* %2)").arg(valueSql, quoteText(QLatin1Char('^') + regex + QLatin1Char('$'), true));
    return QStringLiteral("(%1 COLLATE \"und-x-icu\" ILIKE %2)").arg(valueSql, quoteText(like, true));
}

// The engine's collation ignores trailing blanks, ICU's does not: both
// sides compare without them. A column against a literal keeps a range that
// the column's index serves: a text equal to the literal but for trailing
// blanks sorts from it to it followed by '!', as the blank sorts before
// every other printable character under ICU (not before tabs, line ends and
// the like: literals with those compare without a range). Likewise
// rtrim(v) > L implies v > L, and rtrim(v) < L implies v < L followed by '!'.
Expr Parser::postgresTextCompare(const Expr &left, const QString &op, const Expr &right) const
{
    auto trimmed = [&](const Expr &e) {
        if (!e.stringLiteral)
            return QStringLiteral("rtrim(%1, ' ')").arg(e.sql);
        QString fixed = e.literal;
        while (fixed.endsWith(QLatin1Char(' ')))
            fixed.chop(1);
        return literal(fixed);
    };
    const bool swapped = left.stringLiteral && right.column;
    const Expr &l = swapped ? right : left;
    const Expr &r = swapped ? left : right;
    QString o = op;
    if (swapped && op != QLatin1String("<>") && op != QLatin1String("=")) {
        const QChar to = op.at(0) == QLatin1Char('<') ? QLatin1Char('>') : QLatin1Char('<');
        o[0] = to;
    }
    const QString test = QStringLiteral("%1 %2 %3%4").arg(trimmed(l), o, trimmed(r), collate());
    QString fixed = r.literal;
    while (fixed.endsWith(QLatin1Char(' ')))
        fixed.chop(1);
    const bool plain = !fixed.isEmpty() && std::all_of(fixed.begin(), fixed.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() != 0x85 && c.unicode() != 0x2028 && c.unicode() != 0x2029;
    });
    if (!l.column || !r.stringLiteral || !plain || o == QLatin1String("<>"))
        return makeTruth(QLatin1Char('(') + test + QLatin1Char(')'), {&l, &r});
    const QString bound = literal(fixed + QLatin1Char('!')) + collate();
    QString range;
    if (o == QLatin1String("="))
        range = QStringLiteral("%1 >= %2%3 AND %1 < %4").arg(l.sql, literal(fixed), collate(), bound);
    else if (o.startsWith(QLatin1Char('<')))
        range = QStringLiteral("%1 < %2").arg(l.sql, bound);
    else
        range = QStringLiteral("%1 %2 %3%4").arg(l.sql, o, literal(fixed), collate());
    return makeTruth(QStringLiteral("(%1 AND %2)").arg(range, test), {&l, &r});
}

std::optional<Expr> Parser::postgresFunction(const QString &f, const std::vector<Expr> &args)
{
    const size_t argc = args.size();
    auto need = [&](size_t lo, size_t hi) {
        if (argc < lo || argc > hi)
            fail();
    };
    auto t = [&](size_t k) { return text(args[k]).sql; };
    auto n = [&](size_t k) { return QStringLiteral("CAST(%1 AS integer)").arg(number(args[k]).sql); };
    // A value as a date reads it: a number is a date's serial.
    auto dateText = [&](size_t k) {
        const Expr v = value(args[k]);
        return v.kind == Kind::Number ? QStringLiteral("jet_serialdate(%1)").arg(v.sql)
                                      : QStringLiteral("CAST(%1 AS text)").arg(v.sql);
    };
    // A value read as a date (ISO text), whatever its kind.
    auto d = [&](size_t k) { return QStringLiteral("jet_date(%1)").arg(dateText(k)); };
    // An optional argument, or what stands for it when absent.
    auto optional = [&](size_t k, const char *absent) {
        return k < argc ? number(args[k]).sql : QString::fromLatin1(absent);
    };
    int height = 0;
    for (const Expr &e : args)
        height = std::max(height, e.height);
    auto result = [&](const QString &sql, Kind kind) {
        Expr base;
        base.height = height;
        return make(sql, kind, {&base}, 3);
    };
    auto truth = [&](const QString &sql) {
        Expr e = result(sql, Kind::Number);
        e.truth = true;
        return e;
    };
    auto oneText = [&](const char *sql) {
        need(1, 1);
        return result(QString::fromLatin1(sql).arg(t(0)), Kind::Text);
    };
    auto datePart = [&](const char *field) {
        need(1, 1);
        return result(QStringLiteral("CAST(extract(%1 FROM CAST(%2 AS timestamp)) AS integer)")
                          .arg(QLatin1String(field), d(0)),
                      Kind::Number);
    };

    if (f == QLatin1String("ucase"))
        return oneText("upper(%1)");
    if (f == QLatin1String("lcase"))
        return oneText("lower(%1)");
    if (f == QLatin1String("trim"))
        return oneText("btrim(%1, ' ')");
    if (f == QLatin1String("ltrim"))
        return oneText("ltrim(%1, ' ')");
    if (f == QLatin1String("rtrim"))
        return oneText("rtrim(%1, ' ')");
    if (f == QLatin1String("len")) {
        need(1, 1);
        return result(QStringLiteral("char_length(%1)").arg(t(0)), Kind::Number);
    }
    if (f == QLatin1String("left")) {
        need(2, 2);
        return result(QStringLiteral("substr(%1, 1, %2)").arg(t(0), n(1)), Kind::Text);
    }
    if (f == QLatin1String("right")) {
        need(2, 2);
        return result(QStringLiteral("right(%1, %2)").arg(t(0), n(1)), Kind::Text);
    }
    if (f == QLatin1String("mid")) {
        need(2, 3);
        return result(argc == 2 ? QStringLiteral("substr(%1, %2)").arg(t(0), n(1))
                                : QStringLiteral("substr(%1, %2, %3)").arg(t(0), n(1), n(2)),
                      Kind::Text);
    }
    if (f == QLatin1String("instr") && argc == 2)
        return result(QStringLiteral("strpos(lower(%1 COLLATE \"und-x-icu\"), lower(%2))").arg(t(0), t(1)), Kind::Number);
    if (f == QLatin1String("instr")) {
        need(3, 4);
        return result(QStringLiteral("jet_instr(%1, %2, %3, %4)").arg(number(args[0]).sql, t(1), t(2), optional(3, "NULL")),
                      Kind::Number);
    }
    if (f == QLatin1String("instrrev")) {
        need(2, 4);
        return result(QStringLiteral("jet_instrrev(%1, %2, %3, %4)").arg(t(0), t(1), optional(2, "-1"), optional(3, "NULL")),
                      Kind::Number);
    }
    if (f == QLatin1String("replace")) {
        need(3, 6);
        return result(QStringLiteral("jet_replace(%1, %2, %3, %4, %5, %6)")
                          .arg(t(0), t(1), t(2), optional(3, "1"), optional(4, "-1"), optional(5, "NULL")),
                      Kind::Text);
    }
    if (f == QLatin1String("strcomp")) {
        need(2, 3);
        return result(QStringLiteral("jet_strcomp(%1, %2, %3)").arg(t(0), t(1), optional(2, "NULL")), Kind::Number);
    }
    if (f == QLatin1String("str")) {
        need(1, 1);
        return result(QStringLiteral("jet_str(CAST(%1 AS text))").arg(value(args[0]).sql), Kind::Text);
    }
    if (f == QLatin1String("asc") || f == QLatin1String("ascw")) {
        need(1, 1);
        return result(QStringLiteral("jet_asc(%1, %2)").arg(t(0), f == QLatin1String("ascw") ? "true" : "false"),
                      Kind::Number);
    }
    if (f == QLatin1String("chr") || f == QLatin1String("chrw")) {
        // A text that reads as no number is an error there, not Null.
        need(1, 1);
        const Expr v = value(args[0]);
        return result(QStringLiteral("jet_chr(CAST(%1 AS text), %2)")
                          .arg(textual(v) ? v.sql : number(v).sql, f == QLatin1String("chrw") ? "true" : "false"),
                      Kind::Text);
    }
    if (f == QLatin1String("cint") || f == QLatin1String("clng")) {
        need(1, 1);
        return result(QStringLiteral("jet_roundint(%1, %2)")
                          .arg(number(args[0]).sql, f == QLatin1String("cint") ? "32767" : "2147483647"),
                      Kind::Number);
    }
    if (f == QLatin1String("val")) {
        need(1, 1);
        return result(QStringLiteral("jet_val(%1)").arg(t(0)), Kind::Number);
    }
    if (f == QLatin1String("isnumeric")) {
        need(1, 1);
        return truth(QStringLiteral("(jet_num(CAST(%1 AS text)) IS NOT NULL)").arg(value(args[0]).sql));
    }
    if (f == QLatin1String("isdate")) {
        // A number is no date to IsDate, though CDate reads it as a serial.
        need(1, 1);
        if (value(args[0]).kind == Kind::Number)
            return truth(QStringLiteral("FALSE"));
        return truth(QStringLiteral("(%1 IS NOT NULL)").arg(d(0)));
    }
    if (f == QLatin1String("cdate")) {
        need(1, 1);
        return result(d(0), Kind::Date);
    }
    if (f == QLatin1String("datevalue")) {
        need(1, 1);
        return result(QStringLiteral("left(%1, 10)").arg(d(0)), Kind::Date);
    }
    if (f == QLatin1String("dateserial")) {
        need(3, 3);
        return result(QStringLiteral("jet_dateserial(%1, %2, %3)").arg(number(args[0]).sql, number(args[1]).sql,
                                                                       number(args[2]).sql),
                      Kind::Date);
    }
    if (f == QLatin1String("datepart")) {
        need(2, 4);
        return result(QStringLiteral("jet_datepart(%1, %2, %3, %4)").arg(t(0), dateText(1), optional(2, "NULL"), optional(3, "NULL")),
                      Kind::Number);
    }
    if (f == QLatin1String("cdbl") || f == QLatin1String("csng")) {
        need(1, 1);
        return result(QStringLiteral("CAST(%1 AS double precision)").arg(number(args[0]).sql), Kind::Number);
    }
    if (f == QLatin1String("date")) {
        need(0, 0);
        m_readsClock = true;
        return result(QStringLiteral("to_char(localtimestamp, 'YYYY-MM-DD')"), Kind::Date);
    }
    if (f == QLatin1String("now")) {
        need(0, 0);
        m_readsClock = true;
        return result(QStringLiteral("jet_date(to_char(localtimestamp, 'YYYY-MM-DD HH24:MI:SS'))"), Kind::Date);
    }
    for (const auto &[jet, field] : {std::pair{"year", "year"}, {"month", "month"}, {"day", "day"}, {"hour", "hour"},
                                     {"minute", "minute"}, {"second", "second"}}) {
        if (f == QLatin1String(jet))
            return datePart(field);
    }
    if (f == QLatin1String("weekday") && argc == 1) // Sunday is 1
        return result(QStringLiteral("(CAST(extract(dow FROM CAST(%1 AS timestamp)) AS integer) + 1)").arg(d(0)),
                      Kind::Number);
    if (f == QLatin1String("weekday")) {
        need(2, 2);
        return result(QStringLiteral("jet_datepart('w', %1, %2, NULL)").arg(dateText(0), number(args[1]).sql),
                      Kind::Number);
    }
    if (f == QLatin1String("dateadd")) {
        need(3, 3);
        return result(QStringLiteral("jet_dateadd(%1, %2, %3)").arg(t(0), number(args[1]).sql, dateText(2)),
                      Kind::Date);
    }
    if (f == QLatin1String("datediff") && argc == 3)
        return result(QStringLiteral("jet_datediff(%1, %2, %3)").arg(t(0), dateText(1), dateText(2)), Kind::Number);
    if (f == QLatin1String("datediff")) {
        need(4, 5);
        return result(QStringLiteral("jet_datediff(%1, %2, %3, %4, %5)")
                          .arg(t(0), dateText(1), dateText(2), number(args[3]).sql, optional(4, "NULL")),
                      Kind::Number);
    }
    if (findJetFunction(f) || f == QLatin1String("weekday"))
        notYet(QStringLiteral("la fonction %1").arg(f));
    return std::nullopt;
}

} // namespace jetsql

// Jet reads a text as a number or a date as the engine's functions do
// (jetfunctions.h): blanks around, a point or a French comma; a date day
// first or in ISO order, carried as ISO text. jet_cmp compares two values in
// a domain (0 text, 1 number, 2 date) as jet_cmpnum, jet_cmpdate and
// jet_between do for SQLite: a blank value is Null, a text that reads as
// neither keeps the text comparison.
//
// A parameter takes the collation of its argument, the columns' "jet":
// PostgreSQL runs no regular expression nor substring search under a
// nondeterministic collation, hence the "C" or "und-x-icu" inside.
QStringList postgresqlJetFunctions()
{
    QString windows1252;
    for (const char16_t c : kWindows1252High)
        windows1252 += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    return {
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_num(v text) RETURNS double precision
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT CASE WHEN btrim(v COLLATE "C", E' \t\r\n') ~ '^[+-]?([0-9]+([.,][0-9]*)?|[.,][0-9]+)([eEdD][+-]?[0-9]+)?$'
THEN CAST(translate(btrim(v, E' \t\r\n'), ',dD', '.ee') AS double precision) END $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_val(v text) RETURNS double precision
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT coalesce(CAST(substring(translate(regexp_replace(v COLLATE "C", E'[ \t\r\n]', '', 'g'), 'dD', 'ee')
FROM '^[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?') AS double precision), 0) $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_date(v text) RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $$
DECLARE m text[]; t timestamp;
BEGIN
  m := regexp_match(btrim(v COLLATE "C", E' \t'), '^(\d{1,2})/(\d{1,2})/(\d{4})(?: (\d{1,2}):(\d{2})(?::(\d{2}))?)?$');
  IF m IS NOT NULL THEN
    m := ARRAY[m[3], m[2], m[1], m[4], m[5], m[6]];
  ELSE
    m := regexp_match(btrim(v COLLATE "C", E' \t'), '^(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T](\d{1,2}):(\d{2})(?::(\d{2}))?)?$');
  END IF;
  IF m IS NULL THEN
    RETURN NULL;
  END IF;
  t := make_timestamp(m[1]::int, m[2]::int, m[3]::int, coalesce(m[4], '0')::int, coalesce(m[5], '0')::int,
                      coalesce(m[6], '0')::double precision);
  RETURN to_char(t, CASE WHEN t = date_trunc('day', t) THEN 'YYYY-MM-DD' ELSE 'YYYY-MM-DD HH24:MI:SS' END);
EXCEPTION WHEN datetime_field_overflow OR invalid_datetime_format OR numeric_value_out_of_range THEN
  RETURN NULL;
END $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_frenchdate(v text) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT substr(d, 9, 2) || '/' || substr(d, 6, 2) || '/' || substr(d, 1, 4) || substr(d, 11)
FROM (SELECT jet_date(v) AS d) AS s $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_dateplus(d text, days double precision) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT jet_date(to_char(CAST(jet_date(d) AS timestamp) + make_interval(secs => round(days * 86400)),
                        'YYYY-MM-DD HH24:MI:SS')) $$)"),
        // '+' (sign 1) and '-' (sign -1) where the row alone knows whether a
        // value is a number or a date; the result as text.
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_addsub(a text, b text, sign integer) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE x double precision := jet_num(a); y double precision := jet_num(b);
  p timestamp := CAST(jet_date(a) AS timestamp); q timestamp := CAST(jet_date(b) AS timestamp);
BEGIN
  IF x IS NOT NULL AND y IS NOT NULL THEN
    RETURN CAST(x + sign * y AS text);
  END IF;
  IF sign < 0 AND p IS NOT NULL AND q IS NOT NULL THEN
    RETURN CAST(CAST(extract(epoch FROM p - q) / 86400 AS double precision) AS text);
  END IF;
  IF p IS NOT NULL AND y IS NOT NULL THEN
    RETURN jet_dateplus(a, sign * y);
  END IF;
  IF sign > 0 AND x IS NOT NULL AND q IS NOT NULL THEN
    RETURN jet_dateplus(b, x);
  END IF;
  RETURN NULL;
END $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_dateadd(iv text, n double precision, d text) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE t timestamp := CAST(jet_date(d) AS timestamp); i text := lower(btrim(iv)); k integer;
BEGIN
  IF i IS NULL OR i NOT IN ('yyyy', 'q', 'm', 'y', 'd', 'w', 'ww', 'h', 'n', 's') THEN
    RAISE EXCEPTION 'Argument incorrect pour DateAdd';
  END IF;
  IF t IS NULL OR n IS NULL OR abs(n) > 1e7 THEN
    RETURN NULL;
  END IF;
  k := trunc(n);
  t := t + CASE i WHEN 'yyyy' THEN make_interval(years => k) WHEN 'q' THEN make_interval(months => 3 * k)
                  WHEN 'm' THEN make_interval(months => k) WHEN 'ww' THEN make_interval(weeks => k)
                  WHEN 'h' THEN make_interval(hours => k) WHEN 'n' THEN make_interval(mins => k)
                  WHEN 's' THEN make_interval(secs => k) ELSE make_interval(days => k) END;
  RETURN jet_date(to_char(t, 'YYYY-MM-DD HH24:MI:SS'));
END $$)"),
        // Boundaries crossed between two dates; weeks start on Sunday.
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_datediff(iv text, a text, b text) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE p timestamp := CAST(jet_date(a) AS timestamp); q timestamp := CAST(jet_date(b) AS timestamp);
  i text := lower(btrim(iv)); dp date := CAST(p AS date); dq date := CAST(q AS date);
BEGIN
  IF i IS NULL OR i NOT IN ('yyyy', 'q', 'm', 'y', 'd', 'w', 'ww', 'h', 'n', 's') THEN
    RAISE EXCEPTION 'Argument incorrect pour DateDiff';
  END IF;
  IF p IS NULL OR q IS NULL THEN
    RETURN NULL;
  END IF;
  RETURN CASE i
    WHEN 'yyyy' THEN extract(year FROM q) - extract(year FROM p)
    WHEN 'q' THEN extract(year FROM q) * 4 + floor((extract(month FROM q) - 1) / 3)
                  - extract(year FROM p) * 4 - floor((extract(month FROM p) - 1) / 3)
    WHEN 'm' THEN extract(year FROM q) * 12 + extract(month FROM q) - extract(year FROM p) * 12 - extract(month FROM p)
    WHEN 'w' THEN (dq - dp) / 7
    WHEN 'ww' THEN ((dq - CAST(extract(dow FROM q) AS integer)) - (dp - CAST(extract(dow FROM p) AS integer))) / 7
    WHEN 'h' THEN floor(extract(epoch FROM q) / 3600) - floor(extract(epoch FROM p) / 3600)
    WHEN 'n' THEN floor(extract(epoch FROM q) / 60) - floor(extract(epoch FROM p) / 60)
    WHEN 's' THEN extract(epoch FROM q) - extract(epoch FROM p)
    ELSE dq - dp END;
END $$)"),
        // A Jet pattern as an anchored regular expression, for a pattern
        // only the row knows (the translator converts literal ones itself).
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_likeregex(p text) RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $$
DECLARE r text COLLATE "C" := '^'; i integer := 1; j integer; c text COLLATE "C"; s text COLLATE "C";
  lo text COLLATE "C"; hi text COLLATE "C"; neg boolean;
BEGIN
  WHILE i <= char_length(p) LOOP
    c := substr(p, i, 1);
    IF c = '*' THEN
      r := r || '.*';
    ELSIF c = '?' THEN
      r := r || '.';
    ELSIF c = '#' THEN
      r := r || '[0-9]';
    ELSIF c = '[' AND strpos(substr(p COLLATE "C", i + 1), ']') > 0 THEN
      s := substr(p, i + 1, strpos(substr(p COLLATE "C", i + 1), ']') - 1);
      i := i + char_length(s) + 1;
      neg := left(s, 1) = '!';
      IF neg THEN
        s := substr(s, 2);
      END IF;
      IF s = '' THEN
        IF neg THEN
          r := r || '.';
        END IF;
      ELSE
        r := r || '[' || CASE WHEN neg THEN '^' ELSE '' END;
        j := 1;
        WHILE j <= char_length(s) LOOP
          lo := substr(s, j, 1);
          hi := NULL;
          IF j + 2 <= char_length(s) AND substr(s, j + 1, 1) = '-' THEN
            hi := substr(s, j + 2, 1);
            IF hi < lo COLLATE "C" THEN
              hi := lo;
              lo := substr(s, j + 2, 1);
            END IF;
            j := j + 2;
          END IF;
          r := r || CASE WHEN strpos('\^]-[', lo) > 0 THEN '\' ELSE '' END || lo
                 || coalesce('-' || CASE WHEN strpos('\^]-[', hi) > 0 THEN '\' ELSE '' END || hi, '');
          j := j + 1;
        END LOOP;
        r := r || ']';
      END IF;
    ELSE
      r := r || CASE WHEN strpos('\.^$|?*+()[]{}', c) > 0 THEN '\' ELSE '' END || c;
    END IF;
    i := i + 1;
  END LOOP;
  RETURN r || '$';
END $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_cmp(a text, b text, domain integer) RETURNS integer
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE x double precision; y double precision; p text; q text;
BEGIN
  IF a IS NULL OR b IS NULL THEN
    RETURN NULL;
  END IF;
  IF domain <> 0 THEN
    IF btrim(a, E' \t\r\n') COLLATE "C" = '' OR btrim(b, E' \t\r\n') COLLATE "C" = '' THEN
      RETURN NULL;
    END IF;
    IF domain = 1 THEN
      x := jet_num(a);
      y := jet_num(b);
      IF x IS NOT NULL AND y IS NOT NULL THEN
        RETURN sign(x - y);
      END IF;
    ELSE
      p := jet_date(a);
      q := jet_date(b);
      IF p IS NOT NULL AND q IS NOT NULL THEN
        RETURN CASE WHEN p < q COLLATE "C" THEN -1 WHEN p > q COLLATE "C" THEN 1 ELSE 0 END;
      END IF;
    END IF;
  END IF;
  a := rtrim(a, ' ');
  b := rtrim(b, ' ');
  RETURN CASE WHEN a < b COLLATE jet THEN -1 WHEN a > b COLLATE jet THEN 1 ELSE 0 END;
END $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_between(v text, a text, b text, domain integer) RETURNS boolean
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
SELECT jet_cmp(v, a, domain) * jet_cmp(v, b, domain) <= 0 $$)"),
        // A date as Jet computes with it, days since 30/12/1899, and back: a
        // day before it with a time is "minus the day, minus the time".
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_datenum(v text) RETURNS double precision
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT CAST(CASE WHEN w < 0 THEN w - f ELSE w + f END AS double precision)
FROM (SELECT CAST(t AS date) - DATE '1899-12-30' AS w, extract(epoch FROM t - date_trunc('day', t)) / 86400 AS f
      FROM (SELECT CAST(jet_date(v) AS timestamp) AS t) AS a) AS b $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_serialdate(s double precision) RETURNS text
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT CASE WHEN t >= TIMESTAMP '0100-01-01' AND t < TIMESTAMP '10000-01-01' THEN jet_date(to_char(t, 'YYYY-MM-DD HH24:MI:SS')) END
FROM (SELECT TIMESTAMP '1899-12-30' + make_interval(days => CAST(trunc(s) AS integer))
             + make_interval(secs => trunc(abs(s - trunc(s)) * 86400 + 0.5)) AS t
      WHERE abs(s) <= 3e6) AS a $$)"),
        // InStr, InStrRev and Replace: positions from 1; the compare argument
        // 0 compares code points, anything else (or none) ignores case.
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_instr(st double precision, t text, s text, cmp double precision)
RETURNS bigint LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE a text COLLATE "und-x-icu" := t; b text COLLATE "und-x-icu" := s; k integer;
BEGIN
  IF st IS NULL OR t IS NULL OR s IS NULL THEN
    RETURN NULL;
  END IF;
  IF trunc(st) < 1 THEN
    RAISE EXCEPTION 'Argument incorrect pour InStr';
  END IF;
  IF cmp IS NULL OR trunc(cmp) <> 0 THEN
    a := lower(a);
    b := lower(b);
  END IF;
  IF trunc(st) > char_length(a) + (CASE WHEN b = '' THEN 1 ELSE 0 END) THEN
    RETURN 0;
  END IF;
  k := strpos(substr(a, CAST(trunc(st) AS integer)), b);
  RETURN CASE WHEN k = 0 THEN 0 ELSE k + CAST(trunc(st) AS integer) - 1 END;
END $$)"),
        // The last occurrence ending at or before st (-1: the end).
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_instrrev(t text, s text, st double precision, cmp double precision)
RETURNS bigint LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE a text COLLATE "und-x-icu" := t; b text COLLATE "und-x-icu" := s; n integer; k integer;
BEGIN
  IF t IS NULL OR s IS NULL THEN
    RETURN NULL;
  END IF;
  IF st IS NULL OR trunc(st) = 0 OR trunc(st) < -1 THEN
    RAISE EXCEPTION 'Argument incorrect pour InStrRev';
  END IF;
  IF cmp IS NULL OR trunc(cmp) <> 0 THEN
    a := lower(a);
    b := lower(b);
  END IF;
  IF trunc(st) > char_length(a) THEN
    RETURN 0;
  END IF;
  n := CASE WHEN trunc(st) = -1 THEN char_length(a) ELSE CAST(trunc(st) AS integer) END;
  IF b = '' THEN
    RETURN n;
  END IF;
  k := strpos(reverse(left(a, n)), reverse(b));
  RETURN CASE WHEN k = 0 THEN 0 ELSE n - k - char_length(b) + 2 END;
END $$)"),
        // The text from st on (Jet drops what comes before), cnt occurrences
        // replaced (-1: all).
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_replace(t text, f text, r text, st double precision,
                                       cnt double precision, cmp double precision)
RETURNS text LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE a text COLLATE "und-x-icu"; seen text COLLATE "und-x-icu"; b text COLLATE "und-x-icu" := f;
  o text COLLATE "und-x-icu" := ''; k integer; done double precision := 0; most double precision := coalesce(trunc(cnt), 0);
BEGIN
  IF t IS NULL OR f IS NULL OR r IS NULL THEN
    RETURN NULL;
  END IF;
  IF st IS NULL OR trunc(st) < 1 OR most < -1 THEN
    RAISE EXCEPTION 'Argument incorrect pour Replace';
  END IF;
  IF trunc(st) > char_length(t) THEN
    RETURN '';
  END IF;
  a := substr(t, CAST(trunc(st) AS integer));
  seen := a;
  IF cmp IS NULL OR trunc(cmp) <> 0 THEN
    seen := lower(seen);
    b := lower(b);
  END IF;
  WHILE b <> '' AND (most < 0 OR done < most) LOOP
    k := strpos(seen, b);
    EXIT WHEN k = 0;
    o := o || left(a, k - 1) || r;
    a := substr(a, k + char_length(b));
    seen := substr(seen, k + char_length(b));
    done := done + 1;
  END LOOP;
  RETURN o || a;
END $$)"),
        // -1, 0 or 1: under the collation, trailing blanks aside, or by code
        // points with the compare argument 0.
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_strcomp(a text, b text, cmp double precision) RETURNS integer
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
SELECT CASE WHEN cmp IS NOT NULL AND trunc(cmp) = 0
  THEN CASE WHEN a < b COLLATE "C" THEN -1 WHEN a > b COLLATE "C" THEN 1 WHEN a = b COLLATE "C" THEN 0 END
  ELSE CASE WHEN rtrim(a, ' ') < rtrim(b, ' ') COLLATE jet THEN -1 WHEN rtrim(a, ' ') > rtrim(b, ' ') COLLATE jet THEN 1
            WHEN rtrim(a, ' ') = rtrim(b, ' ') COLLATE jet THEN 0 END END $$)"),
        // A number written as SQLite writes one, after a blank when it is
        // not negative; a text that is no number is an error.
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_str(v text) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE SET extra_float_digits = 0 AS $$
DECLARE n text COLLATE "C" := btrim(v, E' \t\n\r\f\v'); x double precision;
BEGIN
  IF v IS NULL THEN
    RETURN NULL;
  END IF;
  IF n !~ '^[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?$' THEN
    RAISE EXCEPTION 'Type incompatible';
  END IF;
  IF n ~ '^[+-]?[0-9]+$' AND abs(CAST(n AS numeric)) <= 9223372036854775807 THEN
    RETURN CASE WHEN left(n, 1) = '-' AND CAST(n AS numeric) <> 0 THEN '' ELSE ' ' END || CAST(CAST(n AS numeric) AS text);
  END IF;
  x := CAST(n AS double precision);
  RETURN CASE WHEN x >= 0 THEN ' ' ELSE '' END || CAST(x AS text);
END $$)"),
        // The whole number nearest, halves to the even one (round() on a
        // double), Null beyond Integer's or Long's range.
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_roundint(x double precision, high bigint) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
SELECT CASE WHEN round(x) BETWEEN -high - 1 AND high THEN CAST(round(x) AS bigint) END $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_asc(t text, unicode boolean) RETURNS integer
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE c integer;
BEGIN
  IF t IS NULL THEN
    RETURN NULL;
  END IF;
  IF char_length(t) = 0 THEN
    RAISE EXCEPTION USING MESSAGE = 'Argument incorrect pour ' || CASE WHEN unicode THEN 'AscW' ELSE 'Asc' END;
  END IF;
  c := ascii(t);
  IF unicode OR c < 128 OR c BETWEEN 160 AND 255 THEN
    RETURN c;
  END IF;
  RETURN coalesce(nullif(strpos(E'%1' COLLATE "C", chr(c)), 0) + 127, 63);
END $$)").arg(windows1252),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_chr(v text, unicode boolean) RETURNS text
LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE x double precision := round(jet_num(v));
BEGIN
  IF v IS NULL OR btrim(v, E' \t\r\n') COLLATE "C" = '' THEN
    RETURN NULL;
  END IF;
  IF x IS NULL OR x < 0 OR x > (CASE WHEN unicode THEN 1114111 ELSE 255 END) OR x BETWEEN 55296 AND 57343 THEN
    RAISE EXCEPTION USING MESSAGE = 'Argument incorrect pour ' || CASE WHEN unicode THEN 'ChrW' ELSE 'Chr' END;
  END IF;
  IF NOT unicode AND x BETWEEN 128 AND 159 THEN
    RETURN substr(E'%1', CAST(x AS integer) - 127, 1);
  END IF;
  RETURN chr(CAST(x AS integer));
END $$)").arg(windows1252),
        // Weeks: where one starts, a first day of the week f (1 Sunday ...
        // 7 Saturday), and where a year's first starts: w 1 the week of 1
        // January, 2 the first of four days, 3 the first full week.
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_weekstart(d date, f integer) RETURNS date
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT d - (CAST(extract(dow FROM d) AS integer) + 7 - f + 1) % 7 $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_firstweek(y integer, f integer, w integer) RETURNS date
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT CASE WHEN w = 2 THEN jet_weekstart(make_date(y, 1, 4), f)
            WHEN w = 3 AND jet_weekstart(make_date(y, 1, 1), f) < make_date(y, 1, 1)
            THEN jet_weekstart(make_date(y, 1, 1), f) + 7
            ELSE jet_weekstart(make_date(y, 1, 1), f) END $$)"),
        // DatePart's intervals are DateAdd's; f 0 (the system's) is Monday,
        // w 0 the first week of four days.
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_datepart(iv text, d text, fd double precision, fw double precision)
RETURNS integer LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE i text COLLATE "C" := lower(btrim(iv)); f double precision := coalesce(trunc(fd), 1);
  w double precision := coalesce(trunc(fw), 1); t timestamp := CAST(jet_date(d) AS timestamp); day date; s date;
BEGIN
  IF i IS NULL OR i NOT IN ('yyyy', 'q', 'm', 'y', 'd', 'w', 'ww', 'h', 'n', 's') OR f < 0 OR f > 7 OR w < 0 OR w > 3 THEN
    RAISE EXCEPTION 'Argument incorrect pour DatePart';
  END IF;
  IF t IS NULL THEN
    RETURN NULL;
  END IF;
  f := CASE WHEN f = 0 THEN 2 ELSE f END;
  w := CASE WHEN w = 0 THEN 2 ELSE w END;
  day := CAST(t AS date);
  IF i = 'w' THEN
    RETURN day - jet_weekstart(day, CAST(f AS integer)) + 1;
  END IF;
  IF i = 'ww' THEN
    s := jet_firstweek(CAST(extract(year FROM day) AS integer), CAST(f AS integer), CAST(w AS integer));
    IF day < s THEN
      s := jet_firstweek(CAST(extract(year FROM day) AS integer) - 1, CAST(f AS integer), CAST(w AS integer));
    END IF;
    RETURN (day - s) / 7 + 1;
  END IF;
  RETURN CAST(floor(date_part(CASE i WHEN 'yyyy' THEN 'year' WHEN 'q' THEN 'quarter' WHEN 'm' THEN 'month'
                                     WHEN 'y' THEN 'doy' WHEN 'd' THEN 'day' WHEN 'h' THEN 'hour'
                                     WHEN 'n' THEN 'minute' ELSE 'second' END, t)) AS integer);
END $$)"),
        // DateDiff with a first day of the week, which only "ww" reads.
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_datediff(iv text, a text, b text, fd double precision,
                                        fw double precision)
RETURNS bigint LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE f double precision := coalesce(trunc(fd), 1); w double precision := coalesce(trunc(fw), 1);
  p date := CAST(CAST(jet_date(a) AS timestamp) AS date); q date := CAST(CAST(jet_date(b) AS timestamp) AS date);
BEGIN
  IF f < 0 OR f > 7 OR w < 0 OR w > 3 THEN
    RAISE EXCEPTION 'Argument incorrect pour DateDiff';
  END IF;
  IF lower(btrim(iv)) COLLATE "C" <> 'ww' OR p IS NULL OR q IS NULL THEN
    RETURN jet_datediff(iv, a, b);
  END IF;
  f := CASE WHEN f = 0 THEN 2 ELSE f END;
  RETURN (jet_weekstart(q, CAST(f AS integer)) - jet_weekstart(p, CAST(f AS integer))) / 7;
END $$)"),
        // Months and days beyond their range carry over; years 0-29 are the
        // 2000s, 30-99 the 1900s.
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_dateserial(y double precision, m double precision, d double precision)
RETURNS text LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $$
DECLARE yy double precision := round(y); mm double precision := round(m); dd double precision := round(d); r date;
BEGIN
  IF yy IS NULL OR mm IS NULL OR dd IS NULL OR greatest(yy, mm, dd) > 32767 OR least(yy, mm, dd) < -32768 THEN
    RETURN NULL;
  END IF;
  yy := yy + CASE WHEN yy >= 0 AND yy < 30 THEN 2000 WHEN yy >= 30 AND yy < 100 THEN 1900 ELSE 0 END;
  IF yy < 100 OR yy > 9999 THEN
    RETURN NULL;
  END IF;
  r := CAST(make_date(CAST(yy AS integer), 1, 1) + make_interval(months => CAST(mm AS integer) - 1) AS date)
       + (CAST(dd AS integer) - 1);
  IF extract(year FROM r) < 100 OR extract(year FROM r) > 9999 THEN
    RETURN NULL;
  END IF;
  RETURN to_char(r, 'YYYY-MM-DD');
END $$)"),
    };
}
