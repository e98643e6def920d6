#pragma once

#include "module/lumascreen.h"

#include <array>

class QLabel;

// The class choice screen, first of the lending chain: up to fifteen class
// pictures (or the teacher's name where a class has no picture). Touching a
// class marks it with a red frame and shows the button that loads its
// children into the child choice screen and opens that screen.
class Feuilleécole : public LumaScreen
{
public:
    static constexpr int kSlots = 15;

    explicit Feuilleécole(AppContext &context);

    void Form_Load();

    // Slot i stands for class number i + 1; start-up fills them.
    PictureImage *Dessin1(int i) const { return m_dessin1.at(i); }
    QLabel *Etiquette2(int i) const { return m_etiquette2.at(i); }
    ShapeRect *Forme1(int i) const { return m_forme1.at(i); }

    void Dessin1_Click(int Index);
    void Command3D1_Click();
    void SSCommand1_Click();
    void Picture3_Click();
    void Panel3D1_DblClick();

private:
    Panel3D *m_panel3D1 = nullptr;
    PictureImage *m_picture3 = nullptr;
    Button3D *m_ssCommand1 = nullptr;
    std::array<PictureImage *, kSlots> m_dessin1{};
    std::array<ShapeRect *, kSlots> m_forme1{};
    std::array<QLabel *, kSlots> m_etiquette2{};
    QLabel *m_etiquette1 = nullptr;
    Button3D *m_command3D1 = nullptr;
};
