#include "platform/errornumbers.h"

#include <algorithm>
#include <iterator>

namespace {

struct Row
{
    int number;
    const char *description;
    const char *message;
};

#define LUMA_ERROR_ROW(name, number, description, message) {number, description, message},
constexpr Row kRows[] = {LUMA_ERROR_NUMBERS(LUMA_ERROR_ROW)};
#undef LUMA_ERROR_ROW

constexpr bool inOrder()
{
    for (std::size_t i = 1; i < std::size(kRows); ++i) {
        if (kRows[i - 1].number >= kRows[i].number)
            return false;
    }
    return true;
}
static_assert(inOrder(), "the rows go by increasing number, each number once");

const Row *rowOf(int number)
{
    const auto row = std::lower_bound(std::begin(kRows), std::end(kRows), number,
                                      [](const Row &r, int n) { return r.number < n; });
    return row != std::end(kRows) && row->number == number ? row : nullptr;
}

QString textOf(const char *utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

} // namespace

namespace ErrorNumber {

QString description(int number)
{
    const Row *row = rowOf(number);
    return row && row->description ? textOf(row->description)
                                   : QStringLiteral("Erreur définie par l'application ou par l'objet");
}

QString message(int number)
{
    const Row *row = rowOf(number);
    return row ? textOf(row->message) : QString();
}

} // namespace ErrorNumber
