#pragma once

#include <QString>

// The version text shown on the start-up screen and the main menu.
inline QString versionText()
{
    return QStringLiteral("Version 32 bits du 30/11/2009");
}
