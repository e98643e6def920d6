#pragma once

#include "module/lumascreen.h"

class QLineEdit;
class QPushButton;

// The word search ("j'écris"): the child types a word, and the documents
// whose title or keywords contain it, within the classes chosen on the search
// screen, are shown on the document display. The word stays in the box
// between visits and the keyboard goes back to the box each time the screen
// is active again.
class Feuilleécriture : public LumaScreen
{
public:
    explicit Feuilleécriture(AppContext &context);

    void Form_Load();
    void Form_Activate() override;

    QLineEdit *Texte1() const { return m_texte1; }
    QPushButton *Commande2() const { return m_commande2; }
    PictureImage *Dessin3() const { return m_dessin3; }

    // "je cherche", the dog, and Return in the box: the search.
    void Commande2_Click();
    void Dessin3_Click();
    void Command3D3_Click();
    void Picture3_Click();

private:
    QLineEdit *m_texte1 = nullptr;
    PictureImage *m_dessin3 = nullptr;
    QPushButton *m_commande2 = nullptr;
};
