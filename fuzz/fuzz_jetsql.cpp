// Jet SQL from request files and screens, translated and run on a small
// catalogue: whatever the text, no crash, no hang, nothing written to the
// file, and every failure an error of the program's numbers that a query can
// raise. The first byte chooses how the text is used: a whole record source,
// the head of a saved request (completed as the search screen completes it),
// or the condition of a find.

#include "fuzzsupport.h"
#include "testdb.h"

#include "data/cursor.h"
#include "platform/textfile.h"

#include <QCryptographicHash>
#include <QFile>

#include <exception>

namespace {

const QString &catalogue()
{
    static const QString path = [] {
        const QString file = fuzz::workFolder() + QStringLiteral("/LUMA.MDB");
        TestDb::createCatalogue(file);
        TestDb::createDescriptors(file);
        TestDb::addDocument(file, "00042", "Le loup", "O", "O", "12", "école", "05/12/2026", "4", "5", "Éditions du Pré",
                            "loup forêt");
        TestDb::addDocument(file, "00003", "La chèvre de M. Seguin", "O", "N", "", "", "", "", "8", "", "chèvre");
        TestDb::addDocument(file, "00100", "Élodie et Zoé", "N", "N", "", "", "2026-01-31 10:30:00", "12", "398");
        TestDb::addDocument(file, "7", "l'œuf", "O", "O", "3", "adulte", "1/2/99", "x", "0", "", "* ? # [");
        TestDb::insert(file, "luma", {"inventaire", "titre", "cumul", "dateemprunt"},
                       {QStringLiteral("00008"), QVariant(), QStringLiteral("1e3"), QStringLiteral("45000.5")});
        for (const char *word : {"loup", "Forêt", "chèvre", ""})
            TestDb::insert(file, "luma+", {"descripteur"}, {QString::fromUtf8(word)});
        TestDb::exec(file, "CREATE VIEW prêtés AS SELECT * FROM luma WHERE emprunté = 'O'");
        return file;
    }();
    return path;
}

QByteArray fingerprint()
{
    QFile file(catalogue());
    if (!file.open(QIODevice::ReadOnly))
        fuzz::finding(QStringLiteral("catalogue gone"));
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
}

// The numbers a query that only reads may fail with.
void expectQueryError(const AppError &error, const QString &text)
{
    static const std::initializer_list<int> numbers = {
        5,    // invalid argument (a function's, an interval)
        6,    // overflow (CInt, CLng)
        11,   // division by zero
        13,   // type mismatch
        ErrorNumber::NoCurrentRecord,
        3061, // unknown name, taken for a parameter
        3075, // syntax error
        ErrorNumber::TableNotFound,
        3079, // ambiguous field
        3085, // unknown function
        3129, // not a SELECT
        3142, // characters after the end
        3219, // an action query
        3464, // type mismatch in a criterion
    };
    for (int n : numbers)
        if (error.number() == n && !error.description().isEmpty())
            return;
    fuzz::finding(QStringLiteral("error %1 (%2) for: %3").arg(error.number()).arg(error.description(), fuzz::shown(text)));
}

void walk(Cursor &cursor)
{
    const QStringList names = cursor.fieldNames();
    int rows = 0;
    for (; !cursor.eof() && rows < 50; cursor.moveNext(), ++rows)
        for (const QString &name : names)
            cursor.field(name);
    if (cursor.recordCount() > 0) {
        cursor.moveLast();
        cursor.movePrevious();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QByteArray before = fingerprint();
    static Cursor cursor(QStringLiteral("luma"));
    if (size == 0)
        return 0;
    const int mode = data[0] % 3;
    const QString text = TextFile::decodeWritten(QByteArray(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1)));
    try {
        cursor.setDatabaseName(catalogue());
        if (mode == 2) {
            cursor.setRecordSource(QStringLiteral("SELECT * FROM luma ORDER BY inventaire ASC"));
            cursor.refresh();
            cursor.findFirst(text);
        } else {
            cursor.setRecordSource(mode == 0 ? text
                                             : text + QStringLiteral(" AND (dewey LIKE '*') ORDER BY inventaire ASC"));
            cursor.refresh();
        }
        walk(cursor);
    } catch (const AppError &error) {
        expectQueryError(error, text);
    } catch (const std::exception &error) {
        fuzz::finding(QStringLiteral("exception %1 for: %2").arg(QString::fromLocal8Bit(error.what()), fuzz::shown(text)));
    }
    fuzz::check(fingerprint() == before, QStringLiteral("catalogue changed by: ") + fuzz::shown(text));
    return 0;
}
