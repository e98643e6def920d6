#include "gestion/pageclasses.h"

#include "folder/champs.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

PageClasses::PageClasses(Bibliotheque &bibliotheque, QWidget *parent)
    : QWidget(parent), m_bibliotheque(bibliotheque), m_liste(new QTableWidget(15, 3)), m_instituteur(new QLineEdit),
      m_zoneImage(new QVBoxLayout)
{
    m_liste->setObjectName(QStringLiteral("listeClasses"));
    m_liste->setHorizontalHeaderLabels({QStringLiteral("Classe"), QStringLiteral("Enseignant"), QStringLiteral("Enfants")});
    m_liste->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_liste->setSelectionMode(QAbstractItemView::SingleSelection);
    m_liste->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_liste->verticalHeader()->hide();
    m_liste->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_instituteur->setObjectName(QStringLiteral("instituteur"));
    connect(m_liste, &QTableWidget::currentCellChanged, this, [this](int ligne) {
        if (ligne < 0)
            return;
        m_instituteur->setText(m_liste->item(ligne, 1) ? m_liste->item(ligne, 1)->text() : QString());
        while (QLayoutItem *item = m_zoneImage->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        if (montreImage)
            montreImage(m_zoneImage, ligne + 1);
    });

    auto *enregistrer = new QPushButton(QStringLiteral("&Enregistrer"));
    enregistrer->setObjectName(QStringLiteral("enregistrerClasse"));
    connect(enregistrer, &QPushButton::clicked, this, [this] { enregistre(); });
    connect(m_instituteur, &QLineEdit::returnPressed, this, [this] { enregistre(); });
    auto *fiche = new QGroupBox(QStringLiteral("La classe choisie"));
    auto *champs = new QFormLayout(fiche);
    champs->addRow(QStringLiteral("En&seignant :"), m_instituteur);
    champs->addRow(QString(), enregistrer);
    champs->addRow(QStringLiteral("Image :"), m_zoneImage);

    auto *tout = new QHBoxLayout(this);
    tout->addWidget(m_liste, 1);
    tout->addWidget(fiche, 1);
}

int PageClasses::classeChoisie() const
{
    return m_liste->currentRow() + 1;
}

void PageClasses::recharge()
{
    const int choisie = std::max(1, classeChoisie());
    m_classes = m_bibliotheque.classes();
    QHash<int, int> effectifs;
    for (const FicheEnfant &e : m_bibliotheque.enfants())
        ++effectifs[int(valeurNumerique(e.classe))];
    for (int n = 1; n <= 15; ++n) {
        QString instituteur;
        for (const FicheClasse &c : std::as_const(m_classes))
            if (c.numero == n)
                instituteur = c.instituteur;
        m_liste->setItem(n - 1, 0, new QTableWidgetItem(QString::number(n)));
        m_liste->setItem(n - 1, 1, new QTableWidgetItem(instituteur));
        m_liste->setItem(n - 1, 2, new QTableWidgetItem(effectifs.value(n) ? QString::number(effectifs.value(n)) : QString()));
    }
    m_liste->resizeColumnToContents(0);
    m_liste->setCurrentCell(-1, 0);
    m_liste->setCurrentCell(choisie - 1, 0);
}

void PageClasses::enregistre()
{
    const int n = classeChoisie();
    if (n < 1)
        return;
    FicheClasse avant;
    for (const FicheClasse &c : std::as_const(m_classes))
        if (c.numero == n)
            avant = c;
    try {
        m_bibliotheque.enregistreClasse(avant, n, m_instituteur->text().trimmed());
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, QStringLiteral("Classe %1").arg(n), erreur.description());
    }
    recharge();
}
