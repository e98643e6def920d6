#include "platform/sonsboutons.h"

#include <QFile>

QList<SonBouton> lisSonsBoutons(const QByteArray &texte)
{
    QList<SonBouton> sons;
    for (const QByteArray &brute : texte.split('\n')) {
        const QString ligne = QString::fromUtf8(brute).trimmed();
        if (ligne.isEmpty() || ligne.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype blanc = ligne.indexOf(QLatin1Char(' '));
        if (blanc <= 0)
            continue;
        sons.append({ligne.left(blanc), ligne.mid(blanc + 1).trimmed()});
    }
    return sons;
}

const QList<SonBouton> &sonsBoutons()
{
    static const QList<SonBouton> sons = [] {
        QFile liste(QStringLiteral(":/sons/boutons.txt"));
        return liste.open(QIODevice::ReadOnly) ? lisSonsBoutons(liste.readAll()) : QList<SonBouton>{};
    }();
    return sons;
}
