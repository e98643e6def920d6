#pragma once

#include <QString>

// Texts taken from data or typed by a child, put between the quotes of a Jet
// LIKE pattern.

// So that it matches itself and nothing else: an apostrophe is doubled (it
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

// A search word: the wildcards * ? # keep their Jet meaning (a teacher may
// type them on purpose), but an apostrophe ("l'ours") no longer ends the
// literal and an opening bracket no longer starts a set of characters, so
// the word is searched as the text it is and never breaks the query.
inline QString jetSearchWord(const QString &text)
{
    QString out;
    out.reserve(text.size() + 4);
    for (const QChar c : text) {
        if (c == u'\'')
            out += QStringLiteral("''");
        else if (c == u'[')
            out += QStringLiteral("[[]");
        else
            out += c;
    }
    return out;
}
