#include "data/jetfunctions.h"

#include "platform/errornumbers.h"

#include <QChar>
#include <QCollator>
#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <strings.h>
#include <vector>

namespace {

// A function's failure, numbered as the program numbers errors. SQLite
// carries only a text: the number leads it ("#5#Argument incorrect pour
// Right"), and jetFunctionError() takes it back.
void resultError(sqlite3_context *ctx, int number, const std::string &text)
{
    const std::string message = "#" + std::to_string(number) + "#" + text;
    sqlite3_result_error(ctx, message.c_str(), -1);
}

// ---------------------------------------------------------------------------
// UTF-8 and case folding

// Decodes one code point; malformed input gives U+FFFD and moves one byte on.
char32_t decodeUtf8(const unsigned char *&p, const unsigned char *end)
{
    const unsigned char c = *p++;
    if (c < 0x80)
        return c;
    int extra = 0;
    char32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        cp = c & 0x07;
    } else {
        return 0xFFFD;
    }
    if (end - p < extra)
        return 0xFFFD;
    for (int i = 0; i < extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0xFFFD;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    p += extra;
    return cp;
}

inline char32_t foldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? char32_t(c + 32) : char32_t(c);
}

inline char32_t foldCodePoint(char32_t c)
{
    if (c < 0x80)
        return foldAscii(static_cast<unsigned char>(c));
    return QChar::toCaseFolded(c);
}

// The text's code points, each case-folded (simple folding: one code point
// stays one code point, so positions keep their meaning).
void foldUtf8(const unsigned char *text, int length, std::u32string &out)
{
    out.clear();
    const unsigned char *p = text;
    const unsigned char *end = text + length;
    while (p < end) {
        if (*p < 0x80)
            out.push_back(foldAscii(*p++));
        else
            out.push_back(foldCodePoint(decodeUtf8(p, end)));
    }
}

// ---------------------------------------------------------------------------
// Jet LIKE patterns

struct CharSet
{
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges; // folded, lo <= hi

    bool contains(char32_t c) const
    {
        bool in = false;
        for (const auto &[lo, hi] : ranges) {
            if (c >= lo && c <= hi) {
                in = true;
                break;
            }
        }
        return in != negated;
    }
};

struct PatternElement
{
    enum Kind : unsigned char { Literal, AnyOne, Digit, AnyRun, Set } kind;
    char32_t ch = 0; // Literal: the folded character; Set: index into sets
};

struct CompiledPattern
{
    std::string source; // pattern text, for checking a cached pattern
    char32_t escape = 0;
    bool hasEscape = false;
    std::vector<PatternElement> elements;
    std::vector<CharSet> sets;
    std::u32string scratch; // the folded value, reused from row to row
};

// Compiles a Jet pattern. A '[' without its ']' stands for itself, as does
// everything after it that is not a wildcard. "[]" matches nothing (it is
// dropped) and "[!]" matches any one character.
void compilePattern(const std::u32string &p, CompiledPattern &out)
{
    out.elements.clear();
    out.sets.clear();
    const size_t n = p.size();
    for (size_t i = 0; i < n; ++i) {
        const char32_t c = p[i];
        if (out.hasEscape && c == out.escape && i + 1 < n) {
            out.elements.push_back({PatternElement::Literal, foldCodePoint(p[++i])});
            continue;
        }
        switch (c) {
        case U'*':
            if (out.elements.empty() || out.elements.back().kind != PatternElement::AnyRun)
                out.elements.push_back({PatternElement::AnyRun, 0});
            break;
        case U'?':
            out.elements.push_back({PatternElement::AnyOne, 0});
            break;
        case U'#':
            out.elements.push_back({PatternElement::Digit, 0});
            break;
        case U'[': {
            size_t close = i + 1;
            // A ']' right after '[' or '[!' closes an empty set.
            while (close < n && p[close] != U']')
                ++close;
            if (close >= n) {
                out.elements.push_back({PatternElement::Literal, U'['});
                break;
            }
            CharSet set;
            size_t j = i + 1;
            if (j < close && p[j] == U'!') {
                set.negated = true;
                ++j;
            }
            for (; j < close; ++j) {
                char32_t lo = foldCodePoint(p[j]);
                char32_t hi = lo;
                if (j + 2 < close && p[j + 1] == U'-') {
                    hi = foldCodePoint(p[j + 2]);
                    j += 2;
                    if (hi < lo)
                        std::swap(lo, hi);
                }
                set.ranges.emplace_back(lo, hi);
            }
            i = close;
            if (set.ranges.empty() && !set.negated)
                break; // "[]": zero-length
            if (set.ranges.size() == 1 && !set.negated && set.ranges[0].first == set.ranges[0].second) {
                out.elements.push_back({PatternElement::Literal, set.ranges[0].first});
                break;
            }
            out.elements.push_back({PatternElement::Set, char32_t(out.sets.size())});
            out.sets.push_back(std::move(set));
            break;
        }
        default:
            out.elements.push_back({PatternElement::Literal, foldCodePoint(c)});
        }
    }
}

inline bool elementMatches(const CompiledPattern &pattern, const PatternElement &e, char32_t c)
{
    switch (e.kind) {
    case PatternElement::Literal:
        return e.ch == c;
    case PatternElement::AnyOne:
        return true;
    case PatternElement::Digit:
        return c >= U'0' && c <= U'9';
    case PatternElement::Set:
        return pattern.sets[e.ch].contains(c);
    case PatternElement::AnyRun:
        break;
    }
    return false;
}

// Every element but '*' matches exactly one character, so going back to the
// last '*' is enough (no exponential search).
bool matchFolded(const CompiledPattern &pattern, const std::u32string &value)
{
    const auto &el = pattern.elements;
    const size_t np = el.size();
    const size_t nv = value.size();
    size_t pi = 0, vi = 0;
    size_t starP = SIZE_MAX, starV = 0;
    while (vi < nv) {
        if (pi < np && el[pi].kind == PatternElement::AnyRun) {
            starP = pi++;
            starV = vi;
            if (pi == np)
                return true; // trailing '*' takes the rest
            continue;
        }
        if (pi < np && elementMatches(pattern, el[pi], value[vi])) {
            ++pi;
            ++vi;
            continue;
        }
        if (starP == SIZE_MAX)
            return false;
        pi = starP + 1;
        vi = ++starV;
    }
    while (pi < np && el[pi].kind == PatternElement::AnyRun)
        ++pi;
    return pi == np;
}

bool likeUtf8(CompiledPattern &pattern, const unsigned char *value, int length)
{
    foldUtf8(value, length, pattern.scratch);
    return matchFolded(pattern, pattern.scratch);
}

void destroyPattern(void *p)
{
    delete static_cast<CompiledPattern *>(p);
}

void likeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL
        || (argc == 3 && sqlite3_value_type(argv[2]) == SQLITE_NULL)) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *patternText = sqlite3_value_text(argv[0]);
    const int patternLength = sqlite3_value_bytes(argv[0]);
    char32_t escape = 0;
    bool hasEscape = false;
    if (argc == 3) {
        const auto *e = sqlite3_value_text(argv[2]);
        const int el = sqlite3_value_bytes(argv[2]);
        const unsigned char *ep = e;
        if (el == 0 || (decodeUtf8(ep, e + el), ep != e + el)) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        ep = e;
        escape = decodeUtf8(ep, e + el);
        hasEscape = true;
    }

    auto *pattern = static_cast<CompiledPattern *>(sqlite3_get_auxdata(ctx, 0));
    const bool cached = pattern && pattern->escape == escape && pattern->hasEscape == hasEscape
                        && pattern->source.size() == size_t(patternLength)
                        && std::memcmp(pattern->source.data(), patternText, size_t(patternLength)) == 0;
    std::unique_ptr<CompiledPattern> fresh;
    if (!cached) {
        fresh = std::make_unique<CompiledPattern>();
        fresh->source.assign(reinterpret_cast<const char *>(patternText), size_t(patternLength));
        fresh->escape = escape;
        fresh->hasEscape = hasEscape;
        std::u32string folded;
        // Fold nothing here: the escape character must be seen as typed.
        const unsigned char *p = patternText;
        const unsigned char *end = patternText + patternLength;
        while (p < end)
            folded.push_back(decodeUtf8(p, end));
        compilePattern(folded, *fresh);
        pattern = fresh.get();
    }

    const auto *value = sqlite3_value_text(argv[1]);
    const int valueLength = sqlite3_value_bytes(argv[1]);
    const bool matched = likeUtf8(*pattern, value, valueLength);
    if (fresh)
        sqlite3_set_auxdata(ctx, 0, fresh.release(), destroyPattern); // may free it at once
    sqlite3_result_int(ctx, matched ? 1 : 0);
}

// ---------------------------------------------------------------------------
// The JETTEXT collation

QString withoutTrailingBlanks(QString text)
{
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1) == QLatin1Char(' '))
        --n;
    text.truncate(n);
    return text;
}

QCollator makeFrenchCollator()
{
    QCollator collator{QLocale(QLocale::French, QLocale::France)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    collator.setIgnorePunctuation(false);
    return collator;
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

// Per connection: the collator and, derived from it, the rank of each ASCII
// character (0 = ignored by the collator, equal ranks = equal characters).
struct JetCollation
{
    QCollator collator = makeFrenchCollator();
    std::array<unsigned char, 128> rank{};

    JetCollation()
    {
        // Ignorable characters: the collator finds "a" + c equal to "a".
        std::vector<char16_t> kept;
        const QString a = QStringLiteral("a");
        for (char16_t c = 0; c < 128; ++c) {
            if (collator.compare(a + QChar(c), a) == 0)
                rank[c] = 0;
            else
                kept.push_back(c);
        }
        std::stable_sort(kept.begin(), kept.end(), [this](char16_t x, char16_t y) {
            return collator.compare(QString(QChar(x)), QString(QChar(y))) < 0;
        });
        unsigned char next = 0;
        for (size_t i = 0; i < kept.size(); ++i) {
            if (i == 0 || collator.compare(QString(QChar(kept[i - 1])), QString(QChar(kept[i]))) != 0)
                ++next;
            rank[kept[i]] = next;
        }
    }

    int compareSlow(const char *a, int na, const char *b, int nb) const
    {
        return sign(collator.compare(withoutTrailingBlanks(QString::fromUtf8(a, na)),
                                     withoutTrailingBlanks(QString::fromUtf8(b, nb))));
    }

    int compare(const char *a, int na, const char *b, int nb) const
    {
        while (na > 0 && a[na - 1] == ' ')
            --na;
        while (nb > 0 && b[nb - 1] == ' ')
            --nb;
        // QCollator puts the empty text before any other, ignorable or not.
        if (na == 0 || nb == 0)
            return (na > 0) - (nb > 0);
        unsigned char high = 0;
        for (int i = 0; i < na; ++i)
            high |= static_cast<unsigned char>(a[i]);
        for (int i = 0; i < nb; ++i)
            high |= static_cast<unsigned char>(b[i]);
        if (high & 0x80) {
            // Identical texts need no collator (equality lookups on accented words).
            if (na == nb && std::memcmp(a, b, size_t(na)) == 0)
                return 0;
            return compareSlow(a, na, b, nb);
        }
        // Plain ASCII: the characters' ranks in turn, ignorable ones skipped.
        int i = 0, j = 0;
        for (;;) {
            while (i < na && rank[static_cast<unsigned char>(a[i])] == 0)
                ++i;
            while (j < nb && rank[static_cast<unsigned char>(b[j])] == 0)
                ++j;
            if (i == na || j == nb)
                return (i < na) - (j < nb);
            const int ra = rank[static_cast<unsigned char>(a[i])];
            const int rb = rank[static_cast<unsigned char>(b[j])];
            if (ra != rb)
                return ra < rb ? -1 : 1;
            ++i;
            ++j;
        }
    }
};

int collationCompare(void *data, int na, const void *a, int nb, const void *b)
{
    return static_cast<JetCollation *>(data)->compare(static_cast<const char *>(a), na,
                                                      static_cast<const char *>(b), nb);
}

void destroyCollation(void *data)
{
    delete static_cast<JetCollation *>(data);
}

// ---------------------------------------------------------------------------
// Functions for Jet's UCase, LCase, Right, Val, InStr, Trim...

void resultText(sqlite3_context *ctx, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

bool anyNull(int argc, sqlite3_value **argv)
{
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return true;
    }
    return false;
}

bool isPlainAscii(const unsigned char *p, int n)
{
    for (int i = 0; i < n; ++i) {
        if (p[i] & 0x80)
            return false;
    }
    return true;
}

template<bool Upper>
void changeCase(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *p = sqlite3_value_text(argv[0]);
    const int n = sqlite3_value_bytes(argv[0]);
    if (isPlainAscii(p, n)) {
        std::string out(reinterpret_cast<const char *>(p), size_t(n));
        for (char &c : out) {
            if (Upper && c >= 'a' && c <= 'z')
                c = char(c - 32);
            else if (!Upper && c >= 'A' && c <= 'Z')
                c = char(c + 32);
        }
        sqlite3_result_text(ctx, out.data(), n, SQLITE_TRANSIENT);
        return;
    }
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(p), n);
    resultText(ctx, Upper ? text.toUpper() : text.toLower());
}

// Characters of a text as code points (a character beyond the BMP counts as one).
std::u32string codePoints(sqlite3_value *v)
{
    std::u32string out;
    const auto *p = sqlite3_value_text(v);
    const auto *end = p + sqlite3_value_bytes(v);
    while (p < end)
        out.push_back(decodeUtf8(p, end));
    return out;
}

void resultCodePoints(sqlite3_context *ctx, const std::u32string &text)
{
    resultText(ctx, QString::fromUcs4(text.data(), qsizetype(text.size())));
}

void jetRight(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) {
        sqlite3_result_null(ctx);
        return;
    }
    const sqlite3_int64 count = sqlite3_value_int64(argv[1]);
    if (count < 0) {
        resultError(ctx, ErrorNumber::InvalidArgument, "Argument incorrect pour Right");
        return;
    }
    const std::u32string text = codePoints(argv[0]);
    const size_t keep = std::min<size_t>(size_t(count), text.size());
    resultCodePoints(ctx, text.substr(text.size() - keep));
}

void jetLen(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_result_int64(ctx, sqlite3_int64(codePoints(argv[0]).size()));
}

template<bool Left, bool Right>
void jetTrim(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const char *p = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    int begin = 0, end = sqlite3_value_bytes(argv[0]);
    if (Left) {
        while (begin < end && p[begin] == ' ')
            ++begin;
    }
    if (Right) {
        while (end > begin && p[end - 1] == ' ')
            --end;
    }
    sqlite3_result_text(ctx, p + begin, end - begin, SQLITE_TRANSIENT);
}

// Val: the number at the start of the text, blanks, tabs and line feeds
// skipped anywhere; &H and &O prefixes read hexadecimal and octal; 0 when
// there is no number.
void jetVal(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    std::string s;
    {
        const char *p = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
        const int n = sqlite3_value_bytes(argv[0]);
        for (int i = 0; i < n; ++i) {
            if (p[i] != ' ' && p[i] != '\t' && p[i] != '\n' && p[i] != '\r')
                s.push_back(p[i]);
        }
    }
    size_t i = 0;
    if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        const int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
        sqlite3_int64 v = 0;
        for (i = 2; i < s.size(); ++i) {
            const char c = s[i];
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (base == 16 && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (base == 16 && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                break;
            if (d >= base)
                break;
            v = v * base + d;
            if (v > std::numeric_limits<int>::max() * sqlite3_int64(4))
                break;
        }
        sqlite3_result_int64(ctx, v);
        return;
    }
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number.push_back(s[i++]);
    bool digits = false, real = false;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        number.push_back(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        real = true;
        number.push_back(s[i++]);
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            number.push_back(s[i++]);
            digits = true;
        }
    }
    if (!digits) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    if (i + 1 < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        size_t k = i + 1;
        std::string exponent = "e";
        if (k < s.size() && (s[k] == '+' || s[k] == '-'))
            exponent.push_back(s[k++]);
        if (k < s.size() && s[k] >= '0' && s[k] <= '9') {
            while (k < s.size() && s[k] >= '0' && s[k] <= '9')
                exponent.push_back(s[k++]);
            number += exponent;
            real = true;
        }
    }
    if (!real && number.size() < 19) {
        sqlite3_result_int64(ctx, std::stoll(number));
        return;
    }
    // from_chars reads alike in every locale, where strtod would stop at the
    // point under a French LC_NUMERIC (which QCoreApplication installs).
    double value = 0;
    const char *first = number.data() + (number.front() == '+' ? 1 : 0);
    std::from_chars(first, number.data() + number.size(), value);
    sqlite3_result_double(ctx, value);
}

// InStr([start,] text, sought [, compare]): 1-based position, 0 when absent,
// letters compared without regard to case unless compare is 0.
void jetInstr(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(3, argv)) {
        sqlite3_result_null(ctx);
        return;
    }
    const sqlite3_int64 start = sqlite3_value_int64(argv[0]);
    if (start < 1) {
        resultError(ctx, ErrorNumber::InvalidArgument, "Argument incorrect pour InStr");
        return;
    }
    const bool binary = argc == 4 && sqlite3_value_type(argv[3]) != SQLITE_NULL && sqlite3_value_int(argv[3]) == 0;
    std::u32string text, sought;
    if (binary) {
        text = codePoints(argv[1]);
        sought = codePoints(argv[2]);
    } else {
        foldUtf8(sqlite3_value_text(argv[1]), sqlite3_value_bytes(argv[1]), text);
        foldUtf8(sqlite3_value_text(argv[2]), sqlite3_value_bytes(argv[2]), sought);
    }
    if (size_t(start) > text.size() + (sought.empty() ? 1 : 0)) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    const size_t at = text.find(sought, size_t(start - 1));
    sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : sqlite3_int64(at + 1));
}

void resultNumberText(sqlite3_context *ctx, sqlite3_value *v, bool leadingBlank)
{
    const int type = sqlite3_value_numeric_type(v);
    std::string out;
    if (type == SQLITE_INTEGER) {
        const sqlite3_int64 n = sqlite3_value_int64(v);
        out = std::to_string(n);
        if (leadingBlank && n >= 0)
            out.insert(out.begin(), ' ');
    } else if (type == SQLITE_FLOAT) {
        const double d = sqlite3_value_double(v);
        char buffer[64];
        const auto written = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, 15);
        out.assign(buffer, written.ptr); // a point in every locale, as Str writes it
        if (leadingBlank && d >= 0)
            out.insert(out.begin(), ' ');
    } else {
        resultError(ctx, ErrorNumber::TypeMismatch, "Type incompatible");
        return;
    }
    sqlite3_result_text(ctx, out.data(), int(out.size()), SQLITE_TRANSIENT);
}

// Str(n): the number as text, with a leading blank when it is not negative.
void jetStr(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    resultNumberText(ctx, argv[0], true);
}

void jetPow(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) {
        sqlite3_result_null(ctx);
        return;
    }
    const double r = std::pow(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1]));
    if (std::isfinite(r) && r == std::floor(r) && std::fabs(r) < 9e15)
        sqlite3_result_int64(ctx, sqlite3_int64(r));
    else
        sqlite3_result_double(ctx, r);
}

// ---------------------------------------------------------------------------
// Numbers and dates read from values

constexpr qint64 kSecondsPerDay = 86400;
constexpr qint64 kDayZero = 2415019; // Julian day of 30/12/1899, Jet's day zero

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

QDate dayOf(qint64 seconds)
{
    return QDate::fromJulianDay(kDayZero + floorDiv(seconds, kSecondsPerDay));
}

int timeOf(qint64 seconds)
{
    return int(seconds - floorDiv(seconds, kSecondsPerDay) * kSecondsPerDay);
}

qint64 secondsOf(const QDate &day, int time)
{
    return (day.toJulianDay() - kDayZero) * kSecondsPerDay + time;
}

bool inJetRange(qint64 seconds)
{
    const QDate day = dayOf(seconds);
    return day.isValid() && day.year() >= 100 && day.year() <= 9999;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct Text
{
    const char *begin;
    const char *end;

    bool blank() const { return std::all_of(begin, end, isBlank); }
    Text trimmed() const
    {
        Text t = *this;
        while (t.begin < t.end && isBlank(*t.begin))
            ++t.begin;
        while (t.end > t.begin && isBlank(t.end[-1]))
            --t.end;
        return t;
    }
};

Text textOf(sqlite3_value *v)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
    return Text{p, p + sqlite3_value_bytes(v)};
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Up to `most` digits; false when there is none.
bool readDigits(const char *&p, const char *end, int most, int &value, int &count)
{
    value = 0;
    count = 0;
    while (p < end && isDigit(*p) && count < most) {
        value = value * 10 + (*p++ - '0');
        ++count;
    }
    return count > 0 && !(p < end && isDigit(*p));
}

// "h:m", "h:m:s" (fractions of a second dropped), optionally AM or PM.
bool readTime(const char *&p, const char *end, int &seconds)
{
    int h, m, s = 0, n;
    if (!readDigits(p, end, 2, h, n) || p == end || *p != ':')
        return false;
    ++p;
    if (!readDigits(p, end, 2, m, n))
        return false;
    if (p < end && *p == ':') {
        ++p;
        if (!readDigits(p, end, 2, s, n))
            return false;
        if (p < end && *p == '.') {
            ++p;
            while (p < end && isDigit(*p))
                ++p;
        }
    }
    const char *q = p;
    while (q < end && isBlank(*q))
        ++q;
    if (end - q >= 2 && (q[1] == 'M' || q[1] == 'm')) {
        const char c = char(q[0] | 0x20);
        if (c == 'a' || c == 'p') {
            if (h < 1 || h > 12)
                return false;
            h = h % 12 + (c == 'p' ? 12 : 0);
            p = q + 2;
        }
    }
    if (p < end && (*p == 'Z' || *p == 'z'))
        ++p;
    if (h > 23 || m > 59 || s > 59)
        return false;
    seconds = (h * 60 + m) * 60 + s;
    return true;
}

// A date, a date and a time, or a time alone (on day zero).
std::optional<qint64> readDateText(Text text, DateOrder order)
{
    text = text.trimmed();
    const char *p = text.begin;
    const char *end = text.end;
    const char *start = p;
    int a, na;
    if (!readDigits(p, end, 4, a, na))
        return std::nullopt;
    if (p < end && *p == ':') {
        p = start;
        int time;
        if (!readTime(p, end, time) || p != end)
            return std::nullopt;
        return qint64(time);
    }
    if (p == end || (*p != '/' && *p != '-' && *p != '.'))
        return std::nullopt;
    const char separator = *p++;
    int b, nb, c, nc;
    if (!readDigits(p, end, 2, b, nb) || p == end || *p != separator)
        return std::nullopt;
    ++p;
    if (!readDigits(p, end, 4, c, nc))
        return std::nullopt;
    int y, m, d;
    if (na == 4) {
        if (nc > 2)
            return std::nullopt;
        y = a;
        m = b;
        d = c;
    } else {
        if (na > 2 || nc == 3)
            return std::nullopt;
        d = order == DateOrder::DayFirst ? a : b;
        m = order == DateOrder::DayFirst ? b : a;
        y = nc <= 2 ? c + (c < 30 ? 2000 : 1900) : c;
    }
    const QDate day(y, m, d);
    if (!day.isValid() || y < 100)
        return std::nullopt;
    int time = 0;
    if (p < end) {
        if (*p == 'T' || *p == 't')
            ++p;
        else if (!isBlank(*p))
            return std::nullopt;
        while (p < end && isBlank(*p))
            ++p;
        if (!readTime(p, end, time) || p != end)
            return std::nullopt;
    }
    return secondsOf(day, time);
}

// A number as Jet reads one from text: blanks around, a sign, digits with
// one decimal point (or the French comma), an exponent. Read the same in any
// C locale.
bool readNumberText(Text text, double &out)
{
    text = text.trimmed();
    const char *p = text.begin;
    const char *end = text.end;
    // Copied as from_chars reads it: no '+', a point for the comma, 'e' for
    // VBA's 'd'. A number longer than the buffer is no number anyone wrote.
    char number[64];
    size_t n = 0;
    auto put = [&](char c) {
        if (n < sizeof number)
            number[n] = c;
        ++n;
    };
    if (p < end && (*p == '+' || *p == '-')) {
        if (*p == '-')
            put('-');
        ++p;
    }
    bool digits = false;
    while (p < end && isDigit(*p)) {
        put(*p++);
        digits = true;
    }
    if (p < end && (*p == '.' || *p == ',')) {
        put('.');
        ++p;
        while (p < end && isDigit(*p)) {
            put(*p++);
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (p < end && (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D')) {
        put('e');
        ++p;
        if (p < end && (*p == '+' || *p == '-'))
            put(*p++);
        if (p == end || !isDigit(*p))
            return false;
        while (p < end && isDigit(*p))
            put(*p++);
    }
    if (p != end || n > sizeof number)
        return false;
    const auto [rest, error] = std::from_chars(number, number + n, out);
    return error == std::errc() && rest == number + n && std::isfinite(out);
}

// What a value is to Jet's arithmetic and comparisons.
enum class Read { Null, Number, Date, Other };

struct ReadValue
{
    Read kind = Read::Null;
    double number = 0;
    bool integer = false;   // a number held exactly in `whole`
    sqlite3_int64 whole = 0;
    qint64 seconds = 0;     // a date
};

ReadValue readNumber(sqlite3_value *v)
{
    ReadValue r;
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        return r;
    case SQLITE_INTEGER:
        r.kind = Read::Number;
        r.integer = true;
        r.whole = sqlite3_value_int64(v);
        r.number = double(r.whole);
        return r;
    case SQLITE_FLOAT:
        r.kind = Read::Number;
        r.number = sqlite3_value_double(v);
        return r;
    default: {
        const Text text = textOf(v);
        if (text.blank())
            return r;
        r.kind = readNumberText(text, r.number) ? Read::Number : Read::Other;
        if (r.kind == Read::Number && r.number == std::floor(r.number) && std::fabs(r.number) < 9e15) {
            r.integer = true;
            r.whole = sqlite3_int64(r.number);
        }
        return r;
    }
    }
}

std::optional<qint64> serialSeconds(double days)
{
    if (!std::isfinite(days) || std::fabs(days) > 3e6)
        return std::nullopt;
    return qint64(std::llround(days * double(kSecondsPerDay)));
}

// A date serial as Jet stores it: the whole part counts the days from day
// zero, back before it; the fraction is always the time of day, counted
// forward from midnight (-1.25 is 29/12/1899 at 06:00, not 28/12 at 18:00).
std::optional<qint64> storedSerialSeconds(double serial)
{
    if (!std::isfinite(serial) || std::fabs(serial) > 3e6)
        return std::nullopt;
    const double whole = std::trunc(serial);
    return qint64(whole) * kSecondsPerDay + qint64(std::llround(std::fabs(serial - whole) * double(kSecondsPerDay)));
}

// The serial Jet stores for an instant.
double storedSerial(qint64 seconds)
{
    const qint64 days = floorDiv(seconds, kSecondsPerDay);
    const double time = double(seconds - days * kSecondsPerDay) / double(kSecondsPerDay);
    return days < 0 ? double(days) - time : double(days) + time;
}

// A date: a Jet date serial in a numeric column, or a text written as a date.
ReadValue readDate(sqlite3_value *v)
{
    ReadValue r;
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        return r;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        const auto seconds = storedSerialSeconds(sqlite3_value_double(v));
        r.kind = seconds && inJetRange(*seconds) ? Read::Date : Read::Other;
        r.seconds = seconds.value_or(0);
        return r;
    }
    default: {
        const Text text = textOf(v);
        if (text.blank())
            return r;
        const auto seconds = readDateText(text, DateOrder::DayFirst);
        r.kind = seconds ? Read::Date : Read::Other;
        r.seconds = seconds.value_or(0);
        return r;
    }
    }
}

// A value for + and -: a number, else a date, else neither.
ReadValue readOperand(sqlite3_value *v)
{
    ReadValue r = readNumber(v);
    if (r.kind == Read::Other) {
        const ReadValue date = readDate(v);
        if (date.kind == Read::Date)
            return date;
    }
    return r;
}

double serialDays(const ReadValue &r)
{
    return r.kind == Read::Date ? double(r.seconds) / double(kSecondsPerDay) : r.number;
}

QString isoText(qint64 seconds)
{
    const QDate day = dayOf(seconds);
    const int time = timeOf(seconds);
    char buffer[32];
    if (time == 0)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", day.year(), day.month(), day.day());
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", day.year(), day.month(), day.day(),
                      time / 3600, time / 60 % 60, time % 60);
    return QString::fromLatin1(buffer);
}

void resultDate(sqlite3_context *ctx, qint64 seconds)
{
    if (!inJetRange(seconds)) {
        sqlite3_result_null(ctx);
        return;
    }
    const QByteArray text = isoText(seconds).toLatin1();
    sqlite3_result_text(ctx, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

// A whole number of days or seconds as an integer, anything else as a real.
void resultNumber(sqlite3_context *ctx, double value)
{
    if (value == std::floor(value) && std::fabs(value) < 9e15)
        sqlite3_result_int64(ctx, sqlite3_int64(value));
    else
        sqlite3_result_double(ctx, value);
}

// CDate: a date (with its time) or Null.
void jetDate(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readDate(argv[0]);
    if (r.kind == Read::Date)
        resultDate(ctx, r.seconds);
    else
        sqlite3_result_null(ctx);
}

// DateValue: the date alone.
void jetDateValue(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readDate(argv[0]);
    if (r.kind == Read::Date)
        resultDate(ctx, r.seconds - timeOf(r.seconds));
    else
        sqlite3_result_null(ctx);
}

// A date as a number, where Jet computes with one: days since day zero.
void jetDateNumber(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readDate(argv[0]);
    if (r.kind == Read::Date)
        resultNumber(ctx, storedSerial(r.seconds));
    else
        sqlite3_result_null(ctx);
}

// A date as French text, day first, for concatenation and CStr.
void jetDateText(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readDate(argv[0]);
    if (r.kind != Read::Date) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    const QDate day = dayOf(r.seconds);
    const int time = timeOf(r.seconds);
    QString text = day.toString(QStringLiteral("dd/MM/yyyy"));
    if (time != 0)
        text += QStringLiteral(" %1:%2:%3")
                    .arg(time / 3600, 2, 10, QLatin1Char('0'))
                    .arg(time / 60 % 60, 2, 10, QLatin1Char('0'))
                    .arg(time % 60, 2, 10, QLatin1Char('0'));
    resultText(ctx, text);
}

// Jet's '+': two texts are joined; numbers are added; a date and a number of
// days give a date. Null, or a text that is neither, gives Null.
void jetAdd(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (anyNull(2, argv)) {
        sqlite3_result_null(ctx);
        return;
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT && sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        std::string joined(reinterpret_cast<const char *>(sqlite3_value_text(argv[0])),
                           size_t(sqlite3_value_bytes(argv[0])));
        joined.append(reinterpret_cast<const char *>(sqlite3_value_text(argv[1])),
                      size_t(sqlite3_value_bytes(argv[1])));
        sqlite3_result_text(ctx, joined.data(), int(joined.size()), SQLITE_TRANSIENT);
        return;
    }
    const ReadValue a = readOperand(argv[0]);
    const ReadValue b = readOperand(argv[1]);
    if ((a.kind != Read::Number && a.kind != Read::Date) || (b.kind != Read::Number && b.kind != Read::Date)) {
        sqlite3_result_null(ctx);
        return;
    }
    if (a.kind == Read::Date || b.kind == Read::Date) {
        const auto seconds = serialSeconds(serialDays(a) + serialDays(b));
        if (seconds)
            resultDate(ctx, *seconds);
        else
            sqlite3_result_null(ctx);
        return;
    }
    sqlite3_int64 sum;
    if (a.integer && b.integer && !__builtin_add_overflow(a.whole, b.whole, &sum)) {
        sqlite3_result_int64(ctx, sum);
        return;
    }
    sqlite3_result_double(ctx, a.number + b.number);
}

// Jet's '-': numbers are subtracted; a date less a number of days is a date;
// a date less a date is the number of days between them.
void jetSub(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue a = readOperand(argv[0]);
    const ReadValue b = readOperand(argv[1]);
    if ((a.kind != Read::Number && a.kind != Read::Date) || (b.kind != Read::Number && b.kind != Read::Date)) {
        sqlite3_result_null(ctx);
        return;
    }
    if (a.kind == Read::Date && b.kind == Read::Date) {
        resultNumber(ctx, double(a.seconds - b.seconds) / double(kSecondsPerDay));
        return;
    }
    if (a.kind == Read::Date) {
        const auto seconds = serialSeconds(serialDays(a) - b.number);
        if (seconds)
            resultDate(ctx, *seconds);
        else
            sqlite3_result_null(ctx);
        return;
    }
    sqlite3_int64 difference;
    if (a.integer && b.integer && !__builtin_sub_overflow(a.whole, b.whole, &difference)) {
        sqlite3_result_int64(ctx, difference);
        return;
    }
    sqlite3_result_double(ctx, serialDays(a) - serialDays(b));
}

// A date plus a number of days (negative to go back): a date.
void jetDatePlus(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue date = readDate(argv[0]);
    const ReadValue days = readNumber(argv[1]);
    const auto seconds = date.kind == Read::Date && days.kind == Read::Number
                             ? serialSeconds(serialDays(date) + days.number)
                             : std::nullopt;
    if (seconds)
        resultDate(ctx, *seconds);
    else
        sqlite3_result_null(ctx);
}

// How a comparison reads its operands: as texts (the JETTEXT order), as
// numbers where they read as numbers, as dates where they read as dates.
enum class Domain { Text = 0, Number = 1, Date = 2 };

// -1, 0 or 1; nothing when either operand is Null or, read as a number or a
// date, blank (the original Number and Date fields held no empty text). Two
// operands that do not both read as the domain asks compare as texts.
std::optional<int> compareIn(const JetCollation &collation, Domain domain, sqlite3_value *a, sqlite3_value *b)
{
    if (sqlite3_value_type(a) == SQLITE_NULL || sqlite3_value_type(b) == SQLITE_NULL)
        return std::nullopt;
    if (domain != Domain::Text) {
        const ReadValue ra = domain == Domain::Number ? readNumber(a) : readDate(a);
        const ReadValue rb = domain == Domain::Number ? readNumber(b) : readDate(b);
        if (ra.kind == Read::Null || rb.kind == Read::Null)
            return std::nullopt;
        if (ra.kind == Read::Date && rb.kind == Read::Date)
            return (ra.seconds > rb.seconds) - (ra.seconds < rb.seconds);
        if (ra.kind == Read::Number && rb.kind == Read::Number)
            return ra.integer && rb.integer ? (ra.whole > rb.whole) - (ra.whole < rb.whole)
                                            : (ra.number > rb.number) - (ra.number < rb.number);
    }
    const Text ta = textOf(a);
    const Text tb = textOf(b);
    return collation.compare(ta.begin, int(ta.end - ta.begin), tb.begin, int(tb.end - tb.begin));
}

template<Domain D>
void jetCompareValues(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto *collation = static_cast<const JetCollation *>(sqlite3_user_data(ctx));
    const std::optional<int> c = compareIn(*collation, D, argv[0], argv[1]);
    if (c)
        sqlite3_result_int(ctx, *c);
    else
        sqlite3_result_null(ctx);
}

// jet_between(x, a, b, domain): x between a and b, the bounds in either
// order, as Jet takes them: x is at or past one bound and at or before the
// other.
void jetBetween(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto *collation = static_cast<const JetCollation *>(sqlite3_user_data(ctx));
    const auto domain = Domain(std::clamp(sqlite3_value_int(argv[3]), 0, 2));
    const std::optional<int> low = compareIn(*collation, domain, argv[0], argv[1]);
    const std::optional<int> high = compareIn(*collation, domain, argv[0], argv[2]);
    if (low && high)
        sqlite3_result_int(ctx, *low * *high <= 0);
    else
        sqlite3_result_null(ctx);
}

// Intervals of DatePart, DateDiff and DateAdd.
enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

std::optional<Interval> readInterval(sqlite3_value *v)
{
    static constexpr std::pair<const char *, Interval> names[] = {
        {"yyyy", Interval::Year}, {"q", Interval::Quarter},  {"m", Interval::Month},  {"y", Interval::DayOfYear},
        {"d", Interval::Day},     {"w", Interval::Weekday},  {"ww", Interval::Week},  {"h", Interval::Hour},
        {"n", Interval::Minute},  {"s", Interval::Second}};
    const Text text = textOf(v).trimmed();
    const std::string name(text.begin, text.end);
    for (const auto &[n, interval] : names) {
        if (strcasecmp(n, name.c_str()) == 0)
            return interval;
    }
    return std::nullopt;
}

// firstdayofweek: 1 Sunday (Jet's default) to 7 Saturday; 0, the system's,
// is Monday here. Null when the argument is missing or Null.
std::optional<int> readFirstDay(int argc, sqlite3_value **argv, int index)
{
    if (index >= argc || sqlite3_value_type(argv[index]) == SQLITE_NULL)
        return 1;
    const int day = sqlite3_value_int(argv[index]);
    if (day < 0 || day > 7)
        return std::nullopt;
    return day == 0 ? 2 : day;
}

// firstweekofyear: 1 the week of 1 January (default), 2 the first week of four
// days, 3 the first full week; 0, the system's, is the first of four days here.
std::optional<int> readFirstWeek(int argc, sqlite3_value **argv, int index)
{
    if (index >= argc || sqlite3_value_type(argv[index]) == SQLITE_NULL)
        return 1;
    const int week = sqlite3_value_int(argv[index]);
    if (week < 0 || week > 3)
        return std::nullopt;
    return week == 0 ? 2 : week;
}

// Weekday: 1 for the first day of the week.
int weekday(const QDate &day, int firstDay)
{
    const int sundayFirst = day.dayOfWeek() % 7 + 1; // Sunday 1 ... Saturday 7
    return (sundayFirst - firstDay + 7) % 7 + 1;
}

QDate weekStart(const QDate &day, int firstDay)
{
    return day.addDays(1 - weekday(day, firstDay));
}

QDate firstWeekStart(int year, int firstDay, int firstWeek)
{
    switch (firstWeek) {
    case 2:
        return weekStart(QDate(year, 1, 4), firstDay);
    case 3: {
        const QDate start = weekStart(QDate(year, 1, 1), firstDay);
        return start.year() < year ? start.addDays(7) : start;
    }
    default:
        return weekStart(QDate(year, 1, 1), firstDay);
    }
}

int weekOfYear(const QDate &day, int firstDay, int firstWeek)
{
    QDate start = firstWeekStart(day.year(), firstDay, firstWeek);
    if (day < start)
        start = firstWeekStart(day.year() - 1, firstDay, firstWeek);
    return int(start.daysTo(day) / 7) + 1;
}

bool argumentError(sqlite3_context *ctx, const char *function)
{
    resultError(ctx, ErrorNumber::InvalidArgument, std::string("Argument incorrect pour ") + function);
    return false;
}

// DatePart(interval, date [, firstdayofweek [, firstweekofyear]]), and Year,
// Month, Day, Weekday, Hour, Minute, Second through it.
void jetDatePart(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    const auto interval = readInterval(argv[0]);
    const auto firstDay = readFirstDay(argc, argv, 2);
    const auto firstWeek = readFirstWeek(argc, argv, 3);
    if (!interval || !firstDay || !firstWeek) {
        argumentError(ctx, "DatePart");
        return;
    }
    const ReadValue date = readDate(argv[1]);
    if (date.kind != Read::Date) {
        sqlite3_result_null(ctx);
        return;
    }
    const QDate day = dayOf(date.seconds);
    const int time = timeOf(date.seconds);
    int part = 0;
    switch (*interval) {
    case Interval::Year: part = day.year(); break;
    case Interval::Quarter: part = (day.month() - 1) / 3 + 1; break;
    case Interval::Month: part = day.month(); break;
    case Interval::DayOfYear: part = day.dayOfYear(); break;
    case Interval::Day: part = day.day(); break;
    case Interval::Weekday: part = weekday(day, *firstDay); break;
    case Interval::Week: part = weekOfYear(day, *firstDay, *firstWeek); break;
    case Interval::Hour: part = time / 3600; break;
    case Interval::Minute: part = time / 60 % 60; break;
    case Interval::Second: part = time % 60; break;
    }
    sqlite3_result_int(ctx, part);
}

// DateDiff(interval, date1, date2 [, firstdayofweek [, firstweekofyear]]):
// the number of interval boundaries from date1 to date2 (days: midnights
// crossed; months: month changes...), negative when date2 comes first.
void jetDateDiff(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    const auto interval = readInterval(argv[0]);
    const auto firstDay = readFirstDay(argc, argv, 3);
    if (!interval || !firstDay || !readFirstWeek(argc, argv, 4)) {
        argumentError(ctx, "DateDiff");
        return;
    }
    const ReadValue a = readDate(argv[1]);
    const ReadValue b = readDate(argv[2]);
    if (a.kind != Read::Date || b.kind != Read::Date) {
        sqlite3_result_null(ctx);
        return;
    }
    const QDate da = dayOf(a.seconds), db = dayOf(b.seconds);
    const qint64 days = da.daysTo(db);
    qint64 diff = 0;
    switch (*interval) {
    case Interval::Year: diff = db.year() - da.year(); break;
    case Interval::Quarter:
        diff = (db.year() * 4 + (db.month() - 1) / 3) - (da.year() * 4 + (da.month() - 1) / 3);
        break;
    case Interval::Month: diff = (db.year() * 12 + db.month()) - (da.year() * 12 + da.month()); break;
    case Interval::DayOfYear:
    case Interval::Day: diff = days; break;
    case Interval::Weekday: diff = days / 7; break;
    case Interval::Week: diff = weekStart(da, *firstDay).daysTo(weekStart(db, *firstDay)) / 7; break;
    case Interval::Hour: diff = floorDiv(b.seconds, 3600) - floorDiv(a.seconds, 3600); break;
    case Interval::Minute: diff = floorDiv(b.seconds, 60) - floorDiv(a.seconds, 60); break;
    case Interval::Second: diff = b.seconds - a.seconds; break;
    }
    sqlite3_result_int64(ctx, diff);
}

// DateAdd(interval, number, date): the number's fraction is dropped; a month
// too short for the day gives its last day (31 January plus one month is the
// end of February).
void jetDateAdd(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto interval = readInterval(argv[0]);
    if (!interval) {
        argumentError(ctx, "DateAdd");
        return;
    }
    const ReadValue count = readNumber(argv[1]);
    const ReadValue date = readDate(argv[2]);
    if (count.kind != Read::Number || date.kind != Read::Date || std::fabs(count.number) > 1e7) {
        sqlite3_result_null(ctx);
        return;
    }
    const qint64 n = qint64(std::trunc(count.number));
    const QDate day = dayOf(date.seconds);
    const int time = timeOf(date.seconds);
    qint64 seconds = date.seconds;
    switch (*interval) {
    case Interval::Year: seconds = secondsOf(day.addMonths(int(n * 12)), time); break;
    case Interval::Quarter: seconds = secondsOf(day.addMonths(int(n * 3)), time); break;
    case Interval::Month: seconds = secondsOf(day.addMonths(int(n)), time); break;
    case Interval::DayOfYear:
    case Interval::Day:
    case Interval::Weekday: seconds += n * kSecondsPerDay; break;
    case Interval::Week: seconds += 7 * n * kSecondsPerDay; break;
    case Interval::Hour: seconds += n * 3600; break;
    case Interval::Minute: seconds += n * 60; break;
    case Interval::Second: seconds += n; break;
    }
    resultDate(ctx, seconds);
}

// The whole number nearest, halves to the even one, as Jet converts to an
// Integer or a Long.
std::optional<sqlite3_int64> roundHalfEven(const ReadValue &r, double low, double high)
{
    if (r.kind != Read::Number)
        return std::nullopt;
    const double rounded = std::nearbyint(r.number); // the default rounding mode: halves to even
    if (!(rounded >= low && rounded <= high))
        return std::nullopt;
    return sqlite3_int64(rounded);
}

// DateSerial(year, month, day): months and days beyond their range carry
// over (month 13 is January of the next year, day 0 the last of the month
// before); years 0-29 are the 2000s, 30-99 the 1900s.
void jetDateSerial(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto y = roundHalfEven(readNumber(argv[0]), -32768, 32767);
    const auto m = roundHalfEven(readNumber(argv[1]), -32768, 32767);
    const auto d = roundHalfEven(readNumber(argv[2]), -32768, 32767);
    if (!y || !m || !d) {
        sqlite3_result_null(ctx);
        return;
    }
    int year = int(*y);
    if (year >= 0 && year < 30)
        year += 2000;
    else if (year >= 30 && year < 100)
        year += 1900;
    if (year < 100 || year > 9999) {
        sqlite3_result_null(ctx);
        return;
    }
    const QDate day = QDate(year, 1, 1).addMonths(int(*m) - 1).addDays(*d - 1);
    resultDate(ctx, secondsOf(day, 0));
}

template<int Bits>
void jetRoundToInteger(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    constexpr double high = double((sqlite3_int64(1) << (Bits - 1)) - 1);
    const auto n = roundHalfEven(readNumber(argv[0]), -high - 1, high);
    if (n)
        sqlite3_result_int64(ctx, *n);
    else
        sqlite3_result_null(ctx);
}

// A field among numbers (In): its number where its text reads as one, Null
// where it is blank, the text itself otherwise.
void jetNumber(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readNumber(argv[0]);
    if (r.kind == Read::Null)
        sqlite3_result_null(ctx);
    else if (r.kind == Read::Other)
        sqlite3_result_value(ctx, argv[0]);
    else if (r.integer)
        sqlite3_result_int64(ctx, r.whole);
    else
        sqlite3_result_double(ctx, r.number);
}

void jetIsDate(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const int type = sqlite3_value_type(argv[0]);
    sqlite3_result_int(ctx, type != SQLITE_INTEGER && type != SQLITE_FLOAT && readDate(argv[0]).kind == Read::Date);
}

void jetIsNumeric(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    sqlite3_result_int(ctx, readNumber(argv[0]).kind == Read::Number);
}

// ---------------------------------------------------------------------------
// Characters: Asc, Chr in the Windows western code page; AscW, ChrW in Unicode

// Code points of bytes 0x80 to 0x9F in Windows-1252; the five it leaves
// undefined stand for themselves, as Windows maps them.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

template<bool Unicode>
void jetAsc(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const Text text = textOf(argv[0]);
    if (text.begin == text.end) {
        argumentError(ctx, Unicode ? "AscW" : "Asc");
        return;
    }
    const auto *p = reinterpret_cast<const unsigned char *>(text.begin);
    const char32_t c = decodeUtf8(p, reinterpret_cast<const unsigned char *>(text.end));
    if (Unicode || c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        sqlite3_result_int64(ctx, c);
        return;
    }
    const auto *found = std::find(std::begin(kWindows1252High), std::end(kWindows1252High), c);
    sqlite3_result_int(ctx, found != std::end(kWindows1252High) ? int(0x80 + (found - kWindows1252High)) : '?');
}

template<bool Unicode>
void jetChr(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const ReadValue r = readNumber(argv[0]);
    if (r.kind == Read::Null) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto code = roundHalfEven(r, 0, Unicode ? 0x10FFFF : 255);
    if (!code || (*code >= 0xD800 && *code <= 0xDFFF)) {
        argumentError(ctx, Unicode ? "ChrW" : "Chr");
        return;
    }
    char32_t c = char32_t(*code);
    if (!Unicode && c >= 0x80 && c < 0xA0)
        c = kWindows1252High[c - 0x80];
    resultCodePoints(ctx, std::u32string(1, c));
}

// ---------------------------------------------------------------------------
// Replace, InStrRev, StrComp: letters compared without regard to case unless
// the compare argument is 0 (binary), as InStr.

bool binaryCompare(int argc, sqlite3_value **argv, int index)
{
    return index < argc && sqlite3_value_type(argv[index]) != SQLITE_NULL && sqlite3_value_int(argv[index]) == 0;
}

std::u32string comparable(sqlite3_value *v, bool binary)
{
    if (binary)
        return codePoints(v);
    std::u32string folded;
    foldUtf8(sqlite3_value_text(v), sqlite3_value_bytes(v), folded);
    return folded;
}

// Replace(text, find, replacement [, start [, count [, compare]]]): the text
// from `start` on (Jet drops what comes before), with `count` occurrences
// replaced (-1: all).
void jetReplace(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(3, argv)) {
        sqlite3_result_null(ctx);
        return;
    }
    const sqlite3_int64 start = argc > 3 ? sqlite3_value_int64(argv[3]) : 1;
    const sqlite3_int64 count = argc > 4 ? sqlite3_value_int64(argv[4]) : -1;
    if (start < 1 || count < -1) {
        argumentError(ctx, "Replace");
        return;
    }
    const bool binary = binaryCompare(argc, argv, 5);
    const std::u32string text = codePoints(argv[0]);
    const std::u32string replacement = codePoints(argv[2]);
    const std::u32string sought = comparable(argv[1], binary);
    if (size_t(start) > text.size()) {
        sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
        return;
    }
    const std::u32string searched = binary ? text : comparable(argv[0], false);
    std::u32string out;
    size_t at = size_t(start - 1);
    sqlite3_int64 done = 0;
    while (!sought.empty() && (count < 0 || done < count)) {
        const size_t found = searched.find(sought, at);
        if (found == std::u32string::npos)
            break;
        out.append(text, at, found - at);
        out += replacement;
        at = found + sought.size();
        ++done;
    }
    out.append(text, at, std::u32string::npos);
    resultCodePoints(ctx, out);
}

// InStrRev(text, sought [, start [, compare]]): the position of the last
// occurrence that ends at or before `start` (-1: the end), 0 when none.
void jetInstrRev(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(2, argv)) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_int64 start = argc > 2 ? sqlite3_value_int64(argv[2]) : -1;
    if (start == 0 || start < -1) {
        argumentError(ctx, "InStrRev");
        return;
    }
    const bool binary = binaryCompare(argc, argv, 3);
    const std::u32string text = comparable(argv[0], binary);
    const std::u32string sought = comparable(argv[1], binary);
    if (start == -1)
        start = sqlite3_int64(text.size());
    if (size_t(start) > text.size()) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    if (sought.empty()) {
        sqlite3_result_int64(ctx, start);
        return;
    }
    if (sought.size() > size_t(start)) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    const size_t found = text.rfind(sought, size_t(start) - sought.size());
    sqlite3_result_int64(ctx, found == std::u32string::npos ? 0 : sqlite3_int64(found + 1));
}

// StrComp(a, b [, compare]): -1, 0 or 1; text comparison by default (the
// JETTEXT order), binary (code points) with compare 0.
void jetStrComp(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(2, argv)) {
        sqlite3_result_null(ctx);
        return;
    }
    if (!binaryCompare(argc, argv, 2)) {
        const auto *collation = static_cast<const JetCollation *>(sqlite3_user_data(ctx));
        sqlite3_result_int(ctx, *compareIn(*collation, Domain::Text, argv[0], argv[1]));
        return;
    }
    const Text a = textOf(argv[0]);
    const Text b = textOf(argv[1]);
    const size_t na = size_t(a.end - a.begin), nb = size_t(b.end - b.begin);
    int c = std::memcmp(a.begin, b.begin, std::min(na, nb)); // UTF-8 bytes sort as code points
    if (c == 0)
        c = (na > nb) - (na < nb);
    sqlite3_result_int(ctx, (c > 0) - (c < 0));
}

struct FunctionEntry
{
    const char *name;
    int argc;
    void (*function)(sqlite3_context *, int, sqlite3_value **);
    bool collation = false; // needs the connection's collation as its user data
};

} // namespace

void installJetFunctions(sqlite3 *db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    static constexpr FunctionEntry functions[] = {
        {"like", 2, likeFunction},
        {"like", 3, likeFunction},
        {"jet_ucase", 1, changeCase<true>},
        {"jet_lcase", 1, changeCase<false>},
        {"jet_right", 2, jetRight},
        {"jet_len", 1, jetLen},
        {"jet_trim", 1, jetTrim<true, true>},
        {"jet_ltrim", 1, jetTrim<true, false>},
        {"jet_rtrim", 1, jetTrim<false, true>},
        {"jet_val", 1, jetVal},
        {"jet_instr", 3, jetInstr},
        {"jet_instr", 4, jetInstr},
        {"jet_instrrev", 2, jetInstrRev},
        {"jet_instrrev", 3, jetInstrRev},
        {"jet_instrrev", 4, jetInstrRev},
        {"jet_replace", 3, jetReplace},
        {"jet_replace", 4, jetReplace},
        {"jet_replace", 5, jetReplace},
        {"jet_replace", 6, jetReplace},
        {"jet_strcomp", 2, jetStrComp, true},
        {"jet_strcomp", 3, jetStrComp, true},
        {"jet_str", 1, jetStr},
        {"jet_asc", 1, jetAsc<false>},
        {"jet_ascw", 1, jetAsc<true>},
        {"jet_chr", 1, jetChr<false>},
        {"jet_chrw", 1, jetChr<true>},
        {"jet_cint", 1, jetRoundToInteger<16>},
        {"jet_clng", 1, jetRoundToInteger<32>},
        {"jet_num", 1, jetNumber},
        {"jet_isnumeric", 1, jetIsNumeric},
        {"jet_isdate", 1, jetIsDate},
        {"jet_add", 2, jetAdd},
        {"jet_sub", 2, jetSub},
        {"jet_pow", 2, jetPow},
        {"jet_cmpnum", 2, jetCompareValues<Domain::Number>, true},
        {"jet_cmpdate", 2, jetCompareValues<Domain::Date>, true},
        {"jet_between", 4, jetBetween, true},
        {"jet_date", 1, jetDate},
        {"jet_datevalue", 1, jetDateValue},
        {"jet_datenum", 1, jetDateNumber},
        {"jet_datetext", 1, jetDateText},
        {"jet_dateplus", 2, jetDatePlus},
        {"jet_datepart", 2, jetDatePart},
        {"jet_datepart", 3, jetDatePart},
        {"jet_datepart", 4, jetDatePart},
        {"jet_datediff", 3, jetDateDiff},
        {"jet_datediff", 4, jetDateDiff},
        {"jet_datediff", 5, jetDateDiff},
        {"jet_dateadd", 3, jetDateAdd},
        {"jet_dateserial", 3, jetDateSerial},
    };
    // One collation object per connection, shared with the functions that
    // compare texts the way it does; the collation owns it.
    auto *collation = new JetCollation;
    sqlite3_create_collation_v2(db, kJetCollation, SQLITE_UTF8, collation, collationCompare, destroyCollation);
    for (const FunctionEntry &f : functions)
        sqlite3_create_function_v2(db, f.name, f.argc, flags, f.collation ? collation : nullptr, f.function, nullptr,
                                   nullptr, nullptr);
}

std::optional<qint64> jetReadDate(QStringView text, DateOrder order)
{
    const QByteArray utf8 = text.toUtf8();
    return readDateText(Text{utf8.constData(), utf8.constData() + utf8.size()}, order);
}

QString jetDateText(qint64 seconds)
{
    return isoText(seconds);
}

bool jetLike(const QString &value, const QString &pattern)
{
    CompiledPattern compiled;
    compilePattern(std::u32string(pattern.toStdU32String()), compiled);
    const QByteArray utf8 = value.toUtf8();
    return likeUtf8(compiled, reinterpret_cast<const unsigned char *>(utf8.constData()), int(utf8.size()));
}

int jetCompare(const QString &a, const QString &b)
{
    const QCollator collator = makeFrenchCollator();
    return sign(collator.compare(withoutTrailingBlanks(a), withoutTrailingBlanks(b)));
}

int jetFunctionError(const QString &engineMessage, QString *description)
{
    static const QRegularExpression numbered(QStringLiteral("^#(\\d{1,5})#(.*)$"),
                                             QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = numbered.match(engineMessage);
    if (!match.hasMatch())
        return 0;
    if (description)
        *description = match.captured(2);
    return match.captured(1).toInt();
}
