#pragma once

#include "folder/couleurs.h"
#include "gestion/bibliotheque.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QLineEdit;
class QVBoxLayout;

// The form of one book: number, title, publisher, Dewey number (its class
// picked on the ten class colours), keywords (the subject words offered as
// one types), lendable or not, and its cover. `enregistre` writes it and
// returns the book as saved; an error it throws is shown and the form stays
// open with what the teacher typed.
class DialogueLivre : public QDialog
{
public:
    using Enregistre = std::function<FicheLivre(const FicheLivre &)>;

    DialogueLivre(const FicheLivre &livre, const QStringList &descripteurs, const CouleursClasses &couleurs,
                  Enregistre enregistre, QWidget *parent = nullptr);

    const FicheLivre &livre() const { return m_livre; }
    // Where the cover's picture chooser goes, under the fields.
    QVBoxLayout *zoneCouverture() const { return m_zoneCouverture; }

    void accept() override;

private:
    FicheLivre m_livre;
    Enregistre m_enregistre;
    QLineEdit *m_numero;
    QLineEdit *m_titre;
    QLineEdit *m_editeur;
    QLineEdit *m_dewey;
    QLineEdit *m_motscles;
    QCheckBox *m_pretable;
    QVBoxLayout *m_zoneCouverture;
};
