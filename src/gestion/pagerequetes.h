#pragma once

#include "gestion/recherchesimages.h"

#include <QWidget>
#include <functional>

class Bibliotheque;
class DialogueRequete;
class QLabel;
class QListWidget;
class QPushButton;

// The picture requests as the kiosk shows them: eighteen a page, three rows
// of six, in the order of their file names, each with its picture, title and
// file name. Add, change, copy, remove, and move earlier or later (which
// renames the files, and nothing else).
class PageRequetes : public QWidget
{
public:
    PageRequetes(Bibliotheque &bibliotheque, QWidget *parent = nullptr);

    void recharge();
    RecherchesImages &requetes() { return m_requetes; }
    QListWidget *liste() const { return m_liste; }
    int page() const { return m_page; }
    int pages() const;
    void montrePage(int page);
    // The request chosen, as a position in the whole list; -1 for none.
    int choisie() const;
    void choisis(int position);

    void ajoute();
    void modifie();
    void duplique();
    void supprime();
    void deplace(int decalage);

    // Given by the window: the sound chooser of a request's form.
    std::function<void(DialogueRequete &)> prepareFormulaire;
    // Opens the form (tests replace it to fill the form themselves).
    std::function<bool(DialogueRequete &)> ouvreFormulaire;

protected:
    bool eventFilter(QObject *objet, QEvent *event) override;

private:
    void signale(const QString &message);

    Bibliotheque &m_bibliotheque;
    RecherchesImages m_requetes;
    QList<FicheRequete> m_fiches;
    int m_page = 1;
    QListWidget *m_liste;
    QLabel *m_titrePage;
    QPushButton *m_avant;
    QPushButton *m_apres;
};
