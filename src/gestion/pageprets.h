#pragma once

#include "gestion/bibliotheque.h"

#include <QWidget>

class QLabel;
class QTreeWidget;

// Who holds which book now, class by class, the late ones marked as the
// loans report marks them; the report as a PDF in one click.
class PagePrets : public QWidget
{
public:
    explicit PagePrets(Bibliotheque &bibliotheque, QWidget *parent = nullptr);

    void recharge();
    void ecrisRapport();
    void rends();

    static constexpr int kRetard = 21; // days, as the report counts them

private:
    Bibliotheque &m_bibliotheque;
    QTreeWidget *m_arbre;
    QLabel *m_resume;
};
