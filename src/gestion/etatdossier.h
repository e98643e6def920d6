#pragma once

#include <QString>

// What a folder given to the teachers' program is, looked at without
// changing anything: the program opens a library, offers to create one in a
// missing or empty folder, to convert one still in Access format, and
// refuses anything else with a French message.
struct EtatDossier
{
    enum class Genre {
        Absent,        // nothing under that name
        Vide,          // a folder with nothing in it
        Bibliotheque,  // LUMA.MDB is an SQLite file, no database left in Access format;
                       // or BASE.INI names the server that keeps the databases
        Access,        // at least one of the databases is an Access file
        Autre,         // anything else: refused
    };
    Genre genre = Genre::Absent;
    QString dossier; // the data folder, as given
    QString ecole;   // the school folder, found as the kiosk finds it
    bool serveur = false; // a library whose databases are on its server
    // For Autre, why the folder is refused; for Access, which files are to
    // be converted. French, for the teacher.
    QString message;
};

EtatDossier etatDossier(const QString &dossier);
