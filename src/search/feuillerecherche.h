#pragma once

#include "module/lumascreen.h"

#include <array>

class QLabel;

// The search screen. The child first marks, if he or she wishes, Dewey
// classes on the ten coloured boxes (a grey arrow above and a sun inside a
// marked box), then picks a way of searching: from a picture, from a word of
// the descriptor list, or by typing a word. The marks are the only record of
// the choice and stay as they are while the program runs; the close button
// puts the whole catalogue back in the catalogue cursor.
class Feuillerecherche : public LumaScreen
{
public:
    explicit Feuillerecherche(AppContext &context);

    void Form_Load();

    // Sets the module's FiltreDewey from the marked boxes.
    void ConstruitFiltreDewey();

    // Marks or unmarks class Index.
    void Dessin2_Click(int Index);
    void Command3D4_Click(); // from a picture
    void Command3D5_Click(); // from a word of the list
    void Command3D1_Click(); // by typing
    // Close: the whole catalogue again, then the door's sound, then hidden.
    void Command3D3_Click();
    void Picture3_Click();

    ShapeRect *Forme1(int i) const { return m_forme1.at(i); }
    PictureImage *Dessin1(int i) const { return m_dessin1.at(i); }
    PictureImage *Dessin2(int i) const { return m_dessin2.at(i); }
    PictureImage *Dessin3(int i) const { return m_dessin3.at(i); }
    // The fill colour of class box i.
    QColor couleurBoite(int i) const { return m_couleurs.at(i); }

private:
    std::array<ShapeRect *, 10> m_forme1{};
    std::array<PictureImage *, 10> m_dessin1{};
    std::array<PictureImage *, 10> m_dessin2{};
    std::array<PictureImage *, 10> m_dessin3{};
    std::array<QColor, 10> m_couleurs{};
};
