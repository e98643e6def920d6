#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

#include <array>

// The ten class colours of a data folder, one per Dewey main class, kept in
// COULEURS.INI as thirty numbers (red, green, blue of class 0, then 1...).
struct CouleursClasses
{
    std::array<short, 10> rouge{}, vert{}, bleu{};
    // Class i's colour, each component above 255 taken as 255.
    QColor couleur(int i) const;
};

// What a new colour file holds.
CouleursClasses couleursParDefaut();

// The colour file's name, the Windows way ("\COULEURS.INI" after the folder).
QString fichierCouleurs(const QString &cheminBase);

// Reads the file's text into `couleurs`, value by value, as the sequential
// read of numbers did: values separated by commas or line ends, blanks
// ignored, an empty value read as 0. Throws AppError (13 a value that is not
// a number, 6 one too big, 62 fewer than thirty); the values read before the
// fault are kept.
void litCouleurs(const QString &texte, CouleursClasses &couleurs);

// The file's bytes for these colours.
QByteArray texteCouleurs(const CouleursClasses &couleurs);

// For a program that only shows them: the folder's colours, the defaults
// where the file is missing or cannot be read whole. Never writes.
CouleursClasses couleursDuDossier(const QString &cheminBase);
