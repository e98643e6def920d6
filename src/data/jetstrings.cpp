// Jet's text functions: UCase, LCase, Right, Len, Trim, InStr, InStrRev,
// Replace, StrComp, Asc, Chr.

#include "data/jetengine.h"
#include "data/jetfunctiontable.h"

#include <QChar>
#include <QString>

#include <cstring>

namespace jet {

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

// ---------------------------------------------------------------------------
// Characters: Asc, Chr in the Windows western code page; AscW, ChrW in Unicode

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

template void changeCase<true>(sqlite3_context *, int, sqlite3_value **);
template void changeCase<false>(sqlite3_context *, int, sqlite3_value **);
template void jetTrim<true, true>(sqlite3_context *, int, sqlite3_value **);
template void jetTrim<true, false>(sqlite3_context *, int, sqlite3_value **);
template void jetTrim<false, true>(sqlite3_context *, int, sqlite3_value **);
template void jetAsc<false>(sqlite3_context *, int, sqlite3_value **);
template void jetAsc<true>(sqlite3_context *, int, sqlite3_value **);
template void jetChr<false>(sqlite3_context *, int, sqlite3_value **);
template void jetChr<true>(sqlite3_context *, int, sqlite3_value **);

} // namespace jet
