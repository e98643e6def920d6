#pragma once

#include <QList>
#include <QString>

// The sounds of the kiosk's buttons, in the data folder's SONS: each file
// (FERME.WAV) and the words it says ("Fermer"). One list, sons/boutons.txt,
// from which the build speaks them and which is compiled in here.
struct SonBouton
{
    QString fichier;
    QString paroles;
};

const QList<SonBouton> &sonsBoutons();

// The list's lines: "FILE words", lines starting with # and blank ones left
// out, a line without words ignored.
QList<SonBouton> lisSonsBoutons(const QByteArray &texte);
