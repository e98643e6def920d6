#include "gestion/pageprets.h"

#include "rapport.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kRoleInventaire = Qt::UserRole;

} // namespace

PagePrets::PagePrets(Bibliotheque &bibliotheque, QWidget *parent)
    : QWidget(parent), m_bibliotheque(bibliotheque), m_arbre(new QTreeWidget), m_resume(new QLabel)
{
    m_arbre->setObjectName(QStringLiteral("prets"));
    m_arbre->setHeaderLabels({QStringLiteral("Classe, enfant, livre"), QStringLiteral("Numéro"),
                              QStringLiteral("Emprunté le"), QStringLiteral("Depuis")});
    m_arbre->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_arbre->header()->setStretchLastSection(false);

    auto *actualiser = new QPushButton(QStringLiteral("&Actualiser"));
    actualiser->setShortcut(QKeySequence::Refresh);
    connect(actualiser, &QPushButton::clicked, this, [this] { recharge(); });
    auto *rendu = new QPushButton(QStringLiteral("&Rendu à la main"));
    rendu->setObjectName(QStringLiteral("rendrePret"));
    connect(rendu, &QPushButton::clicked, this, [this] { rends(); });
    auto *rapport = new QPushButton(QStringLiteral("Rapport &PDF…"));
    rapport->setObjectName(QStringLiteral("rapportPdf"));
    connect(rapport, &QPushButton::clicked, this, [this] { ecrisRapport(); });

    auto *actions = new QHBoxLayout;
    actions->addWidget(actualiser);
    actions->addWidget(rendu);
    actions->addStretch();
    actions->addWidget(rapport);
    auto *tout = new QVBoxLayout(this);
    tout->addWidget(m_resume);
    tout->addWidget(m_arbre, 1);
    tout->addLayout(actions);
}

void PagePrets::recharge()
{
    const RapportPrets r = lisRapport(m_bibliotheque.dossiers(), QDateTime::currentDateTime(), kRetard);
    m_arbre->clear();
    m_resume->setText(TexteRapport::resumeGeneral(r));
    const QBrush rouge(QColor(180, 0, 0));
    const auto ajoutePret = [&](QTreeWidgetItem *parent, const PretRapport &p) {
        auto *item = new QTreeWidgetItem(parent, {p.titre, p.inventaire, TexteRapport::datePret(p), TexteRapport::duree(p)});
        item->setData(0, kRoleInventaire, p.inventaire);
        if (p.enRetard) {
            item->setText(3, TexteRapport::duree(p) + QStringLiteral(" – ") + TexteRapport::motRetard());
            for (int c = 0; c < 4; ++c)
                item->setForeground(c, rouge);
        }
    };
    for (const ClasseRapport &classe : r.classes) {
        if (classe.enfants.isEmpty())
            continue;
        auto *c = new QTreeWidgetItem(m_arbre, {TexteRapport::titreClasse(classe)});
        c->setText(3, TexteRapport::resumeClasse(classe));
        for (const EnfantRapport &enfant : classe.enfants) {
            auto *e = new QTreeWidgetItem(c, {TexteRapport::nomEnfant(enfant)});
            for (const PretRapport &p : enfant.prets)
                ajoutePret(e, p);
        }
    }
    if (!r.inconnus.isEmpty()) {
        auto *c = new QTreeWidgetItem(m_arbre, {QStringLiteral("Emprunteurs inconnus")});
        for (const PretRapport &p : r.inconnus)
            ajoutePret(c, p);
    }
    m_arbre->expandAll();
    for (int c = 1; c < 4; ++c)
        m_arbre->resizeColumnToContents(c);
}

void PagePrets::ecrisRapport()
{
    const QString nom = QDir::home().filePath(
        QStringLiteral("prets-%1.pdf").arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
    const QString fichier = QFileDialog::getSaveFileName(this, QStringLiteral("Rapport des prêts"), nom,
                                                         QStringLiteral("PDF (*.pdf)"));
    if (fichier.isEmpty())
        return;
    try {
        ecrisPdf(lisRapport(m_bibliotheque.dossiers(), QDateTime::currentDateTime(), kRetard), fichier);
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, QStringLiteral("Rapport des prêts"), erreur.description());
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(fichier));
}

void PagePrets::rends()
{
    const QTreeWidgetItem *item = m_arbre->currentItem();
    const QString inventaire = item ? item->data(0, kRoleInventaire).toString() : QString();
    if (inventaire.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Rendu à la main"), QStringLiteral("Choisissez d'abord un livre dans la liste."));
        return;
    }
    for (const FicheLivre &f : m_bibliotheque.livres()) {
        if (f.inventaire != inventaire || !f.sorti())
            continue;
        if (QMessageBox::question(this, QStringLiteral("Rendu à la main"),
                                  QStringLiteral("Enregistrer « %1 » comme rendu ?").arg(f.titre))
            != QMessageBox::Yes)
            return;
        try {
            m_bibliotheque.rendsLivre(f);
        } catch (const AppError &erreur) {
            QMessageBox::warning(this, QStringLiteral("Rendu à la main"), erreur.description());
        }
        break;
    }
    recharge();
}
