#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// A new, empty library for a data folder: the school folder beside it
// (ALTEMARE, with ALTEMARE.MDB: classes and children), and in the data
// folder the catalogue LUMA.MDB, the subject words COTATION.MDB, MEMBRES.MDB,
// the folders SONS, LIVRES, IMAGES and REQUETES, and the button sounds in
// SONS. Every column is text, as in the Windows program's files.
//
// What is there already is kept and used, never overwritten: an existing
// ALTEMARE with its ALTEMARE.MDB (the school folder found as the kiosk finds
// it), an existing database or sound. Each database is made complete under a
// temporary name, then given its name only if that name is still free (a
// kiosk or another teacher may make the same file meanwhile). A failure
// removes everything this creation made: no half library is left.

struct OptionsCreation
{
    // Where the button sounds are copied from; empty: dossierSonsBoutons().
    QString sons;
    // Called before each step that creates something, with its rank from 0:
    // a test makes one fail by throwing AppError.
    std::function<void(int etape)> avantEtape;
};

struct ResultatCreation
{
    QString dossier; // the data folder, native path
    QString ecole;   // the school folder
    QStringList crees;  // files and folders made, native paths
    QStringList gardes; // databases and sounds that were there and were kept
    QStringList sonsManquants; // button sounds that could not be found to copy

    // What was done, in French, for the teacher: what was kept, and that
    // the buttons stay silent when sounds are missing.
    QString compteRendu() const;
};

// Throws AppError with a French description when the library cannot be
// made, everything it had made removed.
ResultatCreation creeBibliotheque(const QString &dossierDonnees, const OptionsCreation &options = {});

// The button sounds made when the program was built: installed beside the
// program (../share/luma-cycle1/sons), or in the build folder when it runs
// uninstalled. Empty when there are none.
QString dossierSonsBoutons();
