#pragma once

#include "data/cursor.h"

#include <QString>
#include <array>
#include <memory>

// A label bound to one field of a cursor: it shows the field of the current
// record and follows the cursor when it moves; a text put into it is written
// into that field when the cursor's record is saved. Before its cursor ever had
// a current record it shows its design text; while the cursor stands off the
// ends it keeps the last text it showed.
class BoundLabel
{
public:
    BoundLabel(Cursor &cursor, QString fieldName, QString designText);

    // The text shown: the pending edit, else the current record's field.
    QString text() const;
    // Edits the field of the current record (3021 when there is none).
    void setText(const QString &text);

    Cursor &cursor() const { return *m_cursor; }
    const QString &fieldName() const { return m_field; }
    const QString &designText() const { return m_designText; }

private:
    Cursor *m_cursor;
    QString m_field;
    QString m_designText;
    mutable QString m_lastText;
};

// The hidden data screen: never shown, it holds the four shared cursors and
// the nineteen labels bound to their fields, through which every screen reads
// and changes the data.
class Feuilleenfant
{
public:
    Feuilleenfant();
    ~Feuilleenfant();

    static QString caption() { return QStringLiteral("Accès aux fichiers"); }

    Cursor &Donnée1() { return *m_cursors[0]; } // children
    Cursor &Donnée2() { return *m_cursors[1]; } // catalogue
    Cursor &Donnée3() { return *m_cursors[2]; } // descriptors
    Cursor &Donnée4() { return *m_cursors[3]; } // classes

    // Etiquette1 to Etiquette19, by number.
    BoundLabel &Etiquette(int number);

    BoundLabel &Etiquette1() { return Etiquette(1); }   // nomenfant
    BoundLabel &Etiquette2() { return Etiquette(2); }   // prénomenfant
    BoundLabel &Etiquette3() { return Etiquette(3); }   // matricule
    BoundLabel &Etiquette4() { return Etiquette(4); }   // inventaire
    BoundLabel &Etiquette5() { return Etiquette(5); }   // titre
    BoundLabel &Etiquette6() { return Etiquette(6); }   // emprunté
    BoundLabel &Etiquette7() { return Etiquette(7); }   // emprunteur
    BoundLabel &Etiquette8() { return Etiquette(8); }   // catégorieemprunteur
    BoundLabel &Etiquette9() { return Etiquette(9); }   // dewey
    BoundLabel &Etiquette10() { return Etiquette(10); } // motsclés
    BoundLabel &Etiquette11() { return Etiquette(11); } // emprunt
    BoundLabel &Etiquette12() { return Etiquette(12); } // cumul
    BoundLabel &Etiquette13() { return Etiquette(13); } // dateemprunt
    BoundLabel &Etiquette14() { return Etiquette(14); } // éditeur
    BoundLabel &Etiquette15() { return Etiquette(15); } // classe
    BoundLabel &Etiquette16() { return Etiquette(16); } // niveau
    BoundLabel &Etiquette17() { return Etiquette(17); } // descripteur
    BoundLabel &Etiquette18() { return Etiquette(18); } // équipeinstituteur
    BoundLabel &Etiquette19() { return Etiquette(19); } // équipenuméro

    // Closes the four cursors (at the end of the program).
    void closeAll();

    // The data folder's server when its databases are there (BASE.INI), for
    // the four cursors; null: the folder's files.
    void setServeur(const std::shared_ptr<BaseServeur> &serveur);
    const std::shared_ptr<BaseServeur> &serveur() { return Donnée2().serveur(); }

private:
    std::array<std::unique_ptr<Cursor>, 4> m_cursors;
    std::array<std::unique_ptr<BoundLabel>, 19> m_labels;
};
