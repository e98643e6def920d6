#pragma once

#include "module/lumascreen.h"

#include <array>

// The child choice screen: the photographs of the children of the chosen
// class. Touching a photograph marks it, writes and says the child's first name, looks
// for the document this child holds and prepares the document entry screen in
// return mode (one found) or borrow mode (none); the action button then
// carries the return or the borrow picture of that screen and opens it.
class Feuilleclasse : public LumaScreen
{
public:
    static constexpr int kPhotos = 35;

    explicit Feuilleclasse(AppContext &context);

    void Form_Load();
    void Form_Activate() override;

    // Controls the class choice screen fills before opening this screen.
    PictureImage *Dessin1(int k) const { return m_dessin1.at(k); }
    ShapeRect *Forme1(int k) const { return m_forme1.at(k); }
    PictureImage *Dessin2() const { return m_dessin2; }
    PictureImage *Dessin3() const { return m_dessin3; }
    Button3D *Command3D1() const { return m_command3D1; }
    PictureImage *Picture1() const { return m_picture1; }
    Panel3D *Panel3D1() const { return m_panel3D1; }

    void Dessin1_Click(int Index);
    void Command3D1_Click();
    void Picture1_Click();
    void Command3D3_Click();
    void Picture3_Click();

    // The waiting state, after a borrow or a return: no child marked, the
    // question in blue, no action button.
    void resetToWaiting();

private:
    void hideFrames();
    // The sound of the mode the action button shows, or an empty text.
    QString modeSound() const;

    Panel3D *m_panel3D1 = nullptr;
    PictureImage *m_dessin2 = nullptr;
    PictureImage *m_picture3 = nullptr;
    Button3D *m_command3D3 = nullptr;
    std::array<PictureImage *, kPhotos> m_dessin1{};
    std::array<ShapeRect *, kPhotos> m_forme1{};
    PictureImage *m_dessin3 = nullptr;
    Button3D *m_command3D1 = nullptr;
    PictureImage *m_picture1 = nullptr;
};
