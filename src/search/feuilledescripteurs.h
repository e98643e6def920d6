#pragma once

#include "module/lumascreen.h"

class QListWidget;
class QPushButton;

// The descriptor search ("à partir d'un mot"): the child picks a subject word
// in the list, read once at start-up from COTATION.MDB, and the documents
// whose title or keywords contain it, within the classes chosen on the search
// screen, are shown on the document display. A word touched is read aloud.
// The chosen word stays selected between visits.
class feuilledescripteurs : public LumaScreen
{
public:
    explicit feuilledescripteurs(AppContext &context);

    void Form_Load();
    void Form_Activate() override;

    // Fills the list from the descriptor database (start-up, once). A missing
    // file or an empty table is told in a message box; a database error is
    // thrown to the caller's trap, the entries read so far staying listed.
    void ChargeDescripteurs();

    QListWidget *Liste1() const { return m_liste1; }
    QPushButton *Commande2() const { return m_commande2; }
    PictureImage *Dessin3() const { return m_dessin3; }

    // An entry touched is read aloud.
    void Liste1_Click();
    // A double click on an entry, "je cherche" and the dog: the search.
    void Liste1_DblClick();
    void Commande2_Click();
    void Dessin3_Click();
    void Command3D3_Click();
    void Picture3_Click();

private:
    void cherche();

    QListWidget *m_liste1 = nullptr;
    PictureImage *m_dessin3 = nullptr;
    QPushButton *m_commande2 = nullptr;
};
