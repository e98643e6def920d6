#include "data/rowvalues.h"

#include "data/jetfunctions.h"

#include <algorithm>
#include <cmath>

namespace rowvalues {

namespace {

QString realText(double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}

int typeRank(int type)
{
    switch (type) {
    case SQLITE_NULL:
        return 0;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return 1;
    case SQLITE_TEXT:
        return 2;
    default:
        return 3;
    }
}

bool allDigits(const std::string &s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int byteCompare(const std::string &a, const std::string &b)
{
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

QString columnText(sqlite3_stmt *stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QString::number(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
        return realText(sqlite3_column_double(stmt, column));
    default: {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(stmt, column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(stmt, column));
    }
    }
}

QVariant columnValue(sqlite3_stmt *stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, column)),
                                          sqlite3_column_bytes(stmt, column)));
    default: {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(stmt, column));
        return QVariant(QByteArray(bytes, sqlite3_column_bytes(stmt, column)));
    }
    }
}

QString variantText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::Double:
        return realText(value.toDouble());
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

void bindVariant(sqlite3_stmt *stmt, int index, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        sqlite3_bind_null(stmt, index);
        break;
    case QMetaType::LongLong:
        sqlite3_bind_int64(stmt, index, value.toLongLong());
        break;
    case QMetaType::Double:
        sqlite3_bind_double(stmt, index, value.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        sqlite3_bind_blob(stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    default: {
        const QByteArray utf8 = value.toString().toUtf8();
        sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        break;
    }
    }
}

void KeyValue::read(sqlite3_stmt *stmt, int column)
{
    // Through the value itself: each sqlite3_column_* call costs a lookup and
    // an error check, which at a million rows is most of the order check.
    sqlite3_value *value = sqlite3_column_value(stmt, column);
    type = sqlite3_value_type(value);
    digits = false;
    if (type == SQLITE_INTEGER) {
        integer = sqlite3_value_int64(value);
    } else if (type == SQLITE_FLOAT) {
        real = sqlite3_value_double(value);
    } else if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
        const auto *data = static_cast<const char *>(sqlite3_value_blob(value));
        bytes.assign(data ? data : "", size_t(sqlite3_value_bytes(value)));
        digits = type == SQLITE_TEXT && allDigits(bytes);
    }
}

int compareKeys(const KeyValue &a, const KeyValue &b, bool collated)
{
    const int ra = typeRank(a.type), rb = typeRank(b.type);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    switch (ra) {
    case 0:
        return 0;
    case 1: {
        if (a.type == SQLITE_INTEGER && b.type == SQLITE_INTEGER)
            return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
        const double x = a.type == SQLITE_INTEGER ? double(a.integer) : a.real;
        const double y = b.type == SQLITE_INTEGER ? double(b.integer) : b.real;
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case 2:
        if (!collated || a.bytes == b.bytes)
            return byteCompare(a.bytes, b.bytes);
        // Digit strings (inventory numbers) sort alike in both orders.
        if (a.digits && b.digits)
            return byteCompare(a.bytes, b.bytes);
        {
            const int c = jetCompare(QString::fromUtf8(a.bytes.data(), qsizetype(a.bytes.size())),
                                     QString::fromUtf8(b.bytes.data(), qsizetype(b.bytes.size())));
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
    default:
        return byteCompare(a.bytes, b.bytes);
    }
}

} // namespace rowvalues
