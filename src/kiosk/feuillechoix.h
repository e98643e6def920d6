#pragma once

#include "module/lumascreen.h"

class QLabel;

// The main menu: lending or searching, each on a big picture button with a
// loudspeaker beside it, and the door that quits after a spoken question.
class Feuillechoix : public LumaScreen
{
public:
    explicit Feuillechoix(AppContext &context);

    // Its background, also the full-screen backdrop's.
    static QColor couleurFond() { return QColor(255, 255, 128); }

    void Form_Load();

    void Command3D1_Click(); // lending
    void Command3D2_Click(); // searching
    void Command3D3_Click(); // the quit question
    void Picture1_Click();
    void Picture2_Click();
    void Picture3_Click();
};
