#pragma once

#include "folder/requete.h"

#include <QList>
#include <QString>

class Module11;

// The saved requests of the data folder, listed and read once at start-up:
// what the picture requests screen shows. A request is run from its file,
// read again at that moment.
class RequetesSauvegardees
{
public:
    struct Requete
    {
        QString fichier; // name and extension, without folder
        QString titre;
        QString image;
    };

    // Lists CheminBase\REQUETES\*.RQT by name and reads each file. A file
    // that cannot be read is reported through the error report and skipped:
    // the requests after it are still read. A missing folder is reported the
    // same way and leaves no request.
    void ListeRequetes(Module11 &module);

    int NbRequetes() const { return int(m_requetes.size()); }
    // Pages of eighteen: 0 without request.
    int NbPages() const { return (NbRequetes() + kParPage - 1) / kParPage; }
    const Requete &requete(int n) const { return m_requetes.at(n); }

    static constexpr int kParPage = 18;

private:
    QList<Requete> m_requetes;
};
