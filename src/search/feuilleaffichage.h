#pragma once

#include "module/lumascreen.h"

class QLabel;
class QPushButton;

// The document display: the documents a search found, one at a time, each
// with its cover, number, title and the colour of its Dewey class. "avant"
// and "après" move the catalogue cursor itself; the screen keeps no position
// of its own and changes nothing in the catalogue. Touching the cover, the
// title or the number reads it aloud.
//
// Off either end of the result (one step past the last or before the first
// document, where the cursor has no current record) the page is empty: no
// cover, number, title nor colour, and the button that points further that
// way is dimmed, so the child sees there is nothing more on that side. The
// other button brings the document back.
class feuilleaffichage : public LumaScreen
{
public:
    explicit feuilleaffichage(AppContext &context);

    void Form_Load();
    void Form_Activate() override;

    // Shows the current record of the catalogue cursor.
    void AfficheDocument();
    // Colours the frame around the cover with the document's Dewey class.
    void CouleurDewey();

    void Picture1_Click(); // previous
    void Commande1_Click();
    void Picture2_Click(); // next
    void Commande2_Click();
    // The cover and the title say the title; the number says "numéro" and
    // its digits one by one.
    void Dessin1_Click();
    void Etiquette3_Click();
    void Etiquette4_Click();
    void Picture3_Click();
    void Picture4_Click();
    void Picture5_Click();
    void Command3D3_Click();

    PictureImage *Dessin1() const { return m_dessin1; }
    ShapeRect *Forme1() const { return m_forme1; }
    QLabel *Etiquette3() const { return m_etiquette3; }
    QLabel *Etiquette4() const { return m_etiquette4; }
    QPushButton *Commande1() const { return m_commande1; }
    QPushButton *Commande2() const { return m_commande2; }
    // The fill colour of Forme1 (kept while the frame is hidden).
    QColor couleurCadre() const { return m_couleurCadre; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // One step through the result, forward or back, and the page shown.
    void pas(bool enAvant);
    void pageVide();
    void marqueLesBouts();

    ShapeRect *m_forme1 = nullptr;
    QColor m_couleurCadre{Qt::white};
    PictureImage *m_dessin1 = nullptr;
    QLabel *m_etiquette3 = nullptr;
    QLabel *m_etiquette4 = nullptr;
    QPushButton *m_commande1 = nullptr;
    QPushButton *m_commande2 = nullptr;
    PictureImage *m_picture1 = nullptr;
    PictureImage *m_picture2 = nullptr;
};
