#pragma once

#include "gestion/importlivres.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TableauTexte;

// "Ajouter des livres depuis un tableau": the teacher chooses a spreadsheet
// saved as CSV, sees the books it would add and the rows refused with their
// reasons, then adds them all at once and reads what was done.
class DialogueImportLivres : public QDialog
{
public:
    // The data folder whose LUMA.MDB gets the books.
    explicit DialogueImportLivres(const QString &dossierBase, QWidget *parent = nullptr);
    ~DialogueImportLivres() override;

    // Reads the file (a native path) and shows what it would add.
    void chargeFichier(const QString &chemin);
    // Adds the books shown, then says what was done.
    void ajouteLivres();

private:
    void choisitFichier();
    void montre(const LectureLivres &lecture);
    void annonce(const QString &texte, bool erreur);
    QString cheminCatalogue() const;

    QString m_dossierBase;
    QString m_fichier;
    LectureLivres m_lecture;
    QLineEdit *m_nomFichier;
    QPushButton *m_relire;
    QLabel *m_message;
    QLabel *m_resume;
    QTabWidget *m_onglets;
    TableauTexte *m_livres;
    TableauTexte *m_refus;
    QPushButton *m_ajouter;
};
