#pragma once

#include <QMainWindow>

class Bibliotheque;
class PageClasses;
class PageEnfants;
class PageLivres;
class PageMotsSujets;
class PagePrets;
class PageRequetes;
class QListWidget;
class QStackedWidget;

// The teachers' program's window: the sections of the library (classes,
// children, books, loans, subject words, picture requests) in a list on the
// left, the chosen one on the right, the data folder in the status bar. A
// section is read again each time it is shown, and when the window comes
// back to the front: kiosks may have lent meanwhile.
class FenetrePrincipale : public QMainWindow
{
public:
    explicit FenetrePrincipale(Bibliotheque &bibliotheque, QWidget *parent = nullptr);

    PageClasses &classes() const { return *m_classes; }
    PageEnfants &enfants() const { return *m_enfants; }
    PageLivres &livres() const { return *m_livres; }
    PagePrets &prets() const { return *m_prets; }
    PageMotsSujets &mots() const { return *m_mots; }
    PageRequetes &requetes() const { return *m_requetes; }
    void montreSection(int section);
    // Reads the section shown again; an error is shown, never thrown.
    void actualise();

protected:
    void changeEvent(QEvent *event) override;

private:
    // What the pages do with the program's other parts: labels, class sheet,
    // pictures, spreadsheets.
    void branchePages();

    Bibliotheque &m_bibliotheque;
    QListWidget *m_sections;
    QStackedWidget *m_pages;
    PageClasses *m_classes;
    PageEnfants *m_enfants;
    PageLivres *m_livres;
    PagePrets *m_prets;
    PageMotsSujets *m_mots;
    PageRequetes *m_requetes;
};
