#pragma once

#include "app/lumascreen.h"

// The search screen. For now it holds its title band and its door: the Dewey
// class boxes and the three ways of searching come with the search screens.
class Feuillerecherche : public LumaScreen
{
public:
    explicit Feuillerecherche(AppContext &context);

    void Form_Load();

    // Close: the catalogue cursor holds the whole catalogue again, then the
    // door's sound, then the screen hides.
    void Command3D3_Click();
    void Picture3_Click();
};
