#pragma once

#include "gestion/etiquettes.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class ApercuPlanche;

// Prints the number labels of the chosen books: the kind of label sheet, the
// first free label of a sheet already partly used (typed, or clicked on the
// drawing of the sheet), the PDF file to write; then offers to open it.
class DialogueEtiquettes : public QDialog
{
public:
    // `dossierBase`: the data folder, where the covers are (native path).
    DialogueEtiquettes(const QList<LivreEtiquette> &livres, const QString &dossierBase, QWidget *parent = nullptr);

    const PlancheEtiquettes &planche() const;
    int premierePosition() const;
    // The PDF file typed, a name alone or after "~/" in the home folder.
    QString fichier() const;

    // Writes the PDF as chosen; throws AppError (French description) when it
    // cannot. "Créer le PDF" calls it, then says what came of it.
    void creePdf();

private:
    void plancheChoisie();
    void metAJour();
    void choisisFichier();
    void creeEtPropose();

    QList<LivreEtiquette> m_livres;
    QString m_dossierBase;
    QComboBox *m_planches;
    QSpinBox *m_premiere;
    QLineEdit *m_fichier;
    ApercuPlanche *m_apercu;
    QLabel *m_resume;
    bool m_remplacementAccepte = false;
};
