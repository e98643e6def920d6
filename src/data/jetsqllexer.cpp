// The Jet SQL translator's errors, tokens and SQL texts.

#include "data/jetsqlparser.h"

#include "data/jetdate.h"
#include "data/jetfunctions.h"

namespace jetsql {

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

// A record source reads: a second statement, an action query or any other
// statement is refused before anything runs.
[[noreturn]] void charactersAfterEnd(const QString &source)
{
    throw AppError(ErrorNumber::CharactersAfterEnd,
                   QStringLiteral("Caractères trouvés après la fin de l'instruction SQL : une source "
                                  "d'enregistrements est une seule requête SELECT (« %1 »).")
                       .arg(quoted(source)));
}

[[noreturn]] void actionQuery(const QString &keyword, const QString &source)
{
    throw AppError(ErrorNumber::InvalidOperation,
                   QStringLiteral("Opération non valide : une requête %1 modifie la base de données ; une source "
                                  "d'enregistrements ne peut que la lire (« %2 »).")
                       .arg(keyword.toUpper(), quoted(source)));
}

[[noreturn]] void invalidStatement(const QString &keyword, const QString &source)
{
    throw AppError(ErrorNumber::InvalidStatement,
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

// ---------------------------------------------------------------------------
// Tokens

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

QString quoteText(const QString &text, bool postgres)
{
    QString out = text;
    out.replace(QLatin1Char('\''), QStringLiteral("''"));
    out = QLatin1Char('\'') + out + QLatin1Char('\'');
    if (!text.contains(QChar(u'\0')))
        return out;
    // SQLite's text of a statement ends at a NUL: a text that holds one is
    // joined around char(0) (which PostgreSQL refuses, as it holds no NUL).
    out.replace(QChar(u'\0'), postgres ? QStringLiteral("' || chr(0) || '") : QStringLiteral("' || char(0) || '"));
    return QLatin1Char('(') + out + QLatin1Char(')');
}

QString collateSql(bool postgres)
{
    return postgres ? QStringLiteral(" COLLATE jet") : QStringLiteral(" COLLATE ") + QLatin1String(kJetCollation);
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

} // namespace jetsql
