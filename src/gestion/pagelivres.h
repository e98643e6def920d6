#pragma once

#include "gestion/modelelivres.h"

class DialogueLivre;

#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QTableView;
class QVBoxLayout;

// The books: the list filtered as one types, with each book's Dewey colour
// and who holds it; add, change, remove, give back by hand.
class PageLivres : public QWidget
{
public:
    explicit PageLivres(Bibliotheque &bibliotheque, QWidget *parent = nullptr);

    // Reads the catalogue again, keeping the filter and the chosen book.
    void recharge();
    // The books chosen in the list.
    QList<FicheLivre> choisis() const;
    ModeleLivres &modele() { return m_modele; }
    QLineEdit *filtre() const { return m_filtre; }

    // What the page does not do itself, given by the window: the cover
    // chooser put into a book's form (called before it opens, and with the
    // book as saved once it is), the labels of the books chosen, the import
    // of a spreadsheet.
    std::function<void(DialogueLivre &)> prepareFormulaire;
    std::function<void(DialogueLivre &, const FicheLivre &)> formulaireEnregistre;
    std::function<void(const QList<FicheLivre> &)> imprimeEtiquettes;
    std::function<void()> importeTableur;

    void ajoute();
    void modifie();
    void supprime();
    void rends();

private:
    void choisit(qint64 rowid);
    bool confirme(const QString &question);

    Bibliotheque &m_bibliotheque;
    ModeleLivres m_modele;
    QLineEdit *m_filtre;
    QLabel *m_compte;
    QTableView *m_liste;
};
