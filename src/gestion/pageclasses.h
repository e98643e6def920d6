#pragma once

#include "gestion/bibliotheque.h"

#include <QWidget>
#include <functional>

class QLineEdit;
class QTableWidget;
class QVBoxLayout;

// The fifteen classes the kiosk shows: number, teacher, picture.
class PageClasses : public QWidget
{
public:
    explicit PageClasses(Bibliotheque &bibliotheque, QWidget *parent = nullptr);

    void recharge();
    int classeChoisie() const; // 1 to 15
    void enregistre();

    // Given by the window: shows the picture chooser of class n in the zone.
    std::function<void(QVBoxLayout *zone, int classe)> montreImage;

private:
    Bibliotheque &m_bibliotheque;
    QTableWidget *m_liste;
    QLineEdit *m_instituteur;
    QVBoxLayout *m_zoneImage;
    QList<FicheClasse> m_classes;
};
