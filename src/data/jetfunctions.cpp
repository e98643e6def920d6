#include "data/jetfunctions.h"

#include "data/jetengine.h"
#include "data/jetfunctiontable.h"

#include <QRegularExpression>

namespace jet {

void resultError(sqlite3_context *ctx, int number, const std::string &text)
{
    const std::string message = "#" + std::to_string(number) + "#" + text;
    sqlite3_result_error(ctx, message.c_str(), -1);
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

bool argumentError(sqlite3_context *ctx, const char *function)
{
    resultError(ctx, ErrorNumber::InvalidArgument, std::string("Argument incorrect pour ") + function);
    return false;
}

} // namespace jet

namespace {

using namespace jet;
using R = JetResult;

constexpr JetFunction kFunctions[] = {
    {"like", 2, 3, likeFunction},
    {"jet_ucase", 1, 1, changeCase<true>, "UCase", "t", R::Text},
    {"jet_lcase", 1, 1, changeCase<false>, "LCase", "t", R::Text},
    {"jet_right", 2, 2, jetRight, "Right", "tn", R::Text},
    {"jet_len", 1, 1, jetLen, "Len", "t", R::Number},
    {"jet_trim", 1, 1, jetTrim<true, true>, "Trim", "t", R::Text},
    {"jet_ltrim", 1, 1, jetTrim<true, false>, "LTrim", "t", R::Text},
    {"jet_rtrim", 1, 1, jetTrim<false, true>, "RTrim", "t", R::Text},
    {"jet_val", 1, 1, valFunction, "Val", "t", R::Number},
    // InStr(text, sought) is called with the start 1.
    {"jet_instr", 3, 4, jetInstr, "InStr", "nttn", R::Number},
    {"jet_instrrev", 2, 4, jetInstrRev, "InStrRev", "ttnn", R::Number},
    {"jet_replace", 3, 6, jetReplace, "Replace", "tttnnn", R::Text},
    {"jet_strcomp", 2, 3, jetStrComp, "StrComp", "ttn", R::Number, false, true},
    {"jet_str", 1, 1, jetStr, "Str", "v", R::Text},
    {"jet_asc", 1, 1, jetAsc<false>, "Asc", "t", R::Number},
    {"jet_ascw", 1, 1, jetAsc<true>, "AscW", "t", R::Number},
    {"jet_chr", 1, 1, jetChr<false>, "Chr", "n", R::Text},
    {"jet_chrw", 1, 1, jetChr<true>, "ChrW", "n", R::Text},
    {"jet_cint", 1, 1, jetRoundToInteger<16>, "CInt", "n", R::Number},
    {"jet_clng", 1, 1, jetRoundToInteger<32>, "CLng", "n", R::Number},
    {"jet_isnumeric", 1, 1, jetIsNumeric, "IsNumeric", "v", R::Truth},
    {"jet_isdate", 1, 1, jetIsDate, "IsDate", "v", R::Truth},
    {"jet_date", 1, 1, jetDate, "CDate", "v", R::Date},
    {"jet_datevalue", 1, 1, jetDateValue, "DateValue", "v", R::Date},
    {"jet_datepart", 2, 4, jetDatePart, "DatePart", "vvnn", R::Number, true},
    {"jet_datediff", 3, 5, jetDateDiff, "DateDiff", "vvvnn", R::Number, true},
    {"jet_dateadd", 3, 3, jetDateAdd, "DateAdd", "vnv", R::Date, true},
    {"jet_dateserial", 3, 3, jetDateSerial, "DateSerial", "n", R::Date},
    {"jet_num", 1, 1, jetNumber},
    {"jet_add", 2, 2, jetAdd},
    {"jet_sub", 2, 2, jetSub},
    {"jet_pow", 2, 2, jetPow},
    {"jet_cmpnum", 2, 2, jetCompareValues<Domain::Number>, nullptr, "v", R::Unknown, false, true},
    {"jet_cmpdate", 2, 2, jetCompareValues<Domain::Date>, nullptr, "v", R::Unknown, false, true},
    {"jet_between", 4, 4, jetBetween, nullptr, "v", R::Unknown, false, true},
    {"jet_datenum", 1, 1, jetDateNumber},
    {"jet_frenchdate", 1, 1, jetFrenchDate},
    {"jet_dateplus", 2, 2, jetDatePlus},
};

} // namespace

std::span<const JetFunction> jetFunctionTable()
{
    return kFunctions;
}

const JetFunction *findJetFunction(QStringView jetName)
{
    for (const JetFunction &f : kFunctions) {
        if (f.jetName && jetName.compare(QLatin1String(f.jetName), Qt::CaseInsensitive) == 0)
            return &f;
    }
    return nullptr;
}

void installJetFunctions(sqlite3 *db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    // One collation object per connection, shared with the functions that
    // compare texts the way it does; the collation owns it.
    auto *collation = new JetCollation;
    sqlite3_create_collation_v2(db, kJetCollation, SQLITE_UTF8, collation, collationCompare, destroyCollation);
    for (const JetFunction &f : kFunctions) {
        for (int argc = f.minArgs; argc <= f.maxArgs; ++argc)
            sqlite3_create_function_v2(db, f.sqlName, argc, flags, f.collation ? collation : nullptr, f.function,
                                       nullptr, nullptr, nullptr);
    }
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
