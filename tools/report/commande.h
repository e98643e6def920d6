#pragma once

#include "platform/services.h"

#include <QString>
#include <QStringList>

#include <functional>

// The command luma-rapport: its options, its help, and one run.

struct OptionsRapport
{
    QString dossier; // empty: the current folder
    QString sortie;  // empty: prets-AAAA-MM-JJ.pdf in the current folder
    int retard = 21;
    bool ouvrir = false;
    bool aide = false;
};

QString aideRapport();

// Reads the arguments (the program's name left out). Returns a French message
// when they are wrong, else an empty text.
QString analyseArguments(const QStringList &arguments, OptionsRapport &options);

// What a run reaches outside itself: the clock, message boxes (shown only
// with --ouvrir, which is started from the desktop with no terminal), the
// desktop's viewer and the two output streams.
struct ServicesRapport
{
    const Clock &horloge;
    MessageBoxes &messages;
    std::function<bool(const QString &fichier)> ouvre;
    std::function<void(const QString &ligne)> sortie;
    std::function<void(const QString &ligne)> erreur;
};

// Exit status: 0 written, 1 failed (nothing written), 2 wrong arguments.
int lanceRapport(const QStringList &arguments, const ServicesRapport &services);
