#pragma once

#include "gestion/etatdossier.h"

#include <QDialog>

class QPushButton;

// What the teacher may do with a folder that is not (yet) a library: create
// a new library in a missing or empty folder, convert one in Access format,
// or choose another folder. A folder refused says why.
class DialogueDossier : public QDialog
{
public:
    enum class Choix { Aucun, Creer, Convertir, AutreDossier };

    explicit DialogueDossier(const EtatDossier &etat, QWidget *parent = nullptr);

    Choix choix() const { return m_choix; }
    // The button of each choice offered, null when it is not.
    QPushButton *bouton(Choix choix) const;

private:
    QPushButton *ajoute(const QString &texte, Choix choix, bool principal);

    Choix m_choix = Choix::Aucun;
    QPushButton *m_creer = nullptr;
    QPushButton *m_convertir = nullptr;
    QPushButton *m_autre = nullptr;
    class QDialogButtonBox *m_boutons;
};

// From the folder given, until it is a library: each time it is not, the
// dialog above, then what the teacher chose (a creation, a conversion under
// its progress dialog, another folder), its outcome told. Returns the
// library's data folder, or an empty text when the teacher gave up.
QString ouvreBibliotheque(const QString &dossier, QWidget *parent = nullptr);
