#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A saved request: a ready-made search shown to the children as a picture
// with a title, stored as a small text file in the data folder's REQUETES.
// Its four values, in order.
struct ContenuRequete
{
    QString tete;  // head of a catalogue query, ending in its WHERE condition
    QString titre; // shown under the picture
    QString image; // picture file in IMAGES; ".BMP" or empty: none
    QString son;   // sound file in SONS, played when the request runs; empty: the title is said
    bool operator==(const ContenuRequete &) const = default;
};

// Reads a request file (a path of the data folder, CheminBase + "\\REQUETES\\"
// + name). Throws AppError: 53 missing file, 70 unreadable, 62 fewer than four
// values.
ContenuRequete LitRequete(const QString &windowsPath);
// The same from the file's bytes.
ContenuRequete decodeRequete(const QByteArray &octets);

// The bytes of a request file, as the sequential output of the Windows
// programs wrote it: the four values quoted, separated by commas, on one line
// ended by CR LF. In Windows-1252 when every character fits (so that those
// programs read it as well), otherwise in UTF-8 with a byte-order mark. Throws
// AppError 5 with a French message for what no reader could read back: a
// double quote in a value (it would end the value), a line end in the title
// or a file name, an empty head.
QByteArray encodeRequete(const ContenuRequete &contenu);

// The classes filter of a search: the Dewey classes chosen on the search
// screen (0 to 9), or every document that has a class when none is chosen.
QString filtreDewey(const QList<int> &classes);

// The record source the picture requests screen runs for a request: its head
// restricted to the classes filter, in inventory order.
QString sourceRequete(const QString &tete, const QString &filtreDewey);
