#pragma once

#include <QMainWindow>

class QListWidget;
class QStackedWidget;

// The teachers' program's window: the sections of the library (classes,
// children, books, loans) in a list on the left, the chosen one on the right,
// the data folder in the status bar.
class FenetrePrincipale : public QMainWindow
{
public:
    explicit FenetrePrincipale(QWidget *parent = nullptr);

    // Adds a section: its name in the list, its page on the right.
    void ajouteSection(const QString &nom, QWidget *page);
    void montreDossier(const QString &dossier);

private:
    QListWidget *m_sections;
    QStackedWidget *m_pages;
};
