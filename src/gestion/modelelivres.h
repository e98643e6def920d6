#pragma once

#include "folder/couleurs.h"
#include "gestion/bibliotheque.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QStringList>

// The catalogue as the book list shows it: every book in inventory order,
// narrowed as the teacher types to those whose number, title, publisher,
// Dewey number or keywords hold every word typed (without regard to case or
// accents). A 100,000-book catalogue is held whole; each book's searchable
// text is folded once, when it is loaded.
class ModeleLivres : public QAbstractTableModel
{
public:
    enum Colonne { Numero, Titre, Editeur, Dewey, MotsCles, Pretable, EmpruntePar, NombreDeColonnes };

    explicit ModeleLivres(QObject *parent = nullptr) : QAbstractTableModel(parent) {}

    // nomsEnfants: "Prénom NOM" by matricule, for the borrowers.
    void charge(QList<FicheLivre> livres, const QHash<QString, QString> &nomsEnfants, const CouleursClasses &couleurs);
    void filtre(const QString &texte);

    int total() const { return int(m_livres.size()); }
    const FicheLivre &livre(int ligne) const { return m_livres[m_visibles[ligne]]; }
    // The line of the book with that rowid among those shown, or -1.
    int ligneDe(qint64 rowid) const;
    QString emprunteur(const FicheLivre &livre) const;

    // Lower case, accents taken off: "Éléphant" and "elephant" are the same.
    static QString plie(const QString &texte);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<FicheLivre> m_livres;
    QStringList m_textes; // folded, one per book
    QList<int> m_visibles;
    QStringList m_mots;
    QHash<QString, QString> m_noms;
    std::array<QIcon, 10> m_pastilles;
};
