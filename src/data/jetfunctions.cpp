#include "data/jetfunctions.h"

#include <QChar>
#include <QCollator>
#include <QDate>
#include <QRegularExpression>
#include <QTime>
#include <QLocale>
#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

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

QString argText(sqlite3_value *v)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
}

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
        sqlite3_result_error(ctx, "Argument incorrect pour Right", -1);
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
    sqlite3_result_double(ctx, std::strtod(number.c_str(), nullptr));
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
        sqlite3_result_error(ctx, "Argument incorrect pour InStr", -1);
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
        std::snprintf(buffer, sizeof buffer, "%.15g", d);
        out = buffer;
        if (leadingBlank && d >= 0)
            out.insert(out.begin(), ' ');
    } else {
        sqlite3_result_error(ctx, "Type incompatible", -1);
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

// Jet's '+': two texts are joined, anything else is added; Null gives Null.
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
    const int ta = sqlite3_value_numeric_type(argv[0]);
    const int tb = sqlite3_value_numeric_type(argv[1]);
    if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) {
        sqlite3_int64 sum;
        if (!__builtin_add_overflow(sqlite3_value_int64(argv[0]), sqlite3_value_int64(argv[1]), &sum)) {
            sqlite3_result_int64(ctx, sum);
            return;
        }
    }
    sqlite3_result_double(ctx, sqlite3_value_double(argv[0]) + sqlite3_value_double(argv[1]));
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

// A date written by the program ("dd/mm/yyyy", optionally followed by a time)
// or in ISO order, as ISO text ("yyyy-mm-dd[ hh:mm:ss]") that compares in
// date order; Null for what is no date.
void jetDate(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const QString text = argText(argv[0]).trimmed();
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        sqlite3_result_null(ctx);
        return;
    }
    int y = 0, m = 0, d = 0;
    const QStringList ymd = parts[0].split(QRegularExpression(QStringLiteral("[-/.]")));
    bool ok1 = false, ok2 = false, ok3 = false;
    if (ymd.size() == 3) {
        if (ymd[0].size() == 4) {
            y = ymd[0].toInt(&ok1);
            m = ymd[1].toInt(&ok2);
            d = ymd[2].toInt(&ok3);
        } else {
            d = ymd[0].toInt(&ok1);
            m = ymd[1].toInt(&ok2);
            y = ymd[2].toInt(&ok3);
            if (ok3 && ymd[2].size() <= 2)
                y += y < 30 ? 2000 : 1900;
        }
    }
    const QDate date(y, m, d);
    if (!(ok1 && ok2 && ok3) || !date.isValid()) {
        sqlite3_result_null(ctx);
        return;
    }
    QString out = date.toString(QStringLiteral("yyyy-MM-dd"));
    if (parts.size() > 1) {
        const QTime time = QTime::fromString(parts[1], parts[1].count(QLatin1Char(':')) == 2
                                                           ? QStringLiteral("H:m:s")
                                                           : QStringLiteral("H:m"));
        if (time.isValid())
            out += time.toString(QStringLiteral(" HH:mm:ss"));
    }
    resultText(ctx, out);
}

struct FunctionEntry
{
    const char *name;
    int argc;
    void (*function)(sqlite3_context *, int, sqlite3_value **);
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
        {"jet_str", 1, jetStr},
        {"jet_add", 2, jetAdd},
        {"jet_pow", 2, jetPow},
        {"jet_date", 1, jetDate},
    };
    for (const FunctionEntry &f : functions)
        sqlite3_create_function_v2(db, f.name, f.argc, flags, nullptr, f.function, nullptr, nullptr, nullptr);
    sqlite3_create_collation_v2(db, kJetCollation, SQLITE_UTF8, new JetCollation, collationCompare,
                                destroyCollation);
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
