// The date readers against each other. A loan date is read by the journal
// (the length of a loan) and by the database engine (conditions, Date
// functions): both must find the same day in the same text, or both none.
// A date serial that the import tool writes as text must read back, through
// both, as the day the engine itself finds in the serial.

#include "fuzzsupport.h"

#include "module/module11.h"
#include "data/jetdate.h"
#include "data/jetfunctions.h"
#ifdef LUMA_FUZZ_IMPORT
#include "accessimport.h"
#endif

#include <QDate>
#include <QString>

#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <optional>

namespace {

// A time alone ("10:30"), which the engine reads on day zero: no loan date.
bool timeAlone(const QString &text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    while (i < t.size() && t[i] >= u'0' && t[i] <= u'9')
        ++i;
    return i < t.size() && t[i] == u':';
}

void compareReaders(const QString &text)
{
    const QDate journal = parseLoanDate(text);
    const std::optional<JetDate> engine = JetDate::read(text, DateOrder::DayFirst);
    const QString what = QStringLiteral("'%1': journal reads %2, engine %3")
                             .arg(fuzz::shown(text), journal.toString(Qt::ISODate),
                                  engine ? engine->isoText() : QStringLiteral("nothing"));
    if (journal.isValid())
        fuzz::check(engine && engine->day() == journal, what);
    if (engine && !timeAlone(text))
        fuzz::check(journal.isValid(), what);
    if (engine) {
        // The engine's own text of the date reads back as the same instant.
        const auto again = JetDate::read(engine->isoText(), DateOrder::DayFirst);
        fuzz::check(again == engine, what + QStringLiteral(", read again: ") +
                                         (again ? again->isoText() : QStringLiteral("nothing")));
    }
}

struct Engine
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    Engine()
    {
        sqlite3_open(":memory:", &db);
        installJetFunctions(db);
        sqlite3_prepare_v2(db, "SELECT jet_frenchdate(?1)", -1, &stmt, nullptr);
    }
    ~Engine()
    {
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    // The day-first text the engine gives a date serial stored as a number.
    QString textOfSerial(double serial)
    {
        sqlite3_bind_double(stmt, 1, serial);
        QString out;
        if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) == SQLITE_TEXT)
            out = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        sqlite3_reset(stmt);
        return out;
    }
};

// Jet's dates: 1 January 100 to 31 December 9999. A time is read to the
// nearest second, so the last half second of 9999 is already the year 10000.
bool inJetRange(double serial)
{
    constexpr double kHalfSecond = 0.5 / 86400.0;
    return std::isfinite(serial) && serial >= -657434.0 && serial < 2958466.0 - kHalfSecond;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Engine engine;
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool()) {
        const std::string raw = in.ConsumeRemainingBytesAsString();
        compareReaders(QString::fromUtf8(raw.data(), qsizetype(raw.size())));
        return 0;
    }
    double serial = 0;
    if (in.ConsumeBool()) {
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(sizeof serial);
        if (!bytes.empty())
            std::memcpy(&serial, bytes.data(), std::min(bytes.size(), sizeof serial));
    } else {
        // Mostly days the catalogue may hold, with a time of day.
        serial = in.ConsumeFloatingPointInRange<double>(-700000.0, 3000000.0);
    }
    const QString byEngine = engine.textOfSerial(serial);
    if (!inJetRange(serial))
        return 0;
    fuzz::check(!byEngine.isEmpty(), QStringLiteral("serial %1 not read as a date").arg(serial, 0, 'g', 17));
    compareReaders(byEngine);
#ifdef LUMA_FUZZ_IMPORT
    const QString byImport = dateFieldText(serial);
    fuzz::check(byImport == byEngine, QStringLiteral("serial %1: import writes '%2', engine reads '%3'")
                                           .arg(serial, 0, 'g', 17)
                                           .arg(byImport, byEngine));
    compareReaders(byImport);
#endif
    return 0;
}
