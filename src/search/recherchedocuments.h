#pragma once

#include <QRectF>
#include <QString>
#include <functional>

class LumaScreen;
class PictureImage;
class QPushButton;

// What the three ways of searching share: the record source of a search by
// word, and running a record source on the catalogue cursor to show the
// documents found.

// Documents whose title or keywords contain the word, within the Dewey classes
// of the filter, in inventory order. The word search writes one blank before
// AND, the descriptor search two: both forms are kept as they stand. The word
// is trimmed of blanks around it; inside it, the wildcards * ? # keep their
// Jet meaning and only what would break the query is escaped.
QString requeteTitreOuMotsCles(const QString &mot, const QString &filtreDewey, int blancsAvantAnd);

// Runs a search from `opener`: hourglass, the catalogue cursor on the
// record source, refresh. A query the database rejects is reported through
// the error report and ends the search; nothing found says "Aucun livre n'a été
// trouvé..."; otherwise the first document found is shown on the document
// display, opened modally over `opener`. Returns whether the display opened.
bool afficheResultat(LumaScreen &opener, const QString &recordSource);

// The spotted dog sniffing the ground (Dessin3) and the "je cherche" button
// (Commande2) below it, which both search, as the word and descriptor screens
// place them (twips).
struct JeCherche
{
    PictureImage *Dessin3;
    QPushButton *Commande2;
};
JeCherche makeJeCherche(LumaScreen &screen, const QRectF &dog, const QRectF &button,
                        const std::function<void()> &onDog, const std::function<void()> &onButton);
