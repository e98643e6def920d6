#pragma once

#include "gestion/bibliotheque.h"

#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QTableView;

// The words the kiosk offers the children to find books by subject, each with
// the number of books its search finds: add, rename, remove. A word renamed
// may be changed in the books' keywords too, and in the picture requests
// that use it.
class PageMotsSujets : public QWidget
{
public:
    explicit PageMotsSujets(Bibliotheque &bibliotheque, QWidget *parent = nullptr);

    void recharge();
    void ajoute();
    void renomme();
    void supprime();
    std::optional<MotSujet> choisi() const;
    // Shows the word in the list (the filter cleared if it hides it).
    void choisit(const QString &mot);

    // Given by the window: how many picture requests use the word, and
    // renaming it in them (how many were changed). Unset: books only.
    std::function<int(const QString &mot)> requetesUtilisant;
    std::function<int(const QString &ancien, const QString &nouveau)> renommeDansRequetes;

private:
    bool confirme(const QString &titre, const QString &question);
    void compte();

    Bibliotheque &m_bibliotheque;
    QLineEdit *m_filtre;
    QLabel *m_compte;
    QTableView *m_liste;
    QLabel *m_message;
    QStandardItemModel m_modele;
    QSortFilterProxyModel m_tri;
    QList<MotSujet> m_mots;
};
