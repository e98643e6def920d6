// The teachers' spreadsheet reader on any bytes: the whole file refused with
// one of its errors, or books that the catalogue can take (five-digit numbers
// of their own, a title, a Dewey starting with a digit) and refused rows, each
// row of the file at most once, in order.

#include "fuzzsupport.h"

#include "gestion/importlivres.h"

#include <QSet>

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QSet<int> taken = {1, 2, 12, 42, 99998};
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    LectureLivres lecture;
    try {
        lecture = ImportLivres::analyse(bytes, taken);
    } catch (const AppError &error) {
        fuzz::expectNumber(error, {ErrorNumber::InputPastEnd, ErrorNumber::FieldNotFound, ErrorNumber::InvalidArgument});
        return 0;
    }
    QSet<QString> numbers;
    QSet<int> rows;
    for (const LivreImporte &livre : lecture.livres) {
        const bool digits = livre.inventaire.size() == 5 &&
                            std::all_of(livre.inventaire.cbegin(), livre.inventaire.cend(),
                                        [](QChar c) { return c >= u'0' && c <= u'9'; });
        fuzz::check(digits, QStringLiteral("number %1").arg(fuzz::shown(livre.inventaire)));
        fuzz::check(!taken.contains(livre.inventaire.toInt()), QStringLiteral("number %1 taken").arg(livre.inventaire));
        fuzz::check(!numbers.contains(livre.inventaire), QStringLiteral("number %1 twice").arg(livre.inventaire));
        numbers.insert(livre.inventaire);
        fuzz::check(!livre.titre.isEmpty() && livre.titre == livre.titre.simplified(),
                    QStringLiteral("title %1").arg(fuzz::shown(livre.titre)));
        fuzz::check(!livre.dewey.isEmpty() && livre.dewey.front() >= u'0' && livre.dewey.front() <= u'9',
                    QStringLiteral("Dewey %1").arg(fuzz::shown(livre.dewey)));
        fuzz::check(livre.ligne >= 2 && !rows.contains(livre.ligne), QStringLiteral("row %1").arg(livre.ligne));
        rows.insert(livre.ligne);
    }
    int previous = 1;
    for (const LigneRefusee &refus : lecture.refus) {
        fuzz::check(refus.ligne > previous && !rows.contains(refus.ligne) && !refus.raison.isEmpty(),
                    QStringLiteral("refused row %1").arg(refus.ligne));
        previous = refus.ligne;
    }
    return 0;
}
