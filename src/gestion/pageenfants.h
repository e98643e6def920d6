#pragma once

#include "gestion/bibliotheque.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QDialog;
class QTableWidget;
class QVBoxLayout;

// The children, class by class: add, change (a class change included),
// remove, and the class's sheet of photographs.
class PageEnfants : public QWidget
{
public:
    explicit PageEnfants(Bibliotheque &bibliotheque, QWidget *parent = nullptr);

    void recharge();
    int classeChoisie() const;
    void choisitClasse(int numero);
    std::optional<FicheEnfant> enfantChoisi() const;

    void ajoute();
    void modifie();
    void supprime();

    // Given by the window: the photograph chooser put into a child's form
    // (the zone, the child as saved once it is), and the class sheet.
    std::function<void(QVBoxLayout *zone, const FicheEnfant &enfant)> prepareFormulaire;
    std::function<void(const FicheEnfant &enfant)> formulaireEnregistre;
    std::function<void(int classe, const QList<FicheEnfant> &enfants)> imprimeFiche;

private:
    bool formulaire(FicheEnfant &enfant, const std::function<FicheEnfant(const FicheEnfant &)> &enregistre);

    Bibliotheque &m_bibliotheque;
    QComboBox *m_classes;
    QTableWidget *m_liste;
    QList<FicheEnfant> m_enfants; // of the class shown, in the list's order
    QList<FicheClasse> m_fichesClasses;
};
