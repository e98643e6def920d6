#pragma once

#include "module/lumascreen.h"

#include <array>

class QLabel;
class RequetesSauvegardees;

// The picture requests screen: the saved requests shown as pictures with
// their titles, eighteen to a page in three rows of six. The child pages with
// "avant" and "après", touches a picture (a red frame marks it) and runs it by
// a double click or with "chercher": the request's sound plays and the
// documents it finds, within the classes chosen on the search screen, are
// shown on the document display.
class Recherche1 : public LumaScreen
{
public:
    explicit Recherche1(AppContext &context);

    void Form_Load();
    void Form_Activate() override;

    // The opening steps, run by the search screen before showing this one:
    // page 1, the page buttons and the caption.
    void premièrePage();

    void Dessin1_Click(int Index);
    void Dessin1_DblClick(int Index);
    void Command3D1_Click(); // après: next page
    void Command3D2_Click(); // avant: previous page
    void Command3D3_Click(); // close
    void Command3D4_Click(); // chercher

    int PageCourante() const { return m_pageCourante; }
    int CaseChoisie() const { return m_caseChoisie; }
    PictureImage *Dessin1(int k) const { return m_dessin1.at(k); }
    ShapeRect *Forme1(int k) const { return m_forme1.at(k); }
    QLabel *Etiquette1(int k) const { return m_etiquette1.at(k); }
    QLabel *Etiquette2(int k) const { return m_etiquette2.at(k); }
    Panel3D *Panel3D1() const { return m_panel3D1; }
    Button3D *Command3D1() const { return m_command3D1; }
    Button3D *Command3D2() const { return m_command3D2; }

    static constexpr int kCases = 18;

private:
    const RequetesSauvegardees &requêtes() const;
    void AfficheRequete(int n);
    void EffacePage();
    void EffaceCadres();
    // Shows requests from..to (inclusive) of the current page.
    void afficheRequetes(int from, int to);
    void légende();
    void exécute(int k);

    int m_pageCourante = 1;
    int m_caseChoisie = -1;
    Panel3D *m_panel3D1 = nullptr;
    Button3D *m_command3D1 = nullptr;
    Button3D *m_command3D2 = nullptr;
    std::array<PictureImage *, kCases> m_dessin1{};
    std::array<ShapeRect *, kCases> m_forme1{};
    std::array<QLabel *, kCases> m_etiquette1{};
    std::array<QLabel *, kCases> m_etiquette2{};
};
