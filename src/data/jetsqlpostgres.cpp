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

std::optional<Expr> Parser::postgresFunction(const QString &f, const std::vector<Expr> &args)
{
    const size_t argc = args.size();
    auto need = [&](size_t lo, size_t hi) {
        if (argc < lo || argc > hi)
            fail();
    };
    auto t = [&](size_t k) { return text(args[k]).sql; };
    auto n = [&](size_t k) { return QStringLiteral("CAST(%1 AS integer)").arg(number(args[k]).sql); };
    // A value read as a date (ISO text), whatever its kind.
    auto d = [&](size_t k) { return QStringLiteral("jet_date(CAST(%1 AS text))").arg(value(args[k]).sql); };
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
    if (f == QLatin1String("val")) {
        need(1, 1);
        return result(QStringLiteral("jet_val(%1)").arg(t(0)), Kind::Number);
    }
    if (f == QLatin1String("isnumeric")) {
        need(1, 1);
        return truth(QStringLiteral("(jet_num(CAST(%1 AS text)) IS NOT NULL)").arg(value(args[0]).sql));
    }
    if (f == QLatin1String("isdate")) {
        need(1, 1);
        return truth(QStringLiteral("(%1 IS NOT NULL)").arg(d(0)));
    }
    if (f == QLatin1String("cdate")) {
        need(1, 1);
        return result(d(0), Kind::Date);
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
    if (f == QLatin1String("dateadd")) {
        need(3, 3);
        return result(QStringLiteral("jet_dateadd(%1, %2, CAST(%3 AS text))")
                          .arg(t(0), number(args[1]).sql, value(args[2]).sql),
                      Kind::Date);
    }
    if (f == QLatin1String("datediff") && argc == 3)
        return result(QStringLiteral("jet_datediff(%1, CAST(%2 AS text), CAST(%3 AS text))")
                          .arg(t(0), value(args[1]).sql, value(args[2]).sql),
                      Kind::Number);
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
    IF btrim(a, E' \t\r\n') = '' OR btrim(b, E' \t\r\n') = '' THEN
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
  RETURN CASE WHEN a < b COLLATE jet THEN -1 WHEN a > b COLLATE jet THEN 1 ELSE 0 END;
END $$)"),
        QStringLiteral(R"(CREATE OR REPLACE FUNCTION jet_between(v text, a text, b text, domain integer) RETURNS boolean
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
SELECT jet_cmp(v, a, domain) * jet_cmp(v, b, domain) <= 0 $$)"),
    };
}
