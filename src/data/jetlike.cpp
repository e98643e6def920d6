// Jet's LIKE: '*', '?', '#', [abc], [a-z], [!abc]; letters compared without
// regard to case.

#include "data/jetengine.h"
#include "data/jetfunctions.h"

#include <cstring>
#include <memory>
#include <vector>

namespace jet {

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

} // namespace jet

bool jetLike(const QString &value, const QString &pattern)
{
    jet::CompiledPattern compiled;
    jet::compilePattern(std::u32string(pattern.toStdU32String()), compiled);
    const QByteArray utf8 = value.toUtf8();
    return jet::likeUtf8(compiled, reinterpret_cast<const unsigned char *>(utf8.constData()), int(utf8.size()));
}
