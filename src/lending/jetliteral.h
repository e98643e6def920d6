#pragma once

#include <QString>

// A text taken from data, to be put between the quotes of a Jet LIKE pattern
// so that it matches itself and nothing else: an apostrophe is doubled (it
// would end the literal) and each wildcard character is put inside brackets
// ([*] [?] [#] [[]), where Jet takes it literally.
inline QString jetLikeLiteral(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\'':
            out += QStringLiteral("''");
            break;
        case u'*':
        case u'?':
        case u'#':
        case u'[':
            out += QLatin1Char('[') + c + QLatin1Char(']');
            break;
        default:
            out += c;
        }
    }
    return out;
}
