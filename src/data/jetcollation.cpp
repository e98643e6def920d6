// The JETTEXT collation: French dictionary order, case ignored, accents
// significant, trailing blanks ignored.

#include "data/jetengine.h"
#include "data/jetfunctions.h"

#include <QLocale>

#include <cstring>
#include <vector>

namespace jet {

namespace {

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

} // namespace

JetCollation::JetCollation() : collator(makeFrenchCollator())
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

int JetCollation::compareSlow(const char *a, int na, const char *b, int nb) const
{
    return sign(collator.compare(withoutTrailingBlanks(QString::fromUtf8(a, na)),
                                 withoutTrailingBlanks(QString::fromUtf8(b, nb))));
}

int JetCollation::compare(const char *a, int na, const char *b, int nb) const
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

int collationCompare(void *data, int na, const void *a, int nb, const void *b)
{
    return static_cast<JetCollation *>(data)->compare(static_cast<const char *>(a), na,
                                                      static_cast<const char *>(b), nb);
}

void destroyCollation(void *data)
{
    delete static_cast<JetCollation *>(data);
}

} // namespace jet

int jetCompare(const QString &a, const QString &b)
{
    const QCollator collator = jet::makeFrenchCollator();
    return jet::sign(collator.compare(jet::withoutTrailingBlanks(a), jet::withoutTrailingBlanks(b)));
}
